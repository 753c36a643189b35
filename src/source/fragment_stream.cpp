#include "source/fragment_stream.h"

#include <algorithm>

namespace vt {

TvtFragmentStream::TvtFragmentStream(TStream& file, TvtFragmentList fragments)
    : file_(file), fragments_(std::move(fragments)) {
  if (fragments_.empty()) fragments_.push_back({0, 0});
}

void TvtFragmentStream::SetFragments(TvtFragmentList fragments) {
  if (!fragments.empty()) fragments_ = std::move(fragments);
}

int64_t TvtFragmentStream::GetSize() {
  return static_cast<int64_t>(fragments_.front().Offset + FragmentsLength(fragments_));
}

int64_t TvtFragmentStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == soCurrent) base = position_;
  else if (origin == soEnd) base = GetSize();
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

int64_t TvtFragmentStream::FileOffsetOf(uint64_t pos) const {
  uint64_t at = fragments_.front().Offset;
  if (pos < at) return static_cast<int64_t>(pos);
  for (const TvtFragment& f : fragments_) {
    if (pos < at + f.Length) return static_cast<int64_t>(f.Offset + (pos - at));
    at += f.Length;
  }
  return -1;
}

int64_t TvtFragmentStream::PositionOf(size_t index, uint64_t fileOffset) const {
  if (index >= fragments_.size()) return -1;
  uint64_t at = fragments_.front().Offset;
  for (size_t i = 0; i < index; ++i) at += fragments_[i].Length;
  const TvtFragment& f = fragments_[index];
  if (fileOffset < f.Offset || fileOffset > f.Offset + f.Length) return -1;
  return static_cast<int64_t>(at + (fileOffset - f.Offset));
}

int64_t TvtFragmentStream::Read(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const uint64_t pos = static_cast<uint64_t>(position_);
    // The run of file bytes that serves pos: the file itself before the first piece, else the
    // piece holding pos.
    uint64_t fileAt = 0, runLeft = 0;
    uint64_t at = fragments_.front().Offset;
    if (pos < at) {
      fileAt = pos;
      runLeft = at - pos;
    } else {
      for (const TvtFragment& f : fragments_) {
        if (pos < at + f.Length) {
          fileAt = f.Offset + (pos - at);
          runLeft = at + f.Length - pos;
          break;
        }
        at += f.Length;
      }
    }
    if (runLeft == 0) break;
    const int64_t want = static_cast<int64_t>(std::min<uint64_t>(runLeft, static_cast<uint64_t>(count - done)));
    file_.Seek(static_cast<int64_t>(fileAt), soBeginning);
    const int64_t got = file_.Read(out + done, want);
    if (got <= 0) break;
    done += got;
    position_ += got;
    if (got < want) break;
  }
  return done;
}

}  // namespace vt
