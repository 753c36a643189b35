// Building blocks for thumbnail tests: APPn segments, runs of segments as the parser hands them
// over, JPEG files with segments inserted after SOI, and a small TIFF writer (Exif, MPF).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vt::test {

inline Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// FF, marker, big-endian length (data + 2), data.
inline Bytes Segment(uint8_t marker, const Bytes& data) {
  const size_t l = data.size() + 2;
  Bytes s = {0xFF, marker, uint8_t(l >> 8), uint8_t(l)};
  s.insert(s.end(), data.begin(), data.end());
  return s;
}

// jpeg with the segments inserted right after its SOI; returns the offset of the first one.
inline Bytes InsertAfterSoi(const Bytes& jpeg, const std::vector<Bytes>& segments) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  for (const Bytes& s : segments) out.insert(out.end(), s.begin(), s.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// A little TIFF writer: IFDs in order after the 8-byte header, then the out-of-line data.
class TiffWriter {
 public:
  explicit TiffWriter(bool bigEndian) : be_(bigEndian) {}

  int AddIfd() {
    ifds_.emplace_back();
    return int(ifds_.size()) - 1;
  }
  // A byte block placed after the IFDs; returns its index (its offset is known after Build).
  int AddBlob(const Bytes& bytes) {
    blobs_.push_back(bytes);
    return int(blobs_.size()) - 1;
  }
  void Short(int ifd, uint16_t tag, uint16_t v) { Inline(ifd, tag, 3, 1, Num(v, 2)); }
  void SShort(int ifd, uint16_t tag, int16_t v) { Inline(ifd, tag, 8, 1, Num(uint16_t(v), 2)); }
  void Long(int ifd, uint16_t tag, uint32_t v) { Inline(ifd, tag, 4, 1, Num(v, 4)); }
  void Shorts(int ifd, uint16_t tag, const std::vector<uint16_t>& vs) {
    Bytes b;
    for (uint16_t v : vs) {
      Bytes n = Num(v, 2);
      b.insert(b.end(), n.begin(), n.end());
    }
    Data(ifd, tag, 3, uint32_t(vs.size()), b);
  }
  void Ascii(int ifd, uint16_t tag, const std::string& s) {
    Bytes b = Str(s);
    b.push_back(0);
    Data(ifd, tag, 2, uint32_t(b.size()), b);
  }
  void Undefined(int ifd, uint16_t tag, const Bytes& b) { Data(ifd, tag, 7, uint32_t(b.size()), b); }
  // An entry whose value is the offset of a blob or of an IFD.
  void BlobOffset(int ifd, uint16_t tag, int blob, uint16_t type = 4) { Ref(ifd, tag, type, 1, blob, false); }
  void IfdOffset(int ifd, uint16_t tag, int target) { Ref(ifd, tag, 4, 1, target, true); }
  // An entry with out-of-line data at a blob (count given).
  void BlobData(int ifd, uint16_t tag, uint16_t type, uint32_t count, int blob) { Ref(ifd, tag, type, count, blob, false); }
  // Next-IFD link of an IFD: -1 = 0 (end), otherwise the IFD index. Default: the following IFD
  // for top-level IFDs added with chain = true.
  void Next(int ifd, int target) { ifds_[ifd].next = target; ifds_[ifd].nextSet = true; }

  Bytes Num(uint32_t v, int size) const {
    Bytes b(size_t(size), 0);
    for (int i = 0; i < size; ++i) b[be_ ? size - 1 - i : i] = uint8_t(v >> (8 * i));
    return b;
  }

  // Lays out: header, IFDs, data blobs of entries, free blobs. The first IFD is IFD0.
  Bytes Build() {
    std::vector<uint32_t> ifdAt(ifds_.size());
    uint32_t pos = 8;
    for (size_t i = 0; i < ifds_.size(); ++i) {
      ifdAt[i] = pos;
      pos += 2 + 12 * uint32_t(ifds_[i].entries.size()) + 4;
    }
    // Inline data that does not fit: appended as extra blobs.
    std::vector<Bytes> blobs = blobs_;
    for (auto& ifd : ifds_)
      for (auto& e : ifd.entries)
        if (e.kind == kData && e.bytes.size() > 4) {
          e.kind = kBlobRef;
          e.ref = int(blobs.size());
          blobs.push_back(e.bytes);
        }
    std::vector<uint32_t> blobAt(blobs.size());
    for (size_t i = 0; i < blobs.size(); ++i) {
      blobAt[i] = pos;
      pos += uint32_t(blobs[i].size() + (blobs[i].size() & 1));
    }
    blobOffsets_ = blobAt;
    Bytes out = be_ ? Bytes{'M', 'M', 0, 0x2A} : Bytes{'I', 'I', 0x2A, 0};
    Append(out, Num(ifds_.empty() ? 0 : ifdAt[0], 4));
    for (size_t i = 0; i < ifds_.size(); ++i) {
      Append(out, Num(uint16_t(ifds_[i].entries.size()), 2));
      for (const auto& e : ifds_[i].entries) {
        Append(out, Num(e.tag, 2));
        Append(out, Num(e.type, 2));
        Append(out, Num(e.count, 4));
        Bytes v;
        if (e.kind == kData) {
          v = e.bytes;
          v.resize(4, 0);
        } else {
          v = Num(e.isIfd ? ifdAt[size_t(e.ref)] : blobAt[size_t(e.ref)], 4);
        }
        Append(out, v);
      }
      int next = ifds_[i].nextSet ? ifds_[i].next : -1;
      Append(out, Num(next < 0 ? 0 : ifdAt[size_t(next)], 4));
    }
    for (const Bytes& b : blobs) {
      Append(out, b);
      if (b.size() & 1) out.push_back(0);
    }
    return out;
  }
  // Offset of a blob inside the TIFF (after Build).
  uint32_t BlobAt(int blob) const { return blobOffsets_[size_t(blob)]; }

 private:
  enum Kind { kData, kBlobRef };
  struct Entry {
    uint16_t tag = 0, type = 0;
    uint32_t count = 0;
    Kind kind = kData;
    Bytes bytes;
    int ref = 0;
    bool isIfd = false;
  };
  struct Ifd {
    std::vector<Entry> entries;
    int next = -1;
    bool nextSet = false;
  };
  static void Append(Bytes& out, const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); }
  void Inline(int ifd, uint16_t tag, uint16_t type, uint32_t count, const Bytes& v) {
    ifds_[size_t(ifd)].entries.push_back(Entry{tag, type, count, kData, v, 0, false});
  }
  void Data(int ifd, uint16_t tag, uint16_t type, uint32_t count, const Bytes& b) {
    ifds_[size_t(ifd)].entries.push_back(Entry{tag, type, count, kData, b, 0, false});
  }
  void Ref(int ifd, uint16_t tag, uint16_t type, uint32_t count, int ref, bool isIfd) {
    ifds_[size_t(ifd)].entries.push_back(Entry{tag, type, count, kBlobRef, {}, ref, isIfd});
  }

  bool be_;
  std::vector<Ifd> ifds_;
  std::vector<Bytes> blobs_;
  std::vector<uint32_t> blobOffsets_;
};

// "Exif\0\0" + the TIFF.
inline Bytes ExifData(const Bytes& tiff) { return Cat({Str(std::string("Exif\0\0", 6)), tiff}); }

}  // namespace vt::test
