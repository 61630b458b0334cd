#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace orvenda {

// Message boxes and file dialogs. Texts are windows-1250. The Qt window answers with real
// boxes, tests with scripted answers.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Yes/No question box with a question icon; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // Yes/No/Cancel question for a "No" that loses work: Esc and closing the box mean Cancel,
  // so that no slip throws anything away. A dialog that cannot cancel asks AskYesNo.
  enum class Answer { Yes, No, Cancel };
  virtual Answer AskYesNoCancel(const std::string& text, const std::string& caption) {
    return AskYesNo(text, caption) ? Answer::Yes : Answer::No;
  }
  // Warning box with an OK button.
  virtual void Warning(const std::string& text) = 0;
  // An error's text in a box with an OK button (the application's one error handler).
  virtual void ShowError(const std::string& text) = 0;
  // Information box with an OK button under `caption`.
  virtual void Information(const std::string& text, const std::string& caption) {
    (void)caption;
    Warning(text);
  }

  // File dialogs. `filter` is "description|pattern|description|pattern..."; nullopt when
  // the user cancels.
  virtual std::optional<std::filesystem::path> OpenFile(const std::string& filter,
                                                        const std::filesystem::path& dir) = 0;
  // An open dialog with a title of its own; a dialog that cannot show one asks as OpenFile.
  virtual std::optional<std::filesystem::path> OpenFileTitled(const std::string& title,
                                                              const std::string& filter,
                                                              const std::filesystem::path& dir) {
    (void)title;
    return OpenFile(filter, dir);
  }
  virtual std::optional<std::filesystem::path> SaveFile(const std::string& filter,
                                                        const std::filesystem::path& dir) = 0;

  // A save dialog with its own caption and a proposed file name, which does not ask before
  // an existing file is replaced (the export dialogs). By default the plain save dialog.
  virtual std::optional<std::filesystem::path> SaveFileNamed(const std::string& title,
                                                             const std::string& fileName,
                                                             const std::string& filter,
                                                             const std::filesystem::path& dir) {
    (void)title;
    (void)fileName;
    return SaveFile(filter, dir);
  }
};

}  // namespace orvenda
