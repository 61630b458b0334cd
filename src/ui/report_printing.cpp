#include "report_printing.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "culling_paint_device.h"
#include "qt_dialogs.h"
#include "qt_text.h"

namespace orvenda {
namespace {

constexpr double kHeaderGapMm = 1.5;  // between a header or footer line and the body

QFont PageLineFont() {
  QFont font(QStringLiteral("sans-serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8);
  return font;
}

void DrawPageLine(QPainter& painter, const QRectF& band, const PageLine& line) {
  painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter, FromCp1250(line.left));
  painter.drawText(band, Qt::AlignHCenter | Qt::AlignVCenter, FromCp1250(line.centre));
  painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter, FromCp1250(line.right));
}

}  // namespace

std::unique_ptr<QTextDocument> PrintLayout(const QTextDocument& source, QPaintDevice& device,
                                           const QSizeF& page, const QTextBlockFormat* first) {
  // What clone() copies, set on an empty document first: every change of the device, the
  // margin or the page size lays a whole document out again, and a new page size lays a
  // table out twice (Qt's lazy layout starts again before it). Content inserted into a
  // document already laid out for its page is laid out once.
  auto document = std::make_unique<QTextDocument>();
  document->setDefaultFont(source.defaultFont());
  document->setDefaultTextOption(source.defaultTextOption());
  document->setDefaultStyleSheet(source.defaultStyleSheet());
  document->setIndentWidth(source.indentWidth());
  document->setUseDesignMetrics(source.useDesignMetrics());
  for (const auto info : {QTextDocument::DocumentTitle, QTextDocument::DocumentUrl}) {
    document->setMetaInformation(info, source.metaInformation(info));
  }
  QTextFrameFormat frame = source.rootFrame()->frameFormat();
  frame.setMargin(0);
  document->rootFrame()->setFrameFormat(frame);
  document->documentLayout()->setPaintDevice(&device);
  document->setPageSize(page);
  QTextCursor cursor(document.get());
  if (first != nullptr) cursor.setBlockFormat(*first);
  cursor.insertFragment(QTextDocumentFragment(&source));
  return document;
}

QFont ReportFont() {
  // A browser's standard font; where Times New Roman is missing, Chromium falls back to the
  // system's sans-serif face, and the preview follows it so that both break lines alike.
  QFont font(QStringLiteral("Times New Roman"));
  if (QFontInfo(font).family() != font.family()) {
    font = QFont(QStringLiteral("sans-serif"));
    font.setStyleHint(QFont::SansSerif);
  }
  font.setPointSize(12);  // 16 pixels on a screen of 96 dpi, and as large on paper
  return font;
}

void MendColumnWidths(QTextDocument& document) {
  // Shares whose total passes 100 %: a browser takes the excess from the last columns, and a
  // column left with nothing gets the width of its content. Qt would squeeze the last column
  // to a letter's width.
  for (QTextFrame* frame : document.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (table == nullptr) continue;
    QTextTableFormat format = table->format();
    QList<QTextLength> widths = format.columnWidthConstraints();
    double total = 0;
    for (const QTextLength& width : widths) {
      if (width.type() == QTextLength::PercentageLength) total += width.rawValue();
    }
    if (total <= 100) continue;
    double excess = total - 100;
    for (qsizetype i = widths.size() - 1; i >= 0 && excess > 0; --i) {
      if (widths[i].type() != QTextLength::PercentageLength) continue;
      const double cut = std::min(excess, widths[i].rawValue());
      excess -= cut;
      const double left = widths[i].rawValue() - cut;
      widths[i] = left > 0 ? QTextLength(QTextLength::PercentageLength, left) : QTextLength();
    }
    format.setColumnWidthConstraints(widths);
    table->setFormat(format);
  }
}

QString ReportHtmlForQt(const QByteArray& page) {
  QStringDecoder decoder("windows-1250");
  QString html = decoder.decode(page);
  // Qt joins the text that follows a list to the list's last item; a browser starts a new
  // line there. An explicit paragraph after each list gives the browser's layout.
  static const QRegularExpression listEnd(QStringLiteral("</(ol|ul)>(\\s*)(?=[^\\s<]|<b>)"),
                                          QRegularExpression::CaseInsensitiveOption);
  html.replace(listEnd, QStringLiteral("</\\1>\\2<p style=\"margin-top:0\">"));
  // Qt's sizes for <font size> are larger than a browser's (size 1 is 10 pixels there); the
  // browser's sizes in points keep the columns as narrow as they are meant to be.
  static const QRegularExpression fontSize(QStringLiteral("<font size=\"([1-7])\""),
                                           QRegularExpression::CaseInsensitiveOption);
  static const char* const kPoints[] = {"7.5", "9.75", "12", "13.5", "18", "24", "36"};
  QString mended;
  mended.reserve(html.size() + html.size() / 8);
  qsizetype done = 0;
  for (auto it = fontSize.globalMatch(html); it.hasNext();) {
    const QRegularExpressionMatch match = it.next();
    mended += QStringView(html).mid(done, match.capturedStart() - done);
    mended += QStringLiteral("<font style=\"font-size:%1pt\"")
                  .arg(QLatin1String(kPoints[match.captured(1).toInt() - 1]));
    done = match.capturedEnd();
  }
  mended += QStringView(html).mid(done);
  return mended;
}

QByteArray ReadReportPage(const std::filesystem::path& page) {
  QFile file(PathToQString(page));
  if (!file.open(QIODevice::ReadOnly)) {
    throw Error(Msg(293, {Utf8ToCp1250(page.string()), ToCp1250(file.errorString())}));
  }
  return file.readAll();
}

void SetReportDocument(QTextDocument& document, const QByteArray& page, const QFont& font) {
  document.setDefaultFont(font);
  // Words stay whole, as in a browser; a narrow column grows to its longest word.
  QTextOption option = document.defaultTextOption();
  option.setWrapMode(QTextOption::WordWrap);
  document.setDefaultTextOption(option);
  document.setHtml(ReportHtmlForQt(page));
  MendColumnWidths(document);
}

void LoadReportDocument(QTextDocument& document, const std::filesystem::path& page) {
  SetReportDocument(document, ReadReportPage(page));
}

QByteArray ReportPageHead(const QByteArray& page, int rows) {
  // Rows end in "</tr>" on a line of their own; the first table holds the report's rows.
  static const QByteArray kRowEnd = "</tr>";
  static const QByteArray kTableEnd = "</table>";
  const qsizetype tableEnd = page.indexOf(kTableEnd);
  qsizetype at = 0;
  for (int row = 0; row < rows; ++row) {
    at = page.indexOf(kRowEnd, at);
    if (at < 0 || (tableEnd >= 0 && at > tableEnd)) return {};
    at += kRowEnd.size();
  }
  const qsizetype next = page.indexOf(kRowEnd, at);
  if (next < 0 || (tableEnd >= 0 && next > tableEnd)) return {};
  return page.left(at) + "\r\n</table>\r\n</body>\r\n</html>\r\n";
}

int ReportPageRows(const QByteArray& page) {
  static const QByteArray kRowEnd = "</tr>";
  static const QByteArray kTableEnd = "</table>";
  qsizetype tableEnd = page.indexOf(kTableEnd);
  if (tableEnd < 0) tableEnd = page.size();
  int rows = 0;
  for (qsizetype at = page.indexOf(kRowEnd); at >= 0 && at < tableEnd;
       at = page.indexOf(kRowEnd, at + kRowEnd.size())) {
    ++rows;
  }
  return rows;
}

void ApplyPrintSetup(QPrinter& printer, const PrintSetup& setup) {
  printer.setPageSize(
      QPageSize(QSizeF(setup.paperWidthMm, setup.paperHeightMm), QPageSize::Millimeter));
  printer.setPageOrientation(setup.portrait ? QPageLayout::Portrait : QPageLayout::Landscape);
  printer.setPageMargins(
      QMarginsF(setup.marginLeftMm, setup.marginTopMm, setup.marginRightMm, setup.marginBottomMm),
      QPageLayout::Millimeter);
}

PrintSetup PrintSetupFromPrinter(const QPrinter& printer, PrintSetup base) {
  const QPageLayout layout = printer.pageLayout();
  const QSizeF paper = layout.pageSize().size(QPageSize::Millimeter);
  base.paperWidthMm = paper.width();
  base.paperHeightMm = paper.height();
  base.portrait = layout.orientation() == QPageLayout::Portrait;
  const QMarginsF margins = layout.margins(QPageLayout::Millimeter);
  base.marginLeftMm = margins.left();
  base.marginTopMm = margins.top();
  base.marginRightMm = margins.right();
  base.marginBottomMm = margins.bottom();
  return base;
}

namespace {

// A page height as Qt's layout breaks pages at: in 64ths of a pixel.
double LaidOutHeight(double height) { return std::round(height * 64) / 64; }

// Paints report pages onto a printer, each with the header line at the top, the footer line
// at the bottom and between them its slice of a document laid out for the body.
class PagePrinter {
 public:
  PagePrinter(QPrinter& printer, const PrintSetup& setup, const std::string& address,
              Progress& progress)
      : printer_(printer), setup_(setup), progress_(progress), culled_(painter_, printer) {
    paint_ = printer.pageLayout().paintRectPixels(printer.resolution());
    lineFont_ = QFont(PageLineFont(), &printer);
    lineHeight_ = QFontMetricsF(lineFont_, &printer).height();
    const double gap = kHeaderGapMm / 25.4 * printer.resolution();
    top_ = setup.header.empty() ? 0 : lineHeight_ + gap;
    const double bottom = setup.footer.empty() ? 0 : lineHeight_ + gap;
    body_ = QSizeF(paint_.width(), std::max(paint_.height() - top_ - bottom, lineHeight_));
    bodyOnPage_ = QRectF(0, top_, body_.width(), body_.height());
    culled_.SetVisible(bodyOnPage_);
    values_.address = address;
    const QDateTime now = QDateTime::currentDateTime();
    values_.date = ToCp1250(QLocale().toString(now.date(), QLocale::ShortFormat));
    values_.time = ToCp1250(QLocale().toString(now.time(), QLocale::ShortFormat));
  }
  ~PagePrinter() { progress_.HideProgress(); }

  // The size a document is laid out in pages of (device pixels).
  QSizeF Body() const { return body_; }

  // Starts the print: nothing reaches the printer before.
  void Begin(const QString& title, int pages) {
    if (!painter_.begin(&printer_)) throw Error(Msg(294));
    values_.title = ToCp1250(title);
    values_.pages = pages;
    progress_.ShowProgress(W("Tisknu"), pages);
  }

  // "Storno": the pages so far must not come out of the printer as a whole print.
  void ThrowIfCanceled() {
    if (!progress_.Canceled()) return;
    if (painter_.isActive()) printer_.abort();
    throw ProgressCanceled{};
  }

  // Pages [first, end) of `document` as the next pages of the print.
  void Paint(const QTextDocument& document, int first, int end) {
    for (int page = first; page < end; ++page) {
      ThrowIfCanceled();
      if (printed_ > 0 && !printer_.newPage()) throw Error(Msg(295));
      values_.page = ++printed_;
      painter_.save();
      painter_.setFont(lineFont_);
      painter_.setPen(Qt::black);
      if (!setup_.header.empty()) {
        DrawPageLine(painter_, QRectF(0, 0, body_.width(), lineHeight_),
                     ExpandPageCodes(setup_.header, values_));
      }
      if (!setup_.footer.empty()) {
        DrawPageLine(painter_, QRectF(0, paint_.height() - lineHeight_, body_.width(), lineHeight_),
                     ExpandPageCodes(setup_.footer, values_));
      }
      // The page's slice of the document, between header and footer, painted through the
      // culling device so that the page gets only what it shows. Qt's layout breaks pages
      // at a height rounded to 64ths of a pixel; the whole document's pages are painted at
      // the page height itself, and a part's pages where the whole document's would be.
      const int global = printed_ - 1;
      const double laidOut = LaidOutHeight(body_.height());
      const double top = page * laidOut + global * (body_.height() - laidOut);
      const QRectF slice(0, top, body_.width(), body_.height());
      painter_.setClipRect(bodyOnPage_);
      {
        QPainter culledPainter(&culled_);
        culledPainter.setFont(lineFont_);
        culledPainter.setPen(Qt::black);
        culledPainter.translate(0, top_ - slice.top());
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = slice;
        context.palette.setColor(QPalette::Text, Qt::black);
        document.documentLayout()->draw(&culledPainter, context);
      }
      painter_.restore();
      progress_.StepProgress();
    }
  }

  void End() {
    if (!painter_.end()) throw Error(Msg(295));
  }

 private:
  QPrinter& printer_;
  const PrintSetup& setup_;
  Progress& progress_;
  QPainter painter_;
  CullingPaintDevice culled_;
  QRectF paint_;
  QFont lineFont_;
  double lineHeight_ = 0;
  double top_ = 0;
  QSizeF body_;
  QRectF bodyOnPage_;
  PageCodeValues values_;
  int printed_ = 0;
};

// A long page printed a part at a time. Qt lays a table out as one piece, in time and
// memory that grow faster than the page; a part of a few thousand rows is laid out alone
// instead, and printed up to the page on which a row starts. The next part begins with that
// row, at the place it has on its page, so that it and the rows after it are laid out as in
// the whole page, with the columns as wide as in the whole table; its pages are printed from
// the next one on. They are painted alike where the part's page and table top lie as far from
// whole device pixels as the whole page's.
class PageParts {
 public:
  explicit PageParts(const QByteArray& page) : page_(page) {
    const qsizetype table = page.indexOf("<table");
    const qsizetype tableEnd = page.indexOf("</table>");
    if (table < 0 || tableEnd < table) return;
    const qsizetype tagEnd = page.indexOf('\n', table);
    if (tagEnd < 0 || tagEnd > tableEnd) return;
    rowsStart_ = tagEnd + 1;
    tableEnd_ = tableEnd;
    static const QByteArray kRowEnd = "</tr>";
    for (qsizetype at = page.indexOf(kRowEnd, rowsStart_); at >= 0 && at < tableEnd;
         at = page.indexOf(kRowEnd, at)) {
      at += kRowEnd.size();
      while (at < tableEnd && (page[at] == '\r' || page[at] == '\n')) ++at;
      rowEnds_.push_back(at);
    }
  }

  // Table rows, the header's among them.
  int Rows() const { return static_cast<int>(rowEnds_.size()); }

  QByteArrayView Row(int row) const {
    const qsizetype begin = row == 0 ? rowsStart_ : rowEnds_[row - 1];
    return QByteArrayView(page_).sliced(begin, rowEnds_[row] - begin);
  }

  // The cells of a row, each from "<td" to "</td>".
  static std::vector<QByteArrayView> Cells(QByteArrayView row) {
    std::vector<QByteArrayView> cells;
    for (qsizetype at = row.indexOf("<td"); at >= 0; at = row.indexOf("<td", at)) {
      const qsizetype end = row.indexOf("</td>", at);
      if (end < 0) break;
      cells.push_back(row.sliced(at, end + 5 - at));
      at = end + 5;
    }
    return cells;
  }

  // The page with the rows `before`, then the rows [from, to), then the rows `after` in its
  // table; the part that ends the table ends as the page does.
  QByteArray Part(const QByteArray& before, int from, int to, const QByteArray& after) const {
    QByteArray part = page_.left(rowsStart_);
    part += before;
    const qsizetype begin = from == 0 ? rowsStart_ : rowEnds_[from - 1];
    part += QByteArrayView(page_).sliced(begin, rowEnds_[to - 1] - begin);
    part += after;
    if (to == Rows()) {
      part += QByteArrayView(page_).sliced(tableEnd_);
    } else {
      part += "</table>\r\n</body>\r\n</html>\r\n";
    }
    return part;
  }

 private:
  const QByteArray& page_;
  qsizetype rowsStart_ = 0;
  qsizetype tableEnd_ = 0;
  std::vector<qsizetype> rowEnds_;
};

constexpr int kHeaderRows = 2;  // the second holds the rating columns' headers

QTextTable* MainTable(const QTextDocument& document) {
  for (QTextFrame* frame : document.rootFrame()->childFrames()) {
    if (auto* table = qobject_cast<QTextTable*>(frame)) return table;
  }
  return nullptr;
}

// Where a row's first cell's text starts, in the document laid out.
double RowTop(const QTextDocument& document, QTextTable& table, int row) {
  const QTextBlock block = table.cellAt(row, 0).firstCursorPosition().block();
  return document.documentLayout()->blockBoundingRect(block).top();
}

// The left and right edge of each column's text, where a cell of its own shows it.
std::vector<double> ColumnEdges(const QTextDocument& document, QTextTable& table) {
  std::vector<double> edges(2 * table.columns(), -1);
  for (int column = 0; column < table.columns(); ++column) {
    for (int row = 0; row < table.rows(); ++row) {
      const QTextTableCell cell = table.cellAt(row, column);
      if (cell.column() != column || cell.columnSpan() != 1) continue;
      const QRectF box =
          document.documentLayout()->blockBoundingRect(cell.firstCursorPosition().block());
      edges[2 * column] = box.left();
      edges[2 * column + 1] = box.right();
      break;
    }
  }
  return edges;
}

bool SameColumns(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] >= 0 && b[i] >= 0 && a[i] != b[i]) return false;
  }
  return true;
}

double Fraction(double value) { return value - std::floor(value); }

// A row's page and where on it the row starts.
std::pair<int, double> PagePlace(double top, double height) {
  const int page = static_cast<int>(std::floor(top / height));
  return {page, top - page * height};
}

// The widest word of each column (Qt widens a column to it) and its row.
struct Widest {
  double width = 0;
  int row = -1;
};

struct PrintedPart {
  int from = 0;
  int to = 0;
  double space = 0;  // before its table
  int first = 0;     // the pages printed of its layout
  int end = 0;
  std::unique_ptr<QTextDocument> laidOut;  // kept from planning, or laid out again
};

class PartPrint {
 public:
  PartPrint(const QByteArray& page, QPaintDevice& device, const QSizeF& body)
      : parts_(page), device_(device), body_(body), height_(LaidOutHeight(body.height())) {}

  // Part [from, to) laid out. A part after the first begins with the header rows and the
  // row of the widest words, which set the columns' widths as in the whole table, on a page
  // that is not printed; a space before them puts row `from` where it starts on its
  // page in the whole table. The next page is the first printed.
  std::unique_ptr<QTextDocument> LayOut(int from, int to, double space = 0) {
    QByteArray before, after;
    if (from > 0) {
      for (int row = 0; row < kHeaderRows; ++row) before += parts_.Row(row).toByteArray();
      before += WidestRow();
    } else {
      after = WidestRow();
    }
    QTextDocument parsed;
    SetReportDocument(parsed, parts_.Part(before, from, to, after));
    if (MainTable(parsed) == nullptr) return nullptr;
    if (from == 0) return PrintLayout(parsed, device_, body_);
    // The empty line before the table, as high as the space.
    QTextBlockFormat format = parsed.begin().blockFormat();
    format.setTopMargin(space);
    format.setLineHeight(0, QTextBlockFormat::FixedHeight);
    return PrintLayout(parsed, device_, body_, &format);
  }

  // The parts and their pages, or nothing when the page does not print alike in parts.
  std::optional<std::vector<PrintedPart>> Plan(const PrintParts& parts, PagePrinter& printer,
                                               Progress& progress) {
    if (parts_.Rows() <= kHeaderRows + 1) return std::nullopt;
    progress.ShowProgress(W("Tisknu"), parts_.Rows());
    // A part whose columns are not as wide as the first part's holds a wider word, or lacks
    // one: the parts start again with the widest words among the rows before.
    for (int round = 0; round < 8; ++round) {
      printer.ThrowIfCanceled();
      if (!Place()) return std::nullopt;
      widened_ = false;
      auto plan = PlanOnce(parts, printer, progress);
      if (plan || !widened_) return plan;
    }
    return std::nullopt;
  }

 private:
  // Where a part's own rows start without a space before, and where its table starts, from a
  // part of one row.
  bool Place() {
    const int row = kHeaderRows;
    const std::unique_ptr<QTextDocument> probe = LayOut(row, row + 1);
    QTextTable* table = probe ? MainTable(*probe) : nullptr;
    if (table == nullptr) return false;
    ownTop_ = RowTop(*probe, *table, table->rows() - 1);
    ownFrame_ = probe->documentLayout()->frameBoundingRect(table).top();
    return ownTop_ < height_ / 2;  // the header and the widest words take half a page at most
  }

  // Qt widens a column to the widest word of its cells.
  static double WordWidth(const QTextTableCell& cell) {
    double width = 0;
    for (QTextBlock block = cell.firstCursorPosition().block();
         block.isValid() && block.position() <= cell.lastPosition(); block = block.next()) {
      if (const QTextLayout* layout = block.layout()) {
        width = std::max(width, layout->minimumWidth());
      }
    }
    return width;
  }

  // Rows [first, first + count) of a part's table are the page's rows from `from` on: the
  // widest word of each column among them.
  void Measure(QTextTable& table, int first, int count, int from) {
    widths_.resize(table.columns());
    for (int row = first; row < first + count; ++row) {
      for (int column = 0; column < table.columns(); ++column) {
        const QTextTableCell cell = table.cellAt(row, column);
        if (cell.row() != row || cell.column() != column || cell.columnSpan() != 1) continue;
        const double width = WordWidth(cell);
        if (width > widths_[column].width) widths_[column] = {width, from + row - first};
      }
    }
  }

  std::optional<std::vector<PrintedPart>> PlanOnce(const PrintParts& parts, PagePrinter& printer,
                                                   Progress& progress) {
    const int partRows = parts.partRows;
    int kept = 0;  // rows of the layouts kept
    const auto keep = [&](PrintedPart& part, std::unique_ptr<QTextDocument>& document) {
      if (kept + (part.to - part.from) > parts.keptRows) return;
      kept += part.to - part.from;
      part.laidOut = std::move(document);
    };
    const int rows = parts_.Rows();
    std::vector<PrintedPart> plan;
    std::vector<double> columns;
    double space = 0;
    int firstPage = 0;  // where the part's first row must start
    double firstTop = 0;
    int base = 0;           // the page of the whole page that the part's first printed page is
    double wholeFrame = 0;  // the table's top in the first part, as in the whole page
    for (int from = 0, size = partRows;;) {
      printer.ThrowIfCanceled();
      const int to = std::min(rows, from + size);
      std::unique_ptr<QTextDocument> document = LayOut(from, to, space);
      QTextTable* table = document ? MainTable(*document) : nullptr;
      if (table == nullptr) return std::nullopt;
      // Where the part's own rows are in its table: the first part has the row of the widest
      // words after them, and may lack the header's second row when it is empty; the others
      // have the header and that row before them.
      const int extra = widest_.empty() ? 0 : 1;
      const int own = from == 0 ? 0 : table->rows() - (to - from);
      const int ownRows = from == 0 ? table->rows() - extra : to - from;
      const int skipped = from == 0 ? (to - from) - ownRows : 0;
      const std::vector<double> edges = ColumnEdges(*document, *table);
      if (from == 0) {
        columns = edges;
        Measure(*table, kHeaderRows - skipped, ownRows - (kHeaderRows - skipped), kHeaderRows);
      } else if (!SameColumns(columns, edges)) {
        Measure(*table, own, ownRows, from);
        TakeWidest(columns, edges);
        return std::nullopt;
      }
      int first = 0;
      if (from > 0) {
        // The first row where it is in the whole table: the next page is the first printed.
        const auto [page0, top0] = PagePlace(RowTop(*document, *table, own), height_);
        if (page0 != firstPage || top0 != firstTop) return std::nullopt;
        first = page0 + 1;
      }
      if (to == rows) {
        plan.push_back({from, to, space, first, std::max(first + 1, document->pageCount()), {}});
        keep(plan.back(), document);
        return plan;
      }
      // The part is printed up to the page of its last row that leaves room above it for the
      // rows the next part begins with; the next part begins with that row. Qt rounds some
      // borders and lines to whole device pixels from the table's top: a row that lies as far
      // from it in fractions of a pixel as in the whole page, where the next part puts it, is
      // taken first, so that the pages are painted alike; with the others, a line may lie a
      // device pixel apart.
      if (from == 0) wholeFrame = document->documentLayout()->frameBoundingRect(table).top();
      const double ownFraction = Fraction(ownTop_ - ownFrame_);
      // The pages up to the last row's are whole: no later row of the page starts on them.
      const int lastPage = PagePlace(RowTop(*document, *table, own + ownRows - 1), height_).first;
      int next = -1;
      for (const bool alike : {true, false}) {
        for (int row = ownRows - 1; row > 0 && from + skipped + row > kHeaderRows; --row) {
          const double rowTop = RowTop(*document, *table, own + row);
          const auto [page, top] = PagePlace(rowTop, height_);
          if (page < first || page >= lastPage || top < ownTop_) continue;
          // An alike row only in the part's second half: the part must get on.
          if (alike && (Fraction(rowTop - wholeFrame) != ownFraction || 2 * row < ownRows)) {
            continue;
          }
          next = from + skipped + row;
          plan.push_back({from, to, space, first, page + 1, {}});
          keep(plan.back(), document);
          // The row goes on a page whose place differs from the whole page's by whole pixels,
          // 64 pages on.
          firstPage = (base + page - first) % 64;
          firstTop = top;
          space = firstPage * height_ + top - ownTop_;
          base += page + 1 - first;
          break;
        }
        if (next >= 0) break;
      }
      if (next < 0) {
        size *= 2;  // a longer part
        continue;
      }
      from = next;
      size = partRows;
      progress.SetProgress(from);
    }
  }

  // The cells of the widest words of the columns whose width differs, put into every part
  // from now on.
  void TakeWidest(const std::vector<double>& a, const std::vector<double>& b) {
    for (size_t column = 0; column < widths_.size() && 2 * column + 1 < a.size(); ++column) {
      const double wide = a[2 * column + 1] - a[2 * column];
      const double other = b[2 * column + 1] - b[2 * column];
      const int row = widths_[column].row;
      if (wide == other || row < kHeaderRows) continue;
      const auto known = widest_.find(static_cast<int>(column));
      if (known != widest_.end() && known->second == row) continue;
      widest_[static_cast<int>(column)] = row;
      widened_ = true;
    }
  }

  // One row of the widest cells, each in its column, the other cells empty: it widens the
  // columns as their rows would, at the height of one.
  QByteArray WidestRow() const {
    if (widest_.empty()) return {};
    const std::vector<QByteArrayView> shape = PageParts::Cells(parts_.Row(widest_.begin()->second));
    QByteArray row = "  <tr>\r\n";
    for (size_t column = 0; column < shape.size(); ++column) {
      const auto widest = widest_.find(static_cast<int>(column));
      if (widest != widest_.end()) {
        const std::vector<QByteArrayView> cells = PageParts::Cells(parts_.Row(widest->second));
        if (column < cells.size()) {
          row += cells[column];
          row += "\r\n";
          continue;
        }
      }
      const QByteArrayView cell = shape[column];
      row += cell.first(cell.indexOf('>') + 1);
      row += "&nbsp;</td>\r\n";
    }
    row += "  </tr>\r\n";
    return row;
  }

  PageParts parts_;
  QPaintDevice& device_;
  QSizeF body_;
  double height_;
  double ownTop_ = 0;
  double ownFrame_ = 0;         // the table's top there
  std::vector<Widest> widths_;  // of each column, over the parts laid out
  std::map<int, int> widest_;   // their columns' rows, put into every part
  bool widened_ = false;
};

}  // namespace

int PrintReportDocument(const QTextDocument& source, QPrinter& printer, const PrintSetup& setup,
                        const std::string& address, Progress& progress) {
  PagePrinter pages(printer, setup, address, progress);
  // Laid out anew for the printer, so that its metrics and the page height decide the breaks.
  const std::unique_ptr<QTextDocument> document = PrintLayout(source, printer, pages.Body());
  const int count = std::max(1, document->pageCount());
  pages.Begin(document->metaInformation(QTextDocument::DocumentTitle), count);
  pages.Paint(*document, 0, count);
  pages.End();
  return count;
}

QString ReportPageTitle(const QByteArray& page) {
  const qsizetype body = page.indexOf("<body");
  QTextDocument head;
  head.setHtml(ReportHtmlForQt(body < 0 ? page : page.left(body)));
  return head.metaInformation(QTextDocument::DocumentTitle);
}

namespace {
thread_local int lastPrintParts = 0;
}  // namespace

int LastPrintParts() { return lastPrintParts; }

bool ReportPrintedInParts(const QByteArray& page, const PrintParts& parts) {
  return ReportPageRows(page) > std::max(parts.wholeRows, parts.partRows);
}

int PrintReportPage(const QByteArray& page, QPrinter& printer, const PrintSetup& setup,
                    const std::string& address, Progress& progress, const PrintParts& parts) {
  lastPrintParts = 0;
  if (ReportPrintedInParts(page, parts)) {
    PagePrinter pages(printer, setup, address, progress);
    PartPrint print(page, printer, pages.Body());
    if (auto plan = print.Plan(parts, pages, progress)) {
      int count = 0;
      for (const PrintedPart& part : *plan) count += part.end - part.first;
      // Parts beyond the kept ones are laid out again: all kept, a long page's layout would
      // take the memory of the whole page's.
      for (PrintedPart& part : *plan) {
        const std::unique_ptr<QTextDocument> document =
            part.laidOut ? std::move(part.laidOut) : print.LayOut(part.from, part.to, part.space);
        if (!document) throw Error(Msg(295));
        if (part.from == 0) {
          pages.Begin(document->metaInformation(QTextDocument::DocumentTitle), count);
        }
        pages.Paint(*document, part.first, part.end);
      }
      pages.End();
      lastPrintParts = static_cast<int>(plan->size());
      return count;
    }
    // Not alike in parts: the whole page at once, as a short one.
  }
  QTextDocument document;
  SetReportDocument(document, page);
  return PrintReportDocument(document, printer, setup, address, progress);
}

namespace {

// Why the PDF file is not whole on disk, or "" when it is.
std::string CompletePdfProblem(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  std::string problem;
  char tail[64] = {};
  const off_t size = ::lseek(fd, 0, SEEK_END);
  const off_t from = size > static_cast<off_t>(sizeof tail) ? size - sizeof tail : 0;
  const ssize_t got = size < 0 ? -1 : ::pread(fd, tail, sizeof tail, from);
  if (got < 0) {
    problem = std::strerror(errno);
  } else if (std::string_view(tail, got).find("%%EOF") == std::string_view::npos) {
    // What a full disk leaves; the OS's own word for it where the disk is full right now.
    problem = std::strerror(ENOSPC);
  } else if (::fsync(fd) != 0) {
    problem = std::strerror(errno);
  }
  ::close(fd);
  return problem;
}

}  // namespace

namespace {

int PrintIntoFile(QPrinter& printer, const std::filesystem::path& target,
                  const std::function<int()>& print) {
  std::random_device seed;
  std::filesystem::path temp = target;
  temp += ".tmp" + std::to_string(seed() % 1000000);
  struct Named {
    QPrinter& printer;
    QString name;
    ~Named() { printer.setOutputFileName(name); }
  } named{printer, printer.outputFileName()};
  printer.setOutputFileName(PathToQString(temp));
  int pages = 0;
  try {
    pages = print();
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw;
  }
  // Qt's PDF engine does not report a failed write (a full disk): the file must end in the
  // PDF trailer and reach the disk before it may replace the old one.
  if (const std::string problem = CompletePdfProblem(temp); !problem.empty()) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw Error(W("Soubor PDF nelze zapsat: ") + Utf8ToCp1250(target.string()) + " (" + problem +
                ")");
  }
  std::error_code ec;
  std::filesystem::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw Error(W("Soubor PDF nelze zapsat: ") + Utf8ToCp1250(target.string()) + " (" +
                ec.message() + ")");
  }
  return pages;
}

void SetUpPdfPrinter(QPrinter& printer, const QString& title, const PrintSetup& setup) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setCreator(QStringLiteral("Orvenda"));
  printer.setDocName(title);
  ApplyPrintSetup(printer, setup);
}

}  // namespace

int PrintReportIntoFile(const QTextDocument& document, QPrinter& printer, const PrintSetup& setup,
                        const std::string& address, const std::filesystem::path& target,
                        Progress& progress) {
  return PrintIntoFile(printer, target, [&] {
    return PrintReportDocument(document, printer, setup, address, progress);
  });
}

int PrintReportPageIntoFile(const QByteArray& page, QPrinter& printer, const PrintSetup& setup,
                            const std::string& address, const std::filesystem::path& target,
                            Progress& progress, const PrintParts& parts) {
  return PrintIntoFile(printer, target, [&] {
    return PrintReportPage(page, printer, setup, address, progress, parts);
  });
}

int WriteReportPdf(const QTextDocument& document, const PrintSetup& setup,
                   const std::string& address, const std::filesystem::path& target,
                   Progress& progress) {
  QPrinter printer(QPrinter::HighResolution);
  SetUpPdfPrinter(printer, document.metaInformation(QTextDocument::DocumentTitle), setup);
  return PrintReportIntoFile(document, printer, setup, address, target, progress);
}

int WriteReportPagePdf(const QByteArray& page, const PrintSetup& setup, const std::string& address,
                       const std::filesystem::path& target, Progress& progress,
                       const PrintParts& parts) {
  QPrinter printer(QPrinter::HighResolution);
  SetUpPdfPrinter(printer, ReportPageTitle(page), setup);
  return PrintReportPageIntoFile(page, printer, setup, address, target, progress, parts);
}

}  // namespace orvenda
