// Archive writing and extraction of a large project, against zlib alone on the same bytes.
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "archive/zlb_archive.h"
#include "base/cp1250.h"
#include "bench.h"
#include "zlib_reference.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

// Table-like files of a big project: fixed-width records of repetitive Czech text (.dbf),
// memo blocks of longer texts (.dbt) and index pages with sorted keys (.mdx).
void WriteProjectFiles(const fs::path& dir) {
  const std::string words[] = {W("Pracoviště"),        W("Riziko pádu z výšky"),
                               W("Ochranné brýle"),    W("Hluk nad 85 dB"),
                               W("Svařovna"),          W("Manipulace s břemeny"),
                               W("Elektrický proud"),  W("Proškolení obsluhy"),
                               W("Kontrola 1x ročně"), W("Osobní ochranné pracovní prostředky")};
  std::mt19937 random(42);
  auto pick = [&] { return words[random() % 10]; };
  auto field = [](std::string text, std::size_t width) {
    text.resize(width, ' ');
    return text;
  };
  {
    std::ofstream dbf(dir / "RiskData.dbf", std::ios::binary);
    std::string header(32 + 11 * 32 + 1, '\0');
    header[0] = 0x8B;
    dbf << header;
    for (int i = 1; i <= 130000; ++i) {
      std::string record = " ";
      record += field(std::to_string(i), 10);
      record += random() % 4 == 0 ? '0' : '1';
      record += field(pick() + " " + pick(), 120);
      record += field(pick(), 60);
      record += field(std::to_string(i / 7), 10);
      record += field(std::to_string(random() % 5000), 10);
      record += field(pick(), 20);
      record += field(std::to_string(random() % 100000), 10);
      record += std::to_string(1 + random() % 5) + std::to_string(1 + random() % 5) +
                std::to_string(1 + random() % 5);
      dbf << record;
    }
  }
  {
    std::ofstream dbt(dir / "RiskData.dbt", std::ios::binary);
    for (int block = 0; block < 26000; ++block) {
      std::string text;
      while (text.size() < 480) text += pick() + ", " + pick() + ". ";
      text.resize(510, '\x1A');
      dbt << text << "\x1A\x1A";
    }
  }
  {
    std::ofstream mdx(dir / "RiskData.mdx", std::ios::binary);
    std::uint32_t key = 0;
    for (int page = 0; page < 7000; ++page) {
      std::string bytes(512, '\0');
      for (int k = 0; k < 40; ++k) {
        key += 1 + random() % 9;
        std::memcpy(&bytes[12 * k], &key, 4);
        const std::uint32_t recordNo = random() % 130000;
        std::memcpy(&bytes[12 * k + 4], &recordNo, 4);
      }
      mdx << bytes;
    }
  }
}

long PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

void Run(const fs::path& scratch) {
  const fs::path source = scratch / "project";
  fs::create_directories(source);
  WriteProjectFiles(source);
  const std::vector<fs::path> files = {source / "RiskData.dbf", source / "RiskData.dbt",
                                       source / "RiskData.mdx"};
  std::uintmax_t total = 0;
  for (const auto& file : files) total += fs::file_size(file);
  std::printf("  project files: %.1f MB (largest member %.1f MB)\n", total / 1e6,
              fs::file_size(files[0]) / 1e6);

  const fs::path archive = scratch / "project.rsk";
  TZLBArchive zlb;
  zlb.CompressionLevel = TFileCompressionLevel::fcMaximum;
  zlb.CheckCRC = true;
  zlb.TempDirectory = scratch;

  // The archive work first, so that the peak memory it shows is its own.
  const long rssBefore = PeakRssMb();
  const auto pack = [&] {
    return TimeMs([&] {
      zlb.CreateArchive(archive, true);
      zlb.AddFiles(std::vector<fs::path>(files));
      zlb.CloseArchive();
    });
  };
  // Each round extracts into a fresh directory after removing the last one, as a project's
  // working directory is replaced.
  const auto unpack = [&] {
    fs::remove_all(scratch / "out");
    return TimeMs([&] {
      zlb.OpenArchive(archive);
      zlb.ExtractAll(scratch / "out");
      zlb.CloseArchive();
    });
  };
  double archiveMs = pack();
  double extractMs = unpack();
  const long rssAfter = PeakRssMb();
  std::printf("  archive: %.2f MB\n", fs::file_size(archive) / 1e6);
  std::printf("  peak memory: %ld MB before, %ld MB after archive work\n", rssBefore, rssAfter);

  // zlib alone, in memory, on the same bytes; and the other work extraction cannot avoid:
  // the CRC-32 of the contents and writing the files.
  std::vector<std::string> contents;
  for (const auto& file : files) contents.push_back(ReadAll(file));
  std::vector<std::string> streams(contents.size());
  const auto deflateAlone = [&] {
    return TimeMs([&] {
      for (std::size_t i = 0; i < contents.size(); ++i) streams[i] = ZlibDeflate9(contents[i]);
    });
  };
  std::vector<std::string> inflated;
  for (const auto& bytes : contents) inflated.emplace_back(bytes.size(), '\0');
  const auto inflateAlone = [&] {
    return TimeMs([&] {
      for (std::size_t i = 0; i < streams.size(); ++i) ZlibInflate(streams[i], inflated[i]);
    });
  };
  std::uint32_t checksum = 0;
  const auto crcAlone = [&] {
    return TimeMs([&] {
      for (const auto& bytes : contents) {
        checksum ^= static_cast<std::uint32_t>(crc32(
            0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
      }
    });
  };
  const auto writeAlone = [&] {
    fs::remove_all(scratch / "plain");
    fs::create_directories(scratch / "plain");
    return TimeMs([&] {
      for (std::size_t i = 0; i < files.size(); ++i) {
        std::FILE* out = std::fopen((scratch / "plain" / files[i].filename()).c_str(), "wb");
        std::fwrite(contents[i].data(), 1, contents[i].size(), out);
        std::fclose(out);
      }
    });
  };

  // Rounds alternate between the archive and its baselines and the best of each counts, so
  // that other load on the machine spoils as little as possible.
  double deflateMs = deflateAlone();
  archiveMs = std::min(archiveMs, pack());
  deflateMs = std::min(deflateMs, deflateAlone());
  double inflateMs = 1e300, crcMs = 1e300, writeMs = 1e300;
  for (int round = 0; round < 5; ++round) {
    extractMs = std::min(extractMs, unpack());
    inflateMs = std::min(inflateMs, inflateAlone());
    crcMs = std::min(crcMs, crcAlone());
    writeMs = std::min(writeMs, writeAlone());
  }
  if (inflated != contents) throw std::runtime_error("zlib round trip");
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (ReadAll(scratch / "out" / files[i].filename()) != contents[i]) {
      throw std::runtime_error("archive round trip");
    }
  }

  Report("archive (CreateArchive + AddFiles, level 9, fsync)", archiveMs);
  Report("zlib deflate level 9 alone, in memory", deflateMs);
  std::printf("  %-58s %10.2f x\n", "  ratio", archiveMs / deflateMs);
  Report("extract (OpenArchive + ExtractAll, CRC checked)", extractMs);
  Report("zlib inflate alone, in memory", inflateMs);
  std::printf("  %-58s %10.2f x\n", "  ratio", extractMs / inflateMs);
  Report("zlib crc32 of the contents alone", crcMs);
  Report("writing the same files alone", writeMs);
  std::printf("  %-58s %10.2f x\n", "  ratio to inflate + crc32 + writing, each alone",
              extractMs / (inflateMs + crcMs + writeMs));
}

const RegisterSection kSection("archive", Run);

}  // namespace
}  // namespace orvenda::bench
