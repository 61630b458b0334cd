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

// The find bar under the main window's tree, bound to a FindBar, and the "Zobrazit" choice
// below it, bound to a ShowFilter. Ctrl+F is the action "FindAction" on the window and opens
// the bar; Esc in the bar closes it; Enter and F3 find the next match, Shift+F3 the previous
// one. A filter on shows in the window's status bar. `afterHandler` pushes the window's state
// after each command.
class FindBarWidget : public QWidget {
  Q_OBJECT
 public:
  FindBarWidget(MainForm& form, QWidget* window, std::function<void()> afterHandler);
  ~FindBarWidget() override;

  FindBar& Form() { return *form_; }
  ShowFilter& Filter() { return *show_; }
  QAction* FindAction() const { return find_action_; }
  // Binds the bar's controls through the window's binding.
  void Bind(FormBinding& binding);
  // Brings the parts no binding carries (the count) up to date.
  void Refresh();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Run(void (FindBar::*command)());

  std::unique_ptr<FindBar> form_;
  std::unique_ptr<ShowFilter> show_;
  std::function<void()> after_;
  QLineEdit* edit_;
  QLabel* count_;
  QLabel* filter_status_;
  QAction* find_action_;
  // The count of a search follows once the found item is shown; typing on restarts it.
  QTimer count_timer_;
};

}  // namespace orvenda
