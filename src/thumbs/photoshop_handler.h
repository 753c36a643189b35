// APP13 "Photoshop 3.0": image resource blocks, joined over consecutive segments. Resources 1033
// (old thumbnail, blue and red exchanged) and 1036 carry a JPEG thumbnail.
#pragma once

#include "thumbs/thumb_handler.h"

namespace vt {

class TkelJpegThumbPhotoshopHandler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                        int32_t availableLength);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data,
                  int32_t declaredLength, int32_t availableLength) override;
  void Finish() override;
};

}  // namespace vt
