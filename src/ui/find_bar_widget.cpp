#include "find_bar_widget.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "command_guard.h"
#include "named_widgets.h"
#include "qt_text.h"

namespace orvenda {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

FindBarWidget::FindBarWidget(MainForm& form, QWidget* window, std::function<void()> afterHandler)
    : QWidget(window), form_(std::make_unique<FindBar>(form)), after_(std::move(afterHandler)) {
  setObjectName("FindPanel");
  edit_ = new QLineEdit(this);
  edit_->setObjectName("FindEdit");
  edit_->setClearButtonEnabled(true);
  auto* next = new QToolButton(this);
  next->setObjectName("FindNextButton");
  next->setText(U("Další"));
  auto* previous = new QToolButton(this);
  previous->setObjectName("FindPrevButton");
  previous->setText(U("Předchozí"));
  auto* words = new QCheckBox(U("Jen celá slova"), this);
  words->setObjectName("WholeWordsCheckBox");
  auto* diacritics = new QCheckBox(U("Rozlišovat diakritiku"), this);
  diacritics->setObjectName("DiacriticsCheckBox");
  count_ = new QLabel(this);

  auto* top = new QHBoxLayout;
  top->setSpacing(2);
  top->addWidget(edit_, 1);
  top->addWidget(previous);
  top->addWidget(next);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(words);
  bottom->addWidget(diacritics);
  bottom->addStretch();
  bottom->addWidget(count_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addLayout(top);
  layout->addLayout(bottom);
  setVisible(false);

  // Ctrl+F works anywhere in the window; F3 and Shift+F3 only while the bar is shown.
  find_action_ = new QAction(U("Najít"), window);
  find_action_->setObjectName("FindAction");
  find_action_->setShortcuts(QKeySequence::Find);
  find_action_->setShortcutContext(Qt::WindowShortcut);
  window->addAction(find_action_);
  connect(find_action_, &QAction::triggered, this, [this] {
    Run(&FindBar::FindActionClick);
    if (form_->FindPanel.visible) {
      edit_->setFocus(Qt::ShortcutFocusReason);
      edit_->selectAll();
    }
  });
  auto* nextKey = new QAction(this);
  nextKey->setShortcuts(QKeySequence::FindNext);
  nextKey->setShortcutContext(Qt::WindowShortcut);
  addAction(nextKey);
  connect(nextKey, &QAction::triggered, this, [this] { Run(&FindBar::FindNextClick); });
  auto* previousKey = new QAction(this);
  previousKey->setShortcuts(QKeySequence::FindPrevious);
  previousKey->setShortcutContext(Qt::WindowShortcut);
  addAction(previousKey);
  connect(previousKey, &QAction::triggered, this, [this] { Run(&FindBar::FindPrevClick); });
  connect(edit_, &QLineEdit::returnPressed, this, [this] { Run(&FindBar::FindNextClick); });

  // Esc in the bar is the bar's, not the window's (which cancels an open edit).
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

FindBarWidget::~FindBarWidget() = default;

void FindBarWidget::Bind(FormBinding& binding) {
  using Kind = FormBinding::Kind;
  binding.BindAll(form_->Controls(),
                  [this](std::string_view name, Kind, Control&) -> FormBinding::Handlers {
                    void (FindBar::*command)() = nullptr;
                    if (name == "FindEdit") command = &FindBar::FindEditChange;
                    if (name == "FindNextButton") command = &FindBar::FindNextClick;
                    if (name == "FindPrevButton") command = &FindBar::FindPrevClick;
                    if (name == "WholeWordsCheckBox" || name == "DiacriticsCheckBox")
                      command = &FindBar::OptionChange;
                    if (command == nullptr) return {};
                    return {[this, command] { (form_.get()->*command)(); },
                            {},
                            [this] {
                              if (after_) after_();
                            }};
                  });
}

void FindBarWidget::Refresh() { count_->setText(FromCp1250(form_->FindCountLabel.text)); }

void FindBarWidget::Run(void (FindBar::*command)()) {
  RunCommand([this, command] { (form_.get()->*command)(); });
  if (after_) after_();
}

bool FindBarWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
      event->accept();
      if (event->type() == QEvent::KeyPress) {
        Run(&FindBar::CloseClick);
        if (auto* tree = window()->findChild<QWidget*>("TreeNT1")) tree->setFocus();
      }
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace orvenda
