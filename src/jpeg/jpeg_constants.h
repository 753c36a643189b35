// Result codes, parse flags and colour-model codes of the decoder, as plain integers.
#pragma once

#include <cstdint>

namespace vt {

// Result codes of every decoding operation.
constexpr int jrOK = 0;
constexpr int jrEndOfData = 1;
constexpr int jrBadStructure = 2;
constexpr int jrUnsupportedProcess = 3;
constexpr int jrUnsupportedColorModel = 4;
constexpr int jrBadData = 5;

// Name of a result code ("jrOK", ...); "jrUnknown" for other values.
const char* ResultCodeName(int code);

// Parse flags (bits of TkelBaseJpegParser::Flags).
constexpr uint16_t pfHeadersOnly = 1;
constexpr uint16_t pfResumeAtScan = 2;
constexpr uint16_t pfNoSOI = 4;
constexpr uint16_t pfStopWhenComplete = 8;
constexpr uint16_t pfLimit16M = 32;
constexpr uint16_t pfRecordSegments = 64;
constexpr uint16_t pfNoRender = 128;
constexpr uint16_t pfNoRestartSearch = 256;
// The search for the next restart marker also stops at a start-of-image or scan header marker
// (for judging candidates of a deep scan: data of a following picture is not searched through).
constexpr uint16_t pfSearchStopsAtHeaders = 512;

// Colour models (GetColorModel; 0 = none / detect).
constexpr int cmGray = 1;
constexpr int cmGrayAlpha = 2;
constexpr int cmRGB = 3;
constexpr int cmRGBA = 4;
constexpr int cmYCbCr = 5;
constexpr int cmYCbCrSwapped = 6;
constexpr int cmFourComponent = 7;
constexpr int cmCMYK = 8;
constexpr int cmFourComponentICC = 9;
constexpr int cmYCCK = 10;
constexpr int cmYCc = 11;
constexpr int cmYCcA = 12;
constexpr int cmG3Fax = 13;

}  // namespace vt
