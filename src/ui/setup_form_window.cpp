#include "setup_form_window.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>

#include "command_guard.h"
#include "qt_text.h"
#include "qt_translation.h"

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
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* ok = new QPushButton(this);
  ok->setObjectName("OKBitBtn");
  ok->setDefault(true);
  ok->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  auto* storno = new QPushButton(this);
  storno->setObjectName("StornoBitBtn");
  storno->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  buttons->addWidget(ok);
  buttons->addWidget(storno);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  for (const auto& [name, control] : form_.Controls()) {
    auto* button = findChild<QAbstractButton*>(QString::fromLatin1(name.data(), name.size()));
    if (button == nullptr) continue;
    bindings_.push_back({control, button});
    if (auto* box = qobject_cast<QCheckBox*>(button)) {
      connect(box, &QCheckBox::toggled, this, [control](bool on) { control->checked = on; });
    }
  }
  connect(ok, &QPushButton::clicked, this, [this] {
    if (RunCommand([this] { form_.OKBitBtnClick(); })) accept();
  });
  connect(storno, &QPushButton::clicked, this, [this] {
    RunCommand([this] { form_.StornoBitBtnClick(); });
    reject();
  });

  PushState();
  TranslateWindow(this, languageFile);
  PullCaptions();

  form_.ShowModal = [this] { exec(); };
  form_.OnStateChanged = [this] { PushState(); };
}

SetupFormWindow::~SetupFormWindow() {
  form_.ShowModal = nullptr;
  form_.OnStateChanged = nullptr;
}

void SetupFormWindow::PushState() {
  setWindowTitle(FromCp1250(form_.Caption));
  for (const Binding& b : bindings_) {
    const QSignalBlocker blocker(b.button);
    b.button->setText(FromCp1250(b.control->text));
    b.button->setToolTip(TextToQt(b.control->hint));
    b.button->setEnabled(b.control->enabled);
    b.button->setVisible(b.control->visible);
    if (b.button->isCheckable()) b.button->setChecked(b.control->checked);
  }
}

void SetupFormWindow::PullCaptions() {
  // The language file may have changed the texts of the widgets; the form keeps them.
  form_.Caption = ToCp1250(windowTitle());
  for (const Binding& b : bindings_) {
    b.control->text = ToCp1250(b.button->text());
    b.control->hint = TextFromQt(b.button->toolTip());
  }
}

}  // namespace orvenda
