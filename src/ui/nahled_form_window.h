#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/dialogs.h"
#include "base/progress.h"
#include "form_binding.h"
#include "report_page_view.h"
#include "report_printing.h"
#include "reports/nahled_form.h"
#include "reports/print_setup.h"

namespace orvenda {

// The report preview ("Náhled sestavy") bound to the core's NahledForm. It is the form's
// browser too: it shows the page laid out by Qt's HTML engine, prints it through Qt's print dialog
// with the header and footer painted per page, and offers Qt's page-setup dialog. The printer
// object lives as long as the window, so the choices made in the dialogs hold for the run.
class NahledFormWindow : public QDialog, public ReportBrowser {
  Q_OBJECT
 public:
  NahledFormWindow(NahledForm& form, Dialogs& dialogs, Progress& progress,
                   const std::filesystem::path& languageFile, QWidget* parent = nullptr);
  ~NahledFormWindow() override;

  NahledForm& Form() { return form_; }
  ReportPageView* View() const { return view_; }
  QPrinter& Printer() { return *printer_; }
  void PushState();

  // ReportBrowser.
  void Navigate(const std::filesystem::path& page) override;
  bool Print(const PrintSetup& setup) override;
  std::optional<PrintSetup> ShowPageSetup(const PrintSetup& setup) override;

  // Writes the shown page to a PDF file with the run's print setup.
  void WritePdf(const std::filesystem::path& target);

  // A long page is shown with its first rows at once, then with ever more of its rows, and at
  // last whole; false until then. The first rows come from a page the form writes of them
  // alone; the whole page is built at the first step from the event loop. The longer pages
  // are laid out on a thread of their own and shown as they come, so that the window can be
  // read and scrolled meanwhile. The status line under the page says how far it is.
  // CompleteLayout waits for the rest; print and PDF wait for it, but a page longer than a
  // print part is printed in parts from its bytes and waits for its build only.
  bool LayoutComplete() const { return rest_.isEmpty() && !awaitingPage_; }
  void CompleteLayout();
  // Rows of a long page shown before the rest is laid out, and the factor by which the rows
  // shown grow at each step of the layout: the steps add an eighth to the work.
  static constexpr int kFirstScreenRows = 200;
  static constexpr int kLayoutGrowth = 8;
  // The table rows shown while the layout is not complete, and the page's rows.
  int ShownRows() const { return shownRows_; }
  int PageRows() const { return pageRows_; }
  QLabel* LayoutStatus() const { return status_; }

  // Where print and PDF cut a long page into parts.
  PrintParts printParts;

  // Test hook: runs instead of the print dialog's exec (true = accepted).
  std::function<bool(QDialog&)> execDialog;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool ExecDialog(QDialog& dialog);
  // A new page starts at its top; more of the same page keeps the place scrolled to.
  void ShowDocument(std::unique_ptr<QTextDocument> document, bool keepPlace = true);
  void NextLayoutStep();
  // Lays the page out on a thread from its first `rows` rows on, growing eightfold, at the
  // view's width; each layout is shown as it comes (TakeLaidOutPage).
  void StartLayoutJob(int rows);
  void TakeLaidOutPage();
  // Cancels the layout thread's work; it ends after the layout it is at.
  void StopLayoutJob();
  void WidthChanged();
  // Has the form build the whole page when only its first rows are shown, and reads it.
  void LoadWholePage();
  // Builds the whole page; true when it is printed in parts, from page_bytes_.
  bool PrintedInParts();
  void ScheduleLayoutStep(int delayMs = 0);
  void ShowLayoutStatus();

  NahledForm& form_;
  Dialogs& dialogs_;
  Progress& progress_;
  ReportPageView* view_ = nullptr;
  QMenuBar* menu_bar_ = nullptr;
  std::unique_ptr<QPrinter> printer_;
  std::filesystem::path page_;
  QByteArray rest_;        // the whole page while only its first rows are shown
  QByteArray page_bytes_;  // the whole page, once read
  struct LayoutJob;
  std::shared_ptr<LayoutJob> job_;
  // Layout threads, the current one last; a canceled one is kept until it has ended.
  std::vector<std::unique_ptr<QThread>> threads_;
  // The form has written only the first rows; shownHead_ is what the view shows of them.
  bool awaitingPage_ = false;
  QByteArray shownHead_;
  bool exposeWaited_ = false;
  int shownRows_ = 0;
  int pageRows_ = 0;
  QLabel* status_ = nullptr;
  QTimer* layoutTimer_ = nullptr;
  FormBinding binding_;
  bool shown_ = false;
};

}  // namespace orvenda
