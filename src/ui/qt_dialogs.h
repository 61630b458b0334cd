#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "base/dialogs.h"

namespace orvenda {

// Message boxes and file dialogs for the core, parented to a window.
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

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
  std::optional<std::filesystem::path> SaveFileNamed(const std::string& title,
                                                     const std::string& fileName,
                                                     const std::string& filter,
                                                     const std::filesystem::path& dir) override;

  // "description|pattern|description|pattern" (patterns separated by ";") in Qt's form
  // "description (patterns);;description (patterns)".
  static QString QtFilter(const std::string& filter);

 private:
  QPointer<QWidget> parent_;
};

// std::filesystem::path and QString for local file names.
QString PathToQString(const std::filesystem::path& path);
std::filesystem::path QStringToPath(const QString& path);

}  // namespace orvenda
