// Judging a decoded picture MCU by MCU against the intact photo as libjpeg decodes it (accurate
// integer IDCT, no fancy upsampling: `djpeg -nosmooth -dct int`).
//
// Each MCU is a hole (most of its pixels transparent: nothing decoded there), right (its pixels
// match the reference within the tolerance below) or wrong. Each MCU is recoverable when the
// bytes of its entropy-coded data in the intact file lie outside every damaged range, that is,
// when the damaged file still holds it and a decoder could show it. The MCUs' byte ranges come
// from our decoder's offset map of the intact file.
//
// The tolerance. Our decoder and libjpeg differ a little on intact data: our IDCT and colour
// conversion truncate where libjpeg rounds, up to 4 levels on a pixel, and the mean difference
// of an 8x8 area in one channel ranges from about -3.75 to +2.5 levels with the area's colours.
// A DC coefficient a few quantisation steps off moves its block by less than that (a step is
// quant/8 levels: 0.25 to 0.4 at quality 90 to 95), so it cannot be told by the distance to
// libjpeg's pixels alone. Each 8x8 area of an MCU is judged twice, per channel:
// - every pixel within PixelMax of libjpeg's intact picture (twice our largest rounding
//   difference; a shifted or garbled block misses it by tens of levels);
// - the area's mean signed difference to libjpeg's intact picture within TileMean of the same
//   mean for the intact photo as the judged decoder shows it (for our decoder measured once on
//   the intact file; none for libjpeg). At 0.5 levels a luma DC two steps off at quality 90
//   (three at 95) is wrong, and so is a chroma DC three steps off where the colour is not
//   clipped; a single luma step (a quarter to a third of a level) passes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bitmap/bitmap32.h"
#include "support/damage.h"
#include "support/test_support.h"

namespace vt::test {

enum class TMcuVerdict : uint8_t { Right, Wrong, Hole };

struct TScoreTolerance {
  // Largest change of an 8x8 area's mean in one channel against the decoder's own intact picture.
  double TileMean = 0.5;
  // Largest difference of one channel of one pixel from libjpeg's intact picture.
  int PixelMax = 8;
  // An MCU is a hole when more than this share of its pixels is transparent (alpha 0).
  double HoleShare = 0.5;
};

struct TMcuTally {
  int64_t Right = 0, Wrong = 0, Hole = 0;
  int64_t Total() const { return Right + Wrong + Hole; }
  void Add(TMcuVerdict v);
  TMcuTally& operator+=(const TMcuTally& o);
};

struct TMcuScore {
  int32_t Cols = 0, Rows = 0;
  std::vector<TMcuVerdict> Verdicts;  // by linear MCU index
  std::vector<uint8_t> Recoverable;   // 1 when the MCU's intact bytes are untouched
  TMcuTally All;                      // every MCU
  TMcuTally OfRecoverable;            // the recoverable MCUs only

  // The figures of a damaged file: per cent of the recoverable MCUs shown right, and per cent
  // of all MCUs shown wrong (0 when there are none).
  double RightOfRecoverable() const;
  double WrongOfAll() const;
  TMcuScore& operator+=(const TMcuScore& o);  // adds the tallies (not the maps)
};

// Prepared once per intact photo: the reference pixels and every MCU's byte range.
class TMcuScorer {
 public:
  // Raises std::runtime_error when libjpeg or our decoder cannot decode intact completely.
  explicit TMcuScorer(const Bytes& intact, TScoreTolerance tolerance = {});

  // Our result: a TBitmap32 of the frame's size (ARGB, alpha 0 = hole). A result of another size
  // is judged on the common area; MCUs outside it are holes.
  TMcuScore Score(const TDamage& damage, const TBitmap32& result) const;
  // libjpeg on the damaged bytes, as the peer: an MCU it left uniformly mid-grey (what it shows
  // where it has no data) is a hole. A file libjpeg refuses is all holes.
  TMcuScore ScoreLibjpeg(const TDamage& damage, const Bytes& damaged) const;
  // libjpeg's picture of the damaged bytes with those grey MCUs transparent; empty when
  // libjpeg refuses the file.
  TBitmap32 LibjpegPicture(const Bytes& damaged) const;
  // Judges such a picture of libjpeg's against libjpeg's intact picture alone.
  TMcuScore ScorePeer(const TDamage& damage, const TBitmap32& libjpegPicture) const;

  int32_t Cols() const { return cols_; }
  int32_t Rows() const { return rows_; }
  int32_t MCUWidth() const { return mcuWidth_; }
  int32_t MCUHeight() const { return mcuHeight_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // The reference as a bitmap (opaque), for pictures of the results.
  TBitmap32 Reference() const;
  // The first and last byte of the MCU's entropy-coded data in the intact file.
  size_t FirstByte(int32_t mcu) const { return first_[size_t(mcu)]; }
  size_t LastByte(int32_t mcu) const { return last_[size_t(mcu)]; }
  const TScoreTolerance& Tolerance() const { return tolerance_; }

 private:
  // own: the judged decoder's mean difference per 8x8 area and channel on the intact photo
  // (null: none).
  TMcuScore Judge(const TDamage& damage, const TBitmap32& picture, const std::vector<float>* own) const;
  size_t TileIndex(int32_t x, int32_t y) const { return (size_t(y / 8) * size_t((width_ + 7) / 8) + size_t(x / 8)) * 3; }

  TScoreTolerance tolerance_;
  int32_t width_ = 0, height_ = 0;
  int32_t mcuWidth_ = 0, mcuHeight_ = 0, cols_ = 0, rows_ = 0;
  Bytes reference_;  // RGB
  std::vector<size_t> first_, last_;
  std::vector<float> ourTiles_;  // our decoder's mean difference per 8x8 area and channel
};

// Writes a verdict map: one cell per MCU, green right, red wrong, grey hole; recoverable MCUs
// bright, the others dark. The map has the picture's size.
TBitmap32 VerdictPicture(const TMcuScore& score, int32_t mcuWidth, int32_t mcuHeight, int32_t width, int32_t height);

}  // namespace vt::test
