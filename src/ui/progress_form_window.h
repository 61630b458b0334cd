#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

namespace orvenda {

// The shared progress window: borderless, on top of the other windows, centred on the
// screen, with a text label and a bar.
class ProgressFormWindow : public QWidget {
  Q_OBJECT
 public:
  explicit ProgressFormWindow(QWidget* parent = nullptr);

  QLabel* TextLabel() const { return text_label_; }
  QProgressBar* ProgressGauge() const { return gauge_; }

  void CentreOnScreen();

 private:
  QLabel* text_label_;
  QProgressBar* gauge_;
};

}  // namespace orvenda
