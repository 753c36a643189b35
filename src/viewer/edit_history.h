// The undo and redo lists of the document's repairs. Each step says what was done (so that redo
// does it again) and keeps what undoing it needs: an inverse move of MCUs for the edits that
// shift the grid, then the MCUs the edit overwrote for good, with their pixels when the picture
// is patched rather than rendered again. Undone steps keep only what redoes them.
//
// Budget: the steps to undo keep at most kUndoBudgetBytes together, and at most kMaxUndoSteps of
// them; the oldest are dropped first. A grid edit costs a few kilobytes, so the last
// kMinUndoSteps of them always fit; a single step larger than the whole budget cannot be undone
// (the list is emptied, since the steps before it no longer apply on their own).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "base/limits.h"
#include "bitmap/bitmap32.h"
#include "jpeg/jpeg_map.h"
#include "jpeg/mcu_snapshot.h"
#include "repair/repair_report.h"

namespace vt {

enum class TvtEditKind { Clear, Insert, InsertRow, Delete, Redecode, Realign, DcCorrection };

// MCUs kept by a step, with their pixels in the rendered picture (MCU by MCU, rows of MCUWidth)
// when the undo patches pixels.
struct TvtSavedMCUs {
  TkelMCUSnapshot Blocks;
  std::vector<TColor32> Pixels;
};

struct TvtEditStep {
  TvtEditKind Kind = TvtEditKind::Clear;
  int32_t Col = 0, Row = 0;  // the MCU the edit was made at
  // What redoes it: the re-decode's start and search; the DC correction's run and constants.
  int32_t StartByte = 0, StartBit = 0;
  int Search = 0;
  bool UseNextDC = false;
  int32_t First = 0, Count = 0;
  int32_t Shift[4] = {};
  // What undoes it: MoveCount MCUs moved from MoveFrom back to MoveTo, then Saved put back.
  int32_t MoveFrom = 0, MoveTo = 0, MoveCount = 0;
  std::vector<TvtSavedMCUs> Saved;
  repair::TRepairReport Report;  // the document's repair report before the step

  size_t Bytes() const;
  // Drops what only the undo needs.
  void DropUndoData();
};

class TvtEditHistory {
 public:
  explicit TvtEditHistory(int64_t budgetBytes = kUndoBudgetBytes, int maxSteps = kMaxUndoSteps)
      : budget_(budgetBytes), maxSteps_(maxSteps) {}

  // A new edit: the redo list is dropped.
  void Record(TvtEditStep step);
  // An edit redone: the redo list stays.
  void Redone(TvtEditStep step);
  // The step to undo (removed from the list), or none.
  std::optional<TvtEditStep> TakeUndo();
  // It was undone: it can be redone.
  void Undone(TvtEditStep step);
  std::optional<TvtEditStep> TakeRedo();

  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  size_t UndoCount() const { return undo_.size(); }
  size_t RedoCount() const { return redo_.size(); }
  int64_t UndoBytes() const { return bytes_; }
  // The step that the next undo takes back, or null.
  const TvtEditStep* NextUndo() const { return undo_.empty() ? nullptr : &undo_.back(); }
  void Clear();

 private:
  void Push(TvtEditStep step);

  int64_t budget_;
  int maxSteps_;
  std::deque<TvtEditStep> undo_;
  std::vector<TvtEditStep> redo_;
  int64_t bytes_ = 0;
};

}  // namespace vt
