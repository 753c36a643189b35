#include "source/candidate_image.h"

#include "base/limits.h"
#include "jpeg/color_convert.h"
#include "jpeg/markers.h"
#include "source/items.h"
#include "thumbs/picture_geometry.h"

namespace vt {

bool TvtCandidateImage::KeepCoefficients() {
  // Asked at each frame header. A progressive picture needs its coefficients to decode its
  // later scans; a picture that is rendered at once, to render.
  return !JudgeOnly || Process == mkSOF2 || !MayRenderLater(*this);
}

void TvtCandidateImage::DoAppSegment(int marker, int32_t length, const uint8_t* payload, int32_t count) {
  if (RecordsSegmentsOnly && count == length && (Flags & pfRecordSegments) == 0)
    RecordRawSegment(marker, length, payload);
  TkelJpegWithThumbs::DoAppSegment(marker, length, payload, count);
}

bool MayRenderLater(const TkelJpegImage& image) {
  return !image.HeightFromDNL && int64_t(image.Width) * image.Height <= kFullFramePixels;
}

bool RendersCleanly(const TkelJpegImage& image) { return ConversionKindOf(image.GetColorModel()) != 0; }

std::unique_ptr<TBitmap32> RenderJpegPreview(TStream& stream, uint64_t offset, uint16_t flags, TvtRepair repair) {
  TkelJpegWithThumbs image(true, 0);
  DecodePicture(image, nullptr, stream, offset, flags, repair);
  if (!image.Bitmap) return nullptr;
  const int32_t o = image.Thumbs().Orientation;
  if (o >= 1 && o <= 8) ApplyOrientation(*image.Bitmap, o - 1);
  return MakePreview(*image.Bitmap);
}

}  // namespace vt
