// The deep scan judges a candidate without rendering it and renders its picture when the
// preview is first asked for; it reads the file ahead on a helper thread. Neither may change a
// result: a photo is judged and previewed exactly as the default open (which renders at once)
// does, whatever its damage, process, colour model or frame size, and reading ahead finds what
// reading through the stream finds, signatures across chunk boundaries and at the file's end
// included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "jpeg/jpeg_constants.h"
#include "source/candidate_image.h"
#include "source/disc_source_thread.h"
#include "source/signature_finder.h"
#include "source/source_open.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

std::string WriteFile(const Bytes& bytes) {
  const std::string path = test::TempPath(".jpg");
  test::WriteBytes(path, bytes);
  return path;
}

// Offset of the first segment with the given marker, 0 when there is none before the scan data.
size_t Segment(const Bytes& jpeg, uint8_t marker) {
  size_t p = 2;
  while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF) {
    if (jpeg[p + 1] == marker) return p;
    if (jpeg[p + 1] == 0xDA) return 0;
    p += 2 + (size_t(jpeg[p + 2]) << 8 | jpeg[p + 3]);
  }
  return 0;
}

// The JFIF segment removed and the components named Y, C, c: a colour model the renderer has
// no conversion for, so the picture decodes completely but does not render.
Bytes YccNamed(Bytes jpeg) {
  if (const size_t app0 = Segment(jpeg, 0xE0)) {
    const size_t len = 2 + (size_t(jpeg[app0 + 2]) << 8 | jpeg[app0 + 3]);
    jpeg.erase(jpeg.begin() + static_cast<std::ptrdiff_t>(app0), jpeg.begin() + static_cast<std::ptrdiff_t>(app0 + len));
  }
  const uint8_t names[3] = {'Y', 'C', 'c'};
  const size_t sof = Segment(jpeg, 0xC0);
  for (int i = 0; i < 3; ++i) jpeg[sof + 10 + 3 * size_t(i)] = names[i];
  size_t sos = 2;
  while (!(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA)) sos += 2 + (size_t(jpeg[sos + 2]) << 8 | jpeg[sos + 3]);
  for (int i = 0; i < 3; ++i) jpeg[sos + 5 + 2 * size_t(i)] = names[i];
  return jpeg;
}

// The frame header declares width x height.
Bytes Declaring(Bytes jpeg, int width, int height) {
  const size_t sof = Segment(jpeg, 0xC0);
  jpeg[sof + 5] = uint8_t(height >> 8);
  jpeg[sof + 6] = uint8_t(height);
  jpeg[sof + 7] = uint8_t(width >> 8);
  jpeg[sof + 8] = uint8_t(width);
  return jpeg;
}

Bytes Cut(Bytes jpeg, double share) {
  jpeg.resize(static_cast<size_t>(jpeg.size() * share));
  return jpeg;
}

Bytes Damaged(Bytes jpeg) {
  const size_t middle = jpeg.size() / 2;
  std::fill(jpeg.begin() + static_cast<std::ptrdiff_t>(middle), jpeg.begin() + static_cast<std::ptrdiff_t>(middle + 300),
            uint8_t{0x5A});
  return jpeg;
}

Bytes WithOrientation(const Bytes& jpeg, int orientation) {
  const std::string path = WriteFile(jpeg);
  test::RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original -n -Orientation=" + std::to_string(orientation) +
                   " " + test::Quote(path) + " >/dev/null 2>&1");
  return test::ReadBytes(path);
}

struct PhotoCase {
  const char* Name;
  Bytes (*Make)();
  bool Deferred;  // its render is put off (not a huge frame)
};

void PrintTo(const PhotoCase& c, std::ostream* os) { *os << c.Name; }

bool SamePixels(const TBitmap32* a, const TBitmap32* b) {
  if (!a || !b) return a == b;
  if (a->Width() != b->Width() || a->Height() != b->Height()) return false;
  for (int32_t y = 0; y < a->Height(); ++y)
    if (std::memcmp(a->ScanLine(y), b->ScanLine(y), size_t(a->Width()) * sizeof(TColor32)) != 0) return false;
  return true;
}

class DeepScanJudging : public ::testing::TestWithParam<PhotoCase> {};

TEST_P(DeepScanJudging, JudgesAndPreviewsAPhotoAsTheDefaultOpenDoes) {
  const PhotoCase& c = GetParam();
  const Bytes photo = c.Make();
  if (photo.empty()) GTEST_SKIP() << "exiftool is not installed";
  const std::string path = WriteFile(photo);

  TvtDiscSource plain;
  plain.Open(path);
  TvtItem* expected = plain.FirstItem();
  ASSERT_NE(expected, nullptr);

  TvtDiscSource deepSource;
  TvtOpenOptions deep;
  deep.Deep = true;
  const TvtOpenResult found = OpenSource(deepSource, path, deep);
  ASSERT_FALSE(found.Items.empty());
  TvtItem* item = found.Items[0].Item;
  ASSERT_EQ(item->Offset, 0u);
  EXPECT_EQ(item->Broken, expected->Broken);
  EXPECT_EQ(item->DecodedPercent, expected->DecodedPercent);
  EXPECT_EQ(item->Width, expected->Width);
  EXPECT_EQ(item->Height, expected->Height);
  EXPECT_EQ(item->Orientation, expected->Orientation);
  EXPECT_EQ(item->Length, expected->Length);
  EXPECT_EQ(item->HeaderLength, expected->HeaderLength);
  EXPECT_EQ(item->SubItemCount(), expected->SubItemCount());

  const bool madeAtOnce = item->PreviewSize > 0;
  EXPECT_EQ(madeAtOnce, !c.Deferred) << "the render is put off only for frames that may be rendered later";
  EXPECT_EQ(static_cast<bool>(item->PreviewMaker), c.Deferred);
  const TBitmap32* preview = item->GetPreview();
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(SamePixels(preview, expected->GetPreview()));
  EXPECT_GT(item->PreviewSize, 0);
  // Kept in the store like any other preview: unloaded and loaded again, the same picture.
  item->FreePreview();
  EXPECT_TRUE(SamePixels(item->GetPreview(), expected->GetPreview()));
}

INSTANTIATE_TEST_SUITE_P(
    Photos, DeepScanJudging,
    ::testing::Values(
        PhotoCase{"Intact", [] { return test::Cjpeg("-quality 85", 300, 200); }, true},
        PhotoCase{"CutInItsData", [] { return Cut(test::Cjpeg("-quality 85", 300, 200), 0.6); }, true},
        PhotoCase{"ProgressiveCut", [] { return Cut(test::Cjpeg("-quality 85 -progressive", 300, 200), 0.7); }, true},
        PhotoCase{"RestartMarkedDamaged", [] { return Damaged(test::Cjpeg("-quality 85 -restart 1", 300, 200)); }, true},
        PhotoCase{"Grey", [] { return test::Cjpeg("-quality 85", 300, 200, true); }, true},
        PhotoCase{"ColourModelWithoutConversion", [] { return YccNamed(test::Cjpeg("-quality 85", 96, 64)); }, true},
        PhotoCase{"HugeDeclaredFrame", [] { return Declaring(test::Cjpeg("-quality 85", 96, 64), 10000, 7000); }, false},
        PhotoCase{"TurnedByExif",
                  [] {
                    return std::string(VT_EXIFTOOL).empty() ? Bytes()
                                                            : WithOrientation(test::Cjpeg("-quality 85", 96, 64), 6);
                  },
                  true}),
    [](const auto& info) { return std::string(info.param.Name); });

// A worker driven over bytes in memory, as the deep scan runs it; with readAhead the signature
// search reads them at positions on its helper thread.
struct DeepWorker {
  DeepWorker(const Bytes& file, bool readAhead) : bytes(file) {
    source.DeepScan = true;
    source.Root().Build();
    source.PreviewStore = std::make_unique<TMemoryStream>();
    source.ExtractStore = std::make_unique<TMemoryStream>();
    auto* mem = new TMemoryStream;
    mem->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    source.Stream = std::make_unique<TvtBufferedStream>(mem, true);
    worker = std::make_unique<TvtDiscSourceThread>(source, false);
    worker->Stream = source.Stream.get();
    worker->Image = std::make_unique<TvtCandidateImage>();
    if (readAhead)
      worker->ReadAt = [this](uint64_t offset, void* buffer, int64_t count) -> int64_t {
        if (offset >= bytes.size()) return 0;
        const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(bytes.size() - offset));
        std::memcpy(buffer, bytes.data() + offset, static_cast<size_t>(n));
        return n;
      };
    worker->ScanRange(0, bytes.size());
    worker->Image.reset();
  }
  // Every item and marker in a comparable form.
  std::vector<std::string> Results() {
    std::vector<std::string> out;
    for (const TvtItem* item : source.Root().All->Items()) {
      std::string line = "item " + std::to_string(item->Offset) + " " + std::to_string(item->Length) + " " +
                         std::to_string(item->HeaderLength) + " " + std::to_string(item->DecodedPercent) + " " +
                         std::to_string(item->Broken) + " " + std::to_string(item->Width) + "x" +
                         std::to_string(item->Height);
      for (const TvtSubItem* sub : item->SubItems()) line += " sub " + std::to_string(sub->Offset);
      out.push_back(line);
    }
    for (int32_t i = 0; i < source.ScanMarkers.Count(); ++i) {
      const TvtSOSOffsetItem* m = source.ScanMarkers.GetItem(i);
      out.push_back("marker " + std::to_string(m->DataOffset) + " " + std::string(m->Header.begin(), m->Header.end()));
    }
    return out;
  }
  Bytes bytes;
  TvtDiscSource source;
  std::unique_ptr<TvtDiscSourceThread> worker;
};

Bytes ScanHeaderOf(const Bytes& jpeg) {
  size_t sos = 2;
  while (!(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA)) sos += 2 + (size_t(jpeg[sos + 2]) << 8 | jpeg[sos + 3]);
  return Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(sos),
               jpeg.begin() + static_cast<std::ptrdiff_t>(sos + 2 + (size_t(jpeg[sos + 2]) << 8 | jpeg[sos + 3])));
}

TEST(DeepScanReadAhead, FindsWhatReadingThroughTheStreamFinds) {
  const size_t c = TvtSignatureFinder::kAheadChunk;
  const Bytes photo = test::Cjpeg("-quality 85", 160, 120);
  const Bytes cut = Cut(test::Cjpeg("-quality 85 -restart 1", 160, 120, false, 4), 0.5);
  const Bytes header = ScanHeaderOf(photo);
  Bytes file(9 * c, 0x00);
  auto place = [&](size_t at, const Bytes& what) { std::copy(what.begin(), what.end(), file.begin() + static_cast<std::ptrdiff_t>(at)); };
  place(c - 1, photo);                        // FF at a chunk's last byte
  place(2 * c - 2, cut);                      // FF D8 across a boundary; broken: the search goes on in it
  place(3 * c - 5, header);                   // a scan header cut by a boundary
  place(3 * c - 5 + header.size(), Bytes(photo.begin() + static_cast<std::ptrdiff_t>(photo.size() / 2), photo.end()));
  place(4 * c - 1, Bytes{0xFF});              // FF D8 FF: FF at the last byte, D8 FF in the next chunk
  place(4 * c, Bytes{0xD8, 0xFF, 0x00});
  place(5 * c - 2, photo);
  file.resize(9 * c - 3);
  place(file.size() - header.size() - 10, header);  // a scan header whole near the end
  file.insert(file.end(), header.begin(), header.begin() + 5);  // and one cut by the end of the file

  DeepWorker stream(file, false), ahead(file, true);
  const std::vector<std::string> expected = stream.Results();
  EXPECT_EQ(ahead.Results(), expected);
  // The test means something: the photos and markers were found where they were put.
  ASSERT_GE(stream.source.Root().All->ItemCount(), 3);
  EXPECT_EQ(stream.source.Root().All->GetItem(0)->Offset, c - 1);
  EXPECT_EQ(stream.source.Root().All->GetItem(1)->Offset, 2 * c - 2);
  EXPECT_TRUE(stream.source.Root().All->GetItem(1)->Broken);
  EXPECT_EQ(stream.source.Root().All->GetItem(stream.source.Root().All->ItemCount() - 1)->Offset, 5 * c - 2);
  ASSERT_GE(stream.source.ScanMarkers.Count(), 2);
  EXPECT_EQ(stream.source.ScanMarkers.GetItem(0)->DataOffset, 3 * c - 5 + header.size());
  const TvtSOSOffsetItem* last = stream.source.ScanMarkers.GetItem(stream.source.ScanMarkers.Count() - 1);
  EXPECT_EQ(last->DataOffset, file.size() - 5 - 10) << "the cut one at the very end is not recorded";
}

}  // namespace
}  // namespace vt
