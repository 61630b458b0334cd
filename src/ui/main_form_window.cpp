#include "main_form_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "about_form_window.h"
#include "base/language_file.h"
#include "command_guard.h"
#include "documents/recent_files.h"
#include "help_window.h"
#include "nahled_form_window.h"
#include "qt_text.h"
#include "qt_translation.h"
#include "select_tree_form_window.h"
#include "setup_form_window.h"
#include "splash_form_window.h"
#include "tree_images.h"
#include "vzhled_rep_form_window.h"

namespace orvenda {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Some desktops define no key for a standard command (Save As outside GNOME and macOS, Quit on
// Windows); there the key most programs use stands in.
QList<QKeySequence> StandardKeys(QKeySequence::StandardKey key, const QKeySequence& otherwise) {
  QList<QKeySequence> keys = QKeySequence::keyBindings(key);
  if (keys.isEmpty()) keys.append(otherwise);
  return keys;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
  auto* label = new QLabel(U(caption), parent);
  label->setObjectName(name);
  return label;
}

}  // namespace

MainFormWindow::MainFormWindow(MainFormDirs dirs, SettingsStore& settings, Dialogs* dialogs,
                               QWidget* parent)
    : QMainWindow(parent) {
  setObjectName("MainForm");
  setWindowIcon(ApplicationIcon());
  if (dialogs == nullptr) {
    own_dialogs_ = std::make_unique<QtDialogs>(this);
    dialogs = own_dialogs_.get();
  }
  dialogs_ = dialogs;
  SetErrorDialogs(dialogs_);

  // The progress window is shared by every window and lives as long as this one.
  progress_window_ = new ProgressFormWindow(this);
  progress_ = std::make_unique<QtProgress>(progress_window_);

  tree_widget_ = new OrvendaTreeWidget;
  tree_widget_->setObjectName("TreeNT1");
  tree_ = std::make_unique<QtTreeControl>(tree_widget_);

  form_ = std::make_unique<MainForm>(*tree_, *dialogs_, *progress_, settings, std::move(dirs));
  form_->SetUpDocumentControls();

  BuildMenus();
  BuildCentre();
  BuildStatusBar();
  // The file dialogs exist only while shown; these stand for them so that their texts can be
  // translated.
  open_dialog_ = new QObject(this);
  open_dialog_->setObjectName("OpenDialog1");
  open_dialog_->setProperty("Filter", FromCp1250(form_->OpenDialog1.Filter));
  save_dialog_ = new QObject(this);
  save_dialog_->setObjectName("SaveDialog1");
  save_dialog_->setProperty("Filter", FromCp1250(form_->SaveDialog1.Filter));
  jv_open_dialog_ = new QObject(this);
  jv_open_dialog_->setObjectName("JvOpenDialog1");
  jv_open_dialog_->setProperty("Filter", FromCp1250(form_->HtmlImport.JvOpenDialog1.Filter));
  jv_open_dialog_->setProperty("Title", FromCp1250(form_->HtmlImport.JvOpenDialog1Title));
  auto* exportDialog = new QObject(this);
  exportDialog->setObjectName("SaveDialog2");
  exportDialog->setProperty("Title", FromCp1250(form_->WebExport.SaveDialog2.Title));
  exportDialog->setProperty("Filter", FromCp1250(form_->WebExport.SaveDialog2.Filter));
  BindControls();
  PushState();  // the form's captions and hints

  form_->OnStateChanged = [this] { PushState(); };
  form_->MRUManager1.OnChange = [this] { RebuildRecentMenu(); };
  form_->TranslateMainForm = [this] {
    TranslateWindow(this, LanguageFile(), &form_->MessagesBox);
    PullCaptions();
  };
  tree_widget_->OnDragOver = [this](TreeControl::Item target) {
    return form_->TreeNT1DragOver(target);
  };
  tree_widget_->OnDragDrop = [this](TreeControl::Item target) { form_->TreeNT1DragDrop(target); };

  resize(940, 640);
  RunCommand([this] { form_->FormCreate(); });
  PushState();
}

MainFormWindow::~MainFormWindow() {
  SetErrorDialogs(nullptr);
  form_->OnStateChanged = nullptr;
  form_->MRUManager1.OnChange = nullptr;
  form_->TranslateMainForm = nullptr;
  form_->setupForm = nullptr;
  tree_widget_->OnDragOver = nullptr;
  tree_widget_->OnDragDrop = nullptr;
  try {
    form_->FormDestroy();
  } catch (const std::exception&) {
    // Going away regardless.
  }
  // The library window works on the main form's tables: it goes first.
  delete select_;
  select_ = nullptr;
  // The report windows go before their forms, the forms before the table they read.
  form_->nahledForm = nullptr;
  delete vzhled_;
  vzhled_ = nullptr;
  delete nahled_;
  nahled_ = nullptr;
  vzhled_form_.reset();
  nahled_form_.reset();
  // The Options window goes before its form, the form before the tree control it uses.
  delete setup_;
  setup_ = nullptr;
  setup_form_.reset();
  form_.reset();
}

void MainFormWindow::CreateOtherWindows() {
  if (about_ == nullptr) about_ = new AboutFormWindow(LanguageFile(), this);
  if (select_ == nullptr) select_ = new SelectTreeFormWindow(*form_, LanguageFile(), this);
  if (nahled_ == nullptr) {
    nahled_form_ = std::make_unique<NahledForm>(form_->DataTable, form_->MessagesBox, *progress_,
                                                form_->TempDir);
    nahled_form_->pageSettings = &form_->settings;
    nahled_ = new NahledFormWindow(*nahled_form_, *dialogs_, *progress_, LanguageFile(), this);
    form_->nahledForm = nahled_form_.get();
  }
  if (setup_ == nullptr) {
    setup_form_ = std::make_unique<orvenda::SetupForm>();
    setup_ = new SetupFormWindow(*setup_form_, LanguageFile(), this);
    form_->setupForm = setup_form_.get();
  }
  if (vzhled_ == nullptr) {
    vzhled_form_ = std::make_unique<VzhledRepForm>(form_->MessagesBox, nahled_form_->Layout());
    vzhled_ = new VzhledRepFormWindow(*vzhled_form_, LanguageFile(), this);
    nahled_form_->vzhledRepForm = vzhled_form_.get();
  }
}

std::filesystem::path MainFormWindow::LanguageFile() const {
  return FindLanguageFile(form_->ProgramDir, form_->UserDir);
}

// --- Building -----------------------------------------------------------------------------------

QAction* MainFormWindow::AddAction(QMenu* menu, const char* name, const QString& caption,
                                   std::function<void()> handler) {
  auto* action = new QAction(caption, menu);
  action->setObjectName(name);
  menu->addAction(action);
  if (handler) {
    connect(action, &QAction::triggered, this,
            [handler = std::move(handler)] { RunCommand(handler); });
  }
  return action;
}

QAction* MainFormWindow::AddSeparator(QMenu* menu, const char* name) {
  auto* separator = new QAction(menu);
  separator->setObjectName(name);
  separator->setSeparator(true);
  menu->addAction(separator);
  return separator;
}

void MainFormWindow::BuildMenus() {
  MainForm& f = *form_;
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");

  soubor_menu_ = new QMenu(U("Soubor"), bar);
  soubor_menu_->setObjectName("Soubor1");
  bar->addMenu(soubor_menu_);
  AddAction(soubor_menu_, "New1", U("Nový"), [&f] {
    f.New1Click();
  })->setShortcuts(QKeySequence::New);
  AddAction(soubor_menu_, "Open1", U("Otevři..."), [&f] {
    f.Open1Click();
  })->setShortcuts(QKeySequence::Open);
  AddAction(soubor_menu_, "Save1", U("Ulož"), [&f] {
    f.Save1Click();
  })->setShortcuts(QKeySequence::Save);
  AddAction(soubor_menu_, "SaveAs1", U("Ulož jako..."), [&f] { f.SaveAs1Click(); })
      ->setShortcuts(
          StandardKeys(QKeySequence::SaveAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)));
  AddSeparator(soubor_menu_, "N7");
  // Hidden until "Switch export" shows them (the form's state says so).
  AddAction(soubor_menu_, "Export1", U("Export HTM..."), [&f] {
    f.Export1Click();
  })->setVisible(false);
  AddSeparator(soubor_menu_, "N6")->setVisible(false);
  AddAction(soubor_menu_, "SetUp1", U("Možnosti..."), [&f] { f.SetUp1Click(); });
  AddSeparator(soubor_menu_, "N2");
  AddAction(soubor_menu_, "Konec1", U("Konec"), [this] {
    close();
  })->setShortcuts(StandardKeys(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));
  recent_separator_ = soubor_menu_->addSeparator();
  recent_separator_->setVisible(false);

  auto* knihovny = new QMenu(U("Knihovny"), bar);
  knihovny->setObjectName("Knihovny1");
  bar->addMenu(knihovny);
  AddAction(knihovny, "Edituj1", U("Editace..."), [&f] { f.Knihovnyrizik1Click(); });
  AddSeparator(knihovny, "N1");
  AddAction(knihovny, "Aktu1", U("Aktualizace"), [&f] { f.Aktu1Click(); });

  auto* sestavy = new QMenu(U("Sestavy"), bar);
  sestavy->setObjectName("Sestavy1");
  bar->addMenu(sestavy);
  AddAction(sestavy, "Nahled", U("Vytvořit..."), [this] {
    CreateOtherWindows();
    form_->NahledClick();
  });

  auto* napoveda = new QMenu(U("Nápověda"), bar);
  napoveda->setObjectName("Napoveda1");
  bar->addMenu(napoveda);
  QAction* help =
      AddAction(napoveda, "Obsahnpovdy1", U("Obsah nápovědy"), [this] { Obsahnpovdy1Click(); });
  help->setShortcut(QKeySequence(Qt::Key_F1));
  help->setShortcutContext(Qt::ApplicationShortcut);
  AddSeparator(napoveda, "N5");
  AddAction(napoveda, "Oprogramu1", U("O programu"), [this] { Oprogramu1Click(); });

  auto* admin = new QMenu(U("Administrator"), bar);
  admin->setObjectName("Administrator1");
  bar->addMenu(admin);
  AddAction(admin, "CreateLang1", U("CreateLang"), [this] { CreateLang1Click(); });
  AddAction(admin, "Switchexport1", U("Switch export"), [&f] { f.Switchexport1Click(); });
  AddAction(admin, "ExportnaWEB1", U("Export na WEB"), [&f] { f.ExportnaWEB1Click(); });
  AddAction(admin, "ImportHTML1", U("Import HTML"), [&f] { f.ImportHTML1Click(); });

  // The tree's context menu.
  popup_menu_ = new QMenu(this);
  popup_menu_->setObjectName("PopupMenu1");
  AddAction(popup_menu_, "Expand1", U("Rozviň"), [&f] { f.Expand1Click(); });
  AddAction(popup_menu_, "ExpandAll1", U("Rozviň vše"), [&f] { f.ExpandAll1Click(); });
  AddAction(popup_menu_, "Collapse1", U("Zabal"), [&f] { f.Collapse1Click(); });
  AddAction(popup_menu_, "CollapseAll1", U("Zabal Vše"), [&f] { f.CollapseAll1Click(); });
  AddSeparator(popup_menu_, "N3");
  AddAction(popup_menu_, "Sort1", U("Seřaď"), [&f] { f.Sort1Click(); });
  AddAction(popup_menu_, "SortAll1", U("Seřaď vše"), [&f] { f.SortAll1Click(); });
  AddSeparator(popup_menu_, "N4");
  AddAction(popup_menu_, "InsertNode1", U("Vlož uzel"), [&f] { f.InsertNode1Click(); });
  AddAction(popup_menu_, "InsertRiziko1", U("Vlož riziko"), [&f] { f.InsertRiziko1Click(); });
  AddAction(popup_menu_, "InsertFromLibrary1", U("Vlož z knihovny"),
            [&f] { f.InsertFromLibrary1Click(); });
  // Delete shows here; the tree's own shortcut below does the work (a hidden popup menu's
  // shortcuts never fire).
  AddAction(popup_menu_, "Delete1", U("Vymaž"), [&f] {
    f.Delete1Click();
  })->setShortcuts(QKeySequence::Delete);
  AddSeparator(popup_menu_, "N8");
  AddAction(popup_menu_, "Copy1", U("Kopírovat"), [&f] { f.Copy1Click(); });
  AddAction(popup_menu_, "Insert1", U("Vložit"), [&f] { f.Insert1Click(); });
}

void MainFormWindow::BuildCentre() {
  MainForm& f = *form_;
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->setObjectName("Splitter1");
  splitter->setChildrenCollapsible(false);
  setCentralWidget(splitter);

  // Left: the tree with its heading and buttons.
  auto* objectPanel = new QWidget(splitter);
  objectPanel->setObjectName("ObjectPanel");
  auto* objectLabel = MakeLabel(objectPanel, "ObjectLabel", "Posuzovaný objekt:");
  QFont bold = objectLabel->font();
  bold.setBold(true);
  objectLabel->setFont(bold);
  tree_widget_->setParent(objectPanel);
  connect(tree_widget_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { ShowTreeMenu(pos); });

  auto* buttonPanel = new QWidget(objectPanel);
  buttonPanel->setObjectName("ObjectButtonPanel");
  auto* buttons = new QHBoxLayout(buttonPanel);
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->setSpacing(2);
  const auto speedButton = [&](const char* name, ButtonImage image, std::function<void()> handler) {
    auto* button = new QToolButton(buttonPanel);
    button->setObjectName(name);
    button->setIcon(ButtonIcon(image));
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setFixedSize(26, 26);
    buttons->addWidget(button);
    if (handler) {
      connect(button, &QToolButton::clicked, this,
              [handler = std::move(handler)] { RunCommand(handler); });
    }
    return button;
  };
  speedButton("AddNodeSpeedButton", ButtonImage::AddNode, [&f] { f.AddNodeSpeedButtonClick(); });
  speedButton("AddRiskSpeedButton", ButtonImage::AddRisk, [&f] { f.AddRiskSpeedButtonClick(); });
  speedButton("AddFromLibSpeedButton", ButtonImage::AddFromLibrary,
              [&f] { f.AddFromLibSpeedButtonClick(); });
  QToolButton* deleteButton =
      speedButton("DeleteSpeedButton", ButtonImage::Delete, [&f] { f.DeleteSpeedButtonClick(); });
  buttons->addStretch();
  // Delete in the tree is the delete button, so it asks and is off while an edit is open; in
  // the edit fields the key keeps deleting characters.
  auto* deleteKey = new QShortcut(QKeySequence::Delete, tree_widget_);
  deleteKey->setContext(Qt::WidgetShortcut);
  connect(deleteKey, &QShortcut::activated, deleteButton, [deleteButton] {
    if (deleteButton->isEnabled() && deleteButton->isVisible()) deleteButton->click();
  });

  auto* left = new QVBoxLayout(objectPanel);
  left->setContentsMargins(6, 6, 2, 4);
  left->setSpacing(4);
  left->addWidget(objectLabel);
  left->addWidget(tree_widget_, 1);
  left->addWidget(buttonPanel);

  // Right: the pages without tabs, the buttons below them.
  auto* right = new QWidget(splitter);
  right->setObjectName("PagePanel");
  pages_ = new QStackedWidget(right);
  pages_->setObjectName("PageControl1");

  // Nothing selected: the product's name.
  auto* none = new QWidget(pages_);
  none->setObjectName("NoneTabSheet");
  none->setWindowTitle(U("Nic"));
  auto* progName = MakeLabel(none, "ProgNameLabel", "Orvenda");
  QFont big = progName->font();
  big.setPointSize(big.pointSize() * 3);
  big.setBold(true);
  progName->setFont(big);
  progName->setAlignment(Qt::AlignCenter);
  progName->setStyleSheet("color: #27608a;");
  auto* appTitle = MakeLabel(none, "AppTitleLabel", "Hodnocení rizik");
  appTitle->setAlignment(Qt::AlignCenter);
  auto* noneLayout = new QVBoxLayout(none);
  noneLayout->addStretch(2);
  noneLayout->addWidget(progName);
  noneLayout->addWidget(appTitle);
  noneLayout->addStretch(3);

  // A node.
  auto* uzel = new QWidget(pages_);
  uzel->setObjectName("UzelTabSheet");
  uzel->setWindowTitle(U("Uzel"));
  auto* textEdit = new QLineEdit(uzel);
  textEdit->setObjectName("TextEdit");
  auto* textCommentMemo = new QPlainTextEdit(uzel);
  textCommentMemo->setObjectName("TextCommentMemo");
  auto* celkPanel = new QFrame(uzel);
  celkPanel->setObjectName("CelkPanel");
  celkPanel->setFrameShape(QFrame::StyledPanel);
  auto* prumerEdit = new QLineEdit(celkPanel);
  prumerEdit->setObjectName("PrumerEdit");
  prumerEdit->setFixedWidth(60);
  prumerEdit->setAlignment(Qt::AlignRight);
  auto* textPrumEdit = new QLineEdit(celkPanel);
  textPrumEdit->setObjectName("TextPrumEdit");
  auto* celkLayout = new QHBoxLayout(celkPanel);
  celkLayout->addWidget(MakeLabel(celkPanel, "Label3", "Průměrná míra rizika uzlu:"));
  celkLayout->addWidget(prumerEdit);
  celkLayout->addWidget(textPrumEdit, 1);
  auto* uzelLayout = new QGridLayout(uzel);
  uzelLayout->addWidget(MakeLabel(uzel, "Label1", "Název:"), 0, 0);
  uzelLayout->addWidget(textEdit, 1, 0);
  uzelLayout->addWidget(MakeLabel(uzel, "Label2", "Poznámka:"), 2, 0);
  uzelLayout->addWidget(textCommentMemo, 3, 0);
  uzelLayout->addWidget(celkPanel, 4, 0);
  uzelLayout->setRowStretch(3, 1);

  // A risk.
  auto* riziko = new QWidget(pages_);
  riziko->setObjectName("RizikoTabSheet");
  riziko->setWindowTitle(U("Riziko"));
  auto* riskSourceEdit = new QLineEdit(riziko);
  riskSourceEdit->setObjectName("RiskSourceEdit");
  auto* descrEdit = new QLineEdit(riziko);
  descrEdit->setObjectName("DescrEdit");
  auto* riskMemo = new QPlainTextEdit(riziko);
  riskMemo->setObjectName("RiskMemo");
  auto* opatreniMemo = new QPlainTextEdit(riziko);
  opatreniMemo->setObjectName("OpatreniMemo");
  auto* commentMemo = new QPlainTextEdit(riziko);
  commentMemo->setObjectName("CommentMemo");
  auto* ratings = new QGroupBox(U("Pravděpodobnost:"), riziko);
  ratings->setObjectName("PravdepodobnostPanel");
  const auto ratingSpin = [&](const char* name) {
    auto* spin = new QSpinBox(ratings);
    spin->setObjectName(name);
    spin->setRange(1, 5);
    spin->setValue(1);
    spin->setFixedWidth(56);
    return spin;
  };
  auto* ratingLayout = new QGridLayout(ratings);
  ratingLayout->addWidget(MakeLabel(ratings, "Label9", "Vznik ohrožení:"), 0, 0);
  ratingLayout->addWidget(ratingSpin("ExistenceSpinEdit"), 0, 1);
  ratingLayout->addWidget(MakeLabel(ratings, "Label10", "Následky ohrožení:"), 0, 2);
  ratingLayout->addWidget(ratingSpin("NasledkySpinEdit"), 0, 3);
  ratingLayout->addWidget(MakeLabel(ratings, "Label11", "Názor hodnotitele:"), 0, 4);
  ratingLayout->addWidget(ratingSpin("NazorSpinEdit"), 0, 5);
  ratingLayout->setColumnStretch(6, 1);
  ratingLayout->setHorizontalSpacing(8);

  auto* rizikoLayout = new QGridLayout(riziko);
  rizikoLayout->addWidget(MakeLabel(riziko, "Label4", "Subsystém:"), 0, 0);
  rizikoLayout->addWidget(riskSourceEdit, 1, 0);
  rizikoLayout->addWidget(MakeLabel(riziko, "Label5", "Nebezpečí:"), 2, 0);
  rizikoLayout->addWidget(descrEdit, 3, 0);
  rizikoLayout->addWidget(MakeLabel(riziko, "Label6", "Popis nebezpečí:"), 4, 0);
  rizikoLayout->addWidget(riskMemo, 5, 0);
  rizikoLayout->addWidget(MakeLabel(riziko, "Label7", "Bezpečnostní opatření:"), 6, 0);
  rizikoLayout->addWidget(opatreniMemo, 7, 0);
  rizikoLayout->addWidget(MakeLabel(riziko, "Label8", "Poznámka:"), 8, 0);
  rizikoLayout->addWidget(commentMemo, 9, 0);
  rizikoLayout->addWidget(ratings, 10, 0);
  rizikoLayout->setRowStretch(5, 3);
  rizikoLayout->setRowStretch(7, 3);
  rizikoLayout->setRowStretch(9, 2);

  // The work page of the HTML import: the page's text as it was read.
  auto* tabSheet1 = new QWidget(pages_);
  tabSheet1->setObjectName("TabSheet1");
  memo1_ = new QPlainTextEdit(tabSheet1);
  memo1_->setObjectName("Memo1");
  memo1_->setReadOnly(true);
  memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* tabSheet1Layout = new QVBoxLayout(tabSheet1);
  tabSheet1Layout->setContentsMargins(0, 0, 0, 0);
  tabSheet1Layout->addWidget(memo1_);

  page_widgets_[static_cast<int>(Page::NoneTabSheet)] = none;
  page_widgets_[static_cast<int>(Page::UzelTabSheet)] = uzel;
  page_widgets_[static_cast<int>(Page::RizikoTabSheet)] = riziko;
  page_widgets_[static_cast<int>(Page::TabSheet1)] = tabSheet1;
  for (QWidget* page : page_widgets_) pages_->addWidget(page);

  admin_label_ = MakeLabel(right, "AdminLabel", "Administrator Mode");
  admin_label_->setStyleSheet("color: #b00000; font-weight: bold;");
  admin_label_->setVisible(false);
  store_button_ = new QPushButton(U("Uložit"), right);
  store_button_->setObjectName("StoreBitBtn");
  store_button_->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  cancel_button_ = new QPushButton(U("Zrušit"), right);
  cancel_button_->setObjectName("CancelBitBtn");
  cancel_button_->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  connect(store_button_, &QPushButton::clicked, this,
          [&f] { RunCommand([&f] { f.StoreBitBtnClick(); }); });
  connect(cancel_button_, &QPushButton::clicked, this,
          [&f] { RunCommand([&f] { f.CancelBitBtnClick(); }); });

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(admin_label_);
  bottom->addStretch();
  bottom->addWidget(store_button_);
  bottom->addWidget(cancel_button_);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(2, 6, 6, 4);
  rightLayout->addWidget(pages_, 1);
  rightLayout->addLayout(bottom);

  splitter->addWidget(objectPanel);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 3);
  splitter->setSizes({340, 600});

  // Esc anywhere in the window means Zrušit while an edit is open.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] {
    if (form_->CancelBitBtn.enabled) cancel_button_->click();
  });
}

void MainFormWindow::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(true);
  for (int i = 0; i < 2; ++i) {
    // The panels carry no component names: their texts are the program's, not the form's.
    status_panels_[i] = new QLabel(bar);
    status_panels_[i]->setFrameShape(QFrame::StyledPanel);
    status_panels_[i]->setFrameShadow(QFrame::Sunken);
  }
  status_panels_[0]->setFixedWidth(300);
  bar->addWidget(status_panels_[0]);
  bar->addWidget(status_panels_[1], 1);
}

// --- Binding ------------------------------------------------------------------------------------

void MainFormWindow::BindEdit(QLineEdit* edit, Control& control) {
  bindings_.push_back({&control, edit, Kind::LineEdit});
  connect(edit, &QLineEdit::textEdited, this, [this, &control](const QString& text) {
    control.text = ToCp1250(text);
    RunCommand([this] { form_->RiskSourceEditChange(); });
  });
  edit->installEventFilter(this);
}

void MainFormWindow::BindMemo(QPlainTextEdit* memo, Control& control) {
  bindings_.push_back({&control, memo, Kind::Memo});
  memo->setTabChangesFocus(true);
  connect(memo, &QPlainTextEdit::textChanged, this, [this, memo, &control] {
    if (pushing_) return;
    control.text = TextFromQt(memo->toPlainText());
    RunCommand([this] { form_->RiskSourceEditChange(); });
  });
}

void MainFormWindow::BindSpin(QSpinBox* spin, Control& control) {
  bindings_.push_back({&control, spin, Kind::SpinBox});
  connect(spin, &QSpinBox::valueChanged, this, [this, &control](int value) {
    control.value = value;
    control.text = std::to_string(value);
    RunCommand([this] { form_->RiskSourceEditChange(); });
  });
  connect(spin, &QSpinBox::editingFinished, this, [this, spin, &control] {
    control.value = spin->value();
    RunCommand([this, &control] { form_->RatingEditExit(control); });
  });
  spin->installEventFilter(this);
}

void MainFormWindow::BindControls() {
  for (const auto& [name, control] : form_->Controls()) {
    const QString objectName = QString::fromLatin1(name.data(), static_cast<int>(name.size()));
    QObject* object = findChild<QObject*>(objectName);
    if (object == nullptr) continue;
    if (auto* edit = qobject_cast<QLineEdit*>(object)) {
      BindEdit(edit, *control);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(object)) {
      BindMemo(memo, *control);
    } else if (auto* spin = qobject_cast<QSpinBox*>(object)) {
      BindSpin(spin, *control);
    } else if (qobject_cast<QAbstractButton*>(object) != nullptr) {
      bindings_.push_back({control, object, Kind::Button});
    } else if (qobject_cast<QMenu*>(object) != nullptr) {
      bindings_.push_back({control, object, Kind::Menu});
    } else if (qobject_cast<QAction*>(object) != nullptr) {
      bindings_.push_back({control, object, Kind::Action});
    } else if (qobject_cast<QLabel*>(object) != nullptr) {
      bindings_.push_back({control, object, Kind::Label});
    } else if (qobject_cast<QWidget*>(object) != nullptr) {
      bindings_.push_back({control, object, Kind::Panel});
    }
  }
}

void MainFormWindow::PullCaptions() {
  form_->Caption = TextFromQt(windowTitle());
  form_->OpenDialog1.Filter = ToCp1250(open_dialog_->property("Filter").toString());
  form_->SaveDialog1.Filter = ToCp1250(save_dialog_->property("Filter").toString());
  form_->HtmlImport.JvOpenDialog1.Filter = ToCp1250(jv_open_dialog_->property("Filter").toString());
  form_->HtmlImport.JvOpenDialog1Title = ToCp1250(jv_open_dialog_->property("Title").toString());
  if (auto* exportDialog = findChild<QObject*>("SaveDialog2", Qt::FindDirectChildrenOnly)) {
    form_->WebExport.SaveDialog2.Title = ToCp1250(exportDialog->property("Title").toString());
    form_->WebExport.SaveDialog2.Filter = ToCp1250(exportDialog->property("Filter").toString());
  }
  for (const Binding& b : bindings_) {
    switch (b.kind) {
      case Kind::Button: {
        auto* button = static_cast<QAbstractButton*>(b.object);
        if (!b.control->text.empty() || !button->text().isEmpty()) {
          b.control->text = ToCp1250(button->text());
        }
        b.control->hint = TextFromQt(button->toolTip());
        break;
      }
      case Kind::Menu:
        b.control->text = ToCp1250(static_cast<QMenu*>(b.object)->title());
        break;
      case Kind::Action:
        b.control->text = ToCp1250(static_cast<QAction*>(b.object)->text());
        break;
      case Kind::Label:
        b.control->text = TextFromQt(static_cast<QLabel*>(b.object)->text());
        break;
      case Kind::SpinBox:
      case Kind::LineEdit:
      case Kind::Memo:
      case Kind::Panel:
        b.control->hint = TextFromQt(static_cast<QWidget*>(b.object)->toolTip());
        break;
    }
  }
}

void MainFormWindow::PushState() {
  if (pushing_) return;
  pushing_ = true;
  MainForm& f = *form_;
  for (const Binding& b : bindings_) {
    const Control& c = *b.control;
    const QSignalBlocker blocker(b.object);
    switch (b.kind) {
      case Kind::LineEdit: {
        auto* edit = static_cast<QLineEdit*>(b.object);
        const QString text = FromCp1250(c.text);
        if (edit->text() != text) edit->setText(text);
        if (edit->isReadOnly() != c.readOnly) {
          edit->setReadOnly(c.readOnly);
          // A field the user cannot change does not look like one he can.
          QPalette palette = edit->palette();
          palette.setBrush(QPalette::Base,
                           c.readOnly ? this->palette().window() : this->palette().base());
          edit->setPalette(palette);
        }
        edit->setMaxLength(c.maxLength > 0 ? c.maxLength : 32767);
        edit->setEnabled(c.enabled);
        edit->setToolTip(TextToQt(c.hint));
        break;
      }
      case Kind::Memo: {
        auto* memo = static_cast<QPlainTextEdit*>(b.object);
        const QString text = TextToQt(c.text);
        if (memo->toPlainText() != text) memo->setPlainText(text);
        memo->setReadOnly(c.readOnly);
        memo->setEnabled(c.enabled);
        memo->setToolTip(TextToQt(c.hint));
        break;
      }
      case Kind::SpinBox: {
        auto* spin = static_cast<QSpinBox*>(b.object);
        if (spin->value() != c.value) spin->setValue(c.value);
        spin->setEnabled(c.enabled);
        spin->setToolTip(TextToQt(c.hint));
        break;
      }
      case Kind::Button: {
        auto* button = static_cast<QAbstractButton*>(b.object);
        if (!c.text.empty()) button->setText(TextToQt(c.text));
        button->setToolTip(TextToQt(c.hint));
        button->setEnabled(c.enabled);
        button->setVisible(c.visible);
        break;
      }
      case Kind::Action: {
        auto* action = static_cast<QAction*>(b.object);
        if (!c.text.empty()) action->setText(FromCp1250(c.text));
        action->setVisible(c.visible);
        break;  // enabled below, with its menu
      }
      case Kind::Menu: {
        auto* menu = static_cast<QMenu*>(b.object);
        if (!c.text.empty()) menu->setTitle(FromCp1250(c.text));
        menu->menuAction()->setEnabled(c.enabled);
        menu->menuAction()->setVisible(c.visible);
        break;
      }
      case Kind::Label: {
        auto* label = static_cast<QLabel*>(b.object);
        label->setText(TextToQt(c.text));
        label->setVisible(c.visible);
        break;
      }
      case Kind::Panel: {
        auto* widget = static_cast<QWidget*>(b.object);
        widget->setEnabled(c.enabled);
        // Visibility of a page's panel only counts where the page is shown.
        widget->setVisible(c.visible);
        break;
      }
    }
  }

  // A menu item is enabled when its own state, its menu and the program allow it; a disabled
  // menu's shortcuts (F1) must not reach its commands either.
  for (QMenu* menu : menuBar()->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly)) {
    const bool menuEnabled = menu->menuAction()->isEnabled();
    for (QAction* action : menu->actions()) {
      if (action->isSeparator()) continue;
      const Control* own = action->objectName().isEmpty()
                               ? nullptr
                               : f.FindControl(action->objectName().toStdString());
      action->setEnabled(menuEnabled && (own == nullptr || own->enabled));
    }
  }
  for (QAction* action : popup_menu_->actions()) {
    if (action->isSeparator()) continue;
    const Control* own = f.FindControl(action->objectName().toStdString());
    action->setEnabled(own == nullptr || own->enabled);
  }

  // A page of some megabytes goes into the memo once per load, not at every refresh.
  if (memo1_loads_ != f.HtmlImport.Memo1Loads) {
    memo1_loads_ = f.HtmlImport.Memo1Loads;
    memo1_->setPlainText(TextToQt(f.HtmlImport.Memo1.text));
  }
  pages_->setCurrentWidget(page_widgets_[static_cast<int>(f.ActivePage)]);
  for (int i = 0; i < 2; ++i) status_panels_[i]->setText(FromCp1250(f.StatusBar1.Panels[i]));
  const QString caption = TextToQt(f.Caption);
  if (windowTitle() != caption) setWindowTitle(caption);
  store_button_->setDefault(f.StoreBitBtn.enabled);
  pushing_ = false;

  if (!f.FocusControl.empty()) {
    if (auto* widget = findChild<QWidget*>(QString::fromStdString(f.FocusControl))) {
      widget->setFocus(Qt::OtherFocusReason);
      if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->selectAll();
    }
  }
}

bool MainFormWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool plain = key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier;
    // Enter in a one-line field or rating control means Uložit; memos keep Enter for new lines.
    if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (qobject_cast<QLineEdit*>(watched) != nullptr ||
         qobject_cast<QSpinBox*>(watched) != nullptr)) {
      if (form_->StoreBitBtn.enabled) {
        if (auto* spin = qobject_cast<QSpinBox*>(watched)) spin->interpretText();
        store_button_->click();
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Tree menu
// ------------------------------------------------------------------------------------

void MainFormWindow::ShowTreeMenu(const QPoint& pos) {
  TreeControl::Item underMouse = tree_->ItemAt(pos.x(), pos.y());
  if (!RunCommand([&] { form_->PopupMenu1Popup(underMouse); })) return;
  popup_menu_->exec(tree_widget_->viewport()->mapToGlobal(pos));
}

// --- Window events ------------------------------------------------------------------------------

void MainFormWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (event->spontaneous()) return;  // a restore from the taskbar is no new showing
  RunCommand([this] { form_->FormShow(); });
}

void MainFormWindow::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  bool allowed = false;
  if (!RunCommand([&] { allowed = form_->FormCloseQuery(); }) || !allowed) {
    event->ignore();
    return;
  }
  RunCommand([this] { form_->FormClose(); });
  closed_ = true;
  if (help_ != nullptr) help_->close();
  event->accept();
}

// --- Commands of this window
// ----------------------------------------------------------------------

void MainFormWindow::Obsahnpovdy1Click() {
  if (help_ == nullptr) help_ = new HelpWindow(this);
  if (!help_->ShowContents(form_->ProgramDir)) {
    const std::filesystem::path file = form_->ProgramDir / HelpWindow::kHelpFileName;
    QMessageBox::warning(this, QApplication::applicationName(),
                         U("Soubor nápovědy %1 nebyl nalezen.").arg(PathToQString(file)));
  }
}

void MainFormWindow::Oprogramu1Click() {
  CreateOtherWindows();
  about_->exec();
}

void MainFormWindow::CreateLang1Click() {
  // The windows in the program's order; the preview and report-layout windows join here when
  // they exist.
  CreateOtherWindows();
  const std::filesystem::path file = LanguageFile();
  WriteWindowTexts(this, file, &form_->MessagesBox);
  WriteWindowTexts(about_, file);
  WriteWindowTexts(select_, file);
  WriteWindowTexts(progress_window_, file);
  WriteWindowTexts(nahled_, file);
  WriteWindowTexts(setup_, file);
  WriteWindowTexts(vzhled_, file);
  // A splash window made for the purpose (its creation applies the language file as it is).
  SplashFormWindow splash(file);
  WriteWindowTexts(&splash, file);
}

void MainFormWindow::RebuildRecentMenu() {
  for (QAction* action : recent_actions_) {
    soubor_menu_->removeAction(action);
    delete action;
  }
  recent_actions_.clear();
  const auto& items = form_->MRUManager1.Items();
  recent_separator_->setVisible(!items.empty());
  for (const std::filesystem::path& file : items) {
    QString caption = PathToQString(file);
    caption.replace(u'&', QStringLiteral("&&"));  // a name is no accelerator
    // No component name: the items are the user's files, not texts of the window.
    auto* action = new QAction(caption, soubor_menu_);
    soubor_menu_->addAction(action);
    action->setEnabled(soubor_menu_->menuAction()->isEnabled());
    connect(action, &QAction::triggered, this,
            [this, file] { RunCommand([this, file] { form_->MRUManager1Click(file); }); });
    recent_actions_.push_back(action);
  }
}

}  // namespace orvenda
