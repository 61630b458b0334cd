// The language file on real windows: applying one, and writing one with CreateLang.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <map>

#include "about_form_window.h"
#include "base/cp1250.h"
#include "base/ini_file.h"
#include "qt_translation.h"
#include "setup_form_window.h"
#include "splash_form_window.h"
#include "ui_support.h"

namespace orvenda {
namespace {

using test::WindowEnv;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Every text of a window as the language file sees it: "Component.Property" → value.
std::map<std::string, std::string> Texts(QWidget* window, Messages* messages = nullptr) {
  QtTranslationTarget target(window);
  std::map<std::string, std::string> texts;
  texts["Caption"] = target.FormCaption();
  const auto collect = [&](TranslationTarget& t) {
    for (const std::string& component : t.ComponentNames()) {
      for (const std::string& property : t.TextProperties(component)) {
        texts[component + "." + property] = t.GetText(component, property);
      }
      for (const std::string& property : t.ListProperties(component)) {
        std::string joined;
        for (const std::string& entry : t.GetList(component, property)) joined += entry + "\n";
        texts[component + "." + property] = joined;
      }
    }
  };
  if (messages != nullptr) {
    MessagesBoxTarget withMessages(target, *messages);
    collect(withMessages);
  } else {
    collect(target);
  }
  return texts;
}

TEST(LanguageFile, AppliedToEveryWindowWhenItIsCreated) {
  WindowEnv env;
  std::vector<std::string> messages = Messages::Defaults();
  messages[15] = W("Opravdu smazat?");
  std::string items;
  for (const std::string& m : messages) items += m + "~~";
  test::WriteFileBytes(env.ProgramDir() / "Language.lng",
                       W("[Translations]\r\n"
                         "MainForm.Open1.Caption=Otevřít...\r\n"
                         "MainForm.Label1.Caption=Jméno~~uzlu\r\n"
                         "MainForm.storebitbtn.CAPTION=Zapsat\r\n"
                         "mainform.New1.Caption=ignorováno\r\n"
                         "MainForm.Save1.Caption=\r\n"
                         "MainForm.AddNodeSpeedButton.Hint=Nový uzel\r\n"
                         "MainForm.NoSuchThing.Caption=x\r\n"
                         "SetupForm.Caption=Volby\r\n"
                         "SetupForm.AskExitCheckBox.Caption=Ptát se při ukončení\r\n"
                         "AboutForm.Comments.Caption=Jiný text\r\n"
                         "MainForm.MessagesBox.Items=") +
                           items + "\r\n");
  env.Start();
  // The Alt letter of each entry stays on the translated caption.
  EXPECT_EQ(env.Find<QAction>("Open1")->text(), U("&Otevřít..."));
  EXPECT_EQ(env.Find<QLabel>("Label1")->text(), U("Jméno\nuzlu"));
  EXPECT_EQ(env.Find<QPushButton>("StoreBitBtn")->text(), "Zapsat");
  EXPECT_EQ(env.Find<QAction>("New1")->text(), U("&Nový"));   // window part in another case
  EXPECT_EQ(env.Find<QAction>("Save1")->text(), U("&Ulož"));  // an empty value changes nothing
  EXPECT_EQ(env.Find<QToolButton>("AddNodeSpeedButton")->toolTip(), U("Nový uzel"));
  EXPECT_EQ(env.W().SetupFormWin()->windowTitle(), "Volby");
  EXPECT_EQ(env.W().SetupFormWin()->findChild<QCheckBox*>("AskExitCheckBox")->text(),
            U("Ptát se při ukončení"));
  EXPECT_EQ(env.W().AboutForm()->findChild<QLabel*>("Comments")->text(), U("Jiný text"));

  // A store keeps the translated caption; the message list is translated everywhere.
  env.Find<QToolButton>("AddNodeSpeedButton")->click();
  test::TypeText(env.Find<QLineEdit>("TextEdit"), "N");
  env.Find<QPushButton>("StoreBitBtn")->click();
  EXPECT_EQ(env.Find<QPushButton>("StoreBitBtn")->text(), "Zapsat");
  env.Find<QToolButton>("DeleteSpeedButton")->click();
  ASSERT_FALSE(env.dialogs.questions.empty());
  EXPECT_EQ(env.dialogs.questions.back().text, W("Opravdu smazat?"));
  env.dialogs.yesNo = {false, true};
}

TEST(LanguageFile, CreateLangThenRestartGivesTheSameTexts) {
  WindowEnv env;
  test::WriteFileBytes(env.AdminMarker(), "");
  env.Start();
  const auto mainBefore = Texts(&env.W(), &env.W().Form().MessagesBox);
  const auto setupBefore = Texts(env.W().SetupFormWin());
  const auto aboutBefore = Texts(env.W().AboutForm());
  env.Find<QAction>("CreateLang1")->trigger();

  const std::filesystem::path file = env.ProgramDir() / "Language.lng";
  ASSERT_TRUE(std::filesystem::exists(file));
  const IniFile written = IniFile::Load(file);
  EXPECT_EQ(written.ReadString("Translations", "MainForm.Open1.Caption"), W("Otevři..."));
  EXPECT_EQ(written.ReadString("Translations", "MainForm.ObjectLabel.Caption"),
            W("Posuzovaný objekt:"));
  EXPECT_EQ(written.ReadString("Translations", "MainForm.ExistenceSpinEdit.Hint")
                .value_or("")
                .substr(0, 14),
            W("1. Nahodilá~~2"));
  EXPECT_EQ(written.ReadString("Translations", "SetupForm.Caption"), W("Nastavení"));
  EXPECT_EQ(written.ReadString("Translations", "SetupForm.StornoBitBtn.Caption"), "Storno");
  EXPECT_EQ(written.ReadString("Translations", "AboutForm.Caption"), "O programu");
  EXPECT_EQ(written.ReadString("Translations", "SplashForm.Mess1.Caption"), "Verze");
  EXPECT_FALSE(written.ReadString("Translations", "MainForm.N7.Caption"));  // a separator
  const auto messages = written.ReadString("Translations", "MainForm.MessagesBox.Items");
  ASSERT_TRUE(messages);
  EXPECT_EQ(messages->substr(0, 16), W("Vytvářím strom~~"));

  // A translator's change to the file shows after the restart; all else stays as it was.
  IniFile edited = IniFile::Load(file);
  edited.WriteString("Translations", "MainForm.Konec1.Caption", W("Ukončit"));
  edited.Save(file);
  env.Stop();
  env.Start();
  auto mainAfter = Texts(&env.W(), &env.W().Form().MessagesBox);
  EXPECT_EQ(mainAfter["Konec1.Caption"], W("Ukončit"));
  mainAfter["Konec1.Caption"] = mainBefore.at("Konec1.Caption");
  EXPECT_EQ(mainAfter, mainBefore);
  EXPECT_EQ(Texts(env.W().SetupFormWin()), setupBefore);
  EXPECT_EQ(Texts(env.W().AboutForm()), aboutBefore);
}

TEST(LanguageFile, SplashWindowIsTranslatedWhenMade) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "Language.lng",
                       W("[TRANSLATIONS]\r\nSplashForm.Mess1.Caption=Version\r\n"
                         "SplashForm.Label1.Caption=Risk assessment\r\n"));
  SplashFormWindow splash(dir / "Language.lng");
  EXPECT_EQ(splash.Version()->text(), "Version 2.9");
  EXPECT_EQ(splash.findChild<QLabel*>("Label1")->text(), "Risk assessment");
  EXPECT_EQ(splash.ProductName()->text(), "Orvenda");
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
}

}  // namespace
}  // namespace orvenda
