#include "named_widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

namespace orvenda {

QLabel* MakeLabel(QWidget* parent, const char* name, const char* utf8Caption) {
  auto* label = new QLabel(QString::fromUtf8(utf8Caption), parent);
  label->setObjectName(name);
  return label;
}

QToolButton* MakeSpeedButton(QWidget* parent, const char* name, const QIcon& icon) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setIcon(icon);
  button->setIconSize(QSize(16, 16));
  button->setAutoRaise(true);
  button->setFixedSize(26, 26);
  return button;
}

QPushButton* MakeButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon) {
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  button->setIcon(parent->style()->standardIcon(icon));
  return button;
}

QHBoxLayout* MakeOkCancelRow(QWidget* parent, const char* okName, const char* cancelName) {
  auto* ok = MakeButton(parent, okName, QStyle::SP_DialogOkButton);
  ok->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(MakeButton(parent, cancelName, QStyle::SP_DialogCancelButton));
  return row;
}

void StyleAsHeading(QLabel* label) {
  QFont big = label->font();
  big.setPointSize(big.pointSize() * 3);
  big.setBold(true);
  label->setFont(big);
  label->setAlignment(Qt::AlignCenter);
  label->setStyleSheet("color: #27608a;");
}

}  // namespace orvenda
