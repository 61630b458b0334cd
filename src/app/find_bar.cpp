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

FindBar::FindBar(MainForm& form)
    : FindBar(FindScope{
          .tree = [&form]() -> TreeControl& { return form.TreeNT1; },
          .table = [&form] { return &form.DataTable; },
          .changes = [&form] { return form.DataTableSums.Changes(); },
          .waits = [&form] { return form.EditState; },
          .read = {},
      }) {}

FindBar::FindBar(FindScope scope) : scope_(std::move(scope)) {
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
  if (!FindEdit.text.empty()) {
    Search(0);
  } else if (PrepareLater) {
    PrepareLater();
  }
}

void FindBar::CloseClick() {
  FindPanel.visible = false;
  matches_.clear();
  current_ = -1;
  counted_ = true;
  hit_.reset();
  // The texts go with the bar; the next opening takes them again.
  texts_.Clear();
  texts_table_ = nullptr;
  order_.clear();
  order_.shrink_to_fit();
  orderSlots_.clear();
  orderSlots_.shrink_to_fit();
  order_built_ = false;
  bits_.clear();
  bits_texts_ = 0;
}

void FindBar::FindEditChange() { Search(0); }
void FindBar::FindNextClick() { Search(1); }
void FindBar::FindPrevClick() { Search(-1); }

std::optional<FindHit> FindBar::TakeHit() {
  std::optional<FindHit> hit = hit_;
  hit_.reset();
  return hit;
}

size_t FindBar::IndexBytes() const {
  return texts_.IndexBytes() + order_.capacity() * sizeof(TreeControl::Item) +
         orderSlots_.capacity() * sizeof(uint32_t) + bits_.capacity() * sizeof(uint64_t);
}

void FindBar::RefreshTexts(Table& table) {
  const uint64_t changes = scope_.changes();
  if (texts_serial_ != 0 && texts_table_ == &table && texts_at_ == changes) return;
  texts_.Build(table, scope_.read);
  texts_table_ = &table;
  texts_at_ = changes;
  ++texts_serial_;
}

void FindBar::RefreshOrder(TreeControl& tree) {
  if (!order_built_ || order_tree_ != &tree || order_revision_ != tree.Revision()) {
    order_.clear();
    PreOrder(tree, nullptr, order_);
    order_tree_ = &tree;
    order_revision_ = tree.Revision();
    order_built_ = true;
    order_texts_ = 0;
    last_place_ = 0;
  }
  if (order_texts_ != texts_serial_) {
    orderSlots_.resize(order_.size());
    for (size_t i = 0; i < order_.size(); ++i) orderSlots_[i] = texts_.SlotOf(tree.Data(order_[i]));
    order_texts_ = texts_serial_;
  }
}

void FindBar::Prepare() {
  Table* table = scope_.table();
  if (!FindPanel.visible || scope_.waits() || table == nullptr || !table->IsOpen()) return;
  RefreshTexts(*table);
  RefreshOrder(scope_.tree());
}

bool FindBar::Refresh(const TextMatcher& matcher) {
  Table* table = scope_.table();
  if (matcher.Empty() || table == nullptr || !table->IsOpen()) return false;
  RefreshTexts(*table);
  RefreshOrder(scope_.tree());
  if (bits_texts_ != texts_serial_ || bits_query_ != matcher.Folded() ||
      bits_options_ != matcher.Options()) {
    // Typing on narrows the query: when few records held the part typed before, only they
    // are searched again (not with whole words: a query that was no whole word may become
    // one as it grows).
    const bool narrower = bits_texts_ == texts_serial_ && !bits_query_.empty() &&
                          !bits_options_.wholeWords && !matcher.Options().wholeWords &&
                          bits_options_.diacritics == matcher.Options().diacritics &&
                          matcher.Folded().find(bits_query_) != std::string::npos;
    if (narrower && bits_count_ <= texts_.Size() / 8) {
      bits_count_ = texts_.MatchWithin(matcher, bits_);
    } else {
      bits_count_ = texts_.MatchAll(matcher, bits_);
    }
    bits_texts_ = texts_serial_;
    bits_query_ = matcher.Folded();
    bits_options_ = matcher.Options();
  }
  return true;
}

size_t FindBar::PlaceOf(TreeControl::Item item) {
  const size_t n = order_.size();
  if (item == nullptr) return n;
  if (last_place_ < n && order_[last_place_] == item) return last_place_;
  const size_t at = std::find(order_.begin(), order_.end(), item) - order_.begin();
  if (at < n) last_place_ = at;
  return at;
}

void FindBar::Search(int direction) {
  matches_.clear();
  current_ = -1;
  counted_ = true;
  hit_.reset();
  FindCountLabel.text.clear();
  const TextMatcher matcher = Matcher();
  if (matcher.Empty() || scope_.waits() || !Refresh(matcher)) return;
  if (bits_count_ == 0) {
    // No record holds it: no walk over the tree needed.
    FindCountLabel.text = FindTexts::NotFound();
    return;
  }
  TreeControl& tree = scope_.tree();
  const size_t n = order_.size();
  const size_t at = PlaceOf(tree.Selected());  // n for none
  // From the selection on (0 includes it, 1 not) or back from it, around the end; the first
  // match found is shown at once, the count may come later.
  size_t found = n;
  if (n != 0) {
    if (direction >= 0) {
      const size_t first = at == n ? 0 : direction == 0 ? at : at + 1;
      for (size_t k = 0; k < n && found == n; ++k) {
        if (Holds((first + k) % n)) found = (first + k) % n;
      }
    } else {
      const size_t last = at == n ? n - 1 : at + n - 1;
      for (size_t k = 0; k < n && found == n; ++k) {
        if (Holds((last - k) % n)) found = (last - k) % n;
      }
    }
  }
  if (found == n) {
    // The records holding it are not in the tree (a filter hides them).
    FindCountLabel.text = FindTexts::NotFound();
    return;
  }
  TreeControl::Item item = order_[found];
  last_place_ = found;
  if (const auto place = texts_.FirstMatch(tree.Data(item), matcher)) {
    // A line break "\r\n" shows as one character.
    const auto breaks = [&](size_t from, size_t to) {
      size_t count = 0;
      for (size_t i = from; i + 1 < to; ++i)
        count += place->text[i] == '\r' && place->text[i + 1] == '\n';
      return count;
    };
    const size_t end = place->offset + matcher.Length();
    hit_ = FindHit{place->field, place->offset - breaks(0, place->offset + 1),
                   matcher.Length() - breaks(place->offset, end)};
  }
  if (tree.Selected() != item) tree.Select(item);
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
  // The tree may have changed since the search: its order is taken again then.
  if (!Refresh(matcher)) return;
  TreeControl::Item selected = scope_.tree().Selected();
  for (size_t i = 0; i < order_.size(); ++i) {
    if (!Holds(i)) continue;
    if (order_[i] == selected) current_ = static_cast<int>(matches_.size());
    matches_.push_back(order_[i]);
  }
  if (matches_.empty()) {
    FindCountLabel.text = FindTexts::NotFound();
  } else {
    FindCountLabel.text = FindTexts::Count(current_ + 1, static_cast<int>(matches_.size()));
  }
}

}  // namespace orvenda
