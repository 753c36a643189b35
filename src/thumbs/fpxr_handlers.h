// FlashPix extension data ("FPXR\0") in APP2 or APP4: stream contents split over consecutive
// segments, joined and scanned for JPEG streams. Variant 1 and 2 streams carry a JPEG 47 bytes
// into, or right at, the stream data; the variant number is the records' caption.
#pragma once

#include "jpeg/markers.h"
#include "thumbs/thumb_handler.h"

namespace vt {

class TkelJpegThumbFPXR2Handler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static uint8_t SegmentMarker() { return mkAPP2; }
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                        int32_t availableLength);
  std::string GetCaption() override;
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                   int32_t availableLength) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data,
                  int32_t declaredLength, int32_t availableLength) override;

  uint8_t Type = 0;
  uint16_t StreamIndex = 0;
  int32_t Variant = 0;

 protected:
  static bool IsFpxr(uint8_t marker, uint8_t wanted, const uint8_t* data, int32_t n);
};

class TkelJpegThumbFPXR4Handler : public TkelJpegThumbFPXR2Handler {
 public:
  using TkelJpegThumbFPXR2Handler::TkelJpegThumbFPXR2Handler;
  static uint8_t SegmentMarker() { return mkAPP0 + 4; }
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                        int32_t availableLength);
};

}  // namespace vt
