// Maker notes inside Exif that carry previews: the KYOCERA family (KYOCERA, TOSHIBA, KONICA,
// Rollei) and BK store bare entropy-coded data that gets a header template; OLYMPUS points at a
// preview outside the segment, which becomes a post thumbnail.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "thumbs/exif_walk.h"
#include "thumbs/header_templates.h"

namespace vt {

namespace {

enum class NoteLayout { kNone, kKyocera, kBk, kOlympus };

NoteLayout IdentifyNote(const uint8_t* note, int64_t length) {
  const int64_t n = std::min<int64_t>(length, 20);
  if (n <= 0 || note[0] < 32 || note[0] >= 128) return NoteLayout::kNone;
  int64_t end = 0;
  while (end < n && note[end] >= 32 && note[end] <= 127) ++end;
  const std::string tag(reinterpret_cast<const char*>(note), size_t(end));
  if (tag == "KYOCERA            " || tag == "TOSHIBA            " ||
      tag == "KONICA             " || tag == "Rollei             ")
    return NoteLayout::kKyocera;
  if (tag == "BK") return NoteLayout::kBk;
  if (tag == "OLYMPUS") return NoteLayout::kOlympus;
  return NoteLayout::kNone;
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

void TkelJpegThumbExifHandler::MakerNote(Walk& walk, const TTiffEntry& entry) {
  if (entry.Count < 5) return;
  if (entry.Type != kTiffByte && entry.Type != kTiffAscii && entry.Type != kTiffSByte &&
      entry.Type != kTiffUndefined)
    return;
  const int64_t offset = walk.tiff.ValueU32(entry);
  if (offset >= walk.tiff.Size) return;
  const int64_t length = std::min<int64_t>(entry.Count, walk.tiff.Size - offset);
  if (length <= 0) return;
  const uint8_t* note = walk.tiff.Base + offset;
  switch (IdentifyNote(note, length)) {
    case NoteLayout::kKyocera: KyoceraNote(walk, note, length); break;
    case NoteLayout::kBk: BkNote(walk, note, length); break;
    case NoteLayout::kOlympus: OlympusNote(walk, note, length, walk.segmentOffset + 10 + offset); break;
    case NoteLayout::kNone: break;
  }
}

void TkelJpegThumbExifHandler::AddTemplatedPreview(std::vector<uint8_t> stream, int32_t offset,
                                                   int32_t size, const char* caption) {
  Owner.DecodeEmbedded(stream.data(), int32_t(stream.size()), pfStopWhenComplete, 0);
  TkelJpegImage& decoder = Owner.Decoder();
  const int32_t percent = decoder.DecodedPercent();
  if (percent <= 0) return;
  const int64_t consumed = std::clamp<int64_t>(decoder.Position, 0, int64_t(stream.size()));
  auto copy = std::make_unique<TMemoryStream>();
  copy->WriteBuffer(stream.data(), consumed);
  static const uint8_t eoi[2] = {0xFF, 0xD9};
  copy->WriteBuffer(eoi, 2);
  copy->SetPosition(0);
  const int32_t width = decoder.FrameSeen ? decoder.Width : 0;
  const int32_t height = decoder.FrameSeen ? decoder.Height : 0;
  PkelJpegThumb t = Owner.AddThumb(tkJpeg, offset, size, width, height, percent,
                                   decoder.TakeBitmap(), std::move(copy), caption);
  t->JpegID = Owner.CloneDecoderID();
  AddedOffsets.push_back(offset);
}

// A real note holds one preview, and every KYOCERA preview is recorded at offset 0 and every BK
// one at offset 2. A crafted segment can repeat the preview entry, or the maker-note tag, some
// five thousand times: decoding each would take a minute and gigabytes of bitmaps for 64 KB of
// data, and give records that all claim the same bytes. So a preview is decoded only while its
// offset is new, and a segment gets at most kMaxPreviewDecodes tries (failed decodes included).
bool TkelJpegThumbExifHandler::MayDecodePreview(int32_t offset) {
  if (!IsNewOffset(offset) || previewDecodes_ >= kMaxPreviewDecodes) return false;
  ++previewDecodes_;
  return true;
}

void TkelJpegThumbExifHandler::KyoceraNote(Walk&, const uint8_t* note, int64_t length) {
  if (length < 24) return;  // the entry count sits at 22..23
  const int32_t count = Le16(note + 22);
  int64_t at = 24;
  for (int32_t i = 0; i < count && at + 12 <= length; ++i, at += 12) {
    const uint16_t tag = Le16(note + at);
    const uint16_t type = Le16(note + at + 2);
    const uint32_t valueCount = Le32(note + at + 4);
    if (tag != 1 || type != 7 || valueCount <= 2) continue;
    const int64_t preview = at + int64_t(Le32(note + at + 8));
    if (preview + 2 > length || note[preview] != 'B' || note[preview + 1] != 'K') continue;
    if (!MayDecodePreview(0)) return;
    const int64_t bodyAt = preview + 2;
    const int64_t bodySize = std::min<int64_t>(valueCount, length - bodyAt);
    std::vector<uint8_t> stream = TemplateCopy(HeaderTemplateB());
    SetTemplateSize(stream.data(), 640, 480);
    stream.insert(stream.end(), note + bodyAt, note + bodyAt + bodySize);
    AddTemplatedPreview(std::move(stream), 0, int32_t(bodySize), "KYOCERA");
  }
}

void TkelJpegThumbExifHandler::BkNote(Walk&, const uint8_t* note, int64_t length) {
  if (length <= 2 || !MayDecodePreview(2)) return;
  std::vector<uint8_t> stream = TemplateCopy(HeaderTemplateC());
  stream.insert(stream.end(), note + 2, note + length);
  AddTemplatedPreview(std::move(stream), 2, int32_t(length - 2), "BK");
}

void TkelJpegThumbExifHandler::OlympusNote(Walk&, const uint8_t* note, int64_t length,
                                           int64_t noteInJpeg) {
  if (length < 14) return;
  const bool ii = note[8] == 'I' && note[9] == 'I';
  const bool mm = note[8] == 'M' && note[9] == 'M';
  if (!ii && !mm) return;
  if (Le16(note + 10) != 3) return;  // the version is read little-endian in both byte orders
  const TTiffReader r(note, length, mm);
  const int32_t count = r.U16(12);
  int64_t at = 14;
  for (int32_t i = 0; i < count && r.Has(at, 12); ++i, at += 12) {
    TTiffEntry e;
    r.Entry(at, e);
    int64_t sub;
    if (e.Tag != 0x2020 || !r.ReadInteger(e, sub) || !r.Has(sub, 2)) continue;
    const int32_t subCount = r.U16(sub);
    bool hasValid = false, hasStart = false, hasLength = false, failed = false;
    int64_t valid = 0, start = 0, previewLength = 0;
    int64_t subAt = sub + 2;
    for (int32_t j = 0; j < subCount && r.Has(subAt, 12) && !failed; ++j, subAt += 12) {
      TTiffEntry se;
      r.Entry(subAt, se);
      if (se.Tag == 0x0100) failed = !(hasValid = r.ReadInteger(se, valid));
      else if (se.Tag == 0x0101) failed = !(hasStart = r.ReadInteger(se, start));
      else if (se.Tag == 0x0102) failed = !(hasLength = r.ReadInteger(se, previewLength));
    }
    if (failed || !hasValid || !hasStart || !hasLength) continue;
    if (valid != 0 && start > 0 && previewLength > 0 && previewLength <= INT32_MAX)
      Owner.AddPostThumb(noteInJpeg + start, int32_t(previewLength));
  }
}

}  // namespace vt
