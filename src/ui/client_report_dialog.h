#pragma once

#include <QDialog>

#include "app/main_form.h"
#include "reports/client_report.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace orvenda {

// "Sestavy" -> "Zpráva pro klienta...": the choices of the client report, and its three
// outputs (PDF, ODT, the printer) from the project as the window holds it. The assessor is
// remembered in the settings.
class ClientReportDialog : public QDialog {
 public:
  ClientReportDialog(MainForm& form, Progress& progress, QWidget* parent);

 private:
  ClientReportOptions Options() const;
  ClientReport Build();
  void SaveAs(const char* extension);
  void Print();

  MainForm& form_;
  Progress& progress_;
  QLineEdit *title_, *client_, *object_, *assessor_, *date_;
  QComboBox *scope_, *order_;
  QCheckBox *summary_, *matrix_, *measures_, *notes_, *legend_, *landscape_;
};

}  // namespace orvenda
