#pragma once

#include <QProgressDialog>
#include <QWidget>
#include <memory>
#include <string>

#include "base/progress.h"

namespace orvenda {

// A progress with "Storno" for long writes and prints started from a window: a dialog modal
// to that window, shown once the work takes half a second. Canceled() answers the button,
// and the next step after it throws ProgressCanceled, so that work which never asks stops
// too. The hourglass and pending events go to the program's progress.
class StornoProgress : public Progress {
 public:
  StornoProgress(QWidget* parent, Progress& window) : parent_(parent), window_(window) {}

  void ShowProgress(const std::string& text, int maximum) override;
  void SetProgress(int position) override;
  void StepProgress() override;
  void HideProgress() override;
  void BeginBusy() override { window_.BeginBusy(); }
  void EndBusy() override { window_.EndBusy(); }
  void ProcessEvents() override { window_.ProcessEvents(); }
  bool Canceled() override;

  // The dialog while shown, for tests.
  QProgressDialog* Dialog() const { return dialog_.get(); }

 private:
  QWidget* parent_;
  Progress& window_;
  std::unique_ptr<QProgressDialog> dialog_;
  bool canceled_ = false;  // the button stays pressed for the rest of the operation
};

}  // namespace orvenda
