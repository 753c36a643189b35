// What the scan-marker analysis works with: the scan headers met in the file outside any found
// JPEG (TvtSOSOffsetItems, in the order found) and the distinct header sets of the JPEGs and
// thumbnails decoded (TvtSOSItems, ordered by frame width, then height).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "jpeg/jpeg_id.h"

namespace vt {

class TvtSOSOffsetItems;
class TvtSOSItems;

struct TvtSOSOffsetItem {
  TvtSOSOffsetItems* Owner = nullptr;
  TStream* Stream = nullptr;
  bool OwnsStream = false;
  uint64_t DataOffset = 0;   // first byte after the scan header
  std::vector<uint8_t> Header;  // the whole scan header, marker bytes included
  uint32_t HeaderSize = 0;   // 10, 14 or 16

  ~TvtSOSOffsetItem() {
    if (OwnsStream) delete Stream;
  }
};

class TvtSOSOffsetItems {
 public:
  TvtSOSOffsetItem* Add(std::unique_ptr<TvtSOSOffsetItem> item);
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TvtSOSOffsetItem* GetItem(int32_t index) const { return items_.at(static_cast<size_t>(index)).get(); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TvtSOSOffsetItem>> items_;
};

struct TvtSOSItem {
  TvtSOSItems* Owner = nullptr;
  std::unique_ptr<TkelJpegID> Id;
  std::string Origin;  // the reference file it came from; empty: the opened file
};

class TvtSOSItems {
 public:
  // The header set id, unless one that is SameAs it is kept already: a clone of it goes in at
  // its (width, height) place. Returns the new entry or nullptr.
  TvtSOSItem* AddUnique(const TkelJpegID& id);
  // The entry whose Id is SameAs id, or nullptr.
  TvtSOSItem* FindSame(const TkelJpegID& id) const;
  // Puts the entries in (width, height) order again (neighbour exchange passes).
  void Sort();
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TvtSOSItem* GetItem(int32_t index) const { return items_.at(static_cast<size_t>(index)).get(); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TvtSOSItem>> items_;
};

}  // namespace vt
