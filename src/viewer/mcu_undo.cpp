// Undo and redo of the document's repairs. A grid edit is taken back by moving the MCUs it
// shifted back where they were and putting back the few it overwrote for good (one MCU, or one
// MCU row for a row insertion), pixels included, so undoing is as quick as the edit. A re-decode,
// a realignment and a DC correction keep the MCUs they may change (from the start MCU on, all of
// them, the run) and the picture is rendered again, as after the step itself.
#include <algorithm>
#include <cstring>

#include "jpeg/jpeg_constants.h"
#include "repair/dc_correction.h"
#include "source/picture_repair.h"
#include "viewer/thumb_source.h"

namespace vt {

TvtSavedMCUs TvtThumbSource::SaveRange(int32_t first, int32_t end, bool pixels) const {
  TvtSavedMCUs saved;
  saved.Blocks = SaveMCUs(*Jpeg, first, end);
  const TBitmap32* b = decodedBitmap_.get();
  if (!pixels || b == nullptr) return saved;
  for (int32_t m = saved.Blocks.First; m < saved.Blocks.End; ++m) {
    const int32_t x0 = (m % MCUCols) * MCUWidth, y0 = (m / MCUCols) * MCUHeight;
    for (int32_t y = y0; y < y0 + MCUHeight; ++y)
      for (int32_t x = x0; x < x0 + MCUWidth; ++x)
        saved.Pixels.push_back(x < b->Width() && y < b->Height() ? b->ScanLine(y)[x] : 0);
  }
  return saved;
}

void TvtThumbSource::PutBack(const TvtSavedMCUs& saved) {
  RestoreMCUs(*Jpeg, saved.Blocks);
  TBitmap32* b = decodedBitmap_.get();
  if (saved.Pixels.empty() || b == nullptr) return;
  size_t i = 0;
  for (int32_t m = saved.Blocks.First; m < saved.Blocks.End; ++m) {
    const int32_t x0 = (m % MCUCols) * MCUWidth, y0 = (m / MCUCols) * MCUHeight;
    for (int32_t y = y0; y < y0 + MCUHeight; ++y)
      for (int32_t x = x0; x < x0 + MCUWidth; ++x, ++i)
        if (x < b->Width() && y < b->Height()) b->ScanLine(y)[x] = saved.Pixels[i];
  }
}

void TvtThumbSource::PrepareUndo(TvtEditStep& step) {
  const int32_t cols = MCUCols, total = MCUCols * MCURows, last = total - 1;
  const int32_t at = step.Row * cols + step.Col;
  step.Report = RepairReport;
  step.Saved.clear();
  step.MoveCount = 0;
  auto move = [&step](int32_t from, int32_t to, int32_t count) {
    step.MoveFrom = from;
    step.MoveTo = to;
    step.MoveCount = count;
  };
  switch (step.Kind) {
    case TvtEditKind::Clear:
      step.Saved.push_back(SaveRange(at, at + 1, true));
      break;
    case TvtEditKind::Insert:
      // The MCUs after it come back one place; the last one, pushed out, is put back.
      if (at < last) move(at + 1, at, last - at);
      step.Saved.push_back(SaveRange(at < last ? last : at, at < last ? last + 1 : at + 1, true));
      break;
    case TvtEditKind::InsertRow:
      if (step.Row < MCURows - 1) {
        move(at + cols, at, total - at - cols);
        step.Saved.push_back(SaveRange(total - cols, total, true));
      } else {
        step.Saved.push_back(SaveRange(at, std::min(at + cols, total), true));
      }
      break;
    case TvtEditKind::Delete:
      // The MCUs from the one before it go back one place forward; that one, overwritten, is
      // put back (the last one, cleared, comes back with the move).
      move(at - 1, at, total - at);
      step.Saved.push_back(SaveRange(at - 1, at, true));
      break;
    case TvtEditKind::Redecode:
      step.Saved.push_back(SaveRange(at, total, false));
      break;
    case TvtEditKind::Realign:
      step.Saved.push_back(SaveRange(0, total, false));
      break;
    case TvtEditKind::DcCorrection:
      step.Saved.push_back(SaveRange(step.First, step.First + step.Count, false));
      break;
  }
}

int TvtThumbSource::Perform(TvtEditStep& step) {
  const int32_t at = step.Row * MCUCols + step.Col;
  switch (step.Kind) {
    case TvtEditKind::Clear: GridClear(at); return jrOK;
    case TvtEditKind::Insert: GridInsert(at); return jrOK;
    case TvtEditKind::InsertRow: GridInsertRow(at); return jrOK;
    case TvtEditKind::Delete: GridDelete(at); return jrOK;
    case TvtEditKind::Redecode: {
      const int rc = Jpeg->RedecodeFrom(at, step.StartByte, step.StartBit, step.Search, step.UseNextDC);
      Render(true);
      return rc;
    }
    case TvtEditKind::Realign: {
      repair::TRepairReport report;
      const bool changed = RealignPicture(*Jpeg, mainThumb_, report);
      if (changed) {
        RepairReport = report;
        Render(true);
      }
      return changed ? 1 : 0;
    }
    case TvtEditKind::DcCorrection: {
      repair::TDcShift shift;
      std::copy(step.Shift, step.Shift + 4, shift.Shift);
      repair::ApplyDcShift(*Jpeg, shift, step.First, step.Count);
      Render(true);
      return jrOK;
    }
  }
  return jrOK;
}

int TvtThumbSource::Do(TvtEditStep step) {
  FinishDamageSearch();  // on the blocks as decoded, before this step changes them
  PrepareUndo(step);
  const int result = Perform(step);
  // A realignment that changed nothing is no step.
  if (step.Kind != TvtEditKind::Realign || result != 0) {
    History.Record(std::move(step));
    modified_ = true;
  }
  return result;
}

void TvtThumbSource::Revert(TvtEditStep& step) {
  const bool grid = step.Kind == TvtEditKind::Clear || step.Kind == TvtEditKind::Insert ||
                    step.Kind == TvtEditKind::InsertRow || step.Kind == TvtEditKind::Delete;
  if (step.MoveCount > 0) {
    Jpeg->MoveMCUs(step.MoveFrom, step.MoveTo, step.MoveCount);
    MoveMCUPixels(step.MoveFrom, step.MoveTo, step.MoveCount);
  }
  for (const TvtSavedMCUs& saved : step.Saved) PutBack(saved);
  RepairReport = step.Report;
  if (grid)
    AfterEdit();
  else
    Render(true);
}

bool TvtThumbSource::Undo(TvtMCUPos* where) {
  std::optional<TvtEditStep> step = History.TakeUndo();
  if (!step) return false;
  Revert(*step);
  modified_ = true;
  if (where) *where = {step->Col, step->Row};
  History.Undone(std::move(*step));
  return true;
}

bool TvtThumbSource::Redo(TvtMCUPos* where) {
  std::optional<TvtEditStep> step = History.TakeRedo();
  if (!step) return false;
  PrepareUndo(*step);
  Perform(*step);
  modified_ = true;
  if (where) *where = {step->Col, step->Row};
  History.Redone(std::move(*step));
  return true;
}

}  // namespace vt
