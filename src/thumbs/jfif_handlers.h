// APP0 thumbnails: the JFIF header's RGB thumbnail and the JFXX extension (JPEG, palette or
// RGB thumbnail). Both then scan the segment for embedded JPEG streams.
#pragma once

#include "thumbs/thumb_handler.h"

namespace vt {

class TkelJpegThumbJFIFHandler : public TkelJpegThumbHandler {
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                        int32_t availableLength);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data,
                  int32_t declaredLength, int32_t availableLength) override;
};

class TkelJpegThumbJFXXHandler : public TkelJpegThumbHandler {
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                        int32_t availableLength);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data,
                  int32_t declaredLength, int32_t availableLength) override;
};

}  // namespace vt
