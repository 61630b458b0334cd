// Opens and extracts arbitrary bytes as an archive. The first input byte chooses the options:
// bit 0 repairs the trailer checksum (so that the registry and member parsing are reached),
// bit 1 extracts with paths, bit 2 checks member CRCs. Nothing may be written outside the
// destination directory.
#include <stdlib.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/zlb_archive.h"
#include "base/error.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Scratch() {
  static const fs::path scratch = [] {
    std::string pattern = (fs::temp_directory_path() / "orvenda-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    return fs::path(pattern);
  }();
  return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t options = data[0];
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((options & 1) != 0 && bytes.size() >= 36) {
    const std::size_t body = bytes.size() - 36;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(body)));
    for (int i = 0; i < 4; ++i) bytes[body + i] = static_cast<char>(crc >> (8 * i));
  }
  const fs::path archive = Scratch() / "in.zlb";
  const fs::path out = Scratch() / "out";
  {
    fs::remove(archive);  // a new file: truncating one makes some file systems flush to disk
    std::ofstream file(archive, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  orvenda::TZLBArchive zlb;
  zlb.ExtractWithPath = (options & 2) != 0;
  zlb.CheckCRC = (options & 4) != 0;
  zlb.TempDirectory = Scratch();
  try {
    if (zlb.OpenArchive(archive)) {
      for (int i = 0; i < zlb.FileCount(); ++i) zlb.GetFileEntry(i);
      zlb.ExtractAll(out);
    }
  } catch (const orvenda::Error&) {
  }
  for (const auto& item : fs::directory_iterator(Scratch())) {
    if (item.path() != archive && item.path() != out) {
      std::fprintf(stderr, "written outside the destination: %s\n", item.path().c_str());
      abort();
    }
  }
  fs::remove_all(out);
  return 0;
}
