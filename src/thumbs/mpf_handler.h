// APP2 "MPF\0": the Multi-Picture Format index. Its images lie after the main image and become
// post thumbnails: all of them with AllMPImages, else only the dependents of a first image that
// is a dependent parent.
#pragma once

#include "thumbs/thumb_handler.h"

namespace vt {

class TkelJpegThumbMPFHandler : public TkelJpegThumbHandler {
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                        int32_t availableLength);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data,
                  int32_t declaredLength, int32_t availableLength) override;
};

}  // namespace vt
