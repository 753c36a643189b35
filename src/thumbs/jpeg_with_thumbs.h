// TkelJpegWithThumbs: the decoder object with a thumbnail collection attached. The parser hands
// it every run of APPn/COM segments; after the main image it decodes the post thumbnails.
#pragma once

#include <cstdint>
#include <memory>

#include "jpeg/image.h"
#include "thumbs/jpeg_thumbs.h"

namespace vt {

class TkelJpegWithThumbs : public TkelJpegImage {
 public:
  // allMPImages: every Multi-Picture image becomes a post thumbnail (else only the dependents of
  // a dependent-parent first image).
  explicit TkelJpegWithThumbs(bool allMPImages, int32_t bufferSize = 0);
  ~TkelJpegWithThumbs() override;

  // Orientation := 0, Thumbs.Clear, then the inherited reset.
  void Reset() override;
  // The parser's LoadFromStream with colour model 0; then Orientation from the Exif value and
  // the post thumbnails resolved against stream. Returns the parser's result.
  int LoadFromStream(TStream& stream, uint16_t flags);
  using TkelJpegImage::LoadFromStream;

  // Hands a run of APPn/COM segments to the collection; a handler's exception is discarded.
  void DoAppBlock(int64_t offset, const uint8_t* bytes, int32_t count) override;

  bool AllMPImages() const { return allMPImages_; }
  TkelJpegThumbs& Thumbs() { return *thumbs_; }
  // 0..7: the Exif orientation minus one when it was 1..8, else 0.
  uint8_t Orientation = 0;

 private:
  bool allMPImages_;
  std::unique_ptr<TkelJpegThumbs> thumbs_;
};

}  // namespace vt
