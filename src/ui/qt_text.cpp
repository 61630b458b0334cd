#include "qt_text.h"

#include <array>

#include <QStringDecoder>
#include <QStringEncoder>

#include "base/messages.h"

namespace orvenda {

namespace {

QString DecodeWithQt(std::string_view bytes) {
  QStringDecoder decoder("windows-1250");
  return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// What the code page's decoder makes of each byte, 0 where it gives anything but one UTF-16
// unit: making a decoder for every caption of a big tree costs more than building the tree.
const std::array<char16_t, 256>& ByteTable() {
  static const std::array<char16_t, 256> table = [] {
    std::array<char16_t, 256> t{};
    for (int b = 1; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      const QString one = DecodeWithQt(std::string_view(&byte, 1));
      t[b] = one.size() == 1 ? one[0].unicode() : 0;
    }
    return t;
  }();
  return table;
}

}  // namespace

QString FromCp1250(std::string_view bytes) {
  const auto& table = ByteTable();
  QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
  QChar* out = text.data();
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char16_t unit = table[static_cast<unsigned char>(bytes[i])];
    if (unit == 0) return DecodeWithQt(bytes);  // NUL or a byte the table cannot say
    out[i] = QChar(unit);
  }
  return text;
}

std::string ToCp1250(const QString& text) {
  QStringEncoder encoder("windows-1250");
  QByteArray whole = encoder.encode(text);
  if (!encoder.hasError()) return std::string(whole.constData(), whole.size());

  // Some character has no place in the code page: encode character by character and put
  // "?" for each one the encoder refuses (a surrogate pair is one character).
  std::string out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype length =
        (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
    QStringEncoder one("windows-1250");
    const QByteArray bytes = one.encode(QStringView(text).mid(i, length));
    if (one.hasError() || bytes.size() != 1) {
      out += '?';
    } else {
      out += bytes[0];
    }
    i += length;
  }
  return out;
}

QString MessageText(int n) { return FromCp1250(Messages::Current().Get(n)); }

}  // namespace orvenda
