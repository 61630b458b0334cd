#include "splash_form_window.h"

#include <QFrame>
#include <QVBoxLayout>

#include "about_form_window.h"
#include "app/version_text.h"
#include "qt_translation.h"
#include "tree_images.h"

namespace orvenda {

SplashFormWindow::SplashFormWindow(const std::filesystem::path& languageFile, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("SplashForm");

  auto* frame = new QFrame(this);
  frame->setObjectName("Panel1");
  frame->setFrameShape(QFrame::Box);
  frame->setStyleSheet("#Panel1 { background: #fdfaf2; border: 2px solid #8a5a14; }");
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(frame);

  auto* icon = new QLabel(frame);
  icon->setObjectName("ProgramIcon");
  icon->setPixmap(ApplicationIcon().pixmap(64, 64));
  icon->setAlignment(Qt::AlignCenter);

  product_name_ = new QLabel(QString::fromUtf8(kProductName), frame);
  product_name_->setObjectName("ProductName");
  QFont big = product_name_->font();
  big.setPointSize(big.pointSize() * 2 + 4);
  big.setBold(true);
  product_name_->setFont(big);
  product_name_->setAlignment(Qt::AlignCenter);

  auto* subtitle = new QLabel(QString::fromUtf8("Hodnocení rizik na pracovištích"), frame);
  subtitle->setObjectName("Label1");
  subtitle->setAlignment(Qt::AlignCenter);

  // The word before the version number; hidden, it exists so that a language file can
  // translate it.
  auto* mess1 = new QLabel(QString::fromUtf8("Verze"), frame);
  mess1->setObjectName("Mess1");
  mess1->hide();

  version_ = new QLabel(frame);
  version_->setObjectName("Version");
  version_->setAlignment(Qt::AlignCenter);

  auto* loading = new QLabel(QString::fromUtf8("Program se spouští…"), frame);
  loading->setObjectName("Label2");
  loading->setAlignment(Qt::AlignCenter);
  loading->setStyleSheet("color: #6b6b6b;");

  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(28, 22, 28, 18);
  layout->setSpacing(6);
  layout->addWidget(icon);
  layout->addWidget(product_name_);
  layout->addWidget(subtitle);
  layout->addWidget(version_);
  layout->addSpacing(10);
  layout->addWidget(loading);
  layout->addWidget(mess1);

  TranslateWindow(this, languageFile);
  version_->setText(VersionCaption(mess1));
  setFixedSize(sizeHint().expandedTo(QSize(380, 0)));
}

}  // namespace orvenda
