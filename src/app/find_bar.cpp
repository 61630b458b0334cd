#include "app/find_bar.h"

#include "app/main_form.h"

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
  return std::to_string(at) + " " + W(kTexts[0]) + " " + std::to_string(of);
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
  FindCountLabel.text.clear();
  const TextMatcher matcher = Matcher();
  // While an edit is open the tree waits, and so does finding.
  if (matcher.Empty() || form_.EditState || !form_.DataTable.IsOpen()) return;
  RefreshTexts();
  TreeControl& tree = form_.TreeNT1;
  order_.clear();
  PreOrder(tree, nullptr, order_);
  TreeControl::Item selected = tree.Selected();
  // The selection's place in tree order, and where the match to go to lies.
  int selectedAt = -1;
  int target = -1;
  for (size_t i = 0; i < order_.size(); ++i) {
    TreeControl::Item item = order_[i];
    if (item == selected) selectedAt = static_cast<int>(i);
    if (!texts_.Matches(tree.Data(item), matcher)) continue;
    const int at = static_cast<int>(matches_.size());
    matches_.push_back(item);
    const bool afterSelection = selectedAt >= 0 && (direction == 0 || item != selected);
    if (direction >= 0 && target < 0 && afterSelection) target = at;
    if (direction < 0 && selectedAt < 0) target = at;  // the last one before the selection
  }
  if (matches_.empty()) {
    FindCountLabel.text = FindTexts::NotFound();
    return;
  }
  // Around the end: the first after the last, the last before the first.
  if (target < 0) target = direction < 0 ? static_cast<int>(matches_.size()) - 1 : 0;
  current_ = target;
  if (tree.Selected() != matches_[target]) tree.Select(matches_[target]);
  FindCountLabel.text = FindTexts::Count(current_ + 1, static_cast<int>(matches_.size()));
}

}  // namespace orvenda
