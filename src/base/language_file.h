#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/ini_file.h"
#include "base/messages.h"

namespace orvenda {

// The language file "Language.lng" in the program directory replaces the texts of the windows
// and the numbered messages. Its section "Translations" holds lines
//   Window.Caption=...                 the window's caption
//   Window.Component.Property=...      a text or list property of a component of the window
// in windows-1250, with "~~" standing for a line break; a list value carries "~~" after each
// entry.
inline constexpr const char kLanguageFileName[] = "Language.lng";
inline constexpr const char kTranslationsSection[] = "Translations";
inline constexpr const char kMessagesSection[] = "Messages";

// The language file in use: the per-user one when there is one (for an installed program whose
// directory an ordinary user cannot write), else the program directory's.
std::filesystem::path FindLanguageFile(const std::filesystem::path& programDir,
                                       const std::filesystem::path& userDir);
// The language the file is written in: "Language=en" in the section [Language], which holds
// nothing else. A file without it (or with a value that is no language code) is Czech, the
// language of the program's own texts. The code comes back as "en" or "pt_BR".
inline constexpr const char kLanguageSection[] = "Language";
inline constexpr const char kLanguageKey[] = "Language";
inline constexpr const char kDefaultLanguage[] = "cs";
std::string LanguageOf(const IniFile& language);
std::string LanguageOf(const std::filesystem::path& file);

// Limits of the reader: all key names with their terminating zeros (and one closing zero) go
// through one buffer, each value through another, so keys beyond the first and characters
// beyond the second are not seen.
inline constexpr size_t kKeyNamesBufferSize = 16384;
inline constexpr size_t kValueBufferSize = 2048;

// One window as the language file sees it. Texts are windows-1250; a line break inside a text
// is CR LF (the reader always produces CR LF; the writer also takes a lone CR or LF).
class TranslationTarget {
 public:
  virtual ~TranslationTarget() = default;
  virtual std::string FormName() const = 0;  // "MainForm"
  virtual std::string FormCaption() const = 0;
  virtual void SetFormCaption(const std::string& caption) = 0;
  // Owned components, in definition order.
  virtual std::vector<std::string> ComponentNames() const = 0;
  // Names of the component's text properties ("Caption", "Hint", "Text", "Title", "Filter" and
  // any other it has) and of its text-list properties ("Lines", "Items"), in the spelling the
  // component uses; empty for an unknown component. Callers match names without regard to
  // case and pass back that spelling.
  virtual std::vector<std::string> TextProperties(const std::string& component) const = 0;
  virtual std::vector<std::string> ListProperties(const std::string& component) const = 0;
  virtual std::string GetText(const std::string& component, const std::string& property) const = 0;
  virtual void SetText(const std::string& component, const std::string& property,
                       const std::string& value) = 0;
  virtual std::vector<std::string> GetList(const std::string& component,
                                           const std::string& property) const = 0;
  virtual void SetList(const std::string& component, const std::string& property,
                       const std::vector<std::string>& entries) = 0;
  // Texts the window keeps in sections of their own, read after and written after the
  // section "Translations".
  virtual void TranslateOwnSections(const IniFile&) {}
  virtual void WriteOwnSections(IniFile&) const {}
};

// Applies the language file to one window. A missing or unreadable file or section, keys of
// other windows and names the window does not have change nothing and are no error.
void TranslateForm(TranslationTarget& window, const std::filesystem::path& file);
void TranslateForm(TranslationTarget& window, const IniFile& language);

// Writes the texts of one window into the language file: existing keys are overwritten in
// place, other keys, sections and lines stay. Failure: Error "Unable to write to <file>".
// Called for several windows in turn, it builds a complete file.
void WriteFormTexts(const TranslationTarget& window, const std::filesystem::path& file);
void WriteFormTexts(const TranslationTarget& window, IniFile& language);

// A list value's entries: split at CR LF, CR or LF; a line break at the end gives no empty
// last entry, while "" gives no entries.
std::vector<std::string> SplitListText(const std::string& text);

// The main window's hidden list of numbered messages, component "MessagesBox" with the list
// property "Items", so that the language file translates and writes it like any other list.
// Wraps the main window's target, forwards everything else to it and lists "MessagesBox" after
// the window's own components.
// The list value holds the original 91 messages only: one value is read as at most 2,047
// characters. Every later message is a line "n=text" of the section [Messages], which also
// overrides any number of the list.
class MessagesBoxTarget final : public TranslationTarget {
 public:
  static constexpr const char kComponent[] = "MessagesBox";
  static constexpr const char kProperty[] = "Items";

  MessagesBoxTarget(TranslationTarget& window, Messages& messages)
      : window_(window), messages_(messages) {}

  std::string FormName() const override { return window_.FormName(); }
  std::string FormCaption() const override { return window_.FormCaption(); }
  void SetFormCaption(const std::string& caption) override { window_.SetFormCaption(caption); }
  std::vector<std::string> ComponentNames() const override;
  std::vector<std::string> TextProperties(const std::string& component) const override;
  std::vector<std::string> ListProperties(const std::string& component) const override;
  std::string GetText(const std::string& component, const std::string& property) const override;
  void SetText(const std::string& component, const std::string& property,
               const std::string& value) override;
  std::vector<std::string> GetList(const std::string& component,
                                   const std::string& property) const override;
  void SetList(const std::string& component, const std::string& property,
               const std::vector<std::string>& entries) override;
  void TranslateOwnSections(const IniFile& language) override;
  void WriteOwnSections(IniFile& language) const override;

 private:
  TranslationTarget& window_;
  Messages& messages_;
};

// The numbered messages as the main window shows them under `file` (its list
// "MainForm.MessagesBox.Items"): the Czech defaults with the file's list put in their place.
Messages MessagesOf(const std::filesystem::path& file);

}  // namespace orvenda
