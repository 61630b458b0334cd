#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "base/dialogs.h"
#include "base/progress.h"
#include "base/settings_store.h"

namespace orvenda::test {

// Dialogs answering from a script. A question or file dialog that the script does not expect
// throws std::logic_error, so a test notices a box it did not ask for; set the defaults to
// answer any number of them.
class ScriptedDialogs : public Dialogs {
 public:
  struct Question {
    std::string text;
    std::string caption;
  };
  struct FileRequest {
    std::string filter;
    std::filesystem::path dir;
    std::string title, fileName;  // the titled dialogs only
  };

  // Answers to AskYesNo, in order; then `defaultAnswer` if set.
  std::deque<bool> answers;
  std::optional<bool> defaultAnswer;
  // Answers to AskYesNoCancel, in order; when empty it takes the AskYesNo answers as Yes/No.
  std::deque<Answer> cancelAnswers;
  // Answers to OpenFile / SaveFile (nullopt: the user cancels), in order; then the defaults.
  std::deque<std::optional<std::filesystem::path>> openAnswers;
  std::deque<std::optional<std::filesystem::path>> saveAnswers;
  std::optional<std::optional<std::filesystem::path>> defaultOpenAnswer;
  std::optional<std::optional<std::filesystem::path>> defaultSaveAnswer;

  // What was shown.
  std::vector<Question> questions;
  std::vector<std::string> warnings;
  std::vector<std::string> errors;
  std::vector<Question> informations;
  std::vector<FileRequest> openRequests;
  std::vector<FileRequest> saveRequests;

  bool AskYesNo(const std::string& text, const std::string& caption) override;
  Answer AskYesNoCancel(const std::string& text, const std::string& caption) override;
  void Warning(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void Information(const std::string& text, const std::string& caption) override;
  std::optional<std::filesystem::path> OpenFile(const std::string& filter,
                                                const std::filesystem::path& dir) override;
  std::optional<std::filesystem::path> SaveFile(const std::string& filter,
                                                const std::filesystem::path& dir) override;
  std::optional<std::filesystem::path> OpenFileTitled(const std::string& title,
                                                      const std::string& filter,
                                                      const std::filesystem::path& dir) override;
  // Answers from the SaveFile script as well.
  std::optional<std::filesystem::path> SaveFileNamed(const std::string& title,
                                                     const std::string& fileName,
                                                     const std::string& filter,
                                                     const std::filesystem::path& dir) override;
};

// Records the progress window's calls. `calls` holds "show <text> <maximum>", "set <n>",
// "step", "hide" in order; the hourglass and event processing are counted.
class RecordingProgress : public Progress {
 public:
  std::vector<std::string> calls;
  int busyDepth = 0;        // BeginBusy minus EndBusy
  int busyCalls = 0;        // BeginBusy calls
  int processEvents = 0;    // ProcessEvents calls
  bool recordSteps = true;  // off: "set" and "step" are only counted (long benchmarks)
  int steps = 0;            // SetProgress and StepProgress calls
  // Runs inside ProcessEvents, as pending window messages would.
  std::function<void()> onProcessEvents;

  void ShowProgress(const std::string& text, int maximum) override;
  void SetProgress(int position) override;
  void StepProgress() override;
  void HideProgress() override;
  void BeginBusy() override;
  void EndBusy() override;
  void ProcessEvents() override;

  bool Shown() const { return shown_; }

 private:
  bool shown_ = false;
};

// The settings store in memory. Key paths are compared without regard to letter case and
// without a leading backslash, like registry keys; creating a key creates its parents.
class MemorySettingsStore : public SettingsStore {
 public:
  using Value = std::variant<int32_t, std::string>;

  bool KeyExists(const std::string& key) const override;
  void CreateKey(const std::string& key) override;
  void DeleteKey(const std::string& key) override;
  std::optional<int32_t> ReadInteger(const std::string& key,
                                     const std::string& name) const override;
  void WriteInteger(const std::string& key, const std::string& name, int32_t value) override;
  std::optional<std::string> ReadString(const std::string& key,
                                        const std::string& name) const override;
  void WriteString(const std::string& key, const std::string& name,
                   const std::string& value) override;
  void DeleteValue(const std::string& key, const std::string& name) override;

  // Values of a key by name (names as written), for checks.
  std::map<std::string, Value> Values(const std::string& key) const;
  int writes = 0;

 private:
  static std::string Normal(const std::string& key);
  std::set<std::string> keys_;
  // normalised key -> (upper-case name -> (name as written, value))
  std::map<std::string, std::map<std::string, std::pair<std::string, Value>>> values_;
};

}  // namespace orvenda::test
