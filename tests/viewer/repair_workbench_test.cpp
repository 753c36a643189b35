// The viewer as a repair workbench, without a window: hand repairs through the view's commands
// bring a damaged file back to the intact picture, every repair is taken back and done again to
// the same coefficients and pixels, the undo list keeps to its budget, and the status bar's
// texts tell what the picture is.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "jpeg/decode_helpers.h"
#include "jpeg/writer_file.h"
#include "support/camera_photo.h"
#include "support/damage.h"
#include "viewer/document_fixture.h"
#include "viewer/image_view_core.h"
#include "viewer/status_text.h"

namespace vt::test {
namespace {

struct Host : IvtImageViewHost {
  void Repaint() override {}
  void UpdateScrollBars() override {}
  void ScrollInView(const TRect&) override {}
};

// Everything an edit may change and an undo must put back: every block (absent ones read as
// zero), every offset entry, the counts behind the status bar, and the picture shown.
struct TDocState {
  std::vector<int16_t> Blocks;
  std::vector<int32_t> Offsets;
  int Percent = 0;
  bool Errors = false;
  std::vector<TColor32> Pixels;
  bool operator==(const TDocState&) const = default;
};

TDocState StateOf(const TvtThumbSource& doc) {
  TDocState s;
  const TkelJpegWithThumbs& j = *doc.Jpeg;
  for (int c = 0; c < j.ComponentCount; ++c) {
    const TkelMCUs* map = j.MCUs[c].get();
    if (!map) continue;
    for (int32_t y = 0; y < map->MCURows * map->BlocksDown; ++y)
      for (int32_t x = 0; x < map->Columns; ++x) {
        const TkelCoefBlock* b = map->Block(x, y);
        s.Blocks.push_back(b ? b->Decoded : 0);
        for (int k = 0; k < 64; ++k) s.Blocks.push_back(b ? b->Coef[k] : 0);
      }
  }
  for (int32_t y = 0; j.Offsets && y < j.MCURows; ++y)
    for (int32_t x = 0; x < j.MCUsPerRow; ++x) {
      const TkelOffsetEntry* e = j.Offsets->Entry(x, y);
      const bool valid = e && e->Valid;
      s.Offsets.insert(s.Offsets.end(), {valid ? e->StartByte : 0, valid ? e->StartBit : 0, valid ? 1 : 0});
    }
  s.Percent = j.DecodedPercent();
  s.Errors = j.DataErrors;
  if (doc.HasImage()) {
    const TBitmap32& m = *doc.MainImage();
    s.Pixels.assign(m.Bits(), m.Bits() + size_t(m.Width()) * m.Height());
  }
  return s;
}

// A camera-like 640 x 480 4:2:0 photo without restart markers and with its Exif thumbnail, one
// cluster in the middle of its data zeroed.
Bytes DamagedPhoto() {
  TCameraPhotoOptions o;
  o.Seed = 7;
  const Bytes photo = CameraPhoto(o);
  const TScanSpan span = ScanDataSpan(photo);
  return ZeroClusters(photo, (span.Begin + span.Size() / 2) / kClusterSize).Data;
}

struct TEditCase {
  const char* Name;
  // Makes the edit on the document; the cursor is at MCU (5, 3).
  void (*Edit)(TvtThumbSource& doc, TvtImageViewCore& view);
};

void PrintTo(const TEditCase& c, std::ostream* os) { *os << c.Name; }

class EveryEdit : public ::testing::TestWithParam<TEditCase> {};

TEST_P(EveryEdit, IsUndoneAndRedoneToIdenticalCoefficientsAndPixels) {
  if (!CameraPhotosPossible()) GTEST_SKIP() << "exiftool is missing";
  TvtThumbSource doc;
  LoadJpegBytes(doc, DamagedPhoto());
  ASSERT_TRUE(doc.CanEditMCUs());
  Host host;
  TvtImageViewCore view(host);
  view.SetSource(&doc);
  view.SetCursor({5, 3});
  const TDocState before = StateOf(doc);
  const repair::TRepairReport reportBefore = doc.RepairReport;

  GetParam().Edit(doc, view);
  const TDocState after = StateOf(doc);
  ASSERT_NE(after, before) << "the edit changed nothing";
  ASSERT_TRUE(doc.CanUndo());

  ASSERT_TRUE(view.UndoEdit());
  EXPECT_TRUE(StateOf(doc) == before);
  EXPECT_EQ(doc.RepairReport.Places.size(), reportBefore.Places.size());
  EXPECT_FALSE(doc.CanUndo());
  ASSERT_TRUE(view.RedoEdit());
  EXPECT_TRUE(StateOf(doc) == after);
  EXPECT_FALSE(doc.CanRedo());
  // The redone step is taken back as well as the first time.
  ASSERT_TRUE(view.UndoEdit());
  EXPECT_TRUE(StateOf(doc) == before);
}

INSTANTIATE_TEST_SUITE_P(
    Workbench, EveryEdit,
    ::testing::Values(
        TEditCase{"ClearMCU", [](TvtThumbSource&, TvtImageViewCore& v) { v.Execute(TvtEditCommand::Clear); }},
        TEditCase{"InsertMCU", [](TvtThumbSource&, TvtImageViewCore& v) { v.Execute(TvtEditCommand::Insert); }},
        TEditCase{"InsertMCURow", [](TvtThumbSource&, TvtImageViewCore& v) { v.Execute(TvtEditCommand::InsertRow); }},
        TEditCase{"InsertMCURowInTheLastRow",
                  [](TvtThumbSource& d, TvtImageViewCore& v) {
                    v.SetCursor({7, d.MCURows - 1});
                    v.Execute(TvtEditCommand::InsertRow);
                  }},
        TEditCase{"DeleteMCU", [](TvtThumbSource&, TvtImageViewCore& v) { v.Execute(TvtEditCommand::Remove); }},
        TEditCase{"RedecodeFromAWrongBit",
                  [](TvtThumbSource& d, TvtImageViewCore&) {
                    TkelOffsetEntry at = d.GetMCUOffsets({5, 3});
                    at.StartByte += (at.StartBit + 1) / 8;
                    at.StartBit = (at.StartBit + 1) % 8;
                    d.RedecodeFrom({5, 3}, at, 0, true);
                  }},
        TEditCase{"SearchForwardFromTheDamage",
                  [](TvtThumbSource& d, TvtImageViewCore& v) {
                    v.SetCursor({d.RepairReport.FirstDamageMCU % d.MCUCols, d.RepairReport.FirstDamageMCU / d.MCUCols});
                    v.Execute(TvtEditCommand::SearchForward);
                  }},
        TEditCase{"RealignAutomatically", [](TvtThumbSource& d, TvtImageViewCore&) { ASSERT_TRUE(d.RealignAutomatically()); }},
        TEditCase{"DcCorrection", [](TvtThumbSource& d, TvtImageViewCore& v) {
                    const TvtMCURun run = v.DecodedRunAtCursor();
                    const int32_t shift[4] = {3, -2, 1, 0};
                    d.CorrectDC(run.First, run.Count, shift);
                  }}));

// Repairs by hand.

// The MCU at linear index n of a document.
TvtMCUPos At(const TvtThumbSource& doc, int32_t n) { return {n % doc.MCUCols, n / doc.MCUCols}; }

TEST(HandRepair, SearchForwardAtTheMCUAfterThreeInsertedBitsGivesTheIntactPicture) {
  // Dense 4:2:0 data of 8 x 8 MCUs: misaligned bits soon fail to decode.
  const Bytes intact = Cjpeg("-quality 97 -sample 2x2", 128, 128, false, 21);
  const RefCoefficients ref = LibjpegCoefficients(intact);
  TvtThumbSource original;
  LoadJpegBytes(original, intact);
  for (int32_t n : {5, 20, 50}) {
    SCOPED_TRACE(n);
    const TkelOffsetEntry at = original.GetMCUOffsets(At(original, n));
    TvtThumbSource doc;
    LoadJpegBytes(doc, InsertBits(intact, at.StartByte, at.StartBit, 0b101, 3));
    EXPECT_FALSE(CompareByMCU(*doc.Jpeg, ref, [](int) { return McuExpect::Match; }));
    Host host;
    TvtImageViewCore view(host);
    view.SetSource(&doc);
    view.SetCursor(At(doc, n));
    // Ctrl+R starts where the MCU was read from, which is where the extra bits are: no better.
    view.Execute(TvtEditCommand::Redecode);
    EXPECT_FALSE(CompareByMCU(*doc.Jpeg, ref, [](int) { return McuExpect::Match; }));
    view.Execute(TvtEditCommand::SearchForward);
    EXPECT_TRUE(CompareByMCU(*doc.Jpeg, ref, [](int) { return McuExpect::Match; }));
    EXPECT_EQ(DataBitIndex(intact, at.StartByte, at.StartBit) + 3,
              DataBitIndex(InsertBits(intact, at.StartByte, at.StartBit, 0b101, 3), doc.GetMCUOffsets(At(doc, n)).StartByte,
                           doc.GetMCUOffsets(At(doc, n)).StartBit));
    // File > Save As writes the repaired coefficients: libjpeg reads the intact ones back.
    const std::string saved = TempPath(".jpg");
    SaveBaselineJpegFile(*doc.Jpeg, doc.GetThumbBackground(), saved, "");
    const RefCoefficients back = LibjpegCoefficients(ReadBytes(saved));
    ASSERT_TRUE(back.Ok) << back.Error;
    EXPECT_EQ(back.Warnings, 0);
    for (size_t c = 0; c < ref.Components.size(); ++c) EXPECT_EQ(back.Components[c].Coef, ref.Components[c].Coef);
  }
}

// A grey 64 x 64 picture whose fourth MCU row is flat: its MCUs after the first have the same DC
// as the one before them, so losing one of them loses nothing else.
Bytes GreyWithFlatRow() {
  const Bytes rgb = PhotoLikeRgb(64, 64, 3);
  std::string pgm = "P5\n64 64\n255\n";
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) pgm.push_back(y / 8 == 3 ? char(128) : char(rgb[(size_t(y) * 64 + x) * 3 + 1]));
  const std::string path = TempPath(".pgm");
  WriteBytes(path, Bytes(pgm.begin(), pgm.end()));
  return CjpegFile("-quality 90", path);
}

TEST(HandRepair, InsertMCUPutsARowShiftedByALostMCUBackInPlace) {
  const Bytes intact = GreyWithFlatRow();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  TvtThumbSource original;
  LoadJpegBytes(original, intact);
  ASSERT_EQ(original.MCUCols, 8);
  const int32_t lost = 3 * 8 + 4;
  const TkelOffsetEntry mcu = original.GetMCUOffsets(At(original, lost));
  const int64_t bits = DataBitIndex(intact, mcu.EndByte, mcu.EndBit) - DataBitIndex(intact, mcu.StartByte, mcu.StartBit);
  ASSERT_GT(bits, 0);
  TvtThumbSource doc;
  LoadJpegBytes(doc, SpliceBits(intact, mcu.StartByte, mcu.StartBit, bits, 0, 0));
  // The rest of the picture shows one MCU early.
  EXPECT_FALSE(CompareByMCU(*doc.Jpeg, ref, [&](int m) { return m < lost ? McuExpect::Any : McuExpect::Match; }));
  EXPECT_TRUE(CompareByMCU(*doc.Jpeg, ref, [&](int m) { return m < lost ? McuExpect::Match : McuExpect::Any; }));
  Host host;
  TvtImageViewCore view(host);
  view.SetSource(&doc);
  view.SetCursor(At(doc, lost));
  view.Execute(TvtEditCommand::Insert);
  EXPECT_TRUE(CompareByMCU(*doc.Jpeg, ref, [&](int m) { return m == lost ? McuExpect::Missing : McuExpect::Match; }));
  // The picture shows it: the hole is transparent, the MCU after it is the intact one's.
  const TBitmap32& shown = *doc.MainImage();
  EXPECT_EQ(shown.Pixel(4 * 8 + 3, 3 * 8 + 3), 0u);
  TvtThumbSource again;
  LoadJpegBytes(again, intact);
  EXPECT_EQ(shown.Pixel(5 * 8 + 3, 6 * 8 + 3), again.MainImage()->Pixel(5 * 8 + 3, 6 * 8 + 3));
}

TEST(HandRepair, DcCorrectionShiftsTheRunAndNothingElse) {
  TvtThumbSource doc;
  LoadJpegBytes(doc, Cjpeg("-quality 90 -sample 1x1", 64, 64, false, 4));
  const TDocState before = StateOf(doc);
  const int32_t shift[4] = {5, 0, -3, 0};
  doc.CorrectDC(10, 6, shift);
  const TkelJpegWithThumbs& j = *doc.Jpeg;
  for (int32_t m = 0; m < 64; ++m)
    for (int c = 0; c < 3; ++c) {
      const TkelCoefBlock* b = j.MCUs[c]->Block(m % 8, m / 8);
      const int16_t was = before.Blocks[(size_t(c) * 64 + m) * 65 + 1];
      EXPECT_EQ(b->Coef[0], was + (m >= 10 && m < 16 ? shift[c] : 0)) << "MCU " << m << " component " << c;
    }
}

// The undo list's bounds.

TvtEditStep StepOf(int32_t col, size_t pixels) {
  TvtEditStep s;
  s.Col = col;
  s.Saved.push_back({});
  s.Saved.back().Pixels.resize(pixels);
  return s;
}

std::vector<int32_t> UndoOrder(TvtEditHistory& h) {
  std::vector<int32_t> cols;
  while (auto s = h.TakeUndo()) cols.push_back(s->Col);
  return cols;
}

TEST(EditHistory, KeepsTheNewestStepsWithinItsCountAndBytes) {
  const size_t step = StepOf(0, 1000).Bytes();
  {
    TvtEditHistory h(int64_t(step) * 100, 5);
    for (int32_t i = 0; i < 7; ++i) h.Record(StepOf(i, 1000));
    EXPECT_EQ(UndoOrder(h), (std::vector<int32_t>{6, 5, 4, 3, 2}));
  }
  {
    TvtEditHistory h(int64_t(step) * 7 / 2, 100);
    for (int32_t i = 0; i < 5; ++i) h.Record(StepOf(i, 1000));
    EXPECT_LE(h.UndoBytes(), int64_t(step) * 7 / 2);
    EXPECT_EQ(UndoOrder(h), (std::vector<int32_t>{4, 3, 2}));
    EXPECT_EQ(h.UndoBytes(), 0);
  }
  {
    // A step larger than the budget cannot be undone, and neither can those before it.
    TvtEditHistory h(int64_t(step) * 3, 100);
    h.Record(StepOf(1, 1000));
    h.Record(StepOf(2, 10000));
    EXPECT_FALSE(h.CanUndo());
    h.Record(StepOf(3, 1000));
    EXPECT_EQ(UndoOrder(h), (std::vector<int32_t>{3}));
  }
  {
    // Undone steps keep only what redoes them; a new edit drops them, a redone one does not.
    TvtEditHistory h;
    for (int32_t i = 0; i < 3; ++i) h.Record(StepOf(i, 1000));
    h.Undone(*h.TakeUndo());
    h.Undone(*h.TakeUndo());
    EXPECT_EQ(h.RedoCount(), 2u);
    std::optional<TvtEditStep> redo = h.TakeRedo();
    EXPECT_EQ(redo->Col, 1);
    EXPECT_TRUE(redo->Saved.empty());
    h.Redone(StepOf(1, 1000));
    EXPECT_EQ(h.RedoCount(), 1u);
    h.Record(StepOf(9, 1000));
    EXPECT_FALSE(h.CanRedo());
    EXPECT_EQ(UndoOrder(h), (std::vector<int32_t>{9, 1, 0}));
  }
}

TEST(EditHistory, TheLeastNumberOfRowInsertionsIsTakenBackStepByStep) {
  if (!CameraPhotosPossible()) GTEST_SKIP() << "exiftool is missing";
  TvtThumbSource doc;
  LoadJpegBytes(doc, DamagedPhoto());
  std::vector<TDocState> states{StateOf(doc)};
  for (int i = 0; i < kMinUndoSteps; ++i) {
    doc.InsertMCURow({i % doc.MCUCols, i % doc.MCURows});
    states.push_back(StateOf(doc));
  }
  EXPECT_EQ(doc.History.UndoCount(), size_t(kMinUndoSteps));
  for (int i = kMinUndoSteps; i > 0; --i) {
    ASSERT_TRUE(doc.Undo());
    ASSERT_TRUE(StateOf(doc) == states[size_t(i) - 1]) << "after undoing step " << i;
  }
  EXPECT_FALSE(doc.Undo());
}

// The status bar's texts.

TEST(StatusText, TellsWhatAnIntactAndADamagedPhotoAre) {
  if (!CameraPhotosPossible()) GTEST_SKIP() << "exiftool is missing";
  TCameraPhotoOptions o;
  o.Seed = 7;
  TvtThumbSource intact;
  LoadJpegBytes(intact, CameraPhoto(o));
  EXPECT_EQ(DocumentStatus(intact), (std::vector<std::string>{"640 x 480", "Baseline", "Decoded 100 %", "No data errors",
                                                              "No restart markers",
                                                              "Holes from JPEG thumbnail 1 of 1, 160 x 120"}));
  EXPECT_EQ(CursorText(intact, {5, 3}).rfind("MCU 5, 3 (#125): decoded, starts at byte ", 0), 0u);
  EXPECT_EQ(CursorText(intact, {40, 0}), "");

  TvtThumbSource damaged;
  LoadJpegBytes(damaged, DamagedPhoto());
  const std::vector<std::string> fields = DocumentStatus(damaged);
  ASSERT_EQ(fields.size(), 6u);
  const int percent = damaged.Jpeg->DecodedPercent();
  EXPECT_LT(percent, 100);
  EXPECT_EQ(fields[2], "Decoded " + std::to_string(percent) + " %");
  const int32_t first = damaged.RepairReport.FirstDamageMCU;
  ASSERT_GT(first, 0);
  EXPECT_EQ(fields[3], "Data errors from MCU " + std::to_string(first % 40) + ", " + std::to_string(first / 40));
  damaged.SetMainThumb(-1);
  EXPECT_EQ(DocumentStatus(damaged)[5], "Holes not filled");
  // The last MCU lies after the zeroed cluster: it was never read.
  EXPECT_EQ(CursorText(damaged, {39, 29}).rfind("MCU 39, 29 (#1199): not decoded", 0), 0u);
}

TEST(StatusText, NamesProcessRestartIntervalZoomAndTheRealignment) {
  TvtThumbSource doc;
  LoadJpegBytes(doc, Cjpeg("-quality 90 -progressive -restart 4B", 64, 48));
  const std::vector<std::string> fields = DocumentStatus(doc);
  ASSERT_EQ(fields.size(), 6u);
  EXPECT_EQ(fields[1], "Progressive");
  EXPECT_EQ(fields[4], "Restart interval 4");
  EXPECT_EQ(fields[5], "No thumbnail");
  EXPECT_EQ(ProcessText(0xC1), "Extended");
  EXPECT_EQ(ProcessText(0xC3), "SOF 3");
  EXPECT_EQ(ZoomText(100), "Zoom 100 %");
  EXPECT_EQ(ZoomText(6.25), "Zoom 6.2 %");
  repair::TRepairReport report;
  report.Places.resize(2);
  report.Places[0].ResumeMCU = 40;
  report.Places[0].ResumedMCUs = 300;
  report.Places[0].ClearedMCUs = 12;
  EXPECT_EQ(RealignText(true, report, 1.234), "Realigned 1 of 2 damaged places: 300 MCUs placed, 12 cleared (1.23 s)");
  EXPECT_EQ(RealignText(false, report, 0.5), "Realignment: nothing to change (0.50 s)");
}

}  // namespace
}  // namespace vt::test
