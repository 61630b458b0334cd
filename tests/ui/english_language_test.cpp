// The shipped English language file on the real windows.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "base/cp1250.h"
#include "base/ini_file.h"
#include "base/language_file.h"
#include "ui_support.h"

namespace orvenda {
namespace {

using test::WindowEnv;

using Texts = std::map<std::string, std::string>;

Texts Translations(const std::filesystem::path& file) {
  const IniFile ini = IniFile::Load(file);
  Texts texts;
  for (const std::string& key : ini.KeyNames(kTranslationsSection)) {
    texts[key] = ini.ReadString(kTranslationsSection, key).value_or("");
  }
  // The later messages, one a line, as "[Messages]n".
  for (const std::string& key : ini.KeyNames(kMessagesSection)) {
    texts["[Messages]" + key] = ini.ReadString(kMessagesSection, key).value_or("");
  }
  return texts;
}

std::vector<std::string> Entries(const std::string& list) {
  std::vector<std::string> entries;
  for (size_t at = 0; at < list.size();) {
    const size_t end = list.find("~~", at);
    entries.push_back(list.substr(at, end - at));
    at = end == std::string::npos ? list.size() : end + 2;
  }
  return entries;
}

// What CreateLang writes with the language file `language` (none when empty) in use.
Texts CreateLang(const std::string& language) {
  WindowEnv env;
  test::WriteFileBytes(env.AdminMarker(), "");
  if (!language.empty()) test::WriteFileBytes(env.ProgramDir() / "Language.lng", language);
  env.Start();
  env.Find<QAction>("CreateLang1")->trigger();
  return Translations(env.ProgramDir() / "Language.lng");
}

TEST(EnglishLanguageFile, LeavesNoCzechTextAndCreateLangWritesItBackUnchanged) {
  const std::filesystem::path shipped =
      std::filesystem::path(ORVENDA_SOURCE_DIR) / "src/ui/resources/Language.en.lng";
  const Texts english = Translations(shipped);
  const Texts czech = CreateLang("");
  const Texts written = CreateLang(test::ReadFileBytes(shipped));

  // Texts that read the same in both languages.
  const std::set<std::string> same = {"Orvenda",
                                      "OK",
                                      "Administrator",
                                      "CreateLang",
                                      "Switch export",
                                      "Import HTML",
                                      "Export",
                                      "Export HTM...",
                                      "Administrator Mode",
                                      W("© Tumbek"),
                                      "P",
                                      "N",
                                      "H",
                                      "R"};
  const std::string messagesKey = "MainForm.MessagesBox.Items";
  ASSERT_TRUE(czech.count(messagesKey) && written.count(messagesKey));
  auto czechMessages = Entries(czech.at(messagesKey));
  auto englishMessages = Entries(written.at(messagesKey));
  ASSERT_EQ(czechMessages.size(), static_cast<size_t>(Messages::kFirstAppended));
  ASSERT_EQ(englishMessages.size(), czechMessages.size());
  for (int n = Messages::kFirstAppended; n < Messages::kCount; ++n) {
    const std::string key = "[Messages]" + std::to_string(n);
    ASSERT_TRUE(czech.count(key) && written.count(key)) << key;
    czechMessages.push_back(czech.at(key));
    englishMessages.push_back(written.at(key));
  }
  for (size_t n = 0; n < czechMessages.size(); ++n) {
    // 73 to 89 are their own numbers and 90 is empty in both languages.
    if ((n >= 73 && n <= 90) || same.count(czechMessages[n])) continue;
    EXPECT_NE(englishMessages[n], czechMessages[n]) << "message " << n;
  }
  for (const auto& [key, text] : czech) {
    if (key == messagesKey || key.starts_with("[Messages]")) continue;
    ASSERT_TRUE(written.count(key)) << key;
    if (!same.count(text)) {
      EXPECT_NE(written.at(key), text) << key;
    }
  }

  // Every shipped text comes back as it was: nothing is lost, cut or changed on the way.
  for (const auto& [key, text] : english) {
    ASSERT_TRUE(written.count(key)) << key;
    EXPECT_EQ(written.at(key), text) << key;
  }
  EXPECT_EQ(written.at("AboutForm.Version.Caption").substr(0, 8), "Version ");
}

}  // namespace
}  // namespace orvenda
