#include "model/tree_builder.h"

#include <algorithm>

#include "model/project_table.h"

namespace orvenda {

void tMyNodeIndexes::Reset() {
  entries_.assign(kStep, nullptr);
  outside_.clear();
}

void tMyNodeIndexes::Ensure(int32_t value) {
  if (value < 0 || value >= kDenseLimit) return;
  const std::size_t v = static_cast<std::size_t>(value);
  const std::size_t length = entries_.size();
  if (v < length) return;
  entries_.resize(length + ((v - length) / kStep) * kStep + kStep, nullptr);
}

TreeControl::Item tMyNodeIndexes::Get(int32_t index) const {
  if (index >= 0 && static_cast<std::size_t>(index) < entries_.size()) return entries_[index];
  const auto found = outside_.find(index);
  return found == outside_.end() ? nullptr : found->second;
}

void tMyNodeIndexes::Set(int32_t index, TreeControl::Item item) {
  if (index >= 0 && static_cast<std::size_t>(index) < entries_.size()) {
    entries_[index] = item;
  } else {
    outside_[index] = item;
  }
}

namespace {

// True when `item` is `ancestor` or lies below it.
class UpdateScope {
 public:
  explicit UpdateScope(TreeControl& tree) : tree_(tree) { tree_.BeginUpdate(); }
  ~UpdateScope() {
    tree_.EndUpdate();
    tree_.Repaint();
  }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

 private:
  TreeControl& tree_;
};

class ProgressScope {
 public:
  ProgressScope(Progress& progress, const std::string& text, int maximum) : progress_(progress) {
    progress_.ShowProgress(text, maximum);
  }
  ~ProgressScope() { progress_.HideProgress(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  Progress& progress_;
};

}  // namespace

void BuildTree(TreeControl& tree, Table& table, tMyNodeIndexes& lookup, Progress& progress,
               const Messages& messages) {
  lookup.Reset();
  UpdateScope update(tree);
  tree.Clear();

  ClearFilter(table);
  const int count = table.RecordCount();
  ProgressScope shown(progress, messages.Get(0), count);
  // The bar moves in about 200 steps: repainting for every one of 100 000 records would cost
  // more than the building itself.
  const int stride = std::max(1, count / 200);
  int position = 0;

  // Fields by number: looking each name up for every record of a big table costs more than
  // the rest of the step.
  const int indexField = table.FieldNumber(fld::kIndex);
  const int upLinkField = table.FieldNumber(fld::kUpLink);
  const int typeField = table.FieldNumber(fld::kType);
  const int textField = table.FieldNumber(fld::kText);
  std::string text;
  for (table.First(); !table.Eof(); table.Next()) {
    const int32_t index = table.GetInt(indexField);
    const int32_t upLink = table.GetInt(upLinkField);
    lookup.Ensure(upLink);
    lookup.Ensure(index);

    TreeControl::Item parent = lookup.Get(upLink);
    if (parent == nullptr && upLink != 0) {
      parent = tree.Add(nullptr, kPlaceholderCaption, TreeControl::kCollapsedNode, upLink);
      lookup.Set(upLink, parent);
    }

    text.assign(table.TextView(textField));
    if (table.GetInt(typeField) != kNodeType) {
      tree.Add(parent, text, TreeControl::kRisk, index);
    } else if (TreeControl::Item waiting = lookup.Get(index)) {
      tree.SetCaption(waiting, text);
      // A damaged table can make a node its own ancestor; the placeholder then stays where it
      // is instead of being moved into its own subtree.
      if (parent == nullptr || !IsWithin(tree, parent, waiting)) tree.Move(waiting, parent);
    } else {
      lookup.Set(index, tree.Add(parent, text, TreeControl::kCollapsedNode, index));
    }

    ++position;
    if (position % stride == 0 || position == count) progress.SetProgress(position);
  }
}

}  // namespace orvenda
