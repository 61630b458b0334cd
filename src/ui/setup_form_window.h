#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <filesystem>
#include <vector>

#include "app/setup_form.h"

namespace orvenda {

// The Options dialog ("Nastavení") bound to the core's SetupForm: the check boxes write the
// form's controls, OK and "Storno" call its handlers and close the dialog.
class SetupFormWindow : public QDialog {
  Q_OBJECT
 public:
  SetupFormWindow(SetupForm& form, const std::filesystem::path& languageFile,
                  QWidget* parent = nullptr);
  ~SetupFormWindow() override;

  SetupForm& Form() { return form_; }
  void PushState();

 private:
  struct Binding {
    Control* control;
    QAbstractButton* button;
  };
  void PullCaptions();

  SetupForm& form_;
  std::vector<Binding> bindings_;
};

}  // namespace orvenda
