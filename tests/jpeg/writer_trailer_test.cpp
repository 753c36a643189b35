// What followed a picture in its file comes into the restored copy at the offsets it had, or,
// when that cannot be, is left out together with the Multi-Picture index that points into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/stream.h"
#include "jpeg/parser.h"
#include "jpeg/writer_trailer.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

Bytes Segment(uint8_t marker, const std::string& payload) {
  Bytes s = {0xFF, marker, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
  s.insert(s.end(), payload.begin(), payload.end());
  return s;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const Bytes kSoi = {0xFF, 0xD8};
const Bytes kEoi = {0xFF, 0xD9};
const Bytes kExif = Segment(0xE1, std::string("Exif\0\0MM\0*\0\0\0\x08", 14));
const Bytes kMpf = Segment(0xE2, std::string("MPF\0MM\0*\0\0\0\x08", 12));
const Bytes kTrailer = Join({kSoi, Segment(0xFE, "second picture"), kEoi});

struct TrailerCase {
  const char* Name;
  Bytes SourceSegments;     // after the source's SOI
  int SourceData;           // bytes of entropy-coded data in the source
  Bytes RestoredSegments;   // after the restored file's SOI
  int RestoredData;
  bool WithTrailer;
  TkelTrailerFate Fate;
};

void PrintTo(const TrailerCase& c, std::ostream* os) { *os << c.Name; }

class Trailer : public ::testing::TestWithParam<TrailerCase> {};

TEST_P(Trailer, KeptAtItsOffsetsOrLeftOutWithTheIndex) {
  const TrailerCase& c = GetParam();
  const Bytes sourcePicture = Join({kSoi, c.SourceSegments, Bytes(size_t(c.SourceData), 0x5A), kEoi});
  const Bytes source = Join({sourcePicture, c.WithTrailer ? kTrailer : Bytes{}});
  const Bytes restored = Join({kSoi, c.RestoredSegments, Bytes(size_t(c.RestoredData), 0x33), kEoi});

  TMemoryStream in;
  in.WriteBuffer(source.data(), int64_t(source.size()));
  TkelTrailer trailer;
  trailer.Source = &in;
  trailer.PictureEnd = int64_t(sourcePicture.size());
  trailer.End = int64_t(source.size());
  TMemoryStream out;
  EXPECT_EQ(WriteRestoredWithTrailer(restored.data(), int64_t(restored.size()), int64_t(c.RestoredSegments.size()),
                                     trailer, out),
            c.Fate);
  const Bytes written(out.Memory(), out.Memory() + out.GetSize());
  switch (c.Fate) {
    case TkelTrailerFate::None:
      EXPECT_EQ(written, restored);
      break;
    case TkelTrailerFate::Kept:
      ASSERT_EQ(written.size(), source.size()) << "every byte of the trailer at its own offset";
      EXPECT_TRUE(std::equal(restored.begin(), restored.end(), written.begin()));
      EXPECT_TRUE(std::all_of(written.begin() + long(restored.size()), written.begin() + long(sourcePicture.size()),
                              [](uint8_t b) { return b == 0; }))
          << "padded after the new picture's end";
      EXPECT_TRUE(std::equal(kTrailer.begin(), kTrailer.end(), written.begin() + long(sourcePicture.size())));
      break;
    case TkelTrailerFate::LeftOut: {
      Bytes without;  // the restored file without its Multi-Picture index
      for (const Bytes& part : {kSoi, c.RestoredSegments == Join({kExif, kMpf}) ? kExif : c.RestoredSegments,
                                Bytes(size_t(c.RestoredData), 0x33), kEoi})
        without.insert(without.end(), part.begin(), part.end());
      EXPECT_EQ(written, without);
      break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Trailer,
    ::testing::Values(
        TrailerCase{"NothingAfterThePicture", Join({kExif}), 500, Join({kExif}), 400, false, TkelTrailerFate::None},
        TrailerCase{"ShorterPictureKeepsTheTrailerInPlace", Join({kExif, kMpf}), 500, Join({kExif, kMpf}), 300, true,
                    TkelTrailerFate::Kept},
        TrailerCase{"EqualLengthNeedsNoPadding", Join({kExif, kMpf}), 500, Join({kExif, kMpf}), 500, true,
                    TkelTrailerFate::Kept},
        TrailerCase{"LongerPictureLeavesOutTrailerAndIndex", Join({kExif, kMpf}), 500, Join({kExif, kMpf}), 501, true,
                    TkelTrailerFate::LeftOut},
        // Segments that do not lie where they lay (a segment between the scans of a progressive
        // file comes over before the tables): their offsets would miss the trailer.
        TrailerCase{"MovedSegmentsLeaveOutTheTrailer", Join({kMpf}), 500, Join({kExif, kMpf}), 100, true,
                    TkelTrailerFate::LeftOut}),
    [](const auto& info) { return std::string(info.param.Name); });

struct EndCase {
  const char* Name;
  Bytes File;
  int64_t StoppedAt;  // where the decoder stopped
  int64_t PictureEnd;
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.Name; }

class PictureEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(PictureEnd, IsItsEndOfImageMarkerButNeverPastAPictureThatFollows) {
  const EndCase& c = GetParam();
  TMemoryStream in;
  in.WriteBuffer(c.File.data(), int64_t(c.File.size()));
  // A decoder that stopped at StoppedAt of a picture that starts the stream.
  struct TStopped : TkelBaseJpegParser {
  } stopped;
  stopped.StreamOrigin = 0;
  stopped.Position = c.StoppedAt;
  const TkelTrailer t = TrailerOf(stopped, in, int64_t(c.File.size()));
  EXPECT_EQ(t.PictureStart, 0);
  EXPECT_EQ(t.PictureEnd, c.PictureEnd);
  EXPECT_EQ(t.End, int64_t(c.File.size()));
}

// 100 bytes of picture (SOI, data) then, at 100, what each case puts there.
Bytes Picture(const Bytes& rest) { return Join({kSoi, Bytes(98, 0x5A), rest}); }

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureEnd,
    ::testing::Values(EndCase{"DecodedToItsEnd", Picture(Join({kEoi, kTrailer})), 102, 102},
                      EndCase{"StoppedByDamage", Picture(Join({Bytes(50, 0x11), kEoi, kTrailer})), 40, 152},
                      EndCase{"NoEndMarkerBeforeTheNextPicture", Picture(kTrailer), 40, 100},
                      EndCase{"CutShort", Picture({}), 60, 100},
                      EndCase{"MarkerAcrossTheStopPoint", Picture(Join({kEoi, kTrailer})), 101, 102}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vt
