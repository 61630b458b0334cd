// Undo and redo of project edits: the rows each user action changed, and putting them back.
#include "app/undo_stack.h"

#include <cctype>
#include <functional>
#include <map>
#include <utility>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "model/project_table.h"

namespace orvenda {

namespace undo_text {
namespace {

// Every text the undo commands show, in one place.
enum Text {
  kUndo,
  kRedo,
  kStore,
  kAddNode,
  kAddRisk,
  kDelete,
  kMove,
  kCopy,
  kPaste,
  kCut,
  kFind,
  kEdits,
  kFromLibrary,
  kImportHtml,
  kChangedMeanwhile,
};

// Their numbered messages follow each other from the first.
constexpr int kFirstMessage = 119;

std::string Get(Text text) { return Msg(kFirstMessage + text); }

}  // namespace

std::string Undo() { return Get(kUndo); }
std::string Redo() { return Get(kRedo); }
std::string Store() { return Get(kStore); }
std::string AddNode() { return Get(kAddNode); }
std::string AddRisk() { return Get(kAddRisk); }
std::string Delete() { return Get(kDelete); }
std::string Move() { return Get(kMove); }
std::string Copy() { return Get(kCopy); }
std::string Paste() { return Get(kPaste); }
std::string Cut() { return Get(kCut); }
std::string Find() { return Get(kFind); }
std::string Edits() { return Get(kEdits); }
std::string FromLibrary() { return Get(kFromLibrary); }
std::string ImportHtml() { return Get(kImportHtml); }
std::string ChangedMeanwhile() { return Get(kChangedMeanwhile); }

std::string MenuText(const std::string& command, const std::string& step) {
  return step.empty() ? command : command + ": " + step;
}

}  // namespace undo_text

namespace {

// The integers tell rows apart well enough (the Index is one of them), and cost no walk
// over the texts.
std::size_t KeyOf(const RowImage& image) {
  std::size_t h = image.values.size();
  for (const RowImage::Value& v : image.values) {
    const std::size_t part =
        (static_cast<std::size_t>(static_cast<uint32_t>(v.number)) << 1) ^ v.null;
    h ^= part + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  }
  return h;
}

std::size_t BytesOf(const RowImage& image) {
  std::size_t bytes = sizeof(RowImage) + image.values.capacity() * sizeof(RowImage::Value);
  for (const RowImage::Value& v : image.values) {
    if (v.text.capacity() > 15) bytes += v.text.capacity() + 1;  // beyond the short string
  }
  return bytes;
}

}  // namespace

std::size_t RowChanges::Bytes() const {
  std::size_t bytes = sizeof(RowChanges);
  for (const RowImage& r : before) bytes += BytesOf(r);
  for (const RowImage& r : after) bytes += BytesOf(r);
  return bytes;
}

// --- Recorder
// -------------------------------------------------------------------------------------

RowRecorder::RowRecorder(Table& table, RowObserver& next) : table_(table), next_(next) {
  table_.SetRowObserver(this);
}

RowRecorder::~RowRecorder() { table_.SetRowObserver(&next_); }

void RowRecorder::Start() {
  recording_ = true;
  added_.clear();
  indexed_ = 0;
  sameKey_.clear();
  lastOfKey_.clear();
  removed_.clear();
}

uint32_t RowRecorder::FindAdded(const RowImage& image) {
  for (; indexed_ < added_.size(); ++indexed_) {
    const auto [it, isNew] = lastOfKey_.try_emplace(KeyOf(added_[indexed_]), kNone);
    sameKey_.push_back(it->second);
    it->second = static_cast<uint32_t>(indexed_);
  }
  const auto it = lastOfKey_.find(KeyOf(image));
  if (it == lastOfKey_.end()) return kNone;
  for (uint32_t at = it->second; at != kNone; at = sameKey_[at]) {
    if (added_[at] == image) return at;
  }
  return kNone;
}

RowChanges RowRecorder::Stop() {
  recording_ = false;
  RowChanges changes;
  // A row taken away and put back unchanged (a store without changes) is no change.
  for (RowImage& row : removed_) {
    const uint32_t at = FindAdded(row);
    if (at != kNone) {
      added_[at].values.clear();
    } else {
      changes.before.push_back(std::move(row));
    }
  }
  changes.after.reserve(added_.size());
  for (RowImage& row : added_) {
    if (!row.values.empty()) changes.after.push_back(std::move(row));
  }
  added_.clear();
  indexed_ = 0;
  sameKey_.clear();
  lastOfKey_.clear();
  removed_.clear();
  return changes;
}

bool RowRecorder::TakeUnrecorded() { return std::exchange(unrecorded_, false); }

void RowRecorder::Reset(const Table& table) {
  reloading_ = true;
  next_.Reset(table);
}

void RowRecorder::Loaded() {
  reloading_ = false;
  next_.Loaded();
}

void RowRecorder::Added(const RowValues& row) {
  next_.Added(row);
  if (reloading_ || applying_) return;
  if (!recording_) {
    unrecorded_ = true;
    return;
  }
  added_.push_back(row.Image());
}

void RowRecorder::Removed(const RowValues& row) {
  next_.Removed(row);
  if (reloading_ || applying_) return;
  if (!recording_) {
    unrecorded_ = true;
    return;
  }
  RowImage image = row.Image();
  // A row this action added and now takes away again was never there before it.
  const uint32_t at = FindAdded(image);
  if (at != kNone) {
    added_[at].values.clear();
    return;
  }
  removed_.push_back(std::move(image));
}

// --- Applying
// --------------------------------------------------------------------------------------

namespace {

// Moves the cursor to a record equal to `image`; false when there is none.
bool LocateImage(Table& table, int indexField, const RowImage& image) {
  const int32_t index = image.values[indexField].number;
  if (!table.Locate(fld::kIndex, index)) return false;
  for (; !table.Eof() && table.GetInt(indexField) == index; table.Next()) {
    if (table.CurrentImage() == image) return true;
  }
  return false;
}

}  // namespace

bool ApplyRowChanges(Table& table, const std::vector<RowImage>& take,
                     const std::vector<RowImage>& put) {
  ClearFilter(table);
  const int indexField = table.FieldNumber(fld::kIndex);
  const std::size_t fieldCount = table.Fields().size();
  // Records of one Index must stand together for the search below.
  std::string order = table.IndexName();
  for (char& c : order) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (order != "index") throw Error(undo_text::ChangedMeanwhile());

  std::map<int32_t, std::vector<const RowImage*>> takeBy, putBy;
  for (const RowImage& row : take) {
    if (row.values.size() != fieldCount) throw Error(undo_text::ChangedMeanwhile());
    takeBy[row.values[indexField].number].push_back(&row);
  }
  for (const RowImage& row : put) {
    if (row.values.size() != fieldCount) throw Error(undo_text::ChangedMeanwhile());
    putBy[row.values[indexField].number].push_back(&row);
  }

  // Nothing changes unless every row to take is there.
  for (const auto& [index, rows] : takeBy) {
    std::vector<RowImage> present;
    if (table.Locate(fld::kIndex, index)) {
      for (; !table.Eof() && table.GetInt(indexField) == index; table.Next())
        present.push_back(table.CurrentImage());
    }
    for (const RowImage* row : rows) {
      bool found = false;
      for (auto at = present.begin(); at != present.end(); ++at) {
        if (*at == *row) {
          present.erase(at);
          found = true;
          break;
        }
      }
      if (!found) throw Error(undo_text::ChangedMeanwhile());
    }
  }

  // A record that only changed is changed in place: no deleted record is left behind.
  for (auto it = takeBy.begin(); it != takeBy.end();) {
    const auto other = putBy.find(it->first);
    if (it->second.size() == 1 && other != putBy.end() && other->second.size() == 1) {
      if (!LocateImage(table, indexField, *it->second.front()))
        throw Error(undo_text::ChangedMeanwhile());
      table.SetImage(*other->second.front());
      table.Post();
      putBy.erase(other);
      it = takeBy.erase(it);
    } else {
      ++it;
    }
  }

  bool deleted = false;
  for (const auto& [index, rows] : takeBy) {
    for (const RowImage* row : rows) {
      if (!LocateImage(table, indexField, *row)) throw Error(undo_text::ChangedMeanwhile());
      table.Delete();
      deleted = true;
    }
  }

  {
    const BulkScope bulk(table);
    try {
      for (const auto& [index, rows] : putBy) {
        for (const RowImage* row : rows) {
          table.Insert();
          table.SetImage(*row);
          table.Post();
        }
      }
    } catch (...) {
      table.Cancel();
      throw;
    }
    table.EndBulk();
  }
  ClearFilter(table);
  return deleted;
}

// --- Stack
// -----------------------------------------------------------------------------------------

void UndoStack::Clear(bool saved) {
  steps_.clear();
  steps_.shrink_to_fit();
  position_ = 0;
  saved_.reset();
  if (saved) saved_ = 0;
}

void UndoStack::Push(UndoStep step) {
  steps_.resize(position_);
  // The saved state was among the dropped steps: no step leads back to it any more.
  if (saved_ && *saved_ > position_) saved_.reset();
  steps_.push_back(std::move(step));
  ++position_;
}

std::size_t UndoStack::Bytes() const {
  std::size_t bytes = sizeof(UndoStack) + steps_.capacity() * sizeof(UndoStep);
  for (const UndoStep& step : steps_) bytes += step.name.capacity() + step.rows.Bytes();
  return bytes;
}

}  // namespace orvenda
