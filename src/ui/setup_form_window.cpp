#include "setup_form_window.h"

#include <QStyle>
#include <QVBoxLayout>

#include "named_widgets.h"

namespace orvenda {

SetupFormWindow::SetupFormWindow(SetupForm& form, const std::filesystem::path& languageFile,
                                 QWidget* parent)
    : QDialog(parent), form_(form) {
  setObjectName("SetupForm");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* layout = new QVBoxLayout(this);
  for (const char* name : {"AskDeleteCheckBox", "AskExitCheckBox", "CountAverageCheckBox"}) {
    auto* box = new QCheckBox(this);
    box->setObjectName(name);
    layout->addWidget(box);
  }
  layout->addSpacing(12);
  layout->addLayout(MakeOkCancelRow(this, "OKBitBtn", "StornoBitBtn"));
  layout->setSizeConstraint(QLayout::SetFixedSize);

  binding_.BindAll(form_.Controls(),
                   FormBinding::DialogButtons(*this, form_, "OKBitBtn", &SetupForm::OKBitBtnClick,
                                              "StornoBitBtn", &SetupForm::StornoBitBtnClick));
  binding_.BindCaption(form_.Caption);
  PushState();
  binding_.Translate(languageFile);

  form_.ShowModal = [this] { exec(); };
  form_.OnStateChanged = [this] { PushState(); };
}

SetupFormWindow::~SetupFormWindow() {
  form_.ShowModal = nullptr;
  form_.OnStateChanged = nullptr;
}

void SetupFormWindow::PushState() { binding_.Push(); }

}  // namespace orvenda
