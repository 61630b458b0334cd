// Work that a killed run left behind: a forked child edits and saves through the main form and
// is killed with SIGKILL at chosen points; the next start must offer exactly the unsaved work
// and give back every record the child posted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

#include "app/documents_fixture.h"
#include "base/run_lock.h"
#include "documents/earlier_runs.h"
#include "documents/working_directory.h"

namespace orvenda::test {
namespace {

using ::testing::HasSubstr;
using ::testing::UnorderedElementsAreArray;

bool HasArchiveTemporary(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename().string().find(".RSK.ZLB") != std::string::npos) return true;
  }
  return false;
}

// Reports the progress of a save through the child's pipe.
class ReportingProgress : public RecordingProgress {
 public:
  std::function<void(const std::string&)> report;
  fs::path watched;  // where the save's temporary file appears
  void ShowProgress(const std::string& text, int maximum) override {
    RecordingProgress::ShowProgress(text, maximum);
    saving_ = text.rfind(W("Ukládání:"), 0) == 0;
    if (saving_) report("save-show");
  }
  void SetProgress(int position) override {
    RecordingProgress::SetProgress(position);
    if (!watched.empty() && HasArchiveTemporary(watched)) report("midsave");
  }
  void HideProgress() override {
    RecordingProgress::HideProgress();
    if (saving_) report("save-hide");
  }

 private:
  bool saving_ = false;
};

// A run of the program in a child process. It starts as the window does, runs `script` and
// reports every post ("post INDEX TEXT") and save step through a pipe. At the `stopAt`-th
// report of `stopPoint` it stops and waits there until it is killed; when the script ends it
// reports "end" and waits as well.
class ChildRun {
 public:
  using Script = std::function<void(MainForm&, ScriptedDialogs&, ReportingProgress&)>;

  ChildRun(const MainFormDirs& dirs, const fs::path& commandLine, std::string stopPoint, int stopAt,
           Script script) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      RunChild(fds[1], dirs, commandLine, stopPoint, stopAt, script);
    }
    ::close(fds[1]);
    from_ = ::fdopen(fds[0], "r");
  }
  ~ChildRun() {
    Kill();
    if (from_ != nullptr) std::fclose(from_);
  }

  // Reads reports until the child stops ("end" or its stop point); returns them.
  std::vector<std::string> WaitForStop() {
    std::vector<std::string> lines;
    char line[512];
    while (std::fgets(line, sizeof line, from_) != nullptr) {
      std::string text(line);
      if (!text.empty() && text.back() == '\n') text.pop_back();
      if (text == "stopped" || text == "end") return lines;
      if (text.rfind("error", 0) == 0) ADD_FAILURE() << "child: " << text;
      lines.push_back(text);
    }
    ADD_FAILURE() << "the child ended without stopping";
    return lines;
  }

  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  [[noreturn]] static void RunChild(int out, const MainFormDirs& dirs, const fs::path& commandLine,
                                    const std::string& stopPoint, int stopAt,
                                    const Script& script) {
    int seen = 0;
    const auto report = [&](const std::string& text) {
      const std::string line = text + "\n";
      if (::write(out, line.data(), line.size()) < 0) ::_exit(3);
      if (text.rfind(stopPoint, 0) == 0 && ++seen == stopAt) {
        if (::write(out, "stopped\n", 8) < 0) ::_exit(3);
        for (;;) ::pause();
      }
    };
    try {
      FakeTreeControl tree;
      ScriptedDialogs dialogs;
      ReportingProgress progress;
      progress.report = report;
      MemorySettingsStore store;
      MainForm form(tree, dialogs, progress, store, dirs);
      form.AdminMarker = dirs.tempDir / "Admin.set";
      form.CommandLineFile = commandLine;
      form.FormCreate();
      form.FormShow();
      const auto afterPost = form.DataTable.AfterPost;
      form.DataTable.AfterPost = [&] {
        afterPost();
        report("post " + std::to_string(form.DataTable.GetInt(fld::kIndex)) + " " +
               form.DataTable.GetText(fld::kText));
      };
      script(form, dialogs, progress);
      report("end");
    } catch (const std::exception& e) {
      report(std::string("error ") + e.what());
    }
    for (;;) ::pause();
  }

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

class CrashRecoveryTest : public DocumentsTest {
 protected:
  MainFormDirs Dirs() const { return {programDir, tempDir, userDir}; }

  // The rows the project should hold: those of the file changed by the child's posts. A new
  // record is posted empty (Index 0) and then again with its Index and with its texts.
  static std::vector<Row> Expected(std::vector<Row> rows, const std::vector<std::string>& posts) {
    const size_t original = rows.size();
    for (const std::string& line : posts) {
      if (line.rfind("post ", 0) != 0) continue;
      std::istringstream in(line.substr(5));
      int32_t index = 0;
      in >> index;
      std::string text;
      std::getline(in, text);
      if (!text.empty()) text.erase(0, 1);
      Row* same = nullptr;
      for (size_t i = original; i < rows.size(); ++i) {
        if (rows[i].index == index || (rows[i].index == 0 && i + 1 == rows.size())) same = &rows[i];
      }
      if (index == 0 || same == nullptr) {
        rows.push_back(Node(index, 0, text));
      } else {
        *same = Node(index, 0, text);
      }
    }
    return rows;
  }
  static std::vector<std::pair<int32_t, std::string>> Keys(const std::vector<Row>& rows) {
    std::vector<std::pair<int32_t, std::string>> keys;
    for (const Row& r : rows) keys.emplace_back(r.index, r.text);
    return keys;
  }
};

// Killed after each write of a store (the appended record, then its fields) and at each step
// of a save: the next start asks exactly when the project file lacks the work, recovery brings
// every posted record back as a changed project under its old name, and "Ulož" writes it there.
TEST_F(CrashRecoveryTest, KilledDuringStoreOrSaveOffersExactlyTheUnsavedWork) {
  // Big, barely compressible memos make the save report progress while it is writing.
  std::vector<Row> rows = SampleRows();
  uint32_t seed = 7;
  for (int32_t i = 0; i < 300; ++i) {
    Row risk = Risk(100 + i, 1, "R" + std::to_string(i));
    for (int c = 0; c < 400; ++c) {
      seed = seed * 1103515245u + 12345u;
      risk.comment += static_cast<char>('a' + (seed >> 16) % 26);
    }
    rows.push_back(risk);
  }
  struct Case {
    std::string stopPoint;
    int stopAt;
    bool save;
    bool offered;
  };
  const Case cases[] = {
      {"post", 7, false, true},       // third store: its record appended,
      {"post", 8, false, true},       // numbered,
      {"post", 9, false, true},       // and its texts written
      {"save-show", 1, true, true},   // save begun, nothing written yet
      {"midsave", 1, true, true},     // the temporary archive half written
      {"save-hide", 1, true, false},  // the archive in place
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stopPoint + " " + std::to_string(c.stopAt));
    const fs::path file = MakeProject("Dilna.RSK", rows);
    std::vector<std::string> posts;
    {
      ChildRun child(Dirs(), file, c.stopPoint, c.stopAt,
                     [&](MainForm& form, ScriptedDialogs&, ReportingProgress& progress) {
                       AddNodes(form, 3);
                       progress.watched = files;
                       if (c.save) form.Save1Click();
                     });
      posts = child.WaitForStop();
      if (c.stopPoint == "midsave") {
        // The live save holds its temporary file: no clean-up may take it.
        EXPECT_EQ(RemoveStaleArchiveTemporaries(files), 0);
        EXPECT_TRUE(HasArchiveTemporary(files));
      }
    }
    ASSERT_EQ(WorkingDirs().size(), 1u);
    const std::vector<Row> expected = Expected(rows, posts);

    dialogs.answers = {true};
    Start();
    ASSERT_EQ(dialogs.questions.size(), c.offered ? 1u : 0u);
    EXPECT_FALSE(HasArchiveTemporary(files));
    if (c.offered) {
      EXPECT_THAT(dialogs.questions[0].text, HasSubstr(W("„Dilna“")));
      EXPECT_THAT(Keys(Rows()), UnorderedElementsAreArray(Keys(expected)));
      EXPECT_TRUE(form->Modified);
      EXPECT_EQ(form->StatusBar1.Panels[0], " *");
      EXPECT_EQ(form->ProjectFileName, file);
      EXPECT_EQ(form->Caption.rfind("Dilna - ", 0), 0u) << form->Caption;
      EXPECT_EQ(RowsOfProjectFile(file), rows) << "the file is untouched until saved";
      form->Save1Click();
    } else {
      EXPECT_FALSE(form->Modified);
    }
    EXPECT_THAT(Keys(RowsOfProjectFile(file)), UnorderedElementsAreArray(Keys(expected)));
    EXPECT_EQ(WorkingDirs(), std::vector<fs::path>{form->ProjectDir});

    form->FormDestroy();
    EXPECT_TRUE(WorkingDirs().empty());
    fs::remove(file);
    dialogs = ScriptedDialogs();
    form = std::make_unique<MainForm>(tree, dialogs, progress, store, Dirs());
    form->AdminMarker = temp / "Admin.set";
  }
}

// Several dead runs and a live one: the live run's directory is never offered or touched, the
// dead ones with unsaved work are offered newest first and a discard removes only its own; an
// unchanged project, a library copy and a report folder of a dead run go without a question;
// a damaged table stays and is named in the one warning.
TEST_F(CrashRecoveryTest, OffersDeadRunsNewestFirstAndLeavesLiveRunsAlone) {
  const fs::path older = MakeProject("Starsi.RSK", SampleRows());
  const fs::path untouched = MakeProject("Beze.RSK", SampleRows());
  const fs::path liveFile = MakeProject("Zivy.RSK", SampleRows());
  const auto edit = [](MainForm& form, ScriptedDialogs&, ReportingProgress&) { AddNodes(form, 1); };
  const auto nothing = [](MainForm&, ScriptedDialogs&, ReportingProgress&) {};
  // All start before any dies, so that none of them meets the others' work.
  ChildRun a(Dirs(), older, "end", 1, edit);
  a.WaitForStop();
  ChildRun b(Dirs(), {}, "end", 1, edit);  // a new project, never saved
  b.WaitForStop();
  ChildRun c(Dirs(), untouched, "end", 1, nothing);
  c.WaitForStop();
  ChildRun live(Dirs(), liveFile, "end", 1, edit);
  live.WaitForStop();
  const auto before = WorkingDirs();
  ASSERT_EQ(before.size(), 4u);
  std::map<fs::path, std::string> nameOf;
  for (const fs::path& dir : before) nameOf[dir] = ReadFileBytes(dir / kProjectNameFile);
  const auto dirOf = [&](const fs::path& file) {
    for (const auto& [dir, name] : nameOf)
      if (name == file.string()) return dir;
    return fs::path();
  };
  const fs::path olderDir = dirOf(older), newDir = dirOf(""), liveDir = dirOf(liveFile);
  a.Kill();
  b.Kill();
  c.Kill();
  fs::last_write_time(olderDir / "RiskData.dbf",
                      fs::last_write_time(newDir / "RiskData.dbf") - std::chrono::hours(1));

  // A dead library working directory, a damaged project table, report folders dead and live.
  const fs::path library = tempDir / "RZKLIB.TMP";
  fs::create_directories(library);
  WriteFileBytes(library / "RiskLib.dbf", "x");
  RunLock::Create(library / kRunLockName).Release();
  const fs::path damaged = tempDir / "RZKBAD.TMP";
  fs::create_directories(damaged);
  WriteFileBytes(damaged / "RiskData.dbf", "not a table");
  WriteFileBytes(damaged / kProjectNameFile, "");
  RunLock::Create(damaged / kRunLockName).Release();
  const fs::path deadReport = tempDir / "RPT000001", liveReport = tempDir / "RPT000002";
  fs::create_directories(deadReport);
  fs::create_directories(liveReport);
  RunLock::Create(deadReport / kRunLockName).Release();
  const RunLock liveReportLock = RunLock::Create(liveReport / kRunLockName);

  dialogs.answers = {false, false};
  Start();
  ASSERT_EQ(dialogs.questions.size(), 2u);
  EXPECT_THAT(dialogs.questions[0].text, HasSubstr(W("nový projekt")));
  EXPECT_THAT(dialogs.questions[1].text, HasSubstr(W("„Starsi“")));
  ASSERT_EQ(dialogs.warnings.size(), 1u);
  EXPECT_THAT(dialogs.warnings[0], HasSubstr((damaged / "RiskData.dbf").string()));
  EXPECT_FALSE(form->Modified);
  EXPECT_TRUE(form->ProjectFileName.empty());

  EXPECT_THAT(WorkingDirs(), UnorderedElementsAreArray({form->ProjectDir, liveDir, damaged}));
  EXPECT_EQ(ReadFileBytes(damaged / "RiskData.dbf"), "not a table");
  EXPECT_TRUE(fs::exists(liveDir / "RiskData.dbf"));
  EXPECT_TRUE(fs::exists(liveDir / kRunLockName));
  EXPECT_FALSE(fs::exists(deadReport));
  EXPECT_TRUE(fs::exists(liveReport / kRunLockName));

  // Once the live run is gone, its work is offered to the next start.
  live.Kill();
  form->FormDestroy();
  dialogs = ScriptedDialogs();
  dialogs.answers = {true};
  form = std::make_unique<MainForm>(tree, dialogs, progress, store, Dirs());
  form->AdminMarker = temp / "Admin.set";
  Start(older);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_THAT(dialogs.questions[0].text, HasSubstr(W("„Zivy“")));
  EXPECT_EQ(form->ProjectFileName, liveFile) << "the recovered project, not the command line's";
  EXPECT_EQ(form->ProjectDir, liveDir);
  EXPECT_EQ(Rows().size(), SampleRows().size() + 1);
}

}  // namespace
}  // namespace orvenda::test
