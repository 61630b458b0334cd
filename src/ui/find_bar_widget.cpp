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
#include "form_binding.h"
#include "named_widgets.h"
#include "qt_text.h"
#include "record_page_widget.h"

namespace orvenda {
namespace {

// The bar's captions, numbered messages.
constexpr int kFindNextCaption = 335;    // "Další"
constexpr int kFindPrevCaption = 336;    // "Předchozí"
constexpr int kWholeWordsCaption = 337;  // "Jen celá slova"
constexpr int kDiacriticsCaption = 338;  // "Rozlišovat diakritiku"
constexpr int kFindActionCaption = 129;  // "Najít"

}  // namespace

FindBarWidget::FindBarWidget(MainForm& form, QWidget* window, std::function<void()> afterHandler)
    : QWidget(window),
      owned_(std::make_unique<FindBar>(form)),
      form_(owned_.get()),
      show_(std::make_unique<ShowFilter>(form)),
      after_(std::move(afterHandler)) {
  Build(window, true);

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
  layout()->addWidget(showPanel);

  // A filter on says so in the status bar, as long as it is on.
  filter_status_ = new QLabel(this);
  filter_status_->setVisible(false);
  if (auto* main = qobject_cast<QMainWindow*>(window))
    main->statusBar()->addPermanentWidget(filter_status_);
  form.AfterBuildTree = [this] { show_->Apply(); };
  TreeWidget = [this] { return this->window()->findChild<QWidget*>("TreeNT1"); };
}

FindBarWidget::FindBarWidget(FindBar& bar, QWidget* window, std::function<void()> afterHandler)
    : QWidget(window), form_(&bar), after_(std::move(afterHandler)) {
  Build(window, false);
  binding_ = std::make_unique<FormBinding>(this);
  Bind(*binding_);
  binding_->Push();
}

void FindBarWidget::Build(QWidget* window, bool nextKey) {
  setObjectName("FindArea");

  // The find bar, shown by Ctrl+F.
  panel_ = new QWidget(this);
  panel_->setObjectName("FindPanel");
  edit_ = new QLineEdit(panel_);
  edit_->setObjectName("FindEdit");
  edit_->setClearButtonEnabled(true);
  auto* next = new QToolButton(panel_);
  next->setObjectName("FindNextButton");
  next->setText(MessageText(kFindNextCaption));
  auto* previous = new QToolButton(panel_);
  previous->setObjectName("FindPrevButton");
  previous->setText(MessageText(kFindPrevCaption));
  auto* words = new QCheckBox(MessageText(kWholeWordsCaption), panel_);
  words->setObjectName("WholeWordsCheckBox");
  auto* diacritics = new QCheckBox(MessageText(kDiacriticsCaption), panel_);
  diacritics->setObjectName("DiacriticsCheckBox");
  count_ = new QLabel(panel_);
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
  auto* findLayout = new QVBoxLayout(panel_);
  findLayout->setContentsMargins(0, 0, 0, 0);
  findLayout->setSpacing(2);
  findLayout->addLayout(top);
  findLayout->addLayout(bottom);
  panel_->setVisible(false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(panel_);

  // Ctrl+F works anywhere in the window; F3 and Shift+F3 only while the bar is shown.
  find_action_ = new QAction(MessageText(kFindActionCaption), window);
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
  if (nextKey) {
    auto* nextAction = new QAction(panel_);
    nextAction->setShortcuts(QKeySequence::FindNext);
    nextAction->setShortcutContext(Qt::WindowShortcut);
    panel_->addAction(nextAction);
    connect(nextAction, &QAction::triggered, this, [this] { Run(&FindBar::FindNextClick); });
  }
  auto* previousKey = new QAction(panel_);
  previousKey->setShortcuts(QKeySequence::FindPrevious);
  previousKey->setShortcutContext(Qt::WindowShortcut);
  panel_->addAction(previousKey);
  connect(previousKey, &QAction::triggered, this, [this] { Run(&FindBar::FindPrevClick); });
  connect(edit_, &QLineEdit::returnPressed, this, [this] { Run(&FindBar::FindNextClick); });

  count_timer_.setSingleShot(true);
  count_timer_.setInterval(0);
  connect(&count_timer_, &QTimer::timeout, this, [this] { Run(&FindBar::CountMatches); });
  form_->CountLater = [this] { count_timer_.start(); };
  prepare_timer_.setSingleShot(true);
  prepare_timer_.setInterval(0);
  connect(&prepare_timer_, &QTimer::timeout, this,
          [this] { RunCommand([this] { form_->Prepare(); }); });
  form_->PrepareLater = [this] { prepare_timer_.start(); };

  // Esc in the bar is the bar's, not the window's (which cancels an open edit).
  for (QWidget* child : panel_->findChildren<QWidget*>()) child->installEventFilter(this);
}

FindBarWidget::~FindBarWidget() {
  form_->CountLater = nullptr;
  form_->PrepareLater = nullptr;
}

void FindBarWidget::Bind(FormBinding& binding) {
  using Kind = FormBinding::Kind;
  const auto after = [this] { Done(); };
  binding.BindAll(form_->Controls(),
                  [this, after](std::string_view name, Kind, Control&) -> FormBinding::Handlers {
                    void (FindBar::*command)() = nullptr;
                    if (name == "FindEdit") command = &FindBar::FindEditChange;
                    if (name == "FindNextButton") command = &FindBar::FindNextClick;
                    if (name == "FindPrevButton") command = &FindBar::FindPrevClick;
                    if (name == "WholeWordsCheckBox" || name == "DiacriticsCheckBox")
                      command = &FindBar::OptionChange;
                    if (command == nullptr) return {};
                    return {[this, command] { (form_->*command)(); }, {}, after};
                  });
  if (!show_) return;
  binding.BindAll(show_->Controls(),
                  [this](std::string_view, Kind, Control&) -> FormBinding::Handlers {
                    return {[this] { show_->ShowComboBoxChange(); },
                            {},
                            [this] {
                              if (after_) after_();
                            }};
                  });
}

void FindBarWidget::Refresh() {
  if (binding_) binding_->Push();
  count_->setText(FromCp1250(form_->FindCountLabel.text));
  if (show_) {
    filter_status_->setText(FromCp1250(show_->StatusText));
    filter_status_->setVisible(!show_->StatusText.empty());
  }
}

bool FindBarWidget::NextKey() {
  if (!form_->FindPanel.visible) return false;
  Run(&FindBar::FindNextClick);
  return true;
}

void FindBarWidget::Run(void (FindBar::*command)()) {
  RunCommand([this, command] { (form_->*command)(); });
  Done();
}

void FindBarWidget::Done() {
  if (after_) after_();
  Refresh();
  ShowHit();
}

void FindBarWidget::ShowHit() {
  const std::optional<FindHit> hit = form_->TakeHit();
  if (!hit) return;
  // The page the window shows now holds the found record.
  for (RecordPageWidget* page : window()->findChildren<RecordPageWidget*>()) {
    if (page->isVisible()) page->Highlight(hit->field, hit->start, hit->length);
  }
}

bool FindBarWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
      event->accept();
      if (event->type() == QEvent::KeyPress) {
        Run(&FindBar::CloseClick);
        if (QWidget* tree = TreeWidget ? TreeWidget() : nullptr) tree->setFocus();
      }
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace orvenda
