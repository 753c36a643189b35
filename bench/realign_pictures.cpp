#include "realign_pictures.h"

#include <png.h>

#include <cstring>

namespace vt::bench {

bool WritePng(const TBitmap32& bitmap, const std::string& path) {
  if (bitmap.Empty()) return false;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(bitmap.Width());
  image.height = static_cast<png_uint_32>(bitmap.Height());
  image.format = PNG_FORMAT_BGRA;  // a TBitmap32 word is B, G, R, A in memory
  const int ok = png_image_write_to_file(&image, path.c_str(), 0, bitmap.Bits(), 0, nullptr);
  png_image_free(&image);
  return ok != 0;
}

TBitmap32 OverCheckerboard(const TBitmap32& picture) {
  TBitmap32 out(picture.Width(), picture.Height());
  for (int32_t y = 0; y < out.Height(); ++y)
    for (int32_t x = 0; x < out.Width(); ++x)
      out.SetPixel(x, y, ((x / 8 + y / 8) & 1) ? Color32(255, 255, 255) : Color32(204, 204, 204));
  TBitmap32 copy(picture);
  copy.DrawMode = dmBlend;
  copy.DrawTo(out, 0, 0);
  return out;
}

bool SavePictures(const std::string& dir, const std::string& name, const test::TMcuScorer& scorer,
                  const TBitmap32& ours, const test::TMcuScore& oursScore, const TBitmap32& libjpeg,
                  const test::TMcuScore& libjpegScore) {
  const std::string base = dir + "/" + name;
  const int32_t w = scorer.Width(), h = scorer.Height();
  bool ok = WritePng(scorer.Reference(), base + "-intact.png");
  ok = WritePng(OverCheckerboard(ours), base + "-ours.png") && ok;
  ok = WritePng(test::VerdictPicture(oursScore, scorer.MCUWidth(), scorer.MCUHeight(), w, h), base + "-ours-verdicts.png") && ok;
  ok = WritePng(OverCheckerboard(libjpeg), base + "-libjpeg.png") && ok;
  ok = WritePng(test::VerdictPicture(libjpegScore, scorer.MCUWidth(), scorer.MCUHeight(), w, h),
                base + "-libjpeg-verdicts.png") && ok;
  return ok;
}

}  // namespace vt::bench
