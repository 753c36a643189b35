// Following a photo whose data the card put in several places. The photo is decoded from its
// start; where its data goes wrong at a cluster boundary (the decoder stops, or the realignment's
// damage detection sees foreign blocks), nothing was lost, only moved: the decoder's state at
// the boundary (bit position, DC predictors, MCU index, restart interval) is exact. Candidate
// clusters (those after the break first, then unclaimed clusters that start like entropy-coded
// data) continue the decode from that state on trial; the one that decodes cleanly through its
// cluster, with the right restart marker numbers, and whose MCUs agree best with the rows above
// and the thumbnail (and better than the data that follows the break on the card) is the next
// piece. On to the next break until the picture ends. A break no candidate continues leaves the
// photo partial: its pieces end at the break.
#pragma once

#include <cstdint>
#include <functional>

#include "base/stream.h"
#include "source/card_clusters.h"
#include "source/fragment_list.h"

namespace vt {

struct TvtFollowed {
  TvtFragmentList Fragments;  // the photo's pieces, the last one ending with its end-of-image marker
  bool Complete = false;      // the picture decodes cleanly to its last MCU and its end-of-image marker
  bool MissingPiece = false;  // a break that no cluster continues: the pieces end there
  bool Moved = false;         // a continuation was found somewhere else than after the break
};

// Follows the JPEG whose start of image is at offset of file, claiming the clusters of the pieces
// it takes in clusters (and no claimed cluster is taken). terminated, when given, is asked
// between candidates. Never raises for bad data.
// known, when it holds more than one piece, is what an earlier search found: its pieces but the
// last are kept (and stay claimed), the search goes on from the last one's start.
TvtFollowed FollowPhoto(TStream& file, TvtCardClusters& clusters, uint64_t offset,
                        const std::function<bool()>& terminated = nullptr, const TvtFragmentList& known = {});

}  // namespace vt
