#include "qt_text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace orvenda {

QString FromCp1250(std::string_view bytes) {
  QStringDecoder decoder("windows-1250");
  return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
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

}  // namespace orvenda
