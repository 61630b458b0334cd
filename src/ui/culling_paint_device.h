#pragma once

#include <QBrush>
#include <QFont>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>
#include <QRectF>
#include <QTransform>
#include <memory>

namespace orvenda {

class CullingPaintEngine;

// A paint device that passes what is painted on it to another painter, leaving out every
// shape that lies wholly outside a visible rectangle of the target device. Qt's text layout
// paints a table's outer border once per page of the whole table whenever any part of it is
// painted; printed page by page onto a PDF, those invisible pieces pile up with the square
// of the page count. Painting through this device keeps only what the page can show.
//
// The device takes the metrics of `like` (the printer), so that a painter begun on it
// measures as a painter on the printer would. The target's clip and state outside the
// painting belong to the caller.
class CullingPaintDevice : public QPaintDevice {
 public:
  CullingPaintDevice(QPainter& target, const QPaintDevice& like);
  ~CullingPaintDevice() override;

  // The part of the target device that is kept, in device coordinates.
  void SetVisible(const QRectF& deviceRect);

  QPaintEngine* paintEngine() const override;

 protected:
  int metric(PaintDeviceMetric metric) const override;

 private:
  const QPaintDevice& like_;
  std::unique_ptr<CullingPaintEngine> engine_;
};

}  // namespace orvenda
