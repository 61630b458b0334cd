#include "report_page_view.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextDocumentFragment>

namespace orvenda {

ReportPageView::ReportPageView(QWidget* parent) : QAbstractScrollArea(parent) {
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  viewport()->setCursor(Qt::IBeamCursor);
  setFocusPolicy(Qt::StrongFocus);
  verticalScrollBar()->setSingleStep(20);
  horizontalScrollBar()->setSingleStep(20);
}

ReportPageView::~ReportPageView() = default;

QString ReportPageView::toPlainText() const {
  return document_ ? document_->toPlainText() : QString();
}

QString ReportPageView::documentTitle() const {
  return document_ ? document_->metaInformation(QTextDocument::DocumentTitle) : QString();
}

void ReportPageView::LayOut(QTextDocument& document, int width) {
  // As Qt's text views lay a document out: no page breaks, at the viewport's width, to the end.
  document.setPageSize(QSizeF(width, -1));
  document.documentLayout()->documentSize();
}

void ReportPageView::SetDocument(std::unique_ptr<QTextDocument> document, bool keepPlace) {
  const int position = keepPlace ? verticalScrollBar()->value() : 0;
  selection_ = QTextCursor();
  document_ = std::move(document);
  width_ = Width();
  if (document_ && document_->pageSize() != QSizeF(width_, -1)) LayOut(*document_, width_);
  UpdateScrollBars();
  verticalScrollBar()->setValue(position);
  if (!keepPlace) horizontalScrollBar()->setValue(0);
  viewport()->update();
}

std::unique_ptr<QTextDocument> ReportPageView::TakeDocument() {
  selection_ = QTextCursor();
  std::unique_ptr<QTextDocument> document = std::move(document_);
  UpdateScrollBars();
  viewport()->update();
  return document;
}

void ReportPageView::Clear() { TakeDocument().reset(); }

void ReportPageView::LayOutAgain() {
  width_ = Width();
  if (!document_) return;
  LayOut(*document_, width_);
  UpdateScrollBars();
  viewport()->update();
}

void ReportPageView::UpdateScrollBars() {
  const QSize size = document_ ? document_->size().toSize() : QSize();
  const QSize shown = viewport()->size();
  verticalScrollBar()->setRange(0, std::max(0, size.height() - shown.height()));
  verticalScrollBar()->setPageStep(shown.height());
  horizontalScrollBar()->setRange(0, std::max(0, size.width() - shown.width()));
  horizontalScrollBar()->setPageStep(shown.width());
}

QPoint ReportPageView::Offset() const {
  return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void ReportPageView::paintEvent(QPaintEvent* event) {
  if (!document_) return;
  QPainter painter(viewport());
  const QPoint offset = Offset();
  const QRect clip = event->rect().translated(offset);
  painter.translate(-offset);
  painter.setClipRect(clip);
  QAbstractTextDocumentLayout::PaintContext context;
  context.clip = clip;
  context.palette = palette();
  context.cursorPosition = -1;
  if (selection_.hasSelection()) {
    QAbstractTextDocumentLayout::Selection selection;
    selection.cursor = selection_;
    selection.format.setBackground(palette().brush(QPalette::Highlight));
    selection.format.setForeground(palette().brush(QPalette::HighlightedText));
    context.selections.append(selection);
  }
  document_->documentLayout()->draw(&painter, context);
}

void ReportPageView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
  if (Width() != width_) {
    width_ = Width();
    emit WidthChanged(width_);
  }
}

int ReportPageView::PositionAt(const QPoint& point) const {
  return document_->documentLayout()->hitTest(point + Offset(), Qt::FuzzyHit);
}

void ReportPageView::mousePressEvent(QMouseEvent* event) {
  if (!document_ || event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  const int position = PositionAt(event->position().toPoint());
  if (position < 0) return;
  if (!(event->modifiers() & Qt::ShiftModifier) || selection_.isNull()) {
    selection_ = QTextCursor(document_.get());
  }
  selection_.setPosition(position, event->modifiers() & Qt::ShiftModifier
                                       ? QTextCursor::KeepAnchor
                                       : QTextCursor::MoveAnchor);
  viewport()->update();
}

void ReportPageView::mouseMoveEvent(QMouseEvent* event) {
  if (!document_ || selection_.isNull() || !(event->buttons() & Qt::LeftButton)) return;
  const int position = PositionAt(event->position().toPoint());
  if (position < 0) return;
  selection_.setPosition(position, QTextCursor::KeepAnchor);
  viewport()->update();
}

void ReportPageView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!document_ || event->button() != Qt::LeftButton) return;
  const int position = PositionAt(event->position().toPoint());
  if (position < 0) return;
  selection_ = QTextCursor(document_.get());
  selection_.setPosition(position);
  selection_.select(QTextCursor::WordUnderCursor);
  viewport()->update();
}

void ReportPageView::Copy() const {
  if (!selection_.hasSelection()) return;
  const QTextDocumentFragment fragment = selection_.selection();
  auto* data = new QMimeData;
  data->setHtml(fragment.toHtml());
  data->setText(fragment.toPlainText());
  QApplication::clipboard()->setMimeData(data);
}

void ReportPageView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    Copy();
  } else if (event->matches(QKeySequence::SelectAll) && document_) {
    selection_ = QTextCursor(document_.get());
    selection_.select(QTextCursor::Document);
    viewport()->update();
  } else if (event->matches(QKeySequence::MoveToStartOfDocument) || event->key() == Qt::Key_Home) {
    verticalScrollBar()->setValue(0);
  } else if (event->matches(QKeySequence::MoveToEndOfDocument) || event->key() == Qt::Key_End) {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  } else {
    QAbstractScrollArea::keyPressEvent(event);
  }
}

}  // namespace orvenda
