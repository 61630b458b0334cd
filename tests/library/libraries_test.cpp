#include "library/libraries.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "archive/zlb_archive.h"
#include "base/cp1250.h"
#include "library/library_cipher.h"
#include "model/project_table.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::ErrorText;
using test::ReadFileBytes;
using test::RecordingProgress;
using test::TempDir;
using test::WriteFileBytes;

void AddRecord(Table& table, int32_t index, int32_t type, int32_t upLink, const std::string& text,
               const std::string& ident = "") {
  table.Append();
  table.Edit();
  table.SetInt(fld::kIndex, index);
  table.SetInt(fld::kType, type);
  table.SetInt(fld::kUpLink, upLink);
  table.SetText(fld::kText, text);
  table.SetText(fld::kIdent, ident.empty() ? "" : EncryptLibraryText(ident));
  table.Post();
}

std::vector<std::string> Texts(Table& table) {
  std::vector<std::string> texts;
  ClearFilter(table);
  for (table.First(); !table.Eof(); table.Next()) texts.push_back(table.GetText(fld::kText));
  return texts;
}

// Writes a library table under `dbf` (any name and letter case) with the given texts.
void WriteTable(const fs::path& dbf, const std::vector<std::string>& texts) {
  Table table;
  table.SetPath(dbf);
  CreateProjectTable(table);
  int32_t index = 0;
  for (const auto& text : texts) AddRecord(table, ++index, kRiskType, 0, text, text);
  table.Close();
}

class LibrariesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"prog", "user", "tmp", "src"}) fs::create_directories(temp / dir);
  }

  std::unique_ptr<Libraries> Start() {
    auto libs = std::make_unique<Libraries>();
    libs->ProgramDir = temp / "prog";
    libs->UserDir = temp / "user";
    if (readOnlyProgramDir) libs->CanWrite = [](const fs::path&) { return false; };
    warnings = libs->OpenLibraries(temp / "tmp", progress, messages);
    return libs;
  }

  void Stop(std::unique_ptr<Libraries>& libs) {
    libs->CloseLibraries(progress, messages);
    libs.reset();
  }

  TempDir temp;
  RecordingProgress progress;
  Messages messages;
  std::vector<std::string> warnings;
  bool readOnlyProgramDir = false;
};

TEST_F(LibrariesTest, FirstStartCreatesBothArchivesAndUserEditsSurviveWhileBuiltInEditsNeedSave) {
  auto libs = Start();
  EXPECT_TRUE(warnings.empty());
  EXPECT_TRUE(fs::exists(temp / "prog" / "RiskLib.LIB"));
  EXPECT_TRUE(fs::exists(temp / "prog" / "UserLib.LIB"));
  EXPECT_EQ(libs->BuildInRisksTable.RecordCount(), 0);
  EXPECT_EQ(libs->UserRisksTable.RecordCount(), 0);
  EXPECT_EQ(libs->WorkDir.parent_path(), temp / "tmp");
  EXPECT_TRUE(libs->WorkDir.filename().string().starts_with("RZK"));

  AddRecord(libs->UserRisksTable, 1, kNodeType, 0, W("Uživatelský uzel"));
  AddRecord(libs->BuildInRisksTable, 1, kNodeType, 0, "lost");
  const fs::path work = libs->WorkDir;
  Stop(libs);
  EXPECT_FALSE(fs::exists(work));

  libs = Start();
  EXPECT_EQ(Texts(libs->UserRisksTable), std::vector<std::string>{W("Uživatelský uzel")});
  EXPECT_TRUE(Texts(libs->BuildInRisksTable).empty());

  AddRecord(libs->BuildInRisksTable, 1, kNodeType, 0, "kept");
  libs->SaveLibrary(kBuiltInLibrary, progress, messages.Get(19));
  EXPECT_TRUE(libs->BuildInRisksTable.IsOpen());
  AddRecord(libs->BuildInRisksTable, 2, kNodeType, 0, "after save");
  Stop(libs);
  libs = Start();
  EXPECT_EQ(Texts(libs->BuildInRisksTable), std::vector<std::string>{"kept"});
  Stop(libs);
}

TEST_F(LibrariesTest, LooseTablesAreReadOnceThenTheArchiveWinsWhateverTheLetterCase) {
  WriteTable(temp / "src" / "RiskLib.dbf", {"one", "two"});
  for (const char* ext : {"dbf", "dbt", "mdx"}) {
    fs::copy_file(temp / "src" / (std::string("RiskLib.") + ext),
                  temp / "prog" / (std::string("RISKLIB.") + Cp1250Upper(ext)));
  }
  auto libs = Start();
  EXPECT_EQ(Texts(libs->BuildInRisksTable), (std::vector<std::string>{"one", "two"}));
  ClearFilter(libs->BuildInRisksTable);
  libs->BuildInRisksTable.First();
  EXPECT_EQ(DecryptLibraryText(libs->BuildInRisksTable.GetText(fld::kIdent)), "one");
  EXPECT_TRUE(fs::exists(temp / "prog" / "RiskLib.LIB"));
  Stop(libs);

  // Changed loose files are ignored once the archive exists, also when renamed in another case.
  fs::remove(temp / "prog" / "RISKLIB.DBF");
  WriteTable(temp / "prog" / "RISKLIB.DBF", {"changed"});
  fs::rename(temp / "prog" / "RiskLib.LIB", temp / "prog" / "risklib.lib");
  libs = Start();
  EXPECT_EQ(Texts(libs->BuildInRisksTable), (std::vector<std::string>{"one", "two"}));
  Stop(libs);
  EXPECT_FALSE(fs::exists(temp / "prog" / "RiskLib.LIB"));  // the found archive is the one kept

  // An archive written by another program with upper-case members.
  WriteTable(temp / "src" / "USERLIB.DBF", {"foreign"});
  TZLBArchive zlb;
  zlb.CreateArchive(temp / "prog" / "UserLib.LIB", true);
  zlb.AddFiles(
      {temp / "src" / "USERLIB.DBF", temp / "src" / "USERLIB.DBT", temp / "src" / "USERLIB.MDX"});
  zlb.CloseArchive();
  libs = Start();
  EXPECT_EQ(Texts(libs->UserRisksTable), (std::vector<std::string>{"foreign"}));
  Stop(libs);
}

TEST_F(LibrariesTest, ReadOnlyProgramDirectoryKeepsTheArchivesPerUserAndReadsThemFirst) {
  WriteTable(temp / "prog" / "RiskLib.DBF", {"shipped"});
  readOnlyProgramDir = true;
  auto libs = Start();
  EXPECT_TRUE(warnings.empty());
  EXPECT_FALSE(fs::exists(temp / "prog" / "RiskLib.LIB"));
  EXPECT_TRUE(fs::exists(temp / "user" / "RiskLib.LIB"));
  AddRecord(libs->UserRisksTable, 1, kRiskType, 0, "mine");
  Stop(libs);
  EXPECT_TRUE(fs::exists(temp / "user" / "UserLib.LIB"));
  EXPECT_FALSE(fs::exists(temp / "prog" / "UserLib.LIB"));

  // Once a per-user copy exists it is read before the program directory's, and written back
  // there even when the program directory could take it.
  readOnlyProgramDir = false;
  WriteTable(temp / "src" / "UserLib.dbf", {"old"});
  TZLBArchive zlb;
  zlb.CreateArchive(temp / "prog" / "UserLib.LIB", true);
  zlb.AddFiles({temp / "src" / "UserLib.dbf", temp / "src" / "UserLib.dbt"});
  zlb.CloseArchive();
  const std::string programCopy = ReadFileBytes(temp / "prog" / "UserLib.LIB");
  libs = Start();
  EXPECT_EQ(Texts(libs->UserRisksTable), std::vector<std::string>{"mine"});
  AddRecord(libs->UserRisksTable, 2, kRiskType, 0, "more");
  Stop(libs);
  EXPECT_EQ(ReadFileBytes(temp / "prog" / "UserLib.LIB"), programCopy);
  libs = Start();
  EXPECT_EQ(Texts(libs->UserRisksTable), (std::vector<std::string>{"mine", "more"}));
  Stop(libs);
}

TEST_F(LibrariesTest, DamagedLibraryIsReportedKeptAndReplacedBesideIt) {
  WriteFileBytes(temp / "prog" / "UserLib.LIB", "not an archive at all, just bytes");
  WriteTable(temp / "prog" / "RiskLib.DBF", {});
  // A foreign table as the loose built-in library: a table, but not of tree records.
  {
    Table foreign;
    foreign.SetPath(temp / "prog" / "RiskLib.DBF");
    foreign.Create({{"Name", FieldType::String, 20}}, {});
  }
  auto libs = Start();
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("RiskLib.DBF"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[1].find("UserLib.LIB"), std::string::npos) << warnings[1];
  EXPECT_NE(warnings[1].find("UserLib-new.LIB"), std::string::npos) << warnings[1];
  EXPECT_EQ(libs->UserRisksTable.RecordCount(), 0);
  EXPECT_FALSE(fs::exists(temp / "prog" / "RiskLib.LIB"));  // loose tables stay the source
  AddRecord(libs->UserRisksTable, 1, kRiskType, 0, "typed after the damage");
  Stop(libs);
  EXPECT_EQ(ReadFileBytes(temp / "prog" / "UserLib.LIB"), "not an archive at all, just bytes");
  ASSERT_TRUE(fs::exists(temp / "prog" / "UserLib-new.LIB"));

  // The next run reports the damage again and goes on with the replacement; once the damaged
  // file is gone, the replacement is read and saved under the archive's name.
  libs = Start();
  EXPECT_EQ(warnings.size(), 2u);
  EXPECT_EQ(Texts(libs->UserRisksTable), std::vector<std::string>{"typed after the damage"});
  Stop(libs);
  fs::remove(temp / "prog" / "UserLib.LIB");
  libs = Start();
  EXPECT_EQ(warnings.size(), 1u);
  EXPECT_EQ(Texts(libs->UserRisksTable), std::vector<std::string>{"typed after the damage"});
  Stop(libs);
  libs = Start();
  EXPECT_EQ(Texts(libs->UserRisksTable), std::vector<std::string>{"typed after the damage"});
  Stop(libs);
}

TEST_F(LibrariesTest, FailedPackAtExitKeepsOldArchiveAndWorkingCopy) {
  auto libs = Start();
  AddRecord(libs->UserRisksTable, 1, kRiskType, 0, "first");
  Stop(libs);
  const std::string before = ReadFileBytes(temp / "prog" / "UserLib.LIB");
  libs = Start();
  AddRecord(libs->UserRisksTable, 2, kRiskType, 0, "second");
  const fs::path work = libs->WorkDir;
  // The archive cannot be written where a directory stands in its place's way.
  fs::remove(temp / "prog" / "UserLib.LIB");
  fs::create_directory(temp / "prog" / "UserLib.LIB");
  const std::string error = ErrorText([&] { libs->CloseLibraries(progress, messages); });
  EXPECT_NE(error.find(PathToText(work)), std::string::npos) << error;
  EXPECT_TRUE(fs::exists(work / "UserLib.dbf"));
  EXPECT_FALSE(progress.Shown());
  fs::remove(temp / "prog" / "UserLib.LIB");
  WriteFileBytes(temp / "prog" / "UserLib.LIB", before);
}

TEST_F(LibrariesTest, LibraryTreeFollowsRecordOrder) {
  auto libs = Start();
  Table& table = libs->UserRisksTable;
  AddRecord(table, 5, kNodeType, 0, "five");
  AddRecord(table, 2, kNodeType, 0, "two");
  AddRecord(table, 7, kRiskType, 5, "seven");
  test::FakeTreeControl tree;
  tMyNodeIndexes lookup;
  LoadLibraryTree(tree, table, lookup, progress, messages);
  const auto top = tree.Children(nullptr);
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(tree.Caption(top[0]), "five");
  EXPECT_EQ(tree.Caption(top[1]), "two");
  ASSERT_EQ(tree.Children(top[0]).size(), 1u);
  EXPECT_EQ(tree.Image(tree.Children(top[0])[0]), TreeControl::kRisk);
  EXPECT_EQ(lookup.Get(5), top[0]);
  Stop(libs);
}

TEST_F(LibrariesTest, TwoRunsNeverWriteOverEachOthersLibraryWork) {
  Start()->CloseLibraries(progress, messages);  // the archives exist from here on
  const fs::path userLib = temp / "prog" / "UserLib.LIB";

  // A window that changed nothing writes nothing back: the other run's record stays.
  auto window = Start();
  auto other = Start();
  AddRecord(other->UserRisksTable, 1, kRiskType, 0, "druhy beh");
  Stop(other);
  Stop(window);
  window = Start();
  EXPECT_EQ(Texts(window->UserRisksTable), std::vector<std::string>{"druhy beh"});

  // Both changed it: the later one finds the archive changed and goes beside it, named.
  other = Start();
  AddRecord(window->UserRisksTable, 2, kRiskType, 0, "okno");
  AddRecord(other->UserRisksTable, 3, kRiskType, 0, "davka");
  Stop(other);
  const std::string error = ErrorText([&] { window->CloseLibraries(progress, messages); });
  EXPECT_NE(error.find(PathToText(userLib)), std::string::npos) << error;
  fs::path aside;
  for (const auto& entry : fs::directory_iterator(temp / "prog")) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("UserLib-") && name.ends_with(".LIB")) aside = entry.path();
  }
  ASSERT_FALSE(aside.empty());
  EXPECT_NE(error.find(PathToText(aside)), std::string::npos) << error;
  window.reset();
  window = Start();
  EXPECT_EQ(Texts(window->UserRisksTable), (std::vector<std::string>{"druhy beh", "davka"}));
  Stop(window);
}

TEST_F(LibrariesTest, RunsHoldingTheLocksApplyOneAfterAnother) {
  Start()->CloseLibraries(progress, messages);
  // Each child reads, adds its record and writes the built-in library, as --update-library
  // does; without the lock one of two such runs loses the other's record.
  std::vector<pid_t> children;
  for (int child = 0; child < 4; ++child) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      int status = 1;
      try {
        Libraries libs;
        libs.ProgramDir = temp / "prog";
        libs.UserDir = temp / "user";
        libs.HoldLocks = true;
        libs.OpenLibraries(temp / "tmp", progress, messages);
        Table& table = libs.BuildInRisksTable;
        ClearFilter(table);
        AddRecord(table, static_cast<int32_t>(table.RecordCount()) + 1, kRiskType, 0,
                  "beh " + std::to_string(child));
        libs.SaveLibrary(kBuiltInLibrary, progress, "");
        libs.DiscardLibraries();
        status = 0;
      } catch (...) {
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto libs = Start();
  std::vector<std::string> texts = Texts(libs->BuildInRisksTable);
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"beh 0", "beh 1", "beh 2", "beh 3"}));
  Stop(libs);
}

}  // namespace
}  // namespace orvenda
