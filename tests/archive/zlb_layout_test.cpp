// The bytes the archive component writes, read back with the tests' own parser and with a
// separate Python reader; and archives written from the layout, read by the component.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/zlb_archive.h"
#include "archive/zlb_format_support.h"
#include "archive/zlb_names.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::string WriteArchive(const fs::path& archive, const std::vector<fs::path>& files,
                         TFileCompressionLevel level = TFileCompressionLevel::fcMaximum) {
  TZLBArchive zlb;
  zlb.CompressionLevel = level;
  zlb.CreateArchive(archive);
  zlb.AddFiles(std::vector<fs::path>(files));
  zlb.CloseArchive();
  return ReadFileBytes(archive);
}

TEST(ZlbLayout, MembersRegistryAndTrailerAreLaidOutByteForByte) {
  test::TempDir dir;
  const std::string text = test::TableText(100000);
  const std::string noise = test::RandomBytes(5000, 1);
  WriteFileBytes(dir / "RiskData.dbf", text);
  WriteFileBytes(dir / "RiskData.mdx", noise);
  WriteFileBytes(dir / "RiskData.dbt", "");
  const std::string bytes = WriteArchive(
      dir / "p.rsk", {dir / "RiskData.dbf", dir / "RiskData.mdx", dir / "RiskData.dbt"});

  const test::RawArchive raw = test::Parse(bytes);  // checks CRC, padding, registry length
  ASSERT_EQ(raw.count, 3);
  EXPECT_EQ(raw.constant, 1);
  EXPECT_EQ(raw.registryFlag, 1);
  EXPECT_EQ(static_cast<std::size_t>(raw.registrySize), raw.registry.size());
  EXPECT_EQ(raw.registry.substr(0, 2), "\x78\xDA");  // zlib wrapper, window 15, level 9

  const std::string deflated = test::Deflate(text, 9);
  const auto& dbf = raw.entries[0];
  EXPECT_EQ(dbf.name, "RiskData.dbf");
  EXPECT_EQ(dbf.raw.substr(0, 13), "\x0CRiskData.dbf");
  EXPECT_EQ(dbf.raw.substr(256, 256), std::string(256, '\0'));
  EXPECT_EQ(dbf.offset, 0);
  EXPECT_EQ(dbf.size, 100000);
  EXPECT_EQ(dbf.stored, 0);
  EXPECT_EQ(dbf.level, 3);
  EXPECT_EQ(dbf.crc, test::Crc(text));
  EXPECT_EQ(bytes.substr(0, dbf.blockSize), deflated);  // the same zlib stream, byte for byte

  const auto& mdx = raw.entries[1];  // random bytes do not shrink: stored as they are
  EXPECT_EQ(mdx.name, "RiskData.mdx");
  EXPECT_EQ(mdx.offset, dbf.blockSize);
  EXPECT_EQ(mdx.stored, 1);
  EXPECT_EQ(mdx.level, 0);
  EXPECT_EQ(mdx.blockSize, 5000);
  EXPECT_EQ(bytes.substr(mdx.offset, 5000), noise);
  EXPECT_EQ(mdx.crc, test::Crc(noise));

  const auto& dbt = raw.entries[2];  // an empty member: stored, nothing in the file
  EXPECT_EQ(dbt.size, 0);
  EXPECT_EQ(dbt.blockSize, 0);
  EXPECT_EQ(dbt.stored, 1);
  EXPECT_EQ(dbt.level, 0);
  EXPECT_EQ(dbt.crc, 0u);
  EXPECT_EQ(dbt.offset, mdx.offset + 5000);
  EXPECT_EQ(raw.registryOffset, dbt.offset);
}

TEST(ZlbLayout, LevelByteAndStreamsFollowTheCompressionLevel) {
  test::TempDir dir;
  const std::string text = test::TableText(50000);
  WriteFileBytes(dir / "t.txt", text);
  struct Case {
    TFileCompressionLevel level;
    int zlibLevel;
    std::string header;
  };
  const Case cases[] = {{TFileCompressionLevel::fcNone, 0, "\x78\x01"},
                        {TFileCompressionLevel::fcFastest, 1, "\x78\x01"},
                        {TFileCompressionLevel::fcDefault, -1, "\x78\x9C"},
                        {TFileCompressionLevel::fcMaximum, 9, "\x78\xDA"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zlibLevel);
    fs::remove(dir / "a.zlb");
    const std::string bytes = WriteArchive(dir / "a.zlb", {dir / "t.txt"}, c.level);
    const test::RawArchive raw = test::Parse(bytes);
    EXPECT_EQ(raw.registry.substr(0, 2), c.header);
    EXPECT_EQ(raw.registry, test::Deflate(raw.entries[0].raw, c.zlibLevel));
    const auto& entry = raw.entries[0];
    if (c.level == TFileCompressionLevel::fcNone) {
      // Level 0 only wraps the bytes, so the stream is larger and the member is stored.
      EXPECT_EQ(entry.stored, 1);
      EXPECT_EQ(entry.level, 0);
      EXPECT_EQ(bytes.substr(0, entry.blockSize), text);
    } else {
      EXPECT_EQ(entry.stored, 0);
      EXPECT_EQ(entry.level, static_cast<int>(c.level));
      EXPECT_EQ(bytes.substr(0, entry.blockSize), test::Deflate(text, c.zlibLevel));
    }
  }
}

TEST(ZlbLayout, ArchiveWithoutMembersIsAnEmptyRegistryAndTheTrailer) {
  test::TempDir dir;
  const std::string bytes = WriteArchive(dir / "empty.zlb", {});
  const std::string registry = test::Deflate("", 9);
  ASSERT_EQ(bytes.size(), registry.size() + 36);
  EXPECT_EQ(bytes.substr(0, registry.size()), registry);
  const test::RawArchive raw = test::Parse(bytes);
  EXPECT_EQ(raw.count, 0);
  EXPECT_EQ(raw.registryOffset, 0);
  EXPECT_EQ(raw.registrySize, static_cast<std::int32_t>(registry.size()));

  TZLBArchive zlb;
  EXPECT_TRUE(zlb.OpenArchive(dir / "empty.zlb"));
  EXPECT_EQ(zlb.FileCount(), 0);
  zlb.ExtractAll(dir / "out");
  EXPECT_FALSE(fs::exists(dir / "out"));  // directories are made for members only
}

TEST(ZlbLayout, IndependentPythonReaderExtractsWhatWasWritten) {
  test::TempDir dir;
  const std::string text = test::TableText(300000);
  const std::string noise = test::RandomBytes(70000, 2);
  WriteFileBytes(dir / "RiskData.dbf", text);
  WriteFileBytes(dir / "RiskData.mdx", noise);
  WriteFileBytes(dir / "RiskData.dbt", "");
  WriteArchive(dir / "p.rsk", {dir / "RiskData.dbf", dir / "RiskData.mdx", dir / "RiskData.dbt"});
  fs::create_directory(dir / "py");
  std::string listing;
  const int status =
      test::RunCommand("/usr/bin/python3 " ORVENDA_SOURCE_DIR "/tests/archive/read_zlb.py " +
                           (dir / "p.rsk").string() + " " + (dir / "py").string(),
                       &listing);
  ASSERT_EQ(status, 0) << listing;
  EXPECT_EQ(listing,
            "RiskData.dbf\t300000\t0\t3\nRiskData.mdx\t70000\t1\t0\nRiskData.dbt\t0\t1\t0\n");
  EXPECT_EQ(ReadFileBytes(dir / "py" / "RiskData.dbf"), text);
  EXPECT_EQ(ReadFileBytes(dir / "py" / "RiskData.mdx"), noise);
  EXPECT_EQ(ReadFileBytes(dir / "py" / "RiskData.dbt"), "");
}

TEST(ZlbLayout, ArchivesWrittenFromTheLayoutAreRead) {
  test::TempDir dir;
  const std::string text = test::TableText(20000);
  const std::string noise = test::RandomBytes(3000, 3);
  const std::vector<test::Member> members = {
      {"A.dbf", text, false, ""}, {"B.bin", noise, true, ""}, {"C.txt", "", true, ""}};
  // Registry as a zlib stream and stored plainly (flag 0).
  const std::string built = test::BuildArchive(members);
  const test::RawArchive parsed = test::Parse(built);
  const std::string area = built.substr(0, parsed.registryOffset);
  const std::vector<test::RawEntry>& entries = parsed.entries;
  for (const int level : {9, -2}) {
    SCOPED_TRACE(level);
    WriteFileBytes(dir / "in.zlb", test::Assemble(area, entries, level));
    TZLBArchive zlb;
    zlb.CheckCRC = true;
    ASSERT_TRUE(zlb.OpenArchive(dir / "in.zlb"));
    ASSERT_EQ(zlb.FileCount(), 3);
    EXPECT_EQ(zlb.Trailer().RegistryFlag, level == 9 ? 1 : 0);
    const TZLBFileEntry b = zlb.GetFileEntry(1);
    EXPECT_EQ(b.FileName, "B.bin");
    EXPECT_TRUE(b.Stored);
    EXPECT_EQ(b.UncompressedSize, 3000);
    EXPECT_EQ(b.Crc, test::Crc(noise));
    fs::remove_all(dir / "out");
    zlb.ExtractAll(dir / "out");
    EXPECT_EQ(ReadFileBytes(dir / "out" / "A.dbf"), text);
    EXPECT_EQ(ReadFileBytes(dir / "out" / "B.bin"), noise);
    EXPECT_EQ(ReadFileBytes(dir / "out" / "C.txt"), "");
  }
}

TEST(ZlbLayout, EntryRecordsRoundTripThroughTheirBytes) {
  TZLBFileEntry entry;
  entry.FileName = W("Přehled.dbf");
  entry.Directory = "\\Data\\";
  entry.UncompressedSize = 0x01020304;
  entry.CompressedSize = 77;
  entry.Offset = 0x7FFFFFF0;
  entry.Crc = 0xDEADBEEF;
  entry.Stored = false;
  entry.Level = 3;
  const auto bytes = entry.Encode();
  const std::string raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  EXPECT_EQ(raw[0], 11);
  EXPECT_EQ(raw.substr(1, 11), W("Přehled.dbf"));
  EXPECT_EQ(raw.substr(256, 7), "\x06\\Data\\");
  EXPECT_EQ(raw.substr(512, 4), "\x04\x03\x02\x01");
  EXPECT_EQ(test::GetU32(raw, 520), 0x7FFFFFF0u);
  EXPECT_EQ(test::GetU32(raw, 524), 0xDEADBEEFu);
  EXPECT_EQ(TZLBFileEntry::Decode(bytes.data()), entry);

  entry.FileName = std::string(300, 'x');  // cut to what the length byte can say
  EXPECT_EQ(TZLBFileEntry::Decode(entry.Encode().data()).FileName, std::string(255, 'x'));
}

TEST(ZlbLayout, NamesAreWindows1250AndMatchWithoutRegardToCase) {
  test::TempDir dir;
  const fs::path czech = dir / fs::path(u8"Žluťoučký kůň.dbf");
  WriteFileBytes(czech, "kun");
  WriteFileBytes(dir / "Plain.TXT", "plain");
  const std::string bytes = WriteArchive(dir / "a.zlb", {czech, dir / "Plain.TXT"});
  EXPECT_EQ(test::Parse(bytes).entries[0].name, W("Žluťoučký kůň.dbf"));

  TZLBArchive zlb;
  zlb.OpenArchive(dir / "a.zlb");
  EXPECT_EQ(zlb.GetFileEntry(0).FileName, W("Žluťoučký kůň.dbf"));
  EXPECT_EQ(zlb.IndexOfFile(fs::path(u8"ŽLUŤOUČKÝ KŮŇ.DBF")), 0);
  EXPECT_EQ(zlb.IndexOfFile(dir / fs::path(u8"žluťoučký kůň.dbf")), 0);
  EXPECT_EQ(zlb.IndexOfFile("plain.txt"), 1);
  EXPECT_EQ(zlb.IndexOfFile("C:\\Data\\PLAIN.txt"), 1);  // Windows forms name the same file
  EXPECT_EQ(zlb.IndexOfFile("plain.tx"), -1);
  zlb.ExtractAll(dir / "out");
  EXPECT_EQ(ReadFileBytes(dir / "out" / fs::path(u8"Žluťoučký kůň.dbf")), "kun");
}

TEST(ZlbLayout, SavedPathsUseBackslashesAndComeBackUnderTheDestination) {
  test::TempDir dir;
  fs::create_directories(dir / "src" / "sub");
  WriteFileBytes(dir / "src" / "sub" / "x.txt", "deep");
  // A directory longer than the field holds.
  fs::path longDir = dir / "src";
  for (int i = 0; i < 6; ++i) longDir /= std::string(50, static_cast<char>('a' + i));
  fs::create_directories(longDir);
  WriteFileBytes(longDir / "y.txt", "long");

  TZLBArchive zlb;
  zlb.SavePaths = true;
  zlb.CreateArchive(dir / "a.zlb");
  zlb.AddFiles({dir / "src" / "sub" / "x.txt", longDir / "y.txt"});
  zlb.CloseArchive();
  const test::RawArchive raw = test::Parse(ReadFileBytes(dir / "a.zlb"));
  std::string expected = (dir / "src" / "sub").string() + "/";
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(raw.entries[0].directory, expected);
  EXPECT_EQ(raw.entries[0].directory.front(), '\\');
  std::string cut = longDir.string() + "/";
  std::replace(cut.begin(), cut.end(), '/', '\\');
  ASSERT_GT(cut.size(), 255u);
  EXPECT_EQ(raw.entries[1].directory, cut.substr(0, 255));

  zlb.OpenArchive(dir / "a.zlb");
  EXPECT_EQ(zlb.IndexOfFile(dir / "src" / "sub" / "X.TXT"), 0);
  EXPECT_EQ(zlb.IndexOfFile(dir / "elsewhere" / "x.txt"), -1);
  zlb.SavePaths = false;
  EXPECT_EQ(zlb.IndexOfFile("x.txt"), -1);  // the entry carries a directory
  zlb.SavePaths = true;

  zlb.ExtractWithPath = true;
  zlb.ExtractAll(dir / "out");
  fs::path back = dir / "out";
  for (const auto& part : dir / "src" / "sub") {
    if (part != "/") back /= part;
  }
  EXPECT_EQ(ReadFileBytes(back / "x.txt"), "deep");

  zlb.ExtractWithPath = false;
  zlb.ExtractAll(dir / "flat");
  EXPECT_EQ(ReadFileBytes(dir / "flat" / "x.txt"), "deep");
  EXPECT_EQ(ReadFileBytes(dir / "flat" / "y.txt"), "long");
}

// Counts the temporary files the component asks for.
class CountingArchive : public TZLBArchive {
 public:
  fs::path MakeTempFileName() override {
    made.push_back(TZLBArchive::MakeTempFileName());
    existedWhenMade = fs::exists(made.back());
    return made.back();
  }
  std::vector<fs::path> made;
  bool existedWhenMade = false;
};

TEST(ZlbLayout, MembersAbove20MiBAreCompressedThroughATemporaryFile) {
  test::TempDir dir;
  test::TempDir temp;
  const std::string limit = test::TableText(20 * 1024 * 1024);
  const std::string above = limit + "!";
  WriteFileBytes(dir / "limit.dbf", limit);
  WriteFileBytes(dir / "above.dbf", above);

  CountingArchive zlb;
  zlb.TempDirectory = temp.path();
  zlb.CompressionLevel = TFileCompressionLevel::fcFastest;
  zlb.CheckCRC = true;
  zlb.CreateArchive(dir / "big.zlb");
  zlb.AddFiles({dir / "limit.dbf"});
  EXPECT_TRUE(zlb.made.empty());  // exactly 20 MiB stays in memory
  zlb.AddFiles({dir / "above.dbf"});
  ASSERT_EQ(zlb.made.size(), 1u);
  EXPECT_TRUE(zlb.existedWhenMade);
  EXPECT_EQ(zlb.made[0].parent_path(), temp.path());
  EXPECT_EQ(zlb.made[0].filename().string().substr(0, 3), "ZLB");
  EXPECT_TRUE(fs::is_empty(temp.path()));  // removed afterwards

  const std::string bytes = ReadFileBytes(dir / "big.zlb");
  const test::RawArchive raw = test::Parse(bytes);
  ASSERT_EQ(raw.count, 2);
  EXPECT_EQ(test::MemberContents(bytes, raw.entries[1]), above);
  EXPECT_EQ(raw.entries[1].stored, 0);
  zlb.ExtractAll(dir / "out");
  EXPECT_EQ(ReadFileBytes(dir / "out" / "above.dbf"), above);
  EXPECT_EQ(ReadFileBytes(dir / "out" / "limit.dbf"), limit);
}

TEST(ZlbLayout, TemporaryNamesAreNewFilesInTheTemporaryDirectory) {
  test::TempDir temp;
  TZLBArchive zlb;
  zlb.TempDirectory = temp.path();
  const fs::path a = zlb.MakeTempFileName();
  const fs::path b = zlb.MakeTempFileName();
  EXPECT_NE(a, b);
  EXPECT_TRUE(fs::is_regular_file(a));
  EXPECT_EQ(fs::file_size(a), 0u);
  EXPECT_EQ(a.parent_path(), temp.path());
  zlb.TempDirectory.clear();
  const fs::path system = zlb.MakeTempFileName();
  EXPECT_EQ(system.parent_path(), fs::temp_directory_path());
  fs::remove(system);
}

}  // namespace
}  // namespace orvenda
