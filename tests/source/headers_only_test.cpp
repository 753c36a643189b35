// LoadHeadersOnly: the thumbnails of a full load without reading the main image's scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/stream.h"
#include "jpeg/jpeg_constants.h"
#include "source/headers_only.h"
#include "support/test_support.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {
namespace {

using test::Quote;
using test::RunCommand;

// A file in memory that remembers every byte range read from it.
class TWatchedStream : public TStream {
 public:
  explicit TWatchedStream(test::Bytes bytes) : bytes_(std::move(bytes)) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, int64_t(bytes_.size()) - pos_));
    if (n > 0) {
      std::copy_n(bytes_.data() + pos_, n, static_cast<uint8_t*>(buffer));
      Ranges.emplace_back(pos_, pos_ + n);
    }
    pos_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    pos_ = origin == soBeginning ? offset : origin == soCurrent ? pos_ + offset : int64_t(bytes_.size()) + offset;
    return pos_;
  }
  // Bytes read inside [from, to).
  int64_t ReadInside(int64_t from, int64_t to) const {
    int64_t total = 0;
    for (const auto& [a, b] : Ranges) total += std::max<int64_t>(0, std::min(b, to) - std::max(a, from));
    return total;
  }
  std::vector<std::pair<int64_t, int64_t>> Ranges;

 private:
  test::Bytes bytes_;
  int64_t pos_ = 0;
};

struct Record {
  int Kind, Width, Height, Completeness, Offset, Size;
  bool IsPost;
  test::Bytes Pixels, Data;
  bool operator==(const Record&) const = default;
};

std::vector<Record> Records(TkelJpegWithThumbs& image) {
  image.Thumbs().SortThumbsByArea();
  std::vector<Record> out;
  for (int32_t i = 0; i < image.Thumbs().ThumbCount(); ++i) {
    PkelJpegThumb t = image.Thumbs().GetThumbs(i);
    Record r{int(t->Kind), t->Width, t->Height, t->Completeness, t->Offset, t->Size, t->IsPost, {}, {}};
    if (t->Bitmap) {
      const auto* p = reinterpret_cast<const uint8_t*>(t->Bitmap->Bits());
      r.Pixels.assign(p, p + size_t(t->Bitmap->Width()) * t->Bitmap->Height() * 4);
    }
    if (t->Data) r.Data.assign(t->Data->Memory(), t->Data->Memory() + t->Data->GetSize());
    out.push_back(std::move(r));
  }
  return out;
}

// A 1600 x 1200 photo (its scan far larger than the parser's 64 KB buffer) with an Exif
// thumbnail, saved by Pillow as a Multi-Picture file with a second image after the first.
test::Bytes CameraMpo() {
  const std::string big = test::WritePhotoLikePnm(1600, 1200, false, 11);
  const std::string second = test::WritePhotoLikePnm(400, 300, false, 12), small = test::TempPath(".jpg");
  const std::string path = test::TempPath(".mpo");
  EXPECT_EQ(RunCommand("/usr/bin/python3 -c " +
                       Quote("from PIL import Image; a=Image.open('" + big + "'); b=Image.open('" + second +
                             "'); a.save('" + path + "', format='MPO', quality=95, save_all=True, append_images=[b])")),
            0);
  test::WriteBytes(small, test::Cjpeg("-quality 80", 160, 120, false, 13));
  EXPECT_EQ(RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original " + Quote("-ThumbnailImage<=" + small) + " " +
                       Quote(path)),
            0);
  return test::ReadBytes(path);
}

TEST(ThumbsHeadersOnly, SameRecordsAsAFullLoadWithoutReadingTheMainScan) {
  const test::Bytes file = CameraMpo();
  TWatchedStream fullStream(file);
  TkelJpegWithThumbs full(true, 65536);
  full.LoadFromStream(fullStream, pfNoRender);
  const std::vector<Record> expected = Records(full);
  ASSERT_EQ(expected.size(), 2u);  // the second image (after the scan) and the Exif thumbnail
  EXPECT_TRUE(expected[0].IsPost);
  EXPECT_FALSE(expected[1].IsPost);

  TWatchedStream stream(file);
  TkelJpegWithThumbs image(true, 65536);
  const TvtHeadersOnlyLoad load = LoadHeadersOnly(stream, image);
  EXPECT_TRUE(load.StartsWithJpeg);
  EXPECT_TRUE(load.ItemCertain);
  EXPECT_EQ(load.Result, jrOK);
  EXPECT_TRUE(image.FrameSeen);
  EXPECT_EQ(image.Width, 1600);
  EXPECT_EQ(Records(image), expected);

  // The first image's scan runs from its scan header to the second image: at most the parser's
  // one buffer of it is read, where the full load read all of it.
  const int64_t scanStart = full.ScanDataOffset, postStart = expected[0].Offset;
  ASSERT_GT(postStart - scanStart, 4 * 65536);
  EXPECT_LE(stream.ReadInside(scanStart, postStart), 65536);
  EXPECT_EQ(fullStream.ReadInside(scanStart, postStart), postStart - scanStart);
}

TEST(ThumbsHeadersOnly, ReportsWhatOnlyAFullLoadCanJudge) {
  // No thumbnail: an item only if the scan decodes, which the headers cannot tell.
  TWatchedStream plain(test::Cjpeg("-quality 80", 64, 48));
  TkelJpegWithThumbs image(true, 65536);
  TvtHeadersOnlyLoad load = LoadHeadersOnly(plain, image);
  EXPECT_TRUE(load.StartsWithJpeg);
  EXPECT_FALSE(load.ItemCertain);
  // Not a JPEG at byte 0: the default open takes nothing, and nothing is parsed.
  test::Bytes shifted = {0};
  const test::Bytes jpeg = test::Cjpeg("-quality 80", 64, 48);
  shifted.insert(shifted.end(), jpeg.begin(), jpeg.end());
  TWatchedStream junk(shifted);
  TkelJpegWithThumbs other(true, 65536);
  load = LoadHeadersOnly(junk, other);
  EXPECT_FALSE(load.StartsWithJpeg);
  EXPECT_FALSE(load.ItemCertain);
  EXPECT_FALSE(other.FrameSeen);
}

TEST(ThumbsHeadersOnly, OrientationIsKnownWithoutPixelsOnlyWhenTheDetectorComparesNothing) {
  EXPECT_EQ(OrientationWithoutPixels(false, 0, 0, true, 640, 480), 0);     // no pixels
  EXPECT_EQ(OrientationWithoutPixels(true, 160, 120, false, 0, 0), 0);     // no main image
  EXPECT_EQ(OrientationWithoutPixels(true, 800, 600, true, 640, 480), 0);  // larger both ways
  EXPECT_EQ(OrientationWithoutPixels(true, 160, 120, true, 640, 480), -1);
  EXPECT_EQ(OrientationWithoutPixels(true, 800, 400, true, 640, 480), -1);  // larger one way only
}

}  // namespace
}  // namespace vt
