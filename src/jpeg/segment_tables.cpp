// Table segments: quantisation tables (DQT), Huffman tables (DHT), restart interval (DRI).
#include <cstring>

#include "jpeg/parser.h"
#include "jpeg/std_tables.h"

namespace vt {

int TkelBaseJpegParser::ParseQuantTables(const uint8_t* p, int32_t n) {
  int32_t pos = 0;
  while (pos < n) {
    const int precision = p[pos] >> 4;
    const int number = p[pos] & 0x0F;
    ++pos;
    if (precision > 1 || number > 3) return jrBadData;
    const int32_t need = precision == 0 ? 64 : 128;
    if (n - pos < need) return jrBadData;
    TkelQuantTable& q = QuantTables[number];
    for (int i = 0; i < 64; ++i) {
      const uint16_t v = precision == 0 ? p[pos + i]
                                        : static_cast<uint16_t>((p[pos + 2 * i] << 8) | p[pos + 2 * i + 1]);
      q.Entries[i] = v;
      q.Scaled512[kZigZag[i]] = static_cast<int32_t>(v) * 512;
      q.Scaled8[kZigZag[i]] = static_cast<int32_t>(v) * 8;
    }
    q.Defined = 1;
    pos += need;
  }
  return jrOK;
}

int TkelBaseJpegParser::ParseHuffmanTables(const uint8_t* p, int32_t n) {
  int32_t pos = 0;
  while (pos < n) {
    const int cls = p[pos] >> 4;
    const int number = p[pos] & 0x0F;
    ++pos;
    if (cls > 1 || number > 3) return jrBadData;
    TkelHuffmanTable& t = cls == 0 ? DcTables[number] : AcTables[number];
    t.MinLength = 1;
    t.Built = 0;  // the code ranges no longer match once the counts change
    if (n - pos < 16) return jrBadData;
    t.Counts[0] = 0;
    for (int l = 1; l <= 16; ++l) t.Counts[l] = p[pos + l - 1];
    pos += 16;
    t.MinLength = 17;
    for (int l = 16; l >= 1; --l)
      if (t.Counts[l] != 0) t.MinLength = l;
    int total = 0;
    for (int l = 1; l <= 16; ++l) {
      const int c = t.Counts[l];
      if (n - pos < c || total + c > 256) return jrBadData;
      for (int i = 0; i < c; ++i) t.Values[total + i] = p[pos + i];
      total += c;
      pos += c;
    }
    t.Defined = 1;
    t.Built = 0;
  }
  return jrOK;
}

bool TkelBaseJpegParser::UseStandardHuffmanTable(int cls, int number) {
  TkelHuffmanTable& t = cls == 0 ? DcTables[number] : AcTables[number];
  if (t.Defined) return true;
  // Motion-JPEG frames leave out DHT and rely on the tables of the JPEG standard's Annex K:
  // luminance in slot 0, chrominance in slot 1 (as libjpeg fills them).
  if (number > 1) return false;
  const TStdHuffmanTable& std = cls == 0 ? (number == 0 ? kStdDcLuminance : kStdDcChrominance)
                                         : (number == 0 ? kStdAcLuminance : kStdAcChrominance);
  uint8_t payload[1 + 16 + 256];
  payload[0] = static_cast<uint8_t>((cls << 4) | number);
  std::memcpy(payload + 1, std.Counts, 16);
  std::memcpy(payload + 17, std.Values, static_cast<size_t>(std.ValueCount));
  return ParseHuffmanTables(payload, 17 + std.ValueCount) == jrOK;
}

int TkelBaseJpegParser::ParseRestartInterval(const uint8_t* p, int32_t n) {
  if (n != 2) return jrBadData;
  RestartInterval = (p[0] << 8) | p[1];
  ResetRestartState();
  return jrOK;
}

}  // namespace vt
