#include "jpeg/bit_writer.h"

#include <cstring>

namespace vt {

TkelBitWriter::TkelBitWriter(TStream& stream, std::vector<uint8_t>& buffer) : stream_(stream) {
  if (buffer.size() < static_cast<size_t>(kBufferSize)) buffer.resize(kBufferSize);
  data_ = buffer.data();
}

void TkelBitWriter::WriteBytes(const uint8_t* bytes, size_t count) {
  while (count > 0) {
    if (fill_ >= kBufferSize) FlushBuffer();
    size_t n = static_cast<size_t>(kBufferSize - fill_);
    if (n > count) n = count;
    std::memcpy(data_ + fill_, bytes, n);
    fill_ += static_cast<int>(n);
    bytes += n;
    count -= n;
  }
}

void TkelBitWriter::EmitWord(uint32_t word) {
  if (fill_ > kBufferSize - 8) FlushBuffer();
  EmitStuffed(static_cast<uint8_t>(word >> 24));
  EmitStuffed(static_cast<uint8_t>(word >> 16));
  EmitStuffed(static_cast<uint8_t>(word >> 8));
  EmitStuffed(static_cast<uint8_t>(word));
}

void TkelBitWriter::PadBits() {
  if (accBits_ % 8 != 0) {
    const int pad = 8 - accBits_ % 8;
    acc_ = (acc_ << pad) | ((1u << pad) - 1);
    accBits_ += pad;
  }
  if (fill_ > kBufferSize - 10) FlushBuffer();
  while (accBits_ >= 8) {
    accBits_ -= 8;
    EmitStuffed(static_cast<uint8_t>(acc_ >> accBits_));
  }
  acc_ = 0;
}

void TkelBitWriter::TakeTail(uint32_t& bits, int& count) {
  if (fill_ > kBufferSize - 10) FlushBuffer();
  while (accBits_ >= 8) {
    accBits_ -= 8;
    EmitStuffed(static_cast<uint8_t>(acc_ >> accBits_));
  }
  count = accBits_;
  bits = static_cast<uint32_t>(acc_) & ((1u << count) - 1);
  acc_ = 0;
  accBits_ = 0;
}

void TkelBitWriter::AppendEntropyData(const uint8_t* data, size_t size, uint32_t tailBits, int tailCount) {
  size_t i = 0;
  // Four data bytes at a time while none of them is 0xFF (so none is followed by a stuffed 0).
  while (i + 4 <= size) {
    const uint32_t word = (uint32_t{data[i]} << 24) | (uint32_t{data[i + 1]} << 16) | (uint32_t{data[i + 2]} << 8) | data[i + 3];
    const uint32_t inverted = ~word;
    if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {
      PutCode(word, 32);
      i += 4;
      continue;
    }
    const uint8_t b = data[i++];
    if (b == 0xFF) ++i;  // the 0x00 stuffed after it
    PutCode(b, 8);
  }
  while (i < size) {
    const uint8_t b = data[i++];
    if (b == 0xFF) ++i;
    PutCode(b, 8);
  }
  PutCode(tailBits, tailCount);
}

void TkelBitWriter::FlushBuffer() {
  if (fill_ > 0) stream_.WriteBuffer(data_, fill_);
  flushed_ += fill_;
  fill_ = 0;
}

}  // namespace vt
