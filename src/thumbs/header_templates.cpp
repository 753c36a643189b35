#include "thumbs/header_templates.h"

#include "jpeg/std_tables.h"

namespace vt {
namespace {

// Zig-zag positions of the two luminance entries in which template C differs from Annex K.1.
constexpr int kChangedPos1 = 31;
constexpr uint8_t kChangedValue1 = 61;
constexpr int kChangedPos2 = 53;
constexpr uint8_t kChangedValue2 = 94;

struct TTables {
  uint8_t Luma[64];    // zig-zag order
  uint8_t Chroma[64];  // zig-zag order
};

TTables StandardTables() {
  TTables t{};
  for (int i = 0; i < 64; ++i) {
    t.Luma[i] = kStdLuminanceQuant[kZigZag[i]];
    t.Chroma[i] = kStdChrominanceQuant[kZigZag[i]];
  }
  return t;
}

uint8_t Scale(int value, int percent) {
  int v = (value * percent + 50) / 100;
  if (v < 1) v = 1;
  if (v > 255) v = 255;
  return static_cast<uint8_t>(v);
}

TTables Scaled(const TTables& src, int percent) {
  TTables t{};
  for (int i = 0; i < 64; ++i) {
    t.Luma[i] = Scale(src.Luma[i], percent);
    t.Chroma[i] = Scale(src.Chroma[i], percent);
  }
  return t;
}

TTables TablesC() {
  TTables t = StandardTables();
  t.Luma[kChangedPos1] = kChangedValue1;
  t.Luma[kChangedPos2] = kChangedValue2;
  return t;
}

class TWriter {
 public:
  explicit TWriter(THeaderTemplate& out) : out_(out) {}
  void Byte(int b) { out_[pos_++] = static_cast<uint8_t>(b); }
  void Word(int w) {
    Byte(w >> 8);
    Byte(w & 0xFF);
  }
  void Bytes(const uint8_t* p, int n) {
    for (int i = 0; i < n; ++i) Byte(p[i]);
  }
  void Huffman(int classAndId, const TStdHuffmanTable& table) {
    Byte(classAndId);
    Bytes(table.Counts, 16);
    Bytes(table.Values, table.ValueCount);
  }
  int Pos() const { return pos_; }

 private:
  THeaderTemplate& out_;
  int pos_ = 0;
};

THeaderTemplate Build(const TTables& tables, int width, int height) {
  THeaderTemplate h{};
  TWriter w(h);
  w.Word(0xFFD8);
  // DQT: two 8-bit tables.
  w.Word(0xFFDB);
  w.Word(2 + 2 * 65);
  w.Byte(0x00);
  w.Bytes(tables.Luma, 64);
  w.Byte(0x01);
  w.Bytes(tables.Chroma, 64);
  // DHT: DC 0, AC 0, DC 1, AC 1.
  w.Word(0xFFC4);
  int dhtLength = 2;
  for (const TStdHuffmanTable* t : {&kStdDcLuminance, &kStdAcLuminance, &kStdDcChrominance, &kStdAcChrominance})
    dhtLength += 17 + t->ValueCount;
  w.Word(dhtLength);
  w.Huffman(0x00, kStdDcLuminance);
  w.Huffman(0x10, kStdAcLuminance);
  w.Huffman(0x01, kStdDcChrominance);
  w.Huffman(0x11, kStdAcChrominance);
  // SOF0: 8-bit, three components, luma 2x1.
  w.Word(0xFFC0);
  w.Word(17);
  w.Byte(8);
  w.Word(height);
  w.Word(width);
  w.Byte(3);
  w.Byte(1), w.Byte(0x21), w.Byte(0);
  w.Byte(2), w.Byte(0x11), w.Byte(1);
  w.Byte(3), w.Byte(0x11), w.Byte(1);
  // SOS: all three components, full spectral range.
  w.Word(0xFFDA);
  w.Word(12);
  w.Byte(3);
  w.Byte(1), w.Byte(0x00);
  w.Byte(2), w.Byte(0x11);
  w.Byte(3), w.Byte(0x11);
  w.Byte(0), w.Byte(63), w.Byte(0);
  return h;
}

}  // namespace

const THeaderTemplate& HeaderTemplateA() {
  static const THeaderTemplate h = Build(Scaled(StandardTables(), 30), 160, 120);
  return h;
}

const THeaderTemplate& HeaderTemplateB() {
  static const THeaderTemplate h = Build(Scaled(TablesC(), 113), 160, 120);
  return h;
}

const THeaderTemplate& HeaderTemplateC() {
  static const THeaderTemplate h = Build(TablesC(), 640, 480);
  return h;
}

void SetTemplateSize(uint8_t* header, uint16_t width, uint16_t height) {
  header[kTemplateHeightOffset] = static_cast<uint8_t>(height >> 8);
  header[kTemplateHeightOffset + 1] = static_cast<uint8_t>(height & 0xFF);
  header[kTemplateWidthOffset] = static_cast<uint8_t>(width >> 8);
  header[kTemplateWidthOffset + 1] = static_cast<uint8_t>(width & 0xFF);
}

std::vector<uint8_t> TemplateCopy(const THeaderTemplate& header) {
  return std::vector<uint8_t>(header.begin(), header.end());
}

}  // namespace vt
