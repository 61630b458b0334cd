#pragma once

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/main_form.h"
#include "app/setup_form.h"
#include "form_binding.h"
#include "progress_form_window.h"
#include "qt_dialogs.h"
#include "qt_progress.h"
#include "qt_tree_control.h"

namespace orvenda {

class AboutFormWindow;
class FindBarWidget;
class HelpWindow;
class NahledForm;
class NahledFormWindow;
class SetupFormWindow;
class SelectTreeFormWindow;
class VzhledRepForm;
class VzhledRepFormWindow;

// The main window: the project tree and its pages, bound both ways to the core's MainForm.
// Every widget carries its component name as objectName. A widget edit writes the form's
// state and calls the handler; after every handler the form's state is pushed back into the
// widgets with their signals blocked.
class MainFormWindow : public QMainWindow {
  Q_OBJECT
 public:
  // `dialogs` answers the form's questions and file dialogs; nullptr for real message boxes
  // and file dialogs (tests pass scripted answers).
  MainFormWindow(MainFormDirs dirs, SettingsStore& settings, Dialogs* dialogs = nullptr,
                 QWidget* parent = nullptr);
  ~MainFormWindow() override;

  MainForm& Form() { return *form_; }
  QtTreeControl& Tree() { return *tree_; }
  QtProgress& ProgressSeam() { return *progress_; }
  ProgressFormWindow* ProgressWindow() const { return progress_window_; }
  QLabel* StatusPanel(int index) const { return status_panels_[index]; }
  FindBarWidget* FindBarWin() const { return find_bar_; }
  std::filesystem::path LanguageFile() const;

  // Makes the windows that live as long as this one, in the program's order: AboutForm,
  // ProgressForm (made with this window, since the form needs it from the start), SetupForm.
  void CreateOtherWindows();
  AboutFormWindow* AboutForm() const { return about_; }
  SetupFormWindow* SetupFormWin() const { return setup_; }
  HelpWindow* Help() const { return help_; }
  SelectTreeFormWindow* SelectTreeFormWin() const { return select_; }
  NahledFormWindow* NahledFormWin() const { return nahled_; }
  VzhledRepFormWindow* VzhledRepFormWin() const { return vzhled_; }

  // Pushes the form's state into the widgets (signals blocked).
  void PushState();

  // Commands of this window (the others are the form's).
  void CreateLang1Click();
  void Obsahnpovdy1Click();
  void Oprogramu1Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A text of a file dialog, kept on an object that stands for the dialog.
  struct DialogText {
    const char* object;
    const char* property;
    std::string* value;
  };

  void BuildMenus();
  void BuildCentre();
  void BuildStatusBar();
  QAction* AddAction(QMenu* menu, const char* name, const QString& caption,
                     std::function<void()> handler);
  QAction* AddSeparator(QMenu* menu, const char* name);
  void BindControls();
  void ApplyMnemonics();
  // Size, place, maximised state and the splitter, per set of screens; about two thirds of the
  // screen, centred, the first time.
  void RestoreWindowPlace();
  void SaveWindowPlace();
  std::vector<DialogText> DialogTexts();
  void MakeDialogStandIns();
  // Takes the captions and hints of buttons, menus and menu items from the widgets, where the
  // language file may have changed them.
  void PullCaptions();
  void RebuildRecentMenu();
  void ShowTreeMenu(const QPoint& pos);

  std::unique_ptr<QtDialogs> own_dialogs_;
  Dialogs* dialogs_;
  ProgressFormWindow* progress_window_;
  std::unique_ptr<QtProgress> progress_;
  OrvendaTreeWidget* tree_widget_;
  std::unique_ptr<QtTreeControl> tree_;
  std::unique_ptr<MainForm> form_;
  FormBinding binding_{this};
  std::unique_ptr<orvenda::SetupForm> setup_form_;
  QPlainTextEdit* memo1_ = nullptr;
  int memo1_loads_ = 0;
  bool closed_ = false;

  QMenu* soubor_menu_ = nullptr;
  QMenu* popup_menu_ = nullptr;
  QAction* recent_separator_ = nullptr;
  std::vector<QAction*> recent_actions_;
  QStackedWidget* pages_ = nullptr;
  QWidget* page_widgets_[4] = {};
  QLabel* admin_label_ = nullptr;
  QLabel* status_panels_[2] = {};
  QPushButton* store_button_ = nullptr;
  QPushButton* cancel_button_ = nullptr;
  FindBarWidget* find_bar_ = nullptr;

  AboutFormWindow* about_ = nullptr;
  SetupFormWindow* setup_ = nullptr;
  HelpWindow* help_ = nullptr;
  SelectTreeFormWindow* select_ = nullptr;
  bool pushing_ = false;

  // The report preview and its layout dialog, made once and reused.
  std::unique_ptr<NahledForm> nahled_form_;
  std::unique_ptr<VzhledRepForm> vzhled_form_;
  NahledFormWindow* nahled_ = nullptr;
  VzhledRepFormWindow* vzhled_ = nullptr;
};

}  // namespace orvenda
