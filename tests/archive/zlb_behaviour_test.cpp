// States, operations, events, progress and error texts of the archive component.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "archive/zlb_archive.h"
#include "archive/zlb_format_support.h"
#include "base/error.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;
using ::testing::ElementsAre;
using ::testing::Pair;

using test::ErrorText;

TEST(ZlbStates, ClosedNewAndOpen) {
  test::TempDir dir;
  TZLBArchive zlb;
  int opened = 0;
  zlb.OnArchiveOpened = [&] { ++opened; };
  const std::string notOpen = "No archive is currently open";
  EXPECT_EQ(ErrorText([&] { zlb.FileCount(); }), notOpen);
  EXPECT_EQ(ErrorText([&] { zlb.IndexOfFile("a"); }), notOpen);
  EXPECT_EQ(ErrorText([&] { zlb.AddFiles({}); }), notOpen);
  EXPECT_EQ(ErrorText([&] { zlb.ExtractAll(dir.path()); }), notOpen);
  EXPECT_EQ(ErrorText([&] { zlb.GetFileEntry(0); }), "Index out of bounds");
  EXPECT_FALSE(zlb.OpenArchive(""));
  EXPECT_EQ(opened, 0);

  zlb.CreateArchive(dir / "new.zlb");
  EXPECT_EQ(opened, 1);
  EXPECT_TRUE(zlb.IsNewArchive());
  EXPECT_EQ(zlb.FileCount(), 0);
  EXPECT_EQ(zlb.IndexOfFile("a"), -1);
  EXPECT_FALSE(fs::exists(dir / "new.zlb"));  // written by AddFiles only

  WriteFileBytes(dir / "a.txt", "alpha");
  WriteFileBytes(dir / "b.txt", "beta");
  zlb.AddFiles({dir / "a.txt", dir / "b.txt"});  // leads to the open state on the new file
  EXPECT_EQ(opened, 2);
  EXPECT_FALSE(zlb.IsNewArchive());
  EXPECT_EQ(zlb.ArchiveFileName(), dir / "new.zlb");
  EXPECT_EQ(zlb.FileCount(), 2);
  EXPECT_EQ(zlb.GetFileEntry(1).FileName, "b.txt");
  EXPECT_EQ(ErrorText([&] { zlb.GetFileEntry(2); }), "Index out of bounds");
  EXPECT_EQ(ErrorText([&] { zlb.GetFileEntry(-1); }), "Index out of bounds");

  zlb.CloseArchive();
  EXPECT_EQ(ErrorText([&] { zlb.FileCount(); }), notOpen);
  EXPECT_EQ(zlb.Trailer(), TZLBTrailer{});

  EXPECT_TRUE(zlb.OpenArchive(dir / "new.zlb"));
  EXPECT_EQ(opened, 3);
  EXPECT_EQ(zlb.FileCount(), 2);
  EXPECT_EQ(zlb.Trailer().Count, 2);
  EXPECT_FALSE(zlb.OpenArchive(""));  // an empty name closes
  EXPECT_EQ(ErrorText([&] { zlb.FileCount(); }), notOpen);

  zlb.CreateArchive(dir / "x.zlb");
  zlb.CreateArchive("");  // an empty name just closes
  EXPECT_EQ(ErrorText([&] { zlb.FileCount(); }), notOpen);
}

TEST(ZlbStates, OpeningAndCreatingFailWithTheirTexts) {
  test::TempDir dir;
  WriteFileBytes(dir / "a.txt", "alpha");
  TZLBArchive zlb;
  zlb.CreateArchive(dir / "a.zlb");
  zlb.AddFiles({dir / "a.txt"});

  EXPECT_EQ(ErrorText([&] { zlb.OpenArchive(dir / "missing.zlb"); }), "Archive file not found");
  EXPECT_EQ(ErrorText([&] { zlb.FileCount(); }), "No archive is currently open");
  EXPECT_EQ(ErrorText([&] { zlb.OpenArchive(dir.path()); }), "Archive file not found");

  zlb.OpenArchive(dir / "a.zlb");
  EXPECT_EQ(ErrorText([&] { zlb.CreateArchive(dir / "a.zlb"); }), "File already exists");
  EXPECT_EQ(ErrorText([&] { zlb.FileCount(); }), "No archive is currently open");

  // The archive vanished between opening and extracting.
  zlb.OpenArchive(dir / "a.zlb");
  fs::rename(dir / "a.zlb", dir / "moved.zlb");
  EXPECT_EQ(ErrorText([&] { zlb.ExtractAll(dir / "out"); }),
            "Unable to open file (" + (dir / "a.zlb").string() + ")");

  // A destination under a plain file cannot be made.
  zlb.OpenArchive(dir / "moved.zlb");
  EXPECT_EQ(ErrorText([&] { zlb.ExtractAll(dir / "a.txt" / "sub"); }),
            "Unable to create destination path");
}

TEST(ZlbAdding, AppendingKeepsTheExistingBlocksAndOffsets) {
  test::TempDir dir;
  WriteFileBytes(dir / "a.txt", test::TableText(40000));
  WriteFileBytes(dir / "b.bin", test::RandomBytes(2000, 4));
  WriteFileBytes(dir / "c.txt", test::TableText(1000));
  TZLBArchive zlb;
  zlb.CompressionLevel = TFileCompressionLevel::fcMaximum;
  zlb.CreateArchive(dir / "a.zlb");
  zlb.AddFiles({dir / "a.txt", dir / "b.bin"});
  const std::string before = ReadFileBytes(dir / "a.zlb");
  const test::RawArchive first = test::Parse(before);

  zlb.CloseArchive();
  zlb.OpenArchive(dir / "a.zlb");
  zlb.AddFiles({dir / "c.txt"});
  const std::string after = ReadFileBytes(dir / "a.zlb");
  const test::RawArchive second = test::Parse(after);
  ASSERT_EQ(second.count, 3);
  EXPECT_EQ(after.substr(0, first.registryOffset), before.substr(0, first.registryOffset));
  EXPECT_EQ(second.entries[0].raw, first.entries[0].raw);
  EXPECT_EQ(second.entries[1].raw, first.entries[1].raw);
  EXPECT_EQ(second.entries[2].offset, first.registryOffset);
  EXPECT_EQ(test::MemberContents(after, second.entries[2]), test::TableText(1000));
  EXPECT_EQ(zlb.FileCount(), 3);
}

TEST(ZlbAdding, SameNameTwiceGivesTwoEntriesAndTheReplaceQuestion) {
  test::TempDir dir;
  fs::create_directory(dir / "one");
  fs::create_directory(dir / "two");
  WriteFileBytes(dir / "one" / "data.txt", "first");
  WriteFileBytes(dir / "two" / "DATA.TXT", "second");
  TZLBArchive zlb;
  std::vector<std::string> log;
  zlb.OnErrorLogged = [&](const std::string& msg) { log.push_back(msg); };
  zlb.CreateArchive(dir / "a.zlb");
  zlb.AddFiles({dir / "one" / "data.txt", dir / "two" / "DATA.TXT"});
  EXPECT_THAT(log,
              ElementsAre((dir / "two" / "DATA.TXT").string() + " already exists in the archive"));
  ASSERT_EQ(zlb.FileCount(), 2);
  EXPECT_EQ(zlb.IndexOfFile("Data.Txt"), 0);

  // Without a handler the later member overwrites the earlier.
  zlb.ExtractAll(dir / "plain");
  EXPECT_EQ(ReadFileBytes(dir / "plain" / "DATA.TXT"), "second");
  EXPECT_EQ(ReadFileBytes(dir / "plain" / "data.txt"), "first");  // names differ on this host

  // The handler is asked about existing files only, and declining keeps what is there.
  fs::create_directory(dir / "out");
  WriteFileBytes(dir / "out" / "DATA.TXT", "old");
  std::vector<fs::path> asked;
  std::vector<fs::path> extracted;
  zlb.OnReplaceFile = [&](const fs::path& file, bool& replace) {
    EXPECT_FALSE(replace);
    asked.push_back(file);
  };
  zlb.OnFileExtracted = [&](const fs::path& file) { extracted.push_back(file); };
  zlb.ExtractAll(dir / "out");
  EXPECT_THAT(asked, ElementsAre(dir / "out" / "DATA.TXT"));
  EXPECT_THAT(extracted, ElementsAre(dir / "out" / "data.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "out" / "DATA.TXT"), "old");

  zlb.OnReplaceFile = [](const fs::path&, bool& replace) { replace = true; };
  zlb.ExtractAll(dir / "out");
  EXPECT_EQ(ReadFileBytes(dir / "out" / "DATA.TXT"), "second");
}

TEST(ZlbAdding, UnreadableFilesAreSkippedAndLogged) {
  test::TempDir dir;
  WriteFileBytes(dir / "a.txt", "alpha");
  mkfifo((dir / "pipe").c_str(), 0600);
  TZLBArchive zlb;
  std::vector<std::string> log;
  zlb.OnErrorLogged = [&](const std::string& msg) { log.push_back(msg); };
  zlb.CreateArchive(dir / "a.zlb");
  std::vector<fs::path> list = {dir / "missing.txt", dir / "pipe", dir / "a.txt"};
  zlb.AddFiles(list);
  EXPECT_TRUE(list.empty());  // consumed
  EXPECT_THAT(log, ElementsAre("Unable to open file (" + (dir / "missing.txt").string() + ")",
                               "Unable to open file (" + (dir / "pipe").string() + ")"));
  ASSERT_EQ(zlb.FileCount(), 1);
  EXPECT_EQ(zlb.GetFileEntry(0).FileName, "a.txt");

  // Without a log handler the same happens silently.
  TZLBArchive quiet;
  quiet.CreateArchive(dir / "b.zlb");
  quiet.AddFiles({dir / "missing.txt", dir / "a.txt"});
  EXPECT_EQ(quiet.FileCount(), 1);
}

TEST(ZlbAdding, DirectoriesAreDroppedOrWalkedWithRecursePaths) {
  test::TempDir dir;
  fs::create_directories(dir / "tree" / "b" / "c");
  fs::create_directories(dir / "tree" / "a");
  WriteFileBytes(dir / "tree" / "z.txt", "z");
  WriteFileBytes(dir / "tree" / ".hidden", "h");
  WriteFileBytes(dir / "tree" / "b" / "m.txt", "m");
  WriteFileBytes(dir / "tree" / "b" / "c" / "n.txt", "n");
  WriteFileBytes(dir / "tree" / "a" / "k.txt", "k");
  WriteFileBytes(dir / "single.txt", "s");

  TZLBArchive zlb;
  zlb.CreateArchive(dir / "flat.zlb");
  zlb.AddFiles({dir / "tree", dir / "single.txt"});
  ASSERT_EQ(zlb.FileCount(), 1);
  EXPECT_EQ(zlb.GetFileEntry(0).FileName, "single.txt");

  zlb.RecursePaths = true;
  zlb.CreateArchive(dir / "deep.zlb");
  zlb.AddFiles({dir / "tree", dir / "single.txt"});
  std::vector<std::string> names;
  for (int i = 0; i < zlb.FileCount(); ++i) names.push_back(zlb.GetFileEntry(i).FileName);
  EXPECT_THAT(names, ElementsAre("single.txt", ".hidden", "k.txt", "n.txt", "m.txt", "z.txt"));
}

TEST(ZlbExtracting, DestinationWithOrWithoutTrailingSeparatorIsTheSame) {
  test::TempDir dir;
  WriteFileBytes(dir / "a.txt", "alpha");
  TZLBArchive zlb;
  zlb.CreateArchive(dir / "a.zlb");
  zlb.AddFiles({dir / "a.txt"});
  zlb.ExtractAll(dir / "x" / "y");
  zlb.ExtractAll((dir / "p" / "q").string() + "/");
  EXPECT_EQ(ReadFileBytes(dir / "x" / "y" / "a.txt"), "alpha");
  EXPECT_EQ(ReadFileBytes(dir / "p" / "q" / "a.txt"), "alpha");
  EXPECT_EQ(ErrorText([&] { zlb.ExtractAll(""); }), "Unable to create destination path");
}

TEST(ZlbExtracting, ChecksumIsVerifiedOnlyWhenAskedFor) {
  test::TempDir dir;
  std::string bytes = test::BuildArchive(
      {{"good.txt", "good", true, ""}, {"bad.txt", test::TableText(5000), false, ""}});
  test::RawArchive raw = test::Parse(bytes);
  raw.entries[1].crc ^= 1;
  bytes = test::Assemble(bytes.substr(0, raw.registryOffset), raw.entries);
  WriteFileBytes(dir / "a.zlb", bytes);

  TZLBArchive zlb;
  zlb.OpenArchive(dir / "a.zlb");
  zlb.ExtractAll(dir / "unchecked");
  EXPECT_EQ(ReadFileBytes(dir / "unchecked" / "bad.txt"), test::TableText(5000));

  zlb.CheckCRC = true;
  EXPECT_EQ(ErrorText([&] { zlb.ExtractAll(dir / "checked"); }), "File (1) is corrupt");
  EXPECT_EQ(ReadFileBytes(dir / "checked" / "good.txt"), "good");
}

// Records every progress report.
struct ProgressLog {
  std::vector<std::pair<std::string, int>> reports;
  TZLBArchive::TProgressEvent Handler() {
    return [this](const std::string& msg, int percent) { reports.emplace_back(msg, percent); };
  }
  std::vector<int> Of(const std::string& text) const {
    std::vector<int> values;
    for (const auto& [msg, percent] : reports) {
      if (msg == text) values.push_back(percent);
    }
    return values;
  }
};

TEST(ZlbProgress, ReadingPhasesReportEvery4096BytesRoundingHalvesToEven) {
  test::TempDir dir;
  // 32768 bytes: the pieces end at 12.5 %, 25 %, 37.5 % ... of the member.
  WriteFileBytes(dir / "r.bin", test::RandomBytes(32768, 5));
  WriteFileBytes(dir / "t.txt", test::TableText(10000));
  WriteFileBytes(dir / "e.txt", "");
  TZLBArchive zlb;
  zlb.CreateArchive(dir / "a.zlb");
  zlb.AddFiles({dir / "r.bin", dir / "t.txt", dir / "e.txt"});
  zlb.CloseArchive();

  ProgressLog log;
  zlb.OnProgress = log.Handler();
  const std::string name = (dir / "a.zlb").string();
  zlb.OpenArchive(dir / "a.zlb");
  EXPECT_THAT(log.reports,
              ElementsAre(Pair("", 0), Pair("Extracting archive registry", 100), Pair(name, 0)));
  log.reports.clear();
  zlb.ExtractAll(dir / "out");
  EXPECT_THAT(log.Of("Extracting r.bin"), ElementsAre(12, 25, 38, 50, 62, 75, 88, 100));
  EXPECT_THAT(log.Of("Extracting t.txt"), ElementsAre(41, 82, 100));  // 40.96, 81.92, 100
  EXPECT_THAT(log.Of("Extracting e.txt"), ElementsAre());             // nothing to do, nothing said
  EXPECT_EQ(log.reports.back(), std::make_pair(name, 0));
  EXPECT_EQ(log.reports.size(), 8u + 3u + 1u);
  log.reports.clear();
  zlb.CloseArchive();
  EXPECT_THAT(log.reports, ElementsAre(Pair("", 0)));

  // A registry of 20 entries is 10640 bytes: three pieces.
  std::vector<test::Member> many;
  for (int i = 0; i < 20; ++i) many.push_back({"m" + std::to_string(i), "", true, ""});
  WriteFileBytes(dir / "many.zlb", test::BuildArchive(many));
  log.reports.clear();
  zlb.OpenArchive(dir / "many.zlb");
  EXPECT_THAT(log.Of("Extracting archive registry"), ElementsAre(38, 77, 100));
}

TEST(ZlbProgress, CompressionReportsEachFullOutputBuffer) {
  test::TempDir dir;
  const std::string noise = test::RandomBytes(300000, 6);
  WriteFileBytes(dir / "r.bin", noise);
  TZLBArchive zlb;
  zlb.CompressionLevel = TFileCompressionLevel::fcFastest;
  ProgressLog log;
  zlb.OnProgress = log.Handler();
  zlb.CreateArchive(dir / "a.zlb");
  log.reports.clear();
  zlb.AddFiles({dir / "r.bin"});
  const std::vector<int> updating = log.Of("Updating " + (dir / "r.bin").string());
  // One report per whole 64 KiB of compressed output.
  EXPECT_EQ(updating.size(), test::Deflate(noise, 1).size() / 65536);
  ASSERT_FALSE(updating.empty());
  EXPECT_TRUE(std::is_sorted(updating.begin(), updating.end()));
  EXPECT_GT(updating.front(), 0);
  EXPECT_LE(updating.back(), 100);
  EXPECT_TRUE(log.Of("Writing archive registry").empty());  // far less than a buffer
  EXPECT_EQ(log.reports.back(), std::make_pair((dir / "a.zlb").string(), 0));
}

TEST(ZlbProgress, DestructionReportsNothing) {
  test::TempDir dir;
  WriteFileBytes(dir / "a.txt", "alpha");
  ProgressLog log;
  {
    TZLBArchive zlb;
    zlb.CreateArchive(dir / "a.zlb");
    zlb.AddFiles({dir / "a.txt"});
    zlb.OnProgress = log.Handler();
  }
  EXPECT_TRUE(log.reports.empty());
}

}  // namespace
}  // namespace orvenda
