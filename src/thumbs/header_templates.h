// The three fixed abbreviated JPEG headers that thumbnail handlers put in front of bare
// entropy-coded data: SOI, one DQT with two tables, one DHT with the four Huffman tables of
// ITU-T T.81 Annex K.3, SOF0 (3 components, luma sampled 2x1) and SOS. 589 bytes each.
//
//   HeaderTemplateA: Annex K.1 tables at quality 85 ((v * 30 + 50) div 100, at least 1), 160 x 120
//   HeaderTemplateB: HeaderTemplateC's tables scaled by (v * 113 + 50) div 100,            160 x 120
//   HeaderTemplateC: Annex K.1 tables, luminance zig-zag 31 = 61 and 53 = 94,              640 x 480
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vt {

inline constexpr int kHeaderTemplateSize = 589;
using THeaderTemplate = std::array<uint8_t, kHeaderTemplateSize>;

// Byte offsets inside every template.
inline constexpr int kTemplateTable0Offset = 7;   // 64 luminance values in zig-zag order
inline constexpr int kTemplateTable1Offset = 72;  // 64 chrominance values in zig-zag order
inline constexpr int kTemplateDhtOffset = 136;
inline constexpr int kTemplateSofOffset = 556;
inline constexpr int kTemplateHeightOffset = 561;  // big-endian 16-bit
inline constexpr int kTemplateWidthOffset = 563;   // big-endian 16-bit
inline constexpr int kTemplateSosOffset = 575;

const THeaderTemplate& HeaderTemplateA();
const THeaderTemplate& HeaderTemplateB();
const THeaderTemplate& HeaderTemplateC();

// Writes width and height big-endian into the SOF of a template copy (at least 589 bytes).
void SetTemplateSize(uint8_t* header, uint16_t width, uint16_t height);

// A copy of the template as a growable byte vector, ready for data to be appended.
std::vector<uint8_t> TemplateCopy(const THeaderTemplate& header);

}  // namespace vt
