#include "help_window.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "base/language_file.h"
#include "program_language.h"
#include "qt_text.h"

namespace orvenda {

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
  setObjectName("HelpForm");
  setWindowTitle(MessageText(281));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);

  browser_ = new QTextBrowser(this);
  browser_->setObjectName("HelpBrowser");
  browser_->setOpenExternalLinks(true);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(MessageText(282));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* back = buttons->addButton(MessageText(284), QDialogButtonBox::ActionRole);
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  back->setEnabled(false);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(browser_);
  layout->addWidget(buttons);
  resize(640, 560);
}

std::filesystem::path HelpWindow::HelpFile(const std::filesystem::path& programDir,
                                           const std::string& language) {
  std::error_code error;
  if (language != kDefaultLanguage) {
    // "Hanvik.en.htm"; the code is letters and "_" only (see LanguageOf).
    const std::filesystem::path own =
        programDir / (std::filesystem::path(kHelpFileName).stem().string() + "." + language +
                      std::filesystem::path(kHelpFileName).extension().string());
    if (std::filesystem::is_regular_file(own, error)) return own;
  }
  return programDir / kHelpFileName;
}

bool HelpWindow::ShowContents(const std::filesystem::path& programDir) {
  const std::filesystem::path file = HelpFile(programDir, ProgramLanguage());
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return false;
  browser_->setSource(QUrl::fromLocalFile(QString::fromStdString(file.string())));
  show();
  raise();
  activateWindow();
  return true;
}

}  // namespace orvenda
