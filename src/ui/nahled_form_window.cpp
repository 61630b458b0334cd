#include "nahled_form_window.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPointer>
#include <QPrintDialog>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "base/cp1250.h"
#include "base/messages.h"
#include "command_guard.h"
#include "named_widgets.h"
#include "page_setup_dialog.h"
#include "qt_dialogs.h"
#include "qt_text.h"
#include "qt_translation.h"
#include "report_printing.h"
#include "storno_progress.h"

namespace orvenda {
namespace {

// "Rozloženo %1 z %2 řádků sestavy...": the status while a long page is laid out.
constexpr int kLayoutStatusMessage = 334;
// How long the whole page's build waits at most for the window to be on the screen.
constexpr int kExposeWaitMs = 500;

}  // namespace

NahledFormWindow::NahledFormWindow(NahledForm& form, Dialogs& dialogs, Progress& progress,
                                   const std::filesystem::path& languageFile, QWidget* parent)
    : QDialog(parent),
      form_(form),
      dialogs_(dialogs),
      progress_(progress),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)),
      // The form reports no changes: every command's outcome is pushed here.
      binding_(this, [this] { PushState(); }) {
  setObjectName("NahledForm");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setSizeGripEnabled(true);
  setMinimumSize(400, 150);
  resize(900, 640);

  menu_bar_ = new QMenuBar(this);
  menu_bar_->setObjectName("MainMenu1");
  const auto addMenu = [this](const char* name, std::initializer_list<const char*> items) {
    auto* menu = new QMenu(menu_bar_);
    menu->setObjectName(name);
    menu_bar_->addMenu(menu);
    for (const char* item : items) {
      if (item == nullptr) {
        menu->addSeparator();
      } else {
        menu->addAction(QString())->setObjectName(item);
      }
    }
  };
  addMenu("Soubor1", {"Export1", "ExportPdf1", nullptr, "Vzhledstrnky1"});
  addMenu("Vzhledsestavy1", {"Upravit1"});

  view_ = new QTextBrowser(this);
  view_->setObjectName("EmbeddedWB1");
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  view_->setOpenLinks(false);  // the page has no links of its own to follow
  view_->setFont(ReportFont());
  // The page's own wrapping (whole words), which a document set on the view would lose.
  view_->setWordWrapMode(QTextOption::WordWrap);
  // A scroll bar that comes and goes would make Qt lay a long page out once more at the other
  // width: half the time of showing a big report.
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* bar = new QHBoxLayout;
  for (const char* name : {"OnlySelectCheckBox", "SortedCheckBox"}) {
    auto* box = new QCheckBox(this);
    box->setObjectName(name);
    bar->addWidget(box);
  }
  status_ = new QLabel(this);
  status_->setObjectName("LayoutStatus");
  status_->hide();
  bar->addWidget(status_);
  bar->addStretch();
  auto* print = MakeButton(this, "BitBtn2", QStyle::SP_FileDialogDetailedView);
  print->setAutoDefault(false);
  auto* close = MakeButton(this, "BitBtn1", QStyle::SP_DialogCloseButton);
  close->setAutoDefault(false);
  bar->addWidget(print);
  bar->addWidget(close);
  using F = NahledForm;
  binding_.BindAll(form_.Controls(),
                   FormBinding::Calls(form_, {{"Export1", &F::Export1Click},
                                              {"ExportPdf1", &F::ExportPdf1Click},
                                              {"Vzhledstrnky1", &F::Vzhledstrnky1Click},
                                              {"Upravit1", &F::Upravit1Click},
                                              {"OnlySelectCheckBox", &F::OnlySelectCheckBoxClick},
                                              {"SortedCheckBox", &F::SortedCheckBoxClick},
                                              {"BitBtn2", &F::BitBtn2Click}}));
  binding_.BindCaption(form_.Caption);
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
  binding_.Translate(languageFile);

  form_.FirstRows = kFirstScreenRows;
  form_.browser = this;
  form_.dialogs = &dialogs_;
  form_.ShowModal = [this] { exec(); };
  form_.OnPageWritten = [this](const std::filesystem::path& page) { Navigate(page); };
  form_.WritePdf = [this](const std::filesystem::path& target) { WritePdf(target); };
}

NahledFormWindow::~NahledFormWindow() {
  form_.FirstRows = 0;
  form_.browser = nullptr;
  form_.dialogs = nullptr;
  form_.ShowModal = nullptr;
  form_.OnPageWritten = nullptr;
  form_.WritePdf = nullptr;
}

void NahledFormWindow::PushState() { binding_.Push(); }

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
    rest_.clear();
    awaitingPage_ = false;
    shownHead_.clear();
    ShowLayoutStatus();
  }
  QDialog::done(result);
}

void NahledFormWindow::Navigate(const std::filesystem::path& page) {
  QByteArray bytes = ReadReportPage(page);
  page_ = page;
  rest_.clear();
  QByteArray head = ReportPageHead(bytes, kFirstScreenRows);
  // The whole page after its first rows alone begins with the same rows: they stay shown.
  const bool headShown = awaitingPage_ && !head.isEmpty() && head == shownHead_;
  awaitingPage_ = false;
  shownHead_.clear();
  auto document = std::make_unique<QTextDocument>();
  if (!form_.PageComplete()) {
    // Only the first rows are written; the first step from the event loop builds the rest.
    SetReportDocument(*document, head.isEmpty() ? bytes : head);
    ShowDocument(std::move(document));
    awaitingPage_ = true;
    shownHead_ = std::move(head);
    shownRows_ = kFirstScreenRows;
    exposeWaited_ = false;
    ShowLayoutStatus();
    ScheduleLayoutStep();
    return;
  }
  if (head.isEmpty()) {
    progress_.ShowProgress(Msg(292), 0);
    struct Hide {
      Progress& progress;
      ~Hide() { progress.HideProgress(); }
    } hide{progress_};
    SetReportDocument(*document, bytes);
    ShowDocument(std::move(document));
    ShowLayoutStatus();
    return;
  }
  // The first screen needs only the first rows: they are shown now, and ever more of the
  // page replaces them from the event loop, so that the window can be read and scrolled
  // meanwhile. Qt lays a table out as one piece, so each step lays its rows out anew; the
  // rows grow eightfold, which keeps the steps' sum within an eighth more than the page.
  if (!headShown) {
    SetReportDocument(*document, head);
    ShowDocument(std::move(document));
  }
  rest_ = std::move(bytes);
  shownRows_ = kFirstScreenRows;
  pageRows_ = ReportPageRows(rest_);
  ShowLayoutStatus();
  ScheduleLayoutStep();
}

void NahledFormWindow::ScheduleLayoutStep(int delayMs) {
  // One timer: a page written anew meanwhile (the other order) starts its own steps.
  if (layoutTimer_ == nullptr) {
    layoutTimer_ = new QTimer(this);
    layoutTimer_->setSingleShot(true);
    connect(layoutTimer_, &QTimer::timeout, this, [this] {
      if (!LayoutComplete()) RunCommand([this] { NextLayoutStep(); });
    });
  }
  layoutTimer_->start(delayMs);
}

void NahledFormWindow::NextLayoutStep() {
  if (awaitingPage_) {
    // The build holds the event loop: the first rows must be on the screen before it starts.
    // A window not yet on the screen is waited for (its expose event), but not for ever.
    QWindow* handle = window()->windowHandle();
    if (handle != nullptr && !handle->isExposed() && !exposeWaited_) {
      exposeWaited_ = true;
      handle->removeEventFilter(this);
      handle->installEventFilter(this);
      ScheduleLayoutStep(kExposeWaitMs);
      return;
    }
    view_->viewport()->repaint();
    LoadWholePage();  // its Navigate schedules the steps of the layout
    return;
  }
  if (rest_.isEmpty()) return;
  const int rows = shownRows_ * kLayoutGrowth;
  if (rows >= pageRows_ || !ShowRows(rows)) {
    CompleteLayout();
    return;
  }
  ScheduleLayoutStep();
}

bool NahledFormWindow::ShowRows(int rows) {
  const QByteArray head = ReportPageHead(rest_, rows);
  if (head.isEmpty()) return false;
  auto document = std::make_unique<QTextDocument>();
  SetReportDocument(*document, head);
  const int position = view_->verticalScrollBar()->value();
  ShowDocument(std::move(document));
  view_->verticalScrollBar()->setValue(position);
  shownRows_ = rows;
  ShowLayoutStatus();
  return true;
}

void NahledFormWindow::ShowLayoutStatus() {
  if (rest_.isEmpty()) {
    status_->hide();
    return;
  }
  status_->setText(MessageText(kLayoutStatusMessage).arg(shownRows_).arg(pageRows_));
  status_->show();
}

bool NahledFormWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Expose && awaitingPage_ && watched == window()->windowHandle() &&
      window()->windowHandle()->isExposed()) {
    ScheduleLayoutStep();
  }
  return QDialog::eventFilter(watched, event);
}

void NahledFormWindow::LoadWholePage() {
  if (!awaitingPage_) return;
  form_.CompletePage();
  // Written whole before but never read (the reading failed): read it now, or fail again.
  if (awaitingPage_) Navigate(form_.ReportPagePath());
}

void NahledFormWindow::CompleteLayout() {
  LoadWholePage();
  if (rest_.isEmpty()) return;
  view_->viewport()->repaint();  // the first rows stay readable while the rest is laid out
  progress_.ShowProgress(Msg(292), 0);
  struct Hide {
    Progress& progress;
    ~Hide() { progress.HideProgress(); }
  } hide{progress_};
  const QByteArray page = std::move(rest_);
  rest_.clear();
  auto document = std::make_unique<QTextDocument>();
  SetReportDocument(*document, page);
  const int position = view_->verticalScrollBar()->value();
  ShowDocument(std::move(document));
  view_->verticalScrollBar()->setValue(position);
  ShowLayoutStatus();
}

void NahledFormWindow::ShowDocument(std::unique_ptr<QTextDocument> document) {
  // Parsed away from the view, the page is laid out once, by the view, at its width. A new
  // document's undefined page size would have it laid out once more before that, for the
  // view's layout object; an empty page size is not laid out.
  // The view deletes its own first document itself; the ones set here are the window's.
  const QPointer<QTextDocument> old = view_->document();
  document->setPageSize(QSizeF(0, 0));
  document->setParent(view_);
  view_->setDocument(document.release());
  if (!old.isNull() && old->parent() == view_) delete old.data();
}

bool NahledFormWindow::ExecDialog(QDialog& dialog) {
  if (execDialog) return execDialog(dialog);
  return dialog.exec() == QDialog::Accepted;
}

bool NahledFormWindow::Print(const PrintSetup& setup) {
  CompleteLayout();
  ApplyPrintSetup(*printer_, setup);
  printer_->setDocName(view_->documentTitle());
  QPrintDialog dialog(printer_.get(), this);
  dialog.setObjectName("PrintDialog");
  if (!ExecDialog(dialog)) return false;
  // What the print dialog changed (printer, paper, margins) holds for this print.
  StornoProgress storno(this, progress_);
  try {
    // "Print to file" is written as "Uložit jako PDF" is: whole, or the earlier file stays.
    if (const QString file = printer_->outputFileName(); !file.isEmpty()) {
      PrintReportIntoFile(*view_->document(), *printer_, setup, PageAddress(page_),
                          QStringToPath(file), storno);
    } else {
      PrintReportDocument(*view_->document(), *printer_, setup, PageAddress(page_), storno);
    }
  } catch (const ProgressCanceled&) {
    return false;
  }
  return true;
}

std::optional<PrintSetup> NahledFormWindow::ShowPageSetup(const PrintSetup& setup) {
  PageSetupDialog dialog(setup, this);
  if (!ExecDialog(dialog)) return std::nullopt;
  return dialog.Setup();
}

void NahledFormWindow::WritePdf(const std::filesystem::path& target) {
  CompleteLayout();
  StornoProgress storno(this, progress_);
  try {
    WriteReportPdf(*view_->document(), form_.CurrentPrintSetup(), PageAddress(page_), target,
                   storno);
  } catch (const ProgressCanceled&) {
    // Stopped: no file written, an earlier one kept.
  }
}

}  // namespace orvenda
