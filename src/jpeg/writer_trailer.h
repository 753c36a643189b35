// What follows a picture in its file: a camera's preview after the main image (pointed to from
// its maker notes), the other images of a Multi-Picture file (pointed to from the MPF index).
// Those pointers are offsets from a place inside the header segments, which the restored file
// copies byte for byte right after its SOI. So the restored file carries the trailer at the very
// offsets it had: the new picture is followed by padding up to where the old one ended, then by
// the trailer unchanged, and every pointer into the trailer still reaches its bytes.
//
// That cannot be done when the new picture is longer than the old one was up to the trailer, or
// when the header segments do not lie at the same offsets (segments between the scans of a
// progressive file). The trailer is then left out, and so is the Multi-Picture index, whose
// entries would point into the new picture.
#pragma once

#include <cstdint>

#include "base/stream.h"

namespace vt {

struct TkelTrailer {
  TStream* Source = nullptr;  // the file the picture was read from
  int64_t PictureStart = 0;   // its SOI
  int64_t PictureEnd = 0;     // the first byte after what the decoder read of it (past its EOI)
  int64_t End = 0;            // the end of what belongs to the picture in the file
  bool Present() const { return Source != nullptr && PictureStart < PictureEnd && PictureEnd < End; }
};

class TkelBaseJpegParser;

// What follows the picture that decode read whole from source (its SOI at the position where the
// load began), up to end.
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
