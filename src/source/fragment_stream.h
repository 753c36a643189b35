// A view of a card image in which a photo's pieces follow one another: positions before the
// first piece are the file's own, and from the first piece's offset on the pieces' bytes come in
// their order, so the photo reads as one JPEG at that offset. Everything that reads a picture
// from a stream and an offset (the decoder, the document, previews, restore) reads a fragmented
// photo through it unchanged, and offsets of its first piece stay file offsets. The pieces may be
// replaced between reads (the search tries continuations this way). Read-only.
#pragma once

#include <cstdint>

#include "base/stream.h"
#include "source/fragment_list.h"

namespace vt {

class TvtFragmentStream : public TStream {
 public:
  // file must outlive the view. fragments must not be empty.
  TvtFragmentStream(TStream& file, TvtFragmentList fragments);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetSize() override;

  const TvtFragmentList& Fragments() const { return fragments_; }
  void SetFragments(TvtFragmentList fragments);
  // The file offset of the byte at position pos of the view, or -1 past its end.
  int64_t FileOffsetOf(uint64_t pos) const;
  // The position in the view of file offset fileOffset inside piece index, or -1.
  int64_t PositionOf(size_t index, uint64_t fileOffset) const;

 private:
  TStream& file_;
  TvtFragmentList fragments_;
  int64_t position_ = 0;
};

}  // namespace vt
