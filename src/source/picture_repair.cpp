#include "source/picture_repair.h"

#include <algorithm>

#include "repair/guide.h"
#include "repair/realign.h"
#include "repair/restart_placement.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "thumbs/orientation.h"
#include "thumbs/picture_geometry.h"
#include "thumbs/ycbcr_pixel.h"

namespace vt {

namespace {

bool Incomplete(const TkelBaseJpegParser& image) {
  for (int i = 0; i < image.ScanComponentCount; ++i) {
    const TkelFrameComponent& fc = image.FrameComponents[image.ScanComponents[i].FrameIndex];
    if (fc.DecodedMCUs < fc.ExpectedMCUs) return true;
  }
  return false;
}

// The engine counts bytes from where the data's stream began; the report gives file offsets.
void InFileOffsets(const TkelBaseJpegParser& image, repair::TRepairReport& report) {
  const int64_t origin = image.StreamOrigin;
  auto toFile = [origin](int64_t& pos) {
    if (pos >= 0) pos += origin;
  };
  toFile(report.FirstDamageByte);
  for (repair::TRepairPlace& p : report.Places) {
    toFile(p.DamageBegin);
    toFile(p.DamageEnd);
    toFile(p.ResumeByte);
  }
}

}  // namespace

std::unique_ptr<TBitmap32> DcPicture(const TkelJpegWithThumbs& image) {
  const int model = image.GetColorModel();
  const bool grey = model == cmGray && image.ScanComponentCount == 1;
  const bool ycc = model == cmYCbCr && image.ScanComponentCount == 3;
  if ((!grey && !ycc) || image.MaxH <= 0 || image.MaxV <= 0 || image.Precision != 8 || image.MCUsPerRow <= 0)
    return nullptr;
  const int32_t w = (image.Width + 7) / 8, h = (image.Height + 7) / 8;
  if (w <= 0 || h <= 0 || !FrameIsPlausible(w, h, image.Position)) return nullptr;
  auto picture = std::make_unique<TBitmap32>(w, h);
  picture->Clear(0);
  auto level = [&](int sc, int32_t x, int32_t y, bool& decoded) {
    // The block of scan component sc that covers the picture's 8 x 8 area (x, y).
    const TkelScanComponent& c = image.ScanComponents[sc];
    const int32_t bx = x * c.H / image.MaxH, by = y * c.V / image.MaxV;
    const int32_t mcu = (by / c.BlocksDown) * image.MCUsPerRow + bx / c.BlocksAcross;
    const TkelCoefBlock* b =
        image.BlockOfMCU(sc, (by % c.BlocksDown) * c.BlocksAcross + bx % c.BlocksAcross, mcu);
    decoded = b != nullptr && b->Decoded;
    if (!decoded) return 0;
    const int32_t q = image.QuantTables[c.QuantTable & 3].Scaled512[0] / 512;
    return std::clamp(128 + (b->Coef[0] * q) / 8, 0, 255);
  };
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      bool d0 = false, d1 = true, d2 = true;
      const int32_t yy = level(0, x, y, d0);
      if (grey) {
        if (d0) picture->SetPixel(x, y, Color32(uint8_t(yy), uint8_t(yy), uint8_t(yy)));
        continue;
      }
      const int32_t cb = level(1, x, y, d1), cr = level(2, x, y, d2);
      if (d0 && d1 && d2) picture->SetPixel(x, y, YCbCrPixel(yy, cb, cr));
    }
  return picture;
}

std::unique_ptr<TBitmap32> RepairGuide(TkelJpegWithThumbs& image) {
  const TBitmap32* best = nullptr;
  for (const TkelJpegThumb& t : image.Thumbs().Thumbs())
    if (t.Bitmap && !t.Bitmap->Empty() &&
        (!best || int64_t(t.Bitmap->Width()) * t.Bitmap->Height() > int64_t(best->Width()) * best->Height()))
      best = t.Bitmap.get();
  if (!best) return nullptr;
  auto guide = std::make_unique<TBitmap32>(*best);
  if (std::unique_ptr<TBitmap32> blocks = DcPicture(image))
    ApplyOrientation(*guide, DetectOrientation(*blocks, *guide));
  return guide;
}

void RepairPicture(TkelJpegWithThumbs& image, TvtRepair repair, repair::TRepairReport& report,
                   bool deferDamageSearch) {
  if (!image.CanDecodeTrials()) return;
  const bool damaged = image.DataErrors || Incomplete(image) || image.BytesBeforeRestarts > 0;
  if (!damaged && repair != TvtRepair::Auto) return;
  if (deferDamageSearch && repair != TvtRepair::Auto && image.RestartInterval <= 0) {
    // Nothing here would change a block: what remains is finding where the damage starts.
    report.Damaged = true;
    report.FirstDamagePending = true;
    return;
  }
  const std::unique_ptr<TBitmap32> picture = RepairGuide(image);
  const repair::TGuide guide(image, picture.get());
  const uint32_t editsBefore = image.BlockEdits;
  if (damaged && image.RestartInterval > 0) repair::PlaceRestartIntervals(image, guide, report);
  if (repair == TvtRepair::Auto) repair::RealignAutomatically(image, guide, report);
  else if (damaged) repair::FindFirstDamage(image, guide, report);
  if (image.BlockEdits != editsBefore && image.Bitmap) image.RenderOwnBitmap();
  InFileOffsets(image, report);
}

void FinishDamageSearch(TkelJpegWithThumbs& image, repair::TRepairReport& report) {
  if (!report.FirstDamagePending) return;
  report.FirstDamagePending = false;
  const std::unique_ptr<TBitmap32> picture = RepairGuide(image);
  const repair::TGuide guide(image, picture.get());
  repair::FindFirstDamage(image, guide, report);
  if (report.FirstDamageByte >= 0) report.FirstDamageByte += image.StreamOrigin;
}

bool RealignPicture(TkelJpegWithThumbs& image, const TBitmap32* guidePicture, repair::TRepairReport& report) {
  const repair::TGuide guide(image, guidePicture);
  const bool changed = repair::RealignAutomatically(image, guide, report);
  InFileOffsets(image, report);
  return changed;
}

}  // namespace vt
