#include "progress_form_window.h"

#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace orvenda {

ProgressFormWindow::ProgressFormWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("ProgressForm");
  setWindowModality(Qt::NonModal);
  setAttribute(Qt::WA_ShowWithoutActivating);

  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Raised);
  frame->setLineWidth(1);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(frame);

  text_label_ = new QLabel(frame);
  text_label_->setObjectName("TextLabel");
  text_label_->setAlignment(Qt::AlignCenter);
  gauge_ = new QProgressBar(frame);
  gauge_->setObjectName("ProgressGauge");
  gauge_->setMinimum(0);
  gauge_->setTextVisible(false);

  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(16, 12, 16, 12);
  layout->setSpacing(8);
  layout->addWidget(text_label_);
  layout->addWidget(gauge_);
  setFixedSize(360, 80);
}

void ProgressFormWindow::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  move(area.center() - QPoint(width() / 2, height() / 2));
}

}  // namespace orvenda
