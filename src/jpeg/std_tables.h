// Fixed tables of the JPEG standard (ITU-T T.81): the zig-zag order and the example
// quantisation and Huffman tables of its Annex K, shared by the decoder, the writer and the
// header templates of the thumbnail handlers.
#pragma once

#include <cstdint>

namespace vt {

// kZigZag[i] is the natural (row-major) position of the i-th coefficient in zig-zag order.
extern const uint8_t kZigZag[64];

// Annex K.1 quantisation tables in natural (row-major) order.
extern const uint8_t kStdLuminanceQuant[64];
extern const uint8_t kStdChrominanceQuant[64];

// Annex K.3 Huffman tables: 16 code counts, then the values in order.
struct TStdHuffmanTable {
  uint8_t Counts[16];
  const uint8_t* Values;
  int ValueCount;
};
extern const TStdHuffmanTable kStdDcLuminance;
extern const TStdHuffmanTable kStdAcLuminance;
extern const TStdHuffmanTable kStdDcChrominance;
extern const TStdHuffmanTable kStdAcChrominance;

}  // namespace vt
