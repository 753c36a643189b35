// The deep scan: the signature search over the whole file finds photos behind junk and in
// card-image-like files (embedded pictures not listed twice), with 64-bit offsets, and stops
// when asked to; hostile runs of fake markers keep nothing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <cstring>
#include <string>
#include <vector>

#include "source/disc_source_thread.h"
#include "source/source_open.h"
#include "support/test_support.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {
namespace {

using test::Bytes;

std::string WriteFile(const Bytes& bytes) {
  const std::string path = test::TempPath(".img");
  test::WriteBytes(path, bytes);
  return path;
}

Bytes Junk(size_t n, uint32_t seed) { return test::JunkWithoutMarkers(n, seed); }

// A photo with an Exif thumbnail (when exiftool is there).
Bytes PhotoWithThumbnail(int w, int h, uint32_t seed) {
  const std::string big = test::TempPath(".jpg"), small = test::TempPath(".jpg");
  test::WriteBytes(big, test::Cjpeg("-quality 85", w, h, false, seed));
  test::WriteBytes(small, test::Cjpeg("-quality 80", 64, 48, false, seed));
  if (!std::string(VT_EXIFTOOL).empty())
    test::RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original " + test::Quote("-ThumbnailImage<=" + small) +
                     " " + test::Quote(big) + " >/dev/null 2>&1");
  return test::ReadBytes(big);
}

class JunkBeforeAPhoto : public ::testing::TestWithParam<size_t> {};

TEST_P(JunkBeforeAPhoto, OnlyTheDeepScanFindsIt) {
  const Bytes photo = test::Cjpeg("-quality 85", 120, 80);
  Bytes file = Junk(GetParam(), 7);
  file.insert(file.end(), photo.begin(), photo.end());
  const std::string path = WriteFile(file);

  TvtDiscSource source;
  const TvtOpenResult plain = OpenSource(source, path);
  EXPECT_TRUE(plain.Items.empty());
  EXPECT_EQ(plain.Reason, "the file does not begin with a JPEG start-of-image marker");

  TvtOpenOptions deep;
  deep.Deep = true;
  const TvtOpenResult found = OpenSource(source, path, deep);
  ASSERT_EQ(found.Items.size(), 1u) << found.Reason;
  const TvtFoundItem& item = found.Items[0];
  EXPECT_EQ(item.Offset, GetParam());
  EXPECT_EQ(item.Length, static_cast<int32_t>(photo.size()));
  EXPECT_EQ(item.Width, 120);
  EXPECT_EQ(item.Height, 80);
  EXPECT_EQ(item.DecodedPercent, 100);
  EXPECT_FALSE(item.Broken);
  EXPECT_FALSE(item.ReplacementHeader);
  EXPECT_NE(item.Preview(), nullptr);
  EXPECT_EQ(found.DefaultItem, 0);
  // The next plain open is the default one again.
  EXPECT_TRUE(OpenSource(source, path).Items.empty());
}

INSTANTIATE_TEST_SUITE_P(DeepScan, JunkBeforeAPhoto, ::testing::Values(size_t{20}, size_t{4000}));

TEST(DeepScan, CardImageListsEachPhotoOnceAtItsOffset) {
  const std::vector<Bytes> photos = {PhotoWithThumbnail(320, 240, 1), PhotoWithThumbnail(640, 480, 2),
                                     PhotoWithThumbnail(200, 150, 3)};
  Bytes file = Junk(3000, 1);
  std::vector<uint64_t> offsets;
  for (size_t i = 0; i < photos.size(); ++i) {
    offsets.push_back(file.size());
    file.insert(file.end(), photos[i].begin(), photos[i].end());
    const Bytes gap = i == 0 ? Bytes(5000, 0) : Junk(777 + i, static_cast<uint32_t>(i + 9));
    file.insert(file.end(), gap.begin(), gap.end());
  }
  TvtDiscSource source;
  TvtOpenOptions deep;
  deep.Deep = true;
  const TvtOpenResult found = OpenSource(source, WriteFile(file), deep);
  ASSERT_EQ(found.Items.size(), 3u) << "the Exif thumbnails are sub-items, not items";
  const int widths[] = {320, 640, 200};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(found.Items[i].Offset, offsets[i]);
    EXPECT_EQ(found.Items[i].Width, widths[i]);
    EXPECT_EQ(found.Items[i].DecodedPercent, 100);
    EXPECT_EQ(found.Items[i].Folders.front(), "All");
    if (!std::string(VT_EXIFTOOL).empty()) { EXPECT_EQ(found.Items[i].Item->SubItemCount(), 1); }
  }
  EXPECT_EQ(found.DefaultItem, 1) << "the largest decoded area";
}

// A candidate needs its FF D8 FF inside the range and a scan marker its FF DA; the search reads
// the file in chunks, so the patterns are also placed across the chunk boundary.
struct RangeCase {
  const char* Name;
  uint64_t At;         // where the JPEG starts
  uint64_t Count;      // the range searched, from 0
  bool Found;
};

void PrintTo(const RangeCase& c, std::ostream* os) { *os << c.Name; }

class SearchRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(SearchRange, CandidatesNeedTheirWholeSignatureInside) {
  const RangeCase& c = GetParam();
  const Bytes photo = test::Cjpeg("-quality 80", 16, 16);
  Bytes file(c.At, 0x00);
  file.insert(file.end(), photo.begin(), photo.end());
  TvtDiscSource source;
  source.Root().Build();
  source.PreviewStore = std::make_unique<TMemoryStream>();
  source.ExtractStore = std::make_unique<TMemoryStream>();
  auto* mem = new TMemoryStream;
  mem->WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
  source.Stream = std::make_unique<TvtBufferedStream>(mem, true);
  TvtDiscSourceThread worker(source, false);
  worker.Stream = source.Stream.get();
  worker.Image = std::make_unique<TkelJpegWithThumbs>(true, 0);
  worker.ScanRange(0, c.Count);
  worker.Image.reset();
  ASSERT_EQ(source.Root().All->ItemCount(), c.Found ? 1 : 0);
  if (c.Found) { EXPECT_EQ(source.Root().All->GetItem(0)->Offset, c.At); }
}

INSTANTIATE_TEST_SUITE_P(
    DeepScan, SearchRange,
    ::testing::Values(RangeCase{"StartOnly", 0, 3, true}, RangeCase{"RangeEndsInTheSignature", 0, 2, false},
                      RangeCase{"SignatureEndsAtTheRangeEnd", 100, 103, true},
                      RangeCase{"SignatureOneByteLong", 100, 102, false},
                      RangeCase{"FFLastByteOfAChunk", 65535, 1 << 20, true},
                      RangeCase{"FFDoubleLastOfAChunk", 65534, 1 << 20, true},
                      RangeCase{"FFFirstByteOfAChunk", 65536, 1 << 20, true},
                      RangeCase{"SecondChunkBoundary", 2 * 65536 - 1, 1 << 20, true}),
    [](const auto& info) { return std::string(info.param.Name); });

// A stream of zeros up to a 64-bit offset, then a photo, without the bytes existing anywhere.
class ZerosThenPhoto : public TStream {
 public:
  ZerosThenPhoto(uint64_t at, Bytes photo) : at_(at), photo_(std::move(photo)) {}
  int64_t Read(void* buffer, int64_t count) override {
    ++Reads;
    if (OnRead) OnRead();
    const int64_t size = GetSize();
    const int64_t n = std::max<int64_t>(0, std::min(count, size - pos_));
    auto* out = static_cast<uint8_t*>(buffer);
    for (int64_t done = 0; done < n;) {
      const int64_t p = pos_ + done;
      if (p < static_cast<int64_t>(at_)) {
        const int64_t z = std::min<int64_t>(n - done, static_cast<int64_t>(at_) - p);
        std::memset(out + done, 0, static_cast<size_t>(z));
        done += z;
      } else {
        const int64_t k = std::min<int64_t>(n - done, size - p);
        std::memcpy(out + done, photo_.data() + (p - static_cast<int64_t>(at_)), static_cast<size_t>(k));
        done += k;
      }
    }
    pos_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    pos_ = origin == soBeginning ? offset : origin == soCurrent ? pos_ + offset : GetSize() + offset;
    return pos_;
  }
  int64_t GetSize() override { return static_cast<int64_t>(at_ + photo_.size()); }
  std::function<void()> OnRead;
  int64_t Reads = 0;

 private:
  uint64_t at_;
  Bytes photo_;
  int64_t pos_ = 0;
};

struct SyntheticSource {
  SyntheticSource(uint64_t at, const Bytes& photo) {
    source.Root().Build();
    source.PreviewStore = std::make_unique<TMemoryStream>();
    source.ExtractStore = std::make_unique<TMemoryStream>();
    inner = new ZerosThenPhoto(at, photo);
    source.Stream = std::make_unique<TvtBufferedStream>(inner, true);
    worker = std::make_unique<TvtDiscSourceThread>(source, false);
    worker->Stream = source.Stream.get();
    worker->Image = std::make_unique<TkelJpegWithThumbs>(true, 0);
  }
  TvtDiscSource source;
  ZerosThenPhoto* inner;
  std::unique_ptr<TvtDiscSourceThread> worker;
};

TEST(DeepScan, PhotoPastFourGigabytesKeepsItsOffset) {
  const uint64_t at = (uint64_t{5} << 30) + 12345;
  const Bytes photo = test::Cjpeg("-quality 80", 48, 32);
  SyntheticSource s(at, photo);
  s.worker->ScanRange(0, static_cast<uint64_t>(s.source.Stream->GetSize()));
  ASSERT_EQ(s.source.Root().All->ItemCount(), 1);
  const TvtItem* item = s.source.Root().All->GetItem(0);
  EXPECT_EQ(item->Offset, at);
  EXPECT_EQ(item->SortOffset, static_cast<int64_t>(at));
  EXPECT_EQ(item->DecodedPercent, 100);
  std::lock_guard<std::mutex> guard(s.worker->Lock);
  EXPECT_GT(s.worker->Progress, uint64_t{1} << 32) << "progress is a 64-bit position";
}

TEST(DeepScan, StopsWhenTerminatedMidway) {
  const uint64_t at = uint64_t{1} << 30;
  SyntheticSource s(at, test::Cjpeg("-quality 80", 16, 16));
  s.inner->OnRead = [&] {
    if (s.inner->Reads == 100) s.worker->Terminate();
  };
  s.worker->ScanRange(0, static_cast<uint64_t>(s.source.Stream->GetSize()));
  EXPECT_EQ(s.source.Root().All->ItemCount(), 0);
  EXPECT_LE(s.inner->Reads, 102) << "the search ended at the next chunk";
}

TEST(DeepScan, CancelFromTheProgressCallbackKeepsWhatWasFound) {
  // A photo at the start, then a sparse gigabyte of zeros that takes a while to read.
  const Bytes photo = test::Cjpeg("-quality 80", 32, 32);
  const std::string path = WriteFile(photo);
  ASSERT_EQ(truncate(path.c_str(), int64_t{1} << 30), 0);
  TvtDiscSource source;
  TvtOpenOptions deep;
  deep.Deep = true;
  int calls = 0, last = -1;
  bool rising = true;
  deep.Progress = [&](int percent, TvtScanPhase) {
    rising = rising && percent >= last && percent <= 100;
    last = percent;
    return ++calls < 2;
  };
  const TvtOpenResult found = OpenSource(source, path, deep);
  if (calls < 2) GTEST_SKIP() << "the scan ended before a second progress report";
  EXPECT_TRUE(found.Cancelled);
  EXPECT_TRUE(rising);
  ASSERT_EQ(found.Items.size(), 1u) << "the photo found before the cancel stays";
  EXPECT_EQ(found.Items[0].Offset, 0u);
}

class FakeMarkers : public ::testing::TestWithParam<const char*> {};

TEST_P(FakeMarkers, CostLittleAndKeepNothing) {
  // Thousands of start-of-image signatures with a comment segment, and of scan headers that
  // match the real photo's own, each in zeros: none decodes to a picture that fits. With
  // restart markers, each damaged candidate's search for the next marker stops at the next
  // fake header instead of parsing every later one as more scans.
  const Bytes photo = test::Cjpeg(GetParam(), 320, 240);
  size_t sos = 2;
  while (!(photo[sos] == 0xFF && photo[sos + 1] == 0xDA)) sos += 2 + (photo[sos + 2] << 8 | photo[sos + 3]);
  const Bytes scanHeader(photo.begin() + static_cast<std::ptrdiff_t>(sos),
                         photo.begin() + static_cast<std::ptrdiff_t>(sos + 2 + (photo[sos + 2] << 8 | photo[sos + 3])));
  Bytes file = photo;
  const Bytes fakeSoi = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x04, 0x00, 0x00};
  for (int i = 0; i < 4000; ++i) {
    file.insert(file.end(), fakeSoi.begin(), fakeSoi.end());
    file.insert(file.end(), 200, 0x00);
    file.insert(file.end(), scanHeader.begin(), scanHeader.end());
    file.insert(file.end(), 200, 0x00);
  }
  TvtDiscSource source;
  TvtOpenOptions deep;
  deep.Deep = true;
  const TvtOpenResult found = OpenSource(source, WriteFile(file), deep);
  EXPECT_EQ(source.ScanMarkers.Count(), 4000);
  ASSERT_EQ(found.Items.size(), 1u);
  EXPECT_EQ(found.Items[0].Offset, 0u);
  ASSERT_NE(found.Items[0].Preview(), nullptr);
  EXPECT_EQ(source.PreviewStore->GetSize(), found.Items[0].Item->PreviewSize) << "no other candidate left a preview";
}

INSTANTIATE_TEST_SUITE_P(DeepScan, FakeMarkers, ::testing::Values("-quality 80", "-quality 80 -restart 1"));

}  // namespace
}  // namespace vt
