#include "repair/scan_data.h"

#include <algorithm>
#include <cstring>

#include "base/limits.h"
#include "jpeg/jpeg_constants.h"

namespace vt::repair {

namespace {

bool IsRst(int code) { return code >= 0xD0 && code <= 0xD7; }

// How far the data may be read: enough for the whole frame at a few times the rate of the MCUs
// that decoded, within the absolute bounds.
int64_t ReadBound(const TkelBaseJpegParser& image) {
  const int64_t total = int64_t(image.MCUsPerRow) * image.MCURows;
  int64_t decoded = 0;
  for (int i = 0; i < image.ScanComponentCount; ++i)
    decoded = std::max<int64_t>(decoded, image.FrameComponents[image.ScanComponents[i].FrameIndex].DecodedMCUs);
  const int64_t consumed = std::max<int64_t>(image.Position - image.ScanDataOffset, 1);
  int64_t bound = kRepairScanMinBytes;
  if (decoded > 0 && total > 0) {
    const double perMCU = static_cast<double>(consumed) / static_cast<double>(decoded);
    bound = std::max<int64_t>(bound, static_cast<int64_t>(perMCU * static_cast<double>(total) * kRepairScanSlack));
  }
  return std::min(bound, kMaxRepairScanBytes);
}

}  // namespace

TScanData::TScanData(TkelBaseJpegParser& image) {
  if (!image.FrameSeen || image.ScanCount == 0) return;
  begin_ = image.ScanDataOffset;
  fileOrigin_ = image.StreamOrigin;
  const bool stopAtHeaders = (image.Flags & pfSearchStopsAtHeaders) != 0;
  const int64_t bound = ReadBound(image);
  constexpr int64_t kChunk = 1 << 20;
  size_t examined = 0;  // bytes[0, examined) are searched for markers
  bool stopped = false;
  // Room for the whole bound up front, untouched until read into (and in huge pages where it
  // is large): growing a vector chunk by chunk copied and cleared it page by page.
  block_ = TZeroedBlock(static_cast<size_t>(std::max<int64_t>(bound, 0)));
  uint8_t* const bytes = block_.Data();
  while (!stopped && static_cast<int64_t>(size_) < bound) {
    const size_t old = size_;
    const int64_t want = std::min<int64_t>(kChunk, bound - static_cast<int64_t>(old));
    const int64_t got = image.ReadDataAt(begin_ + static_cast<int64_t>(old), bytes + old, want);
    size_ = old + static_cast<size_t>(std::clamp<int64_t>(got, 0, want));
    const size_t n = size_;
    size_t i = examined;
    while (i < n) {
      const void* hit = std::memchr(bytes + i, 0xFF, n - i);
      if (!hit) {
        i = n;
        break;
      }
      size_t k = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes) + 1;
      while (k < n && bytes[k] == 0xFF) ++k;  // fill bytes
      if (k == n) {
        i = k - 1;  // the code arrives with the next chunk
        break;
      }
      const int code = bytes[k];
      i = k + 1;
      if (code == 0x00) continue;  // a stuffed data byte
      const int64_t ff = begin_ + static_cast<int64_t>(k) - 1;
      markers_.push_back({ff, code});
      if (code == 0xD9 || (stopAtHeaders && (code == 0xD8 || code == 0xDA))) {
        size_ = k - 1;
        endsAtEoi_ = code == 0xD9;
        stopped = true;
        break;
      }
    }
    examined = std::min(i, size_);
    if (got < want) break;
  }

  // Segments between restart markers.
  TSegment seg;
  seg.Begin = begin_;
  for (const TMarkerAt& m : markers_) {
    if (!IsRst(m.Code) || m.Pos >= End()) continue;
    seg.End = m.Pos;
    segments_.push_back(seg);
    seg = TSegment{};
    seg.Begin = m.Pos + 2;
    seg.Marker = m.Code;
  }
  seg.End = End();
  segments_.push_back(seg);
}

TkelBitPos TScanData::DataEndBit(int64_t end) const {
  // Padding bits of 1 may have made the last data byte FF, which is then stuffed.
  if (end - 2 >= begin_ && At(end - 1) == 0x00 && At(end - 2) == 0xFF) return (end - 1) * 8;
  return end * 8;
}

bool TScanData::HasZeroRun(int64_t from, int64_t to, int minRun) const {
  from = std::max(from, begin_);
  to = std::min(to, End());
  int run = 0;
  for (int64_t p = from; p < to; ++p) {
    run = At(p) == 0 ? run + 1 : 0;
    if (run >= minRun) return true;
  }
  return false;
}

}  // namespace vt::repair
