// The search for a fragmented photo's pieces over arbitrary bytes taken as a card image of
// 512-byte clusters: every start of image (at most four) is followed across the card, and the
// pieces found are read back through the view that joins them. The pieces must lie inside the
// card, and no cluster may be given to two photos.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/stream.h"
#include "source/card_clusters.h"
#include "source/fragment_search.h"
#include "source/fragment_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vt::TTempMemoryStream card;
  card.SetPointer(data, static_cast<int64_t>(size));
  std::vector<uint64_t> starts;
  for (size_t i = 0; i + 2 < size && starts.size() < 4; ++i)
    if (data[i] == 0xFF && data[i + 1] == 0xD8 && data[i + 2] == 0xFF) starts.push_back(i);
  uint64_t base = 0;
  vt::FindClusterSize(starts, base);
  vt::TvtCardClusters clusters(card, size, 512, 0);
  std::vector<uint8_t> owner(static_cast<size_t>(clusters.Count()), 0);
  uint8_t photo = 0;
  for (uint64_t start : starts) {
    ++photo;
    const vt::TvtFollowed followed = vt::FollowPhoto(card, clusters, start);
    for (size_t i = 0; i < followed.Fragments.size(); ++i) {
      const vt::TvtFragment& f = followed.Fragments[i];
      if (f.Offset + f.Length > size) std::abort();
      // Later pieces start at a cluster and take it for this photo only.
      if (i > 0 && f.Length > 0) {
        const uint64_t c = clusters.IndexOf(f.Offset);
        if (owner[c] != 0 && owner[c] != photo) std::abort();
        owner[c] = photo;
      }
    }
    if (followed.Fragments.empty()) continue;
    vt::TvtFragmentStream view(card, followed.Fragments);
    std::vector<uint8_t> joined(static_cast<size_t>(vt::FragmentsLength(followed.Fragments)));
    view.Seek(static_cast<int64_t>(start), vt::soBeginning);
    if (view.Read(joined.data(), static_cast<int64_t>(joined.size())) != static_cast<int64_t>(joined.size()))
      std::abort();
  }
  return 0;
}
