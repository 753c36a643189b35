// A card image as a camera's file system leaves it after a season of shooting and deleting:
// files are written into the first free clusters from the start of the card (as FAT allocates),
// some are deleted again (their clusters freed, their bytes left), and later files fill the
// holes, so that they lie in several pieces with other files and the remains of deleted ones
// between. Photos come from the caller; the other files are clips of high-entropy data (every
// byte value, so FF pairs that look like markers) and text. Deterministic from the options.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vt::test {

struct TFatCardOptions {
  uint32_t Seed = 1;
  size_t ClusterBytes = 4096;
  size_t Clusters = 0;   // the card's size in clusters
  int LivePhotos = 38;   // photos left on the card at the end
  int Seasons = 10;      // rounds of deleting a few files and shooting until the card is full
  size_t OtherBytes = 1 << 20;  // the largest other file
};

struct TFatCardPhoto {
  int Index = 0;                 // the photo's number given to the maker
  Bytes Data;
  std::vector<size_t> Clusters;  // in file order
  // The runs of consecutive clusters it lies in.
  int Pieces() const;
};

struct TFatCard {
  Bytes Image;
  std::vector<TFatCardPhoto> Photos;  // the photos left on the card, in the order written
};

// photo(i) gives the i-th photo shot (i counts from 0; a photo that does not fit is asked for
// again under the same number).
TFatCard MakeFatCard(const TFatCardOptions& options, const std::function<Bytes(int)>& photo);

}  // namespace vt::test
