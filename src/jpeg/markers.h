// The marker codes of ITU-T T.81 that the program names (the byte that follows FF), and the
// one test by which a JPEG stream is recognised: FF D8 FF, a start-of-image marker followed by
// the first byte of the next marker.
#pragma once

#include <cstdint>

namespace vt {

constexpr int mkSOF0 = 0xC0;  // baseline sequential
constexpr int mkSOF1 = 0xC1;  // extended sequential, Huffman
constexpr int mkSOF2 = 0xC2;  // progressive, Huffman
constexpr int mkDHT = 0xC4;
constexpr int mkJPG = 0xC8;   // reserved: not a frame
constexpr int mkDAC = 0xCC;   // arithmetic-coding conditioning: not a frame
constexpr int mkSOF15 = 0xCF;
constexpr int mkRST0 = 0xD0;
constexpr int mkRST7 = 0xD7;
constexpr int mkSOI = 0xD8;
constexpr int mkEOI = 0xD9;
constexpr int mkSOS = 0xDA;
constexpr int mkDQT = 0xDB;
constexpr int mkDNL = 0xDC;
constexpr int mkDRI = 0xDD;
constexpr int mkAPP0 = 0xE0;
constexpr int mkAPP1 = 0xE1;
constexpr int mkAPP2 = 0xE2;
constexpr int mkAPP13 = 0xED;
constexpr int mkAPP14 = 0xEE;
constexpr int mkAPP15 = 0xEF;
constexpr int mkCOM = 0xFE;

constexpr bool IsRestartMarker(int m) { return m >= mkRST0 && m <= mkRST7; }
constexpr bool IsAppOrCom(int m) { return (m >= mkAPP0 && m <= mkAPP15) || m == mkCOM; }
// SOF0 to SOF15 without DHT, JPG and DAC, which share the range.
constexpr bool IsFrameMarker(int m) { return m >= mkSOF0 && m <= mkSOF15 && m != mkDHT && m != mkJPG && m != mkDAC; }
// The restart marker that follows m (RST7 is followed by RST0).
constexpr int RestartMarkerAfter(int m) { return m == mkRST7 ? mkRST0 : m + 1; }

// Whether the available bytes at p begin a JPEG stream: FF D8 FF.
constexpr bool IsStartOfImage(const uint8_t* p, int64_t available) {
  return available >= 3 && p[0] == 0xFF && p[1] == mkSOI && p[2] == 0xFF;
}

}  // namespace vt
