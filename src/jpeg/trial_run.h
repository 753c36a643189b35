// A run of MCUs decoded on trial: from a chosen bit of the last sequential scan's data, with
// chosen DC predictors, into storage of its own. The maps, counters and restart state of the
// image stay as they were. The realignment judges where intact data resumes and which MCU it
// belongs to with such runs, and decodes the one it accepts straight into the maps (PlaceAt).
#pragma once

#include <cstdint>
#include <vector>

#include "jpeg/jpeg_map.h"

namespace vt {

// A bit of the data as Position * 8 + bit (bit 0 is the most significant of its byte).
using TkelBitPos = int64_t;

struct TkelTrialRun {
  // --- what to decode ---
  TkelBitPos Start = 0;
  int32_t MaxMCUs = 0;             // stops after this many MCUs
  int32_t Predictors[4] = {};      // DC predictors of the scan components at the start
  bool KeepBlocks = false;         // store the coefficient blocks (else only the positions)
  // From this MCU index on, the blocks go straight into the image's maps (with their offset
  // entries) instead; MCUs beyond the grid end the run. -1: a trial only.
  int32_t PlaceAt = -1;

  // --- what came out ---
  // jrOK when MaxMCUs were decoded; otherwise what stopped the run: jrBadData (an invalid code,
  // a coefficient index beyond 63, a marker that is no restart marker), jrEndOfData, or the code
  // of a restart marker the data ran into (208..215).
  int Result = 0;
  // The marker the data ran into when it stopped there (0xD0..0xD7, 0xD9, ...); 256 for the end
  // of the data; -1 when the run stopped for another reason.
  int StopMarker = -1;
  int32_t Count = 0;               // MCUs decoded without error
  std::vector<TkelBitPos> Ends;    // the bit after each decoded MCU (Count entries)
  // Count * BlocksPerMCU blocks when KeepBlocks, MCU by MCU; inside an MCU the scan components
  // in scan order and each component's blocks row by row, as the data holds them.
  std::vector<TkelCoefBlock> Blocks;
  int32_t EndPredictors[4] = {};   // DC predictors after the last decoded MCU
  int32_t BlocksPerMCU = 0;

  TkelBitPos EndOf(int32_t i) const { return Ends[static_cast<size_t>(i)]; }
  TkelBitPos StartOf(int32_t i) const { return i == 0 ? Start : Ends[static_cast<size_t>(i) - 1]; }
};

}  // namespace vt
