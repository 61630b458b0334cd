// The zip reader and writer under the ODT, and what it adds to Qt's ODF.
#include "odt_package.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QBuffer>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentWriter>
#include <QTextTable>
#include <QXmlStreamReader>

#include "base/error.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string Entry(const std::vector<ZipEntry>& entries, const std::string& name) {
  for (const ZipEntry& entry : entries) {
    if (entry.name == name) return entry.data.toStdString();
  }
  ADD_FAILURE() << "no " << name;
  return {};
}

TEST(ZipTest, WrittenEntriesReadBackAndOtherToolsReadThem) {
  QByteArray binary;
  for (int i = 0; i < 70000; ++i) binary.append(static_cast<char>(i * 7919 % 251));
  const std::vector<ZipEntry> entries = {
      {"mimetype", "application/vnd.oasis.opendocument.text", false},
      {"empty.txt", QByteArray(), true},
      {"dir/binary.bin", binary, true},
      {"content.xml", QByteArray(100000, 'x'), true}};
  const QByteArray zip = WriteZip(entries);
  EXPECT_LT(zip.size(), 100000);  // deflated
  // ODF readers look for the stored type right after the first header.
  EXPECT_EQ(zip.mid(30, 8), "mimetype");
  EXPECT_EQ(zip.mid(38, 39), "application/vnd.oasis.opendocument.text");
  const std::vector<ZipEntry> back = ReadZip(zip);
  ASSERT_EQ(back.size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(back[i].name, entries[i].name);
    EXPECT_EQ(back[i].data, entries[i].data) << entries[i].name;
    EXPECT_EQ(back[i].deflate, entries[i].deflate) << entries[i].name;
  }

  test::TempDir dir;
  test::WriteFileBytes(dir / "a.zip", zip.toStdString());
  std::string listing;
  ASSERT_EQ(test::RunCommand("unzip -t '" + (dir / "a.zip").string() + "'", &listing), 0)
      << listing;
  EXPECT_THAT(listing, HasSubstr("No errors"));
}

TEST(ZipTest, DamagedOrForeignFilesAreRefused) {
  const QByteArray zip = WriteZip({{"content.xml", QByteArray(5000, 'a') + "end", true}});
  // A changed byte of the packed data: the CRC or the inflate fails.
  QByteArray changed = zip;
  changed[45] = static_cast<char>(changed[45] ^ 0x55);
  EXPECT_THROW(ReadZip(changed), Error);
  EXPECT_THROW(ReadZip(zip.left(zip.size() - 10)), Error);
  EXPECT_THROW(ReadZip(zip.mid(5)), Error);
  EXPECT_THROW(ReadZip("PK"), Error);
  EXPECT_THROW(ReadZip(QByteArray(100, '\0')), Error);
  // An encrypted entry.
  QByteArray encrypted = zip;
  encrypted[6] = 1;
  const qsizetype central = encrypted.indexOf(QByteArray("PK\x01\x02", 4));
  encrypted[central + 8] = 1;
  EXPECT_THROW(ReadZip(encrypted), Error);
}

// A document as the client report builds it: a title line, a heading on a new page, a table
// with two header rows and a filled cell, a second table without header rows.
QByteArray QtOdt(QTextDocument& document) {
  QTextCursor cursor(&document);
  cursor.insertText("Title line");
  QTextBlockFormat heading;
  heading.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
  cursor.insertBlock(heading);
  cursor.insertText("Heading");
  QTextTableFormat format;
  format.setHeaderRowCount(2);
  format.setBorder(1);
  QTextTable* table = cursor.insertTable(4, 2, format);
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 2; ++column) {
      QTextTableCell cell = table->cellAt(row, column);
      if (row == 3 && column == 1) {
        QTextTableCellFormat fill = cell.format().toTableCellFormat();
        fill.setBackground(QColor("#800026"));
        cell.setFormat(fill);
      }
      // Plain characters: text typed into a cell takes its fill along otherwise.
      cell.firstCursorPosition().insertText(QString("r%1c%2").arg(row).arg(column),
                                            QTextCharFormat());
    }
  }
  cursor.movePosition(QTextCursor::End);
  QTextTableFormat plain;
  plain.setBorder(1);
  cursor.insertTable(2, 2, plain)->cellAt(0, 0).firstCursorPosition().insertText("second");
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QTextDocumentWriter writer(&buffer, "ODF");
  EXPECT_TRUE(writer.write(&document));
  return buffer.data();
}

bool Matches(const QString& text, const QString& pattern) {
  return text.contains(QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption));
}

OdtPageFinish Finish(const QTextDocument& document) {
  OdtPageFinish finish;
  const QList<QTextFormat> formats = document.allFormats();
  for (int i = 0; i < formats.size(); ++i) {
    if (formats[i].isTableCellFormat() && formats[i].hasProperty(QTextFormat::BackgroundBrush)) {
      finish.cellFills[i] = formats[i].background().color();
    } else if (formats[i].isTableFormat()) {
      finish.headerRows[i] = formats[i].toTableFormat().headerRowCount();
    }
  }
  finish.widthMm = 297;
  finish.heightMm = 210;
  finish.headerLeft = "Hodnocení <rizik>";
  finish.headerRight = "Dílna & sklad";
  finish.footerLeft = "8. 12. 2026";
  finish.footerCentre = "Ing. Jana Nováková";
  finish.page = "Strana";
  finish.of = "z";
  return finish;
}

TEST(FinishOdtTest, CellFillsHeaderRowsAndPagesGoIntoQtsPackage) {
  QTextDocument document;
  const QByteArray qt = QtOdt(document);
  // What this is for: Qt leaves these out.
  const std::string before = Entry(ReadZip(qt), "content.xml");
  ASSERT_THAT(before, Not(HasSubstr("fo:background-color=\"#800026\"")));
  ASSERT_THAT(before, Not(HasSubstr("table-header-rows")));

  const std::vector<ZipEntry> entries = ReadZip(FinishOdt(qt, Finish(document)));
  ASSERT_EQ(entries.front().name, "mimetype");
  EXPECT_FALSE(entries.front().deflate);
  const QString content = QString::fromStdString(Entry(entries, "content.xml"));
  // One cell format is filled: its style, plain and ruled ("T9", "TB2.9"), and the filled cell
  // uses one of them.
  const QRegularExpression filled(
      "<style:style style:name=\"T(B\\d+\\.)?(\\d+)\" style:family=\"table-cell\">\\s*"
      "<style:table-cell-properties fo:background-color=\"#800026\"");
  QRegularExpressionMatchIterator fills = filled.globalMatch(content);
  QStringList names, indexes;
  while (fills.hasNext()) {
    const QRegularExpressionMatch match = fills.next();
    names << match.captured(0).section('"', 1, 1);
    indexes << match.captured(2);
  }
  ASSERT_GE(names.size(), 1) << content.toStdString();
  EXPECT_EQ(indexes.count(indexes[0]), names.size());
  EXPECT_EQ(content.count("background-color"), names.size());
  EXPECT_TRUE(Matches(
      content, "<table:table-cell table:style-name=\"(" + names.join('|') + ")\">[^/]*r3c1"));
  // The first table's two header rows, the second has none.
  EXPECT_EQ(content.count("<table:table-header-rows>"), 1);
  EXPECT_TRUE(Matches(
      content, QString("<table:table-header-rows><table:table-row>.*r0c0.*</table:table-row>\\s*"
                       "<table:table-row>.*r1c1.*</table:table-row></"
                       "table:table-header-rows>\\s*<table:table-row>"
                       ".*r2c0")));
  // The title page, the numbering from the heading on, the mark at the end.
  EXPECT_TRUE(Matches(
      content,
      QString("style:master-page-name=\"OrvendaTitlePage\"[^>]*>.*</office:automatic-styles>.*"
              "<text:p text:style-name=\"OrvendaTitleP\">.*Title line")));
  EXPECT_TRUE(
      Matches(content, QString("style:master-page-name=\"Standard\".*style:page-number=\"1\".*"
                               "<text:p text:style-name=\"OrvendaFirstP\">.*Heading")));
  EXPECT_TRUE(Matches(
      content, QString("<text:bookmark text:name=\"OrvendaEnd\"/>(</text:p>)?\\s*</office:text>")));

  const std::string styles = Entry(entries, "styles.xml");
  EXPECT_THAT(styles, HasSubstr("fo:page-width=\"297.0mm\" fo:page-height=\"210.0mm\""));
  EXPECT_THAT(styles, HasSubstr("landscape"));
  EXPECT_THAT(styles, HasSubstr("Hodnocení &lt;rizik&gt;<text:tab/><text:tab/>Dílna &amp; sklad"));
  EXPECT_THAT(styles, HasSubstr("Ing. Jana Nováková<text:tab/>Strana <text:page-number"));
  EXPECT_THAT(Entry(entries, "META-INF/manifest.xml"), HasSubstr("\"styles.xml\""));
  // Every XML part is well formed.
  for (const ZipEntry& entry : entries) {
    if (entry.name.ends_with(".xml")) {
      QXmlStreamReader reader(entry.data);
      while (!reader.atEnd()) reader.readNext();
      EXPECT_FALSE(reader.hasError()) << entry.name << ": " << reader.errorString().toStdString();
    }
  }
  EXPECT_THROW(FinishOdt(WriteZip({{"mimetype", "x", false}}), Finish(document)), Error);
}

}  // namespace
}  // namespace orvenda
