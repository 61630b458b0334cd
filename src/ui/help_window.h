#pragma once

#include <QDialog>
#include <QTextBrowser>
#include <filesystem>
#include <string>

namespace orvenda {

// The help viewer: the program's help page from the program directory, "Hanvik.htm" in Czech
// and "Hanvik.<language>.htm" (such as "Hanvik.en.htm") in another language.
class HelpWindow : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kHelpFileName = "Hanvik.htm";

  explicit HelpWindow(QWidget* parent = nullptr);

  // Shows the help of `programDir` in the program's language. False, and nothing shown, when
  // the help file is missing.
  bool ShowContents(const std::filesystem::path& programDir);

  // The help page of `language` in `programDir`: its own page where there is one, else the
  // Czech one.
  static std::filesystem::path HelpFile(const std::filesystem::path& programDir,
                                        const std::string& language);

  QTextBrowser* Browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
};

}  // namespace orvenda
