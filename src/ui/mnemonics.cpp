#include "mnemonics.h"

#include <QObject>
#include <QVariant>

namespace orvenda {
namespace {

constexpr const char* kProperty = "orvendaMnemonic";

}  // namespace

void SetMnemonic(QObject* object, QChar letter) { object->setProperty(kProperty, QString(letter)); }

QString WithMnemonic(const QObject* object, const QString& caption) {
  const QString letter = object != nullptr ? object->property(kProperty).toString() : QString();
  if (letter.isEmpty()) return caption;
  QString escaped = caption;
  escaped.replace('&', "&&");
  const qsizetype at = escaped.indexOf(letter, 0, Qt::CaseInsensitive);
  if (at < 0) return escaped;
  escaped.insert(at, '&');
  return escaped;
}

QString WithoutMnemonic(const QString& caption) {
  if (!caption.contains('&')) return caption;
  QString plain;
  plain.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        plain += '&';
        ++i;
      }
      continue;
    }
    plain += caption[i];
  }
  return plain;
}

}  // namespace orvenda
