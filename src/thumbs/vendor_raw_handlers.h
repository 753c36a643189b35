// Camera makers' blocks with raw pixels: packed YUV 4:2:2 split over APP4 segments (HP's H3X0
// and HPSC layouts, SCRNAIL) and raw RGB in numbered APP10 "prv" pieces.
#pragma once

#include <array>
#include <vector>

#include "thumbs/thumb_handler.h"

namespace vt {

// Joined U, Y0, V, Y1 groups of a Width x Height picture become a tkYCbCr record at Finish.
class TkelJpegThumbBaseHPHandler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  void Finish() override;

  int32_t Width = 0;
  int32_t Height = 0;
  int32_t SegmentTotal = 0;  // 0 until the first segment
  int32_t NextIndex = 0;

 protected:
  // The numbered layouts: signature, header size, and whether the word at 4 must be 1.
  struct TLayout {
    const char* Signature;  // 4 bytes
    int32_t HeaderSize;
    bool VersionOne;
  };
  static bool Recognised(const TLayout& layout, uint8_t marker, const uint8_t* data, int32_t available);
  bool Continues(const TLayout& layout, uint8_t marker, const uint8_t* data, int32_t available) const;
  void AddNumbered(const TLayout& layout, const uint8_t* data, int32_t available);
};

class TkelJpegThumbH3X0Handler : public TkelJpegThumbBaseHPHandler {
 public:
  using TkelJpegThumbBaseHPHandler::TkelJpegThumbBaseHPHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// "HPSC" with the word 1 at 4 and a 32-byte header.
class TkelJpegThumbHPSCHandler1 : public TkelJpegThumbBaseHPHandler {
 public:
  using TkelJpegThumbBaseHPHandler::TkelJpegThumbBaseHPHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  std::string GetCaption() override { return "1"; }
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// "HPSC" with a 36-byte header.
class TkelJpegThumbHPSCHandler2 : public TkelJpegThumbBaseHPHandler {
 public:
  using TkelJpegThumbBaseHPHandler::TkelJpegThumbBaseHPHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  std::string GetCaption() override { return "2"; }
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// "SCRNAIL\0": a 320 x 240 picture; the first segment's data follows the signature, the
// following APP4 segments are appended whole.
class TkelJpegThumbSCRNAILHandler : public TkelJpegThumbBaseHPHandler {
 public:
  using TkelJpegThumbBaseHPHandler::TkelJpegThumbBaseHPHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
};

// APP10 "prv0", "prv1", ...: raw RGB in PieceCount pieces; the first segment holds the 8 bytes
// that end every piece but the last.
class TkelJpegThumbPrvHandler : public TkelJpegThumbMultiHandler {
 public:
  using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
  bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available) override;
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data, int32_t declared,
                  int32_t available) override;
  void Finish() override;

  int32_t PieceCount = 0;
  int32_t SegmentIndex = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<std::array<uint8_t, 8>> PieceTails;

 private:
  int32_t tailTableOffset_ = 0;  // file offset of the first segment's data (where the tails lie)
};

}  // namespace vt
