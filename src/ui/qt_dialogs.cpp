#include "qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "program_language.h"
#include "qt_text.h"

namespace orvenda {
namespace {

// Boxes need an application title when the core gives no caption.
QString ApplicationCaption() { return QApplication::applicationDisplayName(); }

}  // namespace

QString PathToQString(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

std::filesystem::path QStringToPath(const QString& path) {
  return std::filesystem::path(path.toStdString());
}

QString QtDialogs::QtFilter(const std::string& filter) {
  const QStringList parts = FromCp1250(filter).split(u'|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns) pattern = pattern.trimmed();
    const QString joined = patterns.join(u' ');
    // Qt takes the patterns from the parentheses of each entry; a description that already
    // shows them is used as it is.
    if (description.contains(u'(' + joined + u')')) {
      entries << description;
    } else {
      entries << (description.isEmpty() ? joined : description) + " (" + joined + u')';
    }
  }
  return entries.join(";;");
}

bool QtDialogs::AskYesNo(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Question, FromCp1250(caption), FromCp1250(text),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  box.setDefaultButton(QMessageBox::Yes);
  if (const auto texts = AnswerTextsFor(ProgramLanguage())) {
    box.button(QMessageBox::Yes)->setText(texts->yes);
    box.button(QMessageBox::No)->setText(texts->no);
  }
  return box.exec() == QMessageBox::Yes;
}

Dialogs::Answer QtDialogs::AskYesNoCancel(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Question, FromCp1250(caption), FromCp1250(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent_);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::Cancel);
  if (const auto texts = AnswerTextsFor(ProgramLanguage())) {
    box.button(QMessageBox::Yes)->setText(texts->yes);
    box.button(QMessageBox::No)->setText(texts->no);
    box.button(QMessageBox::Cancel)->setText(texts->cancel);
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    default:
      return Answer::Cancel;
  }
}

void QtDialogs::Information(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Information, FromCp1250(caption), FromCp1250(text), QMessageBox::Ok,
                  parent_);
  box.exec();
}

void QtDialogs::Warning(const std::string& text) {
  QMessageBox box(QMessageBox::Warning, ApplicationCaption(), FromCp1250(text), QMessageBox::Ok,
                  parent_);
  box.exec();
}

void QtDialogs::ShowError(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, ApplicationCaption(), FromCp1250(text), QMessageBox::Ok,
                  parent_);
  box.exec();
}

std::optional<std::filesystem::path> QtDialogs::OpenFile(const std::string& filter,
                                                         const std::filesystem::path& dir) {
  return OpenFileTitled(std::string(), filter, dir);
}

std::optional<std::filesystem::path> QtDialogs::OpenFileTitled(const std::string& title,
                                                               const std::string& filter,
                                                               const std::filesystem::path& dir) {
  QFileDialog dialog(parent_, FromCp1250(title), PathToQString(dir), QtFilter(filter));
  dialog.setObjectName("OpenDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  // Qt's own dialog matches the patterns without regard to letter case, as "*.RSK" needs.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QStringToPath(dialog.selectedFiles().first());
}

std::optional<std::filesystem::path> QtDialogs::SaveFile(const std::string& filter,
                                                         const std::filesystem::path& dir) {
  QFileDialog dialog(parent_, QString(), PathToQString(dir), QtFilter(filter));
  dialog.setObjectName("SaveDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The dialog asks before an existing file is overwritten (its default).
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QStringToPath(dialog.selectedFiles().first());
}

std::optional<std::filesystem::path> QtDialogs::SaveFileNamed(const std::string& title,
                                                              const std::string& fileName,
                                                              const std::string& filter,
                                                              const std::filesystem::path& dir) {
  QFileDialog dialog(parent_, FromCp1250(title), PathToQString(dir), QtFilter(filter));
  dialog.setObjectName("SaveDialog2");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The exports replace their files without asking.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.selectFile(FromCp1250(fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QStringToPath(dialog.selectedFiles().first());
}

}  // namespace orvenda
