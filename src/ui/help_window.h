#pragma once

#include <QDialog>
#include <QTextBrowser>
#include <filesystem>

namespace orvenda {

// The help viewer: the program's help page "Hanvik.htm" from the program directory.
class HelpWindow : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kHelpFileName = "Hanvik.htm";

  explicit HelpWindow(QWidget* parent = nullptr);

  // Shows the help of `programDir`. False, and nothing shown, when the help file is missing.
  bool ShowContents(const std::filesystem::path& programDir);

  QTextBrowser* Browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
};

}  // namespace orvenda
