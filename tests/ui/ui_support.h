#pragma once

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/dialogs.h"
#include "main_form_window.h"
#include "qt_settings_store.h"
#include "support/test_support.h"

namespace orvenda::test {

// Dialog answers given in advance; every box shown is recorded.
class ScriptedDialogs : public Dialogs {
 public:
  struct Question {
    std::string text, caption;
  };
  std::deque<bool> yesNo;  // answers; Yes when none is left
  std::deque<std::optional<std::filesystem::path>> openFiles, saveFiles;
  std::vector<Question> questions;
  std::vector<std::string> warnings, errors;
  std::vector<std::string> openFilters, saveFilters;

  bool AskYesNo(const std::string& text, const std::string& caption) override {
    questions.push_back({text, caption});
    if (yesNo.empty()) return true;
    const bool answer = yesNo.front();
    yesNo.pop_front();
    return answer;
  }
  void Warning(const std::string& text) override { warnings.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  std::optional<std::filesystem::path> OpenFile(const std::string& filter,
                                                const std::filesystem::path&) override {
    openFilters.push_back(filter);
    if (openFiles.empty()) return std::nullopt;
    auto answer = openFiles.front();
    openFiles.pop_front();
    return answer;
  }
  std::optional<std::filesystem::path> SaveFile(const std::string& filter,
                                                const std::filesystem::path&) override {
    saveFilters.push_back(filter);
    if (saveFiles.empty()) return std::nullopt;
    auto answer = saveFiles.front();
    saveFiles.pop_front();
    return answer;
  }
};

// A program directory, temporary directory and settings of its own, and the main window
// started and stopped as the program does it.
class WindowEnv {
 public:
  WindowEnv() {
    std::filesystem::create_directories(ProgramDir());
    std::filesystem::create_directories(dir_ / "tmp");
    settings_ =
        std::make_unique<QtSettingsStore>(QString::fromStdString((dir_ / "user.ini").string()));
  }
  ~WindowEnv() { Stop(); }

  std::filesystem::path ProgramDir() const { return dir_ / "prog"; }
  std::filesystem::path Dir() const { return dir_.path(); }
  std::filesystem::path AdminMarker() const { return dir_ / "Admin.set"; }
  QtSettingsStore& Settings() { return *settings_; }

  // Creates the windows in the program's order and shows the main window.
  MainFormWindow& Start(const std::filesystem::path& commandLineFile = {}) {
    MainFormDirs dirs;
    dirs.programDir = ProgramDir();
    dirs.tempDir = dir_ / "tmp";
    dirs.userDir = dir_ / "user";
    window_ = std::make_unique<MainFormWindow>(dirs, *settings_, &dialogs);
    window_->Form().AdminMarker = AdminMarker();
    window_->Form().CommandLineFile = commandLineFile;
    window_->CreateOtherWindows();
    window_->show();
    return *window_;
  }

  // Closes the main window (answering its questions with Yes) and destroys it.
  void Stop() {
    if (!window_) return;
    window_->close();
    window_.reset();
  }

  MainFormWindow& W() { return *window_; }
  template <typename T>
  T* Find(const char* name) {
    T* found = window_->findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) ADD_FAILURE() << "no widget " << name;
    return found;
  }
  OrvendaTreeWidget* Tree() { return window_->Tree().Widget(); }

  ScriptedDialogs dialogs;

 private:
  TempDir dir_;
  std::unique_ptr<QtSettingsStore> settings_;
  std::unique_ptr<MainFormWindow> window_;
};

// Types text into a widget key by key (QTest::keyClicks knows only ASCII).
inline void TypeText(QWidget* widget, const QString& text) {
  for (const QChar ch : text) {
    if (ch.unicode() < 0x80) {
      QTest::keyClick(widget, ch.toLatin1());
    } else {
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
  }
}

// The index at a path of rows from the top of a tree view.
inline QModelIndex At(const QTreeView* tree, std::initializer_list<int> rows) {
  QModelIndex index;
  for (int row : rows) index = tree->model()->index(row, 0, index);
  return index;
}

inline int Rows(const QTreeView* tree, const QModelIndex& parent = QModelIndex()) {
  return tree->model()->rowCount(parent);
}

// Clicks an item of the tree as the user does.
inline void ClickItem(QTreeView* tree, const QModelIndex& item) {
  tree->scrollTo(item);
  const QRect rect = tree->visualRect(item);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

// Runs `action` on the next modal dialog once it is shown.
inline void OnNextModal(std::function<void(QWidget*)> action, int triesLeft = 50) {
  QTimer::singleShot(10, [action, triesLeft] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      action(modal);
    } else if (triesLeft > 0) {
      OnNextModal(action, triesLeft - 1);
    }
  });
}

}  // namespace orvenda::test
