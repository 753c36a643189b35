// Building camera makers' preview blocks for the vendor handler tests: segments wrapped around
// small JPEGs or raw pixels, placed in a real JPEG between its APP0 and its DQT, and run
// through the thumbnail collection as the parser hands them over (one run of APPn segments).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "thumbs/jpeg_thumbs.h"

namespace vt::test {

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Zeros(size_t n) { return Bytes(n, 0); }
inline Bytes Be16Bytes(int v) { return {uint8_t(v >> 8), uint8_t(v)}; }
inline Bytes Le16Bytes(int v) { return {uint8_t(v), uint8_t(v >> 8)}; }
inline Bytes Be32Bytes(int64_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
inline Bytes Slice(const Bytes& b, size_t from, size_t count) {
  from = std::min(from, b.size());
  count = std::min(count, b.size() - from);
  return Bytes(b.begin() + from, b.begin() + from + count);
}
// Splits bytes into pieces of the given sizes; the last piece takes the rest.
inline std::vector<Bytes> SplitInto(const Bytes& b, int pieces) {
  std::vector<Bytes> out;
  const size_t step = (b.size() + pieces - 1) / pieces;
  for (int i = 0; i < pieces; ++i) out.push_back(Slice(b, i * step, i + 1 == pieces ? b.size() : step));
  return out;
}

inline Bytes Segment(uint8_t marker, const Bytes& data) {
  EXPECT_LE(data.size() + 2, 65535u);
  return Cat({{0xFF, marker}, Be16Bytes(int(data.size() + 2)), data});
}

// A smooth colour picture (no noise), so that large ones still fit in one segment when encoded.
inline std::string WriteSmoothPpm(int w, int h, int phase = 0) {
  Bytes out = Text("P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n");
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      out.push_back(uint8_t(128 + 100 * std::sin((x + phase) / 40.0)));
      out.push_back(uint8_t(128 + 100 * std::cos(y / 30.0)));
      out.push_back(uint8_t((x + y + phase) % 256));
    }
  const std::string path = TempPath(".ppm");
  WriteBytes(path, out);
  return path;
}
inline Bytes SmoothJpeg(const std::string& args, int w, int h, int phase = 0) {
  return CjpegFile(args, WriteSmoothPpm(w, h, phase));
}

// The bytes after the SOS header of a single-scan JPEG, up to and including its EOI.
inline Bytes ScanData(const Bytes& jpeg) {
  size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const int length = jpeg[pos + 2] << 8 | jpeg[pos + 3];
    if (jpeg[pos + 1] == 0xDA) return Bytes(jpeg.begin() + pos + 2 + length, jpeg.end());
    pos += 2 + length;
  }
  return {};
}

// A 64 x 48 host JPEG from cjpeg with the segments placed right after its APP0.
inline Bytes HostWith(const std::vector<Bytes>& segments) {
  const Bytes host = Cjpeg("-quality 80", 64, 48, false, 11);
  EXPECT_TRUE(host[2] == 0xFF && host[3] == 0xE0);
  const size_t afterApp0 = 4 + size_t(host[4] << 8 | host[5]);
  Bytes out(host.begin(), host.begin() + afterApp0);
  for (const Bytes& s : segments) out.insert(out.end(), s.begin(), s.end());
  out.insert(out.end(), host.begin() + afterApp0, host.end());
  return out;
}

// File offset of the data of the index-th segment after APP0 in a HostWith file.
inline int32_t SegmentDataOffset(const Bytes& file, int index) {
  size_t pos = 2;
  for (int i = -1; i < index; ++i) pos += 2 + size_t(file[pos + 2] << 8 | file[pos + 3]);
  return int32_t(pos + 4);
}

// The collection after the run of APPn/COM segments that follows SOI has been dispatched.
inline std::unique_ptr<TkelJpegThumbs> Collect(const Bytes& file) {
  size_t end = 2;
  while (end + 4 <= file.size() && file[end] == 0xFF &&
         ((file[end + 1] >= 0xE0 && file[end + 1] <= 0xEF) || file[end + 1] == 0xFE))
    end += 2 + size_t(file[end + 2] << 8 | file[end + 3]);
  auto thumbs = std::make_unique<TkelJpegThumbs>(false);
  thumbs->ProcessAppBlock(2, file.data() + 2, int32_t(end - 2));
  return thumbs;
}

inline Bytes StreamBytes(TMemoryStream* s) {
  if (s == nullptr) return {};
  return Bytes(s->Memory(), s->Memory() + s->GetSize());
}

// Mean absolute difference per channel between a bitmap and libjpeg's RGB pixels (255 when the
// sizes differ).
inline double MeanDiff(const TBitmap32& b, const RefImage& ref) {
  if (!ref.Ok || ref.Components != 3 || b.Width() != ref.Width || b.Height() != ref.Height) return 255;
  double sum = 0;
  for (int i = 0; i < b.Width() * b.Height(); ++i) {
    const TColor32 c = b.Bits()[i];
    sum += std::abs(RedComponent(c) - ref.Pixels[i * 3]) + std::abs(GreenComponent(c) - ref.Pixels[i * 3 + 1]) +
           std::abs(BlueComponent(c) - ref.Pixels[i * 3 + 2]);
  }
  return sum / (3.0 * b.Width() * b.Height());
}

}  // namespace vt::test
