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
#include "qt_text.h"
#include "qt_translation.h"
#include "tree_images.h"

namespace orvenda {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
  auto* label = new QLabel(U(caption), parent);
  label->setObjectName(name);
  return label;
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback, const QStyle* style) {
  return QIcon::fromTheme(QString::fromLatin1(name), style->standardIcon(fallback));
}

}  // namespace

// --- Find dialog ------------------------------------------------------------------------------

LibraryFindDialog::LibraryFindDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("FindDialog1");
  setWindowTitle(U("Najít"));
  setModal(false);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* label = new QLabel(U("Najít &co:"), this);
  find_edit_ = new QLineEdit(this);
  find_edit_->setObjectName("FindEdit");
  label->setBuddy(find_edit_);
  whole_word_ = new QCheckBox(U("Pouze &celá slova"), this);
  whole_word_->setObjectName("WholeWordCheckBox");
  match_case_ = new QCheckBox(U("&Rozlišovat malá a velká"), this);
  match_case_->setObjectName("MatchCaseCheckBox");
  auto* direction = new QGroupBox(U("Směr"), this);
  direction->setObjectName("DirectionGroupBox");
  up_ = new QRadioButton(U("&Nahoru"), direction);
  up_->setObjectName("UpRadioButton");
  down_ = new QRadioButton(U("&Dolů"), direction);
  down_->setObjectName("DownRadioButton");
  down_->setChecked(true);
  auto* directionLayout = new QHBoxLayout(direction);
  directionLayout->addWidget(up_);
  directionLayout->addWidget(down_);
  find_next_ = new QPushButton(U("Najít &další"), this);
  find_next_->setObjectName("FindNextButton");
  find_next_->setDefault(true);
  find_next_->setEnabled(false);
  cancel_ = new QPushButton(U("Storno"), this);
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
  BuildLeft(splitter);
  QWidget* right = BuildRight(splitter);
  splitter->addWidget(page_control1_);
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
  connect(page_control1_, &QTabWidget::currentChanged, this, [this](int index) {
    if (pushing_) return;
    form_->ActiveLibrary = index == 1 ? kUserLibrary : kBuiltInLibrary;
    Run([this] { form_->PageControl1Change(); });
  });

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
  TranslateWindow(this, languageFile);
  PullCaptions();
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
  for (QLabel* title : {title1, title2}) {
    QFont big = title->font();
    big.setPointSize(big.pointSize() * 3);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet("color: #27608a;");
  }
  auto* noneLayout = new QVBoxLayout(none);
  noneLayout->addStretch(2);
  noneLayout->addWidget(title1);
  noneLayout->addWidget(title2);
  noneLayout->addStretch(3);

  auto* uzel = new QWidget(page_control2_);
  uzel->setObjectName("UzelTabSheet");
  auto* textEdit = new QLineEdit(uzel);
  textEdit->setObjectName("TextEdit");
  auto* textCommentMemo = new QPlainTextEdit(uzel);
  textCommentMemo->setObjectName("TextCommentMemo");
  auto* uzelLayout = new QVBoxLayout(uzel);
  uzelLayout->addWidget(MakeLabel(uzel, "Label1", "Název:"));
  uzelLayout->addWidget(textEdit);
  uzelLayout->addWidget(MakeLabel(uzel, "Label2", "Poznámka:"));
  uzelLayout->addWidget(textCommentMemo, 1);

  auto* riziko = new QWidget(page_control2_);
  riziko->setObjectName("RizikoTabSheet");
  auto* riskSourceEdit = new QLineEdit(riziko);
  riskSourceEdit->setObjectName("RiskSourceEdit");
  auto* descrEdit = new QLineEdit(riziko);
  descrEdit->setObjectName("DescrEdit");
  auto* riskMemo = new QPlainTextEdit(riziko);
  riskMemo->setObjectName("RiskMemo");
  auto* opatreniMemo = new QPlainTextEdit(riziko);
  opatreniMemo->setObjectName("OpatreniMemo");
  auto* ratings = new QGroupBox(U("Pravděpodobnost:"), riziko);
  ratings->setObjectName("PravdepodobnostPanel");
  const auto ratingSpin = [&](const char* name) {
    auto* spin = new QSpinBox(ratings);
    spin->setObjectName(name);
    spin->setRange(0, 5);
    spin->setFixedWidth(56);
    return spin;
  };
  auto* ratingLayout = new QHBoxLayout(ratings);
  ratingLayout->addWidget(MakeLabel(ratings, "Label7", "Vznik ohrožení:"));
  ratingLayout->addWidget(ratingSpin("ExistenceSpinEdit"));
  ratingLayout->addSpacing(12);
  ratingLayout->addWidget(MakeLabel(ratings, "Label8", "Následky ohrožení:"));
  ratingLayout->addWidget(ratingSpin("NasledkySpinEdit"));
  ratingLayout->addStretch();
  auto* rizikoLayout = new QVBoxLayout(riziko);
  rizikoLayout->addWidget(MakeLabel(riziko, "Label3", "Subsystém:"));
  rizikoLayout->addWidget(riskSourceEdit);
  rizikoLayout->addWidget(MakeLabel(riziko, "Label4", "Nebezpečí:"));
  rizikoLayout->addWidget(descrEdit);
  rizikoLayout->addWidget(MakeLabel(riziko, "Label5", "Popis nebezpečí:"));
  rizikoLayout->addWidget(riskMemo, 3);
  rizikoLayout->addWidget(MakeLabel(riziko, "Label6", "Bezpečnostní opatření:"));
  rizikoLayout->addWidget(opatreniMemo, 3);
  rizikoLayout->addWidget(ratings);

  pages_[static_cast<int>(LibraryPage::NoneTabSheet)] = none;
  pages_[static_cast<int>(LibraryPage::UzelTabSheet)] = uzel;
  pages_[static_cast<int>(LibraryPage::RizikoTabSheet)] = riziko;
  for (QWidget* page : pages_) page_control2_->addWidget(page);
  // The button panel moves to whichever record page is shown.
  panel_slots_[1] = new QVBoxLayout;
  uzelLayout->addLayout(panel_slots_[1]);
  panel_slots_[2] = new QVBoxLayout;
  rizikoLayout->addLayout(panel_slots_[2]);

  edit_button_panel_ = new QWidget(uzel);
  edit_button_panel_->setObjectName("EditButtonPanel");
  auto* store = new QPushButton(edit_button_panel_);
  store->setObjectName("StoreBitBtn");
  store->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  auto* cancel = new QPushButton(edit_button_panel_);
  cancel->setObjectName("CancelBitBtn");
  cancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  auto* importFile = new QPushButton(edit_button_panel_);
  importFile->setObjectName("ImportFileButton");
  auto* panelLayout = new QHBoxLayout(edit_button_panel_);
  panelLayout->setContentsMargins(0, 4, 0, 0);
  panelLayout->addWidget(importFile);
  panelLayout->addStretch();
  panelLayout->addWidget(store);
  panelLayout->addWidget(cancel);
  panel_slots_[1]->addWidget(edit_button_panel_);
  connect(store, &QPushButton::clicked, this,
          [this] { Run([this] { form_->StoreBitBtnClick(); }); });
  connect(cancel, &QPushButton::clicked, this,
          [this] { Run([this] { form_->CancelBitBtnClick(); }); });
  connect(importFile, &QPushButton::clicked, this,
          [this] { Run([this] { form_->ImportFileButtonClick(); }); });
  return page_control2_;
}

QWidget* SelectTreeFormWindow::BuildBottom(QWidget* parent) {
  auto* bottom = new QWidget(parent);
  bottom->setObjectName("BottomPanel");
  auto* layout = new QHBoxLayout(bottom);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->setSpacing(2);
  const auto speedButton = [&](const char* name, const QIcon& icon, auto handler) {
    auto* button = new QToolButton(bottom);
    button->setObjectName(name);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setFixedSize(26, 26);
    layout->addWidget(button);
    connect(button, &QToolButton::clicked, this,
            [this, handler] { Run([this, handler] { (form_.get()->*handler)(); }); });
    return button;
  };
  speedButton("FindSpeedButton", ThemeIcon("edit-find", QStyle::SP_FileDialogContentsView, style()),
              &SelectTreeForm::FindSpeedButtonClick);
  speedButton("SortSpeedButton", ThemeIcon("view-sort-ascending", QStyle::SP_ArrowDown, style()),
              &SelectTreeForm::SortSpeedButtonClick);
  speedButton("AddNodeSpeedButton", ButtonIcon(ButtonImage::AddNode),
              &SelectTreeForm::AddNodeSpeedButtonClick);
  speedButton("AddRiskSpeedButton", ButtonIcon(ButtonImage::AddRisk),
              &SelectTreeForm::AddRiskSpeedButtonClick);
  speedButton("DeleteSpeedButton", ButtonIcon(ButtonImage::Delete),
              &SelectTreeForm::DeleteSpeedButtonClick);
  speedButton("SaveLibSpeedButton", style()->standardIcon(QStyle::SP_DialogSaveButton),
              &SelectTreeForm::SaveLibSpeedButtonClick);
  layout->addStretch();

  auto* okPanel = new QWidget(bottom);
  okPanel->setObjectName("OKPanel");
  auto* okLayout = new QHBoxLayout(okPanel);
  okLayout->setContentsMargins(0, 0, 0, 0);
  auto* ok = new QPushButton(okPanel);
  ok->setObjectName("OKBitBtn");
  ok->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  okLayout->addWidget(ok);
  layout->addWidget(okPanel);
  auto* close = new QPushButton(bottom);
  close->setObjectName("CloseBitBtn");
  close->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  layout->addWidget(close);
  connect(ok, &QPushButton::clicked, this, [this] {
    Run([this] { form_->OKBitBtnClick(); });
    // The copy closes the window only when it went through; after a failure it stays open.
    if (form_->modalResult == SelectTreeForm::ModalResult::Ok) QDialog::accept();
  });
  connect(close, &QPushButton::clicked, this, [this] {
    Run([this] { form_->CloseBitBtnClick(); });
    QDialog::reject();
  });
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
  // Find opens the find dialog (the button toggles it, the key only brings it up).
  auto* findKey = new QShortcut(QKeySequence::Find, this);
  connect(findKey, &QShortcut::activated, this, [this, find] {
    if (!find->isEnabled()) return;
    if (form_->FindDialogOpen) {
      find_dialog_->raise();
      find_dialog_->activateWindow();
      find_dialog_->FindEdit()->setFocus();
    } else {
      find->click();
    }
  });
  // Find next searches again for the last text; with none yet, it asks for one.
  const auto findNext = [this, find] {
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
  const auto add = [this](const char* name, void (SelectTreeForm::*handler)()) {
    auto* action = new QAction(popup_menu_);
    action->setObjectName(name);
    popup_menu_->addAction(action);
    if (handler != nullptr) {
      connect(action, &QAction::triggered, this,
              [this, handler] { Run([this, handler] { (form_.get()->*handler)(); }); });
    }
    return action;
  };
  const auto separator = [this](const char* name) {
    auto* action = new QAction(popup_menu_);
    action->setObjectName(name);
    action->setSeparator(true);
    popup_menu_->addAction(action);
  };
  add("InsertNode1", &SelectTreeForm::InsertNode1Click);
  add("InsertRiziko1", &SelectTreeForm::InsertRiziko1Click);
  // Shown here; the trees' own shortcut does the work.
  add("Delete1", &SelectTreeForm::Delete1Click)->setShortcuts(QKeySequence::Delete);
  separator("N1");
  add("Copy1", &SelectTreeForm::Copy1Click);
  add("Insert1", &SelectTreeForm::Insert1Click);
  separator("N2");
  add("Expand1", &SelectTreeForm::Expand1Click);
  add("ExpandAll1", &SelectTreeForm::ExpandAll1Click);
  add("Collapse1", &SelectTreeForm::Collapse1Click);
  add("CollapseAll1", &SelectTreeForm::CollapseAll1Click);
  separator("N3");
  add("Sort1", &SelectTreeForm::Sort1Click);
  add("SortAll1", &SelectTreeForm::SortAll1Click);
  separator("N4");
  add("Export1", &SelectTreeForm::Export1Click);
}

// --- Binding ------------------------------------------------------------------------------------

void SelectTreeFormWindow::BindControls() {
  for (const auto& [name, control] : form_->Controls()) {
    const QString objectName = QString::fromLatin1(name.data(), static_cast<int>(name.size()));
    QObject* object = findChild<QObject*>(objectName);
    if (object == nullptr) continue;
    Control* c = control;
    if (auto* edit = qobject_cast<QLineEdit*>(object)) {
      bindings_.push_back({c, edit, Kind::LineEdit});
      connect(edit, &QLineEdit::textEdited, this, [this, c](const QString& text) {
        c->text = ToCp1250(text);
        Run([this] { form_->RiskSourceEditChange(); });
      });
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(object)) {
      bindings_.push_back({c, memo, Kind::Memo});
      memo->setTabChangesFocus(true);
      connect(memo, &QPlainTextEdit::textChanged, this, [this, memo, c] {
        if (pushing_) return;
        c->text = TextFromQt(memo->toPlainText());
        Run([this] { form_->RiskSourceEditChange(); });
      });
    } else if (auto* spin = qobject_cast<QSpinBox*>(object)) {
      bindings_.push_back({c, spin, Kind::SpinBox});
      connect(spin, &QSpinBox::valueChanged, this, [this, c](int value) {
        if (pushing_) return;
        c->value = value;
        Run([this] { form_->RiskSourceEditChange(); });
      });
    } else if (qobject_cast<QAbstractButton*>(object) != nullptr) {
      bindings_.push_back({c, object, Kind::Button});
    } else if (qobject_cast<QAction*>(object) != nullptr) {
      bindings_.push_back({c, object, Kind::Action});
    } else if (qobject_cast<QWidget*>(object) != nullptr) {
      bindings_.push_back({c, object, Kind::Panel});
    }
  }
}

void SelectTreeFormWindow::PullCaptions() {
  // The language file may have changed the widgets' texts; the form keeps them.
  form_->Caption = TextFromQt(windowTitle());
  for (const Binding& b : bindings_) {
    switch (b.kind) {
      case Kind::Button: {
        auto* button = static_cast<QAbstractButton*>(b.object);
        b.control->text = TextFromQt(button->text());
        b.control->hint = TextFromQt(button->toolTip());
        break;
      }
      case Kind::Action:
        b.control->text = TextFromQt(static_cast<QAction*>(b.object)->text());
        break;
      case Kind::Panel: {
        auto* widget = static_cast<QWidget*>(b.object);
        if (!widget->windowTitle().isEmpty()) b.control->text = TextFromQt(widget->windowTitle());
        break;
      }
      case Kind::LineEdit:
      case Kind::Memo:
      case Kind::SpinBox:
        b.control->hint = TextFromQt(static_cast<QWidget*>(b.object)->toolTip());
        break;
    }
  }
}

void SelectTreeFormWindow::PushState() {
  if (pushing_) return;
  pushing_ = true;
  SelectTreeForm& f = *form_;
  for (const Binding& b : bindings_) {
    const Control& c = *b.control;
    const QSignalBlocker blocker(b.object);
    switch (b.kind) {
      case Kind::LineEdit: {
        auto* edit = static_cast<QLineEdit*>(b.object);
        const QString text = FromCp1250(c.text);
        if (edit->text() != text) edit->setText(text);
        edit->setReadOnly(c.readOnly);
        QPalette palette = edit->palette();
        palette.setBrush(QPalette::Base,
                         c.readOnly ? this->palette().window() : this->palette().base());
        edit->setPalette(palette);
        edit->setMaxLength(c.maxLength > 0 ? c.maxLength : 32767);
        edit->setToolTip(TextToQt(c.hint));
        break;
      }
      case Kind::Memo: {
        auto* memo = static_cast<QPlainTextEdit*>(b.object);
        const QString text = TextToQt(c.text);
        if (memo->toPlainText() != text) memo->setPlainText(text);
        memo->setReadOnly(c.readOnly);
        break;
      }
      case Kind::SpinBox: {
        auto* spin = static_cast<QSpinBox*>(b.object);
        if (spin->value() != c.value) spin->setValue(c.value);
        spin->setReadOnly(c.readOnly);
        spin->setToolTip(TextToQt(c.hint));
        break;
      }
      case Kind::Button: {
        auto* button = static_cast<QAbstractButton*>(b.object);
        button->setText(TextToQt(c.text));
        button->setToolTip(TextToQt(c.hint));
        button->setEnabled(c.enabled);
        button->setVisible(c.visible);
        break;
      }
      case Kind::Action: {
        auto* action = static_cast<QAction*>(b.object);
        action->setText(FromCp1250(c.text));
        action->setVisible(c.visible);
        action->setEnabled(c.enabled);
        break;
      }
      case Kind::Panel: {
        auto* widget = static_cast<QWidget*>(b.object);
        widget->setEnabled(c.enabled);
        // The tab widget shows and hides its pages itself.
        if (page_control1_->indexOf(widget) < 0) widget->setVisible(c.visible);
        break;
      }
    }
  }
  const Control* tabs[2] = {&f.BuildInTabSheet, &f.UserTabSheet};
  for (int i = 0; i < 2; ++i) {
    // The page's title is what the language file reads and writes as its caption.
    page_control1_->widget(i)->setWindowTitle(FromCp1250(tabs[i]->text));
    page_control1_->setTabText(i, FromCp1250(tabs[i]->text));
  }
  page_control1_->setCurrentIndex(f.ActiveLibrary == kUserLibrary ? 1 : 0);
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
  const QString caption = TextToQt(f.Caption);
  if (windowTitle() != caption) setWindowTitle(caption);

  if (f.FindDialogOpen && !find_dialog_->isVisible()) {
    find_dialog_->show();
    find_dialog_->raise();
    find_dialog_->FindEdit()->setFocus();
  } else if (!f.FindDialogOpen && find_dialog_->isVisible()) {
    find_dialog_->hide();
  }
  pushing_ = false;

  if (!f.FocusControl.empty()) {
    if (auto* widget = findChild<QWidget*>(QString::fromStdString(f.FocusControl))) {
      widget->setFocus(Qt::OtherFocusReason);
    }
  }
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
