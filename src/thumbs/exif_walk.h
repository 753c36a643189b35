// The state of one Exif segment's walk, shared by the IFD walker and the maker-note readers.
#pragma once

#include <cstdint>
#include <set>

#include "thumbs/exif_handler.h"

namespace vt {

struct TkelJpegThumbExifHandler::Walk {
  const uint8_t* data = nullptr;  // segment data
  int32_t length = 0;             // usable bytes of the segment data
  int64_t segmentOffset = 0;      // offset of the segment's FF in the JPEG
  TTiffReader tiff{nullptr, 0, false};  // TIFF base = data + 6
  std::set<int64_t> visited;  // IFD offsets already walked, shared by the whole walk
  int depth = 0;              // nesting of Exif sub-IFD pointers
};

}  // namespace vt
