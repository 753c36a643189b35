// The records the disc source produces: TvtItem (one JPEG found in the opened file) and
// TvtSubItem (one of its embedded thumbnails), each with the stream its bytes are read from
// and a 120 x 90 preview kept as BMP data in a store; TvtThumbCache bounds how many previews
// are held as bitmaps at once.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "repair/repair_report.h"
#include "source/fragment_list.h"

#include "base/stream.h"
#include "bitmap/bitmap32.h"

namespace vt {

class TkelJpegWithThumbs;
class TvtItem;

// Content kinds of GetKind.
constexpr uint8_t kKindNone = 0;
constexpr uint8_t kKindJpeg = 1;
constexpr uint8_t kKindBitmap = 2;

class TvtSubItem {
 public:
  // Joins owner's SubItems when an owner is given.
  explicit TvtSubItem(TvtItem* owner);
  // Leaves the owner's SubItems, frees the preview and the streams it owns.
  virtual ~TvtSubItem();
  TvtSubItem(const TvtSubItem&) = delete;
  TvtSubItem& operator=(const TvtSubItem&) = delete;

  // Takes bitmap (the 120 x 90 preview), appends it to store as a BMP file and remembers where.
  void SetPreview(std::unique_ptr<TBitmap32> bitmap, TStream* store);
  // The preview, reloaded from the store when it was unloaded, or made by PreviewMaker on the
  // first request; nullptr when there is none. The sub-item keeps ownership. Load failures raise;
  // a maker that fails leaves no preview.
  TBitmap32* GetPreview();
  void FreePreview();
  // 1 JPEG, 2 bitmap, 0 anything else; read once from the first bytes at Offset.
  uint8_t GetKind();
  // The full picture (caller owns it), or nullptr when there is no preview or no known kind.
  std::unique_ptr<TBitmap32> GetImage();
  // The same whether or not there is a preview.
  std::unique_ptr<TBitmap32> LoadImage();

  TvtItem* Owner;
  uint8_t Kind = kKindNone;
  bool KindKnown = false;
  int32_t Width = 0, Height = 0;
  int32_t Orientation = 0;
  TStream* HeaderStream = nullptr;
  bool OwnsHeaderStream = false;
  TStream* Stream = nullptr;
  bool OwnsStream = false;
  uint64_t Offset = 0;
  int32_t Length = 0;
  int32_t HeaderLength = 0;
  TStream* PreviewStore = nullptr;
  uint64_t PreviewOffset = 0;
  int32_t PreviewSize = 0;
  std::unique_ptr<TBitmap32> Preview;
  // Makes the preview when it is first asked for (deep scans render a picture only then); it is
  // stored in PreviewStore like any other. Empty once run, and for previews made at once.
  std::function<std::unique_ptr<TBitmap32>()> PreviewMaker;
};

class TvtItem : public TvtSubItem {
 public:
  TvtItem();
  ~TvtItem() override;

  void AddRef() { ++RefCount; }
  // Frees the item when the last count goes.
  void Release();

  int32_t SubItemCount() const { return static_cast<int32_t>(subItems_.size()); }
  TvtSubItem* GetSubItem(int32_t index) const { return subItems_.at(static_cast<size_t>(index)); }
  const std::vector<TvtSubItem*>& SubItems() const { return subItems_; }

  int32_t RefCount = 1;
  bool Broken = false;
  std::string Name, Camera;
  double Date = 0;  // days since 1899-12-30 with the time as fraction; 0: none
  int32_t DecodedPercent = 0;
  int64_t SortOffset = 0;
  // The reference file whose header set the replacement header is; empty when the header set
  // came from the opened file itself (or there is no replacement header).
  std::string HeaderReference;
  // The SubItems are the thumbnails that the decode of this item's own picture collects (items
  // made from a JPEG found in the file), so that decode's thumbnails are the same pictures.
  bool OwnThumbnails = false;
  // Where the bytes that belong to the item after its picture end: the end of the file for a
  // JPEG that starts the file (the default open), else the end of its last post thumbnail.
  uint64_t TrailerEnd = 0;
  // The open's decode of the picture (the default open keeps the one it judged the item by),
  // until the document or a command takes it; nullptr when there is none.
  std::unique_ptr<TkelJpegWithThumbs> Decoded;
  int DecodedResult = 0;  // its parse result
  // What the repair of that decode did, and where the damage starts.
  repair::TRepairReport Repair;
  // Where the photo's bytes lie in the opened file, piece by piece (a deep scan's items; empty
  // for others). With more than one piece, Stream is a view in which they follow one another
  // (fragment_stream.h) and Offset is the first piece's.
  TvtFragmentList Fragments;
  // The search found no cluster that continues the photo after its last piece: it is partial.
  bool MissingPiece = false;

 private:
  friend class TvtSubItem;
  std::vector<TvtSubItem*> subItems_;
};

// The sub-items whose preview bitmap is loaded, most recently used first; at most
// kMaxLoaded of them. One list for the program; used by one thread at a time.
class TvtThumbCache {
 public:
  static constexpr size_t kMaxLoaded = 100;
  void Touch(TvtSubItem* subItem);
  void Remove(TvtSubItem* subItem);
  const std::list<TvtSubItem*>& Entries() const { return list_; }

 private:
  std::list<TvtSubItem*> list_;
};

TvtThumbCache& ThumbCache();

// The size of a preview of a width x height picture: fitted into 120 x 90, aspect kept.
void PreviewSize(int32_t width, int32_t height, int32_t& previewWidth, int32_t& previewHeight);
// A preview of bitmap, drawn with the Lanczos resampler in blend mode (both settings stay on
// bitmap).
std::unique_ptr<TBitmap32> MakePreview(TBitmap32& bitmap);

}  // namespace vt
