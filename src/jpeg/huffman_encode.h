// Huffman encoding for the baseline writer: encoding tables derived from code counts and values
// in canonical order, and the sequential (DC + AC) encoding of one block.
#pragma once

#include <bit>
#include <cstdint>

#include "jpeg/bit_writer.h"
#include "jpeg/std_tables.h"

namespace vt {

struct TkelHuffmanEncodeTable {
  uint8_t Counts[16] = {};     // number of codes of each length 1..16
  uint8_t Values[256] = {};    // symbol values in code order
  int ValueCount = 0;
  uint8_t CodeLength[256] = {};  // per symbol value; 0 = the table has no code for it
  uint16_t Code[256] = {};
  uint32_t Packed[256] = {};  // Code << 8 | CodeLength: one load per symbol while encoding
};

// Assigns codes in canonical order (as a decoder derives them). Returns false when the counts
// describe more codes than fit (the table is then left empty).
bool BuildEncodeTable(const uint8_t counts[16], const uint8_t* values, int valueCount,
                      TkelHuffmanEncodeTable& table);
void BuildEncodeTable(const TStdHuffmanTable& source, TkelHuffmanEncodeTable& table);

// Number of bits of |v| (0 for 0).
inline int BitSize(int32_t v) {
  const int32_t sign = v >> 31;
  const uint32_t a = static_cast<uint32_t>((v ^ sign) - sign);
  return static_cast<int>(std::bit_width(a));
}

// Encodes one block of 64 quantised coefficients (natural order) with a DC difference against
// predictor (which becomes the block's DC). Values beyond what the standard tables can code
// (DC outside -1024..1023, AC outside -1023..1023, only possible in damaged or non-8-bit data)
// are clamped so that the output stays decodable.
void EncodeBlock(TkelBitWriter& out, const TkelHuffmanEncodeTable& dc, const TkelHuffmanEncodeTable& ac,
                 const int16_t* block, int32_t& predictor);

}  // namespace vt
