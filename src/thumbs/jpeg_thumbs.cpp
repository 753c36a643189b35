// The collection's bookkeeping: records, post thumbnails, the joined buffer with its block map.
#include "thumbs/jpeg_thumbs.h"

#include <algorithm>
#include <utility>

#include "thumbs/thumb_handler.h"

namespace vt {

void TkelJpegThumbs::Clear() {
  ImageDescription.clear();
  PageName.clear();
  DocumentName.clear();
  Make.clear();
  Model.clear();
  DateTime = DateTimeOriginal = DateTimeDigitized = TkelDateTime{};
  Orientation = 0;
  while (!thumbs_.empty()) thumbs_.pop_back();  // last record first
  postThumbs_.clear();
  postDone_.clear();
  PostEnd = 0;
}

void TkelJpegThumbs::ClearJoined() {
  joined_.clear();  // capacity stays for the next handler
  blockMap_.clear();
}

void TkelJpegThumbs::AppendData(int32_t relativeOffset, const uint8_t* source, int32_t count) {
  if (count <= 0) return;
  // The vectors grow geometrically: a run of thousands of small segments must join in linear time.
  joined_.insert(joined_.end(), source, source + count);
  blockMap_.push_back(TkelJpegBlock{int32_t(segmentDataOffset_ + relativeOffset), count});
}

TkelJpegThumb& TkelJpegThumbs::AppendRecord(TkelJpegThumbKind kind, int32_t offset, int32_t size,
                                            int32_t width, int32_t height, int32_t completeness) {
  TkelJpegThumb& t = thumbs_.emplace_back();
  t.Kind = kind;
  t.Offset = offset;
  t.Size = size;
  t.Width = width;
  t.Height = height;
  t.Completeness = completeness;
  return t;
}

PkelJpegThumb TkelJpegThumbs::AddThumb(TkelJpegThumbKind kind, int32_t offset, int32_t size,
                                       int32_t width, int32_t height, int32_t completeness,
                                       std::unique_ptr<TBitmap32> bitmap,
                                       std::unique_ptr<TMemoryStream> data,
                                       const std::string& caption) {
  TkelJpegThumb& t = AppendRecord(kind, offset, size, width, height, completeness);
  t.Data = std::move(data);
  t.Caption = caption;

  if (blockMap_.empty())
    blockMap_.push_back(TkelJpegBlock{int32_t(segmentDataOffset_), segmentUsableLength_});
  // Locate offset in the map, then cover size bytes from there, block by block.
  size_t i = 0;
  int64_t rest = offset;
  while (i < blockMap_.size() && rest >= blockMap_[i].Size) {
    rest -= blockMap_[i].Size;
    ++i;
  }
  int64_t wanted = size;
  for (; i < blockMap_.size() && wanted > 0 && rest >= 0; ++i) {
    const int64_t n = std::min<int64_t>(blockMap_[i].Size - rest, wanted);
    t.Blocks.push_back(TkelJpegBlock{int32_t(blockMap_[i].Offset + rest), int32_t(n)});
    wanted -= n;
    rest = 0;
  }
  t.Bitmap = std::move(bitmap);
  return &t;
}

void TkelJpegThumbs::AddPostThumb(int64_t offset, int32_t size) {
  postThumbs_.push_back(TkelJpegPostThumb{offset, size});
  postDone_.push_back(false);
}

void TkelJpegThumbs::SortThumbsByArea() {
  auto area = [](const TkelJpegThumb& t) { return int64_t(t.Width) * int64_t(t.Height); };
  size_t n = thumbs_.size();
  bool swapped = true;
  while (swapped && n > 1) {
    swapped = false;
    for (size_t i = 0; i + 1 < n; ++i) {
      if (area(thumbs_[i]) < area(thumbs_[i + 1])) {
        std::swap(thumbs_[i], thumbs_[i + 1]);
        swapped = true;
      }
    }
    --n;
  }
}

}  // namespace vt
