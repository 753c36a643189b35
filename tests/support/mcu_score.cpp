#include "support/mcu_score.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

#include "base/stream.h"
#include "jpeg/image.h"

namespace vt::test {

namespace {

constexpr int kTile = 8;
constexpr uint8_t kLibjpegGrey = 128;  // what libjpeg shows where it has no data (all-zero blocks)

struct TRect32 {
  int32_t X0, Y0, X1, Y1;
};

// RGB bytes from libjpeg's output (grey expanded).
Bytes ToRgb(const RefImage& ref) {
  if (ref.Components == 3) return ref.Pixels;
  Bytes out(size_t(ref.Width) * ref.Height * 3);
  for (size_t i = 0; i < size_t(ref.Width) * ref.Height; ++i) out[i * 3] = out[i * 3 + 1] = out[i * 3 + 2] = ref.Pixels[i];
  return out;
}

}  // namespace

void TMcuTally::Add(TMcuVerdict v) {
  if (v == TMcuVerdict::Right) ++Right;
  else if (v == TMcuVerdict::Wrong) ++Wrong;
  else ++Hole;
}

TMcuTally& TMcuTally::operator+=(const TMcuTally& o) {
  Right += o.Right;
  Wrong += o.Wrong;
  Hole += o.Hole;
  return *this;
}

double TMcuScore::RightOfRecoverable() const {
  return OfRecoverable.Total() ? 100.0 * double(OfRecoverable.Right) / double(OfRecoverable.Total()) : 0.0;
}

double TMcuScore::WrongOfAll() const { return All.Total() ? 100.0 * double(All.Wrong) / double(All.Total()) : 0.0; }

TMcuScore& TMcuScore::operator+=(const TMcuScore& o) {
  All += o.All;
  OfRecoverable += o.OfRecoverable;
  return *this;
}

TMcuScorer::TMcuScorer(const Bytes& intact, TScoreTolerance tolerance) : tolerance_(tolerance) {
  const RefImage ref = LibjpegDecode(intact);
  if (!ref.Ok) throw std::runtime_error("libjpeg cannot decode the intact photo: " + ref.Error);
  if (ref.Warnings != 0) throw std::runtime_error("libjpeg warns about the intact photo");
  width_ = ref.Width;
  height_ = ref.Height;
  reference_ = ToRgb(ref);

  TTempMemoryStream stream;
  stream.SetPointer(intact.data(), static_cast<int64_t>(intact.size()));
  TkelJpegImage image(0);
  const int result = image.LoadFromStream(stream, pfRecordSegments, 0);
  if (result != jrOK || image.DataErrors || !image.Offsets)
    throw std::runtime_error("our decoder does not decode the intact photo cleanly");
  mcuWidth_ = image.MCUWidth;
  mcuHeight_ = image.MCUHeight;
  cols_ = image.MCUsPerRow;
  rows_ = image.MCURows;
  first_.resize(size_t(cols_) * rows_);
  last_.resize(first_.size());
  for (int32_t row = 0; row < rows_; ++row)
    for (int32_t col = 0; col < cols_; ++col) {
      const TkelOffsetEntry* e = image.Offsets->Entry(col, row);
      if (!e || !e->Valid) throw std::runtime_error("the intact photo's offset map misses an MCU");
      const size_t i = size_t(row) * cols_ + col;
      first_[i] = size_t(e->StartByte);
      last_[i] = size_t(e->EndBit == 0 ? e->EndByte - 1 : e->EndByte);
    }

  // Our decoder's own difference to libjpeg, per 8x8 area and channel.
  const std::unique_ptr<TBitmap32> ours = image.TakeBitmap();
  if (!ours || ours->Width() != width_ || ours->Height() != height_)
    throw std::runtime_error("our decoder renders the intact photo at another size");
  ourTiles_.assign(TileIndex(0, height_ + 7), 0.0f);
  for (int32_t ty = 0; ty < height_; ty += kTile)
    for (int32_t tx = 0; tx < width_; tx += kTile) {
      double sum[3] = {0, 0, 0};
      int n = 0;
      for (int32_t y = ty; y < std::min(height_, ty + kTile); ++y)
        for (int32_t x = tx; x < std::min(width_, tx + kTile); ++x, ++n) {
          const TColor32 p = ours->Pixel(x, y);
          const uint8_t* q = &reference_[(size_t(y) * width_ + x) * 3];
          sum[0] += int(RedComponent(p)) - q[0];
          sum[1] += int(GreenComponent(p)) - q[1];
          sum[2] += int(BlueComponent(p)) - q[2];
        }
      for (int c = 0; c < 3; ++c) ourTiles_[TileIndex(tx, ty) + size_t(c)] = static_cast<float>(sum[c] / n);
    }
}

TBitmap32 TMcuScorer::Reference() const {
  TBitmap32 b(width_, height_);
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x) {
      const uint8_t* p = &reference_[(size_t(y) * width_ + x) * 3];
      b.SetPixel(x, y, Color32(p[0], p[1], p[2]));
    }
  return b;
}

TMcuScore TMcuScorer::Judge(const TDamage& damage, const TBitmap32& picture, const std::vector<float>* own) const {
  const int32_t w = picture.Width(), h = picture.Height();
  TMcuScore score;
  score.Cols = cols_;
  score.Rows = rows_;
  score.Verdicts.resize(size_t(cols_) * rows_);
  score.Recoverable.resize(score.Verdicts.size());
  for (int32_t row = 0; row < rows_; ++row)
    for (int32_t col = 0; col < cols_; ++col) {
      const size_t i = size_t(row) * cols_ + col;
      const TRect32 r{col * mcuWidth_, row * mcuHeight_, std::min(width_, (col + 1) * mcuWidth_),
                      std::min(height_, (row + 1) * mcuHeight_)};
      const int64_t pixels = int64_t(r.X1 - r.X0) * (r.Y1 - r.Y0);
      int64_t holes = 0;
      bool right = true;
      for (int32_t ty = r.Y0; ty < r.Y1; ty += kTile)
        for (int32_t tx = r.X0; tx < r.X1; tx += kTile) {
          double sum[3] = {0, 0, 0};
          int n = 0;
          for (int32_t y = ty; y < std::min(r.Y1, ty + kTile); ++y) {
            const TColor32* row = y < h ? picture.ScanLine(y) : nullptr;
            for (int32_t x = tx; x < std::min(r.X1, tx + kTile); ++x) {
              const TColor32 p = row && x < w ? row[x] : 0;
              if (AlphaComponent(p) == 0) {
                ++holes;
                right = false;  // a picture with part of an MCU missing does not show it right
                continue;
              }
              const uint8_t* q = &reference_[(size_t(y) * width_ + x) * 3];
              const int d[3] = {int(RedComponent(p)) - q[0], int(GreenComponent(p)) - q[1], int(BlueComponent(p)) - q[2]};
              for (int c = 0; c < 3; ++c) {
                sum[c] += d[c];
                if (std::abs(d[c]) > tolerance_.PixelMax) right = false;
              }
              ++n;
            }
          }
          if (n > 0)
            for (int c = 0; c < 3; ++c) {
              const double expected = own ? (*own)[TileIndex(tx, ty) + size_t(c)] : 0.0;
              if (std::abs(sum[c] / n - expected) > tolerance_.TileMean) right = false;
            }
        }
      const TMcuVerdict v = double(holes) > tolerance_.HoleShare * double(pixels) ? TMcuVerdict::Hole
                            : right                                               ? TMcuVerdict::Right
                                                                                  : TMcuVerdict::Wrong;
      score.Verdicts[i] = v;
      score.Recoverable[i] = damage.Touches(first_[i], last_[i]) ? 0 : 1;
      score.All.Add(v);
      if (score.Recoverable[i]) score.OfRecoverable.Add(v);
    }
  return score;
}

TMcuScore TMcuScorer::Score(const TDamage& damage, const TBitmap32& result) const {
  return Judge(damage, result, &ourTiles_);
}

TBitmap32 TMcuScorer::LibjpegPicture(const Bytes& damaged) const {
  const RefImage ref = LibjpegDecode(damaged);
  if (!ref.Ok || ref.Width != width_ || ref.Height != height_) return TBitmap32();
  const Bytes rgb = ToRgb(ref);
  TBitmap32 picture(width_, height_);
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x) {
      const uint8_t* p = &rgb[(size_t(y) * width_ + x) * 3];
      picture.SetPixel(x, y, Color32(p[0], p[1], p[2]));
    }
  // MCUs libjpeg filled with its flat grey are holes.
  const TColor32 grey = Color32(kLibjpegGrey, kLibjpegGrey, kLibjpegGrey);
  for (int32_t row = 0; row < rows_; ++row)
    for (int32_t col = 0; col < cols_; ++col) {
      const int32_t x0 = col * mcuWidth_, y0 = row * mcuHeight_;
      const int32_t x1 = std::min(width_, x0 + mcuWidth_), y1 = std::min(height_, y0 + mcuHeight_);
      bool flat = true;
      for (int32_t y = y0; y < y1 && flat; ++y)
        for (int32_t x = x0; x < x1 && flat; ++x) flat = picture.Pixel(x, y) == grey;
      if (!flat) continue;
      for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x) picture.SetPixel(x, y, 0);
    }
  return picture;
}

TMcuScore TMcuScorer::ScoreLibjpeg(const TDamage& damage, const Bytes& damaged) const {
  return ScorePeer(damage, LibjpegPicture(damaged));
}

TMcuScore TMcuScorer::ScorePeer(const TDamage& damage, const TBitmap32& picture) const {
  return Judge(damage, picture, nullptr);
}

TBitmap32 VerdictPicture(const TMcuScore& score, int32_t mcuWidth, int32_t mcuHeight, int32_t width, int32_t height) {
  TBitmap32 b(width, height);
  for (int32_t row = 0; row < score.Rows; ++row)
    for (int32_t col = 0; col < score.Cols; ++col) {
      const size_t i = size_t(row) * score.Cols + col;
      const bool bright = score.Recoverable[i] != 0;
      TColor32 c;
      switch (score.Verdicts[i]) {
        case TMcuVerdict::Right: c = bright ? Color32(40, 200, 60) : Color32(20, 100, 30); break;
        case TMcuVerdict::Wrong: c = bright ? Color32(230, 40, 40) : Color32(120, 20, 20); break;
        default: c = bright ? Color32(170, 170, 170) : Color32(80, 80, 80); break;
      }
      const TColor32 edge = Color32(RedComponent(c) * 3 / 4, GreenComponent(c) * 3 / 4, BlueComponent(c) * 3 / 4);
      for (int32_t y = row * mcuHeight; y < std::min(height, (row + 1) * mcuHeight); ++y)
        for (int32_t x = col * mcuWidth; x < std::min(width, (col + 1) * mcuWidth); ++x) {
          const bool border = mcuWidth >= 8 && (x == col * mcuWidth || y == row * mcuHeight);
          b.SetPixel(x, y, border ? edge : c);
        }
    }
  return b;
}

}  // namespace vt::test
