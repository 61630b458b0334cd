#pragma once

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/find_bar.h"
#include "form_binding.h"

namespace orvenda {

// The find bar under the main window's tree, bound to a FindBar. Ctrl+F is its action
// "FindAction" on the window; Esc in the bar closes it; Enter and F3 find the next match,
// Shift+F3 the previous one. `afterHandler` pushes the window's state after each command.
class FindBarWidget : public QWidget {
  Q_OBJECT
 public:
  FindBarWidget(MainForm& form, QWidget* window, std::function<void()> afterHandler);
  ~FindBarWidget() override;

  FindBar& Form() { return *form_; }
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
  std::function<void()> after_;
  QLineEdit* edit_;
  QLabel* count_;
  QAction* find_action_;
};

}  // namespace orvenda
