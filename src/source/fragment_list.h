// Where the bytes of a photo lie on a card image when the card put them in several places: its
// pieces in the photo's own order, each a run of bytes of the opened file. A photo in one piece
// has one fragment; the bytes of the pieces, one after another, are the camera's file.
#pragma once

#include <cstdint>
#include <vector>

namespace vt {

struct TvtFragment {
  uint64_t Offset = 0;  // of the piece's first byte in the opened file
  uint64_t Length = 0;
  bool operator==(const TvtFragment&) const = default;
};

using TvtFragmentList = std::vector<TvtFragment>;

// The bytes of all pieces together.
inline uint64_t FragmentsLength(const TvtFragmentList& fragments) {
  uint64_t n = 0;
  for (const TvtFragment& f : fragments) n += f.Length;
  return n;
}

}  // namespace vt
