#pragma once

#include <QDialog>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/select_tree_form.h"
#include "form_binding.h"
#include "qt_tree_control.h"

class QCheckBox;
namespace orvenda {
class FindBarWidget;
}
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace orvenda {

// The find dialog of the library window ("Najít"), modeless, with the texts of the system's
// own find dialog.
class LibraryFindDialog : public QDialog {
  Q_OBJECT
 public:
  explicit LibraryFindDialog(QWidget* parent);

  QLineEdit* FindEdit() const { return find_edit_; }
  QCheckBox* WholeWord() const { return whole_word_; }
  QCheckBox* MatchCase() const { return match_case_; }
  QRadioButton* Up() const { return up_; }
  QRadioButton* Down() const { return down_; }
  QPushButton* FindNext() const { return find_next_; }
  QPushButton* Cancel() const { return cancel_; }

 private:
  QLineEdit* find_edit_;
  QCheckBox* whole_word_;
  QCheckBox* match_case_;
  QRadioButton* up_;
  QRadioButton* down_;
  QPushButton* find_next_;
  QPushButton* cancel_;
};

// The library window ("Knihovna rizik") bound both ways to the core's SelectTreeForm. Every
// widget carries its component name as objectName.
class SelectTreeFormWindow : public QDialog {
  Q_OBJECT
 public:
  SelectTreeFormWindow(MainForm& main, const std::filesystem::path& languageFile,
                       QWidget* parent = nullptr);
  ~SelectTreeFormWindow() override;

  SelectTreeForm& Form() { return *form_; }
  QtTreeControl& BuildInTree() { return *build_in_tree_; }
  QtTreeControl& UserTree() { return *user_tree_; }
  LibraryFindDialog* FindDialog() const { return find_dialog_; }
  FindBarWidget* FindBar() const { return find_bar_; }
  QMenu* PopupMenu() const { return popup_menu_; }

  void PushState();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void BuildLeft(QWidget* parent);
  QWidget* BuildRight(QWidget* parent);
  QWidget* BuildBottom(QWidget* parent);
  void BuildMenu();
  void AddShortcuts();
  void BindControls();
  void ShowMenu(QtTreeControl& tree, const QPoint& pos);
  void Run(const std::function<void()>& handler);

  std::unique_ptr<QtTreeControl> build_in_tree_;
  std::unique_ptr<QtTreeControl> user_tree_;
  std::unique_ptr<SelectTreeForm> form_;
  FormBinding binding_{this};
  QTabWidget* page_control1_ = nullptr;
  QStackedWidget* page_control2_ = nullptr;
  QWidget* pages_[3] = {};
  QVBoxLayout* panel_slots_[3] = {};
  QWidget* edit_button_panel_ = nullptr;
  QMenu* popup_menu_ = nullptr;
  LibraryFindDialog* find_dialog_ = nullptr;
  FindBarWidget* find_bar_ = nullptr;
  bool pushing_ = false;
};

}  // namespace orvenda
