#include "thumbs/exif_handler.h"
#include "thumbs/exif_walk.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "jpeg/markers.h"

namespace vt {

namespace {

constexpr uint16_t kImageWidth = 256, kImageLength = 257, kBitsPerSample = 258,
                   kCompression = 259, kPhotometric = 262, kImageDescription = 270, kMake = 271,
                   kModel = 272, kStripOffsets = 273, kOrientation = 274, kSamplesPerPixel = 277,
                   kStripByteCounts = 279, kPageName = 285, kDocumentName = 269,
                   kDateTime = 306, kJpegInterchangeFormat = 513, kYCbCrSubSampling = 530,
                   kExifIfd = 34665, kMakerNote = 37500, kDateTimeOriginal = 36867,
                   kDateTimeDigitized = 36868;
constexpr int kMaxSubIfdDepth = 16;

// The tags one IFD may give for its picture, with found flags.
struct IfdPicture {
  bool hasWidth = false, hasHeight = false, hasBits = false, hasCompression = false,
       hasPhotometric = false, hasStrip = false, hasSamples = false, hasStripBytes = false,
       hasJpeg = false, hasSubsampling = false;
  int64_t width = 0, height = 0, compression = 0, photometric = 0, strip = 0, samples = 0,
          stripBytes = 0, jpeg = 0;
  std::vector<uint32_t> bits, subsampling;
};

void ReadIntegerTag(const TTiffReader& r, const TTiffEntry& e, bool& found, int64_t& value) {
  int64_t v;
  if (r.ReadInteger(e, v)) {
    found = true;
    value = v;
  }
}

void ReadStringFact(const TTiffReader& r, const TTiffEntry& e, std::string& fact) {
  if (!fact.empty()) return;
  std::string text;
  if (r.ReadString(e, text)) fact = text;
}

void ReadDateFact(const TTiffReader& r, const TTiffEntry& e, TkelDateTime& fact) {
  if (!fact.IsZero()) return;
  TkelDateTime value;
  if (r.ReadDate(e, value)) fact = value;
}

bool IsTiffHeader(const uint8_t* p) {
  return (p[0] == 'I' && p[1] == 'I' && p[2] == 0x2A && p[3] == 0) ||
         (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && p[3] == 0x2A);
}

}  // namespace

bool TkelJpegThumbExifHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t,
                                         int32_t n) {
  return marker == mkAPP1 && n > 14 && std::memcmp(data, "Exif\0\0", 6) == 0 && IsTiffHeader(data + 6);
}

void TkelJpegThumbExifHandler::AddSegment(int64_t segmentOffset, uint8_t, const uint8_t* data,
                                          int32_t, int32_t n) {
  Walk walk;
  walk.data = data;
  walk.length = n;
  walk.segmentOffset = segmentOffset;
  walk.tiff = TTiffReader(data + 6, n - 6, data[6] == 'M');
  if (walk.tiff.Has(4, 4)) WalkChain(walk, walk.tiff.U32(4), true);
  ScanForJpegs(data, n);
}

void TkelJpegThumbExifHandler::WalkChain(Walk& walk, int64_t ifdOffset, bool topLevel) {
  const TTiffReader& r = walk.tiff;
  bool first = topLevel;
  for (;;) {
    if (ifdOffset == 0) return;
    if (!walk.visited.insert(ifdOffset).second) return;
    if (!r.Has(ifdOffset, 2)) return;
    const int32_t count = r.U16(ifdOffset);
    IfdPicture pic;
    int64_t at = ifdOffset + 2;
    for (int32_t i = 0; i < count; ++i, at += 12) {
      TTiffEntry e;
      if (!r.Entry(at, e)) return;  // a short entry ends the walk
      switch (e.Tag) {
        case kImageWidth: ReadIntegerTag(r, e, pic.hasWidth, pic.width); break;
        case kImageLength: ReadIntegerTag(r, e, pic.hasHeight, pic.height); break;
        case kCompression: ReadIntegerTag(r, e, pic.hasCompression, pic.compression); break;
        case kPhotometric: ReadIntegerTag(r, e, pic.hasPhotometric, pic.photometric); break;
        case kStripOffsets: ReadIntegerTag(r, e, pic.hasStrip, pic.strip); break;
        case kSamplesPerPixel: ReadIntegerTag(r, e, pic.hasSamples, pic.samples); break;
        case kStripByteCounts: ReadIntegerTag(r, e, pic.hasStripBytes, pic.stripBytes); break;
        case kJpegInterchangeFormat: ReadIntegerTag(r, e, pic.hasJpeg, pic.jpeg); break;
        case kBitsPerSample: pic.hasBits = r.ReadList(e, pic.bits); break;
        case kYCbCrSubSampling: pic.hasSubsampling = r.ReadList(e, pic.subsampling); break;
        case kOrientation:
          if (first) {
            int64_t v;
            if (r.ReadInteger(e, v)) Owner.Orientation = int32_t(v);
          }
          break;
        case kImageDescription: ReadStringFact(r, e, Owner.ImageDescription); break;
        case kPageName: ReadStringFact(r, e, Owner.PageName); break;
        case kDocumentName: ReadStringFact(r, e, Owner.DocumentName); break;
        case kMake: ReadStringFact(r, e, Owner.Make); break;
        case kModel: ReadStringFact(r, e, Owner.Model); break;
        case kDateTime: ReadDateFact(r, e, Owner.DateTime); break;
        case kDateTimeOriginal: ReadDateFact(r, e, Owner.DateTimeOriginal); break;
        case kDateTimeDigitized: ReadDateFact(r, e, Owner.DateTimeDigitized); break;
        case kExifIfd: {
          int64_t v;
          // Real files nest two or three levels; the limit keeps a crafted chain of sub-IFD
          // pointers from exhausting the stack.
          if (r.ReadInteger(e, v) && walk.depth < kMaxSubIfdDepth) {
            ++walk.depth;
            WalkChain(walk, v, false);
            --walk.depth;
          }
          break;
        }
        case kMakerNote: MakerNote(walk, e); break;
        default: break;
      }
    }

    // One picture at most per IFD. Offsets in the segment data are 6 + TIFF offsets.
    if (pic.hasJpeg) {
      if (r.Has(pic.jpeg, 4)) {
        const uint8_t* p = r.Base + pic.jpeg;
        const int32_t offset = int32_t(6 + pic.jpeg);
        if (IsStartOfImage(p, 4) && IsNewOffset(offset))
          AddJpegAt(p, offset, walk.length - offset, 0, std::string());
      }
    } else if (pic.hasCompression && pic.compression == 1) {
      const bool rgbOrYcc = pic.hasPhotometric && (pic.photometric == 2 || pic.photometric == 6);
      const bool eightBits = pic.hasBits && pic.bits.size() == 3 && pic.bits[0] == 8 &&
                             pic.bits[1] == 8 && pic.bits[2] == 8;
      if (pic.hasWidth && pic.hasHeight && pic.width > 0 && pic.height > 0 &&
          pic.width <= INT32_MAX && pic.height <= INT32_MAX && rgbOrYcc && pic.hasSamples &&
          pic.samples == 3 && eightBits && pic.hasStrip && pic.strip >= 0) {
        const int64_t stripAt = 6 + pic.strip;
        const int32_t available = stripAt < walk.length ? int32_t(walk.length - stripAt) : 0;
        const uint8_t* strip = available > 0 ? walk.data + stripAt : nullptr;
        const int32_t offset = int32_t(std::min<int64_t>(stripAt, INT32_MAX));
        if (pic.photometric == 2) {
          AddRGBThumb(strip, offset, available, int32_t(pic.width), int32_t(pic.height), "RGB");
        } else {
          std::vector<uint32_t> sub = pic.hasSubsampling ? pic.subsampling
                                                          : std::vector<uint32_t>{2, 2};
          auto factorOk = [](uint32_t f) { return f == 1 || f == 2 || f == 4; };
          if (sub.size() == 2 && factorOk(sub[0]) && factorOk(sub[1])) {
            const int64_t h = sub[0], v = sub[1];
            const int64_t w = (pic.width + h - 1) / h * h;
            const int64_t ht = (pic.height + v - 1) / v * v;
            if (w <= INT32_MAX && ht <= INT32_MAX)
              AddYCbCrThumb(strip, offset, available, int32_t(w), int32_t(ht), int32_t(h),
                            int32_t(v), "YCrCb");
          }
        }
      }
    } else if (pic.hasCompression && (pic.compression == 6 || pic.compression == 7) &&
               pic.hasStrip && pic.hasStripBytes && pic.stripBytes <= INT32_MAX) {
      Owner.AddPostThumb(walk.segmentOffset + 10 + pic.strip, int32_t(pic.stripBytes));
    }

    if (!r.Has(at, 4)) return;
    ifdOffset = r.U32(at);
    first = false;
  }
}

}  // namespace vt
