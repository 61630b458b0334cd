#include "about_form_window.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/version_text.h"
#include "qt_text.h"
#include "qt_translation.h"
#include "tree_images.h"

namespace orvenda {

QString VersionCaption(const QLabel* mess1) {
  const QString version = FromCp1250(ProgramVersion());
  return version.isEmpty() ? mess1->text() : mess1->text() + u' ' + version;
}

AboutFormWindow::AboutFormWindow(const std::filesystem::path& languageFile, QWidget* parent)
    : QDialog(parent) {
  setObjectName("AboutForm");
  setWindowTitle(QString::fromUtf8("O programu"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* icon = new QLabel(this);
  icon->setObjectName("ProgramIcon");
  icon->setPixmap(ApplicationIcon().pixmap(64, 64));
  icon->setAlignment(Qt::AlignTop);

  product_name_ = new QLabel(this);
  product_name_->setObjectName("ProductName");
  QFont big = product_name_->font();
  big.setPointSize(big.pointSize() + 6);
  big.setBold(true);
  product_name_->setFont(big);

  version_ = new QLabel(this);
  version_->setObjectName("Version");

  auto* comments = new QLabel(
      QString::fromUtf8("Záznam a hodnocení rizik\npro bezpečnost a ochranu zdraví při práci"),
      this);
  comments->setObjectName("Comments");
  auto* copyright = new QLabel(QString::fromUtf8("© Tumbek"), this);
  copyright->setObjectName("Copyright");

  mess1_ = new QLabel(QString::fromUtf8("Verze"), this);
  mess1_->setObjectName("Mess1");
  mess1_->hide();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setObjectName("OKButton");
  ok->setText("OK");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->addWidget(product_name_);
  texts->addWidget(version_);
  texts->addSpacing(8);
  texts->addWidget(comments);
  texts->addWidget(copyright);
  texts->addStretch();
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addSpacing(12);
  row->addLayout(texts, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(mess1_);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  TranslateWindow(this, languageFile);
  product_name_->setText(QString::fromUtf8(kProductName));
  version_->setText(VersionCaption(mess1_));
}

void AboutFormWindow::showEvent(QShowEvent* event) {
  // Set at every showing, as the splash window does.
  product_name_->setText(QString::fromUtf8(kProductName));
  version_->setText(VersionCaption(mess1_));
  QDialog::showEvent(event);
}

}  // namespace orvenda
