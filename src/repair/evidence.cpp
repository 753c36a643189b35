#include "repair/evidence.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "jpeg/idct.h"

namespace vt::repair {

namespace {

constexpr int kMaxBlocksPerMCU = 10;  // the JPEG standard's bound for an interleaved scan
constexpr float kGuideCap = 64.0f;    // one wild block must not outweigh a run's agreement

}  // namespace

double TFitCost::Combined() const {
  if (SeamPairs > 0 && GuideBlocks > 0) return 0.7 * Seam + 0.3 * Guide;
  if (SeamPairs > 0) return Seam;
  return Guide;
}

TEvidence::TEvidence(const TkelBaseJpegParser& image, const TGuide& guide) : image_(image), guide_(guide) {
  total_ = image.MCUsPerRow * image.MCURows;
  for (int i = 0; i < image.ScanComponentCount; ++i) {
    const TkelScanComponent& sc = image.ScanComponents[i];
    const int n = sc.BlocksAcross * sc.BlocksDown;
    for (int b = 0; b < n && blocksPerMCU_ < kMaxBlocksPerMCU; ++b) {
      componentOf_[blocksPerMCU_] = i;
      blockInComponent_[blocksPerMCU_] = b;
      ++blocksPerMCU_;
    }
    const TkelQuantTable& q = image.QuantTables[sc.QuantTable & 3];
    quant512_[i] = q.Scaled512;
    dcStep_[i] = static_cast<float>(q.Scaled512[0]) / 512.0f / 8.0f;
  }
}

float TEvidence::Level(int sc, const TkelCoefBlock& block, int32_t shift) const {
  return 128.0f + static_cast<float>(block.Coef[0] + shift) * dcStep_[sc];
}

const TkelCoefBlock* TEvidence::MapBlock(int32_t mcu, int b) const {
  if (mcu < 0 || mcu >= total_ || b < 0 || b >= blocksPerMCU_) return nullptr;
  const TkelCoefBlock* blk = image_.BlockOfMCU(componentOf_[b], blockInComponent_[b], mcu);
  return blk && blk->Decoded ? blk : nullptr;
}

void TEvidence::BlockXY(int32_t mcu, int b, int32_t& bx, int32_t& by) const {
  const TkelScanComponent& sc = image_.ScanComponents[componentOf_[b]];
  const int i = blockInComponent_[b];
  bx = (mcu % image_.MCUsPerRow) * sc.BlocksAcross + i % sc.BlocksAcross;
  by = (mcu / image_.MCUsPerRow) * sc.BlocksDown + i / sc.BlocksAcross;
}

void TEvidence::Pixels(int sc, const TkelCoefBlock& block, int32_t shift, uint8_t out[64]) const {
  if (shift == 0) {
    InverseDct(block.Coef, quant512_[sc], out, 8);
    return;
  }
  TkelCoefBlock shifted = block;
  shifted.Coef[0] = static_cast<int16_t>(std::clamp<int32_t>(block.Coef[0] + shift, INT16_MIN, INT16_MAX));
  InverseDct(shifted.Coef, quant512_[sc], out, 8);
}

TFitCost TEvidence::Cost(const TRunBlocks& run, int32_t count, int32_t first, const int32_t shift[4],
                         int32_t skipFirst, int32_t skipEnd) const {
  TFitCost cost;
  double seamSum = 0, guideSum = 0;
  const int32_t perRow = image_.MCUsPerRow;
  auto inside = [&](int32_t m) {
    return (m >= first && m < first + count) || (m >= skipFirst && m < skipEnd);
  };
  for (int32_t k = 0; k < count; ++k) {
    const int32_t mcu = first + k;
    if (mcu < 0 || mcu >= total_) continue;
    for (int b = 0; b < blocksPerMCU_; ++b) {
      const TkelCoefBlock* blk = run(k, b);
      if (!blk || !blk->Decoded) continue;
      const int sc = componentOf_[b];
      const int32_t sh = shift ? shift[sc] : 0;
      int32_t bx, by;
      BlockXY(mcu, b, bx, by);
      const float g = guide_.Level(sc, bx, by);
      if (g >= 0) {
        guideSum += std::min(std::fabs(Level(sc, *blk, sh) - g), kGuideCap);
        ++cost.GuideBlocks;
      }
      const TkelScanComponent& c = image_.ScanComponents[sc];
      uint8_t own[64];
      bool haveOwn = false;
      static constexpr int kDx[4] = {0, 0, -1, 1}, kDy[4] = {-1, 1, 0, 0};
      for (int d = 0; d < 4; ++d) {
        const int32_t nx = bx + kDx[d], ny = by + kDy[d];
        if (nx < 0 || ny < 0 || nx >= perRow * c.BlocksAcross) continue;
        const int32_t nm = (ny / c.BlocksDown) * perRow + nx / c.BlocksAcross;
        if (nm >= total_ || inside(nm)) continue;
        const int nb = (ny % c.BlocksDown) * c.BlocksAcross + nx % c.BlocksAcross;
        const TkelCoefBlock* other = image_.BlockOfMCU(sc, nb, nm);
        if (!other || !other->Decoded) continue;
        if (!haveOwn) {
          Pixels(sc, *blk, sh, own);
          haveOwn = true;
        }
        uint8_t theirs[64];
        Pixels(sc, *other, 0, theirs);
        int sum = 0;
        for (int t = 0; t < 8; ++t) {
          int a, z;
          switch (d) {
            case 0: a = own[t], z = theirs[56 + t]; break;          // neighbour above
            case 1: a = own[56 + t], z = theirs[t]; break;          // below
            case 2: a = own[t * 8], z = theirs[t * 8 + 7]; break;   // left
            default: a = own[t * 8 + 7], z = theirs[t * 8]; break;  // right
          }
          sum += std::abs(a - z);
        }
        seamSum += sum / 8.0;
        ++cost.SeamPairs;
      }
    }
  }
  if (cost.SeamPairs > 0) cost.Seam = seamSum / cost.SeamPairs;
  if (cost.GuideBlocks > 0) cost.Guide = guideSum / cost.GuideBlocks;
  return cost;
}

TFitCost TEvidence::CostInPlace(int32_t first, int32_t count) const {
  return Cost([&](int32_t i, int b) { return MapBlock(first + i, b); }, count, first);
}

double TEvidence::Strangeness(const TkelCoefBlock& block) {
  int nonZero = 0;
  for (int k = 1; k < 64; ++k)
    if (block.Coef[k] != 0) ++nonZero;
  return nonZero;
}

}  // namespace vt::repair
