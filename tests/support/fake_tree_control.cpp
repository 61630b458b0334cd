#include "support/fake_tree_control.h"

#include <algorithm>
#include <stdexcept>

namespace orvenda::test {
namespace {

// Primary weights: punctuation, then digits, then letters in Czech order.
constexpr const char kLetterOrder[] =
    "abc\xE8"
    "defgh*ijklmnopqr\xF8s\x9Atuvwxyz\x9E";

unsigned char Lower(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A' + 'a');
  switch (c) {
    case 0x8A:
      return 0x9A;  // Š
    case 0x8D:
      return 0x9D;  // Ť
    case 0x8E:
      return 0x9E;  // Ž
    default:
      if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
      return c;
  }
}

// Accented lower-case letters that sort with their base letter; 0 for the others.
unsigned char FoldAccent(unsigned char c) {
  struct Fold {
    unsigned char from;
    char to;
  };
  static constexpr Fold kFolds[] = {{0xE1, 'a'}, {0xE4, 'a'}, {0xEF, 'd'}, {0xE9, 'e'}, {0xEC, 'e'},
                                    {0xEB, 'e'}, {0xED, 'i'}, {0xE5, 'l'}, {0xBE, 'l'}, {0xF2, 'n'},
                                    {0xF3, 'o'}, {0xF6, 'o'}, {0xF4, 'o'}, {0xE0, 'r'}, {0x9D, 't'},
                                    {0xFA, 'u'}, {0xF9, 'u'}, {0xFC, 'u'}, {0xFD, 'y'}};
  for (const Fold& fold : kFolds) {
    if (fold.from == c) return static_cast<unsigned char>(fold.to);
  }
  return 0;
}

struct Weights {
  std::vector<int> primary;
  std::vector<int> accents;
  std::vector<int> cases;
};

Weights Weigh(const std::string& text) {
  Weights w;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto raw = static_cast<unsigned char>(text[i]);
    const unsigned char lower = Lower(raw);
    const bool upper = lower != raw;
    const unsigned char base = FoldAccent(lower);
    const int accent = base != 0 ? lower : 0;
    const unsigned char c = base != 0 ? base : lower;
    int weight;
    if (c == 'c' && i + 1 < text.size() && (text[i + 1] == 'h' || text[i + 1] == 'H')) {
      weight = 2000 + static_cast<int>(std::string_view(kLetterOrder).find('*')) * 10;
      ++i;
    } else if (c >= '0' && c <= '9') {
      weight = 1000 + (c - '0');
    } else if (const auto at = std::string_view(kLetterOrder).find(static_cast<char>(c));
               at != std::string_view::npos && c != '*') {
      weight = 2000 + static_cast<int>(at) * 10;
    } else if (c < 0x80) {
      weight = 100 + c;
    } else {
      weight = 5000 + c;
    }
    w.primary.push_back(weight);
    w.accents.push_back(accent);
    w.cases.push_back(upper ? 1 : 0);
  }
  return w;
}

}  // namespace

bool FakeTreeControl::CzechLess(const std::string& a, const std::string& b) {
  const Weights wa = Weigh(a);
  const Weights wb = Weigh(b);
  if (wa.primary != wb.primary) return wa.primary < wb.primary;
  if (wa.accents != wb.accents) return wa.accents < wb.accents;
  if (wa.cases != wb.cases) return wa.cases < wb.cases;
  return a < b;
}

FakeTreeControl::FakeTreeControl() = default;
FakeTreeControl::~FakeTreeControl() = default;

FakeTreeControl::Node* FakeTreeControl::N(Item item) const {
  auto* node = static_cast<Node*>(item);
  if (node == nullptr || node->magic != Node::kAlive) {
    throw std::logic_error("not an item of this tree");
  }
  return node;
}

std::vector<FakeTreeControl::Node*>& FakeTreeControl::Siblings(Node* node) {
  return node->parent != nullptr ? node->parent->children : top_;
}

void FakeTreeControl::Detach(Node* node) {
  auto& siblings = Siblings(node);
  siblings.erase(std::find(siblings.begin(), siblings.end(), node));
  node->parent = nullptr;
}

void FakeTreeControl::SetSelected(Node* node) {
  if (node == selected_) return;
  selected_ = node;
  ++changeEvents;
  if (OnChange) OnChange();
}

void FakeTreeControl::SetExpanded(Node* node, bool expanded) {
  if (node->children.empty() || node->expanded == expanded) return;
  node->expanded = expanded;
  if (expanded && OnExpanded) OnExpanded(node);
  if (!expanded && OnCollapsed) OnCollapsed(node);
}

void FakeTreeControl::Clear() {
  Restructured();
  top_.clear();
  pool_.clear();
  alive_ = 0;
  byData_.clear();
  points_.clear();
  if (selected_ != nullptr) {
    selected_ = nullptr;
    ++changeEvents;
    if (OnChange) OnChange();
  }
}

TreeControl::Item FakeTreeControl::Add(Item parent, const std::string& caption, int image,
                                       int32_t data) {
  Restructured();
  Node* up = parent != nullptr ? N(parent) : nullptr;
  Node* node = &pool_.emplace_back();
  ++alive_;
  node->caption = caption;
  node->image = image;
  node->data = data;
  node->parent = up;
  (up != nullptr ? up->children : top_).push_back(node);
  auto [head, added] = byData_.try_emplace(data, node);
  if (!added) {
    node->sameNext = head->second->sameNext;
    node->samePrev = head->second;
    if (node->sameNext != nullptr) node->sameNext->samePrev = node;
    head->second->sameNext = node;
  }
  return node;
}

void FakeTreeControl::Move(Item item, Item parent) {
  Restructured();
  Node* node = N(item);
  Node* up = parent != nullptr ? N(parent) : nullptr;
  for (Node* at = up; at != nullptr; at = at->parent) {
    if (at == node) throw std::logic_error("item moved into its own subtree");
  }
  Detach(node);
  node->parent = up;
  (up != nullptr ? up->children : top_).push_back(node);
}

void FakeTreeControl::Delete(Item item) {
  Restructured();
  Node* node = N(item);

  bool selectionInside = false;
  for (Node* at = selected_; at != nullptr; at = at->parent) {
    if (at == node) selectionInside = true;
  }
  Node* successor = nullptr;
  if (selectionInside) {
    const auto& siblings = Siblings(node);
    const auto at = std::find(siblings.begin(), siblings.end(), node);
    if (at + 1 != siblings.end()) {
      successor = *(at + 1);
    } else if (at != siblings.begin()) {
      successor = *(at - 1);
    } else {
      successor = node->parent;
    }
  }

  Detach(node);
  std::vector<Node*> doomed{node};
  for (std::size_t i = 0; i < doomed.size(); ++i) {
    for (Node* child : doomed[i]->children) doomed.push_back(child);
  }
  for (Node* gone : doomed) {
    if (gone->samePrev != nullptr) {
      gone->samePrev->sameNext = gone->sameNext;
    } else if (gone->sameNext != nullptr) {
      byData_[gone->data] = gone->sameNext;
    } else {
      byData_.erase(gone->data);
    }
    if (gone->sameNext != nullptr) gone->sameNext->samePrev = gone->samePrev;
    for (auto it = points_.begin(); it != points_.end();) {
      it = it->second == gone ? points_.erase(it) : std::next(it);
    }
  }
  for (Node* gone : doomed) {
    gone->magic = 0;
    gone->children.clear();
    gone->children.shrink_to_fit();
  }
  alive_ -= doomed.size();
  if (selectionInside) {
    // The old selection is gone, so this is a change even when nothing is selected now.
    selected_ = successor;
    ++changeEvents;
    if (OnChange) OnChange();
  }
}

bool FakeTreeControl::TreeOrderLess(const Node* a, const Node* b) const {
  // Compare the paths of sibling positions from the top.
  const auto path = [this](const Node* node) {
    std::vector<std::size_t> positions;
    for (const Node* at = node; at != nullptr; at = at->parent) {
      const auto& siblings = at->parent != nullptr ? at->parent->children : top_;
      positions.push_back(static_cast<std::size_t>(std::find(siblings.begin(), siblings.end(), at) -
                                                   siblings.begin()));
    }
    std::reverse(positions.begin(), positions.end());
    return positions;
  };
  return path(a) < path(b);
}

TreeControl::Item FakeTreeControl::FindByData(int32_t data) const {
  const auto found = byData_.find(data);
  if (found == byData_.end()) return nullptr;
  Node* first = found->second;
  for (Node* other = first->sameNext; other != nullptr; other = other->sameNext) {
    if (TreeOrderLess(other, first)) first = other;
  }
  return first;
}

std::vector<TreeControl::Item> FakeTreeControl::ItemsWithData(int32_t data) const {
  std::vector<Item> items;
  if (const auto found = byData_.find(data); found != byData_.end()) {
    for (Node* at = found->second; at != nullptr; at = at->sameNext) items.push_back(at);
  }
  return items;
}

TreeControl::Item FakeTreeControl::Parent(Item item) const { return N(item)->parent; }

std::vector<TreeControl::Item> FakeTreeControl::Children(Item parent) const {
  const auto& children = parent != nullptr ? N(parent)->children : top_;
  return std::vector<Item>(children.begin(), children.end());
}

std::string FakeTreeControl::Caption(Item item) const { return N(item)->caption; }
void FakeTreeControl::SetCaption(Item item, const std::string& caption) {
  N(item)->caption = caption;
}
int FakeTreeControl::Image(Item item) const { return N(item)->image; }
void FakeTreeControl::SetImage(Item item, int image) { N(item)->image = image; }
int32_t FakeTreeControl::Data(Item item) const { return N(item)->data; }

void FakeTreeControl::Select(Item item) {
  Node* node = item != nullptr ? N(item) : nullptr;
  if (node == selected_) return;
  if (node != nullptr) {
    std::vector<Node*> ancestors;
    for (Node* at = node->parent; at != nullptr; at = at->parent) ancestors.push_back(at);
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) SetExpanded(*it, true);
  }
  SetSelected(node);
}

TreeControl::Item FakeTreeControl::ItemAt(int x, int y) const {
  const auto found = points_.find({x, y});
  return found == points_.end() ? nullptr : found->second;
}

void FakeTreeControl::Expand(Item item, bool recurse) {
  std::vector<Node*> pending{N(item)};
  while (!pending.empty()) {
    Node* node = pending.back();
    pending.pop_back();
    SetExpanded(node, true);
    if (recurse) pending.insert(pending.end(), node->children.rbegin(), node->children.rend());
  }
}

void FakeTreeControl::Collapse(Item item, bool recurse) {
  std::vector<Node*> pending{N(item)};
  while (!pending.empty()) {
    Node* node = pending.back();
    pending.pop_back();
    SetExpanded(node, false);
    if (recurse) pending.insert(pending.end(), node->children.rbegin(), node->children.rend());
  }
}

bool FakeTreeControl::IsExpanded(Item item) const { return N(item)->expanded; }

void FakeTreeControl::SortChildren(Item parent, bool recurse) {
  Restructured();
  std::vector<std::vector<Node*>*> pending{parent != nullptr ? &N(parent)->children : &top_};
  while (!pending.empty()) {
    std::vector<Node*>* children = pending.back();
    pending.pop_back();
    std::stable_sort(children->begin(), children->end(), [](const Node* a, const Node* b) {
      return CzechLess(a->caption, b->caption);
    });
    if (recurse) {
      for (Node* child : *children) pending.push_back(&child->children);
    }
  }
}

bool FakeTreeControl::Checked(Item item) const { return N(item)->checked; }
void FakeTreeControl::SetChecked(Item item, bool checked) { N(item)->checked = checked; }

void FakeTreeControl::BeginUpdate() {
  ++updateDepth;
  ++beginUpdates;
}

void FakeTreeControl::EndUpdate() {
  if (updateDepth == 0) throw std::logic_error("EndUpdate without BeginUpdate");
  --updateDepth;
}

std::vector<std::string> FakeTreeControl::ChildCaptions(Item parent) const {
  std::vector<std::string> captions;
  for (Item child : Children(parent)) captions.push_back(Caption(child));
  return captions;
}

std::vector<int32_t> FakeTreeControl::ChildData(Item parent) const {
  std::vector<int32_t> data;
  for (Item child : Children(parent)) data.push_back(Data(child));
  return data;
}

std::string FakeTreeControl::Dump() const {
  std::string out;
  std::vector<std::pair<const Node*, int>> pending;
  for (auto it = top_.rbegin(); it != top_.rend(); ++it) pending.push_back({*it, 0});
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + node->caption + " [" +
           std::to_string(node->image) + "] #" + std::to_string(node->data) + "\n";
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
      pending.push_back({*it, depth + 1});
    }
  }
  return out;
}

}  // namespace orvenda::test
