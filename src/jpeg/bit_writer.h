// Output of the baseline writer: a 1,048,576-byte buffer written to a TStream whenever it is
// full, raw bytes for marker segments, and a bit packer for entropy-coded data that stuffs a
// 0x00 after every 0xFF and pads the last byte with 1 bits.
#pragma once

#include <cstdint>
#include <vector>

#include "base/stream.h"

namespace vt {

class TkelBitWriter {
 public:
  static constexpr int kBufferSize = 1048576;

  // buffer is the writer state's output buffer: sized to kBufferSize here on first use.
  TkelBitWriter(TStream& stream, std::vector<uint8_t>& buffer);

  void WriteByte(uint8_t b) {
    if (fill_ >= kBufferSize) FlushBuffer();
    data_[fill_++] = b;
  }
  void WriteWord(uint16_t w) {
    WriteByte(static_cast<uint8_t>(w >> 8));
    WriteByte(static_cast<uint8_t>(w));
  }
  void WriteBytes(const uint8_t* bytes, size_t count);

  // Appends the low `count` bits of `bits` (count 0 to 32), most significant first.
  void PutBits(uint32_t bits, int count) { PutCode(bits & static_cast<uint32_t>((uint64_t{1} << count) - 1), count); }

  // The same for bits that have nothing above their low `count` bits (count 0 to 32): the
  // encoder's codes and value bits.
  void PutCode(uint32_t bits, int count) {
    acc_ = (acc_ << count) | bits;
    accBits_ += count;
    if (accBits_ >= 32) {
      // The oldest 32 bits go out; without a 0xFF byte among them, as one big-endian word.
      accBits_ -= 32;
      const uint32_t word = static_cast<uint32_t>(acc_ >> accBits_);
      const uint32_t inverted = ~word;
      if (fill_ <= kBufferSize - 4 && ((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {
        data_[fill_] = static_cast<uint8_t>(word >> 24);
        data_[fill_ + 1] = static_cast<uint8_t>(word >> 16);
        data_[fill_ + 2] = static_cast<uint8_t>(word >> 8);
        data_[fill_ + 3] = static_cast<uint8_t>(word);
        fill_ += 4;
      } else {
        EmitWord(word);
      }
    }
  }

  // Completes the last byte with 1 bits and emits every pending byte.
  void PadBits();
  // Emits every whole pending byte and hands out the bits of the incomplete last one (count 0
  // to 7, in the low bits), which leave the writer: the end of a piece that another writer
  // continues (AppendEntropyData).
  void TakeTail(uint32_t& bits, int& count);
  // Continues the entropy-coded data with a piece that another writer wrote (its bytes, stuffed
  // as this writer stuffs them, then its tail bits from TakeTail): the same bytes as if this
  // writer had put the piece's bits itself.
  void AppendEntropyData(const uint8_t* data, size_t size, uint32_t tailBits, int tailCount);
  // Writes the buffer to the stream (stream errors propagate as exceptions).
  void FlushBuffer();
  // Bytes written to the stream so far plus bytes waiting in the buffer.
  int64_t BytesOut() const { return flushed_ + fill_; }
  int FillCount() const { return fill_; }

 private:
  // Four bytes with stuffing, flushing the buffer first when it may not hold them.
  void EmitWord(uint32_t word);
  void EmitStuffed(uint8_t b) {
    data_[fill_++] = b;
    if (b == 0xFF) data_[fill_++] = 0;
  }

  TStream& stream_;
  uint8_t* data_;
  int fill_ = 0;
  int64_t flushed_ = 0;
  uint64_t acc_ = 0;
  int accBits_ = 0;
};

}  // namespace vt
