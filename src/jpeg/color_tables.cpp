#include "jpeg/color_tables.h"

#include <cmath>

namespace vt {

namespace {

TkelColorTables Build() {
  TkelColorTables t{};
  for (int i = 0; i < 256; ++i) {
    // std::nearbyint rounds halves to even in the default rounding mode.
    t.Luma[i] = i * 1024;
    t.CrR[i] = int32_t(std::nearbyint(i * 1435.648));
    t.CbG[i] = int32_t(std::nearbyint(i * -352.39936));
    t.CrG[i] = int32_t(std::nearbyint(i * -731.27936));
    t.CbB[i] = int32_t(std::nearbyint(i * 1814.528));
  }
  return t;
}

}  // namespace

const TkelColorTables& ColorTables() {
  static const TkelColorTables tables = Build();  // thread-safe one-time construction
  return tables;
}

namespace {
// Build the tables while the program starts, so the first decode does not pay for it.
[[maybe_unused]] const TkelColorTables& gBuiltAtStart = ColorTables();
}  // namespace

}  // namespace vt
