#pragma once

#include <QAbstractScrollArea>
#include <QTextCursor>
#include <QTextDocument>
#include <memory>

namespace orvenda {

// The preview's page: a read-only view of a report document, with scrolling, selection and
// copying. Unlike Qt's text views it never lays a document out again by itself: a long page
// can be laid out away from the GUI thread and shown as it is, and a new width is only
// reported (WidthChanged), so that the owner decides where the new layout is made.
class ReportPageView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit ReportPageView(QWidget* parent = nullptr);
  ~ReportPageView() override;

  QTextDocument* document() const { return document_.get(); }
  QString toPlainText() const;
  QString documentTitle() const;

  // Shows `document`, keeping the place scrolled to or from the top. A document not laid
  // out at Width() is laid out here first.
  void SetDocument(std::unique_ptr<QTextDocument> document, bool keepPlace = true);
  std::unique_ptr<QTextDocument> TakeDocument();
  void Clear();
  // Lays the shown document out again at the view's width.
  void LayOutAgain();

  // The width documents are laid out at for this view.
  int Width() const { return viewport()->width(); }
  // Lays `document` out as this view shows it at `width`. Any thread may call it for a
  // document it owns.
  static void LayOut(QTextDocument& document, int width);

 signals:
  // The viewport's width changed: the shown document keeps its layout until it is replaced
  // or laid out again.
  void WidthChanged(int width);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void UpdateScrollBars();
  QPoint Offset() const;
  int PositionAt(const QPoint& point) const;
  void Copy() const;

  std::unique_ptr<QTextDocument> document_;
  QTextCursor selection_;
  int width_ = -1;
};

}  // namespace orvenda
