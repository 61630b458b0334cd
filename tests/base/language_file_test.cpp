#include "base/language_file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "base/cp1250.h"
#include "base/error.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// A window as a toolkit would show it: components in definition order, each with its own
// spelling of its property names. Property names must come back in that spelling.
struct FakeComponent {
  std::string name;
  std::vector<std::pair<std::string, std::string>> texts;
  std::vector<std::pair<std::string, std::vector<std::string>>> lists;
  bool operator==(const FakeComponent&) const = default;
};

class FakeWindow : public TranslationTarget {
 public:
  FakeWindow(std::string name, std::string caption, std::vector<FakeComponent> components)
      : name_(std::move(name)), caption_(std::move(caption)), components_(std::move(components)) {}
  bool operator==(const FakeWindow& o) const {
    return name_ == o.name_ && caption_ == o.caption_ && components_ == o.components_;
  }

  std::string FormName() const override { return name_; }
  std::string FormCaption() const override { return caption_; }
  void SetFormCaption(const std::string& caption) override { caption_ = caption; }
  std::vector<std::string> ComponentNames() const override {
    std::vector<std::string> names;
    for (const FakeComponent& c : components_) names.push_back(c.name);
    return names;
  }
  std::vector<std::string> TextProperties(const std::string& component) const override {
    return Names(Find(component).texts);
  }
  std::vector<std::string> ListProperties(const std::string& component) const override {
    return Names(Find(component).lists);
  }
  std::string GetText(const std::string& c, const std::string& p) const override {
    return Get(Find(c).texts, p);
  }
  void SetText(const std::string& c, const std::string& p, const std::string& value) override {
    Text(c, p) = value;
  }
  std::vector<std::string> GetList(const std::string& c, const std::string& p) const override {
    return Get(Find(c).lists, p);
  }
  void SetList(const std::string& c, const std::string& p,
               const std::vector<std::string>& entries) override {
    List(c, p) = entries;
  }
  std::string& Text(const std::string& c, const std::string& p) { return Get(Find(c).texts, p); }
  std::vector<std::string>& List(const std::string& c, const std::string& p) {
    return Get(Find(c).lists, p);
  }

 private:
  template <typename T>
  static std::vector<std::string> Names(const std::vector<std::pair<std::string, T>>& props) {
    std::vector<std::string> names;
    for (const auto& [name, value] : props) names.push_back(name);
    return names;
  }
  template <typename T>
  static T& Get(std::vector<std::pair<std::string, T>>& props, const std::string& property) {
    for (auto& [name, value] : props) {
      if (name == property) return value;
    }
    throw std::logic_error("no property " + property);
  }
  FakeComponent& Find(const std::string& name) const {
    for (const FakeComponent& c : components_) {
      if (c.name == name) return const_cast<FakeComponent&>(c);
    }
    throw std::logic_error("no component " + name);
  }

  std::string name_;
  std::string caption_;
  std::vector<FakeComponent> components_;
};

FakeWindow MainWindow() {
  return FakeWindow("MainForm", W("Hodnocení rizik"),
                    {{"Open1", {{"Caption", W("Otevři...")}, {"Hint", "Open a project"}}, {}},
                     {"N1", {{"Caption", "-"}, {"Hint", ""}}, {}},
                     {"Label10", {{"Caption", "Label"}}, {}},
                     {"OpatreniMemo", {{"Hint", "Measures"}}, {{"Lines", {"one", "two"}}}},
                     {"Combo", {{"Text", "pick"}}, {{"Items", {"a", "", "c"}}}},
                     {"OpenDialog1", {{"Title", "Open"}, {"Filter", "Projects|*.RSK"}}, {}},
                     {W("Tlačítko"), {{"Caption", W("Tlačítko")}}, {}},
                     {"Empty", {{"Caption", ""}}, {{"Items", {}}}}});
}

// What a window shows before the language file is applied: every text the file may hold differs.
void Scramble(TranslationTarget& window) {
  window.SetFormCaption("?");
  for (const std::string& component : window.ComponentNames()) {
    for (const std::string& property : window.TextProperties(component)) {
      const std::string text = window.GetText(component, property);
      if (!text.empty() && text != "-") window.SetText(component, property, "?");
    }
    for (const std::string& property : window.ListProperties(component)) {
      if (!window.GetList(component, property).empty()) window.SetList(component, property, {"?"});
    }
  }
}

TranslationTarget& Translated(TranslationTarget& window, const std::string& lines) {
  TranslateForm(window, IniFile::Parse("[TRANSLATIONS]\r\n" + lines));
  return window;
}

TEST(TranslateForm, LineBreaksBecomeLinesOrListEntries) {
  FakeWindow window = MainWindow();
  Messages messages;
  MessagesBoxTarget main(window, messages);
  Translated(main,
             "MainForm.Label10.Caption=Jedna~~Dva\r\n"
             "MainForm.MessagesBox.Items=Jedna~~Dva\r\n"
             "MainForm.OpatreniMemo.Lines=x~~~~y~~\r\n"
             "MainForm.Combo.Items=~~\r\n"
             "MainForm.Open1.Hint=a~~~b\r\n"
             "MainForm.Tla\xE8\xEDtko.Caption=\xC8"
             "esk\xFD ~~\x9A"
             "prt\r\n");
  EXPECT_EQ(window.Text("Label10", "Caption"), "Jedna\r\nDva");
  EXPECT_EQ(messages.Get(0), "Jedna");
  EXPECT_EQ(messages.Get(1), "Dva");
  // A list cut short leaves the rest of the original numbers empty; a later message, which
  // such a list never reached, keeps its text.
  EXPECT_EQ(messages.Get(2), "");
  EXPECT_EQ(messages.Get(90), "");
  EXPECT_EQ(messages.Get(Messages::kFirstAppended), W("Č."));
  EXPECT_EQ(window.List("OpatreniMemo", "Lines"), (std::vector<std::string>{"x", "", "y"}));
  EXPECT_EQ(window.List("Combo", "Items"), (std::vector<std::string>{""}));
  EXPECT_EQ(window.Text("Open1", "Hint"), "a\r\n~b");
  EXPECT_EQ(window.Text(W("Tlačítko"), "Caption"),
            "\xC8"
            "esk\xFD \r\n\x9A"
            "prt");
}

TEST(TranslateForm, KeyPartsAndCaseRules) {
  FakeWindow window = MainWindow();
  Translated(window,
             "mainform.Label10.Caption=lower-case window part\r\n"
             "MainForm.OPATRENIMEMO.hint=applied\r\n"
             "MainForm.open1.HINT=also applied\r\n"
             "MainForm.Open1.Lines=no such property\r\n"
             "MainForm.Nobody.Caption=no such component\r\n"
             "MainForm.Label10.Caption.Extra=property with a dot\r\n"
             "MainForm=no dot at all\r\n" +
                 W("MainForm.TLAČÍTKO.Caption=Czech case\r\n") +
                 "MainForm.Combo.items=p~~q\r\n"
                 "AboutForm.Caption=another window\r\n"
                 "MainForm.Open1.Caption=\r\n"
                 "MainForm.Hint=caption through Hint\r\n");
  EXPECT_EQ(window.Text("Label10", "Caption"), "Label");
  EXPECT_EQ(window.Text("OpatreniMemo", "Hint"), "applied");
  EXPECT_EQ(window.Text("Open1", "Hint"), "also applied");
  EXPECT_EQ(window.Text("Open1", "Caption"), W("Otevři..."));  // empty value ignored
  EXPECT_EQ(window.Text(W("Tlačítko"), "Caption"), "Czech case");
  EXPECT_EQ(window.List("Combo", "Items"), (std::vector<std::string>{"p", "q"}));
  EXPECT_EQ(window.FormCaption(), "caption through Hint");

  Translated(window, "MainForm..Caption=empty component part\r\n");
  EXPECT_EQ(window.FormCaption(), "empty component part");
  Translated(window, "MainForm.Caption=a\r\nMainForm.Caption=b\r\nMAINFORM.CAPTION=c\r\n");
  EXPECT_EQ(window.FormCaption(), "a");  // the first of equal keys wins
  // Keys are equal without regard to case: the right key reads an earlier wrong one's value.
  Translated(window, "mainform.Label10.Caption=x\r\nMainForm.Label10.Caption=y\r\n");
  EXPECT_EQ(window.Text("Label10", "Caption"), "x");
}

TEST(TranslateForm, NothingChangesWithoutAFileOrSection) {
  TempDir dir;
  const FakeWindow untouched = MainWindow();
  FakeWindow window = MainWindow();
  TranslateForm(window, dir / "Language.lng");
  WriteFileBytes(dir / "Language.lng", "[Other]\r\nMainForm.Caption=x\r\n");
  TranslateForm(window, dir / "Language.lng");
  fs::create_directory(dir / "Folder.lng");
  TranslateForm(window, dir / "Folder.lng");
  EXPECT_TRUE(window == untouched);
}

TEST(TranslateForm, ReaderBufferLimits) {
  FakeWindow window = MainWindow();
  // A value is read as its first 2,047 characters; a list cut there loses its last entries.
  const std::string long_caption = std::string(2047, 'a') + "bcd";
  std::string long_list;
  while (long_list.size() < 2100) long_list += "entry~~";
  Translated(window, "MainForm.Label10.Caption=" + long_caption +
                         "\r\nMainForm.OpatreniMemo.Lines=" + long_list + "\r\n");
  EXPECT_EQ(window.Text("Label10", "Caption"), std::string(2047, 'a'));
  const auto& lines = window.List("OpatreniMemo", "Lines");
  EXPECT_EQ(lines.size(), 2047 / 7 + 1);
  EXPECT_EQ(lines.back(), std::string("entry~~").substr(0, 2047 % 7));

  // Key names with their zeros fill 16,383 bytes (one more closes the list) with the last key
  // that fits; one byte longer and that key is not seen.
  for (size_t extra : {0, 1}) {
    std::string lines_text;
    size_t used = 1;
    int n = 0;
    for (; used + 100 < kKeyNamesBufferSize - 40; ++n) {
      const std::string key = "Other.K" + std::to_string(n) + std::string(80, 'x');
      lines_text += key + "=v\r\n";
      used += key.size() + 1;
    }
    const std::string last_key = "MainForm.Caption";
    std::string filler = "Other.Fill";
    filler += std::string(
        kKeyNamesBufferSize - used - (last_key.size() + 1) - filler.size() - 1 + extra, 'f');
    lines_text += filler + "=v\r\n" + last_key + "=seen\r\n";
    FakeWindow target = MainWindow();
    Translated(target, lines_text);
    EXPECT_EQ(target.FormCaption(), extra == 0 ? "seen" : W("Hodnocení rizik")) << extra;
  }
}

TEST(WriteFormTexts, WritesEveryTextInOrder) {
  TempDir dir;
  const fs::path file = dir / "Language.lng";
  WriteFormTexts(MainWindow(), file);
  EXPECT_EQ(ReadFileBytes(file), "[Translations]\r\n" +
                                     W("MainForm.Caption=Hodnocení rizik\r\n"
                                       "MainForm.Open1.Caption=Otevři...\r\n") +
                                     "MainForm.Open1.Hint=Open a project\r\n"
                                     "MainForm.Label10.Caption=Label\r\n"
                                     "MainForm.OpatreniMemo.Hint=Measures\r\n"
                                     "MainForm.OpatreniMemo.Lines=one~~two~~\r\n"
                                     "MainForm.Combo.Text=pick\r\n"
                                     "MainForm.Combo.Items=a~~~~c~~\r\n"
                                     "MainForm.OpenDialog1.Title=Open\r\n"
                                     "MainForm.OpenDialog1.Filter=Projects|*.RSK\r\n" +
                                     W("MainForm.Tlačítko.Caption=Tlačítko\r\n"));
  EXPECT_NE(ReadFileBytes(file).find("=Otev\xF8i...\r\n"), std::string::npos);
}

TEST(WriteFormTexts, PropertyOrderSpellingAndLineBreaks) {
  // A caption can hold a line break (a file name can); it must not split the line.
  FakeWindow window("MainForm", "Projekt\nX.Y=injected",
                    {{"Edit",
                      {{"text", "t"}, {"CAPTION", "c"}, {"Hint", "-"}},
                      {{"items", {"i"}}, {"Lines", {"a\nb"}}}},
                     {"Bad.Name", {{"Caption", "x"}}, {}},
                     {"", {{"Caption", "y"}}, {}}});
  Messages messages;
  MessagesBoxTarget target(window, messages);
  IniFile ini;
  WriteFormTexts(target, ini);
  const std::string text = ini.Serialize();
  EXPECT_TRUE(
      text.starts_with("[Translations]\r\n"
                       "MainForm.Caption=Projekt~~X.Y=injected\r\n"
                       "MainForm.Edit.Caption=c\r\n"
                       "MainForm.Edit.Hint=-\r\n"
                       "MainForm.Edit.Text=t\r\n"
                       "MainForm.Edit.Lines=a~~b~~\r\n"
                       "MainForm.Edit.Items=i~~\r\n"
                       "MainForm.MessagesBox.Items=" +
                       W("Vytvářím strom~~Bezvýznamné riziko~~")))
      << text;
  // The list holds the original 91 messages, 1,688 characters with "~~" after each: within
  // what the reader takes of one value. Each later message is a line of its own.
  const auto items = ini.ReadString(kTranslationsSection, "MainForm.MessagesBox.Items");
  EXPECT_EQ(items->size(), 1688u);
  EXPECT_TRUE(items->ends_with("~~88~~89~~~~"));
  EXPECT_EQ(IniFile::Parse(text).KeyNames(kTranslationsSection).size(), 7u);
  const auto later = IniFile::Parse(text).KeyNames(kMessagesSection);
  ASSERT_EQ(later.size(), static_cast<size_t>(Messages::kCount - Messages::kFirstAppended));
  EXPECT_EQ(later.front(), "91");
  EXPECT_EQ(ini.ReadString(kMessagesSection, "91"), W("Č."));
  EXPECT_NE(text.find(W("\r\n142=Program nebyl minule řádně ukončen a zůstal po něm neuložený "
                        "nový projekt.~~%1~~~~")),
            std::string::npos);
}

TEST(WriteFormTexts, RestartRestoresEveryText) {
  TempDir dir;
  const fs::path file = dir / "Language.lng";
  FakeWindow main = MainWindow();
  main.SetFormCaption(W("Hodnocení rizik - C:\\Projekty\\Dílna.RSK"));
  main.Text("Label10", "Caption") = " padded, \"quoted\" ";
  main.Text("Open1", "Hint") = "\"fully quoted\"";
  main.List("OpatreniMemo", "Lines") = {W("první řádek"), "", W("třetí"), ""};
  Messages messages;
  std::vector<std::string> items = messages.Items();
  items[5] = W("Nepřijatelné riziko ~ vlnka");
  messages.Replace(items);
  MessagesBoxTarget main_target(main, messages);
  FakeWindow about("AboutForm", "O programu", {{"Label1", {{"Caption", "Verze\r\n2.9"}}, {}}});

  WriteFormTexts(main_target, file);
  WriteFormTexts(about, file);
  // Written again in turn, as CreateLang does on an existing file: nothing is lost or doubled.
  const std::string written = ReadFileBytes(file);
  WriteFormTexts(main_target, file);
  WriteFormTexts(about, file);
  EXPECT_EQ(ReadFileBytes(file), written);
  EXPECT_NE(written.find("AboutForm.Label1.Caption=Verze~~2.9\r\n"), std::string::npos);

  // At the next start every text comes from the file.
  FakeWindow fresh_main = MainWindow();
  Messages fresh_messages;
  fresh_messages.Replace({"?"});
  MessagesBoxTarget fresh_target(fresh_main, fresh_messages);
  Scramble(fresh_target);
  FakeWindow fresh_about("AboutForm", "?", {{"Label1", {{"Caption", "?"}}, {}}});
  TranslateForm(fresh_target, file);
  TranslateForm(fresh_about, file);
  EXPECT_TRUE(fresh_main == main);
  EXPECT_TRUE(fresh_about == about);
  EXPECT_EQ(fresh_messages.Items(), messages.Items());
  ASSERT_EQ(fresh_messages.Items().size(), static_cast<size_t>(Messages::kCount));
  EXPECT_EQ(fresh_messages.Get(90), "");
}

TEST(WriteFormTexts, KeepsTheRestOfTheFile) {
  TempDir dir;
  const fs::path file = dir / "Language.lng";
  const std::string before =
      "; translated by hand\r\n"
      "[translations]\r\n"
      "NahledForm.Caption=N\xE1hled\r\n"
      "mainform.open1.caption=Old spelling\r\n"
      "MainForm.Removed.Caption=kept\r\n"
      "\r\n"
      "[Notes]\r\n"
      "a=b\r\n";
  WriteFileBytes(file, before);
  FakeWindow window("MainForm", "", {{"Open1", {{"Caption", "New"}}, {}}});
  WriteFormTexts(window, file);
  EXPECT_EQ(ReadFileBytes(file),
            "; translated by hand\r\n"
            "[translations]\r\n"
            "NahledForm.Caption=N\xE1hled\r\n"
            "MainForm.Open1.Caption=New\r\n"
            "MainForm.Removed.Caption=kept\r\n"
            "\r\n"
            "[Notes]\r\n"
            "a=b\r\n");
}

TEST(WriteFormTexts, UnwritableFileFails) {
  TempDir dir;
  fs::path read_only = dir / "ro";
  fs::create_directory(read_only);
  fs::permissions(read_only, fs::perms::owner_read | fs::perms::owner_exec);
  if (FILE* probe = std::fopen((read_only / "probe").c_str(), "wb")) {
    // The super-user writes anywhere; the process file system is read-only even for it.
    std::fclose(probe);
    fs::permissions(read_only, fs::perms::owner_all);
    read_only = "/proc";
    ASSERT_TRUE(fs::is_directory(read_only));
  }
  const fs::path file = read_only / "Language.lng";
  try {
    WriteFormTexts(MainWindow(), file);
    FAIL() << "wrote into a read-only directory";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + file.string());
  }
  EXPECT_FALSE(fs::exists(file));

  // A file in the way that cannot be read is not replaced.
  const fs::path folder = dir / "Folder.lng";
  fs::create_directory(folder);
  EXPECT_THROW(WriteFormTexts(MainWindow(), folder), Error);
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST(FindLanguageFile, APerUserFileWinsOverTheProgramDirectorysOne) {
  TempDir dir;
  fs::create_directories(dir / "prog");
  fs::create_directories(dir / "user");
  WriteFileBytes(dir / "prog" / "Language.lng", "");
  EXPECT_EQ(FindLanguageFile(dir / "prog", dir / "user"), dir / "prog" / "Language.lng");
  EXPECT_EQ(FindLanguageFile(dir / "prog", {}), dir / "prog" / "Language.lng");
  fs::create_directory(dir / "user" / "Language.lng");  // a folder is no language file
  EXPECT_EQ(FindLanguageFile(dir / "prog", dir / "user"), dir / "prog" / "Language.lng");
  fs::create_directories(dir / "user2");
  WriteFileBytes(dir / "user2" / "Language.lng", "");
  EXPECT_EQ(FindLanguageFile(dir / "prog", dir / "user2"), dir / "user2" / "Language.lng");
}

TEST(LanguageOf, TheFileNamesItsLanguageOrIsCzech) {
  const auto of = [](const std::string& text) { return LanguageOf(IniFile::Parse(text)); };
  EXPECT_EQ(of("[Language]\r\nLanguage=en\r\n[Translations]\r\nMainForm.Caption=X\r\n"), "en");
  EXPECT_EQ(of("[Translations]\r\nMainForm.Caption=X\r\n[language]\r\nLANGUAGE = DE\r\n"), "de");
  EXPECT_EQ(of("[Language]\r\nLanguage=pt-br\r\n"), "pt_BR");
  EXPECT_EQ(of("[Language]\r\nLanguage=\"sr_Latn\"\r\n"), "cs");  // a script is no region
  // Absent, empty, or no language code (it names one of Qt's files): Czech.
  for (const char* text : {"", "[Translations]\r\nLanguage=en\r\n", "[Language]\r\nLanguage=\r\n",
                           "[Language]\r\nLanguage=e\r\n", "[Language]\r\nLanguage=engl\r\n",
                           "[Language]\r\nLanguage=../../x\r\n", "[Language]\r\nLanguage=en_\r\n",
                           "[Language]\r\nLanguage=en_GB/x\r\n", "[Language]\r\nLanguage=e1\r\n"}) {
    EXPECT_EQ(of(text), "cs") << text;
  }

  TempDir dir;
  EXPECT_EQ(LanguageOf(dir / "missing.lng"), "cs");
  WriteFileBytes(dir / "Language.lng", "[Language]\r\nLanguage=en\r\n");
  EXPECT_EQ(LanguageOf(dir / "Language.lng"), "en");
}

TEST(MessagesOf, TheMainWindowsListReplacesTheCzechOne) {
  TempDir dir;
  const Messages czech;
  EXPECT_EQ(MessagesOf(dir / "missing.lng").Items(), czech.Items());

  // Another window's list of the same name, or a list of another name, changes nothing.
  WriteFileBytes(dir / "other.lng",
                 "[Translations]\r\nNahledForm.MessagesBox.Items=A~~B~~\r\n"
                 "MainForm.OtherBox.Items=A~~B~~\r\n");
  EXPECT_EQ(MessagesOf(dir / "other.lng").Items(), czech.Items());

  WriteFileBytes(dir / "Language.lng",
                 "[Translations]\r\nMainForm.Caption=Main\r\n"
                 "MainForm.messagesbox.items=Building~~Insignificant~~\r\n");
  const Messages english = MessagesOf(dir / "Language.lng");
  EXPECT_EQ(english.Get(0), "Building");
  EXPECT_EQ(english.Get(1), "Insignificant");
  EXPECT_EQ(english.Get(2), "");  // a list cut short, as the window reads it
}

TEST(MessagesOf, LaterMessagesComeOneALineAndOverrideTheList) {
  TempDir dir;
  const Messages czech;
  // A file written when the list held every message in one value still gives them all.
  std::string list;
  for (int n = 0; n < 93; ++n) list += "m" + std::to_string(n) + "~~";
  WriteFileBytes(dir / "Language.lng",
                 "[Translations]\r\nMainForm.MessagesBox.Items=" + list +
                     "\r\n[messages]\r\n92=line~~two\r\n0=first\r\n95=\r\nx=no\r\n-1=no\r\n"
                     "12a=no\r\n99999=no\r\n");
  const Messages read = MessagesOf(dir / "Language.lng");
  EXPECT_EQ(read.Get(0), "first");
  EXPECT_EQ(read.Get(5), "m5");
  EXPECT_EQ(read.Get(91), "m91");
  EXPECT_EQ(read.Get(92), "line\ntwo");    // LF, as the program's own texts
  EXPECT_EQ(read.Get(95), czech.Get(95));  // an empty value changes nothing
  EXPECT_EQ(read.Items().size(), czech.Items().size());

  // While a list is in force, texts raised anywhere read it; %n take the arguments in one pass.
  EXPECT_EQ(Msg(8), czech.Get(8));
  {
    Messages::InForce scope(read);
    EXPECT_EQ(Msg(0), "first");
    EXPECT_EQ(FillArgs("%2 and %1 at 100%, %3", {"%2", "x"}), "x and %2 at 100%, %3");
  }
  EXPECT_EQ(Msg(0), czech.Get(0));
}

}  // namespace
}  // namespace orvenda
