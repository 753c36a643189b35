// Evidence about blocks at a place in the picture: how well a run of MCUs continues the decoded
// blocks around it (the sample steps across the block borders) and how well it agrees with the
// guide picture (mean levels). Lower costs fit better. Both are means, so runs of any length
// compare; each comes with the number of measurements behind it.
#pragma once

#include <cstdint>
#include <functional>

#include "jpeg/parser.h"
#include "repair/guide.h"

namespace vt::repair {

struct TFitCost {
  double Seam = 0;       // mean absolute step across borders with decoded neighbours
  int32_t SeamPairs = 0;
  double Guide = 0;      // mean absolute difference between block levels and the guide
  int32_t GuideBlocks = 0;
  // One figure: the seam where there are borders, else the guide (weighted when both exist).
  double Combined() const;
  bool Measured() const { return SeamPairs > 0 || GuideBlocks > 0; }
};

// The blocks of a run: block b (0 .. blocks per MCU - 1, scan component order) of the run's MCU i.
using TRunBlocks = std::function<const TkelCoefBlock*(int32_t i, int b)>;

class TEvidence {
 public:
  TEvidence(const TkelBaseJpegParser& image, const TGuide& guide);

  int32_t BlocksPerMCU() const { return blocksPerMCU_; }
  int32_t Total() const { return total_; }
  // The scan component of block b of an MCU, and the block's index inside that component.
  int ComponentOf(int b) const { return componentOf_[b]; }
  // The mean sample level a block's DC gives (plus shift DC steps).
  float Level(int sc, const TkelCoefBlock& block, int32_t shift = 0) const;
  // The block of the image's maps at MCU index mcu, block b; nullptr when not decoded.
  const TkelCoefBlock* MapBlock(int32_t mcu, int b) const;
  // Component block coordinates of block b of MCU index mcu.
  void BlockXY(int32_t mcu, int b, int32_t& bx, int32_t& by) const;

  // The cost of showing count MCUs of a run at MCU indices first .. first + count - 1, with
  // shift[sc] added to the DC of each of the run's blocks of scan component sc. Neighbours are
  // the image's decoded blocks outside [first, first + count) and outside [skipFirst, skipEnd).
  TFitCost Cost(const TRunBlocks& run, int32_t count, int32_t first, const int32_t shift[4] = nullptr,
                int32_t skipFirst = 0, int32_t skipEnd = 0) const;
  // The same for the image's own MCUs [first, first + count) where they stand.
  TFitCost CostInPlace(int32_t first, int32_t count) const;

  // How unlike a photo's block the coefficients are: the number of non-zero AC coefficients.
  // Zeroed data decodes into blocks with every AC coefficient set; a photo's blocks, even in
  // noisy texture at high quality, leave many of them zero.
  static double Strangeness(const TkelCoefBlock& block);

  const TGuide& Guide() const { return guide_; }
  const TkelBaseJpegParser& Image() const { return image_; }

 private:
  void Pixels(int sc, const TkelCoefBlock& block, int32_t shift, uint8_t out[64]) const;

  const TkelBaseJpegParser& image_;
  const TGuide& guide_;
  int32_t blocksPerMCU_ = 0;
  int32_t total_ = 0;
  int componentOf_[40] = {};
  int blockInComponent_[40] = {};
  const int32_t* quant512_[4] = {};
  float dcStep_[4] = {};  // sample levels per DC step
};

}  // namespace vt::repair
