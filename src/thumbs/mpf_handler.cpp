#include "thumbs/mpf_handler.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "jpeg/markers.h"
#include "thumbs/tiff_reader.h"

namespace vt {

namespace {

struct MpEntry {
  uint32_t attribute = 0;
  uint32_t size = 0;
  uint32_t offset = 0;
  uint16_t dependent1 = 0, dependent2 = 0;
};

bool IsTiffHeader(const uint8_t* p) {
  return (p[0] == 'I' && p[1] == 'I' && p[2] == 0x2A && p[3] == 0) ||
         (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && p[3] == 0x2A);
}

}  // namespace

bool TkelJpegThumbMPFHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == mkAPP2 && n > 12 && std::memcmp(data, "MPF\0", 4) == 0 && IsTiffHeader(data + 4);
}

void TkelJpegThumbMPFHandler::AddSegment(int64_t segmentOffset, uint8_t, const uint8_t* data,
                                         int32_t, int32_t n) {
  const TTiffReader r(data + 4, n - 4, data[4] == 'M');
  const int64_t ifd = r.U32(4);
  if (ifd == 0 || !r.Has(ifd, 2)) return;
  const int32_t count = r.U16(ifd);
  bool haveNumber = false;
  int64_t numberOfImages = 0;
  std::vector<MpEntry> entries;
  int64_t at = ifd + 2;
  for (int32_t i = 0; i < count && r.Has(at, 12); ++i, at += 12) {
    TTiffEntry e;
    r.Entry(at, e);
    if (e.Tag == 0xB001) {
      int64_t v;
      if (r.ReadInteger(e, v)) {
        haveNumber = true;
        numberOfImages = v;
      }
    } else if (e.Tag == 0xB002 && haveNumber && e.Count > 4 &&
               (e.Type == kTiffByte || e.Type == kTiffAscii || e.Type == kTiffSByte ||
                e.Type == kTiffUndefined)) {
      const int64_t list = r.ValueU32(e);
      if (list > r.Size) continue;
      int64_t usable = std::min<int64_t>(r.Size - list, int64_t(e.Count) / 16 * 16);
      usable = std::min<int64_t>(usable, std::max<int64_t>(numberOfImages, 0) * 16);
      entries.clear();
      for (int64_t p = list; p + 16 <= list + usable; p += 16) {
        MpEntry m;
        m.attribute = r.U32(p);
        m.size = r.U32(p + 4);
        m.offset = r.U32(p + 8);
        m.dependent1 = r.U16(p + 12);
        m.dependent2 = r.U16(p + 14);
        entries.push_back(m);
      }
    }
  }

  // Offsets count from the MP endian field, which lies 8 bytes after the segment's FF.
  std::vector<bool> registered(entries.size(), false);
  auto registerEntry = [&](size_t index) {
    const MpEntry& m = entries[index];
    if (registered[index] || m.offset == 0 || m.size > INT32_MAX) return;
    registered[index] = true;
    Owner.AddPostThumb(segmentOffset + 8 + int64_t(m.offset), int32_t(m.size));
  };
  if (Owner.AllMPImages()) {
    for (size_t i = 0; i < entries.size(); ++i) registerEntry(i);
    return;
  }
  for (const MpEntry& m : entries) {
    if (m.offset != 0) continue;
    if ((m.attribute & 0x80000000u) != 0) {
      for (uint16_t dep : {m.dependent1, m.dependent2})
        if (dep >= 1 && dep <= entries.size()) registerEntry(dep - 1);
    }
    break;
  }
}

}  // namespace vt
