#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/table.h"

namespace orvenda {

// The names of the user actions in the Úpravy menu, windows-1250.
namespace undo_text {
std::string Undo();         // "Zpět"
std::string Redo();         // "Znovu"
std::string Store();        // "Uložit"
std::string AddNode();      // "Přidat uzel"
std::string AddRisk();      // "Přidat riziko"
std::string Delete();       // "Vymazat"
std::string Move();         // "Přesunout"
std::string Copy();         // "Kopírovat"
std::string Paste();        // "Vložit"
std::string Cut();          // "Vyjmout"
std::string Find();         // "Najít"
std::string Edits();        // "Úpravy"
std::string FromLibrary();  // "Přidat z knihovny"
std::string ImportHtml();   // "Import HTML"
// The error of a step whose rows are no longer as it left them.
std::string ChangedMeanwhile();
// "Zpět: Vymazat 'Pracoviště 1'"; without a step just the command's name.
std::string MenuText(const std::string& command, const std::string& step);
}  // namespace undo_text

// The rows one action changed: the rows it took away as they were, and the rows it left as
// they are. Rows it both added and took away are in neither.
struct RowChanges {
  std::vector<RowImage> before;
  std::vector<RowImage> after;
  bool Empty() const { return before.empty() && after.empty(); }
  std::size_t Bytes() const;
};

// Stands in front of a table's observer and tells it everything; while recording it also
// keeps a copy of every row that leaves or joins the live rows. Rows that come back after a
// reload (an open, a pack) are not changes.
class RowRecorder final : public RowObserver {
 public:
  RowRecorder(Table& table, RowObserver& next);
  ~RowRecorder() override;
  RowRecorder(const RowRecorder&) = delete;
  RowRecorder& operator=(const RowRecorder&) = delete;

  void Start();
  RowChanges Stop();
  // While on, changes are neither kept nor counted as unrecorded: the history's own writes.
  void SetApplying(bool on) { applying_ = on; }
  bool Recording() const { return recording_; }
  // True once a row changed while nobody recorded; cleared by the call.
  bool TakeUnrecorded();

  void Reset(const Table& table) override;
  void Added(const RowValues& row) override;
  void Removed(const RowValues& row) override;
  void Loaded() override;

 private:
  Table& table_;
  RowObserver& next_;
  bool recording_ = false;
  bool applying_ = false;
  bool reloading_ = false;
  bool unrecorded_ = false;
  // Rows this action added, in order; one taken away again is left empty. They are found by a
  // hash of their integers alone, told apart from rows of the same numbers by comparing them
  // whole; the index is taken only once a row is taken away, so a big import that only adds
  // rows never builds it.
  std::vector<RowImage> added_;
  std::size_t indexed_ = 0;        // added_ before this are in the index
  std::vector<uint32_t> sameKey_;  // the previous indexed row of the same key, or kNone
  std::unordered_map<std::size_t, uint32_t> lastOfKey_;
  std::vector<RowImage> removed_;
  // The added row equal to `image`, or kNone.
  uint32_t FindAdded(const RowImage& image);
  static constexpr uint32_t kNone = UINT32_MAX;
};

// Puts `take` out of the table and `put` into it: a row of both with the same Index is changed
// in place, the others are deleted and appended. Every row of `take` must be in the table, else
// nothing is changed and an error goes. Returns whether records were deleted (they wait for a
// pack).
bool ApplyRowChanges(Table& table, const std::vector<RowImage>& take,
                     const std::vector<RowImage>& put);

// One user action: its menu name and its rows, with the selection before and after it.
struct UndoStep {
  std::string name;  // windows-1250, e.g. "Vymazat 'Pracoviště 1'"
  RowChanges rows;
  int32_t selectedBefore = 0;  // Index of the selected item, 0 for none
  int32_t selectedAfter = 0;
};

// The steps of a run: those before `Position()` can be undone, those after it redone. The
// saved point is the position whose state a project file holds.
class UndoStack {
 public:
  // Forgets every step; `saved` tells whether the current state is the one on disk.
  void Clear(bool saved);
  // Adds a step after the position, dropping those that could be redone.
  void Push(UndoStep step);
  bool CanUndo() const { return position_ > 0; }
  bool CanRedo() const { return position_ < steps_.size(); }
  const UndoStep& NextUndo() const { return steps_[position_ - 1]; }
  const UndoStep& NextRedo() const { return steps_[position_]; }
  // Moves the position once the step has been applied.
  void Undone() { --position_; }
  void Redone() { ++position_; }
  std::size_t Position() const { return position_; }
  std::size_t Size() const { return steps_.size(); }
  void MarkSaved() { saved_ = position_; }
  bool AtSaved() const { return saved_ && *saved_ == position_; }
  // Memory the rows of the steps take, roughly.
  std::size_t Bytes() const;

 private:
  std::vector<UndoStep> steps_;
  std::size_t position_ = 0;
  std::optional<std::size_t> saved_ = 0;
};

}  // namespace orvenda
