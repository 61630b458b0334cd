#pragma once

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/find_bar.h"
#include "app/show_filter.h"
#include "form_binding.h"

namespace orvenda {

// A find bar under a tree, bound to a FindBar. Ctrl+F is the action "FindAction" on the window
// and opens the bar; Esc in the bar closes it; Enter and F3 find the next match, Shift+F3 the
// previous one. The field of the record page that holds a found match shows it selected.
// `afterHandler` pushes the window's state after each command.
//
// Under the main window's tree the bar has the "Zobrazit" choice below it, bound to a
// ShowFilter; a filter on shows in the window's status bar.
class FindBarWidget : public QWidget {
  Q_OBJECT
 public:
  FindBarWidget(MainForm& form, QWidget* window, std::function<void()> afterHandler);
  // A bar of another window's FindBar, without the choice, bound through a binding of its own.
  // F3 is left to the window (NextKey), which may have a use for it while the bar is closed.
  FindBarWidget(FindBar& bar, QWidget* window, std::function<void()> afterHandler);
  ~FindBarWidget() override;

  FindBar& Form() { return *form_; }
  ShowFilter& Filter() { return *show_; }
  QAction* FindAction() const { return find_action_; }
  // Binds the bar's controls through the window's binding.
  void Bind(FormBinding& binding);
  // Brings the parts no binding of the window carries (the count) up to date.
  void Refresh();
  // F3 for a window that keeps the key: the next match while the bar is open.
  bool NextKey();
  // Where the tree's focus goes when Esc closes the bar.
  std::function<QWidget*()> TreeWidget;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Build(QWidget* window, bool nextKey);
  void Run(void (FindBar::*command)());
  // After each command: the window's state, then the match in the page.
  void Done();
  void ShowHit();

  std::unique_ptr<FindBar> owned_;
  FindBar* form_;
  std::unique_ptr<ShowFilter> show_;
  std::unique_ptr<FormBinding> binding_;  // the bar's own, when not the window's
  std::function<void()> after_;
  QWidget* panel_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QLabel* count_ = nullptr;
  QLabel* filter_status_ = nullptr;
  QAction* find_action_ = nullptr;
  // The count of a search follows once the found item is shown; typing on restarts it.
  QTimer count_timer_;
  // The texts are taken once the opened bar shows, before the first key.
  QTimer prepare_timer_;
};

}  // namespace orvenda
