// The state of a range of MCUs, kept so that an edit of the grid, a re-decode or a realignment
// can be taken back: every block of every scan component (its Decoded mark and its non-zero
// coefficients only, so a typical block costs a third of its cell and a hole nothing), the
// MCU's offset entry, and the decoder's counts that a re-decode changes (DecodedPercent, data
// errors). Restoring puts the range back exactly as saved: cells that were absent read as absent
// again (zeroed), whatever was decoded into them since.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jpeg/jpeg_map.h"

namespace vt {

class TkelBaseJpegParser;

struct TkelMCUSnapshot {
  int32_t First = 0;
  int32_t End = 0;                       // MCUs [First, End)
  std::vector<int32_t> Held;             // the MCUs of the range that held a block or an entry
  std::vector<uint32_t> Start;           // where each one's blocks begin in Packed
  std::vector<int16_t> Packed;           // per block: a header (see the .cpp), then its coefficients
  std::vector<TkelOffsetEntry> Offsets;  // per held MCU
  bool DataErrors = false;
  int32_t ExpectedMCUs[4] = {};
  int32_t DecodedMCUs[4] = {};

  size_t Bytes() const;
};

// The MCUs [first, end) of the last scan (end is clamped to the grid).
TkelMCUSnapshot SaveMCUs(const TkelBaseJpegParser& image, int32_t first, int32_t end);
// Puts them back, and the counts with them.
void RestoreMCUs(TkelBaseJpegParser& image, const TkelMCUSnapshot& snapshot);

}  // namespace vt
