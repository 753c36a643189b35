// Integer YCbCr-to-RGB tables, built once: entry i = i x factor, rounded to nearest (ties to
// even). R = (Luma[Y] + CrR[Cr] + kRedOffset) / 1024, G = (Luma[Y] + CbG[Cb] + CrG[Cr] +
// kGreenOffset) / 1024, B = (Luma[Y] + CbB[Cb] + kBlueOffset) / 1024, truncating toward zero.
#pragma once

#include <cstdint>

namespace vt {

struct TkelColorTables {
  int32_t Luma[256];
  int32_t CrR[256];
  int32_t CbG[256];
  int32_t CrG[256];
  int32_t CbB[256];
};

constexpr int32_t kRedOffset = -183763;
constexpr int32_t kGreenOffset = 138790;
constexpr int32_t kBlueOffset = -232260;

// The process-wide tables (built on first use, thread-safe).
const TkelColorTables& ColorTables();

}  // namespace vt
