#include "source/sos_items.h"

#include <utility>

namespace vt {

TvtSOSOffsetItem* TvtSOSOffsetItems::Add(std::unique_ptr<TvtSOSOffsetItem> item) {
  item->Owner = this;
  items_.push_back(std::move(item));
  return items_.back().get();
}

namespace {
// Below 0: a before b in (width, height) order.
int compareSize(const TkelJpegID& a, const TkelJpegID& b) {
  if (a.Width != b.Width) return a.Width < b.Width ? -1 : 1;
  if (a.Height != b.Height) return a.Height < b.Height ? -1 : 1;
  return 0;
}
}  // namespace

TvtSOSItem* TvtSOSItems::FindSame(const TkelJpegID& id) const {
  for (const auto& it : items_) {
    if (it->Id->SameAs(id)) return it.get();
  }
  return nullptr;
}

TvtSOSItem* TvtSOSItems::AddUnique(const TkelJpegID& id) {
  if (FindSame(id)) return nullptr;
  auto item = std::make_unique<TvtSOSItem>();
  item->Owner = this;
  item->Id = id.Clone();
  // Kept only to be compared and parsed: no room for more segments (a parser's copy reserves
  // 64 KiB, which thousands of header sets of a card image would multiply).
  item->Id->Data.resize(static_cast<size_t>(item->Id->Length));
  item->Id->Data.shrink_to_fit();
  int64_t lo = 0, hi = static_cast<int64_t>(items_.size()) - 1, at = -1;
  while (lo <= hi) {
    const int64_t mid = (lo + hi) / 2;
    const int c = compareSize(*items_[static_cast<size_t>(mid)]->Id, id);
    if (c < 0) {
      lo = mid + 1;
    } else if (c > 0) {
      hi = mid - 1;
    } else {
      at = mid;
      break;
    }
  }
  if (at < 0) at = lo;
  items_.insert(items_.begin() + at, std::move(item));
  return items_[static_cast<size_t>(at)].get();
}

void TvtSOSItems::Sort() {
  bool exchanged = true;
  while (exchanged) {
    exchanged = false;
    for (size_t i = 1; i < items_.size(); ++i) {
      if (compareSize(*items_[i]->Id, *items_[i - 1]->Id) < 0) {
        std::swap(items_[i], items_[i - 1]);
        exchanged = true;
      }
    }
  }
}

}  // namespace vt
