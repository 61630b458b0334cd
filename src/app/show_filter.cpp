#include "app/show_filter.h"

#include "app/main_form.h"
#include "base/messages.h"
#include "model/project_table.h"
#include "model/risk.h"

namespace orvenda {
namespace {

// Numbered messages: "vše", "od kategorie", "nehodnocená rizika" and the status bar's
// "Zobrazeno:".
constexpr int kAllText = 134, kFromText = 135, kUnratedText = 136, kShownText = 137;

}  // namespace

ShowFilter::ShowFilter(MainForm& form) : form_(form) {
  controls_ = {{"ShowComboBox", &ShowComboBox}};
}

std::vector<std::string> ShowFilter::Choices(const Messages& messages) {
  std::vector<std::string> choices{messages.Get(kAllText)};
  for (int band = 1; band <= 5; ++band) {
    choices.push_back(messages.Get(kFromText) + " " + messages.Get(band));
  }
  choices.push_back(messages.Get(kUnratedText));
  return choices;
}

bool ShowFilter::Matches(int band) const {
  if (applied_ == kUnrated) return band == 0;
  return band >= applied_;
}

void ShowFilter::ShowComboBoxChange() {
  // While an edit is open the tree waits.
  if (form_.EditState || ShowComboBox.value < kAll || ShowComboBox.value > kUnrated) {
    ShowComboBox.value = applied_;
    return;
  }
  if (ShowComboBox.value == applied_) return;
  TreeControl& tree = form_.TreeNT1;
  const TreeControl::Item selected = tree.Selected();
  const int32_t selectedData = selected != nullptr ? tree.Data(selected) : 0;
  form_.BuildTree();  // applies the new choice
  if (selected != nullptr) {
    if (TreeControl::Item again = tree.FindByData(selectedData)) tree.Select(again);
  }
  form_.ShowSelected();
}

void ShowFilter::Apply() {
  applied_ = ShowComboBox.value;
  const std::vector<std::string> choices = Choices(form_.MessagesBox);
  StatusText = applied_ == kAll ? std::string() : Msg(kShownText) + " " + choices[applied_];
  if (applied_ == kAll) return;

  TreeControl& tree = form_.TreeNT1;
  // Every item in tree order with its parent's place; children after their parents.
  struct Entry {
    TreeControl::Item item;
    size_t parent;  // npos at the top
    bool keep;
  };
  constexpr size_t kTop = static_cast<size_t>(-1);
  std::vector<Entry> entries;
  std::vector<std::pair<TreeControl::Item, size_t>> pending;
  const auto pushChildren = [&](TreeControl::Item parent, size_t at) {
    const std::vector<TreeControl::Item> children = tree.Children(parent);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, at);
  };
  pushChildren(nullptr, kTop);
  while (!pending.empty()) {
    const auto [item, parent] = pending.back();
    pending.pop_back();
    entries.push_back({item, parent, false});
    pushChildren(item, entries.size() - 1);
  }
  // A risk by its category, a node when anything below it stays.
  Table& table = form_.DataTable;
  for (size_t i = entries.size(); i-- > 0;) {
    Entry& e = entries[i];
    if (tree.Image(e.item) == TreeControl::kRisk) {
      int band = form_.DataTableSums.RiskBandOf(tree.Data(e.item));
      if (band < 0) {
        ClearFilter(table);
        band = table.Locate(fld::kIndex, tree.Data(e.item)) ? RatedBand(RiskLevel(table)) : 0;
      }
      e.keep = Matches(band);
    }
    if (e.keep && e.parent != kTop) entries[e.parent].keep = true;
  }
  // The highest items that go, each with what lies below it.
  const bool updating = form_.TreeUpdating;
  form_.TreeUpdating = true;
  {
    TreeUpdateScope scope(tree);
    for (const Entry& e : entries) {
      if (!e.keep && (e.parent == kTop || entries[e.parent].keep)) tree.Delete(e.item);
    }
  }
  form_.TreeUpdating = updating;
}

}  // namespace orvenda
