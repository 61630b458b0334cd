#include "model/branch_copy.h"

#include <stdexcept>
#include <unordered_set>
#include <vector>

#include "model/project_table.h"

namespace orvenda {
namespace {

struct SourceRecord {
  int32_t index = 0;
  int32_t type = 0;
  std::string text, comment, source, ident, opatreni;
  int32_t pravdep = 0, nasledky = 0, hodnocen = 0;
};

SourceRecord ReadRecord(const Table& table) {
  SourceRecord r;
  r.index = table.GetInt(fld::kIndex);
  r.type = table.GetInt(fld::kType);
  r.text = table.GetText(fld::kText);
  r.comment = table.GetText(fld::kComment);
  r.source = table.GetText(fld::kSource);
  r.ident = table.GetText(fld::kIdent);
  r.opatreni = table.GetText(fld::kOpatreni);
  r.pravdep = table.GetInt(fld::kPravdep);
  r.nasledky = table.GetInt(fld::kNasledky);
  r.hodnocen = table.GetInt(fld::kHodnocen);
  return r;
}

int32_t RatingOrOne(int32_t rating) { return rating == 0 ? 1 : rating; }

class BranchCopier {
 public:
  BranchCopier(Table& source, ConversionKind kind, TreeControl* tree, Table& dest,
               Progress& progress, const TextConversion& convert)
      : source_(source),
        kind_(kind),
        tree_(tree),
        dest_(dest),
        progress_(progress),
        convert_(convert),
        sameTable_(&source == &dest),
        firstNew_(MaxIndex(dest) + 1) {
    if (kind_ != ConversionKind::None && !convert_) {
      throw std::invalid_argument("CopyBranch: no text conversion for a converting copy");
    }
  }

  // Copies the current record of the source; returns its new Index and sets `item`.
  int32_t CopyTop(TreeControl::Item parentItem, int32_t destParent, TreeControl::Item* item) {
    const SourceRecord record = ReadRecord(source_);
    visited_.insert(record.index);
    return Write(record, destParent, record.type, true, parentItem, item);
  }

  // Copies everything below `sourceIndex` under `destIndex`. Depth first with an explicit
  // stack, so a very deep branch cannot exhaust the call stack; each source node is copied once
  // even when a damaged table makes it its own ancestor.
  void CopyBelow(int32_t sourceIndex, int32_t destIndex, TreeControl::Item destItem) {
    struct Frame {
      int32_t source;
      int32_t dest;
      TreeControl::Item item;
      std::vector<SourceRecord> nodes;
      std::size_t next = 0;
    };
    visited_.insert(sourceIndex);
    std::vector<Frame> stack;
    stack.push_back({sourceIndex, destIndex, destItem, Children(ChildNodesFilter(sourceIndex))});
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.next < frame.nodes.size()) {
        const SourceRecord& node = frame.nodes[frame.next++];
        if (!visited_.insert(node.index).second) continue;
        TreeControl::Item item = nullptr;
        const int32_t copied = Write(node, frame.dest, kNodeType, false, frame.item, &item);
        const int32_t nodeIndex = node.index;
        stack.push_back({nodeIndex, copied, item, Children(ChildNodesFilter(nodeIndex))});
        continue;
      }
      // Every child node with its subtree is done: now the risks of this node.
      for (const SourceRecord& risk : Children(ChildRisksFilter(frame.source))) {
        progress_.ProcessEvents();
        Write(risk, frame.dest, kRiskType, true, frame.item, nullptr);
      }
      stack.pop_back();
    }
    ClearFilter(source_);
  }

 private:
  // The records passing `filter` in the source's order. They are read before anything is
  // written, which keeps the walk right when source and destination are one table.
  std::vector<SourceRecord> Children(const std::string& filter) {
    std::vector<SourceRecord> records;
    source_.SetFilter(filter);
    source_.SetFiltered(true);
    for (source_.First(); !source_.Eof(); source_.Next()) {
      // Copying a branch into itself must not copy the copy.
      if (sameTable_ && source_.GetInt(fld::kIndex) >= firstNew_) continue;
      records.push_back(ReadRecord(source_));
    }
    ClearFilter(source_);
    return records;
  }

  std::string Convert(const std::string& text) const {
    return kind_ == ConversionKind::None ? text : convert_(kind_, text);
  }

  int32_t Write(const SourceRecord& record, int32_t upLink, int32_t type, bool convertTexts,
                TreeControl::Item parentItem, TreeControl::Item* item) {
    // Convert first: a text the cipher rejects must not leave an empty record behind.
    const std::string ident = convertTexts ? Convert(record.ident) : record.ident;
    const std::string opatreni = convertTexts ? Convert(record.opatreni) : record.opatreni;

    const int32_t index = MaxIndex(dest_) + 1;
    dest_.Append();
    dest_.Edit();
    dest_.SetInt(fld::kIndex, index);
    dest_.SetInt(fld::kUpLink, upLink);
    dest_.SetInt(fld::kType, type);
    dest_.SetText(fld::kText, record.text);
    dest_.SetText(fld::kComment, record.comment);
    dest_.SetText(fld::kSource, record.source);
    dest_.SetText(fld::kIdent, ident);
    dest_.SetText(fld::kOpatreni, opatreni);
    dest_.SetInt(fld::kPravdep, RatingOrOne(record.pravdep));
    dest_.SetInt(fld::kNasledky, RatingOrOne(record.nasledky));
    dest_.SetInt(fld::kHodnocen, RatingOrOne(record.hodnocen));
    dest_.Post();

    if (tree_ != nullptr) {
      TreeControl::Item added =
          tree_->Add(parentItem, dest_.GetText(fld::kText),
                     type == kNodeType ? TreeControl::kCollapsedNode : TreeControl::kRisk, index);
      if (item != nullptr) *item = added;
    }
    return index;
  }

  Table& source_;
  ConversionKind kind_;
  TreeControl* tree_;
  Table& dest_;
  Progress& progress_;
  const TextConversion& convert_;
  bool sameTable_;
  int32_t firstNew_;
  std::unordered_set<int32_t> visited_;
};

}  // namespace

int32_t CopyBranch(Table& source, int32_t sourceIndex, ConversionKind kind, TreeControl* tree,
                   int32_t destParent, Table& dest, Progress& progress,
                   const TextConversion& convert) {
  BusyCursor busy(progress);
  BranchCopier copier(source, kind, tree, dest, progress, convert);
  ClearFilter(source);
  source.First();
  if (!source.Locate(fld::kIndex, sourceIndex)) return 0;

  TreeControl::Item parentItem = nullptr;
  if (tree != nullptr && destParent != 0) parentItem = tree->FindByData(destParent);
  TreeControl::Item top = nullptr;
  const int32_t copied = copier.CopyTop(parentItem, destParent, &top);
  copier.CopyBelow(sourceIndex, copied, top);
  return copied;
}

void CopyChildren(Table& source, int32_t sourceIndex, ConversionKind kind, TreeControl* tree,
                  int32_t destIndex, Table& dest, Progress& progress,
                  const TextConversion& convert) {
  BranchCopier copier(source, kind, tree, dest, progress, convert);
  TreeControl::Item destItem = tree != nullptr ? tree->FindByData(destIndex) : nullptr;
  copier.CopyBelow(sourceIndex, destIndex, destItem);
}

}  // namespace orvenda
