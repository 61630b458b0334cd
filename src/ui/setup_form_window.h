#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <filesystem>

#include "app/setup_form.h"
#include "form_binding.h"

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
  SetupForm& form_;
  FormBinding binding_{this};
};

}  // namespace orvenda
