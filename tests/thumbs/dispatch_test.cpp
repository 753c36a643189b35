// The dispatch rules of ProcessAppBlock with handlers made for the test: which instance gets a
// segment, when instances end, priority from the last registered class, and what an exception
// inside a handler ends.
#include <gtest/gtest.h>

#include <stdexcept>

#include "segment_builder.h"
#include "thumbs/handler_registry.h"
#include "thumbs/jpeg_thumbs.h"

namespace vt {
namespace {

using test::Bytes;
using test::Segment;

std::string gLog;

// Joins APP5 segments whose first data byte is 'r'; logs its life.
class RecordingHandler : public TkelJpegThumbMultiHandler {
 public:
  explicit RecordingHandler(TkelJpegThumbs& owner) : TkelJpegThumbMultiHandler(owner) { gLog += "new "; }
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
    return marker == 0xE5 && n > 0 && data[0] == 'r';
  }
  void AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) override {
    gLog += std::string(reinterpret_cast<const char*>(data) + 1, size_t(n - 1)) + " ";
    Owner.AppendData(1, data + 1, n - 1);
  }
  void Finish() override { gLog += "finish(" + std::to_string(Owner.JoinedLength()) + ") "; }
};

// Any APP6 segment: adds a record, then fails.
class FailingHandler : public TkelJpegThumbHandler {
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t marker, const uint8_t*, int32_t, int32_t) { return marker == 0xE6; }
  void AddSegment(int64_t, uint8_t, const uint8_t*, int32_t, int32_t) override {
    Owner.AddThumb(tkRGB, 0, 1, 1, 1, 100, nullptr, nullptr, "before the failure");
    throw std::runtime_error("hostile data");
  }
};

// Accepts everything and logs it: stands in for the fallback.
class CatchAllHandler : public TkelJpegThumbHandler {
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t, const uint8_t*, int32_t, int32_t) { return true; }
  void AddSegment(int64_t, uint8_t marker, const uint8_t*, int32_t, int32_t) override {
    gLog += "base(" + std::to_string(marker - 0xE0) + ") ";
  }
  void Finish() override {}
};

struct Fixture {
  TkelJpegThumbHandlerRegistry registry;
  TkelJpegThumbs thumbs{false};
  Fixture() {
    registry.Add(ThumbHandlerClass<CatchAllHandler>("Base"));
    registry.Add(ThumbHandlerClass<RecordingHandler>("APP3"));
    registry.Add(ThumbHandlerClass<FailingHandler>("Qualcomm"));
    thumbs.Registry = &registry;
    gLog.clear();
  }
  void Dispatch(const std::vector<Bytes>& segments) {
    Bytes run;
    for (const Bytes& s : segments) run.insert(run.end(), s.begin(), s.end());
    thumbs.ProcessAppBlock(100, run.data(), int32_t(run.size()));
  }
};

Bytes R(const std::string& text) { return Segment(0xE5, test::Str("r" + text)); }

TEST(DispatchRules, InstancesJoinUntilASegmentTheyDoNotContinueOrAnEmptyOne) {
  Fixture f;
  f.Dispatch({R("a"), R("bb"), Segment(0xE5, {}), R("c"), Segment(0xE5, test::Str("x")), R("d")});
  EXPECT_EQ(gLog, "new a bb finish(3) new c finish(1) base(5) new d finish(1) ");
}

TEST(DispatchRules, AnExceptionEndsOnlyTheRunAndKeepsWhatWasAdded) {
  Fixture f;
  EXPECT_THROW(f.Dispatch({R("a"), Segment(0xE6, test::Str("boom")), R("never")}), std::runtime_error);
  // The recording instance was finished before the failing segment; nothing after it ran.
  EXPECT_EQ(gLog, "new a finish(1) ");
  ASSERT_EQ(f.thumbs.ThumbCount(), 1);
  EXPECT_EQ(f.thumbs.JoinedLength(), 0);
  EXPECT_TRUE(f.thumbs.BlockMap().empty());

  // The next run starts clean.
  gLog.clear();
  f.Dispatch({R("e"), R("f")});
  EXPECT_EQ(gLog, "new e f finish(2) ");
}

TEST(DispatchRules, TruncatedLastSegmentIsHandedOverWithWhatIsThere) {
  Fixture f;
  Bytes last = R("truncated");
  last.resize(last.size() - 4);  // the length field still declares the whole segment
  f.Dispatch({R("a"), last});
  EXPECT_EQ(gLog, "new a trunc finish(6) ");
}

}  // namespace
}  // namespace vt
