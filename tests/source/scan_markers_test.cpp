#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "source/disc_source.h"
#include "source/disc_source_thread.h"
#include "support/test_support.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {
namespace {

using test::Bytes;

// A source prepared as the worker leaves it after opening: folders built, stores created and
// the buffered stream over the given bytes; the worker is not started.
struct PreparedSource {
  explicit PreparedSource(const Bytes& bytes) {
    source.Root().Build();
    source.PreviewStore = std::make_unique<TMemoryStream>();
    source.ExtractStore = std::make_unique<TMemoryStream>();
    auto* mem = new TMemoryStream;
    mem->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    source.Stream = std::make_unique<TvtBufferedStream>(mem, true);
    worker = std::make_unique<TvtDiscSourceThread>(source, false);
    worker->Stream = source.Stream.get();
  }
  // Parses jpeg as a candidate would be and collects its header set.
  void CollectFrom(const Bytes& jpeg) {
    TMemoryStream s;
    s.WriteBuffer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
    s.SetPosition(0);
    worker->Image = std::make_unique<TkelJpegWithThumbs>(true, 0);
    worker->Image->LoadFromStream(s, 0);
    worker->CollectHeaders();
    worker->Image.reset();
  }
  TvtDiscSource source;
  std::unique_ptr<TvtDiscSourceThread> worker;
};

Bytes scanHeader(std::initializer_list<uint8_t> afterMarker) {
  Bytes b(afterMarker.size() + 2);
  b[0] = 0xFF;
  b[1] = 0xDA;
  std::copy(afterMarker.begin(), afterMarker.end(), b.begin() + 2);
  return b;
}

struct MarkerCase {
  const char* name;
  Bytes header;
  bool recorded;
};

class RecordMarker : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(RecordMarker, TakesOnlyWellFormedOneThreeOrFourComponentHeaders) {
  const MarkerCase c = GetParam();
  Bytes file(7, 0x55);
  file.insert(file.end(), c.header.begin(), c.header.end());
  file.insert(file.end(), 20, 0x00);
  PreparedSource p(file);
  p.worker->RecordScanMarker(7);
  ASSERT_EQ(p.source.ScanMarkers.Count(), c.recorded ? 1 : 0);
  if (c.recorded) {
    const TvtSOSOffsetItem* m = p.source.ScanMarkers.GetItem(0);
    EXPECT_EQ(m->HeaderSize, c.header.size());
    EXPECT_EQ(m->Header, c.header);
    EXPECT_EQ(m->DataOffset, 7 + c.header.size());
    EXPECT_EQ(m->Stream, p.source.Stream.get());
    EXPECT_FALSE(m->OwnsStream);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, RecordMarker,
    ::testing::Values(MarkerCase{"one", scanHeader({0, 8, 1, 1, 0x00, 0, 63, 0}), true},
                      MarkerCase{"three", scanHeader({0, 12, 3, 1, 0x00, 2, 0x11, 3, 0x33, 0, 63, 0}), true},
                      MarkerCase{"four", scanHeader({0, 14, 4, 1, 0, 2, 0, 3, 0, 4, 0, 0, 63, 0}), true},
                      MarkerCase{"two", scanHeader({0, 10, 2, 1, 0x00, 2, 0x11, 0, 63, 0}), false},
                      MarkerCase{"td4", scanHeader({0, 8, 1, 1, 0x40, 0, 63, 0}), false},
                      MarkerCase{"ta4", scanHeader({0, 8, 1, 1, 0x04, 0, 63, 0}), false},
                      MarkerCase{"ns-mismatch", scanHeader({0, 12, 1, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0}), false},
                      MarkerCase{"long", scanHeader({0, 16, 1, 1, 0x00, 0, 63, 0}), false},
                      MarkerCase{"not-sos", Bytes{0xFF, 0xDB, 0, 8, 1, 1, 0, 0, 63, 0}, false}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n) {
        if (ch == '-') ch = '_';
      }
      return n;
    });

TEST(RecordMarker, TruncatedHeaderAtTheEndOfTheFileIsNotRecorded) {
  const Bytes full = scanHeader({0, 12, 3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0});
  for (size_t keep = 2; keep < full.size(); ++keep) {
    PreparedSource p(Bytes(full.begin(), full.begin() + static_cast<int64_t>(keep)));
    p.worker->RecordScanMarker(0);
    EXPECT_EQ(p.source.ScanMarkers.Count(), 0) << keep;
  }
}

// Where a JPEG's first scan header starts and how long it is.
void locateScan(const Bytes& jpeg, int64_t& sosStart, int64_t& dataStart) {
  TMemoryStream s;
  s.WriteBuffer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  s.SetPosition(0);
  TkelJpegImage image;
  image.LoadFromStream(s, pfHeadersOnly, 0);
  dataStart = image.ScanDataOffset;
  ASSERT_GT(dataStart, 4);
  // Walk back from the data to the FF DA marker.
  for (sosStart = dataStart - 4; sosStart > 0; --sosStart) {
    if (jpeg[static_cast<size_t>(sosStart)] == 0xFF && jpeg[static_cast<size_t>(sosStart) + 1] == 0xDA) break;
  }
}

TEST(AnalyseScanMarkers, OrphanedScanDataIsRecoveredWithEveryMatchingHeaderSet) {
  // Two grey images of the same size and scan header but different quantisation tables.
  const Bytes fine = test::Cjpeg("-quality 95 -grayscale", 48, 32);
  const Bytes coarse = test::Cjpeg("-quality 40 -grayscale", 48, 32);
  const Bytes other = test::Cjpeg("-quality 90 -grayscale", 16, 16);
  int64_t sos = 0, data = 0;
  locateScan(fine, sos, data);
  // The file: junk, then fine's scan header and data, so that the data starts at 4096.
  Bytes file(static_cast<size_t>(4096 - (data - sos)), 0x11);
  file.insert(file.end(), fine.begin() + sos, fine.end());

  PreparedSource p(file);
  p.CollectFrom(fine);
  p.CollectFrom(coarse);
  p.CollectFrom(fine);  // the same header set again is kept once
  p.CollectFrom(other);
  ASSERT_EQ(p.source.ScanHeaders.Count(), 3);
  EXPECT_EQ(p.source.ScanHeaders.GetItem(0)->Id->Width, 16) << "ordered by width";
  p.worker->RecordScanMarker(static_cast<uint64_t>(4096 - (data - sos)));
  ASSERT_EQ(p.source.ScanMarkers.Count(), 1);
  EXPECT_EQ(p.source.ScanMarkers.GetItem(0)->DataOffset, 4096u);

  p.worker->AnalyseScanMarkers();
  TvtFolder* sosFolder = p.source.Root().SOSMarker;
  ASSERT_EQ(sosFolder->SubFolderCount(), 1);
  TvtFolder* folder = sosFolder->GetSubFolder(0);
  EXPECT_EQ(folder->Name, "0x1000");
  // Every header set with the same scan header is tried, in the order of the sets: the small
  // one decodes the first MCUs of the data as a picture of its own size.
  ASSERT_EQ(folder->ItemCount(), 3);
  for (int i = 0; i < 3; ++i) {
    TvtItem* item = folder->GetItem(i);
    const TkelJpegID& set = *p.source.ScanHeaders.GetItem(i)->Id;
    EXPECT_EQ(item->Width, set.Width);
    EXPECT_EQ(item->Offset, 4096u);
    EXPECT_EQ(item->SortOffset, 4096);
    EXPECT_TRUE(item->OwnsHeaderStream);
    ASSERT_NE(item->HeaderStream, nullptr);
    EXPECT_EQ(item->HeaderStream->GetSize(), set.Length);
    EXPECT_NE(item->GetPreview(), nullptr);
    EXPECT_EQ(item->RefCount, 1) << "only the folder holds it";
  }
  for (int i = 1; i < 3; ++i) {
    EXPECT_FALSE(folder->GetItem(i)->Broken);
    EXPECT_EQ(folder->GetItem(i)->DecodedPercent, 100);
    EXPECT_EQ(folder->GetItem(i)->Height, 32);
  }
  EXPECT_EQ(p.source.Root().All->ItemCount(), 0) << "recovered items are listed only under SOS marker";

  // The recovered picture decodes through its header stream like the original.
  TkelJpegImage image;
  TvtItem* item = folder->GetItem(1);
  item->HeaderStream->Seek(0, soBeginning);
  image.LoadFromStream(*item->HeaderStream, pfHeadersOnly, 0);
  item->Stream->Seek(static_cast<int64_t>(item->Offset), soBeginning);
  EXPECT_EQ(image.LoadFromStream(*item->Stream, pfResumeAtScan, 0), jrOK);
  EXPECT_EQ(image.DecodedPercent(), 100);

  std::lock_guard<std::mutex> g(p.worker->Lock);
  EXPECT_EQ(p.worker->Phase, 2);
  EXPECT_EQ(p.worker->Progress, 1u);
  EXPECT_EQ(p.worker->ProgressTotal, 1u);
}

TEST(AnalyseScanMarkers, WithNothingRecordedOnlySetsProgressAndQueuesItsText) {
  PreparedSource p(Bytes(100, 0));
  p.worker->AnalyseScanMarkers();
  EXPECT_EQ(p.source.Root().SOSMarker->SubFolderCount(), 0);
  EXPECT_EQ(p.worker->TakeMessages(), (std::vector<std::string>{"Анализ найденных SOS маркеров"}));
  EXPECT_EQ(p.worker->ProgressPercent(), 0);  // no total: nothing to measure
}

// The signature search looks at bytes 0 to 2 only: a scan header there is recorded when its
// FF DA starts at offset 0 or 1, not at 2 (its DA would be byte 3).
class SignatureRange : public ::testing::TestWithParam<int> {};

TEST_P(SignatureRange, RecordsScanMarkersOnlyWhereTheFirstThreeBytesReach) {
  const int at = GetParam();
  Bytes file(static_cast<size_t>(at), 0x00);
  const Bytes header = scanHeader({0, 8, 1, 1, 0x00, 0, 63, 0});
  file.insert(file.end(), header.begin(), header.end());
  file.insert(file.end(), 64, 0x5A);
  const std::string path = test::TempPath(".bin");
  test::WriteBytes(path, file);
  TvtDiscSource source;
  source.Open(path);
  EXPECT_EQ(source.FirstItem(), nullptr);
  ASSERT_EQ(source.ScanMarkers.Count(), at < 2 ? 1 : 0);
  if (at < 2) { EXPECT_EQ(source.ScanMarkers.GetItem(0)->DataOffset, static_cast<uint64_t>(at) + 10); }
}

INSTANTIATE_TEST_SUITE_P(Offsets, SignatureRange, ::testing::Values(0, 1, 2));

// Over a wider range the byte loop skips what a found JPEG covers: the second picture of a
// multi-picture file and its scan headers lie inside the first item's widened length, so they
// are neither items nor markers; a separate JPEG after it is found again.
TEST(ScanRange, SkipsEmbeddedPicturesOfTheFoundJpegAndFindsTheNextOne) {
  Bytes file = test::ReadBytes(test::CorpusPath("pil-sugarshack.mpo"));
  const uint64_t mpoSize = file.size();
  const Bytes next = test::Cjpeg("-quality 80", 40, 24);
  file.insert(file.end(), next.begin(), next.end());
  PreparedSource p(file);
  p.worker->Image = std::make_unique<TkelJpegWithThumbs>(true, 0);
  p.worker->ScanRange(0, file.size());
  p.worker->Image.reset();

  TvtFolder* all = p.source.Root().All;
  ASSERT_EQ(all->ItemCount(), 2);
  const TvtItem* mpo = all->GetItem(0);
  EXPECT_EQ(mpo->Offset, 0u);
  EXPECT_EQ(static_cast<uint64_t>(mpo->Length), mpoSize) << "widened over the second picture";
  bool postSeen = false;
  for (const TvtSubItem* sub : mpo->SubItems()) postSeen |= sub->Offset > 0 && sub->Stream == p.source.Stream.get();
  EXPECT_TRUE(postSeen);
  const TvtItem* second = all->GetItem(1);
  EXPECT_EQ(second->Offset, mpoSize);
  EXPECT_EQ(second->Width, 40);
  EXPECT_EQ(p.source.ScanMarkers.Count(), 0) << "every scan header belonged to a found JPEG";
}

TEST(DiscSourceProgress, TwoPhasesShareTheHundred) {
  PreparedSource p(Bytes(10, 0));
  auto& w = *p.worker;
  EXPECT_EQ(w.ProgressPercent(), 0);
  w.Phase = 1;
  w.ProgressTotal = 1000;
  w.Progress = 500;
  EXPECT_EQ(w.ProgressPercent(), 25);
  w.Progress = 1000;
  EXPECT_EQ(w.ProgressPercent(), 50);
  w.Phase = 2;
  w.ProgressTotal = 3;
  w.Progress = 1;
  EXPECT_EQ(w.ProgressPercent(), 67);
  w.Progress = 3;
  EXPECT_EQ(w.ProgressPercent(), 100);
}

}  // namespace
}  // namespace vt
