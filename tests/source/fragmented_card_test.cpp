// Fragmented photos on card images built here from cjpeg photos: the deep scan follows each
// photo's pieces wherever the card put them, and the pieces together are the camera's file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "source/source_open.h"
#include "support/camera_photo.h"
#include "support/fat_card.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

// One run of clusters of a card: piece `piece` of photo `photo` (its bytes from the piece's
// cut to the next one), or, for photo -1, `piece` clusters of junk that has no markers.
struct Slot {
  int photo;
  int piece;
};

struct CardCase {
  const char* name;
  int64_t cluster;
  const char* cjpegArgs;
  int photos;
  // Where each photo is cut, in clusters from its start (the same cuts for every photo).
  std::vector<int> cuts;
  std::vector<Slot> layout;
  // Photos expected whole (their pieces are the original bytes); the others partial.
  std::vector<bool> whole;
  int width = 640, height = 480;
  // The last this many photos were deleted: only pieces after their first are on the card (the
  // remains a carver sees), and they are not looked for.
  int deleted = 0;
};

struct Card {
  Bytes bytes;
  std::vector<Bytes> photos;
  std::vector<uint64_t> starts;
};

Card BuildCard(const CardCase& c) {
  Card card;
  for (int p = 0; p < c.photos; ++p) card.photos.push_back(test::Cjpeg(c.cjpegArgs, c.width, c.height, false, 11 + p));
  card.starts.assign(c.photos, 0);
  for (const Slot& s : c.layout) {
    Bytes piece;
    if (s.photo < 0) {
      piece = test::JunkWithoutMarkers(static_cast<size_t>(s.piece * c.cluster), 5 + card.bytes.size());
    } else {
      const Bytes& photo = card.photos[static_cast<size_t>(s.photo)];
      const size_t from = s.piece == 0 ? 0 : static_cast<size_t>(c.cuts[s.piece - 1] * c.cluster);
      const size_t to =
          s.piece < static_cast<int>(c.cuts.size()) ? static_cast<size_t>(c.cuts[s.piece] * c.cluster) : photo.size();
      EXPECT_LT(from, to) << "photo " << s.photo << " is too short for cut " << s.piece;
      piece.assign(photo.begin() + static_cast<long>(from), photo.begin() + static_cast<long>(std::min(to, photo.size())));
      if (s.piece == 0) card.starts[static_cast<size_t>(s.photo)] = card.bytes.size();
    }
    piece.resize((piece.size() + c.cluster - 1) / c.cluster * c.cluster, 0);
    card.bytes.insert(card.bytes.end(), piece.begin(), piece.end());
  }
  return card;
}

Bytes Reassembled(const Bytes& card, const TvtFragmentList& fragments) {
  Bytes out;
  for (const TvtFragment& f : fragments) {
    if (f.Offset + f.Length > card.size()) return {};
    out.insert(out.end(), card.begin() + static_cast<long>(f.Offset),
               card.begin() + static_cast<long>(f.Offset + f.Length));
  }
  return out;
}

const char* kPlain = "-quality 90";
const char* kRestarts = "-quality 90 -restart 1";

const CardCase kCases[] = {
    {"TwoPieces4K", 4096, kPlain, 1, {3}, {{0, 0}, {-1, 2}, {0, 1}}, {true}},
    {"TwoPieces32K", 32768, kPlain, 1, {1}, {{0, 0}, {-1, 1}, {0, 1}}, {true}},
    {"ThreePieces4K", 4096, kPlain, 1, {2, 5}, {{0, 0}, {-1, 1}, {0, 1}, {-1, 3}, {0, 2}}, {true}},
    {"PiecesInReverseOrder", 4096, kPlain, 1, {2, 5}, {{0, 0}, {-1, 1}, {0, 2}, {-1, 1}, {0, 1}}, {true}},
    {"PieceAfterAnotherPhoto", 4096, kPlain, 2, {4}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {true, true}},
    {"SameCameraBrokenAlike", 4096, kPlain, 2, {4}, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}, {true, true}},
    {"RestartMarked", 4096, kRestarts, 1, {3}, {{0, 0}, {-1, 2}, {0, 1}}, {true}},
    {"RestartMarkedThreePieces32K", 32768, kRestarts, 1, {1, 2}, {{0, 0}, {-1, 1}, {0, 2}, {0, 1}}, {true}},
    {"PieceMissing", 4096, kPlain, 1, {2, 5}, {{0, 0}, {-1, 2}, {0, 2}}, {false}},
    // A file system fills the first free clusters: the rest of a photo lies after whatever
    // other files hold, here far beyond a window of clusters after the break and right after
    // another broken photo's data (so it does not look like the start of a piece).
    {"RestAfterOtherFilesAndAPhoto", 4096, kPlain, 2, {3}, {{0, 0}, {-1, 80}, {1, 0}, {0, 1}, {1, 1}}, {true, true}},
    // The same with the other photo's first piece longer than any window: its own break must
    // be followed first for the first photo's rest to be seen.
    {"RestAfterALongPieceOfAnother", 4096, kPlain, 2, {80}, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}, {true, true}, 1600, 1200},
    // The rest right after what is left of a deleted photo of the same camera (its middle, longer
    // than any window, with no end-of-image marker): it looks like their middle, and so do the
    // photo's own later clusters.
    {"RestBehindADeletedPhotosMiddle", 4096, kPlain, 2, {3, 80}, {{0, 0}, {1, 1}, {0, 1}, {0, 2}}, {true, false}, 1600, 1200, 1},
};

class FragmentedCard : public ::testing::TestWithParam<CardCase> {};

TEST_P(FragmentedCard, PiecesReassembleTheCamerasFile) {
  const CardCase& c = GetParam();
  const Card card = BuildCard(c);
  const std::string path = test::TempPath(".img");
  test::WriteBytes(path, card.bytes);

  TvtDiscSource source;
  TvtOpenOptions options;
  options.Deep = true;
  // Two photo starts cannot tell the cluster size (the card of one photo tells nothing and gets
  // the default): given then, as --cluster gives it.
  if (c.photos > 1 || c.cluster != 4096) options.ClusterBytes = c.cluster;
  const TvtOpenResult found = OpenSource(source, path, options);
  EXPECT_EQ(found.ClusterBytes, c.cluster);
  for (int p = 0; p < c.photos - c.deleted; ++p) {
    SCOPED_TRACE("photo " + std::to_string(p));
    const TvtFoundItem* item = nullptr;
    for (const TvtFoundItem& f : found.Items)
      if (f.Offset == card.starts[static_cast<size_t>(p)] && !f.ReplacementHeader) item = &f;
    ASSERT_NE(item, nullptr);
    ASSERT_FALSE(item->Fragments.empty());
    EXPECT_EQ(item->Fragments.front().Offset, card.starts[static_cast<size_t>(p)]);
    const Bytes bytes = Reassembled(card.bytes, item->Fragments);
    if (c.whole[static_cast<size_t>(p)]) {
      EXPECT_TRUE(bytes == card.photos[static_cast<size_t>(p)]) << "pieces " << item->Fragments.size();
      EXPECT_FALSE(item->MissingPiece);
      EXPECT_FALSE(item->Broken);
      EXPECT_EQ(item->DecodedPercent, 100);
    } else {
      // Partial: what was found is the photo's start, and it says a piece is missing.
      const Bytes& photo = card.photos[static_cast<size_t>(p)];
      ASSERT_LE(bytes.size(), photo.size());
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), photo.begin()));
      EXPECT_TRUE(item->MissingPiece);
      EXPECT_TRUE(item->Broken);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cards, FragmentedCard, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Cards as a camera's file system leaves them after seasons of shooting and deleting: every photo
// left on the card comes back whole, the fragmented ones among them, wherever the file system put
// their pieces (after other photos, other files, the remains of deleted photos), plain and
// restart-marked alike.
class FileSystemCard : public ::testing::TestWithParam<uint32_t> {};

TEST_P(FileSystemCard, EveryPhotoLeftComesBackWhole) {
  test::TFatCardOptions o;
  o.Seed = GetParam();
  o.LivePhotos = 10;
  o.Seasons = 6;
  o.Clusters = 700;
  o.OtherBytes = 96 << 10;
  const test::TFatCard card = test::MakeFatCard(o, [](int i) {
    test::TCameraPhotoOptions p;
    p.Width = i % 3 == 0 ? 800 : 640;
    p.Height = i % 3 == 0 ? 600 : 480;
    p.Seed = 100 + static_cast<uint32_t>(i);
    p.Restart = i % 4 == 3 ? test::TRestartKind::OneRow : test::TRestartKind::None;
    p.Thumbnail = false;
    return test::CameraPhoto(p);
  });
  int fragmented = 0;
  for (const test::TFatCardPhoto& p : card.Photos) fragmented += p.Pieces() > 1;
  ASSERT_GE(fragmented, 2) << "the card should hold fragmented photos";
  const std::string path = test::TempPath(".img");
  test::WriteBytes(path, card.Image);
  TvtDiscSource source;
  TvtOpenOptions options;
  options.Deep = true;
  const TvtOpenResult found = OpenSource(source, path, options);
  int wholeFragmented = 0;
  for (const test::TFatCardPhoto& p : card.Photos) {
    SCOPED_TRACE("photo " + std::to_string(p.Index) + " in " + std::to_string(p.Pieces()) + " pieces");
    const uint64_t start = p.Clusters.front() * o.ClusterBytes;
    const TvtFoundItem* item = nullptr;
    for (const TvtFoundItem& f : found.Items)
      if (f.Offset == start && !f.ReplacementHeader) item = &f;
    ASSERT_NE(item, nullptr);
    const bool whole = Reassembled(card.Image, item->Fragments) == p.Data;
    if (p.Pieces() == 1) EXPECT_TRUE(whole);
    else wholeFragmented += whole;
    // Never a wrong reassembly passed off as the photo: what is not whole says so.
    EXPECT_EQ(item->Broken, !whole);
  }
  // The card's tool of choice gives back none of these; one may stay partial per card.
  EXPECT_GE(wholeFragmented, fragmented - 1) << "of " << fragmented << " fragmented photos";
}

// (Card 22 holds a photo whose rest is told from the other clusters that fit about as well only by
// counting out to the picture's end; on card 43 a broken photo, once followed, gave back with
// what it held the last cluster of another photo's, which a third then took as its end.)
INSTANTIATE_TEST_SUITE_P(Seasons, FileSystemCard, ::testing::Values(1u, 2u, 3u, 22u, 43u));

}  // namespace
}  // namespace vt
