// Bitmap files for TBitmap32: we write 32-bit bottom-up files with a BITMAPV4 header whose masks
// name the alpha byte, and read back uncompressed 24- and 32-bit files as we and common tools
// write them. Everything else is refused with EBitmapError. The header is checked against the
// stream's size before anything is allocated.
#include <algorithm>
#include <cstring>

#include "bitmap/bitmap32.h"

namespace vt {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kV4HeaderSize = 108;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t Get16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

[[noreturn]] void Refuse(const char* why) { throw EBitmapError(std::string("Bitmap file: ") + why); }

}  // namespace

void TBitmap32::SaveToStream(TStream& stream) const {
  const uint32_t imageBytes = uint32_t(uint64_t(width_) * uint64_t(height_) * 4);
  uint8_t head[kFileHeaderSize + kV4HeaderSize] = {};
  uint8_t* f = head;
  f[0] = 'B';
  f[1] = 'M';
  Put32(f + 2, kFileHeaderSize + kV4HeaderSize + imageBytes);
  Put32(f + 10, kFileHeaderSize + kV4HeaderSize);
  uint8_t* h = head + kFileHeaderSize;
  Put32(h + 0, kV4HeaderSize);
  Put32(h + 4, uint32_t(width_));
  Put32(h + 8, uint32_t(height_));  // positive: bottom-up
  Put16(h + 12, 1);
  Put16(h + 14, 32);
  Put32(h + 16, kBiBitfields);
  Put32(h + 20, imageBytes);
  Put32(h + 24, 2835);  // 72 dpi
  Put32(h + 28, 2835);
  Put32(h + 40, 0x00FF0000u);  // red
  Put32(h + 44, 0x0000FF00u);  // green
  Put32(h + 48, 0x000000FFu);  // blue
  Put32(h + 52, 0xFF000000u);  // alpha
  Put32(h + 56, 0x73524742u);  // 'sRGB'
  stream.WriteBuffer(head, sizeof(head));
  // Words are B, G, R, A in memory on the little-endian machines we build for.
  for (int32_t y = height_ - 1; y >= 0; --y) stream.WriteBuffer(ScanLine(y), int64_t(width_) * 4);
}

void TBitmap32::LoadFromStream(TStream& stream) {
  const int64_t start = stream.GetPosition();
  const int64_t available = stream.GetSize() - start;
  uint8_t fileHeader[kFileHeaderSize];
  if (available < int64_t(kFileHeaderSize) + 40 || stream.Read(fileHeader, kFileHeaderSize) != kFileHeaderSize)
    Refuse("too short");
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M') Refuse("no BM signature");
  const uint32_t dataOffset = Get32(fileHeader + 10);

  uint8_t info[124] = {};
  if (stream.Read(info, 4) != 4) Refuse("too short");
  const uint32_t infoSize = Get32(info);
  if (infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124)
    Refuse("unsupported header");
  if (available < int64_t(kFileHeaderSize) + infoSize) Refuse("too short");
  stream.ReadBuffer(info + 4, infoSize - 4);

  const int32_t width = int32_t(Get32(info + 4));
  const int32_t rawHeight = int32_t(Get32(info + 8));
  const uint32_t planes = Get16(info + 12);
  const uint32_t bits = Get16(info + 14);
  const uint32_t compression = Get32(info + 16);
  if (planes != 1) Refuse("bad plane count");
  if (bits != 24 && bits != 32) Refuse("only 24- and 32-bit files are read");
  if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) Refuse("bad size");
  const bool topDown = rawHeight < 0;
  const int32_t height = topDown ? -rawHeight : rawHeight;

  // Channel masks: standard layouts only.
  bool alphaMask = false;
  if (compression == kBiBitfields) {
    if (bits != 32) Refuse("bit fields need 32 bits");
    uint32_t masks[4] = {0, 0, 0, 0};
    if (infoSize >= 52) {
      for (int i = 0; i < 3; ++i) masks[i] = Get32(info + 40 + 4 * i);
      if (infoSize >= 56) masks[3] = Get32(info + 52);
    } else {
      // Masks follow the 40-byte header.
      uint8_t m[12];
      if (available < int64_t(kFileHeaderSize) + infoSize + 12) Refuse("too short");
      stream.ReadBuffer(m, 12);
      for (int i = 0; i < 3; ++i) masks[i] = Get32(m + 4 * i);
    }
    if (masks[0] != 0x00FF0000u || masks[1] != 0x0000FF00u || masks[2] != 0x000000FFu ||
        (masks[3] != 0 && masks[3] != 0xFF000000u))
      Refuse("unsupported channel masks");
    alphaMask = masks[3] == 0xFF000000u;
  } else if (compression != kBiRgb) {
    Refuse("compressed files are not read");
  }

  const uint64_t rowBytes = ((uint64_t(width) * bits + 31) / 32) * 4;
  const uint64_t pixelBytes = rowBytes * uint64_t(height);
  const uint64_t headerEnd = uint64_t(stream.GetPosition() - start);
  if (dataOffset < headerEnd) Refuse("pixel data overlaps the header");
  // The pixel data must be there before any allocation is made for it.
  if (uint64_t(available) < uint64_t(dataOffset) || uint64_t(available) - dataOffset < pixelBytes)
    Refuse("pixel data truncated");
  if (uint64_t(width) * uint64_t(height) > uint64_t(kMaxPixels)) Refuse("too large");

  stream.SetPosition(start + dataOffset);
  SetSize(width, height);
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
  bool anyAlpha = false;
  for (int32_t i = 0; i < height; ++i) {
    stream.ReadBuffer(row.data(), int64_t(rowBytes));
    TColor32* d = ScanLine(topDown ? i : height - 1 - i);
    if (bits == 32) {
      std::memcpy(d, row.data(), size_t(width) * 4);
      if (!alphaMask) for (int32_t x = 0; x < width; ++x) anyAlpha |= (d[x] >> 24) != 0;
    } else {
      const uint8_t* s = row.data();
      for (int32_t x = 0; x < width; ++x, s += 3)
        d[x] = 0xFF000000u | (uint32_t(s[2]) << 16) | (uint32_t(s[1]) << 8) | s[0];
    }
  }
  // A 32-bit file without an alpha mask whose fourth bytes are all 0 is a plain RGB picture.
  if (bits == 32 && !alphaMask && !anyAlpha) MakeOpaque();
  stream.SetPosition(start + dataOffset + int64_t(pixelBytes));
}

void TBitmap32::SaveToFile(const std::string& path) const {
  TMemoryStream m;
  SaveToStream(m);
  m.SaveToFile(path);
}

void TBitmap32::LoadFromFile(const std::string& path) {
  TFileStream f(path, TFileStream::fmOpenRead);
  LoadFromStream(f);
}

}  // namespace vt
