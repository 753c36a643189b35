// Byte-order reversal for the big-endian numbers of JPEG segments.
#pragma once

#include <cstdint>

namespace vt {

inline uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }

inline uint32_t Swap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

}  // namespace vt
