#include "thumbs/jpeg_with_thumbs.h"

namespace vt {

TkelJpegWithThumbs::TkelJpegWithThumbs(bool allMPImages, int32_t bufferSize)
    : TkelJpegImage(bufferSize, true),
      allMPImages_(allMPImages),
      thumbs_(std::make_unique<TkelJpegThumbs>(allMPImages)) {}

TkelJpegWithThumbs::~TkelJpegWithThumbs() = default;

void TkelJpegWithThumbs::Reset() {
  Orientation = 0;
  if (thumbs_) thumbs_->Clear();
  TkelJpegImage::Reset();
}

int TkelJpegWithThumbs::LoadFromStream(TStream& stream, uint16_t flags) {
  const int result = TkelJpegImage::LoadFromStream(stream, flags, 0);
  if (thumbs_->Orientation >= 1 && thumbs_->Orientation <= 8)
    Orientation = uint8_t(thumbs_->Orientation - 1);
  if (thumbs_->PostThumbCount() > 0) thumbs_->ResolvePostThumbs(stream, StreamOrigin);
  return result;
}

void TkelJpegWithThumbs::DoAppBlock(int64_t offset, const uint8_t* bytes, int32_t count) {
  try {
    thumbs_->ProcessAppBlock(offset, bytes, count);
  } catch (...) {
    // A handler that fails ends only its run of segments; what it added stays.
  }
}

}  // namespace vt
