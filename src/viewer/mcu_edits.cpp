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
  for (int32_t dy = 0; dy < MCUHeight; ++dy) {
    const int32_t sy = fy + dy, dyy = ty + dy;
    if (dyy >= b->Height()) break;
    TColor32* dst = b->ScanLine(dyy);
    const TColor32* src = sy < b->Height() ? b->ScanLine(sy) : nullptr;
    for (int32_t dx = 0; dx < MCUWidth; ++dx) {
      const int32_t sx = fx + dx, dxx = tx + dx;
      if (dxx >= b->Width()) break;
      dst[dxx] = (src != nullptr && sx < b->Width()) ? src[sx] : 0;
    }
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
  Compose();
  NotifyMainImage(false);
}

bool TvtThumbSource::IsMCUDecoded(TvtMCUPos p) const { return InGrid(p) && Jpeg->IsMCUDecoded(p.Col, p.Row); }

TkelOffsetEntry TvtThumbSource::GetMCUOffsets(TvtMCUPos p) const {
  if (!InGrid(p)) return TkelOffsetEntry{};
  return Jpeg->GetMCUOffsets(p.Col, p.Row);
}

void TvtThumbSource::ClearMCU(TvtMCUPos p) {
  if (!InGrid(p)) return;
  Jpeg->ClearMCU(p.Col, p.Row);
  ClearMCUPixels(p.Row * MCUCols + p.Col);
  AfterEdit();
}

void TvtThumbSource::InsertMCU(TvtMCUPos p) {
  if (!InGrid(p)) return;
  Jpeg->InsertMCU(p.Col, p.Row);
  const int32_t at = p.Row * MCUCols + p.Col, last = MCUCols * MCURows - 1;
  for (int32_t i = std::min(last, PixelMCUEnd()); i > at; --i) CopyMCUPixels(i - 1, i);
  ClearMCUPixels(at);
  AfterEdit();
}

void TvtThumbSource::InsertMCURow(TvtMCUPos p) {
  if (!InGrid(p)) return;
  Jpeg->InsertMCURow(p.Col, p.Row);
  const int32_t at = p.Row * MCUCols + p.Col, last = MCUCols * MCURows - 1;
  if (p.Row < MCURows - 1) {
    const int32_t from = std::min<int64_t>(last, int64_t(PixelMCUEnd()) + MCUCols - 1);
    for (int32_t i = from; i >= at + MCUCols; --i) CopyMCUPixels(i - MCUCols, i);
  }
  for (int32_t i = at; i < at + MCUCols && i <= last; ++i) ClearMCUPixels(i);
  AfterEdit();
}

void TvtThumbSource::DeleteMCU(TvtMCUPos p) {
  if (!InGrid(p) || (p.Col == 0 && p.Row == 0)) return;
  Jpeg->DeleteMCU(p.Col, p.Row);
  const int32_t at = p.Row * MCUCols + p.Col, last = MCUCols * MCURows - 1;
  const int32_t to = std::min(last, PixelMCUEnd());
  for (int32_t i = at; i <= to; ++i) CopyMCUPixels(i, i - 1);
  ClearMCUPixels(last);
  AfterEdit();
}

int TvtThumbSource::RedecodeFrom(TvtMCUPos p, const TkelOffsetEntry& offsets, int search, bool useNextDC) {
  if (!InGrid(p)) return jrBadData;
  const int rc = Jpeg->RedecodeFrom(p.Row * MCUCols + p.Col, offsets.StartByte, offsets.StartBit, search, useNextDC);
  modified_ = true;
  Render(true);
  return rc;
}

}  // namespace vt
