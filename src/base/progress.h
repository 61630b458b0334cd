#pragma once

#include <string>

namespace orvenda {

// The shared progress window, the hourglass cursor and "let pending messages run". The Qt
// window implements it with ProgressForm; tests record the calls.
class Progress {
 public:
  virtual ~Progress() = default;

  virtual void ShowProgress(const std::string& text, int maximum) = 0;
  virtual void SetProgress(int position) = 0;
  virtual void StepProgress() = 0;
  virtual void HideProgress() = 0;

  // The hourglass cursor for the application; calls nest.
  virtual void BeginBusy() = 0;
  virtual void EndBusy() = 0;
  // Lets pending window messages run (repaint) during a long operation.
  virtual void ProcessEvents() = 0;
  // True once the user has pressed "Storno" of the shown progress. Long writes and prints
  // ask between their steps and stop with ProgressCanceled; a progress without the button
  // never answers true.
  virtual bool Canceled() { return false; }
};

// Thrown by an operation stopped with "Storno": the command ends without a message, and
// what the operation would have replaced stays as it was.
struct ProgressCanceled {};

inline void ThrowIfCanceled(Progress& progress) {
  if (progress.Canceled()) throw ProgressCanceled{};
}

// Hourglass for the length of a scope, also when the command fails.
class BusyCursor {
 public:
  explicit BusyCursor(Progress& progress) : progress_(progress) { progress_.BeginBusy(); }
  ~BusyCursor() { progress_.EndBusy(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  Progress& progress_;
};

// A Progress that does nothing, for batch commands without a window.
class NullProgress : public Progress {
 public:
  void ShowProgress(const std::string&, int) override {}
  void SetProgress(int) override {}
  void StepProgress() override {}
  void HideProgress() override {}
  void BeginBusy() override {}
  void EndBusy() override {}
  void ProcessEvents() override {}
};

}  // namespace orvenda
