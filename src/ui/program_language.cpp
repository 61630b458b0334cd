#include "program_language.h"

#include <QLibraryInfo>
#include <QLocale>

#include "base/language_file.h"

namespace orvenda {
namespace {

std::string& Current() {
  static std::string code = kDefaultLanguage;
  return code;
}

}  // namespace

void SetProgramLanguage(const std::string& code) { Current() = code; }

const std::string& ProgramLanguage() { return Current(); }

bool LoadQtTranslations(const std::string& code, QTranslator& translator) {
  const QLocale locale(QString::fromStdString(code));
  // QLocale falls back to "C" for a code it does not know; Qt's texts are English already.
  if (locale.language() == QLocale::English || locale.language() == QLocale::C) return false;
  return translator.load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

std::optional<AnswerTexts> AnswerTextsFor(const std::string& code) {
  // Czech keeps the program's own spelling (Qt's Czech says "Zrušit").
  if (code == kDefaultLanguage) {
    return AnswerTexts{QString::fromUtf8("&Ano"), QString::fromUtf8("&Ne"),
                       QString::fromUtf8("Storno")};
  }
  if (code == "en" || code.starts_with("en_")) {
    return AnswerTexts{QStringLiteral("&Yes"), QStringLiteral("&No"), QStringLiteral("Cancel")};
  }
  return std::nullopt;
}

}  // namespace orvenda
