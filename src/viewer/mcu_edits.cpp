// The document's MCU edits: each changes the decoder's coefficient and offset maps through the
// decoder's grid edit of the same name, then patches the rendered pixels the same way (moving or
// clearing whole MCU rectangles), so that no full re-decode is needed.
#include <algorithm>
#include <cstring>

#include "viewer/thumb_source.h"

namespace vt {

bool TvtThumbSource::InGrid(TvtMCUPos p) const {
  return p.Col >= 0 && p.Row >= 0 && p.Col < MCUCols && p.Row < MCURows && CanEditMCUs();
}

void TvtThumbSource::CopyMCUPixels(int32_t from, int32_t to) {
  TBitmap32* b = decodedBitmap_.get();
  if (b == nullptr || MCUWidth <= 0 || MCUHeight <= 0) return;
  const int32_t fx = (from % MCUCols) * MCUWidth, fy = (from / MCUCols) * MCUHeight;
  const int32_t tx = (to % MCUCols) * MCUWidth, ty = (to / MCUCols) * MCUHeight;
  if (tx >= b->Width()) return;
  // The part of the target inside the bitmap; source pixels outside it count as 0.
  const int32_t width = std::min(MCUWidth, b->Width() - tx);
  const int32_t inside = std::clamp(b->Width() - fx, 0, width);
  for (int32_t dy = 0; dy < MCUHeight && ty + dy < b->Height(); ++dy) {
    TColor32* dst = b->ScanLine(ty + dy) + tx;
    const int32_t sy = fy + dy;
    const int32_t n = sy < b->Height() ? inside : 0;
    if (n > 0) std::memmove(dst, b->ScanLine(sy) + fx, size_t(n) * sizeof(TColor32));
    std::fill(dst + n, dst + width, TColor32(0));
  }
}

void TvtThumbSource::ClearMCUPixels(int32_t index) {
  if (decodedBitmap_ == nullptr || MCUWidth <= 0 || MCUHeight <= 0) return;
  const int32_t x = (index % MCUCols) * MCUWidth, y = (index / MCUCols) * MCUHeight;
  decodedBitmap_->FillRect(x, y, x + MCUWidth, y + MCUHeight, 0);
}

// The first MCU below the rendered pixels: a tiny file that declares a huge frame renders only
// the rows its data reached, and moving MCUs that lie wholly outside the bitmap changes nothing.
int32_t TvtThumbSource::PixelMCUEnd() const {
  if (decodedBitmap_ == nullptr || MCUHeight <= 0) return 0;
  const int64_t rows = (int64_t(decodedBitmap_->Height()) + MCUHeight - 1) / MCUHeight;
  return static_cast<int32_t>(std::min<int64_t>(rows * MCUCols, int64_t(MCUCols) * MCURows));
}

void TvtThumbSource::AfterEdit() {
  modified_ = true;
  // Without the full image the edits patched no pixels: the preview is made again; with it, the
  // patched image stands alone.
  if (mainImage_ != nullptr) {
    Compose();
    DropPreview();
  } else {
    RenderPreview();
  }
  NotifyMainImage(false);
}

bool TvtThumbSource::IsMCUDecoded(TvtMCUPos p) const { return InGrid(p) && Jpeg->IsMCUDecoded(p.Col, p.Row); }

TkelOffsetEntry TvtThumbSource::GetMCUOffsets(TvtMCUPos p) const {
  if (!InGrid(p)) return TkelOffsetEntry{};
  return Jpeg->GetMCUOffsets(p.Col, p.Row);
}

void TvtThumbSource::MoveMCUPixels(int32_t from, int32_t to, int32_t count) {
  // As the decoder's move: MCUs below the rendered pixels are empty on both sides.
  const int32_t n = std::clamp(PixelMCUEnd() - std::min(from, to), 0, std::max(count, 0));
  if (to > from) {
    for (int32_t i = n - 1; i >= 0; --i) CopyMCUPixels(from + i, to + i);
  } else {
    for (int32_t i = 0; i < n; ++i) CopyMCUPixels(from + i, to + i);
  }
}

void TvtThumbSource::GridClear(int32_t at) {
  Jpeg->ClearMCU(at % MCUCols, at / MCUCols);
  ClearMCUPixels(at);
  AfterEdit();
}

void TvtThumbSource::GridInsert(int32_t at) {
  Jpeg->InsertMCU(at % MCUCols, at / MCUCols);
  const int32_t last = MCUCols * MCURows - 1;
  for (int32_t i = std::min(last, PixelMCUEnd()); i > at; --i) CopyMCUPixels(i - 1, i);
  ClearMCUPixels(at);
  AfterEdit();
}

void TvtThumbSource::GridInsertRow(int32_t at) {
  Jpeg->InsertMCURow(at % MCUCols, at / MCUCols);
  const int32_t last = MCUCols * MCURows - 1;
  if (at / MCUCols < MCURows - 1) {
    const int32_t from = std::min<int64_t>(last, int64_t(PixelMCUEnd()) + MCUCols - 1);
    for (int32_t i = from; i >= at + MCUCols; --i) CopyMCUPixels(i - MCUCols, i);
  }
  for (int32_t i = at; i < at + MCUCols && i <= last; ++i) ClearMCUPixels(i);
  AfterEdit();
}

void TvtThumbSource::GridDelete(int32_t at) {
  Jpeg->DeleteMCU(at % MCUCols, at / MCUCols);
  const int32_t last = MCUCols * MCURows - 1;
  const int32_t to = std::min(last, PixelMCUEnd());
  for (int32_t i = at; i <= to; ++i) CopyMCUPixels(i, i - 1);
  ClearMCUPixels(last);
  AfterEdit();
}

namespace {

TvtEditStep StepAt(TvtEditKind kind, TvtMCUPos p) {
  TvtEditStep step;
  step.Kind = kind;
  step.Col = p.Col;
  step.Row = p.Row;
  return step;
}

}  // namespace

void TvtThumbSource::ClearMCU(TvtMCUPos p) {
  if (InGrid(p)) Do(StepAt(TvtEditKind::Clear, p));
}

void TvtThumbSource::InsertMCU(TvtMCUPos p) {
  if (InGrid(p)) Do(StepAt(TvtEditKind::Insert, p));
}

void TvtThumbSource::InsertMCURow(TvtMCUPos p) {
  if (InGrid(p)) Do(StepAt(TvtEditKind::InsertRow, p));
}

void TvtThumbSource::DeleteMCU(TvtMCUPos p) {
  if (InGrid(p) && !(p.Col == 0 && p.Row == 0)) Do(StepAt(TvtEditKind::Delete, p));
}

int TvtThumbSource::RedecodeFrom(TvtMCUPos p, const TkelOffsetEntry& offsets, int search, bool useNextDC) {
  if (!InGrid(p)) return jrBadData;
  TvtEditStep step = StepAt(TvtEditKind::Redecode, p);
  step.StartByte = offsets.StartByte;
  step.StartBit = offsets.StartBit;
  step.Search = search;
  step.UseNextDC = useNextDC;
  return Do(std::move(step));
}

bool TvtThumbSource::RealignAutomatically() {
  if (!HasImage()) return false;
  return Do(StepAt(TvtEditKind::Realign, {})) != 0;
}

void TvtThumbSource::CorrectDC(int32_t first, int32_t count, const int32_t shift[4]) {
  const int32_t total = MCUCols * MCURows;
  if (!CanEditMCUs() || first < 0 || count <= 0 || first >= total) return;
  TvtEditStep step = StepAt(TvtEditKind::DcCorrection, {first % MCUCols, first / MCUCols});
  step.First = first;
  step.Count = std::min(count, total - first);
  std::copy(shift, shift + 4, step.Shift);
  Do(std::move(step));
}

}  // namespace vt
