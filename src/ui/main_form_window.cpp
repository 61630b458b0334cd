#include "main_form_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "about_form_window.h"
#include "base/language_file.h"
#include "client_report_dialog.h"
#include "command_guard.h"
#include "documents/recent_files.h"
#include "find_bar_widget.h"
#include "help_window.h"
#include "mnemonics.h"
#include "nahled_form_window.h"
#include "named_widgets.h"
#include "qt_text.h"
#include "qt_translation.h"
#include "record_page_widget.h"
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
  MakeDialogStandIns();
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
  // Each item shows its category, a node the highest below it, from the kept sums.
  tree_widget_->Model()->BandOf = [this](const TreeNode& node) {
    return node.image == TreeControl::kRisk ? form_->DataTableSums.RiskBandOf(node.data)
                                            : form_->DataTableSums.HighestBand(node.data);
  };

  RestoreWindowPlace();
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
  tree_widget_->Model()->BandOf = nullptr;
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
  AddAction(soubor_menu_, "ExportTable1", U("Export do tabulky..."),
            [&f] { f.ExportTable1Click(); });
  AddAction(soubor_menu_, "ExportTableBranch1", U("Export větve do tabulky..."),
            [&f] { f.ExportTableBranch1Click(); });
  AddAction(soubor_menu_, "ImportTable1", U("Import z tabulky..."),
            [&f] { f.ImportTable1Click(); });
  AddSeparator(soubor_menu_, "N8");
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

  // Úpravy: the history and the clipboard commands on the tree's selection. In the edit
  // fields the same keys edit the text: a line edit takes its standard keys first. Copy has
  // Ctrl+C alone: the desktop's other copy key, Ctrl+Insert, adds a node in the tree.
  auto* upravy = new QMenu(U("Úpravy"), bar);
  upravy->setObjectName("Upravy1");
  bar->addMenu(upravy);
  AddAction(upravy, "Zpet1", U("Zpět"), [&f] {
    f.Zpet1Click();
  })->setShortcuts(StandardKeys(QKeySequence::Undo, QKeySequence(Qt::CTRL | Qt::Key_Z)));
  AddAction(upravy, "Znovu1", U("Znovu"), [&f] { f.Znovu1Click(); })
      ->setShortcuts(
          {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  AddSeparator(upravy, "N9");
  AddAction(upravy, "Vyjmout1", U("Vyjmout"), [&f] {
    f.Vyjmout1Click();
  })->setShortcuts(StandardKeys(QKeySequence::Cut, QKeySequence(Qt::CTRL | Qt::Key_X)));
  AddAction(upravy, "Kopirovat1", U("Kopírovat"), [&f] {
    f.Kopirovat1Click();
  })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  AddAction(upravy, "Vlozit1", U("Vložit"), [&f] {
    f.Vlozit1Click();
  })->setShortcuts(StandardKeys(QKeySequence::Paste, QKeySequence(Qt::CTRL | Qt::Key_V)));
  AddSeparator(upravy, "N10");
  // Opens the find bar through the bar's own action.
  AddAction(upravy, "Najit1", U("Najít"), [this] {
    if (auto* find = findChild<QAction*>("FindAction")) find->trigger();
  })->setShortcuts(StandardKeys(QKeySequence::Find, QKeySequence(Qt::CTRL | Qt::Key_F)));

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
  AddAction(sestavy, "ClientReport1", U("Zpráva pro klienta..."), [this] {
    ClientReportDialog dialog(*form_, *progress_, this);
    dialog.exec();
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
  // The tree's own shortcuts (BuildCentre) do the work of the keys shown here.
  AddAction(popup_menu_, "InsertNode1", U("Vlož uzel"), [&f] {
    f.InsertNode1Click();
  })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
  AddAction(popup_menu_, "InsertRiziko1", U("Vlož riziko"), [&f] {
    f.InsertRiziko1Click();
  })->setShortcut(QKeySequence(Qt::Key_Insert));
  AddAction(popup_menu_, "InsertFromLibrary1", U("Vlož z knihovny"),
            [&f] { f.InsertFromLibrary1Click(); });
  // Delete shows here; the tree's own shortcut below does the work (a hidden popup menu's
  // shortcuts never fire).
  AddAction(popup_menu_, "Delete1", U("Vymaž"), [&f] {
    f.Delete1Click();
  })->setShortcuts(QKeySequence::Delete);
  AddSeparator(popup_menu_, "N8");
  AddAction(popup_menu_, "Copy1", U("Kopírovat"), [&f] {
    f.Copy1Click();
  })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  AddAction(popup_menu_, "Insert1", U("Vložit"), [&f] {
    f.Insert1Click();
  })->setShortcuts(StandardKeys(QKeySequence::Paste, QKeySequence(Qt::CTRL | Qt::Key_V)));
  // A hidden popup menu's shortcuts never fire, and the open menu's must not run its commands
  // a second time beside the Úpravy menu's: they are shown only.
  for (QAction* action : popup_menu_->actions()) action->setShortcutContext(Qt::WidgetShortcut);
  ApplyMnemonics();
}

void MainFormWindow::ApplyMnemonics() {
  // The letters Alt reaches the menus and their entries by; the captions stay without "&".
  static const std::pair<const char*, const char*> kLetters[] = {
      {"Soubor1", "S"},
      {"New1", "N"},
      {"Open1", "O"},
      {"Save1", "U"},
      {"SaveAs1", "j"},
      {"Export1", "E"},
      {"SetUp1", "M"},
      {"Konec1", "K"},
      {"Upravy1", "Ú"},
      {"Zpet1", "Z"},
      {"Znovu1", "o"},
      {"Vyjmout1", "V"},
      {"Kopirovat1", "K"},
      {"Vlozit1", "l"},
      {"Najit1", "N"},
      {"Knihovny1", "K"},
      {"Edituj1", "E"},
      {"Aktu1", "A"},
      {"Sestavy1", "e"},
      {"Nahled", "V"},
      {"Napoveda1", "N"},
      {"Obsahnpovdy1", "O"},
      {"Oprogramu1", "p"},
      {"Administrator1", "A"},
      {"CreateLang1", "C"},
      {"Switchexport1", "S"},
      {"ExportnaWEB1", "W"},
      {"ImportHTML1", "I"},
      {"Expand1", "R"},
      {"ExpandAll1", "o"},
      {"Collapse1", "Z"},
      {"CollapseAll1", "a"},
      {"Sort1", "S"},
      {"SortAll1", "e"},
      {"InsertNode1", "u"},
      {"InsertRiziko1", "i"},
      {"InsertFromLibrary1", "k"},
      {"Delete1", "m"},
      {"Copy1", "p"},
      {"Insert1", "l"},
  };
  for (const auto& [name, letter] : kLetters) {
    QObject* object = findChild<QObject*>(name);
    if (object == nullptr) continue;
    SetMnemonic(object, U(letter)[0]);
    if (auto* menu = qobject_cast<QMenu*>(object)) {
      menu->setTitle(WithMnemonic(menu, WithoutMnemonic(menu->title())));
    } else if (auto* action = qobject_cast<QAction*>(object)) {
      action->setText(WithMnemonic(action, WithoutMnemonic(action->text())));
    }
  }
}

void MainFormWindow::BuildCentre() {
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
  for (const auto& [name, image] : {std::pair{"AddNodeSpeedButton", ButtonImage::AddNode},
                                    std::pair{"AddRiskSpeedButton", ButtonImage::AddRisk},
                                    std::pair{"AddFromLibSpeedButton", ButtonImage::AddFromLibrary},
                                    std::pair{"DeleteSpeedButton", ButtonImage::Delete}}) {
    buttons->addWidget(MakeSpeedButton(buttonPanel, name, ButtonIcon(image)));
  }
  buttons->addStretch();
  // Delete in the tree is the delete button, so it asks and is off while an edit is open; in
  // the edit fields the key keeps deleting characters.
  auto* deleteButton = buttonPanel->findChild<QToolButton*>("DeleteSpeedButton");
  auto* deleteKey = new QShortcut(QKeySequence::Delete, tree_widget_);
  deleteKey->setContext(Qt::WidgetShortcut);
  connect(deleteKey, &QShortcut::activated, deleteButton, [deleteButton] {
    if (deleteButton->isEnabled() && deleteButton->isVisible()) deleteButton->click();
  });

  // Insert, Ctrl+Insert and F2 in the tree: a risk, a node, the page's first field.
  for (const auto& [keys, name] :
       {std::pair{QKeySequence(Qt::Key_Insert), "AddRiskSpeedButton"},
        std::pair{QKeySequence(Qt::CTRL | Qt::Key_Insert), "AddNodeSpeedButton"}}) {
    auto* button = buttonPanel->findChild<QToolButton*>(name);
    auto* key = new QShortcut(keys, tree_widget_);
    key->setContext(Qt::WidgetShortcut);
    connect(key, &QShortcut::activated, button, [button] {
      if (button->isEnabled() && button->isVisible()) button->click();
    });
  }
  auto* f2 = new QShortcut(QKeySequence(Qt::Key_F2), tree_widget_);
  f2->setContext(Qt::WidgetShortcut);
  connect(f2, &QShortcut::activated, this,
          [this] { RunCommand([this] { form_->EditSelectedClick(); }); });

  auto* left = new QVBoxLayout(objectPanel);
  left->setContentsMargins(6, 6, 2, 4);
  left->setSpacing(4);
  left->addWidget(objectLabel);
  left->addWidget(tree_widget_, 1);
  find_bar_ = new FindBarWidget(*form_, this, [this] { PushState(); });
  // The bar must not widen the window: narrow, it shows what fits.
  find_bar_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  // Ctrl+F belongs to "Úpravy" -> "Najít" alone (two owners and Qt fires neither).
  if (auto* find = findChild<QAction*>("FindAction")) find->setShortcuts({});
  left->addWidget(find_bar_);
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
  StyleAsHeading(progName);
  auto* appTitle = MakeLabel(none, "AppTitleLabel", "Hodnocení rizik");
  appTitle->setAlignment(Qt::AlignCenter);
  auto* noneLayout = new QVBoxLayout(none);
  noneLayout->addStretch(2);
  noneLayout->addWidget(progName);
  noneLayout->addWidget(appTitle);
  noneLayout->addStretch(3);

  // A node, with its average below the fields.
  auto* uzel = new RecordPageWidget(RecordPageWidget::Record::Node,
                                    {.name = "UzelTabSheet", .title = U("Uzel")}, pages_);
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
  uzel->AddBelow(celkPanel);

  // A risk.
  auto* riziko = new RecordPageWidget(RecordPageWidget::Record::Risk,
                                      {.name = "RizikoTabSheet",
                                       .title = U("Riziko"),
                                       .firstLabel = 4,
                                       .lowestRating = 1,
                                       .comment = true,
                                       .opinion = true},
                                      pages_);

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
  store_button_ = MakeButton(right, "StoreBitBtn", QStyle::SP_DialogApplyButton);
  store_button_->setText(U("Uložit"));
  cancel_button_ = MakeButton(right, "CancelBitBtn", QStyle::SP_DialogCancelButton);
  cancel_button_->setText(U("Zrušit"));

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

void MainFormWindow::BindControls() {
  MainForm& f = *form_;
  using Kind = FormBinding::Kind;
  const auto commands =
      FormBinding::Calls(f, {{"StoreBitBtn", &MainForm::StoreBitBtnClick},
                             {"CancelBitBtn", &MainForm::CancelBitBtnClick},
                             {"AddNodeSpeedButton", &MainForm::AddNodeSpeedButtonClick},
                             {"AddRiskSpeedButton", &MainForm::AddRiskSpeedButtonClick},
                             {"AddFromLibSpeedButton", &MainForm::AddFromLibSpeedButtonClick},
                             {"DeleteSpeedButton", &MainForm::DeleteSpeedButtonClick}});
  binding_.BindAll(
      f.Controls(),
      [&f, &commands](std::string_view name, Kind kind, Control& control) -> FormBinding::Handlers {
        if (kind != Kind::LineEdit && kind != Kind::Memo && kind != Kind::SpinBox) {
          return commands(name, kind, control);
        }
        FormBinding::Handlers handlers{[&f] { f.RiskSourceEditChange(); }};
        if (kind == Kind::SpinBox) handlers.exit = [&f, &control] { f.RatingEditExit(control); };
        return handlers;
      });
  binding_.BindCaption(f.Caption);
  find_bar_->Bind(binding_);
  // Enter in a one-line field or rating control means Uložit (see eventFilter).
  for (QWidget* field : findChildren<QWidget*>()) {
    if (qobject_cast<QLineEdit*>(field) != nullptr || qobject_cast<QSpinBox*>(field) != nullptr) {
      if (f.FindControl(field->objectName().toStdString()) != nullptr)
        field->installEventFilter(this);
    }
  }
}

// The file dialogs exist only while shown; these objects stand for them so that their texts can
// be translated.
std::vector<MainFormWindow::DialogText> MainFormWindow::DialogTexts() {
  MainForm& f = *form_;
  return {{"OpenDialog1", "Filter", &f.OpenDialog1.Filter},
          {"SaveDialog1", "Filter", &f.SaveDialog1.Filter},
          {"JvOpenDialog1", "Filter", &f.HtmlImport.JvOpenDialog1.Filter},
          {"JvOpenDialog1", "Title", &f.HtmlImport.JvOpenDialog1Title},
          {"SaveDialog2", "Title", &f.WebExport.SaveDialog2.Title},
          {"SaveDialog2", "Filter", &f.WebExport.SaveDialog2.Filter},
          {"OpenDialog2", "Title", &f.OpenDialog2Title},
          {"OpenDialog2", "Filter", &f.OpenDialog2.Filter},
          {"ImportTableDialog", "Title", &f.TableFiles.ImportDialogTitle},
          {"ImportTableDialog", "Filter", &f.TableFiles.ImportDialog.Filter},
          {"ExportTableDialog", "Filter", &f.TableFiles.ExportDialog.Filter}};
}

void MainFormWindow::MakeDialogStandIns() {
  for (const DialogText& text : DialogTexts()) {
    auto* standIn = findChild<QObject*>(text.object, Qt::FindDirectChildrenOnly);
    if (standIn == nullptr) {
      standIn = new QObject(this);
      standIn->setObjectName(text.object);
    }
    standIn->setProperty(text.property, FromCp1250(*text.value));
  }
}

void MainFormWindow::PullCaptions() {
  for (const DialogText& text : DialogTexts()) {
    if (auto* standIn = findChild<QObject*>(text.object, Qt::FindDirectChildrenOnly)) {
      *text.value = ToCp1250(standIn->property(text.property).toString());
    }
  }
  binding_.PullCaptions();
}

void MainFormWindow::PushState() {
  if (pushing_) return;
  pushing_ = true;
  MainForm& f = *form_;
  binding_.Push();
  // A page of some megabytes goes into the memo once per load, not at every refresh.
  if (memo1_loads_ != f.HtmlImport.Memo1Loads) {
    memo1_loads_ = f.HtmlImport.Memo1Loads;
    memo1_->setPlainText(TextToQt(f.HtmlImport.Memo1.text));
  }
  pages_->setCurrentWidget(page_widgets_[static_cast<int>(f.ActivePage)]);
  for (int i = 0; i < 2; ++i) status_panels_[i]->setText(FromCp1250(f.StatusBar1.Panels[i]));
  store_button_->setDefault(f.StoreBitBtn.enabled);
  find_bar_->Refresh();
  // A stored rating may change the colours of the item and of every node above it.
  tree_widget_->viewport()->update();
  pushing_ = false;
  binding_.Focus(f.FocusControl, true);
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

namespace {

// The settings key of the window's place on this set of screens: a place on a laptop's screen
// means nothing on the desk's two monitors.
std::string WindowPlaceKey() {
  std::string screens;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect g = screen->geometry();
    if (!screens.empty()) screens += '+';
    screens += std::to_string(g.x()) + '_' + std::to_string(g.y()) + '_' +
               std::to_string(g.width()) + 'x' + std::to_string(g.height());
  }
  return std::string(kProgramKey) + "\\Window\\" + (screens.empty() ? "none" : screens);
}

}  // namespace

void MainFormWindow::RestoreWindowPlace() {
  SettingsStore& store = form_->settings;
  const std::string key = WindowPlaceKey();
  const auto read = [&](const char* name) { return store.ReadInteger(key, name); };
  const auto x = read("Left"), y = read("Top"), w = read("Width"), h = read("Height");
  QScreen* primary = QGuiApplication::primaryScreen();
  const QRect available =
      primary != nullptr ? primary->availableGeometry() : QRect(0, 0, 1410, 960);
  QRect place;
  if (x && y && w && h && *w >= 200 && *h >= 150) {
    place = QRect(*x, *y, *w, *h);
    // A place no screen shows any more (a screen gone under the same key) is not used.
    bool seen = false;
    for (const QScreen* screen : QGuiApplication::screens())
      seen = seen || screen->availableGeometry().intersects(place.adjusted(40, 40, -40, -40));
    if (!seen) place = QRect();
  }
  if (place.isNull()) {
    const QSize size(available.width() * 2 / 3, available.height() * 2 / 3);
    place = QRect(available.center() - QPoint(size.width() / 2, size.height() / 2), size);
  }
  resize(place.size());
  move(place.topLeft());
  if (read("Maximized").value_or(0) != 0) setWindowState(windowState() | Qt::WindowMaximized);
  if (const auto tree = read("Splitter"); tree && *tree > 50) {
    if (auto* splitter = findChild<QSplitter*>("Splitter1")) {
      splitter->setSizes({*tree, std::max(100, place.width() - *tree)});
    }
  }
}

void MainFormWindow::SaveWindowPlace() {
  try {
    SettingsStore& store = form_->settings;
    const std::string key = WindowPlaceKey();
    const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    if (normal.isValid()) {
      store.WriteInteger(key, "Left", normal.x());
      store.WriteInteger(key, "Top", normal.y());
      store.WriteInteger(key, "Width", normal.width());
      store.WriteInteger(key, "Height", normal.height());
    }
    store.WriteInteger(key, "Maximized", isMaximized() ? 1 : 0);
    if (auto* splitter = findChild<QSplitter*>("Splitter1");
        splitter && !splitter->sizes().isEmpty())
      store.WriteInteger(key, "Splitter", splitter->sizes().first());
  } catch (const std::exception&) {
    // The place is a convenience: closing goes on without it.
  }
}

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
  SaveWindowPlace();
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
                         MessageText(283).arg(PathToQString(file)));
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
