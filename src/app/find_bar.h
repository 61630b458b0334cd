#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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

// What a find bar searches: a tree of records and the table they come from.
struct FindScope {
  std::function<TreeControl&()> tree;
  // The table of the tree's records; nullptr or a closed table: nothing to search.
  std::function<Table*()> table;
  // Counts the row changes of that table: texts taken at one count are right while it stays.
  std::function<uint64_t()> changes;
  // While it says so (an edit is open) the tree waits, and so does finding.
  std::function<bool()> waits;
  // The texts of a table that keeps some of them enciphered; empty: as the table holds them.
  RecordTexts::FieldReader read;
};

// Where the query stands in the record a search selected: the field, and the match's first
// character and length as the page shows the field (a line break "\r\n" is one character).
struct FindHit {
  RecordTexts::Field field = RecordTexts::kTextField;
  size_t start = 0;
  size_t length = 0;
};

// A find bar under a tree: a query typed into FindEdit selects the first item at or after
// the selection whose record holds it in any text field, and FindNext / FindPrev step through
// the matches in tree order, around the end. The texts of the records are lowered once and
// taken again only after the table changed; the items in tree order are kept until the tree
// changes, and the records holding the query until the query, its options or the texts do.
class FindBar {
 public:
  // The main window's tree and working table.
  explicit FindBar(MainForm& form);
  explicit FindBar(FindScope scope);
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

  // Takes the texts and the tree order now, so that the first key need not wait for them.
  void Prepare();
  // Asks for Prepare soon after the bar opens; unset, the first search prepares.
  std::function<void()> PrepareLater;

  // The matches counted last in tree order, and the selected one's place among them (-1:
  // the selection is none of them).
  const std::vector<TreeControl::Item>& Matches() const { return matches_; }
  int Current() const { return current_; }
  // The matcher of the bar's query and options.
  TextMatcher Matcher() const;
  // Where the query stands in the item the last search found, once: the page shows it.
  std::optional<FindHit> TakeHit();

  // What the kept texts and lists take (benchmarks).
  size_t TextBytes() const { return texts_.TextBytes(); }
  size_t IndexBytes() const;

 private:
  // 0: the first match at or after the selection; 1: after it; -1: before it.
  void Search(int direction);
  // Whether there is something to search, with the texts, the order and the matches of the
  // query up to date.
  bool Refresh(const TextMatcher& matcher);
  void RefreshTexts(Table& table);
  void RefreshOrder(TreeControl& tree);
  bool Holds(size_t position) const {
    const uint32_t slot = orderSlots_[position];
    return slot != RecordTexts::kNoSlot && ((bits_[slot / 64] >> (slot % 64)) & 1) != 0;
  }
  // The place of `item` in the tree order; the order's size for none.
  size_t PlaceOf(TreeControl::Item item);

  FindScope scope_;
  RecordTexts texts_;
  const Table* texts_table_ = nullptr;
  uint64_t texts_at_ = 0;
  uint64_t texts_serial_ = 0;  // counts the builds of texts_ (0: none)
  // The items in tree order and the slots of their records.
  std::vector<TreeControl::Item> order_;
  std::vector<uint32_t> orderSlots_;
  const TreeControl* order_tree_ = nullptr;
  uint64_t order_revision_ = 0;
  uint64_t order_texts_ = 0;  // the texts_serial_ orderSlots_ belongs to
  bool order_built_ = false;
  size_t last_place_ = 0;  // where the selection was last found in the order
  // The slots holding the query, for the query, options and texts they were found with.
  std::vector<uint64_t> bits_;
  size_t bits_count_ = 0;
  std::string bits_query_;
  MatchOptions bits_options_;
  uint64_t bits_texts_ = 0;
  std::vector<TreeControl::Item> matches_;
  int current_ = -1;
  bool counted_ = true;
  std::optional<FindHit> hit_;
  std::vector<std::pair<std::string_view, Control*>> controls_;
};

}  // namespace orvenda
