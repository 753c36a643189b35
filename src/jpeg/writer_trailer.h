// What follows a picture in its file: a camera's preview after the main image (pointed to from
// its maker notes), the other images of a Multi-Picture file (pointed to from the MPF index).
// Those pointers are offsets from a place inside the header segments, which the restored file
// copies byte for byte right after its SOI. So the restored file carries the trailer at the very
// offsets it had: the new picture is followed by padding up to where the old one ended, then by
// the trailer unchanged, and every pointer into the trailer still reaches its bytes.
//
// That cannot be done when the new picture is longer than the old one was up to the trailer, or
// when the header segments do not lie at the same offsets (segments between the scans of a
// progressive file). The trailer is then left out, and no pointer may lead past the picture: the
// Multi-Picture index is left out, and in Exif the maker note is unlinked (a vendor's preview
// pointers lie inside it in layouts of its own, which cannot all be found and rewritten), as is
// a thumbnail that lay past the segment.
#pragma once

#include <cstdint>

#include "base/stream.h"

namespace vt {

struct TkelTrailer {
  TStream* Source = nullptr;  // the file the picture was read from
  int64_t PictureStart = 0;   // its SOI
  int64_t PictureEnd = 0;     // the first byte after its end-of-image marker
  int64_t End = 0;            // the end of what belongs to the picture in the file
  bool Present() const { return Source != nullptr && PictureStart < PictureEnd && PictureEnd < End; }
};

class TkelBaseJpegParser;

// What follows the picture that decode read whole from source (its SOI at the position where the
// load began), up to end. The picture ends with the end-of-image marker that the decoder read,
// or, where damage stopped the decoder, with the first one after that point, unless a picture
// (FF D8 FF) starts before it: the trailer then starts there.
TkelTrailer TrailerOf(const TkelBaseJpegParser& decode, TStream& source, int64_t end);

enum class TkelTrailerFate : uint8_t {
  None,     // there was nothing after the picture
  Kept,     // carried at its own offsets
  LeftOut,  // the new picture is longer, or the segments moved: left out, with the MPF index
};

// Writes the restored file (its bytes, SOI to EOI, as the writer made them; rawLength: the
// length of the header segments copied right after its SOI) and the trailer to out.
TkelTrailerFate WriteRestoredWithTrailer(const uint8_t* restored, int64_t length, int64_t rawLength,
                                         const TkelTrailer& trailer, TStream& out);

}  // namespace vt
