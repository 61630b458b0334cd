#include "nahled_form_window.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPrintDialog>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

#include "base/cp1250.h"
#include "command_guard.h"
#include "page_setup_dialog.h"
#include "qt_text.h"
#include "qt_translation.h"
#include "report_printing.h"

namespace orvenda {
namespace {

Control* FindControl(const NahledForm& form, std::string_view name) {
  for (const auto& [controlName, control] : form.Controls()) {
    if (controlName == name) return control;
  }
  return nullptr;
}

}  // namespace

NahledFormWindow::NahledFormWindow(NahledForm& form, Dialogs& dialogs, Progress& progress,
                                   const std::filesystem::path& languageFile, QWidget* parent)
    : QDialog(parent),
      form_(form),
      dialogs_(dialogs),
      progress_(progress),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  setObjectName("NahledForm");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setSizeGripEnabled(true);
  setMinimumSize(400, 150);
  resize(900, 640);

  menu_bar_ = new QMenuBar(this);
  menu_bar_->setObjectName("MainMenu1");
  const auto addMenu = [this](const char* name) {
    auto* menu = new QMenu(menu_bar_);
    menu->setObjectName(name);
    menu_bar_->addMenu(menu);
    bindings_.push_back({FindControl(form_, name), menu, Kind::Menu});
    return menu;
  };
  const auto addAction = [this](QMenu* menu, const char* name, void (NahledForm::*handler)()) {
    auto* action = new QAction(menu);
    action->setObjectName(name);
    menu->addAction(action);
    bindings_.push_back({FindControl(form_, name), action, Kind::Action});
    connect(action, &QAction::triggered, this, [this, handler] {
      RunCommand([this, handler] { (form_.*handler)(); });
      PushState();
    });
  };
  QMenu* soubor = addMenu("Soubor1");
  addAction(soubor, "Export1", &NahledForm::Export1Click);
  addAction(soubor, "ExportPdf1", &NahledForm::ExportPdf1Click);
  soubor->addSeparator();
  addAction(soubor, "Vzhledstrnky1", &NahledForm::Vzhledstrnky1Click);
  QMenu* vzhled = addMenu("Vzhledsestavy1");
  addAction(vzhled, "Upravit1", &NahledForm::Upravit1Click);

  view_ = new QTextBrowser(this);
  view_->setObjectName("EmbeddedWB1");
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  view_->setOpenLinks(false);  // the page has no links of its own to follow
  view_->setFont(ReportFont());
  // A scroll bar that comes and goes would make Qt lay a long page out once more at the other
  // width: half the time of showing a big report.
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* bar = new QHBoxLayout;
  const auto addCheck = [this, bar](const char* name, void (NahledForm::*handler)()) {
    auto* box = new QCheckBox(this);
    box->setObjectName(name);
    bar->addWidget(box);
    Control* control = FindControl(form_, name);
    bindings_.push_back({control, box, Kind::CheckBox});
    connect(box, &QCheckBox::toggled, this, [this, control, handler](bool on) {
      control->checked = on;
      RunCommand([this, handler] { (form_.*handler)(); });
      PushState();
    });
  };
  addCheck("OnlySelectCheckBox", &NahledForm::OnlySelectCheckBoxClick);
  addCheck("SortedCheckBox", &NahledForm::SortedCheckBoxClick);
  bar->addStretch();
  auto* print = new QPushButton(this);
  print->setObjectName("BitBtn2");
  print->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
  print->setAutoDefault(false);
  auto* close = new QPushButton(this);
  close->setObjectName("BitBtn1");
  close->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  close->setAutoDefault(false);
  bar->addWidget(print);
  bar->addWidget(close);
  bindings_.push_back({&form_.BitBtn2, print, Kind::Button});
  bindings_.push_back({&form_.BitBtn1, close, Kind::Button});
  connect(print, &QPushButton::clicked, this, [this] {
    RunCommand([this] { form_.BitBtn2Click(); });
    PushState();
  });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  auto* printKey = new QShortcut(QKeySequence::Print, this);
  connect(printKey, &QShortcut::activated, print, [print] {
    if (print->isEnabled() && print->isVisible()) print->click();
  });
  auto* closeKey = new QShortcut(QKeySequence::Close, this);
  connect(closeKey, &QShortcut::activated, close, &QPushButton::click);

  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menu_bar_);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(view_, 1);
  layout->addLayout(bar);

  PushState();
  TranslateWindow(this, languageFile);
  PullCaptions();

  form_.browser = this;
  form_.dialogs = &dialogs_;
  form_.ShowModal = [this] { exec(); };
  form_.OnPageWritten = [this](const std::filesystem::path& page) { Navigate(page); };
  form_.WritePdf = [this](const std::filesystem::path& target) { WritePdf(target); };
}

NahledFormWindow::~NahledFormWindow() {
  form_.browser = nullptr;
  form_.dialogs = nullptr;
  form_.ShowModal = nullptr;
  form_.OnPageWritten = nullptr;
  form_.WritePdf = nullptr;
}

void NahledFormWindow::PushState() {
  setWindowTitle(FromCp1250(form_.Caption));
  for (const Binding& b : bindings_) {
    if (b.control == nullptr) continue;
    const Control& c = *b.control;
    const QSignalBlocker blocker(b.object);
    switch (b.kind) {
      case Kind::CheckBox: {
        auto* box = static_cast<QCheckBox*>(b.object);
        box->setText(FromCp1250(c.text));
        box->setChecked(c.checked);
        box->setEnabled(c.enabled);
        break;
      }
      case Kind::Button: {
        auto* button = static_cast<QPushButton*>(b.object);
        button->setText(FromCp1250(c.text));
        button->setEnabled(c.enabled);
        break;
      }
      case Kind::Action: {
        auto* action = static_cast<QAction*>(b.object);
        action->setText(FromCp1250(c.text));
        action->setEnabled(c.enabled);
        action->setVisible(c.visible);
        break;
      }
      case Kind::Menu:
        static_cast<QMenu*>(b.object)->setTitle(FromCp1250(c.text));
        break;
    }
  }
}

void NahledFormWindow::PullCaptions() {
  // The language file may have changed the widgets' texts; the form keeps them.
  form_.Caption = ToCp1250(windowTitle());
  for (const Binding& b : bindings_) {
    if (b.control == nullptr) continue;
    switch (b.kind) {
      case Kind::CheckBox:
      case Kind::Button:
        b.control->text = ToCp1250(static_cast<QAbstractButton*>(b.object)->text());
        break;
      case Kind::Action:
        b.control->text = ToCp1250(static_cast<QAction*>(b.object)->text());
        break;
      case Kind::Menu:
        b.control->text = ToCp1250(static_cast<QMenu*>(b.object)->title());
        break;
    }
  }
}

void NahledFormWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous() || shown_) return;
  shown_ = true;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  PushState();
  RunCommand([this] { form_.FormShow(form_.PendingSelection()); });
  PushState();
}

void NahledFormWindow::done(int result) {
  if (shown_) {
    shown_ = false;
    RunCommand([this] { form_.FormClose(); });
    view_->clear();
    page_.clear();
  }
  QDialog::done(result);
}

void NahledFormWindow::Navigate(const std::filesystem::path& page) {
  progress_.ShowProgress(W("Připravuji náhled"), 0);
  struct Hide {
    Progress& progress;
    ~Hide() { progress.HideProgress(); }
  } hide{progress_};
  LoadReportDocument(*view_->document(), page);
  page_ = page;
}

bool NahledFormWindow::ExecDialog(QDialog& dialog) {
  if (execDialog) return execDialog(dialog);
  return dialog.exec() == QDialog::Accepted;
}

bool NahledFormWindow::Print(const PrintSetup& setup) {
  ApplyPrintSetup(*printer_, setup);
  printer_->setDocName(view_->documentTitle());
  QPrintDialog dialog(printer_.get(), this);
  dialog.setObjectName("PrintDialog");
  if (!ExecDialog(dialog)) return false;
  // What the print dialog changed (printer, paper, margins) holds for this print.
  PrintReportDocument(*view_->document(), *printer_, setup, PageAddress(page_), progress_);
  return true;
}

std::optional<PrintSetup> NahledFormWindow::ShowPageSetup(const PrintSetup& setup) {
  PageSetupDialog dialog(setup, this);
  if (!ExecDialog(dialog)) return std::nullopt;
  return dialog.Setup();
}

void NahledFormWindow::WritePdf(const std::filesystem::path& target) {
  WriteReportPdf(*view_->document(), form_.CurrentPrintSetup(), PageAddress(page_), target,
                 progress_);
}

}  // namespace orvenda
