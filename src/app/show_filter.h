#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/control.h"
#include "base/messages.h"

namespace orvenda {

class MainForm;

// "Zobrazit" under the main window's tree: the whole tree, or only the risks of a category and
// above (or only the unrated ones) with the nodes on their paths, in their order. The items
// shown are the records themselves, so edits reach the working table as always; an item added
// or changed so that it no longer matches stays until the choice changes. Every rebuild of the
// tree (open, new) shows it by the choice again.
class ShowFilter {
 public:
  static constexpr int kAll = 0;      // 1..5: the risks from that category up
  static constexpr int kUnrated = 6;  // the risks with R = 0

  explicit ShowFilter(MainForm& form);
  ShowFilter(const ShowFilter&) = delete;
  ShowFilter& operator=(const ShowFilter&) = delete;

  // value: the choice; its entries are Choices().
  Control ShowComboBox;
  // "" while the whole tree shows, else what the status bar tells (windows-1250).
  std::string StatusText;

  const std::vector<std::pair<std::string_view, Control*>>& Controls() const { return controls_; }
  // The entries of ShowComboBox, windows-1250, by the category names of `messages`.
  static std::vector<std::string> Choices(const Messages& messages);

  // The user chose: the tree is built again by the choice; the selection stays when shown.
  void ShowComboBoxChange();
  // Removes the items that do not match the choice from the tree as it was just built.
  void Apply();

 private:
  bool Matches(int band) const;

  MainForm& form_;
  int applied_ = kAll;
  std::vector<std::pair<std::string_view, Control*>> controls_;
};

}  // namespace orvenda
