// TvtSignatureFinder: the signatures (signature_search.h) of a file, chunk by chunk, each with
// the file's bytes that follow it, which is all the disc source's search needs to look at. Given
// a positional read of the file, it reads and searches ahead on a helper thread, so that this
// happens while the search judges the pictures found so far; otherwise it reads each chunk
// through the given stream when asked. Either way a chunk is read into one small buffer that
// stays in the cache, and memory does not grow with the file: at most kAheadChunks chunks and
// kAheadSignatures signatures wait.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/stream.h"
#include "jpeg/markers.h"

namespace vt {

// One signature: where its FF lies in the file, and the file's bytes from there.
struct TvtFoundSignature {
  static constexpr int kBytes = 16;  // a whole scan header
  uint64_t Offset = 0;
  uint8_t Bytes[kBytes];
  int32_t Count = 0;  // bytes at hand: kBytes, or fewer at the end of the file
  bool StartOfImage() const { return Bytes[1] == mkSOI; }
};

// The signatures whose FF lies in [Start, End), ascending.
struct TvtSignatureChunk {
  uint64_t Start = 0, End = 0;
  std::vector<TvtFoundSignature> Found;
  std::exception_ptr Error;  // the read failed
};

class TvtSignatureFinder {
 public:
  // Reads up to count bytes at offset into buffer; returns how many came (0 at the end of the
  // file) or raises. Called on the helper thread, beside the stream's reads.
  using ReadAtFn = std::function<int64_t(uint64_t offset, void* buffer, int64_t count)>;

  static constexpr int64_t kStreamChunk = 65536;  // one buffered block
  static constexpr int64_t kAheadChunk = 128 << 10;
  static constexpr int64_t kAheadChunks = 256;  // 32 MiB ahead at most
  static constexpr size_t kAheadSignatures = size_t{1} << 18;

  // size: the file's (the stream's) size. Without readAt nothing runs on another thread.
  TvtSignatureFinder(TStream& stream, uint64_t size, ReadAtFn readAt = nullptr);
  // Stops the helper and waits for it (at most one chunk's read).
  ~TvtSignatureFinder();
  TvtSignatureFinder(const TvtSignatureFinder&) = delete;
  TvtSignatureFinder& operator=(const TvtSignatureFinder&) = delete;

  // The chunk that holds pos (Start <= pos < End; an empty chunk with End = pos at or past the
  // end of the file); signatures before pos may be in it. Valid until the next call. Positions
  // should only grow: chunks before pos's are given up, and going back reads them again. A
  // failed read raises here.
  const TvtSignatureChunk& At(uint64_t pos);

  const uint64_t Size;

 private:
  // Reads the bytes of [start, end) and those after it that a signature may need, and finds
  // the signatures starting in it; through the stream, or with readAt on the helper.
  void Search(uint64_t start, uint64_t end, TvtSignatureChunk& out, bool ahead);
  void Run();

  TStream& stream_;
  ReadAtFn readAt_;
  std::vector<uint8_t> buffer_;   // the user's thread's (reads through the stream)
  std::vector<uint32_t> marks_;
  TvtSignatureChunk own_;

  // Reading ahead: chunk k is [k x kAheadChunk, (k + 1) x kAheadChunk).
  std::vector<uint8_t> aheadBuffer_;  // the helper's
  std::vector<uint32_t> aheadMarks_;
  int64_t lastChunk_ = -1;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<TvtSignatureChunk> ready_;  // in chunk order; the front is the user's
  size_t waiting_ = 0;                    // signatures in ready_
  int64_t want_ = 0;                      // the user's chunk
  int64_t next_ = 0;                      // the next chunk the helper searches
  int64_t searching_ = -1;                // the chunk the helper is on
  uint64_t generation_ = 0;               // grows when the user goes back
  bool stop_ = false;
  std::thread helper_;
};

}  // namespace vt
