#pragma once

#include <QString>
#include <QTranslator>
#include <optional>
#include <string>

namespace orvenda {

// The language of the program's texts as the language file in force names it ("cs" without
// one). Set once at start; Qt's own texts, the answer buttons and the help page follow it.
void SetProgramLanguage(const std::string& code);
const std::string& ProgramLanguage();

// Loads Qt's translations of its own texts (standard buttons, file, print and page-setup
// dialogs) for `code` into `translator`; false when there are none installed or none are needed
// (English, Qt's own language).
bool LoadQtTranslations(const std::string& code, QTranslator& translator);

// The texts of the answer buttons of the program's questions; nullopt for a language whose
// texts are Qt's own (translated by the loaded translations).
struct AnswerTexts {
  QString yes;
  QString no;
  QString cancel;
};
std::optional<AnswerTexts> AnswerTextsFor(const std::string& code);

}  // namespace orvenda
