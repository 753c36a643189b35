// The entropy-coded data of a decoded image's scan, read again as bytes: where it starts and
// ends, the markers inside it, and the segments that its restart markers divide it into. The
// realignment reasons about the data with these facts before it decodes anything on trial.
#pragma once

#include <cstdint>
#include <vector>

#include "base/zeroed_block.h"
#include "jpeg/parser.h"

namespace vt::repair {

struct TMarkerAt {
  int64_t Pos = 0;  // Position of the FF byte
  int Code = 0;     // the marker code (0xD0..0xD7 for restart markers)
};

// One stretch of data between restart markers (or the scan start, or the data's end).
struct TSegment {
  int64_t Begin = 0;   // Position of the first data byte
  int64_t End = 0;     // Position of the FF of the marker after it, or the data's end
  int Marker = -1;     // the restart marker before it (0xD0..0xD7); -1 for the first segment
};

class TScanData {
 public:
  // Reads the data of the image's last scan from ScanDataOffset to the first end-of-image
  // marker (or a start-of-image or scan header under pfSearchStopsAtHeaders), or to the end of
  // the stream, at most kMaxRepairScanBytes. Empty when the image has no scan.
  explicit TScanData(TkelBaseJpegParser& image);

  int64_t Begin() const { return begin_; }
  int64_t End() const { return begin_ + static_cast<int64_t>(size_); }
  bool EndsAtImageEnd() const { return endsAtEoi_; }
  bool Empty() const { return size_ == 0; }
  // The byte at Position pos (0 outside the data).
  uint8_t At(int64_t pos) const {
    return pos >= begin_ && pos < End() ? block_.Data()[static_cast<size_t>(pos - begin_)] : 0;
  }
  // Every marker in the data (stuffed zeros and fill bytes are none), in order.
  const std::vector<TMarkerAt>& Markers() const { return markers_; }
  // The segments between restart markers, in order; one segment when there are none.
  const std::vector<TSegment>& Segments() const { return segments_; }
  // The last bit of the data that can hold entropy-coded bits before Position end: the bit
  // after them (end * 8, one byte less when the data ends with a stuffed FF 00).
  TkelBitPos DataEndBit(int64_t end) const;
  // File offset of Position 0 (clusters are counted from the start of the file).
  int64_t FileOrigin() const { return fileOrigin_; }
  // True when [from, to) holds a run of at least minRun zero bytes.
  bool HasZeroRun(int64_t from, int64_t to, int minRun) const;

 private:
  int64_t begin_ = 0;
  int64_t fileOrigin_ = 0;
  bool endsAtEoi_ = false;
  TZeroedBlock block_;  // the bytes read, size_ of them
  size_t size_ = 0;
  std::vector<TMarkerAt> markers_;
  std::vector<TSegment> segments_;
};

}  // namespace vt::repair
