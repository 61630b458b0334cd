#include "app/find_bar.h"

#include <algorithm>

#include "app/main_form.h"
#include "model/project_table.h"

namespace orvenda {
namespace {

// The Czech texts of the bar, UTF-8; the window's own captions are its widgets'.
constexpr const char* kTexts[] = {
    "z",           // between the place and the count: "3 z 17"
    "Nenalezeno",  // no record holds the query
};

void PreOrder(const TreeControl& tree, TreeControl::Item parent,
              std::vector<TreeControl::Item>& out) {
  // Explicit stack: a deep tree cannot exhaust the call stack.
  std::vector<TreeControl::Item> pending;
  const auto pushChildren = [&](TreeControl::Item item) {
    const std::vector<TreeControl::Item> children = tree.Children(item);
    pending.insert(pending.end(), children.rbegin(), children.rend());
  };
  pushChildren(parent);
  while (!pending.empty()) {
    TreeControl::Item item = pending.back();
    pending.pop_back();
    out.push_back(item);
    pushChildren(item);
  }
}

}  // namespace

std::string FindTexts::Count(int at, int of) {
  // The selection is none of the matches (moved away before the count came): no place.
  const std::string place = at > 0 ? std::to_string(at) : "-";
  return place + " " + W(kTexts[0]) + " " + std::to_string(of);
}

std::string FindTexts::NotFound() { return W(kTexts[1]); }

FindBar::FindBar(MainForm& form) : form_(form) {
  FindPanel.visible = false;
  FindEdit.maxLength = kTextSize;
  controls_ = {{"FindPanel", &FindPanel},
               {"FindEdit", &FindEdit},
               {"FindNextButton", &FindNextButton},
               {"FindPrevButton", &FindPrevButton},
               {"WholeWordsCheckBox", &WholeWordsCheckBox},
               {"DiacriticsCheckBox", &DiacriticsCheckBox}};
}

TextMatcher FindBar::Matcher() const {
  return TextMatcher(FindEdit.text, {.wholeWords = WholeWordsCheckBox.checked,
                                     .diacritics = DiacriticsCheckBox.checked});
}

void FindBar::FindActionClick() {
  FindPanel.visible = true;
  if (!FindEdit.text.empty()) Search(0);
}

void FindBar::CloseClick() {
  FindPanel.visible = false;
  matches_.clear();
  current_ = -1;
  counted_ = true;
  // The texts go with the bar; the next opening takes them again.
  texts_.Clear();
  texts_built_ = false;
}

void FindBar::FindEditChange() { Search(0); }
void FindBar::FindNextClick() { Search(1); }
void FindBar::FindPrevClick() { Search(-1); }

void FindBar::RefreshTexts() {
  if (texts_built_ && texts_at_ == form_.DataTableSums.Changes()) return;
  texts_.Build(form_.DataTable);
  texts_at_ = form_.DataTableSums.Changes();
  texts_built_ = true;
}

void FindBar::Search(int direction) {
  matches_.clear();
  current_ = -1;
  counted_ = true;
  FindCountLabel.text.clear();
  const TextMatcher matcher = Matcher();
  // While an edit is open the tree waits, and so does finding.
  if (matcher.Empty() || form_.EditState || !form_.DataTable.IsOpen()) return;
  RefreshTexts();
  TreeControl& tree = form_.TreeNT1;
  order_.clear();
  PreOrder(tree, nullptr, order_);
  const size_t n = order_.size();
  TreeControl::Item selected = tree.Selected();
  size_t at = n;  // the selection's place in tree order; n for none
  if (selected != nullptr) at = std::find(order_.begin(), order_.end(), selected) - order_.begin();
  // From the selection on (0 includes it, 1 not) or back from it, around the end; the first
  // match found is shown at once, the count may come later.
  TreeControl::Item found = nullptr;
  if (n != 0) {
    if (direction >= 0) {
      const size_t first = at == n ? 0 : direction == 0 ? at : at + 1;
      for (size_t k = 0; k < n && found == nullptr; ++k) {
        TreeControl::Item item = order_[(first + k) % n];
        if (texts_.Matches(tree.Data(item), matcher)) found = item;
      }
    } else {
      const size_t last = at == n ? n - 1 : at + n - 1;
      for (size_t k = 0; k < n && found == nullptr; ++k) {
        TreeControl::Item item = order_[(last - k) % n];
        if (texts_.Matches(tree.Data(item), matcher)) found = item;
      }
    }
  }
  if (found == nullptr) {
    FindCountLabel.text = FindTexts::NotFound();
    return;
  }
  if (tree.Selected() != found) tree.Select(found);
  counted_ = false;
  if (CountLater) {
    CountLater();
  } else {
    CountMatches();
  }
}

void FindBar::CountMatches() {
  if (counted_) return;
  counted_ = true;
  matches_.clear();
  current_ = -1;
  const TextMatcher matcher = Matcher();
  if (matcher.Empty() || !form_.DataTable.IsOpen()) return;
  RefreshTexts();
  // The tree may have changed since the search: walked again.
  TreeControl& tree = form_.TreeNT1;
  order_.clear();
  PreOrder(tree, nullptr, order_);
  TreeControl::Item selected = tree.Selected();
  for (TreeControl::Item item : order_) {
    if (!texts_.Matches(tree.Data(item), matcher)) continue;
    if (item == selected) current_ = static_cast<int>(matches_.size());
    matches_.push_back(item);
  }
  if (matches_.empty()) {
    FindCountLabel.text = FindTexts::NotFound();
  } else {
    FindCountLabel.text = FindTexts::Count(current_ + 1, static_cast<int>(matches_.size()));
  }
}

}  // namespace orvenda
