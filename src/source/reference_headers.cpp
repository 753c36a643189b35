// Reference files: intact JPEGs from the same camera or encoder lend their header sets to the
// opened file, whose own headers are lost. Their header sets (their own and their thumbnails',
// as a candidate's are collected) join the scan headers before the scan-marker phase; where the
// file has no usable scan header at all, a reference's own scan header is tried on the data
// from the given offset, or from the first run of restart markers.
#include <algorithm>
#include <map>

#include "base/stream.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/markers.h"
#include "source/disc_source.h"
#include "source/disc_source_thread.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {

void TvtDiscSourceThread::AddReferenceHeaders() {
  Source.ReferenceResults.clear();
  for (const std::string& file : Source.ReferenceFiles) {
    if (Terminated()) return;
    Source.ReferenceResults.emplace_back();
    TvtReferenceResult& ref = Source.ReferenceResults.back();
    ref.FileName = file;
    try {
      TFileStream stream(file, TFileStream::fmOpenRead);
      TkelJpegWithThumbs image(true, 0);
      const int r = image.LoadFromStream(stream, pfNoRender);
      auto add = [&](const TkelJpegID* id) {
        if (!id || id->ScanHeader.empty()) return;
        if (TvtSOSItem* added = Source.ScanHeaders.AddUnique(*id)) {
          added->Origin = file;
          ++ref.HeaderSets;
        } else if (TvtSOSItem* same = Source.ScanHeaders.FindSame(*id); same && same->Origin.empty()) {
          // The opened file holds the same header set (a sibling photo in a card image): the
          // items it makes are the ones the reference was given for.
          same->Origin = file;
          ++ref.HeaderSets;
        }
      };
      if (image.ID && !image.ID->ScanHeader.empty()) {
        ref.Own = image.ID->Clone();
        ref.RestartInterval = image.RestartInterval;
        add(image.ID.get());
      }
      for (const TkelJpegThumb& t : image.Thumbs().Thumbs()) add(t.JpegID.get());
      if (!ref.Own && ref.HeaderSets == 0)
        ref.Error = image.FrameSeen ? std::string("its scan header cannot be read (") + ResultCodeName(r) + ")"
                                    : "it is not a JPEG file";
    } catch (const std::exception& e) {
      ref.Error = e.what();
    }
  }
}

void TvtDiscSourceThread::CountReferenceItem(const std::string& origin) {
  if (origin.empty()) return;
  for (TvtReferenceResult& ref : Source.ReferenceResults)
    if (ref.FileName == origin) ++ref.Items;
}

int64_t TvtDiscSourceThread::FindRestartRun(uint64_t from) {
  // The found JPEGs, whose own restart markers are not the lost picture's.
  std::vector<std::pair<uint64_t, uint64_t>> found;
  if (TvtFolder* all = Source.Root().All)
    for (const TvtItem* item : all->Items())
      found.emplace_back(item->Offset, item->Offset + static_cast<uint64_t>(std::max(item->Length, 0)));
  std::sort(found.begin(), found.end());

  // Markers met (FF followed by a code; fill and stuffed zeros are no marker): a candidate
  // restart marker counts when the next two markers are the restart markers that follow it, or
  // when the picture ends (EOI, end of file) before that.
  constexpr int kConfirm = 2;
  int64_t candidate = -1;
  int expected = -1, confirmed = 0;
  constexpr int64_t kChunk = 65536;
  std::vector<uint8_t> chunk(static_cast<size_t>(kChunk) + 1);
  uint64_t pos = from;
  size_t f = 0;
  while (!Terminated()) {
    while (f < found.size() && found[f].second <= pos) ++f;
    if (f < found.size() && found[f].first <= pos) {
      pos = found[f].second;  // a found JPEG is no part of the lost data
      candidate = -1;
      continue;
    }
    Stream->Seek(static_cast<int64_t>(pos), soBeginning);
    const int64_t got = Stream->Read(chunk.data(), kChunk + 1);
    if (got < 2) break;
    int64_t limit = std::min<int64_t>(got - 1, kChunk);
    if (f < found.size() && found[f].first < pos + static_cast<uint64_t>(limit))
      limit = static_cast<int64_t>(found[f].first - pos);
    for (int64_t i = 0; i < limit; ++i) {
      if (chunk[static_cast<size_t>(i)] != 0xFF) continue;
      const int code = chunk[static_cast<size_t>(i) + 1];
      if (code == 0x00 || code == 0xFF) continue;
      if (candidate >= 0) {
        if (code == expected) {
          if (++confirmed == kConfirm) return candidate;
          expected = RestartMarkerAfter(expected);
          continue;
        }
        if (code == mkEOI) return candidate;
        candidate = -1;
      }
      if (IsRestartMarker(code)) {
        candidate = static_cast<int64_t>(pos) + i;
        expected = RestartMarkerAfter(code);
        confirmed = 0;
      }
    }
    pos += static_cast<uint64_t>(limit);
  }
  return candidate;  // the file ended after it
}

void TvtDiscSourceThread::TryReferencesWithoutMarker() {
  std::map<uint64_t, TvtSOSFolder*> folders;
  auto tryAt = [&](const TkelJpegID& id, TvtReferenceResult* ref, uint64_t offset) {
    TvtSOSFolder*& folder = folders[offset];
    if (!folder && Source.Root().SOSMarker) {
      // An earlier marker may have made the folder of this offset already.
      char name[24];
      std::snprintf(name, sizeof name, "0x%llX", static_cast<unsigned long long>(offset));
      for (TvtFolder* sub : Source.Root().SOSMarker->SubFolders())
        if (sub->Name == name) folder = static_cast<TvtSOSFolder*>(sub);
    }
    if (TryHeaderSet(id, ref ? ref->FileName : std::string(), *Stream, offset, folder) > 0 && ref) ++ref->Items;
  };

  if (Source.DataOffset >= 0) {
    // The data starts where the caller says: every reference's own scan header is tried there,
    // or, without references, every header set of the file.
    const uint64_t offset = static_cast<uint64_t>(Source.DataOffset);
    if (!Source.ReferenceResults.empty()) {
      for (TvtReferenceResult& ref : Source.ReferenceResults)
        if (ref.Own && !Terminated()) tryAt(*ref.Own, &ref, offset);
    } else {
      for (int32_t h = 0; h < Source.ScanHeaders.Count() && !Terminated(); ++h)
        tryAt(*Source.ScanHeaders.GetItem(h)->Id, nullptr, offset);
    }
    return;
  }
  // No usable scan header for a reference: with restart markers, its picture's data is found
  // again at the first run of restart markers, and the decoder places the MCUs that follow by
  // the marker's number.
  int64_t run = -2;  // not searched yet
  for (TvtReferenceResult& ref : Source.ReferenceResults) {
    if (Terminated()) return;
    if (!ref.Own || ref.Items > 0 || ref.RestartInterval <= 0) continue;
    if (run == -2) run = FindRestartRun(0);
    if (run < 0) return;
    tryAt(*ref.Own, &ref, static_cast<uint64_t>(run));
    std::lock_guard<std::mutex> guard(Lock);
    ++Progress;
  }
}

}  // namespace vt
