#include "base/language_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "base/cp1250.h"

namespace orvenda {

std::filesystem::path FindLanguageFile(const std::filesystem::path& programDir,
                                       const std::filesystem::path& userDir) {
  std::error_code error;
  if (!userDir.empty() && std::filesystem::is_regular_file(userDir / kLanguageFileName, error)) {
    return userDir / kLanguageFileName;
  }
  return programDir / kLanguageFileName;
}

std::string LanguageOf(const IniFile& language) {
  const std::string value =
      language.ReadString(kLanguageSection, kLanguageKey, kValueBufferSize).value_or("");
  // Letters, then an optional region ("pt_BR", "pt-BR"); the code names a file of Qt's, so
  // nothing else is taken.
  const size_t primary = std::min(value.find_first_of("_-"), value.size());
  const auto letters = [](std::string_view part) {
    return std::all_of(part.begin(), part.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
  };
  const std::string_view region =
      std::string_view(value).substr(std::min(primary + 1, value.size()));
  if (primary < 2 || primary > 3 || !letters(std::string_view(value).substr(0, primary)) ||
      (primary < value.size() && (region.size() < 2 || region.size() > 3 || !letters(region)))) {
    return kDefaultLanguage;
  }
  std::string code;
  for (size_t i = 0; i < primary; ++i) code += static_cast<char>(value[i] | 0x20);
  if (primary < value.size()) {
    code += '_';
    for (char c : region) code += static_cast<char>(c & ~0x20);
  }
  return code;
}

std::string LanguageOf(const std::filesystem::path& file) {
  return LanguageOf(IniFile::Load(file));
}

namespace {

constexpr std::array<const char*, 5> kWrittenTextProperties = {"Caption", "Hint", "Text", "Title",
                                                               "Filter"};
constexpr std::array<const char*, 2> kWrittenListProperties = {"Lines", "Items"};

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return Cp1250Upper(x) == Cp1250Upper(y);
         });
}

std::optional<std::string> FindNoCase(const std::vector<std::string>& names,
                                      std::string_view name) {
  for (const std::string& candidate : names) {
    if (EqualNoCase(candidate, name)) return candidate;
  }
  return std::nullopt;
}

std::string LineBreaksFromTildes(std::string_view value) {
  std::string text;
  text.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '~' && i + 1 < value.size() && value[i + 1] == '~') {
      text += "\r\n";
      ++i;
    } else {
      text += value[i];
    }
  }
  return text;
}

// CR LF, a lone CR and a lone LF each count as one line break; an INI line holds none.
std::string TildesFromLineBreaks(std::string_view text) {
  std::string value;
  value.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      value += "~~";
    } else {
      value += text[i];
    }
  }
  return value;
}

// A name that would not read back as the same component is left out of the file.
bool WritableComponentName(std::string_view name) {
  return !name.empty() && name.find_first_of(".=\r\n") == std::string_view::npos;
}

}  // namespace

std::vector<std::string> SplitListText(const std::string& text) {
  std::vector<std::string> entries;
  size_t i = 0;
  while (i < text.size()) {
    const size_t end = std::min(text.find_first_of("\r\n", i), text.size());
    entries.emplace_back(text, i, end - i);
    i = end;
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
  }
  return entries;
}

void TranslateForm(TranslationTarget& window, const IniFile& language) {
  const std::string form = window.FormName();
  // Component names by upper case; the first in definition order wins.
  std::optional<std::unordered_map<std::string, std::string>> components;

  for (const std::string& key : language.KeyNames(kTranslationsSection, kKeyNamesBufferSize)) {
    const auto value = language.ReadString(kTranslationsSection, key, kValueBufferSize);
    if (!value || value->empty()) continue;
    const size_t dot = key.find('.');
    if (dot == std::string::npos || std::string_view(key).substr(0, dot) != form) continue;
    const std::string_view rest = std::string_view(key).substr(dot + 1);
    const size_t second_dot = rest.find('.');
    const std::string text = LineBreaksFromTildes(*value);
    if (second_dot == std::string_view::npos || second_dot == 0) {
      // One part after the window's name always addresses the caption.
      window.SetFormCaption(text);
      continue;
    }

    if (!components) {
      components.emplace();
      for (const std::string& name : window.ComponentNames()) {
        components->try_emplace(Cp1250Upper(name), name);
      }
    }
    const auto found = components->find(Cp1250Upper(rest.substr(0, second_dot)));
    if (found == components->end()) continue;
    const std::string& component = found->second;
    const std::string_view property = rest.substr(second_dot + 1);
    if (const auto name = FindNoCase(window.TextProperties(component), property)) {
      window.SetText(component, *name, text);
    } else if (const auto list = FindNoCase(window.ListProperties(component), property)) {
      window.SetList(component, *list, SplitListText(text));
    }
  }
  window.TranslateOwnSections(language);
}

void TranslateForm(TranslationTarget& window, const std::filesystem::path& file) {
  TranslateForm(window, IniFile::Load(file));
}

void WriteFormTexts(const TranslationTarget& window, IniFile& language) {
  const std::string form = window.FormName();
  const auto write = [&](const std::string& key, const std::string& text) {
    const std::string value = TildesFromLineBreaks(text);
    if (!value.empty()) language.WriteString(kTranslationsSection, key, value);
  };

  // A caption carries no line breaks in practice; one that did (a file name can hold one) is
  // still written as "~~", so it cannot split the line.
  write(form + ".Caption", window.FormCaption());

  for (const std::string& component : window.ComponentNames()) {
    if (!WritableComponentName(component)) continue;
    const std::string prefix = form + "." + component + ".";
    const std::vector<std::string> texts = window.TextProperties(component);
    for (const char* property : kWrittenTextProperties) {
      const auto name = FindNoCase(texts, property);
      if (!name) continue;
      const std::string text = window.GetText(component, *name);
      if (text == "-" && std::string_view(property) == "Caption") continue;  // menu separator
      write(prefix + property, text);
    }
    const std::vector<std::string> lists = window.ListProperties(component);
    for (const char* property : kWrittenListProperties) {
      const auto name = FindNoCase(lists, property);
      if (!name) continue;
      std::string text;
      for (const std::string& entry : window.GetList(component, *name)) text += entry + "\r\n";
      write(prefix + property, text);
    }
  }
  window.WriteOwnSections(language);
}

void WriteFormTexts(const TranslationTarget& window, const std::filesystem::path& file) {
  IniFile language = IniFile::LoadForUpdate(file);
  WriteFormTexts(window, language);
  language.Save(file);
}

std::vector<std::string> MessagesBoxTarget::ComponentNames() const {
  std::vector<std::string> names = window_.ComponentNames();
  if (std::find(names.begin(), names.end(), kComponent) == names.end()) {
    names.emplace_back(kComponent);
  }
  return names;
}

std::vector<std::string> MessagesBoxTarget::TextProperties(const std::string& component) const {
  if (component == kComponent) return {};
  return window_.TextProperties(component);
}

std::vector<std::string> MessagesBoxTarget::ListProperties(const std::string& component) const {
  if (component == kComponent) return {kProperty};
  return window_.ListProperties(component);
}

std::string MessagesBoxTarget::GetText(const std::string& component,
                                       const std::string& property) const {
  if (component == kComponent) return {};
  return window_.GetText(component, property);
}

void MessagesBoxTarget::SetText(const std::string& component, const std::string& property,
                                const std::string& value) {
  if (component != kComponent) window_.SetText(component, property, value);
}

std::vector<std::string> MessagesBoxTarget::GetList(const std::string& component,
                                                    const std::string& property) const {
  if (component != kComponent) return window_.GetList(component, property);
  if (property != kProperty) return {};
  const auto& items = messages_.Items();
  return {items.begin(), items.begin() + std::min<size_t>(items.size(), Messages::kFirstAppended)};
}

void MessagesBoxTarget::SetList(const std::string& component, const std::string& property,
                                const std::vector<std::string>& entries) {
  if (component != kComponent) {
    window_.SetList(component, property, entries);
  } else if (property == kProperty) {
    messages_.SetFromList(entries);
  }
}

void MessagesBoxTarget::TranslateOwnSections(const IniFile& language) {
  window_.TranslateOwnSections(language);
  for (const std::string& key : language.KeyNames(kMessagesSection, kKeyNamesBufferSize)) {
    int n = 0;
    const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), n);
    if (error != std::errc() || end != key.data() + key.size() || n < 0 || n >= Messages::kCount) {
      continue;
    }
    const auto value = language.ReadString(kMessagesSection, key, kValueBufferSize);
    if (!value || value->empty()) continue;
    // A message's line breaks are LF, as the program's own texts have them.
    std::string text = LineBreaksFromTildes(*value);
    std::erase(text, '\r');
    messages_.Set(n, std::move(text));
  }
}

void MessagesBoxTarget::WriteOwnSections(IniFile& language) const {
  window_.WriteOwnSections(language);
  const auto& items = messages_.Items();
  for (size_t n = Messages::kFirstAppended; n < items.size(); ++n) {
    const std::string value = TildesFromLineBreaks(items[n]);
    if (!value.empty()) language.WriteString(kMessagesSection, std::to_string(n), value);
  }
}

namespace {

// The main window as far as the language file's messages go: a name and nothing else.
class MessagesOnlyTarget final : public TranslationTarget {
 public:
  std::string FormName() const override { return "MainForm"; }
  std::string FormCaption() const override { return {}; }
  void SetFormCaption(const std::string&) override {}
  std::vector<std::string> ComponentNames() const override { return {}; }
  std::vector<std::string> TextProperties(const std::string&) const override { return {}; }
  std::vector<std::string> ListProperties(const std::string&) const override { return {}; }
  std::string GetText(const std::string&, const std::string&) const override { return {}; }
  void SetText(const std::string&, const std::string&, const std::string&) override {}
  std::vector<std::string> GetList(const std::string&, const std::string&) const override {
    return {};
  }
  void SetList(const std::string&, const std::string&, const std::vector<std::string>&) override {}
};

}  // namespace

Messages MessagesOf(const std::filesystem::path& file) {
  Messages messages;
  MessagesOnlyTarget window;
  MessagesBoxTarget target(window, messages);
  TranslateForm(target, file);
  return messages;
}

}  // namespace orvenda
