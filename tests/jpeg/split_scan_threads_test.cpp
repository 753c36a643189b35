// Two-core decoding of a sequential scan: whatever the file, the blocks, maps, offsets,
// restart counts and counters are those of the one-core decoding, and long clean scans do take
// the second core's MCUs.
#include <gtest/gtest.h>

#include <string>

#include "decode_helpers.h"
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"

namespace vt::test {
namespace {

enum class Damage { None, FlipSecondHalf, MarkerSecondHalf, CutAt80, GarbageTail, DropRestart, FlipEveryFifth };

struct SplitCase {
  const char* Name;
  const char* Args;  // cjpeg
  int Width, Height;
  bool Grey;
  Damage Harm;
  int Split;          // the parser's SplitScans
  int ExpectAhead;    // the second core's MCUs are taken: 1 yes, 0 no, -1 as the timing falls
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.Name; }

Bytes MakeFile(const SplitCase& c) {
  Bytes jpeg = Cjpeg(c.Args, c.Width, c.Height, c.Grey, 7);
  const size_t data = FirstScanData(jpeg);
  const size_t end = jpeg.size() - 2;  // the end-of-image marker
  const size_t at = data + (end - data) * 3 / 4;
  switch (c.Harm) {
    case Damage::None:
      break;
    case Damage::FlipSecondHalf:
      for (size_t i = at; i < at + 40; ++i)
        if (jpeg[i] != 0xFF && jpeg[i - 1] != 0xFF) jpeg[i] ^= 0x5A;
      break;
    case Damage::MarkerSecondHalf: {
      // A stray restart marker in a file without a restart interval.
      size_t i = at;
      while (jpeg[i] == 0xFF || jpeg[i - 1] == 0xFF) ++i;
      const uint8_t marker[] = {0xFF, 0xD3};
      jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(i), marker, marker + 2);
      break;
    }
    case Damage::CutAt80:
      jpeg.resize(data + (end - data) * 4 / 5);
      break;
    case Damage::DropRestart: {
      size_t i = at;
      while (i + 1 < end && !(jpeg[i] == 0xFF && jpeg[i + 1] >= 0xD0 && jpeg[i + 1] <= 0xD7)) ++i;
      jpeg.erase(jpeg.begin() + static_cast<std::ptrdiff_t>(i), jpeg.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      break;
    }
    case Damage::FlipEveryFifth:
      // Damage spread over the whole scan, as in a card with failing cells.
      for (size_t i = data + 200; i + 1 < end; i += (end - data) / 5)
        if (jpeg[i] != 0xFF && jpeg[i - 1] != 0xFF) jpeg[i] ^= 0xA5;
      break;
    case Damage::GarbageTail:
      // Data that decodes as something after the last MCU, before the end-of-image marker.
      jpeg.insert(jpeg.end() - 2, 300, uint8_t{0x3C});
      break;
  }
  return jpeg;
}

struct Outcome {
  int Result = 0;
  int64_t Position = 0;
  int32_t Counter = 0, Clean = 0, Percent = 0, Ahead = 0;
  int32_t RestartsMet = 0, RestartsInSync = 0, NextMarker = 0, SinceRestart = 0;
  int64_t BytesBeforeRestarts = 0;
  bool Errors = false;
  std::vector<int32_t> Decoded, Predictors;
  std::vector<std::string> Maps;  // every coefficient map, then the offsets, as bytes
};

// Every cell of a sparse map in row order; an absent cell and a row beyond Rows read as "-".
std::string MapBytes(const TkelJpegMap& map) {
  std::string out = std::to_string(map.Columns) + "x" + std::to_string(map.Rows) + ":";
  for (int32_t r = 0; r < map.Rows; ++r)
    for (int32_t c = 0; c < map.Columns; ++c) {
      const uint8_t* cell = map.Cell(c, r);
      if (cell)
        out.append(reinterpret_cast<const char*>(cell), static_cast<size_t>(map.CellSize));
      else
        out += '-';
    }
  return out;
}

Outcome Decode(const Bytes& jpeg, int split) {
  KeepingParser p;
  p.SplitScans = static_cast<int8_t>(split);
  LoadedJpeg loaded(jpeg);
  Outcome o;
  o.Result = loaded.Load(p, pfRecordSegments);
  o.Position = p.Position;
  o.Counter = p.MCUCounter;
  o.Clean = p.CleanMCUs;
  o.Percent = p.DecodedPercent();
  o.Ahead = p.AheadMCUs;
  o.Errors = p.DataErrors;
  o.RestartsMet = p.RestartsMet;
  o.RestartsInSync = p.RestartsInSync;
  o.NextMarker = p.NextRestartMarker;
  o.SinceRestart = p.MCUsSinceRestart;
  o.BytesBeforeRestarts = p.BytesBeforeRestarts;
  for (int i = 0; i < p.ComponentCount; ++i) {
    o.Decoded.push_back(p.FrameComponents[i].DecodedMCUs);
    o.Predictors.push_back(p.ScanComponents[i].DcPredictor);
    o.Maps.push_back(p.MCUs[i] ? MapBytes(*p.MCUs[i]) : "none");
  }
  o.Maps.push_back(p.Offsets ? MapBytes(*p.Offsets) : "none");
  return o;
}

class SplitScanTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitScanTest, SameAsOneCore) {
  const SplitCase& c = GetParam();
  const Bytes jpeg = MakeFile(c);
  const Outcome one = Decode(jpeg, 0);
  const Outcome two = Decode(jpeg, c.Split);
  EXPECT_EQ(one.Ahead, 0);
  if (c.ExpectAhead == 1)
    EXPECT_GT(two.Ahead, one.Counter / 8) << "the second core's MCUs were not taken";
  else if (c.ExpectAhead == 0)
    EXPECT_EQ(two.Ahead, 0);
  else  // long enough to be split without being asked
    EXPECT_GT(jpeg.size(), size_t{1} << 20);
  EXPECT_EQ(two.Result, one.Result);
  EXPECT_EQ(two.Position, one.Position);
  EXPECT_EQ(two.Counter, one.Counter);
  EXPECT_EQ(two.Clean, one.Clean);
  EXPECT_EQ(two.Percent, one.Percent);
  EXPECT_EQ(two.Errors, one.Errors);
  EXPECT_EQ(two.RestartsMet, one.RestartsMet);
  EXPECT_EQ(two.RestartsInSync, one.RestartsInSync);
  EXPECT_EQ(two.NextMarker, one.NextMarker);
  EXPECT_EQ(two.SinceRestart, one.SinceRestart);
  EXPECT_EQ(two.BytesBeforeRestarts, one.BytesBeforeRestarts);
  EXPECT_EQ(two.Decoded, one.Decoded);
  EXPECT_EQ(two.Predictors, one.Predictors);
  ASSERT_EQ(two.Maps.size(), one.Maps.size());
  for (size_t i = 0; i < one.Maps.size(); ++i) EXPECT_TRUE(two.Maps[i] == one.Maps[i]) << "map " << i << " differs";
}

// The picture rendered while the scan is decoded on two cores (the band workers held back while
// both decode, the decoding thread rendering bands while it waits) against the one-core decoding
// rendered after the parse: the image's own bitmap and the reduced picture, pixel for pixel.
TEST_P(SplitScanTest, PictureWhileDecodingIsTheOneCorePicture) {
  const SplitCase& c = GetParam();
  const Bytes jpeg = MakeFile(c);
  const auto pixels = [](const TBitmap32& b) {
    std::vector<TColor32> v;
    for (int32_t y = 0; y < b.Height(); ++y) v.insert(v.end(), b.ScanLine(y), b.ScanLine(y) + b.Width());
    return v;
  };
  for (const int shift : {0, 2}) {
    SCOPED_TRACE("shift " + std::to_string(shift));
    TkelJpegImage one(0), two(0);
    one.SplitScans = 0;
    one.RenderWhileDecoding = false;
    two.SplitScans = static_cast<int8_t>(c.Split);
    two.ForceParallel = 1;
    if (shift > 0) two.ScaleWhileDecoding = [shift](int32_t, int32_t) { return shift; };
    const uint16_t flags = shift > 0 ? pfNoRender : 0;
    const int a = LoadBytes(one, jpeg, flags), b = LoadBytes(two, jpeg, flags);
    ASSERT_EQ(a, b);
    if (!one.FrameSeen) continue;
    TBitmap32 before, after;
    if (shift > 0) {
      EXPECT_EQ(one.RenderScaled(before, shift), two.RenderScaled(after, shift));
    } else {
      ASSERT_TRUE(one.Bitmap && two.Bitmap);
      before = *one.Bitmap;
      after = *two.Bitmap;
    }
    const bool sequential = std::string(c.Args).find("-progressive") == std::string::npos;
    if (c.ExpectAhead == 1) {
      EXPECT_EQ(two.RenderedWhileDecoding, sequential);
    }
    ASSERT_EQ(after.Width(), before.Width());
    ASSERT_EQ(after.Height(), before.Height());
    EXPECT_TRUE(pixels(after) == pixels(before));
  }
}

const SplitCase kCases[] = {
    {"Color420", "-quality 90 -sample 2x2", 640, 480, false, Damage::None, 1, 1},
    {"Color422", "-quality 85 -sample 2x1", 333, 517, false, Damage::None, 1, 1},
    {"Color444", "-quality 95 -sample 1x1", 401, 299, false, Damage::None, 1, 1},
    {"Grey", "-quality 80", 517, 389, true, Damage::None, 1, 1},
    {"OptimizedTables", "-quality 75 -optimize -sample 2x2", 600, 400, false, Damage::None, 1, 1},
    {"FlippedSecondHalf", "-quality 90 -sample 2x2", 640, 480, false, Damage::FlipSecondHalf, 1, 1},
    {"MarkerSecondHalf", "-quality 90 -sample 2x1", 480, 640, false, Damage::MarkerSecondHalf, 1, 1},
    {"Cut", "-quality 90 -sample 2x2", 640, 480, false, Damage::CutAt80, 1, 1},
    {"GarbageBeforeEnd", "-quality 90 -sample 1x1", 320, 240, false, Damage::GarbageTail, 1, 1},
    {"OneMCU", "-quality 90 -sample 2x2", 16, 16, false, Damage::None, 1, 0},
    {"SmallFileAuto", "-quality 90 -sample 2x2", 640, 480, false, Damage::None, -1, 0},
    {"RestartRows", "-quality 90 -restart 1", 640, 480, false, Damage::None, 1, 1},
    {"RestartMCUs", "-quality 90 -sample 1x1 -restart 7B", 517, 333, false, Damage::None, 1, 1},
    {"RestartGrey", "-quality 90 -restart 3B", 400, 400, true, Damage::None, 1, 1},
    {"RestartFlipped", "-quality 90 -restart 5B", 640, 480, false, Damage::FlipSecondHalf, 1, 1},
    {"RestartMarkerLost", "-quality 90 -restart 2B", 640, 480, false, Damage::DropRestart, 1, 1},
    {"RestartSpreadDamage", "-quality 90 -restart 1", 640, 480, false, Damage::FlipEveryFifth, 1, 1},
    {"RestartCut", "-quality 90 -restart 1", 640, 480, false, Damage::CutAt80, 1, 1},
    // The second core's MCUs taken a row at a time, as while it is still decoding them.
    {"RowByRow420", "-quality 90 -sample 2x2", 640, 480, false, Damage::None, 2, 1},
    {"RowByRowOddSize", "-quality 95 -sample 1x1", 401, 299, false, Damage::None, 2, 1},
    {"RowByRowFlipped", "-quality 90 -sample 2x2", 640, 480, false, Damage::FlipSecondHalf, 2, 1},
    {"RowByRowCut", "-quality 90 -sample 2x1", 640, 480, false, Damage::CutAt80, 2, 1},
    // Without waiting for the second core, as the viewer decodes.
    {"LongScanAuto", "-quality 98 -sample 1x1", 1600, 1200, false, Damage::None, -1, -1},
    {"Progressive", "-quality 90 -progressive", 640, 480, false, Damage::None, 1, 0},
};

INSTANTIATE_TEST_SUITE_P(Files, SplitScanTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SplitCase>& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace vt::test
