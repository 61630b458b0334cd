#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <filesystem>

#include "form_binding.h"
#include "reports/vzhled_rep_form.h"

namespace orvenda {

// The report layout dialog ("Vzhled sestavy") bound to the core's VzhledRepForm. The grid is
// a ruler: the user drags its column borders, and the widths go to the form as they change.
class VzhledRepFormWindow : public QDialog {
  Q_OBJECT
 public:
  VzhledRepFormWindow(VzhledRepForm& form, const std::filesystem::path& languageFile,
                      QWidget* parent = nullptr);
  ~VzhledRepFormWindow() override;

  VzhledRepForm& Form() { return form_; }
  QListWidget* ColumnList() const { return list_; }
  QTableWidget* Grid() const { return grid_; }
  QRadioButton* Radio(int item) const { return radios_[item]; }
  void PushState();

 private:
  VzhledRepForm& form_;
  QLabel* label_ = nullptr;
  QListWidget* list_ = nullptr;
  QTableWidget* grid_ = nullptr;
  QGroupBox* radio_group_ = nullptr;
  QRadioButton* radios_[2] = {};
  QCheckBox* tree_box_ = nullptr;
  QCheckBox* risks_box_ = nullptr;
  bool pushing_ = false;
  FormBinding binding_;
};

}  // namespace orvenda
