#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <map>
#include <string>
#include <vector>

namespace orvenda {

// One entry of a zip file as OpenDocument packages use them: stored or deflated, no
// encryption, no zip64.
struct ZipEntry {
  std::string name;
  QByteArray data;
  bool deflate = true;  // the package's "mimetype" is stored, as ODF wants it
};

// Every entry with its data, checked against its CRC; throws orvenda::Error on a damaged or
// unsupported file.
std::vector<ZipEntry> ReadZip(const QByteArray& zip);
// The entries in their order.
QByteArray WriteZip(const std::vector<ZipEntry>& entries);

// What Qt's ODF writer leaves out of a document and office programs need: cell backgrounds,
// repeated header rows, the page size, and a header and footer on every page but the first.
struct OdtPageFinish {
  // Background of the table cells by the index of their format in the document.
  std::map<int, QColor> cellFills;
  // Header rows by the index of the table's format.
  std::map<int, int> headerRows;
  double widthMm = 210, heightMm = 297, marginMm = 15;
  // Header: left and right; footer: left, centre, then "<page> 3 <of> 9", the first page
  // neither numbered nor counted.
  QString headerLeft, headerRight, footerLeft, footerCentre, page, of;
};

// Rewrites the package `odt` as written by QTextDocumentWriter ("ODF"); throws orvenda::Error
// when it is not such a package.
QByteArray FinishOdt(const QByteArray& odt, const OdtPageFinish& finish);

}  // namespace orvenda
