#include "culling_paint_device.h"

#include <QPainterPath>
#include <QPixmap>
#include <QTextItem>

namespace orvenda {

// Keeps the painter state as it arrives and hands it to the target only when a shape is
// actually drawn: most of what is left out comes with a state change of its own.
class CullingPaintEngine : public QPaintEngine {
 public:
  explicit CullingPaintEngine(QPainter& target) : QPaintEngine(AllFeatures), target_(target) {}

  void SetVisible(const QRectF& rect) { visible_ = rect; }

  bool begin(QPaintDevice*) override {
    pending_ = QPaintEngine::DirtyFlags();
    return true;
  }
  bool end() override { return true; }
  Type type() const override { return QPaintEngine::User; }

  void updateState(const QPaintEngineState& state) override {
    const QPaintEngine::DirtyFlags dirty = state.state();
    if (dirty & DirtyPen) pen_ = state.pen();
    if (dirty & DirtyBrush) brush_ = state.brush();
    if (dirty & DirtyBrushOrigin) brushOrigin_ = state.brushOrigin();
    if (dirty & DirtyFont) font_ = state.font();
    if (dirty & DirtyBackground) background_ = state.backgroundBrush();
    if (dirty & DirtyBackgroundMode) backgroundMode_ = state.backgroundMode();
    if (dirty & DirtyTransform) transform_ = state.transform();
    if (dirty & DirtyHints) hints_ = state.renderHints();
    if (dirty & DirtyCompositionMode) composition_ = state.compositionMode();
    if (dirty & DirtyOpacity) opacity_ = state.opacity();
    // Clips of the painting itself are not passed on: the caller clips the target to the
    // page, and the text layout does not clip on its own.
    pending_ |= dirty;
  }

  void drawRects(const QRectF* rects, int count) override {
    for (int i = 0; i < count; ++i) {
      if (Keep(rects[i], true)) target_.drawRect(rects[i]);
    }
  }
  void drawRects(const QRect* rects, int count) override {
    for (int i = 0; i < count; ++i) {
      if (Keep(QRectF(rects[i]), true)) target_.drawRect(rects[i]);
    }
  }
  void drawLines(const QLineF* lines, int count) override {
    for (int i = 0; i < count; ++i) {
      if (Keep(QRectF(lines[i].p1(), lines[i].p2()).normalized(), true)) {
        target_.drawLine(lines[i]);
      }
    }
  }
  void drawLines(const QLine* lines, int count) override {
    for (int i = 0; i < count; ++i) {
      if (Keep(QRectF(QPointF(lines[i].p1()), QPointF(lines[i].p2())).normalized(), true)) {
        target_.drawLine(lines[i]);
      }
    }
  }
  void drawEllipse(const QRectF& rect) override {
    if (Keep(rect, true)) target_.drawEllipse(rect);
  }
  void drawPath(const QPainterPath& path) override {
    if (Keep(path.controlPointRect(), true)) target_.drawPath(path);
  }
  void drawPoints(const QPointF* points, int count) override {
    if (Keep(QPolygonF(QList<QPointF>(points, points + count)).boundingRect(), true)) {
      target_.drawPoints(points, count);
    }
  }
  void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
    if (!Keep(QPolygonF(QList<QPointF>(points, points + count)).boundingRect(), true)) return;
    switch (mode) {
      case PolylineMode:
        target_.drawPolyline(points, count);
        break;
      case OddEvenMode:
        target_.drawPolygon(points, count, Qt::OddEvenFill);
        break;
      case WindingMode:
        target_.drawPolygon(points, count, Qt::WindingFill);
        break;
      case ConvexMode:
        target_.drawConvexPolygon(points, count);
        break;
    }
  }
  void drawPixmap(const QRectF& rect, const QPixmap& pixmap, const QRectF& source) override {
    if (Keep(rect, false)) target_.drawPixmap(rect, pixmap, source);
  }
  void drawTiledPixmap(const QRectF& rect, const QPixmap& pixmap, const QPointF& at) override {
    if (Keep(rect, false)) target_.drawTiledPixmap(rect, pixmap, at);
  }
  void drawImage(const QRectF& rect, const QImage& image, const QRectF& source,
                 Qt::ImageConversionFlags flags) override {
    if (Keep(rect, false)) target_.drawImage(rect, image, source, flags);
  }
  void drawTextItem(const QPointF& at, const QTextItem& item) override {
    const QRectF bounds(at.x(), at.y() - item.ascent(), item.width(),
                        item.ascent() + item.descent());
    if (Keep(bounds, false)) target_.drawTextItem(at, item);
  }

 private:
  // Whether the shape with these bounds (painter coordinates) can be seen; if so, the
  // painter state is brought onto the target first.
  bool Keep(const QRectF& bounds, bool stroked) {
    QRectF device = transform_.mapRect(bounds);
    if (stroked && pen_.style() != Qt::NoPen) {
      const double width = std::max(1.0, pen_.widthF()) * std::max(1.0, transform_.m22());
      device.adjust(-width, -width, width, width);
    } else {
      device.adjust(-1, -1, 1, 1);
    }
    if (!device.intersects(visible_)) return false;
    Apply();
    return true;
  }

  void Apply() {
    if (pending_ == QPaintEngine::DirtyFlags()) return;
    if (pending_ & DirtyPen) target_.setPen(pen_);
    if (pending_ & DirtyBrush) target_.setBrush(brush_);
    if (pending_ & DirtyBrushOrigin) target_.setBrushOrigin(brushOrigin_);
    if (pending_ & DirtyFont) target_.setFont(font_);
    if (pending_ & DirtyBackground) target_.setBackground(background_);
    if (pending_ & DirtyBackgroundMode) target_.setBackgroundMode(backgroundMode_);
    if (pending_ & DirtyTransform) target_.setTransform(transform_);
    if (pending_ & DirtyHints) {
      target_.setRenderHints(target_.renderHints(), false);
      target_.setRenderHints(hints_, true);
    }
    if (pending_ & DirtyCompositionMode) target_.setCompositionMode(composition_);
    if (pending_ & DirtyOpacity) target_.setOpacity(opacity_);
    pending_ = QPaintEngine::DirtyFlags();
  }

  QPainter& target_;
  QRectF visible_;
  QPaintEngine::DirtyFlags pending_;
  QPen pen_;
  QBrush brush_;
  QPointF brushOrigin_;
  QFont font_;
  QBrush background_;
  Qt::BGMode backgroundMode_ = Qt::TransparentMode;
  QTransform transform_;
  QPainter::RenderHints hints_;
  QPainter::CompositionMode composition_ = QPainter::CompositionMode_SourceOver;
  double opacity_ = 1;
};

CullingPaintDevice::CullingPaintDevice(QPainter& target, const QPaintDevice& like)
    : like_(like), engine_(std::make_unique<CullingPaintEngine>(target)) {}

CullingPaintDevice::~CullingPaintDevice() = default;

void CullingPaintDevice::SetVisible(const QRectF& deviceRect) { engine_->SetVisible(deviceRect); }

QPaintEngine* CullingPaintDevice::paintEngine() const { return engine_.get(); }

int CullingPaintDevice::metric(PaintDeviceMetric metric) const {
  switch (metric) {
    case PdmWidth:
      return like_.width();
    case PdmHeight:
      return like_.height();
    case PdmWidthMM:
      return like_.widthMM();
    case PdmHeightMM:
      return like_.heightMM();
    case PdmNumColors:
      return like_.colorCount();
    case PdmDepth:
      return like_.depth();
    case PdmDpiX:
      return like_.logicalDpiX();
    case PdmDpiY:
      return like_.logicalDpiY();
    case PdmPhysicalDpiX:
      return like_.physicalDpiX();
    case PdmPhysicalDpiY:
      return like_.physicalDpiY();
    case PdmDevicePixelRatio:
      return static_cast<int>(like_.devicePixelRatio());
    case PdmDevicePixelRatioScaled:
      return static_cast<int>(like_.devicePixelRatio() * devicePixelRatioFScale());
  }
  return 0;
}

}  // namespace orvenda
