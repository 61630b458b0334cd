#include "odt_package.h"

#include <zlib.h>

#include <QRegularExpression>
#include <limits>

#include "base/error.h"

namespace orvenda {
namespace {

constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr uint32_t kCentralHeader = 0x02014b50;
constexpr uint32_t kEndRecord = 0x06054b50;

// Only a package Qt did not write as expected gets here; the caller names the file.
[[noreturn]] void Damaged(const std::string& why) { throw Error("ODF package: " + why); }

uint32_t Get(const QByteArray& data, qsizetype at, int bytes) {
  if (at < 0 || at + bytes > data.size()) Damaged("short");
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(data[at + i]);
  return value;
}

void Put(QByteArray& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(static_cast<char>(value >> (8 * i) & 0xff));
}

uint32_t Crc(const QByteArray& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
}

QByteArray Inflate(const QByteArray& packed, qsizetype size) {
  QByteArray out(size, Qt::Uninitialized);
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) Damaged("zlib");
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
  stream.avail_in = static_cast<uInt>(packed.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&stream, Z_FINISH);
  const bool whole = result == Z_STREAM_END && stream.total_out == static_cast<uLong>(size);
  inflateEnd(&stream);
  if (!whole) Damaged("deflate");
  return out;
}

QByteArray Deflate(const QByteArray& data) {
  z_stream stream{};
  // The fastest level: the package is written while the user waits, and the XML shrinks
  // nearly as well.
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw Error("zlib");
  }
  QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(data.size()))),
                 Qt::Uninitialized);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(static_cast<qsizetype>(stream.total_out));
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw Error("zlib");
  return out;
}

// --- The XML as Qt writes it -----------------------------------------------------------------

QByteArray Escaped(const QString& text) { return text.toHtmlEscaped().toUtf8(); }

// The value of attribute `name` in the start tag `tag`, or "".
QByteArray Attribute(const QByteArray& tag, const char* name) {
  const QByteArray key = QByteArray(" ") + name + "=\"";
  const qsizetype at = tag.indexOf(key);
  if (at < 0) return {};
  const qsizetype start = at + key.size();
  const qsizetype end = tag.indexOf('"', start);
  return end < 0 ? QByteArray() : tag.mid(start, end - start);
}

// The whole element that starts at `at`: up to its end tag, or the start tag when it is empty.
QByteArray ElementAt(const QByteArray& xml, qsizetype at, const QByteArray& endTag) {
  const qsizetype close = xml.indexOf('>', at);
  if (close < 0) Damaged("xml");
  if (xml[close - 1] == '/') return xml.mid(at, close + 1 - at);
  const qsizetype end = xml.indexOf(endTag, close);
  if (end < 0) Damaged("xml");
  return xml.mid(at, end + endTag.size() - at);
}

// The cell style's format index: "T12" or, in a ruled table, "TB3.12".
int CellFormatIndex(const QByteArray& name) {
  static const QRegularExpression pattern(QStringLiteral("^T(?:B\\d+\\.)?(\\d+)$"));
  const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(name));
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QByteArray Hex(const QColor& colour) { return colour.name(QColor::HexRgb).toLatin1(); }

struct ParagraphStyle {
  QByteArray element;
  bool pageBreak = false;
};

// A copy of a paragraph style under `name` that starts master page `master`, optionally with
// the page number set.
QByteArray RestyledParagraph(QByteArray element, const QByteArray& oldName, const QByteArray& name,
                             const QByteArray& master, bool numberFromOne) {
  element.replace("style:name=\"" + oldName + "\"", "style:name=\"" + name + "\"");
  element.replace("<style:style ", "<style:style style:master-page-name=\"" + master + "\" ");
  if (numberFromOne) {
    element.replace("<style:paragraph-properties",
                    "<style:paragraph-properties style:page-number=\"1\"");
  }
  return element;
}

const char* const kTitleMaster = "OrvendaTitlePage";
const char* const kEndMark = "OrvendaEnd";

QByteArray FinishContent(const QByteArray& xml, const OdtPageFinish& finish) {
  const qsizetype stylesAt = xml.indexOf("<office:automatic-styles>");
  const qsizetype stylesEnd = xml.indexOf("</office:automatic-styles>");
  const qsizetype bodyAt = xml.indexOf("<office:text>");
  const qsizetype bodyEnd = xml.lastIndexOf("</office:text>");
  if (stylesAt < 0 || stylesEnd < stylesAt || bodyAt < stylesEnd || bodyEnd < bodyAt) {
    Damaged("content.xml");
  }
  QByteArray out;
  out.reserve(xml.size() + xml.size() / 8);
  out.append(xml.constData(), stylesAt);

  // The styles: backgrounds into the cell styles; paragraph styles kept to copy from.
  std::map<QByteArray, ParagraphStyle> paragraphs;
  const QByteArray styleStart = "<style:style ";
  qsizetype at = stylesAt;
  for (;;) {
    const qsizetype next = xml.indexOf(styleStart, at);
    if (next < 0 || next > stylesEnd) break;
    out.append(xml.constData() + at, next - at);
    QByteArray element = ElementAt(xml, next, "</style:style>");
    const qsizetype length = element.size();
    const QByteArray tag = element.left(element.indexOf('>') + 1);
    const QByteArray name = Attribute(tag, "style:name");
    const QByteArray family = Attribute(tag, "style:family");
    if (family == "table-cell") {
      const auto fill = finish.cellFills.find(CellFormatIndex(name));
      if (fill != finish.cellFills.end()) {
        element.replace(
            "<style:table-cell-properties",
            "<style:table-cell-properties fo:background-color=\"" + Hex(fill->second) + "\"");
      }
    } else if (family == "paragraph") {
      paragraphs[name] = {element, element.contains("fo:break-before=\"page\"")};
    }
    out.append(element);
    at = next + length;
  }
  out.append(xml.constData() + at, stylesEnd - at);

  // The first paragraph starts the title page, the first page break the numbered pages.
  QByteArray body = xml.mid(bodyAt, bodyEnd - bodyAt);
  QByteArray added;
  const QByteArray paragraphStart = "<text:p text:style-name=\"";
  bool titled = false, numbered = false;
  for (qsizetype p = body.indexOf(paragraphStart); p >= 0 && !(titled && numbered);
       p = body.indexOf(paragraphStart, p + 1)) {
    const qsizetype nameAt = p + paragraphStart.size();
    const QByteArray name = body.mid(nameAt, body.indexOf('"', nameAt) - nameAt);
    const auto style = paragraphs.find(name);
    if (style == paragraphs.end()) continue;
    QByteArray renamed;
    if (!titled) {
      titled = true;
      renamed = "OrvendaTitleP";
      added += RestyledParagraph(style->second.element, name, renamed, kTitleMaster, false);
    } else if (style->second.pageBreak) {
      numbered = true;
      renamed = "OrvendaFirstP";
      added += RestyledParagraph(style->second.element, name, renamed, "Standard", true);
    } else {
      continue;
    }
    body.replace(nameAt, name.size(), renamed);
  }
  out.append(added);

  // The tables: their header rows marked, so that office programs repeat them. One pass:
  // the body is megabytes long and holds hundreds of tables.
  {
    QByteArray marked;
    marked.reserve(body.size() + body.size() / 16);
    const QByteArray tableStart = "<table:table table:style-name=\"Table";
    const QByteArray rowEnd = "</table:table-row>";
    qsizetype copied = 0;
    for (qsizetype t = body.indexOf(tableStart); t >= 0; t = body.indexOf(tableStart, t + 1)) {
      const qsizetype indexAt = t + tableStart.size();
      const int index = body.mid(indexAt, body.indexOf('"', indexAt) - indexAt).toInt();
      const auto rows = finish.headerRows.find(index);
      if (rows == finish.headerRows.end() || rows->second <= 0) continue;
      const qsizetype first = body.indexOf("<table:table-row", indexAt);
      qsizetype last = first;
      for (int row = 0; row < rows->second && last >= 0; ++row) {
        last = body.indexOf(rowEnd, last);
        if (last >= 0) last += rowEnd.size();
      }
      const qsizetype nested = body.indexOf("<table:table ", indexAt);
      if (first < 0 || last < 0 || (nested >= 0 && nested < last)) continue;
      marked.append(body.constData() + copied, first - copied);
      marked.append("<table:table-header-rows>");
      marked.append(body.constData() + first, last - first);
      marked.append("</table:table-header-rows>");
      copied = last;
    }
    marked.append(body.constData() + copied, body.size() - copied);
    body = std::move(marked);
  }

  // A mark in the last paragraph: its page number is the count of numbered pages.
  const QByteArray mark = QByteArray("<text:bookmark text:name=\"") + kEndMark + "\"/>";
  const qsizetype last = body.lastIndexOf("<text:p ");
  if (last >= 0) {
    const qsizetype close = body.indexOf('>', last);
    if (body[close - 1] == '/') {
      body.replace(close - 1, 2, ">" + mark + "</text:p>");
    } else {
      body.insert(close + 1, mark);
    }
  }
  out.append(xml.constData() + stylesEnd, bodyAt - stylesEnd);
  out.append(body);
  out.append(xml.constData() + bodyEnd, xml.size() - bodyEnd);
  return out;
}

QByteArray Mm(double mm) { return QByteArray::number(mm, 'f', 1) + "mm"; }

QByteArray Styles(const OdtPageFinish& finish) {
  const double body = finish.widthMm - 2 * finish.marginMm;
  const QByteArray rule = "0.5pt solid #606060";
  QByteArray xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<office:document-styles "
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
      "office:version=\"1.2\">"
      "<office:automatic-styles>"
      "<style:page-layout style:name=\"OrvendaPage\">"
      "<style:page-layout-properties fo:page-width=\"" +
      Mm(finish.widthMm) + "\" fo:page-height=\"" + Mm(finish.heightMm) +
      "\" style:print-orientation=\"" +
      (finish.widthMm > finish.heightMm ? "landscape" : "portrait") + "\" fo:margin-top=\"" +
      Mm(finish.marginMm) + "\" fo:margin-bottom=\"" + Mm(finish.marginMm) +
      "\" fo:margin-left=\"" + Mm(finish.marginMm) + "\" fo:margin-right=\"" + Mm(finish.marginMm) +
      "\"/>"
      "<style:header-style><style:header-footer-properties fo:min-height=\"0mm\" "
      "fo:margin-bottom=\"2mm\" fo:padding-bottom=\"0.5mm\" fo:border-bottom=\"" +
      rule +
      "\"/></style:header-style>"
      "<style:footer-style><style:header-footer-properties fo:min-height=\"0mm\" "
      "fo:margin-top=\"2mm\" fo:padding-top=\"0.5mm\" fo:border-top=\"" +
      rule +
      "\"/></style:footer-style>"
      "</style:page-layout>"
      "<style:style style:name=\"OrvendaBand\" style:family=\"paragraph\">"
      "<style:paragraph-properties><style:tab-stops>"
      "<style:tab-stop style:position=\"" +
      Mm(body / 2) +
      "\" style:type=\"center\"/>"
      "<style:tab-stop style:position=\"" +
      Mm(body) +
      "\" style:type=\"right\"/>"
      "</style:tab-stops></style:paragraph-properties>"
      "<style:text-properties fo:font-family=\"Sans\" fo:font-size=\"8pt\"/>"
      "</style:style>"
      "</office:automatic-styles>"
      "<office:master-styles>"
      "<style:master-page style:name=\"" +
      kTitleMaster +
      "\" style:page-layout-name=\"OrvendaPage\" style:next-style-name=\"Standard\"/>"
      "<style:master-page style:name=\"Standard\" style:page-layout-name=\"OrvendaPage\">"
      "<style:header><text:p text:style-name=\"OrvendaBand\">" +
      Escaped(finish.headerLeft) + "<text:tab/><text:tab/>" + Escaped(finish.headerRight) +
      "</text:p></style:header>"
      "<style:footer><text:p text:style-name=\"OrvendaBand\">" +
      Escaped(finish.footerLeft) + "<text:tab/>" + Escaped(finish.footerCentre) + "<text:tab/>" +
      Escaped(finish.page) +
      " <text:page-number text:select-page=\"current\">1</text:page-number> " + Escaped(finish.of) +
      " <text:bookmark-ref text:reference-format=\"page\" text:ref-name=\"" + kEndMark +
      "\">1</text:bookmark-ref></text:p></style:footer>"
      "</style:master-page>"
      "</office:master-styles>"
      "</office:document-styles>\n";
  return xml;
}

}  // namespace

std::vector<ZipEntry> ReadZip(const QByteArray& zip) {
  // The end record: 22 bytes, no comment expected but allowed.
  qsizetype end = -1;
  for (qsizetype at = zip.size() - 22; at >= 0 && at >= zip.size() - 22 - 0xffff; --at) {
    if (Get(zip, at, 4) == kEndRecord) {
      end = at;
      break;
    }
  }
  if (end < 0) Damaged("zip");
  const uint32_t count = Get(zip, end + 10, 2);
  qsizetype at = Get(zip, end + 16, 4);
  std::vector<ZipEntry> entries;
  for (uint32_t i = 0; i < count; ++i) {
    if (Get(zip, at, 4) != kCentralHeader) Damaged("zip");
    const uint32_t flags = Get(zip, at + 8, 2);
    const uint32_t method = Get(zip, at + 10, 2);
    const uint32_t crc = Get(zip, at + 16, 4);
    const uint32_t packed = Get(zip, at + 20, 4);
    const uint32_t size = Get(zip, at + 24, 4);
    const uint32_t nameLength = Get(zip, at + 28, 2);
    const uint32_t extra = Get(zip, at + 30, 2) + Get(zip, at + 32, 2);
    const qsizetype local = Get(zip, at + 42, 4);
    if (at + 46 + nameLength > zip.size()) Damaged("zip");
    ZipEntry entry;
    entry.name = zip.mid(at + 46, nameLength).toStdString();
    if ((flags & 1) != 0 || (method != 0 && method != 8)) Damaged(entry.name);
    if (Get(zip, local, 4) != kLocalHeader) Damaged(entry.name);
    const qsizetype data = local + 30 + Get(zip, local + 26, 2) + Get(zip, local + 28, 2);
    if (data + static_cast<qsizetype>(packed) > zip.size()) Damaged(entry.name);
    entry.deflate = method == 8;
    entry.data = entry.deflate ? Inflate(zip.mid(data, packed), size) : zip.mid(data, packed);
    if (entry.data.size() != static_cast<qsizetype>(size) || Crc(entry.data) != crc) {
      Damaged(entry.name);
    }
    entries.push_back(std::move(entry));
    at += 46 + nameLength + extra;
  }
  return entries;
}

QByteArray WriteZip(const std::vector<ZipEntry>& entries) {
  QByteArray out, directory;
  // 1 January 2026, 00:00, in DOS form; the date means nothing to an ODF reader.
  const uint32_t time = 0, date = (2026 - 1980) << 9 | 1 << 5 | 1;
  for (const ZipEntry& entry : entries) {
    const QByteArray packed = entry.deflate ? Deflate(entry.data) : entry.data;
    if (entry.data.size() > std::numeric_limits<uint32_t>::max() / 2 ||
        out.size() > std::numeric_limits<uint32_t>::max() / 2) {
      Damaged("over 2 GB");
    }
    const uint32_t crc = Crc(entry.data);
    const uint32_t offset = static_cast<uint32_t>(out.size());
    const auto common = [&](QByteArray& to) {
      Put(to, 20, 2);  // version needed: 2.0
      Put(to, 0, 2);   // flags
      Put(to, entry.deflate ? 8 : 0, 2);
      Put(to, time, 2);
      Put(to, date, 2);
      Put(to, crc, 4);
      Put(to, static_cast<uint32_t>(packed.size()), 4);
      Put(to, static_cast<uint32_t>(entry.data.size()), 4);
      Put(to, static_cast<uint32_t>(entry.name.size()), 2);
      Put(to, 0, 2);  // extra field
    };
    Put(out, kLocalHeader, 4);
    common(out);
    out.append(entry.name.data(), static_cast<qsizetype>(entry.name.size()));
    out.append(packed);
    Put(directory, kCentralHeader, 4);
    Put(directory, 20, 2);  // made by: 2.0
    common(directory);
    Put(directory, 0, 2);  // comment
    Put(directory, 0, 2);  // disk
    Put(directory, 0, 2);  // internal attributes
    Put(directory, 0, 4);  // external attributes
    Put(directory, offset, 4);
    directory.append(entry.name.data(), static_cast<qsizetype>(entry.name.size()));
  }
  const uint32_t directoryAt = static_cast<uint32_t>(out.size());
  out.append(directory);
  Put(out, kEndRecord, 4);
  Put(out, 0, 2);
  Put(out, 0, 2);
  Put(out, static_cast<uint32_t>(entries.size()), 2);
  Put(out, static_cast<uint32_t>(entries.size()), 2);
  Put(out, static_cast<uint32_t>(directory.size()), 4);
  Put(out, directoryAt, 4);
  Put(out, 0, 2);
  return out;
}

QByteArray FinishOdt(const QByteArray& odt, const OdtPageFinish& finish) {
  std::vector<ZipEntry> entries = ReadZip(odt);
  bool content = false;
  for (ZipEntry& entry : entries) {
    if (entry.name == "content.xml") {
      entry.data = FinishContent(entry.data, finish);
      content = true;
    } else if (entry.name == "META-INF/manifest.xml" && !entry.data.contains("\"styles.xml\"")) {
      const qsizetype end = entry.data.lastIndexOf("</manifest:manifest>");
      if (end < 0) Damaged(entry.name);
      entry.data.insert(end,
                        "<manifest:file-entry manifest:media-type=\"text/xml\" "
                        "manifest:full-path=\"styles.xml\"/>");
    }
  }
  if (!content) Damaged("content.xml");
  // Qt writes no styles of its own; the page, header and footer are all there is.
  std::erase_if(entries, [](const ZipEntry& entry) { return entry.name == "styles.xml"; });
  entries.push_back({"styles.xml", Styles(finish), true});
  return WriteZip(entries);
}

}  // namespace orvenda
