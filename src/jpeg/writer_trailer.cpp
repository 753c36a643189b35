#include "jpeg/writer_trailer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "jpeg/markers.h"
#include "jpeg/parser.h"

namespace vt {

namespace {

constexpr int64_t kCopyChunk = int64_t(1) << 20;

// Whether the source holds the same header segments right after its SOI as the restored file.
bool SegmentsInPlace(const uint8_t* restored, int64_t rawLength, const TkelTrailer& trailer) {
  const int64_t n = 2 + rawLength;
  if (trailer.PictureEnd - trailer.PictureStart < n) return false;
  std::vector<uint8_t> source(static_cast<size_t>(n));
  trailer.Source->Seek(trailer.PictureStart, soBeginning);
  if (trailer.Source->Read(source.data(), n) != n) return false;
  return std::memcmp(source.data(), restored, static_cast<size_t>(n)) == 0;
}

bool IsMpfIndex(const uint8_t* segment, int64_t available) {
  return available >= 8 && segment[1] == mkAPP2 && std::memcmp(segment + 4, "MPF\0", 4) == 0;
}

void WriteZeros(TStream& out, int64_t count) {
  static const uint8_t zeros[4096] = {};
  while (count > 0) {
    const int64_t n = std::min<int64_t>(count, sizeof zeros);
    out.WriteBuffer(zeros, n);
    count -= n;
  }
}

void CopyRange(TStream& source, int64_t from, int64_t to, TStream& out) {
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(kCopyChunk, to - from)));
  source.Seek(from, soBeginning);
  for (int64_t at = from; at < to;) {
    const int64_t got = source.Read(buffer.data(), std::min<int64_t>(int64_t(buffer.size()), to - at));
    if (got <= 0) break;  // the file is shorter than it was: what is there is carried
    out.WriteBuffer(buffer.data(), got);
    at += got;
  }
}

}  // namespace

TkelTrailer TrailerOf(const TkelBaseJpegParser& decode, TStream& source, int64_t end) {
  TkelTrailer trailer;
  trailer.Source = &source;
  trailer.PictureStart = decode.StreamOrigin;
  trailer.PictureEnd = decode.StreamOrigin + decode.Position;
  trailer.End = end;
  return trailer;
}

TkelTrailerFate WriteRestoredWithTrailer(const uint8_t* restored, int64_t length, int64_t rawLength,
                                         const TkelTrailer& trailer, TStream& out) {
  if (!trailer.Present()) {
    out.WriteBuffer(restored, length);
    return TkelTrailerFate::None;
  }
  const int64_t room = trailer.PictureEnd - trailer.PictureStart;
  if (length <= room && SegmentsInPlace(restored, rawLength, trailer)) {
    out.WriteBuffer(restored, length);
    WriteZeros(out, room - length);
    CopyRange(*trailer.Source, trailer.PictureEnd, trailer.End, out);
    return TkelTrailerFate::Kept;
  }
  // Left out: so is every Multi-Picture index among the header segments.
  const int64_t segmentsEnd = std::min(length, 2 + rawLength);
  int64_t at = 2, written = 0;
  while (at + 4 <= segmentsEnd && restored[at] == 0xFF) {
    const int64_t size = 2 + ((int64_t(restored[at + 2]) << 8) | restored[at + 3]);
    if (at + size > segmentsEnd) break;
    if (IsMpfIndex(restored + at, size)) {
      out.WriteBuffer(restored + written, at - written);
      written = at + size;
    }
    at += size;
  }
  out.WriteBuffer(restored + written, length - written);
  return TkelTrailerFate::LeftOut;
}

}  // namespace vt
