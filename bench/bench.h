#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
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

// Processor time of the whole process, all threads, in milliseconds.
inline double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The best wall-clock and processor time seen over the rounds of one step. The machine may be
// shared, so the processor time is the steadier figure for comparing one thread's work.
struct Timing {
  double wall = 1e300;
  double cpu = 1e300;
};

// Runs `work` and keeps the best figures seen in `best`.
template <typename Work>
void Measure(Timing& best, Work work) {
  const double cpuStart = CpuMs();
  const double wall = TimeMs(work);
  best.wall = std::min(best.wall, wall);
  best.cpu = std::min(best.cpu, CpuMs() - cpuStart);
}

// Every round's figures of one step: the median is the figure, min and max the spread.
struct Samples {
  std::vector<double> wall, cpu;

  static double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
  }
  double MedianWall() const { return Median(wall); }
  double MedianCpu() const { return Median(cpu); }
  double MinWall() const { return wall.empty() ? 0 : *std::min_element(wall.begin(), wall.end()); }
  double MaxWall() const { return wall.empty() ? 0 : *std::max_element(wall.begin(), wall.end()); }
};

// Runs `work` and adds its figures to `samples`.
template <typename Work>
void Measure(Samples& samples, Work work) {
  const double cpuStart = CpuMs();
  samples.wall.push_back(TimeMs(work));
  samples.cpu.push_back(CpuMs() - cpuStart);
}

inline void Report(const std::string& what, double ms) {
  std::printf("  %-58s %10.2f ms\n", what.c_str(), ms);
  std::fflush(stdout);
}

}  // namespace orvenda::bench
