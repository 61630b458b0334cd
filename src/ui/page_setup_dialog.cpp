#include "page_setup_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPageSize>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "qt_text.h"

namespace orvenda {
namespace {

constexpr QPageSize::PageSizeId kPapers[] = {QPageSize::A4, QPageSize::A3, QPageSize::A5,
                                             QPageSize::Letter, QPageSize::Legal};

bool SameSize(const QSizeF& a, double width, double height) {
  return std::abs(a.width() - width) < 0.5 && std::abs(a.height() - height) < 0.5;
}

}  // namespace

PageSetupDialog::PageSetupDialog(const PrintSetup& setup, QWidget* parent)
    : QDialog(parent), base_(setup) {
  setObjectName("PageSetupDialog");
  setWindowTitle(MessageText(257));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* paperBox = new QGroupBox(MessageText(258), this);
  paper_ = new QComboBox(paperBox);
  paper_->setObjectName("PaperComboBox");
  for (const QPageSize::PageSizeId id : kPapers) {
    const QSizeF size = QPageSize::size(id, QPageSize::Millimeter);
    paper_->addItem(QPageSize::name(id), size);
    if (SameSize(size, setup.paperWidthMm, setup.paperHeightMm)) {
      paper_->setCurrentIndex(paper_->count() - 1);
    }
  }
  if (paper_->currentData().toSizeF() != QSizeF() &&
      !SameSize(paper_->currentData().toSizeF(), setup.paperWidthMm, setup.paperHeightMm)) {
    const QSizeF own(setup.paperWidthMm, setup.paperHeightMm);
    paper_->addItem(MessageText(259).arg(own.width()).arg(own.height()), own);
    paper_->setCurrentIndex(paper_->count() - 1);
  }
  auto* paperLayout = new QFormLayout(paperBox);
  paperLayout->addRow(MessageText(260), paper_);

  auto* orientationBox = new QGroupBox(MessageText(261), this);
  portrait_ = new QRadioButton(MessageText(262), orientationBox);
  portrait_->setObjectName("PortraitRadioButton");
  landscape_ = new QRadioButton(MessageText(263), orientationBox);
  landscape_->setObjectName("LandscapeRadioButton");
  (setup.portrait ? portrait_ : landscape_)->setChecked(true);
  auto* orientationLayout = new QVBoxLayout(orientationBox);
  orientationLayout->addWidget(portrait_);
  orientationLayout->addWidget(landscape_);

  auto* marginBox = new QGroupBox(MessageText(264), this);
  auto* marginLayout = new QFormLayout(marginBox);
  const char* names[4] = {"MarginLeftEdit", "MarginRightEdit", "MarginTopEdit", "MarginBottomEdit"};
  const int captions[4] = {265, 266, 267, 268};  // Levý, Pravý, Horní, Dolní
  const double values[4] = {setup.marginLeftMm, setup.marginRightMm, setup.marginTopMm,
                            setup.marginBottomMm};
  for (int i = 0; i < 4; ++i) {
    margins_[i] = new QDoubleSpinBox(marginBox);
    margins_[i]->setObjectName(names[i]);
    margins_[i]->setRange(0, 100);
    margins_[i]->setDecimals(2);
    margins_[i]->setSingleStep(1);
    margins_[i]->setValue(values[i]);
    marginLayout->addRow(MessageText(captions[i]), margins_[i]);
  }

  auto* linesBox = new QGroupBox(MessageText(269), this);
  auto* linesLayout = new QFormLayout(linesBox);
  header_ = new QLineEdit(FromCp1250(setup.header), linesBox);
  header_->setObjectName("HeaderEdit");
  footer_ = new QLineEdit(FromCp1250(setup.footer), linesBox);
  footer_->setObjectName("FooterEdit");
  const QString codes = MessageText(270);
  header_->setToolTip(codes);
  footer_->setToolTip(codes);
  linesLayout->addRow(MessageText(271), header_);
  linesLayout->addRow(MessageText(272), footer_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(MessageText(273));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* top = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(paperBox);
  left->addWidget(orientationBox);
  left->addStretch();
  top->addLayout(left);
  top->addWidget(marginBox);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(linesBox);
  layout->addWidget(buttons);
  setMinimumWidth(460);
}

PrintSetup PageSetupDialog::Setup() const {
  PrintSetup setup = base_;
  const QSizeF paper = paper_->currentData().toSizeF();
  if (paper.isValid()) {
    setup.paperWidthMm = paper.width();
    setup.paperHeightMm = paper.height();
  }
  setup.portrait = portrait_->isChecked();
  setup.marginLeftMm = margins_[0]->value();
  setup.marginRightMm = margins_[1]->value();
  setup.marginTopMm = margins_[2]->value();
  setup.marginBottomMm = margins_[3]->value();
  setup.header = ToCp1250(header_->text());
  setup.footer = ToCp1250(footer_->text());
  return setup;
}

}  // namespace orvenda
