#include "tree_images.h"

#include "model/risk.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

// The icons are compiled into this static library; its resource initialiser must be called by
// name, or the linker leaves it out.
static void InitIconResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(resources);
    return true;
  }();
  (void)done;
}

namespace orvenda {
namespace {

const QColor kFolderFill(0xf0, 0xc0, 0x5a);
const QColor kFolderBack(0xd9, 0xa0, 0x3a);
const QColor kFolderLine(0x8a, 0x5a, 0x14);

QPixmap Blank() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

QPixmap ClosedFolder() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(kFolderLine);
  // tab, then body
  p.setBrush(kFolderBack);
  p.drawRect(1, 3, 5, 2);
  p.setBrush(kFolderFill);
  p.drawRect(1, 5, 13, 8);
  p.setPen(QColor(0xfb, 0xe3, 0xa8));
  p.drawLine(2, 6, 13, 6);
  return pixmap;
}

QPixmap OpenFolder() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(kFolderLine, 1));
  p.setBrush(kFolderBack);
  p.drawRect(QRectF(1.5, 3.5, 5, 2));
  p.drawRect(QRectF(1.5, 5.5, 11, 8));
  // the front flap, tilted open
  QPainterPath flap;
  flap.moveTo(1.5, 13.5);
  flap.lineTo(4.5, 8.5);
  flap.lineTo(15.0, 8.5);
  flap.lineTo(12.5, 13.5);
  flap.closeSubpath();
  p.setBrush(kFolderFill);
  p.drawPath(flap);
  return pixmap;
}

QPixmap Risk(const QColor& fill = QColor(0xe8, 0x3a, 0x1e), const QColor& mark = Qt::white) {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath triangle;
  triangle.moveTo(8, 1.5);
  triangle.lineTo(15, 14.5);
  triangle.lineTo(1, 14.5);
  triangle.closeSubpath();
  p.setPen(QPen(QColor(0x6b, 0x1a, 0x10), 1.2));
  p.setBrush(fill);
  p.drawPath(triangle);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::NoPen);
  p.setBrush(mark);
  p.drawRect(7, 5, 2, 5);
  p.drawRect(7, 11, 2, 2);
  return pixmap;
}

// A node's image with the category disc in its lower right corner, over the folder.
QPixmap WithDisc(QPixmap pixmap, const QColor& fill) {
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
  p.setBrush(fill);
  p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
  return pixmap;
}

}  // namespace

const QIcon& BandTreeImage(int image, int band) {
  static const auto images = [] {
    std::array<std::array<QIcon, 6>, 3> all;
    for (int b = 0; b < 6; ++b) {
      const BandColor color = RiskBandColor(b);
      const QColor fill(color.fill);
      all[0][b] = QIcon(WithDisc(ClosedFolder(), fill));
      all[1][b] = QIcon(WithDisc(OpenFolder(), fill));
      all[2][b] = QIcon(Risk(fill, color.dark ? QColor(Qt::white) : QColor(0x30, 0x30, 0x30)));
    }
    return all;
  }();
  if (image < 0 || image > 2) image = 2;
  if (band < 0 || band > 5) band = 0;
  return images[static_cast<size_t>(image)][static_cast<size_t>(band)];
}

const std::array<QIcon, 3>& TreeImages() {
  static const std::array<QIcon, 3> images = {QIcon(ClosedFolder()), QIcon(OpenFolder()),
                                              QIcon(Risk())};
  return images;
}

QIcon ApplicationIcon() {
  InitIconResources();
  QIcon icon;
  icon.addFile(":/orvenda/orvenda-48.png", QSize(48, 48));
  icon.addFile(":/orvenda/orvenda.png", QSize(256, 256));
  return icon;
}

}  // namespace orvenda

namespace orvenda {
namespace {

void DrawPlus(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1e, 0x8a, 0x2e));
  p.drawRect(10, 8, 6, 2);
  p.drawRect(12, 6, 2, 6);
  p.drawRect(10, 8, 6, 2);
}

}  // namespace

QIcon ButtonIcon(ButtonImage image) {
  QPixmap pixmap;
  switch (image) {
    case ButtonImage::AddNode: {
      pixmap = ClosedFolder();
      QPainter p(&pixmap);
      DrawPlus(p);
      break;
    }
    case ButtonImage::AddRisk: {
      pixmap = Risk();
      QPainter p(&pixmap);
      DrawPlus(p);
      break;
    }
    case ButtonImage::AddFromLibrary: {
      pixmap = Blank();
      QPainter p(&pixmap);
      p.setRenderHint(QPainter::Antialiasing, false);
      // a closed book
      p.setPen(QColor(0x1d, 0x3f, 0x6b));
      p.setBrush(QColor(0x3f, 0x7c, 0xc4));
      p.drawRect(2, 1, 9, 13);
      p.setPen(QColor(0xf4, 0xf4, 0xf4));
      p.drawLine(4, 4, 9, 4);
      p.drawLine(4, 6, 9, 6);
      DrawPlus(p);
      break;
    }
    case ButtonImage::Delete: {
      pixmap = Blank();
      QPainter p(&pixmap);
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setPen(QPen(QColor(0xc0, 0x1e, 0x1e), 2.4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
      p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
      break;
    }
  }
  return QIcon(pixmap);
}

}  // namespace orvenda
