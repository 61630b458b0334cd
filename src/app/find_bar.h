#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/control.h"
#include "model/text_match.h"
#include "model/tree_control.h"

namespace orvenda {

class MainForm;

// The texts of finding, windows-1250.
struct FindTexts {
  static std::string Count(int at, int of);  // "3 z 17"
  static std::string NotFound();             // "Nenalezeno"
};

// The find bar under the main window's tree: a query typed into FindEdit selects the first
// item at or after the selection whose record holds it in any text field, and FindNext /
// FindPrev step through the matches in tree order, around the end. The texts of the records
// are lowered once and taken again only after the working table changed.
class FindBar {
 public:
  explicit FindBar(MainForm& form);
  FindBar(const FindBar&) = delete;
  FindBar& operator=(const FindBar&) = delete;

  Control FindPanel;  // shown while the bar is open
  Control FindEdit;
  Control FindNextButton, FindPrevButton;
  Control WholeWordsCheckBox, DiacriticsCheckBox;
  // "3 z 17", "Nenalezeno" or nothing: the program's text, not a caption of the window, so
  // not among Controls().
  Control FindCountLabel;

  const std::vector<std::pair<std::string_view, Control*>>& Controls() const { return controls_; }

  // Ctrl+F: opens the bar; a query already there is searched again from the selection.
  void FindActionClick();
  // Esc: closes the bar.
  void CloseClick();
  // Typing: from the selected item on.
  void FindEditChange();
  void FindNextClick();
  void FindPrevClick();
  void OptionChange() { FindEditChange(); }

  // Counts the matches of the query (FindCountLabel, Matches, Current) after a search found
  // one, unless counted since; a search counts at once unless CountLater is set.
  void CountMatches();
  // Asks for CountMatches soon, so that the first match shows before the count is done.
  std::function<void()> CountLater;

  // The matches counted last in tree order, and the selected one's place among them (-1:
  // the selection is none of them).
  const std::vector<TreeControl::Item>& Matches() const { return matches_; }
  int Current() const { return current_; }
  // The matcher of the bar's query and options.
  TextMatcher Matcher() const;

 private:
  // 0: the first match at or after the selection; 1: after it; -1: before it.
  void Search(int direction);
  void RefreshTexts();

  MainForm& form_;
  RecordTexts texts_;
  uint64_t texts_at_ = 0;
  bool texts_built_ = false;
  std::vector<TreeControl::Item> order_;  // scratch: the items in tree order
  std::vector<TreeControl::Item> matches_;
  int current_ = -1;
  bool counted_ = true;
  std::vector<std::pair<std::string_view, Control*>> controls_;
};

}  // namespace orvenda
