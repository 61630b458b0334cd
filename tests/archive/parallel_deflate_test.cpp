// The parallel deflate: one zlib stream that zlib and the archive reader read.
#include "archive/parallel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "archive/zlb_archive.h"
#include "archive/zlb_format_support.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;

std::string ParallelDeflate(const std::string& input, int level, unsigned threads,
                            std::vector<std::int64_t>* progress = nullptr) {
  std::string out;
  ParallelDeflater deflater(
      level,
      [&](const unsigned char* data, std::size_t n) {
        out.append(reinterpret_cast<const char*>(data), n);
      },
      [&](std::int64_t consumed) {
        if (progress) progress->push_back(consumed);
      },
      threads);
  // Pieces that do not line up with the chunks.
  for (std::size_t at = 0; at < input.size(); at += 300001)
    deflater.Feed(input.data() + at, std::min<std::size_t>(300001, input.size() - at));
  deflater.Finish();
  EXPECT_EQ(deflater.TotalOut(), static_cast<std::int64_t>(out.size()));
  return out;
}

std::string Inflate(const std::string& stream, std::size_t size) {
  std::string out(size + 1, '\0');  // one byte more: a longer result would show
  uLongf length = static_cast<uLongf>(out.size());
  const int result =
      uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                 reinterpret_cast<const Bytef*>(stream.data()), static_cast<uLong>(stream.size()));
  EXPECT_EQ(result, Z_OK);
  out.resize(length);
  return out;
}

TEST(ParallelDeflate, EveryInflateReadsTheStreamForAnySize) {
  const std::size_t chunk = kParallelDeflateChunk;
  const std::string table = test::TableText(3 * chunk + 777);
  const std::string noise = test::RandomBytes(2 * chunk + 5, 7);
  struct Case {
    const char* what;
    std::string input;
  } cases[] = {{"empty", ""},
               {"one byte", "x"},
               {"exactly one chunk", table.substr(0, chunk)},
               {"one chunk and a byte", table.substr(0, chunk + 1)},
               {"many chunks", table},
               {"many chunks that do not shrink", noise}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool big = c.input.size() > 2 * chunk;
    for (const int level : {9, 0, 1, Z_DEFAULT_COMPRESSION}) {
      if (big && level != 9) break;
      const std::string stream = ParallelDeflate(c.input, level, 3);
      unsigned char header[2];
      ZlibHeader(level, header);
      ASSERT_GE(stream.size(), 6u);
      EXPECT_EQ(stream.substr(0, 2), std::string(reinterpret_cast<char*>(header), 2));
      EXPECT_EQ(Inflate(stream, c.input.size()), c.input);
    }
  }
  // The headers zlib itself writes.
  EXPECT_EQ(test::Deflate("", 9).substr(0, 2), ParallelDeflate("", 9, 1).substr(0, 2));
  EXPECT_EQ(test::Deflate("", 1).substr(0, 2), ParallelDeflate("", 1, 1).substr(0, 2));
  EXPECT_EQ(test::Deflate("", -1).substr(0, 2), ParallelDeflate("", -1, 1).substr(0, 2));
  // The dictionaries keep the ratio of one stream.
  const std::string stream = ParallelDeflate(table, 9, 2);
  EXPECT_LT(stream.size(), test::Deflate(table, 9).size() * 101 / 100);
}

TEST(ParallelDeflate, ProgressMovesWithTheOutput) {
  const std::string noise = test::RandomBytes(3 * kParallelDeflateChunk, 8);
  std::vector<std::int64_t> progress;
  const std::string stream = ParallelDeflate(noise, 9, 2, &progress);
  EXPECT_EQ(progress.size(), stream.size() / 65536);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_GT(progress.front(), 0);
  EXPECT_EQ(progress.back(), static_cast<std::int64_t>(noise.size()));
}

TEST(ParallelDeflate, BigMembersGoThroughTheArchive) {
  test::TempDir dir;
  const std::string table = test::TableText(4 * kParallelDeflateChunk + 3);
  const std::string edge = test::TableText(kParallelDeflateChunk);  // one stream, as before
  test::WriteFileBytes(dir / "RiskData.dbf", table);
  test::WriteFileBytes(dir / "RiskData.dbt", edge);
  TZLBArchive zlb;
  zlb.CompressionLevel = TFileCompressionLevel::fcMaximum;
  zlb.CheckCRC = true;
  zlb.CreateArchive(dir / "p.rsk");
  zlb.AddFiles({dir / "RiskData.dbf", dir / "RiskData.dbt"});
  const TZLBFileEntry big = zlb.GetFileEntry(0);
  EXPECT_FALSE(big.Stored);
  EXPECT_EQ(big.Crc, test::Crc(table));
  zlb.CloseArchive();

  const test::RawArchive raw = test::Parse(test::ReadFileBytes(dir / "p.rsk"));
  ASSERT_EQ(raw.count, 2);
  EXPECT_EQ(raw.entries[1].blockSize, static_cast<std::int32_t>(test::Deflate(edge, 9).size()));

  ASSERT_TRUE(zlb.OpenArchive(dir / "p.rsk"));
  zlb.ExtractAll(dir / "out");
  EXPECT_EQ(test::ReadFileBytes(dir / "out" / "RiskData.dbf"), table);
  EXPECT_EQ(test::ReadFileBytes(dir / "out" / "RiskData.dbt"), edge);
}

}  // namespace
}  // namespace orvenda
