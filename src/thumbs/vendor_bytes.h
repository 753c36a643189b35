// Small readers for the vendor preview handlers. Every caller has checked that the bytes it
// reads lie inside the segment's available length.
#pragma once

#include <cstdint>
#include <cstring>

#include "jpeg/markers.h"


namespace vt::vendor {

constexpr uint8_t kApp1 = mkAPP1, kApp2 = mkAPP2, kApp3 = mkAPP0 + 3, kApp4 = mkAPP0 + 4, kApp5 = mkAPP0 + 5,
                  kApp10 = mkAPP0 + 10;

// True when the n bytes of text (no terminator counted) stand at offset, inside available bytes.
inline bool HasText(const uint8_t* data, int32_t available, int32_t offset, const char* text, int32_t n) {
  return offset >= 0 && available >= offset + n && std::memcmp(data + offset, text, size_t(n)) == 0;
}

// FF D8 FF (the start of a JPEG stream) at offset.
inline bool HasSoi(const uint8_t* data, int32_t available, int32_t offset) {
  return offset >= 0 && offset <= available && IsStartOfImage(data + offset, available - offset);
}

inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline int32_t Be32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]));
}

}  // namespace vt::vendor
