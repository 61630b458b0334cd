#pragma once

#include <QObject>
#include <QWidget>
#include <filesystem>
#include <vector>

#include "base/language_file.h"

namespace orvenda {

// A Qt window as the language file sees it. The window's name is its objectName; its
// components are the objects under it that carry an objectName, in the order they were made
// (other windows below it are left out). This is the one place that says which Qt property
// stands for which text property of a component:
//   Caption  label, button, check box text; menu and group-box title; menu item text;
//            the window title of a page or panel
//   Hint     tooltip (menu items: status tip)
//   Text     one-line edit, editable combo box
//   Lines    multi-line edit, one entry per line
//   Items    list box and combo box entries
// Any object may also carry dynamic properties named "Caption", "Hint", "Text", "Title" or
// "Filter" (a dialog that only exists while it is shown keeps its texts that way).
class QtTranslationTarget : public TranslationTarget {
 public:
  explicit QtTranslationTarget(QWidget* window);

  std::string FormName() const override;
  std::string FormCaption() const override;
  void SetFormCaption(const std::string& caption) override;
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

  QObject* Component(const std::string& name) const;

 private:
  QWidget* window_;
  std::vector<QObject*> components_;
};

// Applies the language file to a window (all its components); `messages`, for the main window,
// adds the numbered messages as the list "MessagesBox.Items".
void TranslateWindow(QWidget* window, const std::filesystem::path& file,
                     Messages* messages = nullptr);
// Writes a window's texts into the language file.
void WriteWindowTexts(QWidget* window, const std::filesystem::path& file,
                      Messages* messages = nullptr);

// Texts between the core (windows-1250, CR LF line breaks) and Qt ("\n").
QString TextToQt(const std::string& text);
std::string TextFromQt(const QString& text);

}  // namespace orvenda
