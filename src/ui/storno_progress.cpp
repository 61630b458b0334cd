#include "storno_progress.h"

#include <algorithm>

#include "qt_text.h"

namespace orvenda {

void StornoProgress::ShowProgress(const std::string& text, int maximum) {
  dialog_ = std::make_unique<QProgressDialog>(parent_);
  dialog_->setWindowModality(Qt::WindowModal);
  dialog_->setCancelButtonText(MessageText(273));
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setMinimumDuration(500);
  dialog_->setLabelText(FromCp1250(text));
  dialog_->setRange(0, std::max(1, maximum));
  dialog_->setValue(0);
  ThrowIfCanceled(*this);
}

void StornoProgress::SetProgress(int position) {
  if (dialog_ == nullptr) return;
  dialog_->setValue(std::clamp(position, dialog_->minimum(), dialog_->maximum()));
  ThrowIfCanceled(*this);
}

void StornoProgress::StepProgress() {
  if (dialog_ != nullptr) SetProgress(dialog_->value() + 1);
}

void StornoProgress::HideProgress() { dialog_.reset(); }

bool StornoProgress::Canceled() {
  if (dialog_ != nullptr && dialog_->wasCanceled()) canceled_ = true;
  return canceled_;
}

}  // namespace orvenda
