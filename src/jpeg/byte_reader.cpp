// Reading bytes for the parser: an internal read buffer (the caller's size, or a small one
// that is given back to the stream before Parse returns), single-byte reads for the bit
// reader, markers and segment lengths.
#include <algorithm>
#include <cstring>

#include "jpeg/parser.h"

namespace vt {

namespace {

constexpr int32_t kReadHistory = 32;     // bytes kept before the buffer data for giving back
constexpr int32_t kInternalBuffer = 4096;  // read size when the caller asked for no buffer
// A run of stray bytes longer than the largest segment is no slip between two segments but
// lost structure; the parse ends there instead of reading on through the rest of the file.
constexpr int64_t kMaxStrayBytes = 65536;

}  // namespace

int TkelBaseJpegParser::ReadByteSlow() {
  if (!stream_ || Position >= readLimit_) return -1;
  if (bufCur_ < bufEnd_) {  // only reachable through the limit test above
    ++Position;
    return *bufCur_++;
  }
  const int32_t capacity = bufferSize_ > 0 ? bufferSize_ : kInternalBuffer;
  if (buffer_.size() != static_cast<size_t>(capacity + kReadHistory)) {
    buffer_.assign(static_cast<size_t>(capacity + kReadHistory), 0);
    bufCur_ = bufEnd_ = validStart_ = buffer_.data() + kReadHistory;
  }
  uint8_t* data = buffer_.data() + kReadHistory;
  // Keep the last bytes read so that a look-ahead can be given back after the refill.
  const int64_t keep = std::min<int64_t>(kReadHistory, bufEnd_ - validStart_);
  if (keep > 0) std::memmove(data - keep, bufEnd_ - keep, static_cast<size_t>(keep));
  validStart_ = data - keep;
  bufferStreamPos_ = streamPos_;
  const int64_t n = stream_->Read(data, capacity);
  bufCur_ = data;
  bufEnd_ = data + (n > 0 ? n : 0);
  if (n <= 0) return -1;
  streamPos_ += n;
  ++Position;
  return *bufCur_++;
}

int64_t TkelBaseJpegParser::ReadBytes(uint8_t* dst, int64_t count) {
  if (count <= 0 || !stream_ || Position >= readLimit_) return 0;
  int64_t done = 0;
  while (done < count) {
    const int64_t avail = bufEnd_ - bufCur_;
    if (avail > 0) {
      const int64_t take = std::min(avail, count - done);
      std::memcpy(dst + done, bufCur_, static_cast<size_t>(take));
      bufCur_ += take;
      Position += take;
      done += take;
      continue;
    }
    // One byte through the refill path, then the rest from the new buffer.
    const int64_t savedLimit = readLimit_;
    readLimit_ = INT64_MAX;  // the limit applies to where a read starts
    const int b = ReadByteSlow();
    readLimit_ = savedLimit;
    if (b < 0) break;
    dst[done++] = static_cast<uint8_t>(b);
  }
  return done;
}

void TkelBaseJpegParser::EmptyReadBuffer() {
  const int64_t unread = bufEnd_ - bufCur_;
  if (unread > 0 && stream_) {
    streamPos_ -= unread;
    stream_->Seek(streamPos_, soBeginning);
  }
  if (!buffer_.empty()) bufCur_ = bufEnd_ = validStart_ = buffer_.data() + kReadHistory;
}

void TkelBaseJpegParser::DropReadBuffer() {
  if (!buffer_.empty()) bufCur_ = bufEnd_ = validStart_ = buffer_.data() + kReadHistory;
}

void TkelBaseJpegParser::UnreadBytes(int64_t count) {
  if (count <= 0) return;
  if (bufCur_ - validStart_ >= count) {
    bufCur_ -= count;
  } else {
    EmptyReadBuffer();
    streamPos_ -= count;
    if (stream_) stream_->Seek(streamPos_, soBeginning);
  }
  Position -= count;
}

void TkelBaseJpegParser::SeekToPosition(int64_t position) {
  DropReadBuffer();
  streamPos_ = StreamOrigin + position;
  if (stream_) stream_->Seek(streamPos_, soBeginning);
  Position = position;
}

void TkelBaseJpegParser::BeforeEvent() {
  if (bufferSize_ == 0) EmptyReadBuffer();
}

int TkelBaseJpegParser::ReadMarker(int& marker) {
  int b = ReadByte();
  if (b < 0) return jrEndOfData;
  if (b != 0xFF) {
    FlushAppBlock();
    DoSkippedByte(b);
    UnreadBytes(1);
    return jrBadData;
  }
  for (;;) {
    b = ReadByte();
    if (b < 0) {
      FlushAppBlock();
      DoSkippedByte(-1);
      return jrEndOfData;
    }
    if (b != 0x00 && b != 0xFF) break;
    FlushAppBlock();
    DoSkippedByte(b);
  }
  marker = b;
  return jrOK;
}

int TkelBaseJpegParser::ReadNextMarker(int& marker) {
  // Bytes that cannot start a marker are stray data left by damage: they are skipped up to
  // the next FF followed by a marker code, as libjpeg does. FF fill bytes are legal padding;
  // FF 00 is stuffed data, not a marker. Every stray byte is reported and is a data error.
  int64_t stray = 0;
  int b = ReadByte();
  for (;;) {
    if (b < 0) {
      if (stray > 0) DoSkippedByte(-1);
      return jrEndOfData;
    }
    if (b != 0xFF) {
      if (stray == 0) FlushAppBlock();
      DataErrors = true;
      DoSkippedByte(b);
      if (++stray > kMaxStrayBytes) return jrBadData;
      b = ReadByte();
      continue;
    }
    do {
      b = ReadByte();
      if (b < 0) {
        FlushAppBlock();
        DoSkippedByte(-1);
        return jrEndOfData;
      }
      if (b == 0xFF) {
        FlushAppBlock();
        DoSkippedByte(b);  // fill: the marker starts at the last FF
      }
    } while (b == 0xFF);
    if (b != 0x00) break;
    FlushAppBlock();
    DataErrors = true;
    DoSkippedByte(0xFF);
    DoSkippedByte(0x00);
    stray += 2;
    if (stray > kMaxStrayBytes) return jrBadData;
    b = ReadByte();
  }
  marker = b;
  return jrOK;
}

int TkelBaseJpegParser::ReadSegmentLength(int marker, int32_t& payloadLength) {
  const int b1 = ReadByte();
  const int b2 = b1 < 0 ? -1 : ReadByte();
  const int value = (b1 < 0 || b2 < 0) ? -1 : (b1 << 8) | b2;
  if (b1 < 0 || b2 < 0 || value < 2) {
    FlushAppBlock();
    DoSkippedByte(-1);
    DoSkippedByte(marker);
    if (b1 >= 0 && b2 < 0) DoSkippedByte(b1);
    if (b2 >= 0 && value < 2) DoSkippedByte(b2);
    return jrEndOfData;
  }
  payloadLength = value - 2;
  return jrOK;
}

}  // namespace vt
