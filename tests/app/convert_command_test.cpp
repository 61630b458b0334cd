// orvenda --convert: an old project or backup written as a project file, without a window.
#include "app/convert_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>

#include "app/documents_fixture.h"

namespace orvenda::test {
namespace {

class ConvertTest : public DocumentsTest {
 protected:
  // The command works in the system's temporary directory; point it at ours to see what it
  // leaves there.
  void SetUp() override {
    DocumentsTest::SetUp();
    if (const char* old = std::getenv("TMPDIR")) oldTmp_ = old;
    ::setenv("TMPDIR", tempDir.c_str(), 1);
  }
  void TearDown() override {
    if (oldTmp_) {
      ::setenv("TMPDIR", oldTmp_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
    DocumentsTest::TearDown();
  }
  std::optional<std::string> oldTmp_;

  int Convert(std::vector<std::string> args) {
    err.str("");
    if (args.empty() || args[0] != "--convert") args.insert(args.begin(), "--convert");
    std::ostringstream out;
    const Messages messages;
    return RunBatchCommand(ConvertCommand(), args, BatchContext{out, err, messages, {}, {}, {}});
  }
  std::ostringstream err;
};

TEST_F(ConvertTest, AnOldProjectBecomesAProjectFileWithTheExtensionAdded) {
  const fs::path old = MakeOldProject("Stara", SampleRows(), files);
  EXPECT_EQ(Convert({old.string(), (files / "Nova").string()}), 0) << err.str();
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(RowsOfProjectFile(files / "Nova.RSK"), SampleRows());

  // A backup, a name that already ends in the extension, and the option name in front.
  const fs::path oldDir = temp / "old";
  MakeOldProject("Z", SampleRows(), oldDir);
  const fs::path backup = files / "Z.ZLB";
  WriteArchive(backup, {oldDir / "Z.RZK", oldDir / "Z.RZT", oldDir / "Z.RZX"});
  EXPECT_EQ(Convert({"--convert", backup.string(), (files / "Z.rsk").string()}), 0) << err.str();
  EXPECT_EQ(RowsOfProjectFile(files / "Z.rsk"), SampleRows());
  EXPECT_FALSE(fs::exists(files / "Z.rsk.RSK"));
  EXPECT_TRUE(WorkingDirs().empty());
}

TEST_F(ConvertTest, FailuresAreReportedInUtf8AndWriteNothing) {
  const fs::path target = files / "Cil.RSK";
  EXPECT_EQ(Convert({(files / "nic.RZK").string(), target.string()}), 1);
  EXPECT_EQ(err.str(), (files / "nic.RZK").string() + ": Soubor nenalezen.\n");

  const fs::path old = MakeOldProject("Neuplna", SampleRows(), files);
  fs::remove(files / "Neuplna.RZT");
  EXPECT_NE(Convert({old.string(), target.string()}), 0);
  EXPECT_NE(err.str(), "");

  const fs::path damaged = MakeProject("Vadny.RSK", SampleRows());
  std::string bytes = ReadFileBytes(damaged);
  bytes[5] = static_cast<char>(bytes[5] ^ 1);
  WriteFileBytes(damaged, bytes);
  EXPECT_NE(Convert({damaged.string(), target.string()}), 0);
  EXPECT_EQ(err.str(), damaged.string() + ": The archive file appears to be corrupted\n");

  const fs::path text = files / "poznamky.txt";
  WriteFileBytes(text, "x");
  EXPECT_NE(Convert({text.string(), target.string()}), 0);
  EXPECT_NE(err.str().find("není projekt"), std::string::npos) << err.str();

  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(WorkingDirs().empty());
}

TEST_F(ConvertTest, AnExistingTargetIsNotOverwritten) {
  const fs::path old = MakeOldProject("Stara", SampleRows(), files);
  const fs::path target = files / "Hotovy.RSK";
  WriteFileBytes(target, "keep");
  EXPECT_NE(Convert({old.string(), target.string()}), 0);
  EXPECT_NE(err.str().find("existuje"), std::string::npos) << err.str();
  EXPECT_EQ(ReadFileBytes(target), "keep");
}

TEST_F(ConvertTest, WrongArgumentsShowTheUsage) {
  EXPECT_EQ(Convert({}), 2);
  EXPECT_NE(err.str().find("usage"), std::string::npos);
  EXPECT_EQ(Convert({"--convert", "a.RZK"}), 2);
  EXPECT_EQ(Convert({"a", "b", "c"}), 2);
}

}  // namespace
}  // namespace orvenda::test
