#pragma once

#include <QChar>
#include <QString>

class QObject;

namespace orvenda {

// The letter Alt reaches a menu, a menu item or a button by. It is kept on the widget, not in
// its caption: the form, the language file and CreateLang carry captions without "&", and the
// letter goes back in wherever a caption is set.
void SetMnemonic(QObject* object, QChar letter);
// `caption` with "&" before the object's letter (its first occurrence, in either case); the
// caption unchanged when the object has no letter or the caption lacks it.
QString WithMnemonic(const QObject* object, const QString& caption);
// A caption as shown without its "&" marks ("&&" is a literal "&").
QString WithoutMnemonic(const QString& caption);

}  // namespace orvenda
