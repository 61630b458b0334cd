#include "find_bar_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMainWindow>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/main_form.h"
#include "command_guard.h"
#include "named_widgets.h"
#include "qt_text.h"

namespace orvenda {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

FindBarWidget::FindBarWidget(MainForm& form, QWidget* window, std::function<void()> afterHandler)
    : QWidget(window),
      form_(std::make_unique<FindBar>(form)),
      show_(std::make_unique<ShowFilter>(form)),
      after_(std::move(afterHandler)) {
  setObjectName("FindArea");

  // The find bar, shown by Ctrl+F.
  auto* findPanel = new QWidget(this);
  findPanel->setObjectName("FindPanel");
  edit_ = new QLineEdit(findPanel);
  edit_->setObjectName("FindEdit");
  edit_->setClearButtonEnabled(true);
  auto* next = new QToolButton(findPanel);
  next->setObjectName("FindNextButton");
  next->setText(U("Další"));
  auto* previous = new QToolButton(findPanel);
  previous->setObjectName("FindPrevButton");
  previous->setText(U("Předchozí"));
  auto* words = new QCheckBox(U("Jen celá slova"), findPanel);
  words->setObjectName("WholeWordsCheckBox");
  auto* diacritics = new QCheckBox(U("Rozlišovat diakritiku"), findPanel);
  diacritics->setObjectName("DiacriticsCheckBox");
  count_ = new QLabel(findPanel);
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
  auto* findLayout = new QVBoxLayout(findPanel);
  findLayout->setContentsMargins(0, 0, 0, 0);
  findLayout->setSpacing(2);
  findLayout->addLayout(top);
  findLayout->addLayout(bottom);
  findPanel->setVisible(false);

  // "Zobrazit", always there.
  auto* showPanel = new QWidget(this);
  showPanel->setObjectName("ShowPanel");
  auto* choice = new QComboBox(showPanel);
  choice->setObjectName("ShowComboBox");
  for (const std::string& entry : ShowFilter::Choices(form.MessagesBox))
    choice->addItem(FromCp1250(entry));
  auto* showLayout = new QHBoxLayout(showPanel);
  showLayout->setContentsMargins(0, 0, 0, 0);
  showLayout->addWidget(MakeLabel(showPanel, "ShowLabel", "Zobrazit:"));
  showLayout->addWidget(choice, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(findPanel);
  layout->addWidget(showPanel);

  // A filter on says so in the status bar, as long as it is on.
  filter_status_ = new QLabel(this);
  filter_status_->setVisible(false);
  if (auto* main = qobject_cast<QMainWindow*>(window))
    main->statusBar()->addPermanentWidget(filter_status_);
  form.AfterBuildTree = [this] { show_->Apply(); };

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
  auto* nextKey = new QAction(findPanel);
  nextKey->setShortcuts(QKeySequence::FindNext);
  nextKey->setShortcutContext(Qt::WindowShortcut);
  findPanel->addAction(nextKey);
  connect(nextKey, &QAction::triggered, this, [this] { Run(&FindBar::FindNextClick); });
  auto* previousKey = new QAction(findPanel);
  previousKey->setShortcuts(QKeySequence::FindPrevious);
  previousKey->setShortcutContext(Qt::WindowShortcut);
  findPanel->addAction(previousKey);
  connect(previousKey, &QAction::triggered, this, [this] { Run(&FindBar::FindPrevClick); });
  connect(edit_, &QLineEdit::returnPressed, this, [this] { Run(&FindBar::FindNextClick); });

  count_timer_.setSingleShot(true);
  count_timer_.setInterval(0);
  connect(&count_timer_, &QTimer::timeout, this, [this] { Run(&FindBar::CountMatches); });
  form_->CountLater = [this] { count_timer_.start(); };

  // Esc in the bar is the bar's, not the window's (which cancels an open edit).
  for (QWidget* child : findPanel->findChildren<QWidget*>()) child->installEventFilter(this);
}

FindBarWidget::~FindBarWidget() = default;

void FindBarWidget::Bind(FormBinding& binding) {
  using Kind = FormBinding::Kind;
  const auto after = [this] {
    if (after_) after_();
  };
  binding.BindAll(form_->Controls(),
                  [this, after](std::string_view name, Kind, Control&) -> FormBinding::Handlers {
                    void (FindBar::*command)() = nullptr;
                    if (name == "FindEdit") command = &FindBar::FindEditChange;
                    if (name == "FindNextButton") command = &FindBar::FindNextClick;
                    if (name == "FindPrevButton") command = &FindBar::FindPrevClick;
                    if (name == "WholeWordsCheckBox" || name == "DiacriticsCheckBox")
                      command = &FindBar::OptionChange;
                    if (command == nullptr) return {};
                    return {[this, command] { (form_.get()->*command)(); }, {}, after};
                  });
  binding.BindAll(show_->Controls(),
                  [this, after](std::string_view, Kind, Control&) -> FormBinding::Handlers {
                    return {[this] { show_->ShowComboBoxChange(); }, {}, after};
                  });
}

void FindBarWidget::Refresh() {
  count_->setText(FromCp1250(form_->FindCountLabel.text));
  filter_status_->setText(FromCp1250(show_->StatusText));
  filter_status_->setVisible(!show_->StatusText.empty());
}

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
