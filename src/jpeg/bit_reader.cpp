// Loading entropy-coded bytes into the bit accumulator, meeting markers and the end of the
// data, and giving back what was read ahead.
#include <bit>

#include "jpeg/markers.h"

#include "jpeg/bit_reader.h"

namespace vt {

int TkelBaseJpegParser::FillBits() {
  while (accBits_ <= 56 && pendingCode_ < 0) {
    int b;
    if (bufEnd_ - bufCur_ >= 2 && Position + 2 <= readLimit_) {
      b = bufCur_[0];
      if (b != 0xFF) {
        ++bufCur_;
        ++Position;
        acc_ |= static_cast<uint64_t>(b) << (56 - accBits_);
        accBits_ += 8;
        stuffedMask_ <<= 1;
        continue;
      }
      const int c = bufCur_[1];
      bufCur_ += 2;
      Position += 2;
      if (c == 0) {
        acc_ |= static_cast<uint64_t>(0xFF) << (56 - accBits_);
        accBits_ += 8;
        stuffedMask_ = (stuffedMask_ << 1) | 1u;
      } else {
        pendingCode_ = c;
        pendingBytes_ = 2;
      }
      continue;
    }
    b = ReadByte();
    if (b < 0) {
      pendingCode_ = 256;
      pendingBytes_ = 0;
      break;
    }
    if (b != 0xFF) {
      acc_ |= static_cast<uint64_t>(b) << (56 - accBits_);
      accBits_ += 8;
      stuffedMask_ <<= 1;
      continue;
    }
    const int c = ReadByte();
    if (c < 0) {
      pendingCode_ = 256;
      pendingBytes_ = 1;
    } else if (c == 0) {
      acc_ |= static_cast<uint64_t>(0xFF) << (56 - accBits_);
      accBits_ += 8;
      stuffedMask_ = (stuffedMask_ << 1) | 1u;
    } else {
      pendingCode_ = c;
      pendingBytes_ = 2;
    }
  }
  return pendingCode_ < 0 ? jrOK : pendingCode_;
}

int TkelBaseJpegParser::ReachPending() {
  // Everything held is used up; the marker (or the end) is where the next byte was needed.
  const int code = pendingCode_;
  reachedCode_ = code;
  acc_ = 0;
  accBits_ = 0;
  stuffedMask_ = 0;
  pendingCode_ = -1;
  pendingBytes_ = 0;
  if (code == 256 || code < 0) return jrEndOfData;
  if (IsRestartMarker(code) && RestartInterval > 0) return code;
  if (code == mkDNL && HeightFromDNL) return mkDNL;
  return jrBadData;
}

int64_t TkelBaseJpegParser::LookaheadBytes() const {
  const int whole = accBits_ >> 3;
  const uint32_t mask = whole >= 32 ? ~0u : ((1u << whole) - 1u);
  return whole + std::popcount(stuffedMask_ & mask) + pendingBytes_;
}

void TkelBaseJpegParser::ReturnLookahead() {
  const int64_t back = LookaheadBytes();
  if (back > 0) UnreadBytes(back);
  accBits_ &= 7;
  acc_ = accBits_ == 0 ? 0 : (acc_ & (~uint64_t{0} << (64 - accBits_)));
  stuffedMask_ = 0;
  pendingCode_ = -1;
  pendingBytes_ = 0;
}

void TkelBaseJpegParser::DropBits() {
  ReturnLookahead();
  acc_ = 0;
  accBits_ = 0;
}

}  // namespace vt
