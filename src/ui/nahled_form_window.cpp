#include "nahled_form_window.h"

#include <QAbstractEventDispatcher>
#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPointer>
#include <QPrintDialog>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <atomic>
#include <deque>
#include <mutex>

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

// Readies a document laid out on this thread for the GUI thread. Its lines keep the font
// engines they were shaped with, and those belong to this thread and end with it: the lines
// let go of them, and are shaped again with the GUI thread's when painted. The layout's
// timers are this thread's too: they run out here.
void LeaveThread(QTextDocument& document) {
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (QTextLayout* layout = block.layout()) layout->setFont(layout->font());
  }
  QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
  for (int i = 0; i < 100 && dispatcher != nullptr &&
                  !dispatcher->registeredTimers(document.documentLayout()).isEmpty();
       ++i) {
    dispatcher->processEvents(QEventLoop::AllEvents);
  }
}

}  // namespace

// A page laid out for the view on a thread of its own, in ever longer heads. Each layout is
// handed over to the GUI thread in the order made; a canceled job hands over nothing more.
struct NahledFormWindow::LayoutJob {
  QByteArray page;
  int pageRows = 0;
  int firstRows = 0;
  int width = 0;
  QFont font;
  QThread* gui = nullptr;
  std::atomic<bool> whole{false};  // skip to the whole page
  std::mutex mutex;
  bool canceled = false;
  bool failed = false;
  std::deque<std::pair<int, std::unique_ptr<QTextDocument>>> done;  // rows, layout

  void Run(NahledFormWindow* window) {
    try {
      for (int rows = firstRows;; rows *= kLayoutGrowth) {
        if (whole || rows >= pageRows) rows = pageRows;
        const QByteArray head = rows < pageRows ? ReportPageHead(page, rows) : QByteArray();
        if (head.isEmpty()) rows = pageRows;
        auto document = std::make_unique<QTextDocument>();
        SetReportDocument(*document, head.isEmpty() ? page : head, font);
        ReportPageView::LayOut(*document, width);
        LeaveThread(*document);
        {
          const std::lock_guard lock(mutex);
          if (canceled) return;
          document->moveToThread(gui);
          done.emplace_back(rows, std::move(document));
        }
        QMetaObject::invokeMethod(
            window, [window] { window->TakeLaidOutPage(); }, Qt::QueuedConnection);
        if (rows == pageRows) return;
      }
    } catch (...) {
      const std::lock_guard lock(mutex);
      failed = true;
    }
    QMetaObject::invokeMethod(
        window, [window] { window->TakeLaidOutPage(); }, Qt::QueuedConnection);
  }
};

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

  view_ = new ReportPageView(this);
  view_->setObjectName("EmbeddedWB1");
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  view_->setFont(ReportFont());
  // A scroll bar that comes and goes would lay a long page out once more at the other width.
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  connect(view_, &ReportPageView::WidthChanged, this, &NahledFormWindow::WidthChanged);

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
  StopLayoutJob();
  for (const auto& thread : threads_) thread->wait();
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
    StopLayoutJob();
    view_->Clear();
    page_.clear();
    page_bytes_.clear();
    rest_.clear();
    awaitingPage_ = false;
    shownHead_.clear();
    ShowLayoutStatus();
  }
  QDialog::done(result);
}

void NahledFormWindow::Navigate(const std::filesystem::path& page) {
  QByteArray bytes = ReadReportPage(page);
  StopLayoutJob();
  page_ = page;
  page_bytes_.clear();
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
    ShowDocument(std::move(document), /*keepPlace=*/false);
    awaitingPage_ = true;
    shownHead_ = std::move(head);
    shownRows_ = kFirstScreenRows;
    exposeWaited_ = false;
    ShowLayoutStatus();
    ScheduleLayoutStep();
    return;
  }
  page_bytes_ = bytes;
  pageRows_ = ReportPageRows(bytes);
  if (head.isEmpty()) {
    progress_.ShowProgress(Msg(292), 0);
    struct Hide {
      Progress& progress;
      ~Hide() { progress.HideProgress(); }
    } hide{progress_};
    SetReportDocument(*document, bytes);
    ShowDocument(std::move(document), /*keepPlace=*/false);
    ShowLayoutStatus();
    return;
  }
  // The first screen needs only the first rows: they are shown now, and ever more of the
  // page replaces them as a thread lays it out, so that the window can be read and scrolled
  // meanwhile. Qt lays a table out as one piece, so each step lays its rows out anew; the
  // rows grow eightfold, which keeps the steps' sum within an eighth more than the page.
  if (!headShown) {
    SetReportDocument(*document, head);
    ShowDocument(std::move(document), /*keepPlace=*/false);
  }
  rest_ = std::move(bytes);
  shownRows_ = kFirstScreenRows;
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
  if (rest_.isEmpty() || job_) return;
  StartLayoutJob(shownRows_ * kLayoutGrowth);
}

void NahledFormWindow::StartLayoutJob(int rows) {
  StopLayoutJob();
  std::erase_if(threads_, [](const auto& thread) { return thread->isFinished(); });
  job_ = std::make_shared<LayoutJob>();
  job_->page = page_bytes_;
  job_->pageRows = std::max(1, pageRows_);
  job_->firstRows = std::max(1, rows);
  job_->width = view_->Width();
  job_->font = ReportFont();
  job_->gui = thread();
  std::unique_ptr<QThread> worker(QThread::create([job = job_, this] { job->Run(this); }));
  worker->start(QThread::LowPriority);
  threads_.push_back(std::move(worker));
}

void NahledFormWindow::StopLayoutJob() {
  if (!job_) return;
  std::deque<std::pair<int, std::unique_ptr<QTextDocument>>> done;
  {
    const std::lock_guard lock(job_->mutex);
    job_->canceled = true;
    done.swap(job_->done);  // laid out for the GUI thread: deleted here
  }
  job_.reset();
}

void NahledFormWindow::TakeLaidOutPage() {
  if (!job_) return;
  std::unique_ptr<QTextDocument> document;
  int rows = 0;
  bool failed = false;
  {
    const std::lock_guard lock(job_->mutex);
    if (!job_->done.empty()) {
      rows = job_->done.front().first;
      document = std::move(job_->done.front().second);
      job_->done.pop_front();
    }
    failed = job_->failed && job_->done.empty() && !document;
  }
  if (failed) {
    // Out of memory on the thread, say: the rest is laid out here, with the progress window.
    StopLayoutJob();
    if (!rest_.isEmpty()) ScheduleLayoutStep();
    return;
  }
  if (!document) return;
  ShowDocument(std::move(document));
  if (!rest_.isEmpty()) shownRows_ = rows;
  if (rows >= job_->pageRows) {
    job_.reset();
    rest_.clear();
  }
  ShowLayoutStatus();
}

void NahledFormWindow::WidthChanged() {
  // A page laid out at the old width stays shown until the new layout is there.
  if (!job_ && (page_bytes_.isEmpty() || pageRows_ <= kFirstScreenRows)) {
    view_->LayOutAgain();
    return;
  }
  if (view_->document() == nullptr) return;
  StartLayoutJob(rest_.isEmpty() ? pageRows_ : shownRows_);
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
  if (job_) {
    job_->whole = true;
    threads_.back()->wait();
    // Only the last layout counts; the ones before it are deleted unseen.
    while (job_ && !rest_.isEmpty()) {
      bool more = false;
      {
        const std::lock_guard lock(job_->mutex);
        while (job_->done.size() > 1) job_->done.pop_front();
        more = !job_->done.empty() || job_->failed;
      }
      if (!more) break;
      TakeLaidOutPage();
    }
    StopLayoutJob();
    if (rest_.isEmpty()) return;
  }
  const QByteArray page = std::move(rest_);
  rest_.clear();
  auto document = std::make_unique<QTextDocument>();
  SetReportDocument(*document, page);
  ShowDocument(std::move(document));
  ShowLayoutStatus();
}

void NahledFormWindow::ShowDocument(std::unique_ptr<QTextDocument> document, bool keepPlace) {
  view_->SetDocument(std::move(document), keepPlace);
}

bool NahledFormWindow::ExecDialog(QDialog& dialog) {
  if (execDialog) return execDialog(dialog);
  return dialog.exec() == QDialog::Accepted;
}

bool NahledFormWindow::PrintedInParts() {
  // A long page is printed a part at a time from its bytes: the view's layout is not
  // waited for, and it never holds the whole page's layout twice.
  LoadWholePage();
  return !page_bytes_.isEmpty() && ReportPrintedInParts(page_bytes_, printParts);
}

bool NahledFormWindow::Print(const PrintSetup& setup) {
  const bool inParts = PrintedInParts();
  if (!inParts) CompleteLayout();
  ApplyPrintSetup(*printer_, setup);
  printer_->setDocName(inParts ? ReportPageTitle(page_bytes_) : view_->documentTitle());
  QPrintDialog dialog(printer_.get(), this);
  dialog.setObjectName("PrintDialog");
  if (!ExecDialog(dialog)) return false;
  // What the print dialog changed (printer, paper, margins) holds for this print.
  StornoProgress storno(this, progress_);
  try {
    // Print to a file is written as the PDF export is: whole, or the earlier file stays.
    const std::string address = PageAddress(page_);
    if (const QString file = printer_->outputFileName(); !file.isEmpty()) {
      if (inParts) {
        PrintReportPageIntoFile(page_bytes_, *printer_, setup, address, QStringToPath(file), storno,
                                printParts);
      } else {
        PrintReportIntoFile(*view_->document(), *printer_, setup, address, QStringToPath(file),
                            storno);
      }
    } else if (inParts) {
      PrintReportPage(page_bytes_, *printer_, setup, address, storno, printParts);
    } else {
      PrintReportDocument(*view_->document(), *printer_, setup, address, storno);
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
  const bool inParts = PrintedInParts();
  if (!inParts) CompleteLayout();
  StornoProgress storno(this, progress_);
  try {
    if (inParts) {
      WriteReportPagePdf(page_bytes_, form_.CurrentPrintSetup(), PageAddress(page_), target, storno,
                         printParts);
    } else {
      WriteReportPdf(*view_->document(), form_.CurrentPrintSetup(), PageAddress(page_), target,
                     storno);
    }
  } catch (const ProgressCanceled&) {
    // Stopped: no file written, an earlier one kept.
  }
}

}  // namespace orvenda
