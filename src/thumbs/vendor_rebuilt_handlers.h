// Camera makers' blocks whose JPEG stream lacks its headers: APP4 and APP5 hold bare
// entropy-coded data that is completed with HeaderTemplateA; Samsung's APP5 segments hold a
// JPEG stream without its SOI marker, split over numbered segments.
#pragma once

#include <vector>

#include "thumbs/thumb_handler.h"

namespace vt {

// APP4 with more than 136 bytes, not all zero: a 4:2:2 picture of 480 x 360 or 320 x 240,
// with or without its own quantisation tables.
class TkelJpegThumbAPP4Handler : public TkelJpegThumbHandler {
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  std::string GetCaption() override { return "1"; }
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// APP5 with its tables at 0 and 64, a marker word at 128 and its size at 132 (width) and 134
// (height), data from 136.
class TkelJpegThumbAPP5Handler : public TkelJpegThumbHandler {
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// APP5 "Samsung\0" segments of one image id, numbered 1, 2, ...; data from 18 in the first,
// from 16 in the others.
class TkelJpegThumbSamsungHandler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
  void Finish() override;
  int32_t ImageId = 0;
  int32_t NextIndex = 0;
};

}  // namespace vt
