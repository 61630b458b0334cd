#pragma once

#include <QElapsedTimer>

#include "base/progress.h"
#include "progress_form_window.h"

namespace orvenda {

// The progress seam on ProgressForm and the application's override cursor. Repainting and
// running pending events are rationed by time: a build of 100 000 records steps the bar
// 100 000 times but repaints only a few dozen times a second.
class QtProgress : public Progress {
 public:
  explicit QtProgress(ProgressFormWindow* window);
  ~QtProgress() override;

  void ShowProgress(const std::string& text, int maximum) override;
  void SetProgress(int position) override;
  void StepProgress() override;
  void HideProgress() override;
  void BeginBusy() override;
  void EndBusy() override;
  void ProcessEvents() override;

  // Milliseconds between two repaints; 0 repaints at every step (tests).
  void SetRepaintInterval(int ms) { interval_ms_ = ms; }
  int Repaints() const { return repaints_; }

 private:
  void Refresh(bool force);

  ProgressFormWindow* window_;
  QElapsedTimer since_refresh_;
  int interval_ms_ = 40;
  int repaints_ = 0;
  int position_ = 0;
  bool shown_ = false;
  int busy_ = 0;
};

}  // namespace orvenda
