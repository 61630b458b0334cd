// The language the language file names, on the Qt side: Qt's own texts, the answer buttons of
// the program's questions and the help page.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>

#include "help_window.h"
#include "program_language.h"
#include "qt_dialogs.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;

// The program's language for one test.
class LanguageScope {
 public:
  explicit LanguageScope(const std::string& code) : before_(ProgramLanguage()) {
    SetProgramLanguage(code);
  }
  ~LanguageScope() { SetProgramLanguage(before_); }

 private:
  std::string before_;
};

// The button texts of the question box AskYesNoCancel shows; the box is answered "Cancel".
QStringList QuestionButtons() {
  QStringList texts;
  QTimer::singleShot(0, [&texts] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    for (QAbstractButton* button : box->buttons()) texts << button->text();
    box->button(QMessageBox::Cancel)->click();
  });
  QtDialogs dialogs;
  EXPECT_EQ(dialogs.AskYesNoCancel("?", "Orvenda"), Dialogs::Answer::Cancel);
  texts.sort();
  return texts;
}

TEST(ProgramLanguage, AnswerButtonsSpeakIt) {
  {
    LanguageScope czech("cs");
    EXPECT_EQ(QuestionButtons(), (QStringList{"&Ano", "&Ne", "Storno"}));
  }
  {
    LanguageScope english("en");
    EXPECT_EQ(QuestionButtons(), (QStringList{"&No", "&Yes", "Cancel"}));
  }
  EXPECT_FALSE(AnswerTextsFor("de").has_value());  // Qt's own, translated
}

TEST(ProgramLanguage, QtsOwnTextsLoadForAnyButEnglish) {
  QTranslator translator;
  EXPECT_FALSE(LoadQtTranslations("en", translator));
  EXPECT_FALSE(LoadQtTranslations("en_GB", translator));
  EXPECT_FALSE(LoadQtTranslations("zz", translator));  // no such language
  // qt6-translations-l10n is installed with the program.
  ASSERT_TRUE(LoadQtTranslations("cs", translator));
  EXPECT_FALSE(translator.isEmpty());
  EXPECT_TRUE(translator.filePath().endsWith("qtbase_cs.qm"))
      << translator.filePath().toStdString();
}

TEST(ProgramLanguage, HelpPageOfTheLanguageElseTheCzechOne) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "Hanvik.htm", "cs");
  EXPECT_EQ(HelpWindow::HelpFile(dir.path(), "cs"), dir / "Hanvik.htm");
  EXPECT_EQ(HelpWindow::HelpFile(dir.path(), "en"), dir / "Hanvik.htm");
  test::WriteFileBytes(dir / "Hanvik.en.htm", "en");
  EXPECT_EQ(HelpWindow::HelpFile(dir.path(), "en"), dir / "Hanvik.en.htm");
  EXPECT_EQ(HelpWindow::HelpFile(dir.path(), "cs"), dir / "Hanvik.htm");
  EXPECT_EQ(HelpWindow::HelpFile(dir.path(), "de"), dir / "Hanvik.htm");

  // The window shows it under the program's language.
  LanguageScope english("en");
  HelpWindow help;
  ASSERT_TRUE(help.ShowContents(dir.path()));
  EXPECT_TRUE(help.Browser()->source().toLocalFile().endsWith("Hanvik.en.htm"));
  help.close();
}

TEST(ProgramLanguage, ShippedEnglishHelpHasEveryCzechSection) {
  const fs::path resources = fs::path(ORVENDA_SOURCE_DIR) / "src/ui/resources";
  const auto anchors = [](const std::string& page) {
    std::vector<std::string> names;
    for (size_t at = page.find("<a name=\""); at != std::string::npos;
         at = page.find("<a name=\"", at + 1)) {
      names.push_back(page.substr(at + 9, page.find('"', at + 9) - at - 9));
    }
    return names;
  };
  const std::string czech = test::ReadFileBytes(resources / "Hanvik.htm");
  const std::string english = test::ReadFileBytes(resources / "Hanvik.en.htm");
  EXPECT_EQ(anchors(english), anchors(czech));
  EXPECT_GE(anchors(english).size(), 14u);
  EXPECT_NE(english.find("<html lang=\"en\">"), std::string::npos);
  EXPECT_NE(english.find("<meta charset=\"utf-8\">"), std::string::npos);
}

}  // namespace
}  // namespace orvenda
