// Reading what a JPEG's headers tell (frame, Exif facts, embedded thumbnails, post thumbnails
// found through their index offsets) without decoding the main image's scan: the quick road of
// vantrelle-cli thumbs and info --headers-only. It takes the file as the default open does (a
// JPEG at byte 0) and runs the same thumbnail handlers over the same segments, so the records,
// their bytes and their pixels are those of a full load. What it cannot know: how much of the
// main image decodes, and the segments after the first scan header (a full load also reads
// APPn/COM segments between the scans of a progressive file).
#pragma once

#include <string>

#include "base/stream.h"

namespace vt {

class TkelJpegWithThumbs;

struct TvtHeadersOnlyLoad {
  bool StartsWithJpeg = false;  // bytes 0..2 are FF D8 FF, as the default open needs
  int Result = 0;               // the parse result of the headers (jrOK when they all read)
  // The default open would make an item of the file whatever its scan holds: it does so for a
  // JPEG at byte 0 that carries an embedded thumbnail (or that decodes, which only a full load
  // can tell).
  bool ItemCertain = false;
};

// Loads the headers of the JPEG at the start of stream into image (pfHeadersOnly: the parse stops
// at the first scan header), with its thumbnails and post thumbnails. Reads the first bytes, the
// header segments and the post thumbnails' bytes, nothing else. Stream errors propagate.
TvtHeadersOnlyLoad LoadHeadersOnly(TStream& stream, TkelJpegWithThumbs& image);

// The orientation of a thumbnail of width x height relative to a main frame of frameWidth x
// frameHeight when it can be known without the main image's pixels: 0 when the thumbnail has no
// pixels or is larger than the frame both ways (the detector then compares nothing). -1 when the
// detector has to compare pixels.
int OrientationWithoutPixels(bool hasPixels, int32_t width, int32_t height, bool frameSeen, int32_t frameWidth,
                             int32_t frameHeight);

}  // namespace vt
