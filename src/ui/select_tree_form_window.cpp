#include "select_tree_form_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "command_guard.h"
#include "find_bar_widget.h"
#include "named_widgets.h"
#include "qt_text.h"
#include "qt_translation.h"
#include "record_page_widget.h"
#include "tree_images.h"

namespace orvenda {
namespace {

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback, const QStyle* style) {
  return QIcon::fromTheme(QString::fromLatin1(name), style->standardIcon(fallback));
}

}  // namespace

// --- Find dialog ------------------------------------------------------------------------------

LibraryFindDialog::LibraryFindDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("FindDialog1");
  setWindowTitle(MessageText(129));
  setModal(false);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* label = new QLabel(MessageText(274), this);
  find_edit_ = new QLineEdit(this);
  find_edit_->setObjectName("FindEdit");
  label->setBuddy(find_edit_);
  whole_word_ = new QCheckBox(MessageText(275), this);
  whole_word_->setObjectName("WholeWordCheckBox");
  match_case_ = new QCheckBox(MessageText(276), this);
  match_case_->setObjectName("MatchCaseCheckBox");
  auto* direction = new QGroupBox(MessageText(277), this);
  direction->setObjectName("DirectionGroupBox");
  up_ = new QRadioButton(MessageText(278), direction);
  up_->setObjectName("UpRadioButton");
  down_ = new QRadioButton(MessageText(279), direction);
  down_->setObjectName("DownRadioButton");
  down_->setChecked(true);
  auto* directionLayout = new QHBoxLayout(direction);
  directionLayout->addWidget(up_);
  directionLayout->addWidget(down_);
  find_next_ = new QPushButton(MessageText(280), this);
  find_next_->setObjectName("FindNextButton");
  find_next_->setDefault(true);
  find_next_->setEnabled(false);
  cancel_ = new QPushButton(MessageText(273), this);
  cancel_->setObjectName("FindCancelButton");
  connect(find_edit_, &QLineEdit::textChanged, this,
          [this](const QString& text) { find_next_->setEnabled(!text.isEmpty()); });

  auto* grid = new QGridLayout(this);
  grid->addWidget(label, 0, 0);
  grid->addWidget(find_edit_, 0, 1, 1, 2);
  grid->addWidget(find_next_, 0, 3);
  grid->addWidget(whole_word_, 1, 0, 1, 2);
  grid->addWidget(direction, 1, 2, 2, 1);
  grid->addWidget(cancel_, 1, 3);
  grid->addWidget(match_case_, 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  setSizeGripEnabled(false);
}

// --- The window ---------------------------------------------------------------------------------

SelectTreeFormWindow::SelectTreeFormWindow(MainForm& main,
                                           const std::filesystem::path& languageFile,
                                           QWidget* parent)
    : QDialog(parent) {
  setObjectName("SelectTreeForm");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setModal(true);

  auto* buildInWidget = new OrvendaTreeWidget;
  buildInWidget->setObjectName("BuildInTreeNT");
  auto* userWidget = new OrvendaTreeWidget;
  userWidget->setObjectName("UserTreeNT");
  build_in_tree_ = std::make_unique<QtTreeControl>(buildInWidget);
  user_tree_ = std::make_unique<QtTreeControl>(userWidget);
  form_ = std::make_unique<SelectTreeForm>(main, *build_in_tree_, *user_tree_);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->setObjectName("Splitter1");
  splitter->setChildrenCollapsible(false);
  // The trees' pages with the find bar under them.
  auto* left = new QWidget(splitter);
  left->setObjectName("LeftPanel");
  BuildLeft(left);
  find_bar_ = new FindBarWidget(form_->Bar(), this, [this] { PushState(); });
  find_bar_->TreeWidget = [this] {
    return (form_->ActiveLibrary == kUserLibrary ? user_tree_ : build_in_tree_)->Widget();
  };
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(page_control1_, 1);
  leftLayout->addWidget(find_bar_);
  QWidget* right = BuildRight(splitter);
  splitter->addWidget(left);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 3);
  splitter->setSizes({340, 560});
  QWidget* bottom = BuildBottom(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(splitter, 1);
  layout->addWidget(bottom);
  BuildMenu();
  find_dialog_ = new LibraryFindDialog(this);
  AddShortcuts();

  for (OrvendaTreeWidget* widget : {buildInWidget, userWidget}) {
    QtTreeControl* tree = widget == buildInWidget ? build_in_tree_.get() : user_tree_.get();
    connect(widget, &QWidget::customContextMenuRequested, this,
            [this, tree](const QPoint& pos) { ShowMenu(*tree, pos); });
    widget->OnDragOver = [this](TreeControl::Item target) {
      return form_->BuildInTreeNTDragOver(target);
    };
    widget->OnDragDrop = [this](TreeControl::Item target) { form_->BuildInTreeNTDragDrop(target); };
  }

  // The find dialog writes its fields into the form before each search.
  connect(find_dialog_->FindNext(), &QPushButton::clicked, this, [this] {
    auto& state = form_->FindDialog1;
    state.FindText = ToCp1250(find_dialog_->FindEdit()->text());
    state.WholeWord = find_dialog_->WholeWord()->isChecked();
    state.MatchCase = find_dialog_->MatchCase()->isChecked();
    state.Down = find_dialog_->Down()->isChecked();
    Run([this] { form_->FindDialog1Find(); });
  });
  connect(find_dialog_->Cancel(), &QPushButton::clicked, find_dialog_, &QDialog::reject);
  connect(find_dialog_, &QDialog::finished, this, [this] {
    if (!pushing_) Run([this] { form_->FindDialog1Close(); });
  });

  BindControls();
  PushState();
  binding_.Translate(languageFile);
  PushState();

  form_->ShowModal = [this] { exec(); };
  form_->OnStateChanged = [this] { PushState(); };
  main.selectTreeForm = form_.get();
  resize(900, 600);
}

SelectTreeFormWindow::~SelectTreeFormWindow() {
  if (form_->main.selectTreeForm == form_.get()) form_->main.selectTreeForm = nullptr;
  form_->ShowModal = nullptr;
  form_->OnStateChanged = nullptr;
  for (QtTreeControl* tree : {build_in_tree_.get(), user_tree_.get()}) {
    tree->Widget()->OnDragOver = nullptr;
    tree->Widget()->OnDragDrop = nullptr;
  }
  // The bar's widget works on the form's FindBar: it goes first.
  delete find_bar_;
  find_bar_ = nullptr;
  form_.reset();
}

void SelectTreeFormWindow::Run(const std::function<void()>& handler) { RunCommand(handler); }

void SelectTreeFormWindow::BuildLeft(QWidget* parent) {
  page_control1_ = new QTabWidget(parent);
  page_control1_->setObjectName("PageControl1");
  const char* names[2] = {"BuildInTabSheet", "UserTabSheet"};
  QtTreeControl* trees[2] = {build_in_tree_.get(), user_tree_.get()};
  for (int i = 0; i < 2; ++i) {
    auto* page = new QWidget(page_control1_);
    page->setObjectName(names[i]);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(2, 2, 2, 2);
    trees[i]->Widget()->setParent(page);
    pageLayout->addWidget(trees[i]->Widget());
    page_control1_->addTab(page, QString());
  }
}

QWidget* SelectTreeFormWindow::BuildRight(QWidget* parent) {
  page_control2_ = new QStackedWidget(parent);
  page_control2_->setObjectName("PageControl2");

  auto* none = new QWidget(page_control2_);
  none->setObjectName("NoneTabSheet");
  auto* title1 = MakeLabel(none, "TitleLabel1", "Knihovna");
  auto* title2 = MakeLabel(none, "TitleLabel2", "Rizik");
  for (QLabel* title : {title1, title2}) StyleAsHeading(title);
  auto* noneLayout = new QVBoxLayout(none);
  noneLayout->addStretch(2);
  noneLayout->addWidget(title1);
  noneLayout->addWidget(title2);
  noneLayout->addStretch(3);

  auto* uzel = new RecordPageWidget(RecordPageWidget::Record::Node, {.name = "UzelTabSheet"},
                                    page_control2_);
  auto* riziko = new RecordPageWidget(RecordPageWidget::Record::Risk,
                                      {.name = "RizikoTabSheet", .firstLabel = 3}, page_control2_);

  pages_[static_cast<int>(LibraryPage::NoneTabSheet)] = none;
  pages_[static_cast<int>(LibraryPage::UzelTabSheet)] = uzel;
  pages_[static_cast<int>(LibraryPage::RizikoTabSheet)] = riziko;
  for (QWidget* page : pages_) page_control2_->addWidget(page);
  // The button panel moves to whichever record page is shown.
  panel_slots_[1] = new QVBoxLayout;
  uzel->AddBelow(panel_slots_[1]);
  panel_slots_[2] = new QVBoxLayout;
  riziko->AddBelow(panel_slots_[2]);

  edit_button_panel_ = new QWidget(uzel);
  edit_button_panel_->setObjectName("EditButtonPanel");
  auto* store = MakeButton(edit_button_panel_, "StoreBitBtn", QStyle::SP_DialogApplyButton);
  auto* cancel = MakeButton(edit_button_panel_, "CancelBitBtn", QStyle::SP_DialogCancelButton);
  auto* importFile = new QPushButton(edit_button_panel_);
  importFile->setObjectName("ImportFileButton");
  auto* panelLayout = new QHBoxLayout(edit_button_panel_);
  panelLayout->setContentsMargins(0, 4, 0, 0);
  panelLayout->addWidget(importFile);
  panelLayout->addStretch();
  panelLayout->addWidget(store);
  panelLayout->addWidget(cancel);
  panel_slots_[1]->addWidget(edit_button_panel_);
  return page_control2_;
}

QWidget* SelectTreeFormWindow::BuildBottom(QWidget* parent) {
  auto* bottom = new QWidget(parent);
  bottom->setObjectName("BottomPanel");
  auto* layout = new QHBoxLayout(bottom);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->setSpacing(2);
  for (const auto& [name, icon] :
       {std::pair{"FindSpeedButton",
                  ThemeIcon("edit-find", QStyle::SP_FileDialogContentsView, style())},
        std::pair{"SortSpeedButton",
                  ThemeIcon("view-sort-ascending", QStyle::SP_ArrowDown, style())},
        std::pair{"AddNodeSpeedButton", ButtonIcon(ButtonImage::AddNode)},
        std::pair{"AddRiskSpeedButton", ButtonIcon(ButtonImage::AddRisk)},
        std::pair{"DeleteSpeedButton", ButtonIcon(ButtonImage::Delete)},
        std::pair{"SaveLibSpeedButton", style()->standardIcon(QStyle::SP_DialogSaveButton)}}) {
    layout->addWidget(MakeSpeedButton(bottom, name, icon));
  }
  layout->addStretch();

  auto* okPanel = new QWidget(bottom);
  okPanel->setObjectName("OKPanel");
  auto* okLayout = new QHBoxLayout(okPanel);
  okLayout->setContentsMargins(0, 0, 0, 0);
  okLayout->addWidget(MakeButton(okPanel, "OKBitBtn", QStyle::SP_DialogOkButton));
  layout->addWidget(okPanel);
  layout->addWidget(MakeButton(bottom, "CloseBitBtn", QStyle::SP_DialogCloseButton));
  return bottom;
}

void SelectTreeFormWindow::AddShortcuts() {
  auto* find = findChild<QToolButton*>("FindSpeedButton");
  auto* remove = findChild<QToolButton*>("DeleteSpeedButton");
  // Delete in a tree is the delete button (its question, and off while an edit is open); the
  // edit fields keep the key for characters.
  for (QtTreeControl* tree : {build_in_tree_.get(), user_tree_.get()}) {
    auto* key = new QShortcut(QKeySequence::Delete, tree->Widget());
    key->setContext(Qt::WidgetShortcut);
    connect(key, &QShortcut::activated, remove, [remove] {
      if (remove->isEnabled() && remove->isVisible()) remove->click();
    });
  }
  // Find (Ctrl+F) opens the find bar; the find dialog stays on its button.
  // Find next searches again for the last text; with none yet, it asks for one.
  const auto findNext = [this, find] {
    // The open find bar steps through its matches.
    if (find_bar_ != nullptr && find_bar_->NextKey()) return;
    if (!find->isEnabled()) return;
    if (find_dialog_->isVisible() && !find_dialog_->FindEdit()->text().isEmpty()) {
      find_dialog_->FindNext()->click();
    } else if (!form_->FindDialog1.FindText.empty()) {
      Run([this] { form_->FindDialog1Find(); });
    } else if (!form_->FindDialogOpen) {
      find->click();
    }
  };
  auto* nextKey = new QShortcut(QKeySequence::FindNext, this);
  connect(nextKey, &QShortcut::activated, this, findNext);
  // The find dialog is a window of its own: the key works there too.
  auto* nextInDialog = new QShortcut(QKeySequence::FindNext, find_dialog_);
  connect(nextInDialog, &QShortcut::activated, this, findNext);
}

void SelectTreeFormWindow::BuildMenu() {
  popup_menu_ = new QMenu(this);
  popup_menu_->setObjectName("PopupMenu1");
  // The items are the form's controls: the binding gives them their texts and commands.
  const std::initializer_list<const char*> groups[] = {
      {"InsertNode1", "InsertRiziko1", "Delete1"},
      {"Copy1", "Insert1"},
      {"Expand1", "ExpandAll1", "Collapse1", "CollapseAll1"},
      {"Sort1", "SortAll1"},
      {"Export1"}};
  int separators = 0;
  for (const auto& group : groups) {
    if (popup_menu_->actions().size() > 0) {
      popup_menu_->addSeparator()->setObjectName(QStringLiteral("N%1").arg(++separators));
    }
    for (const char* name : group) popup_menu_->addAction(QString())->setObjectName(name);
  }
  // Shown here; the trees' own shortcut does the work.
  popup_menu_->findChild<QAction*>("Delete1")->setShortcuts(QKeySequence::Delete);
}

// --- Binding ------------------------------------------------------------------------------------

void SelectTreeFormWindow::BindControls() {
  SelectTreeForm& f = *form_;
  using Kind = FormBinding::Kind;
  using F = SelectTreeForm;
  const auto commands = FormBinding::Calls(f, {{"StoreBitBtn", &F::StoreBitBtnClick},
                                               {"CancelBitBtn", &F::CancelBitBtnClick},
                                               {"ImportFileButton", &F::ImportFileButtonClick},
                                               {"FindSpeedButton", &F::FindSpeedButtonClick},
                                               {"SortSpeedButton", &F::SortSpeedButtonClick},
                                               {"AddNodeSpeedButton", &F::AddNodeSpeedButtonClick},
                                               {"AddRiskSpeedButton", &F::AddRiskSpeedButtonClick},
                                               {"DeleteSpeedButton", &F::DeleteSpeedButtonClick},
                                               {"SaveLibSpeedButton", &F::SaveLibSpeedButtonClick},
                                               {"InsertNode1", &F::InsertNode1Click},
                                               {"InsertRiziko1", &F::InsertRiziko1Click},
                                               {"Delete1", &F::Delete1Click},
                                               {"Copy1", &F::Copy1Click},
                                               {"Insert1", &F::Insert1Click},
                                               {"Expand1", &F::Expand1Click},
                                               {"ExpandAll1", &F::ExpandAll1Click},
                                               {"Collapse1", &F::Collapse1Click},
                                               {"CollapseAll1", &F::CollapseAll1Click},
                                               {"Sort1", &F::Sort1Click},
                                               {"SortAll1", &F::SortAll1Click},
                                               {"Export1", &F::Export1Click}});
  // The copy closes the window only when it went through.
  const auto buttons = FormBinding::DialogButtons(*this, f, "OKBitBtn", &F::OKBitBtnClick,
                                                  "CloseBitBtn", &F::CloseBitBtnClick, commands);
  binding_.BindAll(
      f.Controls(),
      [&f, &buttons](std::string_view name, Kind kind, Control& control) -> FormBinding::Handlers {
        switch (kind) {
          case Kind::LineEdit:
          case Kind::Memo:
          case Kind::SpinBox:
            return {[&f] { f.RiskSourceEditChange(); }};
          case Kind::PageControl:
            return {[&f] {
              f.ActiveLibrary = f.PageControl1.value == 1 ? kUserLibrary : kBuiltInLibrary;
              f.PageControl1Change();
            }};
          default:
            return buttons(name, kind, control);
        }
      });
  binding_.BindCaption(f.Caption);
}

void SelectTreeFormWindow::PushState() {
  if (pushing_) return;
  pushing_ = true;
  SelectTreeForm& f = *form_;
  binding_.Push();
  {
    const QSignalBlocker blocker(page_control1_);
    page_control1_->setCurrentIndex(f.ActiveLibrary == kUserLibrary ? 1 : 0);
  }
  for (QtTreeControl* tree : {build_in_tree_.get(), user_tree_.get()}) {
    tree->Widget()->setDragEnabled(f.DragEnabled);
  }
  page_control2_->setCurrentWidget(pages_[static_cast<int>(f.ActivePage)]);
  const int slot = static_cast<int>(f.EditButtonPanelPage);
  if (slot > 0 && edit_button_panel_->parentWidget() != pages_[slot]) {
    panel_slots_[slot]->addWidget(edit_button_panel_);  // reparents it onto that page
    edit_button_panel_->setVisible(f.EditButtonPanel.visible);
  }
  if (auto* store = findChild<QPushButton*>("StoreBitBtn"))
    store->setDefault(f.StoreBitBtn.enabled);

  if (f.FindDialogOpen && !find_dialog_->isVisible()) {
    find_dialog_->show();
    find_dialog_->raise();
    find_dialog_->FindEdit()->setFocus();
  } else if (!f.FindDialogOpen && find_dialog_->isVisible()) {
    find_dialog_->hide();
  }
  if (find_bar_ != nullptr) find_bar_->Refresh();
  pushing_ = false;
  binding_.Focus(f.FocusControl);
}

void SelectTreeFormWindow::ShowMenu(QtTreeControl& tree, const QPoint& pos) {
  TreeControl::Item underMouse = tree.ItemAt(pos.x(), pos.y());
  if (!RunCommand([&] { form_->PopupMenu1Popup(tree, underMouse); })) return;
  popup_menu_->exec(tree.Widget()->viewport()->mapToGlobal(pos));
}

// --- Window events ------------------------------------------------------------------------------

void SelectTreeFormWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  Run([this] { form_->FormShow(); });
}

void SelectTreeFormWindow::closeEvent(QCloseEvent* event) {
  // An open edit ends only by "Uložit" or "Zrušit".
  if (form_->EditState) {
    event->ignore();
    return;
  }
  if (find_dialog_->isVisible()) find_dialog_->hide();
  QDialog::closeEvent(event);
}

void SelectTreeFormWindow::reject() {
  // Esc means "Zrušit" while an edit is open, and closes the window otherwise.
  if (form_->EditState) {
    Run([this] { form_->CancelBitBtnClick(); });
    return;
  }
  if (find_dialog_->isVisible()) find_dialog_->hide();
  Run([this] { form_->CloseBitBtnClick(); });
  QDialog::reject();
}

}  // namespace orvenda
