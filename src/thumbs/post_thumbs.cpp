// ResolvePostThumbs: the pictures that lie outside the segments (Multi-Picture images, Exif
// compressed strips, Olympus previews) are copied out of the stream and decoded by a nested
// TkelJpegWithThumbs, whose own records are moved over.
#include <algorithm>
#include <unordered_set>
#include <utility>

#include "jpeg/jpeg_id.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {

void TkelJpegThumbs::ResolvePostThumbs(TStream& stream, int64_t origin) {
  if (postThumbs_.empty() || NestingLevel >= kMaxPostNesting) return;
  auto nested = std::make_unique<TkelJpegWithThumbs>(allMPImages_, 0);
  nested->Thumbs().NestingLevel = NestingLevel + 1;
  TMemoryStream copy;
  const int64_t streamSize = stream.GetSize();
  const std::vector<TkelJpegPostThumb> pending = postThumbs_;
  std::unordered_set<int64_t> tried;
  for (size_t i = 0; i < pending.size(); ++i) {
    const TkelJpegPostThumb post = pending[i];
    if (postDone_[i]) continue;
    if (post.Offset < 0 || post.Size <= 0 || origin + post.Offset >= streamSize) continue;
    postDone_[i] = true;
    // One picture per start position: a crafted index may list the same picture thousands of
    // times with sizes one byte apart, and decoding each would fill gigabytes with copies of one
    // bitmap. The first registration of a position is the one decoded.
    if (!tried.insert(post.Offset).second) continue;

    // A picture cut short by the end of the file is decoded from the bytes that are there.
    const int64_t size = std::min<int64_t>(post.Size, streamSize - (origin + post.Offset));
    try {
      copy.Clear();
      stream.SetPosition(origin + post.Offset);
      copy.CopyFrom(stream, size);
      copy.SetPosition(0);
      nested->LoadFromStream(copy, 0);
    } catch (const std::exception&) {
      continue;  // a picture that cannot be read is left out; the main image stays
    }

    const int32_t offset = int32_t(post.Offset);
    const int32_t occupied = int32_t(size);
    if (nested->Bitmap && !nested->Bitmap->Empty()) {
      std::unique_ptr<TBitmap32> bitmap = nested->TakeBitmap();
      const int32_t w = bitmap->Width(), h = bitmap->Height();
      const int32_t percent = nested->DecodedPercent();
      TkelJpegThumb& t = AppendRecord(tkJpeg, offset, occupied, w, h, percent);
      t.Bitmap = std::move(bitmap);
      t.IsPost = true;
      t.Blocks.push_back(TkelJpegBlock{offset, occupied});
      if (nested->ID) t.JpegID = nested->ID->Clone();
      PostEnd = std::max<int32_t>(PostEnd, offset + occupied);
    }

    // The nested records move over; their blocks are positions in the copy, so they shift by
    // the picture's offset to become positions in this stream.
    TkelJpegThumbs& inner = nested->Thumbs();
    for (TkelJpegThumb& moved : inner.Thumbs()) {
      moved.IsPost = true;
      if (!moved.Blocks.empty()) {
        moved.Offset = moved.Blocks.front().Offset + offset;
        for (TkelJpegBlock& b : moved.Blocks) b.Offset += offset;
      }
      PostEnd = std::max<int32_t>(PostEnd, moved.Offset + moved.Size);
      thumbs_.push_back(std::move(moved));
    }
    inner.Thumbs().clear();
  }
}

}  // namespace vt
