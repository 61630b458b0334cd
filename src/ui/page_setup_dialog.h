#pragma once

#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QRadioButton>

#include "reports/print_setup.h"

namespace orvenda {

// "Vzhled stránky": paper, orientation, margins and the header and footer codes of the
// printed report, as a browser's page setup offers them. Qt's own page-setup dialog works
// only with a system printer, and this one must serve PDF output too.
class PageSetupDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PageSetupDialog(const PrintSetup& setup, QWidget* parent = nullptr);

  // The choices over the setup the dialog was opened with.
  PrintSetup Setup() const;

 private:
  PrintSetup base_;
  QComboBox* paper_ = nullptr;
  QRadioButton* portrait_ = nullptr;
  QRadioButton* landscape_ = nullptr;
  QDoubleSpinBox* margins_[4] = {};  // left, right, top, bottom
  QLineEdit* header_ = nullptr;
  QLineEdit* footer_ = nullptr;
};

}  // namespace orvenda
