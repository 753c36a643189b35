#include "source/disc_source_thread.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <filesystem>

#include "jpeg/jpeg_constants.h"
#include "jpeg/jpeg_id.h"
#include "source/disc_source.h"
#include "source/candidate_image.h"
#include "source/file_stream_7z.h"
#include "source/picture_decode.h"
#include "source/signature_finder.h"
#include "source/stream_7z.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "thumbs/picture_geometry.h"
#include "thumbs/thumb_types.h"

namespace vt {

namespace {

int32_t clampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Days from 1970-01-01 to the civil date y-m-d.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

double DateTimeToDays(const TkelDateTime& dt) {
  if (dt.IsZero()) return 0;
  const int64_t month = std::clamp(dt.Month, 1, 12);
  const int64_t day = std::clamp(dt.Day, 1, 31);
  const double days = static_cast<double>(daysFromCivil(dt.Year, month, day) + 25569);
  const double time = (std::clamp(dt.Hour, 0, 23) * 3600.0 + std::clamp(dt.Minute, 0, 59) * 60.0 +
                       std::clamp(dt.Second, 0, 59)) / 86400.0;
  return days + time;
}

TvtDiscSourceThread::TvtDiscSourceThread(TvtDiscSource& source, bool start) : Source(source) {
  if (start) {
    thread_ = std::thread([this] { Execute(); });
  } else {
    finished_ = true;
  }
}

TvtDiscSourceThread::~TvtDiscSourceThread() {
  Terminate();
  WaitFor();
}

void TvtDiscSourceThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

uint32_t TvtDiscSourceThread::TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void TvtDiscSourceThread::QueueMessage(const std::string& text) {
  std::lock_guard<std::mutex> guard(Lock);
  Messages.emplace_back(text, false);
}

void TvtDiscSourceThread::SetPhase(int32_t phase, uint64_t total) {
  std::lock_guard<std::mutex> guard(Lock);
  Phase = phase;
  Progress = 0;
  ProgressTotal = total;
}

std::vector<std::string> TvtDiscSourceThread::TakeMessages() {
  std::lock_guard<std::mutex> guard(Lock);
  std::vector<std::string> out;
  for (auto& m : Messages) out.push_back(std::move(m.first));
  Messages.clear();
  return out;
}

int TvtDiscSourceThread::ProgressPercent() {
  std::lock_guard<std::mutex> guard(Lock);
  if (Phase == 0 || ProgressTotal == 0 || PhaseCount <= 0) return 0;
  const double share = 100.0 / PhaseCount;
  const double p = (Phase - 1) * share + static_cast<double>(Progress) * share / static_cast<double>(ProgressTotal);
  return static_cast<int>(std::min(100.0, std::nearbyint(p)));
}

TvtScanPhase TvtDiscSourceThread::CurrentPhase() {
  std::lock_guard<std::mutex> guard(Lock);
  switch (Phase) {
    case 1: return TvtScanPhase::Signatures;
    case 2: return TvtScanPhase::ScanMarkers;
    default: return TvtScanPhase::None;
  }
}

void TvtDiscSourceThread::Execute() {
  try {
    // Read access, others may read, the file must exist.
    auto* file =
        new Tkel7zFileStream(Source.FileName, Tkel7zFileStream::kModeRead | Tkel7zFileStream::kShareDenyWrite);
    auto in = TComPtr<IInStream>(static_cast<IInStream*>(file));
    // Reads at a position without moving the file's own: the signature search reads ahead with
    // it on a helper thread while this thread reads candidates through the buffered stream.
    ReadAt = [file](uint64_t offset, void* buffer, int64_t count) { return file->ReadAt(offset, buffer, count); };
    SignaturePhase(in.Get());
    if (!Terminated() && Source.DeepScan && Source.FollowFragments) FollowFragmentsPhase();
    if (!Terminated()) AddReferenceHeaders();
    AnalyseScanMarkers();
  } catch (const std::exception& e) {
    Error = std::current_exception();
    ErrorMessage = e.what();
  } catch (...) {
    Error = std::current_exception();
    ErrorMessage = "Unknown error";
  }
  ReadAt = nullptr;
  Image.reset();
  try {
    Source.Root().Pack();
  } catch (...) {
  }
  finished_ = true;
}

void TvtDiscSourceThread::SignaturePhase(IInStream* inStream) {
  OleCheckStrict(inStream->Seek(0, 0, nullptr));
  Source.InStream = TComPtr<IInStream>(inStream);
  Source.Stream = std::make_unique<TvtBufferedStream>(new Tvt7zStream(inStream), true);
  Stream = Source.Stream.get();
  Size = static_cast<uint64_t>(Stream->GetSize());
  Image = std::make_unique<TvtCandidateImage>();
  QueueMessage(kSignatureText);
  SetPhase(1, Size);
  ScanRange(0, Source.WholeFileSearch() ? Size : 3);
  Image.reset();
  if (!Terminated()) {
    std::lock_guard<std::mutex> guard(Lock);
    Progress = ProgressTotal;
  }
  TvtFolder* all = Source.Root().All;
  if (all && all->ItemCount() == 1 && all->GetItem(0)->Offset == 0) {
    all->GetItem(0)->Name = std::filesystem::path(Source.FileName).filename().string();
  }
}

void TvtDiscSourceThread::ScanRange(uint64_t start, uint64_t count) {
  // A start-of-image candidate is FF D8 FF with its last byte inside the range, a scan marker
  // FF DA likewise; chunk by chunk, the search stops at each of them in order. A found JPEG is
  // skipped as a whole: no pattern may start inside it. This finds exactly what a byte-by-byte
  // window over the range finds. A search of more than a few chunks of the worker's own file
  // reads ahead on a helper thread, so that the file is read while what was found is judged.
  Container = nullptr;
  const uint64_t end = start + count < start ? UINT64_MAX : start + count;
  const uint64_t size = static_cast<uint64_t>(std::max<int64_t>(Stream->GetSize(), 0));
  const bool ahead = ReadAt && count >= 4 * uint64_t{TvtSignatureFinder::kAheadChunk};
  TvtSignatureFinder finder(*Stream, size, ahead ? ReadAt : nullptr);
  uint64_t pos = start;
  while (pos < end && !Terminated()) {
    const uint32_t tick = TickCount();
    if (tick != LastTick && count > 0) {
      std::unique_lock<std::mutex> guard(Lock, std::try_to_lock);
      if (guard.owns_lock()) {
        Progress = pos;
        LastTick = tick;
      }
    }
    const TvtSignatureChunk& chunk = finder.At(pos);
    if (chunk.End <= pos) break;  // the end of the file
    uint64_t next = chunk.End;
    const auto first = std::lower_bound(chunk.Found.begin(), chunk.Found.end(), pos,
                                        [](const TvtFoundSignature& f, uint64_t p) { return f.Offset < p; });
    for (auto found = first; found != chunk.Found.end(); ++found) {
      const uint64_t at = found->Offset;
      if (found->StartOfImage()) {  // FF D8 FF
        if (at + 2 >= end) continue;
        const int64_t d = TryJpegAt(at);
        if (Terminated()) return;
        if (d > 0) {
          next = at + static_cast<uint64_t>(d);
          break;
        }
      } else if (at + 1 < end) {  // FF DA
        RecordScanMarker(at, found->Bytes, found->Count);
      }
    }
    pos = next;
  }
}

int64_t TvtDiscSourceThread::TryJpegAt(uint64_t offset) {
  if (Container) {
    const int64_t containerEnd = static_cast<int64_t>(Container->Offset) + Container->Length;
    if (static_cast<int64_t>(offset) < containerEnd) {
      for (const TvtSubItem* sub : Container->SubItems()) {
        if (sub->Offset == offset) return 0;  // a known embedded thumbnail
      }
    } else {
      Container = nullptr;
    }
  }
  Stream->Seek(static_cast<int64_t>(offset), soBeginning);
  return ExamineJpeg(offset);
}

int64_t TvtDiscSourceThread::ExamineJpeg(uint64_t offset) {
  int64_t result = 0;
  TvtItem* item = nullptr;
  try {
    // In a deep scan, a candidate's restart search stops at the next picture's markers, so that
    // thousands of fake candidates cannot each search the rest of the file.
    const bool deep = Source.WholeFileSearch();
    // The default open keeps its item's decode for the document or command that opens it (with
    // the segments recorded for the writer and the offsets map for the MCU edits).
    const bool keep = Source.KeepDecode && !deep;
    const uint16_t flags = deep ? pfSearchStopsAtHeaders : keep && Source.KeptOffsets ? pfRecordSegments : 0;
    // A picture that is not rendered at frame size now (a deep scan's, or a kept one) is judged
    // from its decode, and its preview is rendered when first asked for (candidate_image.h).
    const TvtRender render = deep ? TvtRender::None : keep ? Source.KeptRender : TvtRender::Frame;
    bool renderLater = render != TvtRender::Frame;
    if (auto* candidate = dynamic_cast<TvtCandidateImage*>(Image.get())) {
      candidate->JudgeOnly = deep;
      candidate->RecordsSegmentsOnly = keep && !Source.KeptOffsets;
    }
    Image->RenderPlanesWhileDecoding = render == TvtRender::Planes;
    Image->ScaleWhileDecoding = render == TvtRender::Reduced ? Source.KeptReduction : nullptr;
    repair::TRepairReport repaired;
    int r = DecodePicture(*Image, nullptr, *Stream, offset, renderLater ? flags | pfNoRender : flags, Source.Repair,
                          &repaired, keep && Source.KeptDeferDamageSearch);
    const int parsed = r;
    if (renderLater && Image->FrameSeen) {
      if (!MayRenderLater(*Image)) {
        // Rendered now, as the parse would have done: a render that fails gives up the candidate.
        const int rendered = Image->RenderOwnBitmap();
        if (r == jrOK) r = rendered;
        renderLater = false;
      } else if (r == jrOK && Image->DecodedPercent() == 100 && !RendersCleanly(*Image)) {
        r = jrUnsupportedColorModel;  // what the render would have reported; broken either way
      }
    }
    const int percent = Image->DecodedPercent();
    const bool broken = r != jrOK || percent < 100;
    CollectHeaders();
    TkelJpegThumbs& thumbs = Image->Thumbs();
    if (percent == 0 && thumbs.ThumbCount() == 0) {
      Image->Reset();
      return 0;
    }
    item = new TvtItem;
    item->Repair = std::move(repaired);
    item->SortOffset = static_cast<int64_t>(offset);
    item->Broken = broken;
    item->Width = Image->FrameSeen ? Image->Width : 0;
    item->Height = Image->FrameSeen ? Image->Height : 0;
    item->DecodedPercent = percent;
    item->OwnThumbnails = true;

    if (!thumbs.Make.empty() && !thumbs.Model.empty()) item->Camera = thumbs.Make + " - " + thumbs.Model;
    else item->Camera = thumbs.Make.empty() ? thumbs.Model : thumbs.Make;
    for (const TkelDateTime* dt : {&thumbs.DateTime, &thumbs.DateTimeOriginal, &thumbs.DateTimeDigitized}) {
      item->Date = DateTimeToDays(*dt);
      if (item->Date != 0) break;
    }

    if (percent > 0) {
      const int32_t o = thumbs.Orientation;
      if (o >= 1 && o <= 8) {
        item->Orientation = o - 1;
        if (o >= 5) std::swap(item->Width, item->Height);
      }
      if (renderLater || keep) {
        // A kept picture stays as decoded: its preview is made apart, when first asked for.
        TStream* stream = Source.Stream.get();
        const uint16_t previewFlags = flags & ~pfRecordSegments;
        const TvtRepair repair = Source.Repair;
        item->PreviewStore = Source.PreviewStore.get();
        item->PreviewMaker = [stream, offset, previewFlags, repair] {
          return RenderJpegPreview(*stream, offset, previewFlags, repair);
        };
      } else if (Image->Bitmap) {
        if (o >= 1 && o <= 8) ApplyOrientation(*Image->Bitmap, o - 1);
        item->SetPreview(MakePreview(*Image->Bitmap), Source.PreviewStore.get());
      }
    }

    item->Stream = Source.Stream.get();
    item->Offset = offset;
    const int64_t consumed = Image->Position;
    item->Length = clampToInt32(consumed);
    item->HeaderLength = clampToInt32(Image->ScanDataOffset);
    // A JPEG that starts the file owns the file's bytes after its picture; elsewhere (a deep
    // scan) the item ends with its last post thumbnail.
    item->TrailerEnd = deep ? offset + static_cast<uint64_t>(std::max<int64_t>(consumed, thumbs.PostEnd)) : Size;
    if (thumbs.PostEnd > item->Length) {
      item->Length = thumbs.PostEnd;
      Container = item;
    } else {
      Container = nullptr;
    }

    Source.Root().AddItem(item);
    if (broken && Source.Root().Broken) Source.Root().Broken->AddItem(item);

    thumbs.SortThumbsByArea();
    for (TkelJpegThumb& t : thumbs.Thumbs()) {
      auto* sub = new TvtSubItem(item);
      sub->Width = t.Bitmap ? t.Bitmap->Width() : 0;
      sub->Height = t.Bitmap ? t.Bitmap->Height() : 0;
      if (t.IsPost) {
        sub->Stream = Source.Stream.get();
        sub->Offset = item->Offset + static_cast<uint64_t>(std::max(t.Offset, 0));
        sub->Length = t.Size;
      } else {
        TMemoryStream& store = *Source.ExtractStore;
        sub->Stream = &store;
        sub->Offset = static_cast<uint64_t>(store.GetSize());
        store.Seek(0, soEnd);
        if (t.Data && t.Data->GetSize() > 0) {
          store.WriteBuffer(t.Data->Memory(), t.Data->GetSize());
        } else if (t.Bitmap) {
          t.Bitmap->SaveToStream(store);
        }
        sub->Length = clampToInt32(store.GetSize() - static_cast<int64_t>(sub->Offset));
      }
      if (!t.Bitmap) continue;
      if (deep || keep) {
        // Made from the sub-item's own bytes when first asked for (a list of found images).
        sub->PreviewStore = Source.PreviewStore.get();
        sub->PreviewMaker = [sub] {
          std::unique_ptr<TBitmap32> picture = sub->LoadImage();
          return picture ? MakePreview(*picture) : nullptr;
        };
      } else {
        sub->SetPreview(MakePreview(*t.Bitmap), Source.PreviewStore.get());
      }
    }
    if (keep) {
      // The item takes the decode; the next candidate gets a decoder of its own.
      item->Decoded = std::move(Image);
      item->DecodedResult = parsed;
      Image = std::make_unique<TvtCandidateImage>();
    }
    result = broken ? item->HeaderLength : consumed;
  } catch (...) {
    // The candidate is given up; the scan goes on.
  }
  if (item) item->Release();
  try {
    Image->Reset();
  } catch (...) {
  }
  return result;
}

}  // namespace vt
