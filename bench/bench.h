#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace orvenda::bench {

// A section of the benchmark program: one subsystem's figures on generated data.
struct Section {
  std::string name;
  std::function<void(const std::filesystem::path& scratch)> run;
};

std::vector<Section>& Sections();

struct RegisterSection {
  RegisterSection(std::string name, std::function<void(const std::filesystem::path&)> run) {
    Sections().push_back({std::move(name), std::move(run)});
  }
};

// Milliseconds taken by `work`.
inline double TimeMs(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

inline void Report(const std::string& what, double ms) {
  std::printf("  %-58s %10.2f ms\n", what.c_str(), ms);
  std::fflush(stdout);
}

}  // namespace orvenda::bench
