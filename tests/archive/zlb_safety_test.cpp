// Damaged and hostile archives, and writes that fail: the old archive survives, nothing is
// written outside the destination, nothing crashes or allocates what the file cannot hold.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <set>

#include "archive/zlb_archive.h"
#include "archive/zlb_format_support.h"
#include "base/error.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

using test::ErrorText;

// Every path below `root`, relative to it.
std::set<std::string> Listing(const fs::path& root) {
  std::set<std::string> paths;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    paths.insert(fs::relative(item.path(), root).string());
  }
  return paths;
}

std::string SmallArchive() {
  return test::BuildArchive({{"RiskData.dbf", test::TableText(3000), false, ""},
                             {"RiskData.dbt", test::RandomBytes(200, 9), true, ""},
                             {"RiskData.mdx", "", true, ""}});
}

TEST(ZlbDamage, EveryChangedByteBeforeTheTrailerIsDetected) {
  test::TempDir dir;
  const std::string good = SmallArchive();
  TZLBArchive zlb;
  const std::size_t body = good.size() - 36;
  int n = 0;
  for (std::size_t at = 0; at < body + 4; ++at) {  // and the stored checksum itself
    for (const unsigned char flip : {0x01, 0x80, 0xFF}) {
      std::string bad = good;
      bad[at] = static_cast<char>(bad[at] ^ flip);
      // A new file each time: truncating one makes this file system flush to disk.
      const fs::path file = dir / std::to_string(n++);
      WriteFileBytes(file, bad);
      ASSERT_EQ(ErrorText([&] { zlb.OpenArchive(file); }),
                "The archive file appears to be corrupted")
          << "byte " << at;
      ASSERT_EQ(ErrorText([&] { zlb.FileCount(); }), "No archive is currently open");
      fs::remove(file);
    }
  }
  const fs::path file = dir / "a.zlb";
  WriteFileBytes(file, good);
  EXPECT_TRUE(zlb.OpenArchive(file));
}

TEST(ZlbDamage, ShortCutAndExtendedFilesAreCorrupt) {
  test::TempDir dir;
  const std::string good = SmallArchive();
  const fs::path file = dir / "a.zlb";
  TZLBArchive zlb;
  for (const std::string& bad :
       {std::string(), std::string(35, '\0'), good.substr(0, good.size() - 1), good.substr(1),
        good + "x", std::string(36, '\0') + "junk"}) {
    WriteFileBytes(file, bad);
    EXPECT_EQ(ErrorText([&] { zlb.OpenArchive(file); }), "The archive file appears to be corrupted")
        << bad.size();
  }
  // 36 zero bytes are a valid archive of nothing: CRC of no bytes is 0, count 0, flag 0.
  WriteFileBytes(file, std::string(36, '\0'));
  EXPECT_TRUE(zlb.OpenArchive(file));
  EXPECT_EQ(zlb.FileCount(), 0);
}

// Changes a trailer field and makes the checksum right again, as a hostile file would.
std::string WithTrailerField(std::string archive, std::size_t at, std::uint32_t value) {
  test::PutU32(archive, archive.size() - 36 + at, value);
  return archive;
}

TEST(ZlbDamage, TrailerClaimsAreCheckedAgainstTheFile) {
  test::TempDir dir;
  const std::string good = SmallArchive();
  const test::RawArchive raw = test::Parse(good);
  const fs::path file = dir / "a.zlb";
  const std::uint32_t registryOffset = static_cast<std::uint32_t>(raw.registryOffset);
  std::string storedRegistry = good;
  storedRegistry[storedRegistry.size() - 36 + 20] = 0;  // registry flag 0 over a zlib stream
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"two billion entries", WithTrailerField(good, 4, 2000000000)},
      {"negative count", WithTrailerField(good, 4, 0xFFFFFFFF)},
      {"one entry more than the registry holds", WithTrailerField(good, 4, 4)},
      {"registry offset past the end", WithTrailerField(good, 16, 0x7FFFFFF0)},
      {"registry offset negative", WithTrailerField(good, 16, 0x80000000)},
      {"registry offset inside a member", WithTrailerField(good, 16, registryOffset - 7)},
      {"stored registry shorter than the count", storedRegistry},
  };
  TZLBArchive zlb;
  for (const auto& c : cases) {
    std::string bytes = c.bytes;
    test::FixCrc(bytes);
    WriteFileBytes(file, bytes);
    EXPECT_EQ(ErrorText([&] { zlb.OpenArchive(file); }), "Unable to read archive file list")
        << c.what;
    EXPECT_EQ(ErrorText([&] { zlb.FileCount(); }), "No archive is currently open") << c.what;
  }
  // Fewer entries than written is a consistent, shorter registry.
  std::string fewer = WithTrailerField(good, 4, 2);
  test::FixCrc(fewer);
  WriteFileBytes(file, fewer);
  EXPECT_TRUE(zlb.OpenArchive(file));
  EXPECT_EQ(zlb.FileCount(), 2);
}

TEST(ZlbDamage, AThrowingOpenHandlerLeavesTheArchiveClosed) {
  test::TempDir dir;
  WriteFileBytes(dir / "a.zlb", SmallArchive());
  TZLBArchive zlb;
  zlb.OnArchiveOpened = [] { throw std::runtime_error("handler"); };
  EXPECT_EQ(ErrorText([&] { zlb.OpenArchive(dir / "a.zlb"); }), "Unable to read archive file list");
  EXPECT_EQ(ErrorText([&] { zlb.GetFileEntry(0); }), "Index out of bounds");
}

// An archive whose member 0 is sound and member 1 carries the given entry.
std::string WithSecondEntry(const test::RawEntry& second, const std::string& block) {
  const std::string first = "sound";
  std::vector<test::RawEntry> entries(2);
  entries[0].name = "first.txt";
  entries[0].size = entries[0].blockSize = 5;
  entries[0].crc = test::Crc(first);
  entries[0].stored = 1;
  entries[1] = second;
  return test::Assemble(first + block, entries);
}

TEST(ZlbDamage, MemberClaimsAreCheckedBeforeUse) {
  test::TempDir dir;
  const std::string contents = test::TableText(6000);
  const std::string stream = test::Deflate(contents, 9);
  const std::string bomb = test::Deflate(std::string(1 << 20, 'a'), 9);
  auto entry = [&](std::int32_t size, std::int32_t block, std::int32_t offset, bool stored) {
    test::RawEntry e;
    e.name = "second.txt";
    e.size = size;
    e.blockSize = block;
    e.offset = offset;
    e.stored = stored ? 1 : 0;
    e.crc = test::Crc(contents);
    return e;
  };
  const auto len = static_cast<std::int32_t>(stream.size());
  struct Case {
    const char* what;
    test::RawEntry entry;
    std::string block;
  } cases[] = {
      {"block runs into the registry", entry(6000, len + 1, 5, false), stream},
      {"offset past the registry", entry(6000, len, 0x7FFFFF00, false), stream},
      {"negative offset", entry(6000, len, -5, false), stream},
      {"negative size", entry(-1, len, 5, false), stream},
      {"negative block size", entry(6000, -1, 5, false), stream},
      {"stored size past the registry", entry(len + 1, len, 5, true), stream},
      {"stream cut short", entry(6000, len - 10, 5, false), stream},
      {"stream gives less than the size", entry(6001, len, 5, false), stream},
      {"two gigabytes from a small stream",
       entry(0x7FFFFFFF, static_cast<std::int32_t>(bomb.size()), 5, false), bomb},
      {"not a zlib stream", entry(6000, len, 5, false), test::RandomBytes(stream.size(), 3)},
      {"no block for a deflated member", entry(6000, 0, 5, false), ""},
  };
  TZLBArchive zlb;
  zlb.CheckCRC = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(dir / "a.zlb", WithSecondEntry(c.entry, c.block));
    ASSERT_TRUE(zlb.OpenArchive(dir / "a.zlb"));
    fs::remove_all(dir / "out");
    EXPECT_EQ(ErrorText([&] { zlb.ExtractAll(dir / "out"); }), "File (1) is corrupt");
    EXPECT_EQ(ReadFileBytes(dir / "out" / "first.txt"), "sound");
    if (fs::exists(dir / "out" / "second.txt")) {
      EXPECT_LT(fs::file_size(dir / "out" / "second.txt"), 2u << 20);
    }
  }
  // The same entry with honest numbers extracts.
  WriteFileBytes(dir / "a.zlb", WithSecondEntry(entry(6000, len, 5, false), stream));
  zlb.OpenArchive(dir / "a.zlb");
  zlb.ExtractAll(dir / "good");
  EXPECT_EQ(ReadFileBytes(dir / "good" / "second.txt"), contents);
}

TEST(ZlbEscape, NamesAndDirectoriesCannotLeaveTheDestination) {
  test::TempDir sandbox;
  const fs::path dest = sandbox / "box" / "dest";
  fs::create_directories(dest);
  const std::string badNames[] = {
      "../evil",        "..\\evil", "..",        ".",      "",         "/tmp/evil",
      "\\evil",         "sub/evil", "sub\\evil", "C:evil", "C:\\evil", std::string("a\0b", 3),
      "evil\\..\\..\\x"};
  const std::string badDirectories[] = {
      "..\\", "\\..\\..\\", "a\\..\\..\\b\\",        "../../", "C:\\Windows\\",
      "D:",   "x\\C:\\",    std::string("a\0\\", 3), "/..\\"};
  TZLBArchive zlb;
  int cases = 0;
  auto check = [&](const std::string& name, const std::string& directory, bool withPath) {
    SCOPED_TRACE("name '" + name + "' directory '" + directory + "'");
    WriteFileBytes(sandbox / "a.zlb", test::BuildArchive({{"ok.txt", "ok", true, ""},
                                                          {name, "evil", true, directory}}));
    zlb.ExtractWithPath = withPath;
    zlb.OpenArchive(sandbox / "a.zlb");
    EXPECT_EQ(ErrorText([&] { zlb.ExtractAll(dest); }), "File (1) is corrupt");
    EXPECT_EQ(Listing(sandbox.path()),
              (std::set<std::string>{"a.zlb", "box", "box/dest", "box/dest/ok.txt"}));
    fs::remove(dest / "ok.txt");
    ++cases;
  };
  for (const auto& name : badNames) {
    check(name, "", false);
    check(name, "", true);
  }
  for (const auto& directory : badDirectories) check("fine.txt", directory, true);
  EXPECT_EQ(cases, 2 * 13 + 9);

  // Without paths the directory field is not used, whatever it holds.
  WriteFileBytes(sandbox / "a.zlb",
                 test::BuildArchive({{"fine.txt", "fine", true, "..\\..\\..\\"}}));
  zlb.ExtractWithPath = false;
  zlb.OpenArchive(sandbox / "a.zlb");
  zlb.ExtractAll(dest);
  EXPECT_EQ(ReadFileBytes(dest / "fine.txt"), "fine");
}

TEST(ZlbEscape, DirectoriesAreReadRelativeToTheDestination) {
  test::TempDir dir;
  WriteFileBytes(dir / "a.zlb", test::BuildArchive({{"a.txt", "a", true, "\\Data\\\\Sub\\"},
                                                    {"b.txt", "b", false, "rel/x/./"},
                                                    {"c.txt", "c", true, "\\"}}));
  TZLBArchive zlb;
  zlb.ExtractWithPath = true;
  zlb.OpenArchive(dir / "a.zlb");
  zlb.ExtractAll(dir / "out");
  EXPECT_EQ(Listing(dir / "out"), (std::set<std::string>{"Data", "Data/Sub", "Data/Sub/a.txt",
                                                         "rel", "rel/x", "rel/x/b.txt", "c.txt"}));
}

TEST(ZlbEscape, ASymbolicLinkAtTheDestinationIsReplacedNotFollowed) {
  test::TempDir dir;
  fs::create_directory(dir / "out");
  WriteFileBytes(dir / "outside.txt", "keep");
  fs::create_symlink(dir / "outside.txt", dir / "out" / "a.txt");
  fs::create_symlink(dir / "nowhere.txt", dir / "out" / "b.txt");
  WriteFileBytes(dir / "a.zlb",
                 test::BuildArchive({{"a.txt", "new a", true, ""}, {"b.txt", "new b", true, ""}}));
  TZLBArchive zlb;
  zlb.OpenArchive(dir / "a.zlb");
  zlb.ExtractAll(dir / "out");
  EXPECT_EQ(ReadFileBytes(dir / "outside.txt"), "keep");
  EXPECT_FALSE(fs::exists(dir / "nowhere.txt"));
  EXPECT_FALSE(fs::is_symlink(dir / "out" / "a.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "out" / "a.txt"), "new a");
  EXPECT_EQ(ReadFileBytes(dir / "out" / "b.txt"), "new b");
}

// ---- writing that fails ----

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& item : fs::directory_iterator(dir)) names.insert(item.path().filename());
  return names;
}

class ArchiveOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(dir_ / "a.txt", test::TableText(30000));
    WriteFileBytes(dir_ / "b.txt", test::TableText(70000));
    TZLBArchive zlb;
    zlb.CreateArchive(archive_);
    zlb.AddFiles({dir_ / "a.txt"});
    old_ = ReadFileBytes(archive_);
  }
  void ExpectOldArchive() {
    EXPECT_EQ(ReadFileBytes(archive_), old_);
    EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"a.txt", "b.txt", "p.rsk"}));
  }

  test::TempDir dir_;
  fs::path archive_ = dir_ / "p.rsk";
  std::string old_;
};

TEST_F(ArchiveOnDisk, AFailingSaveIsReportedAndLeavesTheOldArchive) {
  TZLBArchive zlb;
  zlb.OnErrorLogged = [](const std::string& msg) { throw Error(msg); };
  zlb.OpenArchive(archive_);
  EXPECT_EQ(ErrorText([&] { zlb.AddFiles({dir_ / "missing.txt"}); }),
            "Unable to open file (" + (dir_ / "missing.txt").string() + ")");
  ExpectOldArchive();
  EXPECT_EQ(zlb.FileCount(), 1);  // still the old archive, still usable
  zlb.OnErrorLogged = nullptr;
  zlb.AddFiles({dir_ / "b.txt"});
  EXPECT_EQ(zlb.FileCount(), 2);
}

TEST_F(ArchiveOnDisk, AWriteErrorIsReportedAndLeavesTheOldArchive) {
  TZLBArchive zlb;
  zlb.CompressionLevel = TFileCompressionLevel::fcNone;  // so the new file outgrows the limit
  zlb.OpenArchive(archive_);
  // Files of this process may not grow beyond 40000 bytes: writing fails as on a full disk.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 40000;
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string error = ErrorText([&] { zlb.AddFiles({dir_ / "b.txt"}); });
  setrlimit(RLIMIT_FSIZE, &old);
  // The archive's text first, then the system's reason.
  EXPECT_EQ(error.substr(0, error.find(')') + 1),
            "Unable to write file (" + archive_.string() + ")");
  EXPECT_NE(error.find(": "), std::string::npos) << error;
  ExpectOldArchive();
}

TEST_F(ArchiveOnDisk, AFailingTemporaryFileIsReportedAndLeavesTheOldArchive) {
  struct NoTemp : TZLBArchive {
    fs::path MakeTempFileName() override { throw Error("no temporary file"); }
  } zlb;
  test::TempDir big;
  const fs::path file = big / "big.dbf";
  WriteFileBytes(file, "");
  fs::resize_file(file, kZlbInMemoryLimit + 1);  // sparse: quick to make
  zlb.OpenArchive(archive_);
  EXPECT_EQ(ErrorText([&] { zlb.AddFiles({file}); }), "no temporary file");
  ExpectOldArchive();
}

TEST_F(ArchiveOnDisk, ChangesSinceOpeningAreNotCopiedIntoTheNewArchive) {
  TZLBArchive zlb;
  zlb.OpenArchive(archive_);
  std::string changed = old_;
  changed[3] = static_cast<char>(changed[3] ^ 0x20);
  WriteFileBytes(archive_, changed);
  old_ = changed;
  EXPECT_EQ(ErrorText([&] { zlb.AddFiles({dir_ / "b.txt"}); }),
            "The archive file appears to be corrupted");
  ExpectOldArchive();
}

TEST_F(ArchiveOnDisk, MembersBeyondTheOffsetLimitAreRefused) {
  test::TempDir big;
  const fs::path file = big / "huge.dbf";
  WriteFileBytes(file, "");
  fs::resize_file(file, std::uintmax_t{1} << 31);  // one byte more than an offset can say
  TZLBArchive zlb;
  zlb.OpenArchive(archive_);
  EXPECT_EQ(ErrorText([&] { zlb.AddFiles({file}); }), "Archive file too large");
  ExpectOldArchive();
}

TEST_F(ArchiveOnDisk, TheArchiveIsReplacedByANewFileNotRewrittenInPlace) {
  chmod(archive_.c_str(), 0640);
  fs::create_hard_link(archive_, dir_ / "link");
  TZLBArchive zlb;
  zlb.OpenArchive(archive_);
  zlb.AddFiles({dir_ / "b.txt"});
  EXPECT_EQ(ReadFileBytes(dir_ / "link"), old_);  // the old file was never written to
  EXPECT_EQ(test::Parse(ReadFileBytes(archive_)).count, 2);
  struct stat info {};
  stat(archive_.c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"a.txt", "b.txt", "link", "p.rsk"}));
}

TEST_F(ArchiveOnDisk, CreatingOverAnExistingFileReplacesItOnlyOnSuccess) {
  TZLBArchive zlb;
  EXPECT_EQ(ErrorText([&] { zlb.CreateArchive(archive_); }), "File already exists");
  zlb.CreateArchive(archive_, /*replaceExisting=*/true);
  EXPECT_TRUE(zlb.IsNewArchive());
  zlb.OnErrorLogged = [](const std::string& msg) { throw Error(msg); };
  EXPECT_NE(ErrorText([&] { zlb.AddFiles({dir_ / "b.txt", dir_ / "gone.txt"}); }), "");
  ExpectOldArchive();

  zlb.OnErrorLogged = nullptr;
  zlb.AddFiles({dir_ / "b.txt"});
  const test::RawArchive raw = test::Parse(ReadFileBytes(archive_));
  ASSERT_EQ(raw.count, 1);  // the new archive alone, nothing of the old one
  EXPECT_EQ(raw.entries[0].name, "b.txt");
}

// Fails part-way through compressing the registry, after writing some of it.
class RegistryFails : public TZLBArchive {
 protected:
  void DeflateRegistry(std::string_view, const RegistryWriter& write) override {
    write("\x78\xDA partial stream", 17);
    throw std::runtime_error("out of memory");
  }
};

TEST(ZlbRegistry, WhenCompressingFailsTheEntriesAreStoredAtTheRecordedOffset) {
  test::TempDir dir;
  WriteFileBytes(dir / "a.txt", test::TableText(5000));
  WriteFileBytes(dir / "b.txt", "bee");
  RegistryFails zlb;
  zlb.CheckCRC = true;
  zlb.CreateArchive(dir / "a.zlb");
  zlb.AddFiles({dir / "a.txt", dir / "b.txt"});
  const std::string bytes = ReadFileBytes(dir / "a.zlb");
  const test::RawArchive raw = test::Parse(bytes);
  EXPECT_EQ(raw.registryFlag, 0);
  EXPECT_EQ(raw.registrySize, 0);
  ASSERT_EQ(raw.count, 2);
  EXPECT_EQ(bytes.size(), static_cast<std::size_t>(raw.registryOffset) + 2 * 532 + 36);
  EXPECT_EQ(raw.entries[1].name, "b.txt");
  zlb.ExtractAll(dir / "out");
  EXPECT_EQ(ReadFileBytes(dir / "out" / "a.txt"), test::TableText(5000));
  EXPECT_EQ(ReadFileBytes(dir / "out" / "b.txt"), "bee");

  // Appending to such an archive copies its members and writes a sound registry.
  TZLBArchive plain;
  plain.OpenArchive(dir / "a.zlb");
  plain.AddFiles({dir / "b.txt"});
  EXPECT_EQ(test::Parse(ReadFileBytes(dir / "a.zlb")).registryFlag, 1);
  EXPECT_EQ(plain.FileCount(), 3);
}

}  // namespace
}  // namespace orvenda
