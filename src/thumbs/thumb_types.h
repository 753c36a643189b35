// The records of the thumbnail collection: one TkelJpegThumb per picture found beside the main
// image, the file blocks its bytes occupy, and the pictures that lie after the main image and are
// decoded once the main parse has ended (post thumbnails).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "bitmap/bitmap32.h"

namespace vt {

class TkelJpegID;

// What the bytes of a picture are. The numbers are part of the record.
using TkelJpegThumbKind = uint8_t;
constexpr TkelJpegThumbKind tkJpeg = 0;         // a complete JPEG stream (also post thumbnails and PNGs)
constexpr TkelJpegThumbKind tkJpegNoSOI = 1;    // a JPEG stream stored without its SOI marker
constexpr TkelJpegThumbKind tkJpegRebuilt = 3;  // bare entropy-coded data completed with a header template
constexpr TkelJpegThumbKind tkRGB = 4;          // raw 8-bit R,G,B triplets
constexpr TkelJpegThumbKind tkPalette = 7;      // 256-entry RGB palette followed by 8-bit indices
constexpr TkelJpegThumbKind tkYCbCr = 8;        // raw YCbCr samples

// A run of bytes in the file, offsets from the start of the JPEG.
struct TkelJpegBlock {
  int32_t Offset = 0;
  int32_t Size = 0;
  bool operator==(const TkelJpegBlock&) const = default;
};

// A picture outside the APPn segments, decoded after the main image.
struct TkelJpegPostThumb {
  int64_t Offset = 0;  // from the start of the JPEG
  int32_t Size = 0;
};

struct TkelJpegThumb {
  TkelJpegThumbKind Kind = tkJpeg;
  // Segment-data pictures: offset inside the handler's data (joined buffer or segment data).
  // Post thumbnails: offset from the start of the JPEG.
  int32_t Offset = 0;
  int32_t Size = 0;  // bytes the picture occupies (JPEG: bytes the decoder consumed)
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t ColorModel = 0;  // forced colour model given to the decoder, 0 = detect
  int32_t SubsamplingH = 0;
  int32_t SubsamplingV = 0;
  int32_t Completeness = 0;           // 0..100
  std::vector<TkelJpegBlock> Blocks;  // where the bytes lie in the file, in order
  std::unique_ptr<TBitmap32> Bitmap;  // decoded picture, may be absent
  std::unique_ptr<TMemoryStream> Data;  // JPEG kinds: the picture as a complete JPEG file
  bool IsPost = false;
  std::unique_ptr<TkelJpegID> JpegID;  // header copy of the decoder after this picture
  std::string Caption;

  TkelJpegThumb();
  ~TkelJpegThumb();
  TkelJpegThumb(TkelJpegThumb&&) noexcept;
  TkelJpegThumb& operator=(TkelJpegThumb&&) noexcept;
};

using PkelJpegThumb = TkelJpegThumb*;
using PkelJpegPostThumb = TkelJpegPostThumb*;

// A calendar date and time as read from Exif; Year 0 means absent ("0" of the collection).
struct TkelDateTime {
  int32_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
  bool IsZero() const { return Year == 0; }
  // "YYYY:MM:DD HH:MM:SS", the Exif spelling; empty when absent.
  std::string ToString() const;
  bool operator==(const TkelDateTime&) const = default;
};

}  // namespace vt
