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

// The TIFF structure of an Exif segment starts after FF E1, the length and "Exif\0\0".
constexpr int64_t kExifTiffStart = 10;

bool IsExif(const uint8_t* segment, int64_t available) {
  return available >= kExifTiffStart + 8 && segment[1] == mkAPP1 && std::memcmp(segment + 4, "Exif\0\0", 6) == 0;
}

// TIFF numbers in the structure's byte order, inside [0, size).
struct TTiff {
  uint8_t* Base;
  int64_t Size;
  bool BigEndian;
  bool Has(int64_t at, int64_t n) const { return at >= 0 && n >= 0 && at <= Size - n; }
  uint32_t Get(int64_t at, int n) const {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint32_t(Base[at + (BigEndian ? n - 1 - i : i)]) << (8 * i);
    return v;
  }
  void Put(int64_t at, int n, uint32_t v) {
    for (int i = 0; i < n; ++i) Base[at + (BigEndian ? n - 1 - i : i)] = uint8_t(v >> (8 * i));
  }
  // The entry of tag in the IFD at ifd, or -1.
  int64_t Find(int64_t ifd, uint16_t tag) const {
    if (!Has(ifd, 2)) return -1;
    const int64_t count = Get(ifd, 2);
    for (int64_t i = 0; i < count && Has(ifd + 2 + 12 * i, 12); ++i)
      if (Get(ifd + 2 + 12 * i, 2) == tag) return ifd + 2 + 12 * i;
    return -1;
  }
  // Takes the entry at entry out of the IFD at ifd: the later entries and the link to the next
  // IFD move up; the data the entries point at stays where it is.
  void Remove(int64_t ifd, int64_t entry) {
    const int64_t count = Get(ifd, 2);
    const int64_t end = ifd + 2 + 12 * count + 4;
    if (!Has(entry, 12) || end > Size) return;
    std::memmove(Base + entry, Base + entry + 12, size_t(end - entry - 12));
    std::memset(Base + end - 12, 0, 12);
    Put(ifd, 2, uint32_t(count - 1));
  }
};

constexpr uint16_t kTagExifIfd = 0x8769, kTagMakerNote = 0x927C, kTagJpegOffset = 0x0201, kTagStripOffsets = 0x0111;

void UnlinkPointersPastSegment(uint8_t* tiff, int64_t size) {
  const bool mm = tiff[0] == 'M' && tiff[1] == 'M';
  if (!mm && !(tiff[0] == 'I' && tiff[1] == 'I')) return;
  TTiff t{tiff, size, mm};
  const int64_t ifd0 = t.Get(4, 4);
  if (!t.Has(ifd0, 2)) return;
  const int64_t exifEntry = t.Find(ifd0, kTagExifIfd);
  if (exifEntry >= 0) {
    const int64_t exif = t.Get(exifEntry + 8, 4);
    const int64_t note = t.Find(exif, kTagMakerNote);
    if (note >= 0) t.Remove(exif, note);
  }
  // IFD1, the thumbnail: unlinked when its picture lies past the segment.
  const int64_t link = ifd0 + 2 + 12 * int64_t(t.Get(ifd0, 2));
  if (!t.Has(link, 4)) return;
  const int64_t ifd1 = t.Get(link, 4);
  for (const uint16_t tag : {kTagJpegOffset, kTagStripOffsets}) {
    const int64_t entry = ifd1 > 0 ? t.Find(ifd1, tag) : -1;
    if (entry >= 0 && int64_t(t.Get(entry + 8, 4)) >= size) {
      t.Put(link, 4, 0);
      return;
    }
  }
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

// Where the picture whose decode stopped at from ends: after the first end-of-image marker,
// but never past the start of a picture that follows (FF D8 FF), which is where a trailer's
// preview or second image begins; end when neither comes. Damaged data may hold either pair
// by chance: the picture then ends too early, which only leaves its trailer longer.
int64_t PictureEndAfter(TStream& source, int64_t from, int64_t end) {
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min(kCopyChunk, std::max<int64_t>(end - from, 0))) + 2);
  for (int64_t at = std::max<int64_t>(from - 2, 0); at + 1 < end;) {
    source.Seek(at, soBeginning);
    const int64_t got = source.Read(chunk.data(), std::min<int64_t>(int64_t(chunk.size()), end - at));
    if (got < 2) break;
    for (int64_t i = 0; i + 1 < got; ++i) {
      if (chunk[size_t(i)] != 0xFF) continue;
      if (chunk[size_t(i) + 1] == mkEOI) return at + i + 2;  // ends at from at the earliest
      if (at + i >= from && IsStartOfImage(chunk.data() + i, got - i)) return at + i;
    }
    if (at + got >= end || got <= 2) break;
    at += got - 2;  // a marker that straddles two chunks is seen whole in the next
  }
  return end;
}

TkelTrailer TrailerOf(const TkelBaseJpegParser& decode, TStream& source, int64_t end) {
  TkelTrailer trailer;
  trailer.Source = &source;
  trailer.PictureStart = decode.StreamOrigin;
  trailer.End = end;
  trailer.PictureEnd = PictureEndAfter(source, decode.StreamOrigin + decode.Position, end);
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
  // Left out: no pointer may lead past the picture. Every Multi-Picture index goes; in Exif, the
  // maker note (whose vendor layouts point at previews in ways no reader can list) and a
  // thumbnail that lay past the segment are unlinked.
  const int64_t segmentsEnd = std::min(length, 2 + rawLength);
  std::vector<uint8_t> header(restored, restored + segmentsEnd);
  int64_t at = 2, written = 0;
  while (at + 4 <= segmentsEnd && header[size_t(at)] == 0xFF) {
    const int64_t size = 2 + ((int64_t(header[size_t(at) + 2]) << 8) | header[size_t(at) + 3]);
    if (at + size > segmentsEnd) break;
    if (IsMpfIndex(header.data() + at, size)) {
      out.WriteBuffer(header.data() + written, at - written);
      written = at + size;
    } else if (IsExif(header.data() + at, size)) {
      UnlinkPointersPastSegment(header.data() + at + kExifTiffStart, size - kExifTiffStart);
    }
    at += size;
  }
  out.WriteBuffer(header.data() + written, segmentsEnd - written);
  out.WriteBuffer(restored + segmentsEnd, length - segmentsEnd);
  return TkelTrailerFate::LeftOut;
}

}  // namespace vt
