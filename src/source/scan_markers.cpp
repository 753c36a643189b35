// The scan-marker analysis of the disc source's worker: scan headers met outside found JPEGs
// are recorded during the signature search, the header sets of every decoded JPEG and thumbnail
// are collected, and afterwards every header set whose scan header matches a marker's is tried
// on the data behind that marker.
#include <algorithm>
#include <cstdio>

#include "jpeg/jpeg_constants.h"
#include "jpeg/jpeg_id.h"
#include "source/disc_source.h"
#include "source/disc_source_thread.h"
#include "source/picture_decode.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "thumbs/picture_geometry.h"

namespace vt {

namespace {

// A header set from a reference file (or, in a deep scan, from anywhere) is taken only where
// its tables fit the data. Mismatched
// Huffman tables still turn the first bytes of any data into a few blocks of noise, so a
// decode that merely made something is no proof: restart intervals must mostly end right at
// their markers, and without restart markers the data must decode to its end, or a good part
// of it before the first error or the end of the file.
bool FitsData(const TkelJpegImage& image, int result) {
  if (image.RestartInterval > 0)
    return image.RestartsInSync > 0 && 2 * image.RestartsInSync >= image.RestartsMet;
  if (result == jrOK) return true;
  // Every MCU decoded but data left over means a frame too small; complete with only the end
  // marker missing is fine.
  const int percent = image.DecodedPercent();
  if (percent == 100) return result == jrEndOfData && !image.DataErrors;
  // Damaged or cut short further on: a good part must have decoded first.
  return percent >= 10;
}

}  // namespace

void TvtDiscSourceThread::RecordScanMarker(uint64_t offset) { RecordScanMarker(offset, nullptr, 0); }

void TvtDiscSourceThread::RecordScanMarker(uint64_t offset, const uint8_t* bytes, int64_t available) {
  if (Container) {
    if (static_cast<int64_t>(offset) < static_cast<int64_t>(Container->Offset) + Container->Length) return;
    Container = nullptr;
  }
  // The longest header taken is 16 bytes: marker, length, Ns, four component pairs, Ss, Se,
  // Ah/Al. The bytes come from memory when all of them (or all up to the end of the file) are
  // there, else from the stream, which gives fewer only at the end of the file.
  if (!MarkerBuffer) MarkerBuffer.reset(new uint8_t[16]);
  uint8_t* buf = MarkerBuffer.get();
  int64_t n;
  if (bytes && (available >= 16 || offset + static_cast<uint64_t>(std::max<int64_t>(available, 0)) >=
                                        static_cast<uint64_t>(Stream->GetSize()))) {
    n = std::min<int64_t>(available, 16);
    std::copy(bytes, bytes + n, buf);
  } else {
    Stream->Seek(static_cast<int64_t>(offset), soBeginning);
    n = Stream->Read(buf, 16);
  }
  if (n < 4 || buf[0] != 0xFF || buf[1] != 0xDA) return;
  const uint32_t ls = (uint32_t(buf[2]) << 8) | buf[3];
  // One, three or four components; two (Ls 10) are not taken.
  int expected;
  switch (ls) {
    case 8: expected = 1; break;
    case 12: expected = 3; break;
    case 14: expected = 4; break;
    default: return;
  }
  if (n < 5 || buf[4] != expected) return;
  for (int i = 0; i < expected; ++i) {
    const int64_t at = 5 + 2 * i;
    if (n < at + 2) return;
    if ((buf[at + 1] >> 4) > 3 || (buf[at + 1] & 0xF) > 3) return;
  }
  // Ss, Se, Ah/Al: their values are not checked.
  if (n < static_cast<int64_t>(ls) + 2) return;
  auto item = std::make_unique<TvtSOSOffsetItem>();
  item->Stream = Stream;
  item->OwnsStream = false;
  item->DataOffset = offset + ls + 2;
  item->Header.assign(buf, buf + ls + 2);
  item->HeaderSize = ls + 2;
  Source.ScanMarkers.Add(std::move(item));
}

void TvtDiscSourceThread::CollectHeaders() {
  auto collect = [this](const TkelJpegID* id) {
    if (id && !id->ScanHeader.empty()) Source.ScanHeaders.AddUnique(*id);
  };
  collect(Image->ID.get());
  for (const TkelJpegThumb& t : Image->Thumbs().Thumbs()) collect(t.JpegID.get());
}

int64_t TvtDiscSourceThread::TryHeaderSet(const TkelJpegID& id, const std::string& origin, TStream& stream,
                                          uint64_t offset, TvtSOSFolder*& folder) {
  TTempMemoryStream view;
  view.SetPointer(id.Data.data(), id.Length);
  Image->Reset();
  const int r2 = DecodePicture(*Image, &view, stream, offset, pfLimit16M | pfSearchStopsAtHeaders, Source.Repair);
  const int percent = Image->DecodedPercent();
  // Beyond the default open, noise that some header set turns into a few blocks is not kept:
  // a card image of junk would otherwise yield an item per chance scan header.
  const bool judged = !origin.empty() || Source.WholeFileSearch();
  if (percent == 0 || (judged && !FitsData(*Image, r2))) {
    Image->Reset();
    return 0;
  }
  const int64_t consumed = std::max<int64_t>(Image->Position, 1);
  auto* item = new TvtItem;
  item->SortOffset = static_cast<int64_t>(offset);
  item->Broken = r2 != jrOK || percent < 100;
  item->Width = Image->FrameSeen ? Image->Width : 0;
  item->Height = Image->FrameSeen ? Image->Height : 0;
  item->DecodedPercent = percent;
  item->HeaderReference = origin;
  try {
    const int32_t o = Image->Thumbs().Orientation;
    if (o >= 1 && o <= 8) {
      item->Orientation = o - 1;
      if (Image->Bitmap) ApplyOrientation(*Image->Bitmap, o - 1);
      if (o >= 5) std::swap(item->Width, item->Height);
    }
    if (Image->Bitmap) item->SetPreview(MakePreview(*Image->Bitmap), Source.PreviewStore.get());
    auto header = std::make_unique<TMemoryStream>();
    header->WriteBuffer(id.Data.data(), id.Length);
    item->HeaderStream = header.release();
    item->OwnsHeaderStream = true;
    item->Stream = &stream;
    item->Offset = offset;
    item->Length = static_cast<int32_t>(std::min<int64_t>(Image->Position, INT32_MAX));
    item->HeaderLength = static_cast<int32_t>(std::min<int64_t>(Image->ScanDataOffset, INT32_MAX));
    if (!folder && Source.Root().SOSMarker) {
      char name[24];
      std::snprintf(name, sizeof name, "0x%llX", static_cast<unsigned long long>(offset));
      folder = TvtFolder::Create<TvtSOSFolder>(Source.Root().SOSMarker, name);
    }
    if (folder) folder->AddItem(item);
  } catch (...) {
    item->Release();
    Image->Reset();
    throw;
  }
  item->Release();
  Image->Reset();
  return consumed;
}

void TvtDiscSourceThread::AnalyseScanMarkers() {
  QueueMessage(kScanMarkerText);
  SetPhase(2, static_cast<uint64_t>(Source.ScanMarkers.Count()) + Source.ReferenceResults.size());
  Source.ScanHeaders.Sort();
  Image = std::make_unique<TkelJpegWithThumbs>(true, 0);
  // Data that a header set has decoded from an earlier marker: a marker inside it (the later
  // scans of a progressive picture, a chance FF DA that the restart search passed) is part of
  // that picture, and trying it again would cost a decode per marker.
  uint64_t decodedEnd = 0;
  for (int32_t m = 0; m < Source.ScanMarkers.Count() && !Terminated(); ++m) {
    TvtSOSOffsetItem& marker = *Source.ScanMarkers.GetItem(m);
    TvtSOSFolder* folder = nullptr;
    if (marker.DataOffset >= decodedEnd) {
      for (int32_t h = 0; h < Source.ScanHeaders.Count() && !Terminated(); ++h) {
        const TvtSOSItem& set = *Source.ScanHeaders.GetItem(h);
        const TkelJpegID& id = *set.Id;
        if (!id.SameScanHeader(marker.Header.data(), static_cast<int32_t>(marker.HeaderSize))) continue;
        const int64_t consumed = TryHeaderSet(id, set.Origin, *marker.Stream, marker.DataOffset, folder);
        if (consumed > 0) {
          decodedEnd = std::max(decodedEnd, marker.DataOffset + static_cast<uint64_t>(consumed));
          CountReferenceItem(set.Origin);
        }
      }
    }
    std::lock_guard<std::mutex> guard(Lock);
    ++Progress;
  }
  if (!Terminated()) TryReferencesWithoutMarker();
  Image.reset();
}

}  // namespace vt
