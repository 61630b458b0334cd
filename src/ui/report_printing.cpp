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
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>
#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>

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
                                           const QSizeF& page) {
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
  QTextCursor(document.get()).insertFragment(QTextDocumentFragment(&source));
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

int PrintReportDocument(const QTextDocument& source, QPrinter& printer, const PrintSetup& setup,
                        const std::string& address, Progress& progress) {
  QPainter painter;
  if (!painter.begin(&printer)) {
    throw Error(Msg(294));
  }
  const QRectF paint = printer.pageLayout().paintRectPixels(printer.resolution());
  const QFont lineFont(PageLineFont(), &printer);
  const double lineHeight = QFontMetricsF(lineFont, &printer).height();
  const double gap = kHeaderGapMm / 25.4 * printer.resolution();
  const bool hasHeader = !setup.header.empty();
  const bool hasFooter = !setup.footer.empty();
  const double top = hasHeader ? lineHeight + gap : 0;
  const double bottom = hasFooter ? lineHeight + gap : 0;
  const QSizeF body(paint.width(), std::max(paint.height() - top - bottom, lineHeight));
  // Laid out anew for the printer, so that its metrics and the page height decide the breaks.
  const std::unique_ptr<QTextDocument> document = PrintLayout(source, printer, body);
  const int pages = std::max(1, document->pageCount());

  PageCodeValues values;
  values.title = ToCp1250(document->metaInformation(QTextDocument::DocumentTitle));
  values.address = address;
  values.pages = pages;
  const QDateTime now = QDateTime::currentDateTime();
  values.date = ToCp1250(QLocale().toString(now.date(), QLocale::ShortFormat));
  values.time = ToCp1250(QLocale().toString(now.time(), QLocale::ShortFormat));

  const QRectF bodyOnPage(0, top, body.width(), body.height());
  CullingPaintDevice culled(painter, printer);
  culled.SetVisible(bodyOnPage);

  progress.ShowProgress(W("Tisknu"), pages);
  struct Hide {
    Progress& progress;
    ~Hide() { progress.HideProgress(); }
  } hide{progress};
  for (int page = 1; page <= pages; ++page) {
    if (progress.Canceled()) {
      // "Storno": the pages so far must not come out of the printer as a whole print.
      printer.abort();
      throw ProgressCanceled{};
    }
    if (page > 1 && !printer.newPage()) throw Error(Msg(295));
    values.page = page;
    painter.save();
    painter.setFont(lineFont);
    painter.setPen(Qt::black);
    if (hasHeader) {
      DrawPageLine(painter, QRectF(0, 0, body.width(), lineHeight),
                   ExpandPageCodes(setup.header, values));
    }
    if (hasFooter) {
      DrawPageLine(painter, QRectF(0, paint.height() - lineHeight, body.width(), lineHeight),
                   ExpandPageCodes(setup.footer, values));
    }
    // The page's slice of the document, between header and footer, painted through the
    // culling device so that the page gets only what it shows.
    const QRectF slice(0, (page - 1) * body.height(), body.width(), body.height());
    painter.setClipRect(bodyOnPage);
    {
      QPainter culledPainter(&culled);
      culledPainter.setFont(lineFont);
      culledPainter.setPen(Qt::black);
      culledPainter.translate(0, top - slice.top());
      QAbstractTextDocumentLayout::PaintContext context;
      context.clip = slice;
      context.palette.setColor(QPalette::Text, Qt::black);
      document->documentLayout()->draw(&culledPainter, context);
    }
    painter.restore();
    progress.StepProgress();
  }
  if (!painter.end()) throw Error(Msg(295));
  return pages;
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

int PrintReportIntoFile(const QTextDocument& document, QPrinter& printer, const PrintSetup& setup,
                        const std::string& address, const std::filesystem::path& target,
                        Progress& progress) {
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
    pages = PrintReportDocument(document, printer, setup, address, progress);
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

int WriteReportPdf(const QTextDocument& document, const PrintSetup& setup,
                   const std::string& address, const std::filesystem::path& target,
                   Progress& progress) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setCreator(QStringLiteral("Orvenda"));
  printer.setDocName(document.metaInformation(QTextDocument::DocumentTitle));
  ApplyPrintSetup(printer, setup);
  return PrintReportIntoFile(document, printer, setup, address, target, progress);
}

}  // namespace orvenda
