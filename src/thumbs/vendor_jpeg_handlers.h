// Camera makers' blocks that hold an ordinary JPEG stream: behind a short header in one
// segment, or split over consecutive segments that are joined and then scanned.
#pragma once

#include "thumbs/thumb_handler.h"

namespace vt {

// APP2 segments whose data starts with a JPEG stream (at 0 or 1); following APP2s continue it.
class TkelJpegThumbAPP2v1Handler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  std::string GetCaption() override { return "1"; }
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// APP2 segments with a 60-byte header in front of the JPEG stream.
class TkelJpegThumbAPP2v2Handler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  std::string GetCaption() override { return "2"; }
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// A JPEG stream starting in APP3 and continued in APP4, APP5, ... in turn.
class TkelJpegThumbAPP3Handler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  std::string GetCaption() override { return "1"; }
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
  int32_t SegmentCount = 0;
};

// FLIR thermal cameras: APP1 "FLIR\0" segments, joined from byte 8; PNG and JPEG pictures inside.
class TkelJpegThumbFLIRHandler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
  void Finish() override;
};

// Single segments with a JPEG stream at a fixed place behind a signature.
class TkelJpegThumbPDBigTNHandler : public TkelJpegThumbHandler {  // APP4 "PDBigTN\0", JPEG at 18
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

class TkelJpegThumbQVGAHandler : public TkelJpegThumbHandler {  // APP2 "QVGA\0", JPEG at 5
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

class TkelJpegThumbBGTHHandler : public TkelJpegThumbHandler {  // APP2 "BGTH", JPEG at 4
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// APP4 "SCALADO\0" segments, joined from byte 8.
class TkelJpegThumbSCALADOHandler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// APP4 "QTI Debug Metadata\0" segments, joined from byte 19.
class TkelJpegThumbQTIDebugMetadataHandler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// "Qualcomm Camera Debug" segments in APP4, APP5, APP6, ... in turn, joined from byte 22.
class TkelJpegThumbQualcommHandler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
  int32_t SegmentCount = 0;
};

}  // namespace vt
