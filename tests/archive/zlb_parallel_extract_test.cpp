// Big archives unpack their members on several threads: what a caller sees (files, progress,
// the extracted-file events, errors) is what the one-by-one extraction gives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <zlib.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "archive/zlb_archive.h"
#include "archive/zlb_format_support.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::ErrorText;
using test::ReadFileBytes;
using test::WriteFileBytes;

struct Seen {
  std::vector<std::pair<std::string, int>> progress;
  std::vector<std::string> extracted;
};

// Members of every kind, together well over the size that turns on the threads.
std::vector<test::Member> BigMembers() {
  return {
      {"small.txt", "sound", false, ""},
      {"table.dbf", test::TableText(7 << 20), false, ""},
      {"noise.bin", test::RandomBytes((3 << 20) + 17, 11), false, ""},
      {"empty.txt", "", false, ""},
      {"stored.bin", test::RandomBytes(1 << 20, 12), true, ""},
      {"memo.dbt", test::TableText((2 << 20) + 5), false, ""},
  };
}

Seen Extract(TZLBArchive& zlb, const fs::path& archive, const fs::path& out, unsigned threads) {
  Seen seen;
  zlb.ExtractThreads = threads;
  zlb.OnProgress = [&](const std::string& text, int percent) {
    seen.progress.emplace_back(text, percent);
  };
  zlb.OnFileExtracted = [&](const fs::path& file) {
    seen.extracted.push_back(file.filename().string());
  };
  zlb.OpenArchive(archive);
  seen.progress.clear();
  zlb.ExtractAll(out);
  zlb.OnProgress = nullptr;
  zlb.OnFileExtracted = nullptr;
  return seen;
}

TEST(ZlbParallelExtract, GivesTheFilesProgressAndEventsOfTheOneByOneExtraction) {
  test::TempDir dir;
  const auto members = BigMembers();
  WriteFileBytes(dir / "big.zlb", test::BuildArchive(members));
  TZLBArchive zlb;
  zlb.CheckCRC = true;
  const Seen one = Extract(zlb, dir / "big.zlb", dir / "one", 1);
  const Seen many = Extract(zlb, dir / "big.zlb", dir / "many", 4);
  for (const auto& m : members) {
    SCOPED_TRACE(m.name);
    EXPECT_EQ(ReadFileBytes(dir / "many" / m.name), m.contents);
    EXPECT_EQ(ReadFileBytes(dir / "one" / m.name), m.contents);
  }
  EXPECT_EQ(many.extracted, one.extracted);
  EXPECT_EQ(many.extracted.size(), members.size());
  EXPECT_EQ(many.progress, one.progress);
  EXPECT_GT(many.progress.size(), 3000u);

  // The stream's own checksum is not what guards the data when the CRC is checked.
  zlb.CheckCRC = false;
  const Seen unchecked = Extract(zlb, dir / "big.zlb", dir / "unchecked", 4);
  EXPECT_EQ(ReadFileBytes(dir / "unchecked" / "table.dbf"), members[1].contents);
}

TEST(ZlbParallelExtract, DamageAndFailingCallbacksEndTheExtractionCleanly) {
  test::TempDir dir;
  const auto members = BigMembers();
  const std::string sound = test::BuildArchive(members);
  const test::RawArchive raw = test::Parse(sound);
  const test::RawEntry& table = raw.entries[1];
  TZLBArchive zlb;
  zlb.CheckCRC = true;

  // A damaged byte in the middle of the biggest member's stream, and a registry CRC that the
  // data does not match: the same error as one by one, the members before it written whole.
  std::string damaged = sound;
  damaged[static_cast<std::size_t>(table.offset + table.blockSize / 2)] ^= 0x55;
  test::FixCrc(damaged);
  std::vector<test::RawEntry> entries = raw.entries;
  entries[1].crc ^= 1;
  const std::string wrongCrc =
      test::Assemble(sound.substr(0, static_cast<std::size_t>(raw.registryOffset)), entries);
  for (const auto& [what, bytes] : {std::pair<const char*, std::string>{"stream", damaged},
                                    std::pair<const char*, std::string>{"crc", wrongCrc}}) {
    SCOPED_TRACE(what);
    WriteFileBytes(dir / "bad.zlb", bytes);
    for (const unsigned threads : {1u, 4u}) {
      const fs::path out = dir / ("bad" + std::to_string(threads));
      zlb.ExtractThreads = threads;
      zlb.OpenArchive(dir / "bad.zlb");
      EXPECT_EQ(ErrorText([&] { zlb.ExtractAll(out); }), "File (1) is corrupt");
      EXPECT_EQ(ReadFileBytes(out / "small.txt"), "sound");
    }
  }

  // A progress handler that throws half-way stops the helpers; the next extraction works.
  WriteFileBytes(dir / "big.zlb", sound);
  zlb.ExtractThreads = 4;
  zlb.OpenArchive(dir / "big.zlb");
  int calls = 0;
  zlb.OnProgress = [&](const std::string&, int) {
    if (++calls == 500) throw std::runtime_error("cancelled");
  };
  EXPECT_THROW(zlb.ExtractAll(dir / "cancelled"), std::runtime_error);
  zlb.OnProgress = nullptr;
  zlb.ExtractAll(dir / "again");
  EXPECT_EQ(ReadFileBytes(dir / "again" / "memo.dbt"), members[5].contents);
}

// A zlib stream that starts afresh every `every` bytes of input (full flushes), as another
// writer may make it: the places look like ours, but not at our distances.
std::string DeflateFlushingEvery(const std::string& input, std::size_t every) {
  z_stream z{};
  deflateInit(&z, 6);
  std::string out(deflateBound(&z, input.size()) + input.size() / every * 16 + 64, '\0');
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  for (std::size_t at = 0; at < input.size(); at += every) {
    const std::size_t n = std::min(every, input.size() - at);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data() + at));
    z.avail_in = static_cast<uInt>(n);
    deflate(&z, at + n < input.size() ? Z_FULL_FLUSH : Z_FINISH);
  }
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST(ZlbParallelExtract, OurOwnBigStreamsInflateInStretchesAndOthersStillWhole) {
  test::TempDir dir;
  // Written by the archive itself: its parallel deflate leaves places to cut at.
  const std::string text = test::TableText((41 << 20) + 333);
  const std::string other = test::TableText(30 << 20).substr(5) + "end";
  WriteFileBytes(dir / "big.dbt", text);
  WriteFileBytes(dir / "small.dbf", "sound");
  TZLBArchive zlb;
  zlb.CheckCRC = true;
  zlb.CreateArchive(dir / "own.zlb");
  zlb.AddFiles({dir / "big.dbt", dir / "small.dbf"});
  const Seen one = Extract(zlb, dir / "own.zlb", dir / "one", 1);
  const Seen many = Extract(zlb, dir / "own.zlb", dir / "many", 4);
  EXPECT_EQ(ReadFileBytes(dir / "many" / "big.dbt"), text);
  EXPECT_EQ(many.progress, one.progress);
  EXPECT_EQ(many.extracted, one.extracted);

  // Fresh starts at distances not ours: the guess fails and the member comes out whole anyway.
  std::vector<test::RawEntry> entries(2);
  entries[0].name = "flushed.dbt";
  entries[0].size = static_cast<std::int32_t>(other.size());
  entries[0].crc = test::Crc(other);
  entries[0].level = 3;
  const std::string block = DeflateFlushingEvery(other, 12 << 20);
  entries[0].blockSize = static_cast<std::int32_t>(block.size());
  entries[1] = entries[0];
  entries[1].name = "second.dbt";
  entries[1].offset = entries[0].blockSize;
  WriteFileBytes(dir / "other.zlb", test::Assemble(block + block, entries));
  Extract(zlb, dir / "other.zlb", dir / "other", 4);
  EXPECT_EQ(ReadFileBytes(dir / "other" / "flushed.dbt"), other);
  EXPECT_EQ(ReadFileBytes(dir / "other" / "second.dbt"), other);

  // A damaged byte in a middle stretch of our own stream is found, however it is unpacked.
  std::string damaged = ReadFileBytes(dir / "own.zlb");
  const test::RawArchive raw = test::Parse(damaged);
  damaged[static_cast<std::size_t>(raw.entries[0].offset + raw.entries[0].blockSize / 2)] ^= 0x10;
  test::FixCrc(damaged);
  WriteFileBytes(dir / "damaged.zlb", damaged);
  zlb.ExtractThreads = 4;
  zlb.OpenArchive(dir / "damaged.zlb");
  EXPECT_EQ(ErrorText([&] { zlb.ExtractAll(dir / "damaged"); }), "File (0) is corrupt");
}

}  // namespace
}  // namespace orvenda
