// The deep scan's following of fragmented photos, run after the signature search has found the
// photos: their starts give the card's cluster size, whole photos claim their clusters, and each
// broken photo is followed (fragment_search.h) in card order. A photo whose data goes on
// elsewhere is read from then on through a view of its pieces, and judged again on it.
#include <algorithm>
#include <map>

#include "base/limits.h"
#include "jpeg/jpeg_constants.h"
#include "source/candidate_image.h"
#include "source/card_clusters.h"
#include "source/disc_source.h"
#include "source/disc_source_thread.h"
#include "source/fragment_search.h"
#include "source/fragment_stream.h"
#include "source/picture_decode.h"

namespace vt {

namespace {

// The place in a cluster that most photo starts share, for a cluster size given by the user.
uint64_t CommonPlace(const std::vector<uint64_t>& starts, int64_t clusterBytes) {
  std::map<uint64_t, size_t> places;
  for (uint64_t s : starts) ++places[s % static_cast<uint64_t>(clusterBytes)];
  if (places.empty()) return 0;
  return std::max_element(places.begin(), places.end(), [](const auto& a, const auto& b) {
           return a.second < b.second;
         })->first;
}

// Reads the photo through its pieces and judges it as the signature search judges a candidate.
void Rejudge(TvtDiscSource& source, TvtItem& item, const TvtFollowed& followed) {
  auto* view = new TvtFragmentStream(*source.Stream, followed.Fragments);
  if (item.OwnsStream) delete item.Stream;
  item.Stream = view;
  item.OwnsStream = true;
  const uint64_t length = FragmentsLength(followed.Fragments);
  item.Length = static_cast<int32_t>(std::min<uint64_t>(length, INT32_MAX));
  item.TrailerEnd = item.Offset + length;
  const uint16_t flags = pfSearchStopsAtHeaders;
  // The search's last decode of a complete photo read it cleanly to its end through these pieces.
  if (followed.Complete) {
    item.DecodedPercent = 100;
  } else {
    TvtCandidateImage image;
    image.JudgeOnly = true;
    const int r = DecodePicture(image, nullptr, *view, item.Offset, flags | pfNoRender, source.Repair);
    item.DecodedPercent = r == jrOK ? image.DecodedPercent() : std::min(image.DecodedPercent(), 99);
  }
  const bool broken = item.DecodedPercent < 100;
  if (item.Broken && !broken && source.Root().Broken) source.Root().Broken->RemoveItem(&item);
  item.Broken = broken;
  // The preview is made from the pieces when first asked for.
  item.FreePreview();
  item.PreviewSize = 0;
  TStream* stream = view;
  const uint64_t offset = item.Offset;
  const TvtRepair repair = source.Repair;
  item.PreviewStore = source.PreviewStore.get();
  item.PreviewMaker = [stream, offset, flags, repair] { return RenderJpegPreview(*stream, offset, flags, repair); };
}

}  // namespace

void TvtDiscSourceThread::FollowFragmentsPhase() {
  TvtFolder* all = Source.Root().All;
  if (!all) return;
  // The photos the signature search found in the file (not scan data read with another header).
  std::vector<TvtItem*> photos;
  std::vector<uint64_t> starts;
  for (TvtItem* item : all->Items()) {
    if (item->HeaderStream || item->Stream != Source.Stream.get()) continue;
    photos.push_back(item);
    starts.push_back(item->Offset);
  }
  uint64_t base = 0;
  int64_t bytes = Source.ClusterBytes;
  if (bytes > 0) base = CommonPlace(starts, bytes);
  else bytes = FindClusterSize(starts, base);
  Source.UsedClusterBytes = bytes;
  TvtCardClusters clusters(*Stream, Size, bytes, base);
  std::vector<TvtItem*> broken;
  std::map<const TvtItem*, TvtFragment> holds;  // what each broken photo holds until it is followed
  for (TvtItem* item : photos) {
    const uint64_t end = item->Offset + static_cast<uint64_t>(std::max(item->Length, 0));
    if (item->Broken) {
      // Until it is followed, a broken photo holds the clusters its decode went through, all
      // but the last few (the decoder may have run on through someone else's data): the other
      // photos' continuations are not looked for there, and a cluster after them may start one.
      const uint64_t unheld = static_cast<uint64_t>(kFragmentUnheldClusters * clusters.Bytes());
      const uint64_t heldEnd = std::max(item->Offset + 1, end > unheld ? end - unheld : 0);
      clusters.Hold(item->Offset, heldEnd);
      holds[item] = {item->Offset, heldEnd - item->Offset};
      broken.push_back(item);
    } else {
      clusters.Claim(item->Offset, end);
      item->Fragments = {{item->Offset, end - item->Offset}};
    }
  }
  const std::function<bool()> stop = [this] { return Terminated(); };
  // Photos are followed in card order; the pieces each one claims may be what kept another
  // photo's continuation from being seen (a piece that starts right after a cluster of unclaimed
  // data looks like that data's middle), so the photos still missing a piece are followed again
  // while that finds more.
  for (int pass = 0; pass < kFragmentPasses && !broken.empty(); ++pass) {
    std::vector<TvtItem*> missing;
    bool found = false;
    for (TvtItem* item : broken) {
      if (Terminated()) return;
      // Followed again, a photo goes on from the start of its last piece (the pieces before it
      // were found on evidence), and keeps what it had when it finds less.
      const TvtFragmentList before = item->Fragments;
      // (The first time, it gives back what it held; the clusters other photos claimed among
      // them stay theirs.)
      if (!before.empty()) {
        clusters.Release(before.back().Offset, before.back().Offset + before.back().Length);
      } else if (const auto held = holds.find(item); held != holds.end()) {
        clusters.Unhold(held->second.Offset, held->second.Offset + held->second.Length);
        holds.erase(held);
      }
      clusters.Claim(item->Offset, item->Offset + 1);
      TvtFollowed followed = FollowPhoto(*Stream, clusters, item->Offset, stop, before);
      if (pass > 0 && followed.MissingPiece && FragmentsLength(followed.Fragments) <= FragmentsLength(before)) {
        const TvtFragment& last = followed.Fragments.empty() ? before.back() : followed.Fragments.back();
        clusters.Release(last.Offset, last.Offset + last.Length);
        for (const TvtFragment& f : before) clusters.Claim(f.Offset, f.Offset + f.Length);
        missing.push_back(item);
        continue;
      }
      if (followed.Fragments.empty()) continue;  // a picture the search cannot continue
      // (More pieces than before claim more clusters; a photo left in one piece claims none.)
      found = found || followed.Fragments.size() > std::max<size_t>(before.size(), 1);
      item->Fragments = followed.Fragments;
      item->MissingPiece = followed.MissingPiece;
      // A photo in one piece stays as the signature search judged it.
      if (followed.Fragments.size() > 1) Rejudge(Source, *item, followed);
      if (followed.MissingPiece) missing.push_back(item);
    }
    if (!found) break;
    broken = std::move(missing);
  }
}

}  // namespace vt
