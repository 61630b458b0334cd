#include "qt_progress.h"

#include <QApplication>
#include <QCursor>

#include "qt_text.h"

namespace orvenda {
namespace {

// Pending paint and timer events run, but the user's clicks and keys wait until the command
// is over: a command must not start inside another one.
void RunPendingEvents() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

}  // namespace

QtProgress::QtProgress(ProgressFormWindow* window) : window_(window) { since_refresh_.start(); }

QtProgress::~QtProgress() {
  if (shown_) QApplication::restoreOverrideCursor();
  while (busy_ > 0) {
    QApplication::restoreOverrideCursor();
    --busy_;
  }
}

void QtProgress::ShowProgress(const std::string& text, int maximum) {
  position_ = 0;
  window_->ProgressGauge()->setRange(0, std::max(0, maximum));
  window_->ProgressGauge()->setValue(0);
  window_->TextLabel()->setText(FromCp1250(text));
  if (!shown_) {
    shown_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  window_->CentreOnScreen();
  window_->show();
  window_->raise();
  Refresh(true);
}

void QtProgress::SetProgress(int position) {
  position_ = position;
  Refresh(false);
}

void QtProgress::StepProgress() {
  ++position_;
  Refresh(false);
}

void QtProgress::HideProgress() {
  window_->hide();
  if (shown_) {
    shown_ = false;
    QApplication::restoreOverrideCursor();
  }
}

void QtProgress::BeginBusy() {
  ++busy_;
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtProgress::EndBusy() {
  if (busy_ == 0) return;
  --busy_;
  QApplication::restoreOverrideCursor();
}

void QtProgress::ProcessEvents() {
  if (interval_ms_ > 0 && since_refresh_.elapsed() < interval_ms_) return;
  since_refresh_.restart();
  RunPendingEvents();
}

void QtProgress::Refresh(bool force) {
  if (!force && interval_ms_ > 0 && since_refresh_.elapsed() < interval_ms_) return;
  since_refresh_.restart();
  QProgressBar* gauge = window_->ProgressGauge();
  gauge->setValue(std::clamp(position_, gauge->minimum(), gauge->maximum()));
  if (window_->isVisible()) window_->repaint();
  ++repaints_;
  RunPendingEvents();
}

}  // namespace orvenda
