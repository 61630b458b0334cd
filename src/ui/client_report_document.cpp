#include "client_report_document.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QColor>
#include <QDateTime>
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocumentWriter>
#include <QTextLayout>
#include <QTextTable>
#include <cctype>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "app/batch_project.h"
#include "app/command_line.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "model/risk.h"
#include "odt_package.h"
#include "qt_dialogs.h"
#include "qt_text.h"

namespace orvenda {
namespace {

constexpr double kMarginMm = 15;
constexpr double kBandGapMm = 2;  // between the header or footer and the body
const QColor kHeaderFill(0xe8, 0xe8, 0xe8);
const QColor kRuleColour(0x60, 0x60, 0x60);
const QColor kSectionFill(0xd0, 0xd0, 0xd0);

QString Q(const std::string& cp1250) { return FromCp1250(cp1250); }

// A record's text for one cell: the line breaks of a memo (CR LF, or either alone) become
// line breaks inside the cell's paragraph.
QString CellText(const std::string& cp1250) {
  QString text = FromCp1250(cp1250);
  text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
  text.replace(QLatin1Char('\r'), QChar::LineSeparator);
  text.replace(QLatin1Char('\n'), QChar::LineSeparator);
  return text;
}

QFont SansFont(double points) {
  QFont font(QStringLiteral("sans-serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  return font;
}

struct Cell {
  QString text;
  Qt::Alignment align = Qt::AlignLeft;
  QColor fill = QColor();  // invalid: the table's own
  bool bold = false;
  bool white = false;  // white text on a dark fill
};

Cell BandCell(const QString& text, int band, Qt::Alignment align = Qt::AlignLeft) {
  const BandColor colour = RiskBandColor(band);
  return {text, align, QColor(QLatin1String(colour.fill)), false, colour.dark};
}

class DocumentBuilder {
 public:
  DocumentBuilder(QTextDocument& document, const ClientReport& report, bool odf)
      : document_(document), report_(report), texts_(report.texts), odf_(odf), cursor_(&document) {}

  // The parts of the report; the register and the legend each start a page, unless they
  // begin the document.
  enum Part { kFront = 1, kRegister = 2, kLegend = 4, kAll = 7 };

  void Build(int parts = kAll) {
    document_.clear();
    // Built once and never edited: keeping undo steps for every cell costs most of the time.
    document_.setUndoRedoEnabled(false);
    document_.setDefaultFont(SansFont(10));
    QTextOption option = document_.defaultTextOption();
    // Long words break too: a text is never cut off at a cell's edge.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document_.setDefaultTextOption(option);
    document_.setDocumentMargin(0);
    document_.setMetaInformation(QTextDocument::DocumentTitle, Q(report_.options.title));
    cursor_ = QTextCursor(&document_);
    fresh_ = true;
    empty_ = true;
    // One edit: the layout hears of the whole document once, not of every table as it grows.
    QTextCursor edit(&document_);
    edit.beginEditBlock();
    if ((parts & kFront) != 0) {
      TitlePage();
      if (report_.options.summary) Summary();
      if (report_.options.matrix) Matrix();
    }
    if ((parts & kRegister) != 0) Register();
    if ((parts & kLegend) != 0 && report_.options.legend) Legend();
    edit.endEditBlock();
  }

  // The register's columns in their order, with their shares of the width in percent.
  struct RegisterColumn {
    int column;  // Column
    double percent;
    QString title;
    bool centred;
  };
  std::vector<RegisterColumn> RegisterPlan() const;

  // The register's text size: portrait pages are narrow for eleven columns.
  double TableFontSize() const { return report_.options.landscape ? 8.5 : 7.5; }

  Cell RiskCell(const ClientRisk& risk, int column) const;

  // Told how many of the register's rows are in, now and then.
  std::function<void(int)> rowsDone;

  static Cell SectionCell(int number, const ClientSection& section) {
    return {QString::number(number) + QStringLiteral("   ") + CellText(section.heading),
            Qt::AlignLeft, kSectionFill, true, false};
  }

 private:
  // The register's columns.
  enum Column {
    kNumber,
    kObject,
    kHazard,
    kSource,
    kIdent,
    kP,
    kN,
    kH,
    kR,
    kCategory,
    kMeasures,
    kNote
  };

  static constexpr double kPadding = 2;  // points, in the cells of ruled tables

  // Lengths of a document are pixels of 96 per inch.
  static double Pt(double points) { return points * 96 / 72; }

  QTextCharFormat Chars(double points, bool bold = false) const {
    QTextCharFormat chars;
    chars.setFont(SansFont(points));
    if (bold) chars.setFontWeight(QFont::Bold);
    return chars;
  }

  // A paragraph at the end of the document.
  void Paragraph(const QString& text, const QTextBlockFormat& block, const QTextCharFormat& chars) {
    if (fresh_) {
      cursor_.setBlockFormat(block);
      cursor_.setBlockCharFormat(chars);
    } else {
      cursor_.insertBlock(block, chars);
    }
    cursor_.insertText(text, chars);
    fresh_ = false;
    empty_ = false;
  }

  void Heading(const QString& text) {
    QTextBlockFormat block;
    if (!empty_) block.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    block.setBottomMargin(Pt(8));
    Paragraph(text, block, Chars(14, true));
  }

  // A paragraph; an empty one is a gap of its font's height. It holds a no-break space,
  // since a table put after a block without text takes the block's place.
  void Line(const QString& text, const QTextCharFormat& chars, double topMargin = 0) {
    QTextBlockFormat block;
    block.setTopMargin(Pt(topMargin));
    Paragraph(text.isEmpty() ? QString(QChar(0x00A0)) : text, block, chars);
  }

  QTextTable* Table(int rows, const std::vector<double>& percents, int headerRows,
                    bool ruled = true, double widthPercent = 100, double padding = kPadding) {
    QTextTableFormat format;
    format.setCellSpacing(0);
    format.setCellPadding(Pt(padding));
    format.setBorderCollapse(true);
    format.setBorder(ruled ? Pt(0.5) : 0);
    format.setBorderStyle(ruled ? QTextFrameFormat::BorderStyle_Solid
                                : QTextFrameFormat::BorderStyle_None);
    format.setBorderBrush(kRuleColour);
    format.setHeaderRowCount(headerRows);
    format.setAlignment(Qt::AlignHCenter);
    QList<QTextLength> widths;
    if (odf_) {
      const double points = BodyWidth() * widthPercent / 100;
      format.setWidth(QTextLength(QTextLength::FixedLength, points));
      for (const double percent : percents) {
        widths.append(QTextLength(QTextLength::FixedLength, points * percent / 100));
      }
    } else {
      format.setWidth(QTextLength(QTextLength::PercentageLength, widthPercent));
      for (const double percent : percents) {
        widths.append(QTextLength(QTextLength::PercentageLength, percent));
      }
    }
    format.setColumnWidthConstraints(widths);
    QTextTable* table = cursor_.insertTable(rows, static_cast<int>(percents.size()), format);
    return table;
  }

  // The width of the page's body in points.
  double BodyWidth() const {
    const double mm = (report_.options.landscape ? 297 : 210) - 2 * kMarginMm;
    return mm / 25.4 * 72;
  }

  // Shares of a table `tablePercent` of the body wide, so that no word in `words` of a column
  // is broken: a column narrower than its widest word (plus padding) grows, and the
  // `flexible` columns give up the room in proportion to their shares.
  std::vector<double> FitShares(std::vector<double> shares, const std::vector<QStringList>& words,
                                const std::vector<bool>& flexible, double points, bool bold,
                                double padding = kPadding, double tablePercent = 100) const {
    double total = 0;
    for (const double share : shares) total += share;
    for (double& share : shares) share = share * 100 / total;
    const double width = BodyWidth() * tablePercent / 100;
    std::vector<double> needed(shares.size());
    double grown = 0, flexibleTotal = 0;
    for (size_t c = 0; c < shares.size(); ++c) {
      double widest = 0;
      for (const QString& text : words[c]) widest = std::max(widest, WordWidth(text, points, bold));
      needed[c] = (widest + 2 * padding + 2) * 100 / width;
      if (flexible[c]) {
        flexibleTotal += shares[c];
      } else if (shares[c] < needed[c]) {
        grown += needed[c] - shares[c];
        shares[c] = needed[c];
      }
    }
    const double keep =
        flexibleTotal > 0 ? std::max(0.0, flexibleTotal - grown) / flexibleTotal : 1;
    total = 0;
    for (size_t c = 0; c < shares.size(); ++c) {
      if (flexible[c]) shares[c] = std::max(needed[c], shares[c] * keep);
      total += shares[c];
    }
    for (double& share : shares) share = share * 100 / total;
    return shares;
  }

  // The width in points of the widest word of `text` at `points`.
  static double WordWidth(const QString& text, double points, bool bold) {
    // Measured at a large pixel size and scaled, so that no screen resolution or hinting
    // comes into it.
    QFont font = SansFont(10);
    font.setPixelSize(200);
    font.setBold(bold);
    const QFontMetricsF metrics(font);
    double widest = 0;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      widest = std::max(widest, metrics.horizontalAdvance(word));
    }
    return widest / 200 * points;
  }

  // Back to the end of the document after a table: the block there separates what follows.
  void AfterTable() {
    cursor_.movePosition(QTextCursor::End);
    QTextBlockFormat block;
    cursor_.setBlockFormat(block);
    cursor_.setBlockCharFormat(Chars(6));
    fresh_ = true;
  }

  void SetCell(QTextTable* table, int row, int column, const Cell& cell, double points,
               QTextCharFormat::VerticalAlignment vertical = QTextCharFormat::AlignTop) {
    QTextTableCell target = table->cellAt(row, column);
    if (cell.fill.isValid() || vertical != QTextCharFormat::AlignTop) {
      QTextTableCellFormat format = target.format().toTableCellFormat();
      if (cell.fill.isValid()) format.setBackground(cell.fill);
      format.setVerticalAlignment(vertical);
      target.setFormat(format);
    }
    QTextCursor at = target.firstCursorPosition();
    if (cell.align != Qt::AlignLeft) {
      QTextBlockFormat block;
      block.setAlignment(cell.align);
      at.setBlockFormat(block);
    }
    QTextCharFormat chars = Chars(points, cell.bold);
    if (cell.white) chars.setForeground(Qt::white);
    at.insertText(cell.text, chars);
  }

  void HeaderCell(QTextTable* table, int row, int column, const QString& text, double points,
                  Qt::Alignment align = Qt::AlignLeft) {
    SetCell(table, row, column, {text, align, kHeaderFill, true, false}, points);
  }

  // --- Parts ---------------------------------------------------------------------------------

  void TitlePage() {
    const ClientReportOptions& o = report_.options;
    const bool landscape = o.landscape;
    // The layout drops a top margin at the top of a page: an empty line of a large font
    // brings the title down instead.
    Line(QString(), Chars(landscape ? 40 : 100));
    QTextBlockFormat titleBlock;
    titleBlock.setAlignment(Qt::AlignHCenter);
    Paragraph(Q(o.title), titleBlock, Chars(24, true));
    Line(QString(), Chars(20));

    std::vector<std::pair<std::string, std::string>> lines;
    if (!o.client.empty()) lines.push_back({texts_.clientLabel, o.client});
    lines.push_back({texts_.objectLabel, o.object});
    if (!o.assessor.empty()) lines.push_back({texts_.assessorLabel, o.assessor});
    lines.push_back({texts_.dateLabel, o.date});
    lines.push_back({texts_.projectLabel, report_.projectName});
    lines.push_back({texts_.riskCountLabel, std::to_string(report_.riskCount)});
    QStringList labels;
    for (const auto& line : lines) labels.append(Q(line.first));
    const double infoPadding = 3;
    const std::vector<double> infoShares =
        FitShares({30, 70}, {labels, QStringList()}, {false, true}, 11, false, infoPadding, 80);
    QTextTable* info = Table(static_cast<int>(lines.size()), infoShares, 0, false, 80, infoPadding);
    for (int row = 0; row < static_cast<int>(lines.size()); ++row) {
      SetCell(info, row, 0, {labels[row]}, 11);
      SetCell(info, row, 1, {CellText(lines[row].second), Qt::AlignLeft, {}, true, false}, 11);
    }
    AfterTable();

    // The signatures, with room to sign between the two lines.
    Line(QString(), Chars(landscape ? 24 : 60));
    const QString rule = QStringLiteral("______________________________");
    const QString shortRule = QStringLiteral("________________");
    const double signPadding = 10;
    const QString prepared = Q(texts_.preparedBy), received = Q(texts_.receivedBy);
    const QString on = Q(texts_.signedOn);
    const std::vector<double> signShares =
        FitShares({18, 44, 10, 28},
                  {QStringList{prepared, received}, QStringList(), QStringList{on}, QStringList()},
                  {false, true, false, true}, 11, false, signPadding, 90);
    QTextTable* signatures = Table(2, signShares, 0, false, 90, signPadding);
    for (int row = 0; row < 2; ++row) {
      SetCell(signatures, row, 0, {row == 0 ? prepared : received}, 11);
      SetCell(signatures, row, 1, {rule}, 11);
      SetCell(signatures, row, 2, {on, Qt::AlignRight}, 11);
      SetCell(signatures, row, 3, {shortRule}, 11);
    }
    AfterTable();
  }

  void Summary() {
    Heading(Q(texts_.summaryHeading));
    Line(Q(texts_.summaryCaption), Chars(10), 0);
    Line(QString(), Chars(4));
    const double size = 9;
    const double headerSize = 7.5;  // the category names side by side
    // The object, the unrated, the five categories, the total; no category name is broken.
    std::vector<QStringList> words(8);
    for (int band = 0; band <= 5; ++band) words[1 + band] = {Q(texts_.category[band])};
    words[7] = {Q(texts_.total)};
    words[0] = {Q(texts_.object)};
    std::vector<bool> flexible(8, false);
    flexible[0] = true;
    const std::vector<double> shares =
        FitShares({30, 10, 10, 10, 10, 10, 10, 10}, words, flexible, headerSize, true);
    QTextTable* table = Table(static_cast<int>(report_.summary.size()) + 2, shares, 1);
    HeaderCell(table, 0, 0, Q(texts_.object), headerSize);
    for (int band = 0; band <= 5; ++band) {
      Cell cell = BandCell(Q(texts_.category[band]), band, Qt::AlignHCenter);
      cell.bold = true;
      SetCell(table, 0, 1 + band, cell, headerSize);
    }
    HeaderCell(table, 0, 7, Q(texts_.total), headerSize, Qt::AlignHCenter);
    auto row = [&](int at, const ClientSummaryRow& counts, const QString& caption, bool bold) {
      SetCell(table, at, 0, {caption, Qt::AlignLeft, {}, bold, false}, size);
      for (int band = 0; band <= 5; ++band) {
        SetCell(table, at, 1 + band,
                {QString::number(counts.counts[band]), Qt::AlignHCenter, {}, bold, false}, size);
      }
      SetCell(table, at, 7, {QString::number(counts.Total()), Qt::AlignHCenter, {}, true, false},
              size);
    };
    int at = 1;
    for (const ClientSummaryRow& counts : report_.summary) {
      row(at++, counts, CellText(counts.caption), false);
    }
    row(at, report_.total, Q(texts_.total), true);
    AfterTable();
  }

  void Matrix() {
    Heading(Q(texts_.matrixHeading));
    const ClientMatrix& matrix = report_.matrix;
    const double size = 10;
    // Column 0 the P axis title, column 1 the P values, then N = 1..5; rows 0 and 1 the N axis.
    // Generous padding makes tall cells: the grid reads as a matrix rather than a list.
    const double padding = 9;
    const QString pTitle = Q(texts_.letter[0] + " - " + texts_.scaleTitle[0]);
    // Near square cells on either paper.
    const double tableWidth = report_.options.landscape ? 65 : 90;
    const std::vector<double> shares = FitShares(
        {20, 8, 14.4, 14.4, 14.4, 14.4, 14.4}, {QStringList(pTitle), {}, {}, {}, {}, {}, {}},
        {false, false, true, true, true, true, true}, size, true, padding, tableWidth);
    QTextTable* table = Table(7, shares, 0, true, tableWidth, padding);
    table->mergeCells(0, 0, 2, 2);
    table->mergeCells(0, 2, 1, 5);
    table->mergeCells(2, 0, 5, 1);
    HeaderCell(table, 0, 2, Q(texts_.letter[1] + " - " + texts_.scaleTitle[1]), size,
               Qt::AlignHCenter);
    SetCell(table, 2, 0, {pTitle, Qt::AlignHCenter, kHeaderFill, true, false}, size,
            QTextCharFormat::AlignMiddle);
    for (int n = 1; n <= 5; ++n) {
      HeaderCell(table, 1, 1 + n, QString::number(n), size, Qt::AlignHCenter);
    }
    for (int p = 5; p >= 1; --p) {
      const int row = 2 + (5 - p);
      Cell value{QString::number(p), Qt::AlignHCenter, kHeaderFill, true, false};
      SetCell(table, row, 1, value, size, QTextCharFormat::AlignMiddle);
      for (int n = 1; n <= 5; ++n) {
        const int count = matrix.count[p - 1][n - 1];
        Cell cell{QString(), Qt::AlignHCenter, QColor(Qt::white), true, false};
        if (count > 0) {
          cell = BandCell(QString::number(count), matrix.band[p - 1][n - 1], Qt::AlignHCenter);
          cell.bold = true;
        }
        SetCell(table, row, 1 + n, cell, 14, QTextCharFormat::AlignMiddle);
      }
    }
    AfterTable();
    Line(Q(texts_.matrixCaption), Chars(9), 6);
    if (matrix.leftOut > 0) {
      Line(Q(texts_.matrixLeftOut) + QLatin1Char(' ') + QString::number(matrix.leftOut), Chars(9),
           2);
    }
  }

  void Register() {
    int done = 0;
    Heading(Q(texts_.registerHeading));
    if (report_.riskCount == 0) {
      Line(Q(texts_.noRisks), Chars(10));
      return;
    }
    const std::vector<RegisterColumn> plan = RegisterPlan();
    const double size = TableFontSize();
    std::vector<double> percents;
    for (const RegisterColumn& column : plan) percents.push_back(column.percent);
    const int columns = static_cast<int>(plan.size());

    int sectionNumber = 0;
    for (const ClientSection& section : report_.sections) {
      ++sectionNumber;
      const bool headed = !report_.byLevel;
      const int headerRows = headed ? 2 : 1;
      QTextTable* table =
          Table(static_cast<int>(section.risks.size()) + headerRows, percents, headerRows);
      if (headed) {
        // The section's heading is a header row: it comes again on every page of the section
        // and is never left alone at the foot of a page.
        table->mergeCells(0, 0, 1, columns);
        SetCell(table, 0, 0, SectionCell(sectionNumber, section), size + 1.5);
      }
      for (int c = 0; c < columns; ++c) {
        HeaderCell(table, headerRows - 1, c, plan[c].title, size,
                   plan[c].centred ? Qt::AlignHCenter : Qt::AlignLeft);
      }
      int row = headerRows;
      for (const ClientRisk& risk : section.risks) {
        for (int c = 0; c < columns; ++c) {
          SetCell(table, row, c, RiskCell(risk, plan[c].column), size);
        }
        ++row;
        if (++done % 64 == 0 && rowsDone) rowsDone(done);
      }
      AfterTable();
    }
  }

  void Legend() {
    Heading(Q(texts_.legend));
    for (int scale = 0; scale < 3; ++scale) {
      Line(Q(texts_.letter[scale] + " - " + texts_.scaleTitle[scale]), Chars(10, true),
           scale == 0 ? 0 : 10);
      for (int value = 0; value < 5; ++value) {
        QTextBlockFormat block;
        block.setLeftMargin(Pt(14));
        Paragraph(
            QString::number(value + 1) + QStringLiteral(". ") + Q(texts_.scaleValue[scale][value]),
            block, Chars(9.5));
      }
    }
    Line(Q(texts_.letter[3] + " - " + texts_.scaleTitle[3]), Chars(10, true), 10);
    Line(QString(), Chars(4));
    static const char* const kRanges[] = {"0 - 3", "4 - 10", "11 - 50", "51 - 100", "101 - 125"};
    QTextTable* bands = Table(6, {45, 35}, 0, true, 80);
    for (int band = 1; band <= 5; ++band) {
      SetCell(bands, band - 1, 0, {QLatin1String(kRanges[band - 1])}, 9.5);
      SetCell(bands, band - 1, 1, BandCell(Q(texts_.category[band]), band), 9.5);
    }
    SetCell(bands, 5, 0, {Q(texts_.unratedNote)}, 9.5);
    SetCell(bands, 5, 1, BandCell(Q(texts_.category[0]), 0), 9.5);
    QTextTableFormat format = bands->format();
    format.setAlignment(Qt::AlignLeft);
    bands->setFormat(format);
    AfterTable();
  }

  QTextDocument& document_;
  const ClientReport& report_;
  const ClientReportTexts& texts_;
  const bool odf_;
  QTextCursor cursor_;
  bool fresh_ = true;  // the cursor's block is empty and may take the next paragraph
  bool empty_ = true;  // nothing written yet
};

std::vector<DocumentBuilder::RegisterColumn> DocumentBuilder::RegisterPlan() const {
  // Column shares; the optional ones drop out and the rest grow to fill the width.
  struct Planned {
    Column column;
    double share;
    QString title;
  };
  std::vector<Planned> plan = {{kNumber, 4.5, Q(texts_.number)}};
  if (report_.byLevel) plan.push_back({kObject, 11, Q(texts_.object)});
  plan.insert(plan.end(), {{kHazard, 12, Q(texts_.hazard)},
                           {kSource, 9, Q(texts_.source)},
                           {kIdent, 19, Q(texts_.description)},
                           {kP, 3, Q(texts_.letter[0])},
                           {kN, 3, Q(texts_.letter[1])},
                           {kH, 3, Q(texts_.letter[2])},
                           {kR, 4, Q(texts_.letter[3])},
                           {kCategory, 9.5, Q(texts_.categoryColumn)}});
  if (report_.options.measures) plan.push_back({kMeasures, 21, Q(texts_.measures)});
  if (report_.options.notes) plan.push_back({kNote, 12, Q(texts_.note)});
  // No header word, number, level or category name is broken; the texts give way.
  std::vector<double> shares;
  std::vector<QStringList> words;
  std::vector<bool> flexible;
  QString longestNumber;
  for (const ClientSection& section : report_.sections) {
    for (const ClientRisk& risk : section.risks) {
      if (risk.number.size() > static_cast<size_t>(longestNumber.size())) {
        longestNumber = QString::fromStdString(risk.number);
      }
    }
  }
  for (const Planned& planned : plan) {
    shares.push_back(planned.share);
    QStringList fixed(planned.title);
    if (planned.column == kNumber) fixed.append(longestNumber);
    if (planned.column == kR) fixed.append(QStringLiteral("125"));
    if (planned.column == kCategory) {
      for (const std::string& name : texts_.category) fixed.append(Q(name));
    }
    words.push_back(fixed);
    flexible.push_back(planned.column == kObject || planned.column == kHazard ||
                       planned.column == kSource || planned.column == kIdent ||
                       planned.column == kMeasures || planned.column == kNote);
  }
  // Header words are bold; measuring everything bold leaves the plain cells a little room.
  const std::vector<double> percents = FitShares(shares, words, flexible, TableFontSize(), true);
  std::vector<RegisterColumn> columns;
  for (size_t c = 0; c < plan.size(); ++c) {
    columns.push_back(
        {plan[c].column, percents[c], plan[c].title, plan[c].column >= kP && plan[c].column <= kR});
  }
  return columns;
}

Cell DocumentBuilder::RiskCell(const ClientRisk& risk, int column) const {
  auto rating = [](int32_t value) {
    return Cell{value == 0 ? QString() : QString::number(value), Qt::AlignHCenter};
  };
  switch (column) {
    case kNumber:
      return {QString::fromStdString(risk.number)};
    case kObject:
      return {CellText(risk.path)};
    case kHazard:
      return {CellText(risk.text)};
    case kSource:
      return {CellText(risk.source)};
    case kIdent:
      return {CellText(risk.ident)};
    case kP:
      return rating(risk.p);
    case kN:
      return rating(risk.n);
    case kH:
      return rating(risk.h);
    case kR:
      return {QString::number(risk.level), Qt::AlignHCenter};
    case kCategory:
      return BandCell(Q(texts_.category[risk.band]), risk.band);
    case kMeasures:
      return {CellText(risk.opatreni)};
    case kNote:
      break;
  }
  return {CellText(risk.comment)};
}

QFont BandFont(QPaintDevice* device) { return QFont(SansFont(8), device); }

// One line of the header or footer: left, centre and right, each shortened to its share.
void DrawBand(QPainter& painter, const QRectF& band, const QString& left, const QString& centre,
              const QString& right) {
  const QFontMetricsF metrics(painter.font(), painter.device());
  const double third = band.width() / 3;
  if (centre.isEmpty()) {
    const double half = band.width() / 2 - metrics.averageCharWidth();
    painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(left, Qt::ElideRight, half));
    painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter,
                     metrics.elidedText(right, Qt::ElideRight, half));
    return;
  }
  const double share = third - metrics.averageCharWidth();
  painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(left, Qt::ElideRight, share));
  painter.drawText(band, Qt::AlignHCenter | Qt::AlignVCenter,
                   metrics.elidedText(centre, Qt::ElideRight, share));
  painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter,
                   metrics.elidedText(right, Qt::ElideRight, share));
}

// The register painted row by row. Qt's document layout lays every table cell out several
// times and finds cells by position, which took most of a minute for a few thousand risks;
// here each cell is one QTextLayout at its column's width. A run without a painter counts the
// pages; the painting run breaks them at the same places.
class RegisterFlow {
 public:
  RegisterFlow(const ClientReport& report, const DocumentBuilder& builder, QPaintDevice* device,
               QSizeF body)
      : report_(report),
        builder_(builder),
        device_(device),
        body_(body),
        dpi_(device->logicalDpiY()),
        pad_(Px(2)),
        size_(builder.TableFontSize()),
        plan_(builder.RegisterPlan()) {
    double x = 0;
    for (const auto& column : plan_) {
      const double width = body_.width() * column.percent / 100;
      x_.push_back(x);
      width_.push_back(width);
      x += width;
    }
    tableWidth_ = x;
    // Tables sit centred like the document's.
    left_ = std::max(0.0, (body_.width() - tableWidth_) / 2);
  }

  // Lays the register out from the top of a page. `nextPage` starts every page after the
  // first; `rowDone` gets the number of risks laid out so far. Returns the number of pages.
  int Run(QPainter* painter, const std::function<void()>& nextPage,
          const std::function<void(int)>& rowDone) {
    painter_ = painter;
    nextPage_ = nextPage;
    pages_ = 1;
    y_ = 0;
    Paragraph(Q(report_.texts.registerHeading), 14, true);
    y_ += Px(8);
    if (report_.riskCount == 0) {
      Paragraph(Q(report_.texts.noRisks), 10, false);
      return pages_;
    }
    std::vector<Row> header;
    Row titles;
    for (size_t c = 0; c < plan_.size(); ++c) {
      titles.cells.push_back(
          Lay({plan_[c].title, plan_[c].centred ? Qt::AlignHCenter : Qt::AlignLeft, kHeaderFill,
               true, false},
              size_, x_[c], width_[c]));
    }
    titles.Measure(pad_);
    const double gap = QFontMetricsF(QFont(SansFont(6), device_)).height();
    int sectionNumber = 0, done = 0;
    for (const ClientSection& section : report_.sections) {
      ++sectionNumber;
      header.clear();
      if (!report_.byLevel) {
        Row heading;
        heading.cells.push_back(
            Lay(DocumentBuilder::SectionCell(sectionNumber, section), size_ + 1.5, 0, tableWidth_));
        heading.merged = true;
        heading.Measure(pad_);
        header.push_back(std::move(heading));
      }
      header.push_back(titles);
      double headerHeight = 0;
      for (const Row& row : header) headerHeight += row.height;
      if (sectionNumber > 1) y_ += gap;
      bool first = true;
      for (const ClientRisk& risk : section.risks) {
        Row row;
        for (size_t c = 0; c < plan_.size(); ++c) {
          row.cells.push_back(
              Lay(builder_.RiskCell(risk, plan_[c].column), size_, x_[c], width_[c]));
        }
        row.Measure(pad_);
        if (first) {
          // The header rows never stand alone at the foot of a page: the first row comes
          // along whole, or its first lines when it is taller than a page.
          const double least =
              row.height <= body_.height() - headerHeight ? row.height : row.FirstLine() + 2 * pad_;
          if (y_ > 0 && y_ + headerHeight + least > body_.height()) NewPage();
          DrawHeader(header);
          first = false;
        }
        Place(row, header, headerHeight);
        if (rowDone) rowDone(++done);
      }
    }
    return pages_;
  }

 private:
  struct Laid {
    std::shared_ptr<QTextLayout> layout;
    std::vector<double> bottoms;  // of every line, from the top of the text
    Cell cell;
    double x = 0, width = 0;
    // The height of lines [from, to).
    double Span(size_t from, size_t to) const {
      if (to <= from) return 0;
      return bottoms[to - 1] - (from == 0 ? 0 : bottoms[from - 1]);
    }
  };
  struct Row {
    std::vector<Laid> cells;
    bool merged = false;  // one cell across the table
    double height = 0;
    void Measure(double pad) {
      double text = 0;
      for (const Laid& cell : cells) text = std::max(text, cell.Span(0, cell.bottoms.size()));
      height = text + 2 * pad;
    }
    double FirstLine() const {
      double line = 0;
      for (const Laid& cell : cells) {
        if (!cell.bottoms.empty()) line = std::max(line, cell.bottoms.front());
      }
      return line;
    }
  };

  double Px(double points) const { return points * dpi_ / 72; }

  Laid Lay(const Cell& cell, double points, double x, double width) const {
    QFont font = SansFont(points);
    font.setBold(cell.bold);
    Laid laid{std::make_shared<QTextLayout>(cell.text, QFont(font, device_), device_),
              {},
              cell,
              x,
              width};
    QTextOption option(cell.align);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    laid.layout->setTextOption(option);
    laid.layout->setCacheEnabled(painter_ != nullptr);
    laid.layout->beginLayout();
    double y = 0;
    for (;;) {
      QTextLine line = laid.layout->createLine();
      if (!line.isValid()) break;
      line.setLineWidth(std::max(1.0, width - 2 * pad_));
      line.setPosition(QPointF(0, y));
      y += line.height();
      laid.bottoms.push_back(y);
    }
    laid.layout->endLayout();
    return laid;
  }

  void Paragraph(const QString& text, double points, bool bold) {
    const Laid laid =
        Lay({text, Qt::AlignLeft, {}, bold, false}, points, 0, body_.width() + 2 * pad_);
    if (painter_ != nullptr) {
      painter_->setPen(Qt::black);
      laid.layout->draw(painter_, QPointF(0, y_));
    }
    y_ += laid.Span(0, laid.bottoms.size());
  }

  void NewPage() {
    ++pages_;
    y_ = 0;
    if (painter_ != nullptr) nextPage_();
  }

  void DrawHeader(const std::vector<Row>& header) {
    for (const Row& row : header) {
      std::vector<size_t> from(row.cells.size(), 0);
      Draw(row, from, Ends(row), row.height);
      y_ += row.height;
    }
  }

  static std::vector<size_t> Ends(const Row& row) {
    std::vector<size_t> ends;
    for (const Laid& cell : row.cells) ends.push_back(cell.bottoms.size());
    return ends;
  }

  // Puts the row on the page, on the next one when it does not fit; a row taller than a page
  // goes on line by line over as many pages as it needs.
  void Place(const Row& row, const std::vector<Row>& header, double headerHeight) {
    std::vector<size_t> from(row.cells.size(), 0);
    const std::vector<size_t> ends = Ends(row);
    for (;;) {
      double rest = 0;
      for (size_t c = 0; c < row.cells.size(); ++c) {
        rest = std::max(rest, row.cells[c].Span(from[c], ends[c]));
      }
      rest += 2 * pad_;
      if (y_ + rest <= body_.height()) {
        Draw(row, from, ends, rest);
        y_ += rest;
        return;
      }
      const double page = body_.height() - headerHeight;
      const bool atTop = y_ <= headerHeight + 0.5;
      if (rest <= page && !atTop) {
        NewPage();
        DrawHeader(header);
        continue;
      }
      // Too tall for any page: as many lines of each cell as fit here.
      const double room = body_.height() - y_ - 2 * pad_;
      std::vector<size_t> to = from;
      bool progress = false;
      double used = 0;
      for (size_t c = 0; c < row.cells.size(); ++c) {
        while (to[c] < ends[c] && row.cells[c].Span(from[c], to[c] + 1) <= room) ++to[c];
        // A line taller than the page still goes on, cut by the page's edge.
        if (atTop && to[c] == from[c] && to[c] < ends[c]) ++to[c];
        progress = progress || to[c] > from[c];
        used = std::max(used, row.cells[c].Span(from[c], to[c]));
      }
      if (progress) {
        Draw(row, from, to, std::min(used + 2 * pad_, body_.height() - y_));
        from = to;
      }
      NewPage();
      DrawHeader(header);
    }
  }

  // Lines [from, to) of every cell of `row` at the current height, `height` tall.
  void Draw(const Row& row, const std::vector<size_t>& from, const std::vector<size_t>& to,
            double height) {
    if (painter_ == nullptr) return;
    QPainter& painter = *painter_;
    for (size_t c = 0; c < row.cells.size(); ++c) {
      const Laid& cell = row.cells[c];
      const QRectF box(left_ + cell.x, y_, cell.width, height);
      if (cell.cell.fill.isValid()) painter.fillRect(box, cell.cell.fill);
      painter.setPen(cell.cell.white ? Qt::white : Qt::black);
      const double top = from[c] == 0 ? 0 : cell.bottoms[from[c] - 1];
      for (size_t line = from[c]; line < to[c]; ++line) {
        cell.layout->lineAt(static_cast<int>(line))
            .draw(&painter, QPointF(box.left() + pad_, y_ + pad_ - top));
      }
    }
    painter.setPen(QPen(kRuleColour, Px(0.5)));
    const double right = left_ + tableWidth_;
    painter.drawLine(QPointF(left_, y_), QPointF(right, y_));
    painter.drawLine(QPointF(left_, y_ + height), QPointF(right, y_ + height));
    painter.drawLine(QPointF(left_, y_), QPointF(left_, y_ + height));
    for (const Laid& cell : row.cells) {
      const double edge = left_ + cell.x + cell.width;
      painter.drawLine(QPointF(edge, y_), QPointF(edge, y_ + height));
    }
  }

  const ClientReport& report_;
  const DocumentBuilder& builder_;
  QPaintDevice* const device_;
  const QSizeF body_;
  const double dpi_, pad_, size_;
  const std::vector<DocumentBuilder::RegisterColumn> plan_;
  std::vector<double> x_, width_;
  double tableWidth_ = 0, left_ = 0;
  QPainter* painter_ = nullptr;
  std::function<void()> nextPage_;
  int pages_ = 1;
  double y_ = 0;
};

std::filesystem::path TempBeside(const std::filesystem::path& target) {
  std::random_device seed;
  std::filesystem::path temp = target;
  temp += ".tmp" + std::to_string(seed() % 1000000);
  return temp;
}

[[noreturn]] void WriteFailed(const std::filesystem::path& target, const std::string& why) {
  throw Error(W("Soubor nelze zapsat: ") + Utf8ToCp1250(target.string()) +
              (why.empty() ? std::string() : " (" + why + ")"));
}

// Renames a finished temporary file over the target, or removes it and throws.
void ReplaceTarget(const std::filesystem::path& temp, const std::filesystem::path& target) {
  std::error_code ec;
  std::filesystem::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    WriteFailed(target, ec.message());
  }
}

// The last bytes of a file, to see that a writer finished it.
QByteArray FileTail(const std::filesystem::path& file, qint64 bytes) {
  QFile in(PathToQString(file));
  if (!in.open(QIODevice::ReadOnly)) return {};
  if (in.size() > bytes) in.seek(in.size() - bytes);
  return in.readAll();
}

QString XmlEscaped(const QString& text) { return text.toHtmlEscaped(); }

// The PDF's XMP metadata: Qt's own without it carries no author.
QByteArray XmpMetadata(const ClientReport& report) {
  const QString date = QDateTime::currentDateTime().toString(Qt::ISODate);
  const QString xmp =
      QString::fromUtf8(
          "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
          "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
          " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
          "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
          "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
          "xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n"
          "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">%1</rdf:li></rdf:Alt></dc:title>\n"
          "   <dc:creator><rdf:Seq><rdf:li>%2</rdf:li></rdf:Seq></dc:creator>\n"
          "   <dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">%3</rdf:li></rdf:Alt>"
          "</dc:description>\n"
          "   <xmp:CreatorTool>Orvenda</xmp:CreatorTool>\n"
          "   <xmp:CreateDate>%4</xmp:CreateDate>\n"
          "   <pdf:Producer>Orvenda</pdf:Producer>\n"
          "  </rdf:Description>\n"
          " </rdf:RDF>\n"
          "</x:xmpmeta>\n"
          "<?xpacket end=\"w\"?>")
          .arg(XmlEscaped(Q(report.options.title)), XmlEscaped(Q(report.options.assessor)),
               XmlEscaped(Q(report.options.object)), date);
  return xmp.toUtf8();
}

// What the package needs beyond Qt's ODF: the cell fills and header rows of the document's
// formats, and the page with its header and footer.
OdtPageFinish OdtFinishOf(const QTextDocument& document, const ClientReport& report) {
  OdtPageFinish finish;
  const QList<QTextFormat> formats = document.allFormats();
  for (int i = 0; i < formats.size(); ++i) {
    const QTextFormat& format = formats[i];
    if (format.isTableCellFormat() && format.hasProperty(QTextFormat::BackgroundBrush)) {
      const QBrush fill = format.background();
      if (fill.style() != Qt::NoBrush) finish.cellFills[i] = fill.color();
    } else if (format.isTableFormat() && format.toTableFormat().headerRowCount() > 0) {
      finish.headerRows[i] = format.toTableFormat().headerRowCount();
    }
  }
  const QPageLayout page = ClientReportPageLayout(report.options);
  const QRectF paper = page.fullRect(QPageLayout::Millimeter);
  finish.widthMm = paper.width();
  finish.heightMm = paper.height();
  finish.marginMm = kMarginMm;
  const ClientReportOptions& o = report.options;
  finish.headerLeft = Q(o.title);
  finish.headerRight = Q(o.object);
  finish.footerLeft = Q(o.date);
  finish.footerCentre = Q(o.assessor);
  finish.page = Q(report.texts.page);
  finish.of = Q(report.texts.pageOf);
  return finish;
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  for (size_t i = 0; i < end.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) != end[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

void BuildClientReportDocument(QTextDocument& document, const ClientReport& report,
                               ClientDocumentTarget target) {
  DocumentBuilder(document, report, target == ClientDocumentTarget::Odf).Build();
}

QPageLayout ClientReportPageLayout(const ClientReportOptions& options) {
  return QPageLayout(
      QPageSize(QPageSize::A4), options.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
      QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
}

namespace {

int PaintPages(QPainter& painter, QPagedPaintDevice& device, const ClientReport& report,
               Progress& progress) {
  const int dpi = device.logicalDpiY();
  const QRectF paint = device.pageLayout().paintRectPixels(dpi);
  const QFont bandFont = BandFont(&device);
  const double lineHeight = QFontMetricsF(bandFont, &device).height();
  const double gap = kBandGapMm / 25.4 * dpi;
  const double band = lineHeight + gap;
  const QSizeF body(paint.width(), std::max(paint.height() - 2 * band, lineHeight));

  // The title page, summary and matrix, and the legend, are documents of their own; the
  // register between them is painted by RegisterFlow.
  QTextDocument front, back;
  DocumentBuilder frontBuilder(front, report, false);
  frontBuilder.Build(DocumentBuilder::kFront);
  DocumentBuilder backBuilder(back, report, false);
  if (report.options.legend) backBuilder.Build(DocumentBuilder::kLegend);
  for (QTextDocument* document : {&front, &back}) {
    document->documentLayout()->setPaintDevice(&device);
    document->setPageSize(body);
  }
  const int frontPages = std::max(1, front.pageCount());
  const int backPages = report.options.legend ? std::max(1, back.pageCount()) : 0;

  const int rows = report.riskCount;
  progress.ShowProgress(report.texts.writing, std::max(1, 2 * rows));
  struct Hide {
    Progress& progress;
    ~Hide() { progress.HideProgress(); }
  } hide{progress};
  const auto rowsDone = [&](int offset) {
    return [&progress, offset](int done) {
      if (done % 64 == 0) progress.SetProgress(offset + done);
    };
  };
  RegisterFlow flow(report, frontBuilder, &device, body);
  const int registerPages = flow.Run(nullptr, {}, rowsDone(0));
  const int pages = frontPages + registerPages + backPages;

  const ClientReportOptions& o = report.options;
  const QString title = Q(o.title), object = Q(o.object), date = Q(o.date);
  const QString assessor = Q(o.assessor);
  const QString pageText = Q(report.texts.page), ofText = Q(report.texts.pageOf);
  int page = 0;
  // The next page with its header and footer; the painter left at the body's top.
  const auto startPage = [&] {
    ++page;
    painter.resetTransform();
    painter.setClipping(false);
    if (page > 1 && !device.newPage()) throw Error(Msg(295));
    if (page > 1) {
      // The title page is not counted.
      painter.setFont(bandFont);
      painter.setPen(QPen(Qt::black, 0.5 / 72 * dpi));
      const QRectF top(0, 0, body.width(), lineHeight);
      const QRectF bottom(0, paint.height() - lineHeight, body.width(), lineHeight);
      DrawBand(painter, top, title, QString(), object);
      DrawBand(
          painter, bottom, date, assessor,
          QStringLiteral("%1 %2 %3 %4").arg(pageText).arg(page - 1).arg(ofText).arg(pages - 1));
      painter.drawLine(QPointF(0, lineHeight + gap / 2),
                       QPointF(body.width(), lineHeight + gap / 2));
      const double footerRule = paint.height() - lineHeight - gap / 2;
      painter.drawLine(QPointF(0, footerRule), QPointF(body.width(), footerRule));
    }
    painter.translate(0, band);
  };
  const auto paintDocument = [&](QTextDocument& document, int count) {
    for (int at = 0; at < count; ++at) {
      startPage();
      const QRectF slice(0, at * body.height(), body.width(), body.height());
      painter.translate(0, -slice.top());
      painter.setClipRect(slice);
      QAbstractTextDocumentLayout::PaintContext context;
      context.clip = slice;
      context.palette.setColor(QPalette::Text, Qt::black);
      document.documentLayout()->draw(&painter, context);
    }
  };
  paintDocument(front, frontPages);
  startPage();
  const int painted = flow.Run(&painter, startPage, rowsDone(rows));
  if (painted != registerPages) throw Error(Msg(295));
  paintDocument(back, backPages);
  if (!painter.end()) throw Error(Msg(295));
  return pages;
}

}  // namespace

int PaintClientReport(QPagedPaintDevice& device, const ClientReport& report, Progress& progress) {
  QPainter painter;
  if (!painter.begin(&device)) {
    throw Error(Msg(294));
  }
  try {
    return PaintPages(painter, device, report, progress);
  } catch (...) {
    // A print run stopped or failed half way sends nothing to the printer.
    if (auto* printer = dynamic_cast<QPrinter*>(&device)) printer->abort();
    throw;
  }
}

int PrintClientReport(QPrinter& printer, const ClientReport& report, Progress& progress) {
  printer.setDocName(Q(report.options.title));
  printer.setCreator(QStringLiteral("Orvenda"));
  return PaintClientReport(printer, report, progress);
}

int WriteClientReportPdf(const ClientReport& report, const std::filesystem::path& target,
                         Progress& progress) {
  const std::filesystem::path temp = TempBeside(target);
  int pages = 0;
  try {
    {
      QPdfWriter writer(PathToQString(temp));
      writer.setPageLayout(ClientReportPageLayout(report.options));
      writer.setTitle(Q(report.options.title));
      writer.setCreator(QStringLiteral("Orvenda"));
      writer.setDocumentXmpMetadata(XmpMetadata(report));
      try {
        pages = PaintClientReport(writer, report, progress);
      } catch (const Error& error) {
        WriteFailed(target, error.what());  // the painter's text names no file
      }
    }
    // Qt reports no failed write; a PDF that lacks its end was not written whole.
    if (!FileTail(temp, 64).trimmed().endsWith("%%EOF")) WriteFailed(target, std::string());
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw;
  }
  ReplaceTarget(temp, target);
  return pages;
}

void WriteClientReportOdt(const ClientReport& report, const std::filesystem::path& target,
                          Progress& progress) {
  const std::filesystem::path temp = TempBeside(target);
  // Building the document takes about a third of the time, Qt's writer (one step that tells
  // nothing) half, the finish the rest.
  const int rows = std::max(1, report.riskCount);
  progress.ShowProgress(report.texts.writing, 10 * rows);
  struct Hide {
    Progress& progress;
    ~Hide() { progress.HideProgress(); }
  } hide{progress};
  try {
    QTextDocument document;
    {
      DocumentBuilder builder(document, report, true);
      builder.rowsDone = [&](int done) { progress.SetProgress(3 * done); };
      builder.Build();
    }
    progress.SetProgress(3 * rows);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QTextDocumentWriter writer(&buffer, "ODF");
    if (!writer.write(&document)) WriteFailed(target, std::string());
    progress.SetProgress(8 * rows);
    QByteArray package;
    try {
      package = FinishOdt(buffer.data(), OdtFinishOf(document, report));
    } catch (const Error& error) {
      WriteFailed(target, error.what());
    }
    buffer.close();
    QFile file(PathToQString(temp));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      WriteFailed(target, ToCp1250(file.errorString()));
    }
    const bool written = file.write(package) == package.size();
    const bool flushed = file.flush();
    file.close();
    if (!written || !flushed || file.error() != QFileDevice::NoError) {
      WriteFailed(target, ToCp1250(file.errorString()));
    }
    progress.SetProgress(10 * rows);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw;
  }
  ReplaceTarget(temp, target);
}

int RunClientReport(const ClientReportOptions& options, const std::filesystem::path& project,
                    const std::filesystem::path& output, std::ostream& err) {
  const std::string name = output.filename().string();
  const bool pdf = EndsWithIgnoringCase(name, ".pdf");
  if (!pdf && !EndsWithIgnoringCase(name, ".odt")) {
    err << "orvenda: the output must end in .pdf or .odt: " << output.string() << "\n";
    return 1;
  }
  // Painting needs an application object; a batch run has none yet and needs no screen.
  std::unique_ptr<QGuiApplication> app;
  if (QCoreApplication::instance() == nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char program[] = "orvenda";
    static char* argv[] = {program, nullptr};
    app = std::make_unique<QGuiApplication>(argc, argv);
  } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
    err << "orvenda: the client report needs a graphical application object\n";
    return 1;
  }
  return RunReportingErrors(err, [&] {
    // The run's list: a batch run's speaks the language file's language.
    const Messages& messages = Messages::Current();
    NullProgress progress;
    std::error_code ec;
    const std::filesystem::path tempDir = std::filesystem::temp_directory_path(ec);
    if (ec) throw Error("no temporary directory: " + ec.message());
    BatchProject data(project, tempDir, messages, progress);
    const ClientReport report = BuildClientReport(data.Data(), messages, options,
                                                  Utf8ToCp1250(project.filename().string()));
    if (pdf) {
      WriteClientReportPdf(report, output, progress);
    } else {
      WriteClientReportOdt(report, output, progress);
    }
  });
}

}  // namespace orvenda
