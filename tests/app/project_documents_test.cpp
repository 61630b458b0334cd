// New, Open, Save and Save as of the main window, with the older file forms, the
// unsaved-changes question and the failures that must leave the current project alone.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>

#include "app/documents_fixture.h"
#include "base/error.h"
#include "documents/working_directory.h"

namespace orvenda::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ProjectDocumentsTest : public DocumentsTest {
 protected:
  void SetUp() override {
    DocumentsTest::SetUp();
    Start();
  }

  // Opens `file` through the Open command.
  void OpenThroughDialog(const fs::path& file) {
    dialogs.openAnswers.push_back(file);
    form->Open1Click();
  }

  // Everything the user sees of the current project.
  struct Snapshot {
    std::vector<Row> rows;
    std::string tree, caption, mark;
    fs::path fileName, dir;
    std::vector<fs::path> recent;
    bool modified;
  };
  Snapshot Take() {
    return {Rows(),
            tree.Dump(),
            form->Caption,
            form->StatusBar1.Panels[0],
            form->ProjectFileName,
            form->ProjectDir,
            form->MRUManager1.Items(),
            form->Modified};
  }
  void ExpectUnchanged(const Snapshot& before) {
    EXPECT_TRUE(form->DataTable.IsOpen());
    EXPECT_EQ(Rows(), before.rows);
    EXPECT_EQ(tree.Dump(), before.tree);
    EXPECT_EQ(form->Caption, before.caption);
    EXPECT_EQ(form->StatusBar1.Panels[0], before.mark);
    EXPECT_EQ(form->ProjectFileName, before.fileName);
    EXPECT_EQ(form->ProjectDir, before.dir);
    EXPECT_EQ(form->MRUManager1.Items(), before.recent);
    EXPECT_EQ(form->Modified, before.modified);
    EXPECT_EQ(WorkingDirs(), std::vector<fs::path>{before.dir}) << "left-over working files";
  }
};

TEST_F(ProjectDocumentsTest, AProjectFileOpensUnchangedAndSavesInPlace) {
  const fs::path file = MakeProject("Dílna.RSK", SampleRows());
  OpenThroughDialog(file);

  EXPECT_EQ(dialogs.openRequests.at(0).filter,
            W("Projekt rizik (*.RSK)|*.RSK|Projekt rizik verze 1.xx (*.RZK)|*.RZK|"
              "Záloha rizik verze 1.xx (*.ZLB)|*.ZLB"));
  EXPECT_EQ(dialogs.openRequests.at(0).dir, programDir);
  EXPECT_EQ(Rows(), SampleRows());
  EXPECT_EQ(tree.Dump(), W("Dílna [0] #1\n"
                           "  Hluk u lisu [2] #2\n"
                           "  Sklad [0] #3\n"
                           "    Pád břemene [2] #4\n"
                           "Kancelář [0] #5\n"));
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], "");
  EXPECT_EQ(form->ProjectFileName, file);
  EXPECT_EQ(form->Caption, W("Dílna - Orvenda"));
  EXPECT_EQ(form->ApplicationTitle, W("Dílna - Orvenda"));
  EXPECT_EQ(form->MRUManager1.Items(), std::vector<fs::path>{file});
  EXPECT_EQ(form->ActivePage, Page::NoneTabSheet);
  EXPECT_THAT(progress.calls, ::testing::Contains("show " + M(7) + " 100"));
  EXPECT_EQ(WorkingDirs(), std::vector<fs::path>{form->ProjectDir});

  AddNode("Nový uzel");
  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], " *");
  progress.calls.clear();
  form->Save1Click();
  EXPECT_TRUE(dialogs.saveRequests.empty()) << "a project file is saved without asking";
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], "");
  EXPECT_TRUE(form->DataTable.IsOpen());
  EXPECT_EQ(progress.calls.front(), "show " + M(14) + W(" Dílna") + " 100");
  EXPECT_EQ(progress.calls.back(), "hide");

  std::vector<Row> expected = SampleRows();
  expected.push_back(Node(6, 0, "Nový uzel"));
  EXPECT_EQ(RowsOfProjectFile(file), expected);
  // The table goes on working after the save.
  AddNode("Další");
  EXPECT_EQ(Rows().size(), 7u);
}

TEST_F(ProjectDocumentsTest, ALowerCaseExtensionIsAProjectFileToo) {
  const fs::path file = MakeProject("projekt.rsk", SampleRows());
  OpenThroughDialog(file);
  EXPECT_EQ(Rows(), SampleRows());
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(form->Caption, "projekt - Orvenda");
  AddNode("x");
  form->Save1Click();
  EXPECT_TRUE(dialogs.saveRequests.empty());
  EXPECT_EQ(RowsOfProjectFile(file).size(), 6u);
}

TEST_F(ProjectDocumentsTest, AnOldProjectOpensChangedAndSaveAsksForANewName) {
  const fs::path old = MakeOldProject("Stara", SampleRows(), files);
  const std::string oldBytes = ReadFileBytes(old);
  OpenThroughDialog(old);
  EXPECT_EQ(Rows(), SampleRows());
  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], " *");
  EXPECT_EQ(form->ProjectFileName, old);
  EXPECT_EQ(form->Caption, "Stara - Orvenda");
  EXPECT_EQ(tree.Count(), 5u);
  // The working copy holds the old files under the working names; the old ones stay.
  for (const char* name : {"RiskData.dbf", "RiskData.dbt", "RiskData.mdx"}) {
    EXPECT_TRUE(fs::exists(form->ProjectDir / name)) << name;
  }
  EXPECT_EQ(ReadFileBytes(old), oldBytes);

  // The name still has the old extension, so Save goes through Save as; ".RSK" is added.
  dialogs.saveAnswers.push_back(files / "Nova");
  form->Save1Click();
  ASSERT_EQ(dialogs.saveRequests.size(), 1u);
  EXPECT_EQ(dialogs.saveRequests[0].filter, W("Projekt rizik (*.RSK)|*.RSK"));
  EXPECT_EQ(dialogs.saveRequests[0].dir, programDir);
  const fs::path saved = files / "Nova.RSK";
  EXPECT_EQ(form->ProjectFileName, saved);
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], "");
  EXPECT_EQ(form->Caption, "Nova - Orvenda");
  EXPECT_EQ(form->MRUManager1.Items(), (std::vector<fs::path>{saved, old}));
  EXPECT_EQ(RowsOfProjectFile(saved), SampleRows());

  // From now on Save writes that file without asking.
  AddNode("n");
  form->Save1Click();
  EXPECT_EQ(dialogs.saveRequests.size(), 1u);
  EXPECT_EQ(RowsOfProjectFile(saved).size(), 6u);
}

TEST_F(ProjectDocumentsTest, OldProjectFilesAreFoundWhateverTheirLetterCase) {
  const fs::path dir = files / "lower";
  MakeOldProject("Stara", SampleRows(), dir);
  for (const char* ext : {".RZK", ".RZT", ".RZX"}) {
    std::string lower = std::string("stara") + ext;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fs::rename(dir / (std::string("Stara") + ext), dir / lower);
  }
  OpenThroughDialog(dir / "stara.rzk");
  EXPECT_EQ(Rows(), SampleRows());
  EXPECT_TRUE(form->Modified);
}

TEST_F(ProjectDocumentsTest, ABackupOpensChangedAndItsNewNameKeepsAnExtensionInAnyCase) {
  const fs::path oldDir = temp / "old";
  MakeOldProject("Zaloha1", SampleRows(), oldDir);
  const fs::path backup = files / "Zaloha.zlb";
  WriteArchive(backup, {oldDir / "Zaloha1.RZK", oldDir / "Zaloha1.RZT", oldDir / "Zaloha1.RZX"});

  OpenThroughDialog(backup);
  EXPECT_EQ(Rows(), SampleRows());
  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], " *");
  EXPECT_EQ(form->Caption, "Zaloha - Orvenda");

  dialogs.saveAnswers.push_back(files / "Kopie.rSk");
  form->Save1Click();
  EXPECT_EQ(form->ProjectFileName, files / "Kopie.rSk");
  EXPECT_FALSE(fs::exists(files / "Kopie.rSk.RSK"));
  EXPECT_EQ(RowsOfProjectFile(files / "Kopie.rSk"), SampleRows());
}

TEST_F(ProjectDocumentsTest, AFailedOpenKeepsTheCurrentProjectAndTheWindowUsable) {
  const fs::path good = MakeProject("Dobry.RSK", SampleRows());
  OpenThroughDialog(good);

  // A damaged archive: one byte changed before the trailer.
  const fs::path damaged = files / "Poskozeny.RSK";
  std::string bytes = ReadFileBytes(good);
  bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x40);
  WriteFileBytes(damaged, bytes);
  // A sound archive without the memo file.
  const fs::path parts = temp / "parts";
  WriteTable(parts / "RiskData.dbf", SampleRows());
  const fs::path noMemo = files / "BezPoznamek.RSK";
  WriteArchive(noMemo, {parts / "RiskData.dbf", parts / "RiskData.mdx"});
  // An old project without its memo file.
  const fs::path oldDir = files / "old";
  MakeOldProject("Neuplna", SampleRows(), oldDir);
  fs::remove(oldDir / "Neuplna.RZT");
  // A backup without an old project in it.
  const fs::path emptyBackup = files / "Prazdna.ZLB";
  WriteArchive(emptyBackup, {parts / "RiskData.mdx"});
  // An archive of some other table.
  const fs::path foreign = files / "Cizi.RSK";
  {
    Table other;
    other.SetPath(parts / "Other" / "RiskData.dbf");
    fs::create_directories(parts / "Other");
    other.Create({{"Nazev", FieldType::String, 20}}, {});
  }
  WriteArchive(foreign, {parts / "Other" / "RiskData.dbf"});
  // A file of no known kind.
  const fs::path text = files / "Poznamky.txt";
  WriteFileBytes(text, "not a project");

  struct Case {
    fs::path file;
    std::string message;  // part of the error text
  };
  const std::vector<Case> cases = {
      {damaged, "The archive file appears to be corrupted"},
      {noMemo, ""},
      {files / "old" / "Neuplna.RZK", ""},
      {emptyBackup, ""},
      {foreign, ""},
      {text, ""},
  };
  for (bool changed : {false, true}) {
    if (changed) AddNode(W("Neuložený"));
    for (const Case& c : cases) {
      SCOPED_TRACE(c.file.filename().string() + (changed ? " (changed)" : ""));
      const Snapshot before = Take();
      try {
        if (changed) {
          form->OpenProject(c.file);  // the question comes before; here the open itself
        } else {
          OpenThroughDialog(c.file);
        }
        ADD_FAILURE() << "no error";
      } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr(c.message));
      }
      EXPECT_EQ(progress.Shown(), false) << "progress window left open";
      ExpectUnchanged(before);
    }
  }
  // The window goes on working with the project it had.
  AddNode("Po chybě");
  form->Save1Click();
  EXPECT_EQ(RowsOfProjectFile(good).size(), 7u);
}

TEST_F(ProjectDocumentsTest, AMissingFileIsAWarningAndAGoneRecentFileStaysListed) {
  const fs::path good = MakeProject("Dobry.RSK", SampleRows());
  const fs::path gone = MakeProject("Zmizely.RSK", SampleRows());
  OpenThroughDialog(gone);
  OpenThroughDialog(good);
  fs::remove(gone);
  const Snapshot before = Take();

  form->MRUManager1Click(gone);
  ASSERT_EQ(dialogs.warnings.size(), 1u);
  EXPECT_EQ(dialogs.warnings[0], PathToText(gone) + ": " + M(8));
  EXPECT_EQ(M(8), W("Soubor nenalezen."));
  ExpectUnchanged(before);

  OpenThroughDialog(files / "nikdy.RSK");
  EXPECT_EQ(dialogs.warnings.size(), 2u);
  ExpectUnchanged(before);
}

TEST_F(ProjectDocumentsTest, AnsweringNoDiscardsTheChanges) {
  const fs::path first = MakeProject("Prvni.RSK", SampleRows());
  const fs::path second = MakeProject("Druhy.RSK", {Node(1, 0, "Jen jeden")});
  OpenThroughDialog(first);
  AddNode("zahodit");
  dialogs.answers.push_back(false);
  OpenThroughDialog(second);

  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text, M(11) + "\n\r" + M(12));
  EXPECT_EQ(dialogs.questions[0].text, W("Data byla změněna!\n\rUložit změny?"));
  EXPECT_EQ(dialogs.questions[0].caption, W("Uložit"));
  EXPECT_EQ(Rows(), (std::vector<Row>{Node(1, 0, "Jen jeden")}));
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(RowsOfProjectFile(first), SampleRows()) << "nothing was saved";
}

TEST_F(ProjectDocumentsTest, StornoAtTheSaveQuestionStopsOpenAndNewWithTheWorkKept) {
  const fs::path first = MakeProject("Prvni.RSK", SampleRows());
  OpenThroughDialog(first);
  AddNode("nechat");
  const auto before = Rows();
  dialogs.cancelAnswers = {Dialogs::Answer::Cancel, Dialogs::Answer::Cancel};
  form->Open1Click();  // stops before its file dialog
  form->New1Click();
  EXPECT_EQ(dialogs.openRequests.size(), 1u) << "only the opening of the first asked for a file";
  EXPECT_EQ(dialogs.questions.size(), 2u);
  EXPECT_EQ(Rows(), before);
  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(form->ProjectFileName, first);
  EXPECT_EQ(RowsOfProjectFile(first), SampleRows()) << "nothing was saved";
}

TEST_F(ProjectDocumentsTest, AProjectAnotherRunHoldsOpensOnlyReadOnlyAndSaveAsksForANewName) {
  const fs::path file = MakeProject("Prvni.RSK", SampleRows());
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    FileLock lock = FileLock::Take(file);
    (void)!::write(ready[1], "x", 1);
    for (;;) ::pause();
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);

  dialogs.answers = {false};  // not at all
  OpenThroughDialog(file);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_NE(dialogs.questions[0].text.find(W("proces ") + std::to_string(holder)),
            std::string::npos);
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(form->ProjectFileName, fs::path());

  dialogs.answers = {true};  // read-only
  OpenThroughDialog(file);
  EXPECT_EQ(Rows(), SampleRows());
  EXPECT_TRUE(form->ReadOnlyProject);
  AddNode("nove");
  // Save asks for a name; the held file itself is refused, another name is taken.
  dialogs.saveAnswers = {file};
  EXPECT_NE(ErrorText([&] { form->Save1Click(); }).find(PathToText(file)), std::string::npos);
  EXPECT_TRUE(form->Modified);
  const fs::path other = files / "Druhy.RSK";
  dialogs.saveAnswers = {other};
  form->Save1Click();
  EXPECT_FALSE(form->ReadOnlyProject);
  EXPECT_EQ(form->ProjectFileName, other);
  EXPECT_EQ(RowsOfProjectFile(file), SampleRows());
  EXPECT_EQ(RowsOfProjectFile(other), Rows());
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST_F(ProjectDocumentsTest, AnsweringYesSavesBeforeTheCommandGoesOn) {
  const fs::path first = MakeProject("Prvni.RSK", SampleRows());
  const fs::path second = MakeProject("Druhy.RSK", {Node(1, 0, "Jen jeden")});
  OpenThroughDialog(first);
  AddNode("ulozit");
  dialogs.answers.push_back(true);
  form->MRUManager1Click(second);
  EXPECT_EQ(RowsOfProjectFile(first).size(), 6u);
  EXPECT_EQ(form->ProjectFileName, second);
  EXPECT_EQ(form->MRUManager1.Items(), (std::vector<fs::path>{second, first}));
}

TEST_F(ProjectDocumentsTest, YesAndThenCancellingSaveAsEndsTheCommand) {
  // A new project has no name: Yes leads to Save as, which the user cancels.
  AddNode("nový");
  const Snapshot before = Take();
  const fs::path other = MakeProject("Jiny.RSK", SampleRows());
  for (int command = 0; command < 3; ++command) {
    dialogs.answers.push_back(true);
    dialogs.saveAnswers.push_back(std::nullopt);
    if (command == 0) form->Open1Click();
    if (command == 1) form->MRUManager1Click(other);
    if (command == 2) form->New1Click();
    EXPECT_TRUE(dialogs.openRequests.empty()) << command;
    ExpectUnchanged(before);
  }
  EXPECT_EQ(dialogs.saveRequests.size(), 3u);
  EXPECT_EQ(dialogs.questions.size(), 3u);
}

TEST_F(ProjectDocumentsTest, NewEmptiesTheProject) {
  const fs::path file = MakeProject("Dílna.RSK", SampleRows());
  OpenThroughDialog(file);
  tree.Select(tree.FindByData(2));
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  AddNode("x");
  dialogs.answers.push_back(false);
  form->New1Click();
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(tree.Count(), 0u);
  EXPECT_EQ(form->ProjectFileName, fs::path());
  EXPECT_EQ(form->Caption, "Orvenda");
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], "");
  EXPECT_EQ(form->ActivePage, Page::NoneTabSheet);
  EXPECT_EQ(RowsOfProjectFile(file), SampleRows());

  // Save of a new project asks for a name.
  AddNode("y");
  dialogs.saveAnswers.push_back(files / "Novy.RSK");
  form->Save1Click();
  EXPECT_EQ(RowsOfProjectFile(files / "Novy.RSK"), (std::vector<Row>{Node(1, 0, "y")}));
}

// Makes a directory refuse new files (and renames) for the length of a scope: by its mode
// where that is enough, by the immutable attribute for root. Tells whether it worked.
class UnwritableDirectory {
 public:
  explicit UnwritableDirectory(fs::path dir) : dir_(std::move(dir)) {
    ::chmod(dir_.c_str(), 0555);
    if (!Writable()) return;
    attribute_ = RunCommand("chattr +i '" + dir_.string() + "' 2>/dev/null") == 0;
  }
  ~UnwritableDirectory() {
    if (attribute_) RunCommand("chattr -i '" + dir_.string() + "'");
    ::chmod(dir_.c_str(), 0755);
  }
  bool Writable() const {
    const fs::path probe = dir_ / ".probe";
    FILE* f = std::fopen(probe.c_str(), "w");
    if (!f) return false;
    std::fclose(f);
    fs::remove(probe);
    return true;
  }

 private:
  fs::path dir_;
  bool attribute_ = false;
};

TEST_F(ProjectDocumentsTest, DeletedRecordsLeaveTheSavedFileForGood) {
  const fs::path file = MakeProject("Projekt.RSK", SampleRows());
  OpenThroughDialog(file);
  form->AskDelete = false;
  tree.Select(tree.FindByData(3));  // the node "Sklad" with its risk
  form->DeleteSpeedButtonClick();
  EXPECT_TRUE(form->PackPending);
  form->Save1Click();
  EXPECT_FALSE(form->PackPending);
  EXPECT_TRUE(form->DataTable.IsOpen());

  // The saved table holds exactly the live records: none flagged as deleted.
  const fs::path dir = temp / "saved";
  TZLBArchive archive;
  archive.OpenArchive(file);
  archive.ExtractAll(dir);
  archive.CloseArchive();
  const std::string dbf = ReadFileBytes(dir / "RiskData.dbf");
  ASSERT_GE(dbf.size(), 8u);
  const auto count = static_cast<uint32_t>(static_cast<unsigned char>(dbf[4])) |
                     static_cast<uint32_t>(static_cast<unsigned char>(dbf[5])) << 8;
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(RowsOfProjectFile(file).size(), 3u);
}

TEST_F(ProjectDocumentsTest, AFailedPackAtSaveKeepsTheOldFileAndTheChangeMark) {
  const fs::path file = MakeProject("Projekt.RSK", SampleRows());
  OpenThroughDialog(file);
  form->AskDelete = false;
  tree.Select(tree.FindByData(5));
  form->DeleteSpeedButtonClick();
  const std::string oldBytes = ReadFileBytes(file);
  {
    Table other;  // holds the working table, so it cannot be opened for packing
    other.SetPath(form->DataTable.Path());
    other.Open();
    EXPECT_THROW(form->Save1Click(), Error);
    EXPECT_TRUE(form->Modified);
    EXPECT_TRUE(form->PackPending);
    EXPECT_TRUE(form->DataTable.IsOpen());
    EXPECT_EQ(ReadFileBytes(file), oldBytes);
  }
  form->Save1Click();
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(RowsOfProjectFile(file).size(), 4u);
}

TEST_F(ProjectDocumentsTest, AFailedSaveKeepsTheOldFileAndTheChangeMark) {
  const fs::path dir = files / "locked";
  fs::create_directories(dir);
  const fs::path file = dir / "Projekt.RSK";
  fs::copy_file(MakeProject("Projekt.RSK", SampleRows()), file);
  OpenThroughDialog(file);
  AddNode(W("Změna"));
  const std::string oldBytes = ReadFileBytes(file);
  {
    UnwritableDirectory locked(dir);
    if (locked.Writable()) GTEST_SKIP() << "cannot make a directory unwritable here";
    const Snapshot before = Take();
    EXPECT_THROW(form->Save1Click(), Error);
    EXPECT_EQ(progress.Shown(), false);
    ExpectUnchanged(before);
    EXPECT_EQ(ReadFileBytes(file), oldBytes);
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(dir)) left.push_back(entry.path());
    std::sort(left.begin(), left.end());
    // The project's lock file stays while it is open.
    EXPECT_EQ(left, (std::vector<fs::path>{FileLock::LockFileOf(file), file}));
  }
  // Once the directory takes files again, the same changes are saved.
  form->Save1Click();
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(RowsOfProjectFile(file).size(), 6u);
}

TEST_F(ProjectDocumentsTest, AFailedSaveAsKeepsTheProjectsName) {
  const fs::path file = MakeProject("Projekt.RSK", SampleRows());
  OpenThroughDialog(file);
  AddNode(W("Změna"));
  const Snapshot before = Take();
  dialogs.saveAnswers.push_back(files / "chybi" / "Jinam.RSK");
  EXPECT_THROW(form->SaveAs1Click(), Error);
  ExpectUnchanged(before);
  EXPECT_FALSE(fs::exists(files / "chybi"));
}

TEST_F(ProjectDocumentsTest, AMissingWorkingFileFailsTheSaveInsteadOfWritingLess) {
  const fs::path file = MakeProject("Projekt.RSK", SampleRows());
  OpenThroughDialog(file);
  const std::string oldBytes = ReadFileBytes(file);
  // The table is unchanged since it opened, so closing it does not write the index again.
  fs::remove(form->ProjectDir / "RiskData.mdx");
  EXPECT_THROW(form->Save1Click(), Error);
  EXPECT_EQ(ReadFileBytes(file), oldBytes);
  EXPECT_TRUE(form->DataTable.IsOpen());
  EXPECT_EQ(Rows(), SampleRows());
  // A directory in its place would be passed over by the archive without a word.
  fs::create_directory(form->ProjectDir / "RiskData.mdx");
  EXPECT_THROW(form->Save1Click(), Error);
  EXPECT_EQ(ReadFileBytes(file), oldBytes);
  EXPECT_TRUE(form->DataTable.IsOpen());
}

}  // namespace
}  // namespace orvenda::test
