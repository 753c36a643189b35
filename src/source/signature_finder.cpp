#include "source/signature_finder.h"

#include <algorithm>
#include <cstring>

#include "source/signature_search.h"

namespace vt {

TvtSignatureFinder::TvtSignatureFinder(TStream& stream, uint64_t size, ReadAtFn readAt)
    : Size(size), stream_(stream), readAt_(std::move(readAt)) {
  if (readAt_ && size > 0) {
    lastChunk_ = static_cast<int64_t>((size - 1) / kAheadChunk);
    aheadBuffer_.resize(static_cast<size_t>(kAheadChunk + TvtFoundSignature::kBytes));
    helper_ = std::thread([this] { Run(); });
  } else {
    readAt_ = nullptr;
    buffer_.resize(static_cast<size_t>(kStreamChunk + TvtFoundSignature::kBytes));
  }
}

TvtSignatureFinder::~TvtSignatureFinder() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  if (helper_.joinable()) helper_.join();
}

void TvtSignatureFinder::Search(uint64_t start, uint64_t end, TvtSignatureChunk& out, bool ahead) {
  std::vector<uint8_t>& buffer = ahead ? aheadBuffer_ : buffer_;
  std::vector<uint32_t>& marks = ahead ? aheadMarks_ : marks_;
  out.Start = start;
  out.End = start;
  out.Found.clear();
  out.Error = nullptr;
  const int64_t want = static_cast<int64_t>(
      std::min<uint64_t>(end - start + TvtFoundSignature::kBytes, Size > start ? Size - start : 0));
  int64_t got = 0;
  if (ahead) {
    while (got < want) {
      const int64_t n = readAt_(start + static_cast<uint64_t>(got), buffer.data() + got, want - got);
      if (n <= 0) break;
      got += std::min(n, want - got);
    }
    // Bytes the file no longer delivers (it became shorter) read as zeros up to Size, as the
    // buffered stream serves them.
    std::memset(buffer.data() + got, 0, static_cast<size_t>(want - got));
    got = want;
  } else {
    stream_.Seek(static_cast<int64_t>(start), soBeginning);
    got = std::max<int64_t>(stream_.Read(buffer.data(), want), 0);
  }
  const int64_t starts = std::min<int64_t>(got, static_cast<int64_t>(end - start));
  out.End = start + static_cast<uint64_t>(starts);
  marks.clear();
  FindSignatures(buffer.data(), starts, got, marks);
  out.Found.resize(marks.size());
  for (size_t m = 0; m < marks.size(); ++m) {
    TvtFoundSignature& f = out.Found[m];
    const int64_t i = marks[m];
    f.Offset = start + static_cast<uint64_t>(i);
    f.Count = static_cast<int32_t>(std::min<int64_t>(TvtFoundSignature::kBytes, got - i));
    std::memcpy(f.Bytes, buffer.data() + i, static_cast<size_t>(f.Count));
  }
}

void TvtSignatureFinder::Run() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [&] {
      const int64_t k = std::max(next_, want_);
      return stop_ || (k <= lastChunk_ && k < want_ + kAheadChunks && waiting_ < kAheadSignatures);
    });
    if (stop_) return;
    next_ = std::max(next_, want_);
    const int64_t index = next_++;
    const uint64_t generation = generation_;
    searching_ = index;
    guard.unlock();
    TvtSignatureChunk chunk;
    const uint64_t start = static_cast<uint64_t>(index) * kAheadChunk;
    const uint64_t end = std::min<uint64_t>(start + kAheadChunk, Size);
    try {
      Search(start, end, chunk, true);
    } catch (...) {
      chunk.Found.clear();
      chunk.Start = start;
      chunk.End = end;
      chunk.Error = std::current_exception();
    }
    guard.lock();
    searching_ = -1;
    // Given up meanwhile: the user went past it, or back before it.
    if (generation != generation_ || index < want_) continue;
    waiting_ += chunk.Found.size();
    ready_.push_back(std::move(chunk));
    changed_.notify_all();
  }
}

const TvtSignatureChunk& TvtSignatureFinder::At(uint64_t pos) {
  if (pos >= Size) {
    own_ = TvtSignatureChunk();
    own_.Start = own_.End = pos;
    return own_;
  }
  if (!readAt_) {
    Search(pos, std::min<uint64_t>(pos + kStreamChunk, Size), own_, false);
    return own_;
  }
  const int64_t index = static_cast<int64_t>(pos / kAheadChunk);
  auto indexOf = [](const TvtSignatureChunk& c) { return static_cast<int64_t>(c.Start / kAheadChunk); };
  std::unique_lock<std::mutex> guard(lock_);
  if (index != want_) {
    want_ = index;
    while (!ready_.empty() && indexOf(ready_.front()) < index) {
      waiting_ -= ready_.front().Found.size();
      ready_.pop_front();
    }
    const bool there = !ready_.empty() && indexOf(ready_.front()) == index;
    if (!there && searching_ != index && next_ > index) {
      // Searched before and given up since (the user went back): from there again.
      ++generation_;
      ready_.clear();
      waiting_ = 0;
      next_ = index;
    }
    changed_.notify_all();
  }
  changed_.wait(guard, [&] { return !ready_.empty() && indexOf(ready_.front()) == index; });
  if (ready_.front().Error) {
    const std::exception_ptr error = ready_.front().Error;
    // Read again when asked again.
    ++generation_;
    ready_.clear();
    waiting_ = 0;
    next_ = index;
    changed_.notify_all();
    guard.unlock();
    std::rethrow_exception(error);
  }
  return ready_.front();
}

}  // namespace vt
