#include "viewer/edit_history.h"

#include <utility>

namespace vt {

size_t TvtEditStep::Bytes() const {
  size_t n = sizeof(*this) + Report.Places.capacity() * sizeof(repair::TRepairPlace);
  for (const TvtSavedMCUs& s : Saved) n += s.Blocks.Bytes() + s.Pixels.capacity() * sizeof(TColor32);
  return n;
}

void TvtEditStep::DropUndoData() {
  Saved.clear();
  Saved.shrink_to_fit();
}

void TvtEditHistory::Push(TvtEditStep step) {
  const int64_t size = static_cast<int64_t>(step.Bytes());
  if (size > budget_) {
    // Too large to keep: neither it nor anything before it can be taken back.
    undo_.clear();
    bytes_ = 0;
    return;
  }
  bytes_ += size;
  undo_.push_back(std::move(step));
  while (!undo_.empty() && (bytes_ > budget_ || static_cast<int>(undo_.size()) > maxSteps_)) {
    bytes_ -= static_cast<int64_t>(undo_.front().Bytes());
    undo_.pop_front();
  }
}

void TvtEditHistory::Record(TvtEditStep step) {
  redo_.clear();
  Push(std::move(step));
}

void TvtEditHistory::Redone(TvtEditStep step) { Push(std::move(step)); }

std::optional<TvtEditStep> TvtEditHistory::TakeUndo() {
  if (undo_.empty()) return std::nullopt;
  TvtEditStep step = std::move(undo_.back());
  undo_.pop_back();
  bytes_ -= static_cast<int64_t>(step.Bytes());
  return step;
}

void TvtEditHistory::Undone(TvtEditStep step) {
  step.DropUndoData();
  redo_.push_back(std::move(step));
}

std::optional<TvtEditStep> TvtEditHistory::TakeRedo() {
  if (redo_.empty()) return std::nullopt;
  TvtEditStep step = std::move(redo_.back());
  redo_.pop_back();
  return step;
}

void TvtEditHistory::Clear() {
  undo_.clear();
  redo_.clear();
  bytes_ = 0;
}

}  // namespace vt
