// Work that a killed run left behind: a forked child edits and saves through the main form, is
// killed with SIGKILL at chosen points, and the next start must offer exactly the unsaved work.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "app/documents_fixture.h"
#include "base/run_lock.h"
#include "documents/earlier_runs.h"
#include "documents/working_directory.h"

namespace orvenda::test {
namespace {

using ::testing::HasSubstr;
using ::testing::UnorderedElementsAreArray;
using Keys = std::vector<std::pair<int32_t, std::string>>;

bool HasArchiveTemporary(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().find(".RSK.ZLB") != std::string::npos) return true;
  return false;
}

// A run of the program in a child process: it starts as the window does with `commandLine`,
// runs `script` and reports each post ("post INDEX TEXT") and save step through a pipe. At the
// `stopAt`-th report starting with `stopPoint`, or at the end, it waits to be killed.
class ChildRun : public RecordingProgress {
 public:
  ChildRun(const MainFormDirs& dirs, const fs::path& commandLine, std::string stopPoint, int stopAt,
           const std::function<void(MainForm&)>& script)
      : stopPoint_(std::move(stopPoint)), stopAt_(stopAt), watched_(commandLine.parent_path()) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      out_ = fds[1];
      try {
        FakeTreeControl tree;
        ScriptedDialogs dialogs;
        MemorySettingsStore store;
        MainForm form(tree, dialogs, *this, store, dirs);
        form.AdminMarker = dirs.tempDir / "Admin.set";
        form.CommandLineFile = commandLine;
        form.FormCreate();
        form.FormShow();
        const auto afterPost = form.DataTable.AfterPost;
        form.DataTable.AfterPost = [&] {
          afterPost();
          Report("post " + std::to_string(form.DataTable.GetInt(fld::kIndex)) + " " +
                 form.DataTable.GetText(fld::kText));
        };
        script(form);
        Report("stopped");  // with the form alive, and so its working directory
      } catch (const std::exception& e) {
        Report(std::string("error ") + e.what());
      }
      Report("stopped");
    }
    ::close(fds[1]);
    from_ = ::fdopen(fds[0], "r");
  }
  ~ChildRun() override {
    Kill();
    std::fclose(from_);
  }

  // The rows as the child's posts left them, once it has stopped.
  Keys Posted() {
    Keys rows;
    char line[512];
    while (std::fgets(line, sizeof line, from_) != nullptr) {
      std::string text(line, std::strlen(line) - 1);
      if (text == "stopped") return rows;
      EXPECT_EQ(text.rfind("error", 0), std::string::npos) << text;
      if (text.rfind("post ", 0) != 0) continue;
      const size_t space = text.find(' ', 5);
      const int32_t index = std::stoi(text.substr(5, space - 5));
      // A new record is posted empty, then with its Index, then with its texts.
      if (!rows.empty() && (rows.back().first == 0 || rows.back().first == index) && index != 0)
        rows.pop_back();
      rows.emplace_back(index, text.substr(space + 1));
    }
    ADD_FAILURE() << "the child ended without stopping";
    return rows;
  }

  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  void ShowProgress(const std::string& text, int) override {
    saving_ = text.rfind(W("Ukládání:"), 0) == 0;
    if (saving_) Report("save-show");
  }
  void SetProgress(int) override {
    if (saving_ && HasArchiveTemporary(watched_)) Report("midsave");
  }
  void HideProgress() override {
    if (saving_) Report("save-hide");
  }

 private:
  void Report(const std::string& text) {
    const std::string line = text + "\n";
    if (::write(out_, line.data(), line.size()) < 0) ::_exit(3);
    if (text == "stopped" || (text.rfind(stopPoint_, 0) == 0 && ++seen_ == stopAt_)) {
      if (text != "stopped" && ::write(out_, "stopped\n", 8) < 0) ::_exit(3);
      for (;;) ::pause();
    }
  }

  std::string stopPoint_;
  int stopAt_, seen_ = 0, out_ = -1;
  bool saving_ = false;
  fs::path watched_;
  pid_t pid_ = -1;
  FILE* from_ = nullptr;
};

void AddNodes(MainForm& form, int count) {
  for (int i = 1; i <= count; ++i) {
    form.AddNodeSpeedButtonClick();
    form.TextEdit.text = "Uzel " + std::to_string(i);
    form.RiskSourceEditChange();
    form.StoreBitBtnClick();
  }
}

Keys KeysOf(const std::vector<Row>& rows) {
  Keys keys;
  for (const Row& r : rows) keys.emplace_back(r.index, r.text);
  return keys;
}

class CrashRecoveryTest : public DocumentsTest {
 protected:
  MainFormDirs Dirs() const { return {programDir, tempDir, userDir}; }
  void Restart() {
    form->FormDestroy();
    dialogs = ScriptedDialogs();
    form = std::make_unique<MainForm>(tree, dialogs, progress, store, Dirs());
    form->AdminMarker = temp / "Admin.set";
  }
};

// Killed after each write of a store and at each step of a save: the next start asks exactly
// when the project file lacks the work, recovery brings every posted record back as a changed
// project under its old name, the file stays as it was until "Ulož" writes it there, and what
// the interrupted save left beside the file is gone.
TEST_F(CrashRecoveryTest, KilledDuringStoreOrSaveOffersExactlyTheUnsavedWork) {
  // Barely compressible memos make the save report progress while it writes.
  std::vector<Row> rows = SampleRows();
  uint32_t seed = 7;
  for (int32_t i = 0; i < 300; ++i) {
    rows.push_back(Risk(100 + i, 1, "R" + std::to_string(i)));
    for (int c = 0; c < 400; ++c)
      rows.back().comment += char('a' + ((seed = seed * 69069 + 1) >> 16) % 26);
  }
  const struct {
    std::string stopPoint;
    int stopAt;
    bool offered;
  } cases[] = {
      {"post", 7, true},        // third store: its record appended,
      {"post", 8, true},        // numbered,
      {"post", 9, true},        // and its texts written
      {"save-show", 1, true},   // save begun, nothing written yet
      {"midsave", 1, true},     // the temporary archive half written
      {"save-hide", 1, false},  // the archive in place
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stopPoint + " " + std::to_string(c.stopAt));
    const fs::path file = MakeProject("Dilna.RSK", rows);
    Keys expected = KeysOf(rows);
    {
      ChildRun child(Dirs(), file, c.stopPoint, c.stopAt, [](MainForm& form) {
        AddNodes(form, 3);
        form.Save1Click();
      });
      const Keys posted = child.Posted();
      expected.insert(expected.end(), posted.begin(), posted.end());
      if (c.stopPoint == "midsave") {
        // A live save holds its temporary file: no clean-up may take it.
        EXPECT_EQ(RemoveStaleArchiveTemporaries(files), 0);
        EXPECT_TRUE(HasArchiveTemporary(files));
      }
    }
    dialogs.answers = {true};
    Start(file);  // opened only when nothing is recovered
    ASSERT_EQ(dialogs.questions.size(), c.offered ? 1u : 0u);
    EXPECT_FALSE(HasArchiveTemporary(files));
    EXPECT_EQ(form->Modified, c.offered);
    EXPECT_EQ(form->ProjectFileName, file);
    EXPECT_THAT(KeysOf(Rows()), UnorderedElementsAreArray(expected));
    if (c.offered) {
      EXPECT_THAT(dialogs.questions[0].text, HasSubstr(W("„Dilna“")));
      EXPECT_EQ(form->StatusBar1.Panels[0], " *");
      EXPECT_EQ(RowsOfProjectFile(file), rows);
      form->Save1Click();
    }
    EXPECT_THAT(KeysOf(RowsOfProjectFile(file)), UnorderedElementsAreArray(expected));
    EXPECT_EQ(WorkingDirs(), std::vector<fs::path>{form->ProjectDir});
    Restart();
    fs::remove(file);
  }
}

// Dead runs and a live one: the live run's directory is never offered or touched, the dead ones
// with unsaved work are offered newest first and a discard removes only its own; an unchanged
// project, a library copy and a report folder of a dead run go without a question; a damaged
// table stays and is named in one warning.
TEST_F(CrashRecoveryTest, OffersDeadRunsNewestFirstAndLeavesLiveRunsAlone) {
  const fs::path older = MakeProject("Starsi.RSK", SampleRows());
  const fs::path untouched = MakeProject("Beze.RSK", SampleRows());
  const fs::path liveFile = MakeProject("Zivy.RSK", SampleRows());
  const auto edit = [](MainForm& form) { AddNodes(form, 1); };
  // All start before any dies, so that none of them meets the others' work.
  ChildRun a(Dirs(), older, "end", 1, edit), b(Dirs(), {}, "end", 1, edit),
      c(Dirs(), untouched, "end", 1, [](MainForm&) {}), live(Dirs(), liveFile, "end", 1, edit);
  for (ChildRun* child : {&a, &b, &c, &live}) child->Posted();
  std::map<std::string, fs::path> dirOf;
  for (const fs::path& dir : WorkingDirs()) dirOf[ReadFileBytes(dir / kProjectNameFile)] = dir;
  ASSERT_EQ(dirOf.size(), 4u);
  a.Kill();
  b.Kill();
  c.Kill();
  const fs::path newTable = dirOf[""] / "RiskData.dbf";
  fs::last_write_time(dirOf[older.string()] / "RiskData.dbf",
                      fs::last_write_time(newTable) - std::chrono::hours(1));

  const fs::path library = tempDir / "RZKLIB.TMP", damaged = tempDir / "RZKBAD.TMP";
  const fs::path deadReport = tempDir / "RPT000001", liveReport = tempDir / "RPT000002";
  for (const fs::path& dir : {library, damaged, deadReport, liveReport}) {
    fs::create_directories(dir);
    if (dir != liveReport) RunLock::Create(dir / kRunLockName).Release();
  }
  const RunLock liveReportLock = RunLock::Create(liveReport / kRunLockName);
  WriteFileBytes(library / "RiskLib.dbf", "x");
  WriteFileBytes(damaged / "RiskData.dbf", "not a table");
  WriteFileBytes(damaged / kProjectNameFile, "");

  dialogs.answers = {false, false};
  Start();
  ASSERT_EQ(dialogs.questions.size(), 2u);
  EXPECT_THAT(dialogs.questions[0].text, HasSubstr(W("nový projekt")));
  EXPECT_THAT(dialogs.questions[1].text, HasSubstr(W("„Starsi“")));
  ASSERT_EQ(dialogs.warnings.size(), 1u);
  EXPECT_THAT(dialogs.warnings[0], HasSubstr((damaged / "RiskData.dbf").string()));
  EXPECT_FALSE(form->Modified);
  EXPECT_THAT(WorkingDirs(),
              UnorderedElementsAreArray({form->ProjectDir, dirOf[liveFile.string()], damaged}));
  EXPECT_EQ(ReadFileBytes(damaged / "RiskData.dbf"), "not a table");
  EXPECT_TRUE(fs::exists(dirOf[liveFile.string()] / "RiskData.dbf"));
  EXPECT_FALSE(fs::exists(deadReport));
  EXPECT_FALSE(fs::exists(library));
  EXPECT_TRUE(fs::exists(liveReport / kRunLockName));

  // Once the live run is gone, its work comes back instead of the command line's project.
  live.Kill();
  Restart();
  dialogs.answers = {true};
  Start(older);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_THAT(dialogs.questions[0].text, HasSubstr(W("„Zivy“")));
  EXPECT_EQ(form->ProjectFileName, liveFile);
  EXPECT_EQ(form->ProjectDir, dirOf[liveFile.string()]);
  EXPECT_EQ(Rows().size(), SampleRows().size() + 1);
}

// The mark names the file that a recovery would write to: the opened one, the one saved as,
// none for a new project.
TEST_F(CrashRecoveryTest, OpenSaveAsAndNewKeepTheMarkOfTheProjectFile) {
  Start(MakeProject("Dilna.RSK", SampleRows()));
  EXPECT_EQ(ReadProjectFileName(form->ProjectDir), files / "Dilna.RSK");
  dialogs.saveAnswers = {files / "Kopie"};
  form->SaveAs1Click();
  EXPECT_EQ(ReadProjectFileName(form->ProjectDir), files / "Kopie.RSK");
  form->New1Click();
  EXPECT_EQ(ReadProjectFileName(form->ProjectDir), fs::path());
  EXPECT_EQ(WorkingDirs(), std::vector<fs::path>{form->ProjectDir});
}

}  // namespace
}  // namespace orvenda::test
