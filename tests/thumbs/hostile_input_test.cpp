// Damaged and hostile segments: every prefix and many mutations of well-formed containers go
// through the dispatcher without crashing, without reading outside the run (checked under the
// sanitizer build) and without huge allocations.
#include <gtest/gtest.h>

#include "segment_builder.h"
#include "thumbs/jpeg_thumbs.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {
namespace {

using test::Bytes;
using test::Cat;
using test::Segment;
using test::Str;
using test::TiffWriter;

Bytes ExifSegment(bool bigEndian, const Bytes& jpeg) {
  TiffWriter w(bigEndian);
  const int ifd0 = w.AddIfd(), ifd1 = w.AddIfd(), exif = w.AddIfd();
  w.Next(ifd0, ifd1);
  w.Ascii(ifd0, 271, "Make");
  w.Shorts(ifd0, 258, {8, 8, 8});
  w.IfdOffset(ifd0, 34665, exif);
  w.Ascii(exif, 36867, "2020:01:02 03:04:05");
  w.Undefined(exif, 37500, Cat({Str("BK"), Bytes(40, 0x55)}));
  w.BlobOffset(ifd1, 513, w.AddBlob(jpeg));
  w.Long(ifd1, 514, uint32_t(jpeg.size()));
  w.Short(ifd1, 259, 6);
  return Segment(0xE1, test::ExifData(w.Build()));
}

uint32_t Next(uint32_t& s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

// The run goes into an exactly sized heap block so that the sanitizer sees any overrun.
void Dispatch(const Bytes& run, bool allMPImages = true) {
  TkelJpegThumbs thumbs(allMPImages);
  std::unique_ptr<uint8_t[]> exact(new uint8_t[run.size()]);
  std::copy(run.begin(), run.end(), exact.get());
  thumbs.ProcessAppBlock(2, exact.get(), int32_t(run.size()));
  for (int32_t i = 0; i < thumbs.ThumbCount(); ++i) {
    ASSERT_GE(thumbs.GetThumbs(i)->Completeness, 0);
    ASSERT_LE(thumbs.GetThumbs(i)->Completeness, 100);
    if (thumbs.GetThumbs(i)->Bitmap) { ASSERT_LE(thumbs.GetThumbs(i)->Bitmap->Width(), 1 << 16); }
  }
}

TEST(HostileInput, TruncatedAndMutatedExifSegments) {
  const Bytes jpeg = test::Cjpeg("-quality 75", 16, 16);
  for (bool be : {false, true}) {
    const Bytes seg = ExifSegment(be, jpeg);
    // Every truncation: the parser hands a short last segment with its declared length.
    for (size_t n = 4; n < seg.size(); n += 3) Dispatch(Bytes(seg.begin(), seg.begin() + n));
    uint32_t state = be ? 0x9E3779B9u : 0x12345678u;
    for (int round = 0; round < 400; ++round) {
      Bytes m = seg;
      const int flips = 1 + int(Next(state) % 6);
      for (int k = 0; k < flips; ++k) {
        const size_t at = 10 + Next(state) % (m.size() - 10);
        m[at] = uint8_t(Next(state));
      }
      Dispatch(m);
    }
  }
}

TEST(HostileInput, MutatedMultiSegmentContainers) {
  const Bytes jpeg = test::Cjpeg("-quality 75", 16, 16);
  Bytes psd = Cat({Str("8BIM"), Bytes{0x04, 0x0C, 0, 0}, Bytes{0, 0, 0, uint8_t(28 + 40)}, Bytes(28, 1), Bytes(40, 2)});
  const Bytes run = Cat({Segment(0xED, Cat({Str(std::string("Photoshop 3.0\0", 14)), psd})),
                         Segment(0xE2, Cat({Str(std::string("FPXR\0\0\2\1\0\0\0\0\0", 13)), Bytes(47, 0), jpeg})),
                         Segment(0xE2, Cat({Str(std::string("MPF\0", 4)), Str("II"), Bytes{0x2A, 0, 8, 0, 0, 0},
                                            Bytes{2, 0, 0x01, 0xB0, 4, 0, 1, 0, 0, 0, 3, 0, 0, 0,
                                                  0x02, 0xB0, 7, 0, 48, 0, 0, 0, 38, 0, 0, 0},
                                            Bytes(48, 0x40)})),
                         Segment(0xE0, Cat({Str(std::string("JFXX\0\x11", 6)), Bytes{200, 200}, Bytes(800, 3)}))});
  uint32_t state = 0xC0FFEEu;
  for (int round = 0; round < 600; ++round) {
    Bytes m = run;
    const int flips = 1 + int(Next(state) % 8);
    for (int k = 0; k < flips; ++k) m[Next(state) % m.size()] = uint8_t(Next(state));
    // Keep the run's framing only sometimes: broken lengths must end it quietly too.
    Dispatch(Bytes(m.begin(), m.begin() + 4 + Next(state) % (m.size() - 4)));
  }
}

TEST(HostileInput, PostThumbnailsPointingAnywhere) {
  // A Multi-Picture index whose images point before, into and far beyond the file, and at the
  // main image itself: the load ends, the picture inside the file is found once.
  const Bytes main = test::Cjpeg("-quality 80", 64, 48);
  const Bytes second = test::Cjpeg("-quality 80", 32, 24, false, 5);
  for (uint32_t size : {0u, 10u, uint32_t(second.size()), 0x7FFFFFF0u}) {
    TiffWriter w(false);
    const int ifd = w.AddIfd();
    w.Long(ifd, 0xB001, 4);
    Bytes entries;
    auto entry = [&](uint32_t s, uint32_t off) {
      for (const Bytes& b : {w.Num(0, 4), w.Num(s, 4), w.Num(off, 4), w.Num(0, 2), w.Num(0, 2)})
        entries.insert(entries.end(), b.begin(), b.end());
    };
    entry(100, 0);
    entry(size, 0xFFFFFF00u);
    entry(size, 0);  // refers to the first image: not registered (offset 0)
    const int blob = w.AddBlob(Bytes(64, 0));
    w.BlobData(ifd, 0xB002, 7, 64, blob);
    Bytes seg = Segment(0xE2, Cat({Str(std::string("MPF\0", 4)), w.Build()}));
    Bytes file = test::InsertAfterSoi(main, {seg});
    // Point entry 4 at the appended second picture (offset from the MP endian field at 2 + 8).
    const uint32_t secondAt = uint32_t(file.size()) - 10;
    file.insert(file.end(), second.begin(), second.end());
    const size_t entriesAt = 2 + 4 + 4 + w.BlobAt(blob);
    const Bytes fourth = Cat({w.Num(0, 4), w.Num(size, 4), w.Num(secondAt, 4), w.Num(0, 4)});
    std::copy(fourth.begin(), fourth.end(), file.begin() + long(entriesAt + 48));
    TMemoryStream stream;
    stream.WriteBuffer(file.data(), int64_t(file.size()));
    stream.SetPosition(0);
    TkelJpegWithThumbs image(true);
    image.LoadFromStream(stream, 0);
    int posts = 0;
    for (int32_t i = 0; i < image.Thumbs().ThumbCount(); ++i) {
      PkelJpegThumb t = image.Thumbs().GetThumbs(i);
      if (!t->IsPost) continue;
      ++posts;
      EXPECT_EQ(t->Offset, int32_t(secondAt + 10));
      EXPECT_LE(int64_t(t->Offset) + t->Size, int64_t(file.size()));
    }
    EXPECT_EQ(posts, size >= second.size() ? 1 : 0) << size;
  }
}

// A maker note that repeats its preview entry thousands of times, and an IFD that repeats a BK
// maker note, each give one record: every repeat would claim the same bytes, and decoding them
// all would take minutes and gigabytes of 640 x 480 bitmaps for one 64 KB segment.
TEST(HostileInput, RepeatedMakerNotePreviewsDecodeOnce) {
  Bytes body{0x05};  // not printable, so "BK" stays the whole tag
  for (int i = 0; i < 3000; ++i) body.push_back(uint8_t(1 + i % 199));  // decodes in part
  const uint32_t entries = 4000;
  Bytes head = Str("KYOCERA            ");
  head.resize(22, 0);
  Bytes note = Cat({head, Bytes{uint8_t(entries), uint8_t(entries >> 8)}});
  const uint32_t previewAt = 24 + 12 * entries;
  for (uint32_t i = 0; i < entries; ++i) {
    const uint32_t n = uint32_t(body.size()), rel = previewAt - (24 + 12 * i);
    note.insert(note.end(), {1, 0, 7, 0, uint8_t(n), uint8_t(n >> 8), 0, 0, uint8_t(rel), uint8_t(rel >> 8), 0, 0});
  }
  note = Cat({note, Str("BK"), body});
  TiffWriter kw(false);
  const int k0 = kw.AddIfd(), kexif = kw.AddIfd();
  kw.IfdOffset(k0, 34665, kexif);
  kw.Undefined(kexif, 37500, note);
  const Bytes kyocera = Segment(0xE1, test::ExifData(kw.Build()));

  TiffWriter bw(true);
  const int b0 = bw.AddIfd();
  const int bkNote = bw.AddBlob(Cat({Str("BK"), body}));
  for (int i = 0; i < 3000; ++i) bw.BlobData(b0, 37500, 7, uint32_t(body.size() + 2), bkNote);
  const Bytes bk = Segment(0xE1, test::ExifData(bw.Build()));

  for (const Bytes* seg : {&kyocera, &bk}) {
    ASSERT_LE(seg->size(), 65537u);
    TkelJpegThumbs thumbs(false);
    thumbs.ProcessAppBlock(2, seg->data(), int32_t(seg->size()));
    EXPECT_EQ(thumbs.ThumbCount(), 1);
    for (int32_t i = 0; i < thumbs.ThumbCount(); ++i) EXPECT_EQ(thumbs.GetThumbs(i)->Width, 640);
  }
}

// A Multi-Picture index that lists the same appended picture a thousand times, with sizes one
// byte apart, gives one post record: each listing would otherwise be decoded into its own copy
// of the bitmap.
TEST(HostileInput, PictureListedManyTimesIsDecodedOnce) {
  const Bytes main = test::Cjpeg("-quality 80", 64, 48);
  const Bytes second = test::Cjpeg("-quality 80", 96, 64, false, 5);
  const uint32_t count = 1000;
  ASSERT_GT(second.size(), count);
  TiffWriter w(false);
  const int ifd = w.AddIfd();
  w.Long(ifd, 0xB001, count);
  const int blob = w.AddBlob(Bytes(size_t(count) * 16, 0));
  w.BlobData(ifd, 0xB002, 7, count * 16, blob);
  Bytes file = test::InsertAfterSoi(main, {Segment(0xE2, Cat({Str(std::string("MPF\0", 4)), w.Build()}))});
  const uint32_t secondAt = uint32_t(file.size()) - 10;  // from the MP endian field at 2 + 8
  const size_t entriesAt = 2 + 4 + 4 + w.BlobAt(blob);
  for (uint32_t i = 0; i < count; ++i) {
    const Bytes e = Cat({w.Num(0, 4), w.Num(uint32_t(second.size()) - i, 4), w.Num(secondAt, 4), w.Num(0, 4)});
    std::copy(e.begin(), e.end(), file.begin() + long(entriesAt + 16 * i));
  }
  file.insert(file.end(), second.begin(), second.end());
  TMemoryStream stream;
  stream.WriteBuffer(file.data(), int64_t(file.size()));
  stream.SetPosition(0);
  TkelJpegWithThumbs image(true);
  image.LoadFromStream(stream, 0);
  ASSERT_EQ(image.Thumbs().PostThumbCount(), int32_t(count));
  ASSERT_EQ(image.Thumbs().ThumbCount(), 1);
  PkelJpegThumb t = image.Thumbs().GetThumbs(0);
  EXPECT_TRUE(t->IsPost);
  EXPECT_EQ(t->Offset, int32_t(secondAt + 10));
  EXPECT_EQ(t->Size, int32_t(second.size()));  // the first listing is the one decoded
  EXPECT_EQ(t->Width, 96);
}

}  // namespace
}  // namespace vt
