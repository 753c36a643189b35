// What a repair did, place by place, with the evidence behind each decision: `info` reports it
// (`first_damage`, `repairs`), and the viewer's status line tells it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vt::repair {

// One damaged place of the scan and what was done there. The engine gives byte offsets as
// Position values (from where the data's stream began); the decode that reports them to the
// user turns them into offsets in the file.
struct TRepairPlace {
  int64_t DamageBegin = -1;      // byte offsets of the damaged data
  int64_t DamageEnd = -1;
  int32_t FirstMCU = -1;         // the first MCU the damage touched
  int32_t ClearedMCUs = 0;       // MCUs decoded from damaged bytes, made holes again
  int64_t ResumeByte = -1;       // where intact data was found again, or -1
  int ResumeBit = 0;
  int32_t ResumeMCU = -1;        // the MCU that data belongs to
  int32_t ResumedMCUs = 0;       // MCUs placed from there
  int32_t DCCorrection[4] = {};  // the constant added to each component's DC in the resumed run
  std::string Evidence;          // which evidence decided, in a few words
};

// Restart intervals placed by counting.
struct TIntervalPlacement {
  int32_t Segments = 0;          // stretches of data between restart markers
  int32_t Moved = 0;             // intervals placed elsewhere than the marker number put them
  int32_t Dropped = 0;           // stretches of data placed nowhere (another picture's data)
  int32_t Trimmed = 0;           // MCUs cleared at the end of damaged intervals
};

struct TRepairReport {
  bool Damaged = false;          // the scan's data has errors
  int32_t FirstDamageMCU = -1;   // where the damage starts (MCU index), -1 when unknown
  int64_t FirstDamageByte = -1;  // ... and the byte offset of its data
  // The search for where the damage starts was put off (picture_repair.h, FinishDamageSearch).
  bool FirstDamagePending = false;
  TIntervalPlacement Intervals;
  std::vector<TRepairPlace> Places;
};

}  // namespace vt::repair
