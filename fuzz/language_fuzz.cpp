// Language files are edited by hand: whatever bytes they hold, reading must not crash, a file
// must serialize back to its exact bytes, and a write must read back without disturbing the
// other keys.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/cp1250.h"
#include "base/ini_file.h"
#include "base/language_file.h"
#include "base/messages.h"

namespace {

using orvenda::IniFile;

class FuzzWindow : public orvenda::TranslationTarget {
 public:
  std::string FormName() const override { return "MainForm"; }
  std::string FormCaption() const override { return caption_; }
  void SetFormCaption(const std::string& caption) override { caption_ = caption; }
  std::vector<std::string> ComponentNames() const override { return {"Label1", "Memo1"}; }
  std::vector<std::string> TextProperties(const std::string& component) const override {
    if (component == "Label1") return {"Caption", "Hint"};
    return {};
  }
  std::vector<std::string> ListProperties(const std::string& component) const override {
    if (component == "Memo1") return {"Lines"};
    return {};
  }
  std::string GetText(const std::string&, const std::string& property) const override {
    return texts_.count(property) ? texts_.at(property) : "";
  }
  void SetText(const std::string&, const std::string& property, const std::string& value) override {
    texts_[property] = value;
  }
  std::vector<std::string> GetList(const std::string&, const std::string&) const override {
    return lines_;
  }
  void SetList(const std::string&, const std::string&,
               const std::vector<std::string>& entries) override {
    lines_ = entries;
  }

 private:
  std::string caption_ = "Orvenda";
  std::map<std::string, std::string> texts_;
  std::vector<std::string> lines_;
};

std::string Tildes(std::string_view text) {
  std::string value;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') {
      value += text[i];
      continue;
    }
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    value += "~~";
  }
  return value;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  IniFile ini = IniFile::Parse(bytes);
  Check(ini.Serialize() == bytes);

  const auto section = orvenda::kTranslationsSection;
  const std::vector<std::string> all = ini.KeyNames(section);
  const std::vector<std::string> seen = ini.KeyNames(section, orvenda::kKeyNamesBufferSize);
  Check(seen.size() <= all.size() && std::equal(seen.begin(), seen.end(), all.begin()));
  std::map<std::string, std::string> before;
  for (const std::string& key : all) {
    const auto value = ini.ReadString(section, key);
    Check(value.has_value());
    Check(ini.ReadString(section, key, orvenda::kValueBufferSize)->size() < 2048);
    before.try_emplace(key, *value);
  }

  FuzzWindow window;
  orvenda::Messages messages;
  orvenda::MessagesBoxTarget target(window, messages);
  orvenda::TranslateForm(target, ini);

  // Rewriting a key found in the file replaces its value and nothing else.
  const std::string fresh = "\"rewritten\" ";
  std::string rewritten_key;
  if (!all.empty()) {
    const std::string& key = all[size % all.size()];
    try {
      ini.WriteString(section, key, fresh);
      rewritten_key = orvenda::Cp1250Upper(key);
    } catch (const std::invalid_argument&) {
      // A key holding a lone CR cannot be written back as one line.
    }
  }
  const IniFile rewritten = IniFile::Parse(ini.Serialize());
  for (const auto& [key, value] : before) {
    const auto now = rewritten.ReadString(section, key);
    Check(now.has_value());
    Check(orvenda::Cp1250Upper(key) == rewritten_key ? *now == fresh : *now == value);
  }

  // Writing the translated window back gives keys that read back as written.
  orvenda::WriteFormTexts(target, ini);
  const IniFile written = IniFile::Parse(ini.Serialize());
  const auto expect = [&](const std::string& key, const std::string& text) {
    if (text.empty()) return;
    Check(written.ReadString(section, key) == Tildes(text));
  };
  expect("MainForm.Caption", window.FormCaption());
  expect("MainForm.Label1.Hint", window.GetText("Label1", "Hint"));
  if (window.GetText("Label1", "Caption") != "-") {
    expect("MainForm.Label1.Caption", window.GetText("Label1", "Caption"));
  }
  std::string lines;
  for (const std::string& line : window.GetList("Memo1", "Lines")) lines += line + "\n";
  expect("MainForm.Memo1.Lines", lines);
  // The list holds the original numbers; each later message is a line of its own.
  std::string items;
  const std::vector<std::string>& all_messages = messages.Items();
  for (int n = 0;
       n < orvenda::Messages::kFirstAppended && n < static_cast<int>(all_messages.size()); ++n) {
    items += all_messages[n] + "\r\n";
  }
  expect("MainForm.MessagesBox.Items", items);
  for (size_t n = orvenda::Messages::kFirstAppended; n < all_messages.size(); ++n) {
    if (all_messages[n].empty()) continue;
    Check(written.ReadString(orvenda::kMessagesSection, std::to_string(n)) ==
          Tildes(all_messages[n]));
  }
  return 0;
}
