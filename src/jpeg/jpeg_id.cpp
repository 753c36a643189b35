#include "jpeg/jpeg_id.h"

#include <cstring>

#include "jpeg/markers.h"

namespace vt {

void TkelJpegID::AddSegment(int marker, int32_t length, const uint8_t* payload) {
  if (IsAppOrCom(marker)) return;
  if (!ScanHeader.empty()) return;
  if (length < 0 || length > 65533) return;
  if (Data.empty()) {
    Data.assign(65537, 0);
    Data[0] = 0xFF;
    Data[1] = mkSOI;
    Length = 2;
  }
  if (static_cast<int64_t>(Length) + length + 4 > static_cast<int64_t>(Data.size())) {
    const int64_t cap = ((static_cast<int64_t>(Length) + length + 65540) / 65537) * 65537 + 2;
    Data.resize(static_cast<size_t>(cap), 0);
  }
  uint8_t* d = Data.data() + Length;
  d[0] = 0xFF;
  d[1] = static_cast<uint8_t>(marker);
  d[2] = static_cast<uint8_t>((length + 2) >> 8);
  d[3] = static_cast<uint8_t>(length + 2);
  if (length > 0) std::memcpy(d + 4, payload, static_cast<size_t>(length));
  if (IsFrameMarker(marker) && length >= 5) {
    SofSizeOffset = Length + 5;  // FF, marker, 2 length bytes, precision
    Height = (payload[1] << 8) | payload[2];
    Width = (payload[3] << 8) | payload[4];
  }
  Length += length + 4;
  if (marker == mkSOS) ScanHeader.assign(d, d + length + 4);
}

std::unique_ptr<TkelJpegID> TkelJpegID::Clone() const { return std::make_unique<TkelJpegID>(*this); }

bool TkelJpegID::SameAs(const TkelJpegID& other) const {
  if (Length != other.Length || ScanHeader.size() != other.ScanHeader.size()) return false;
  if (ScanHeader != other.ScanHeader) return false;
  return Length == 0 || std::memcmp(Data.data(), other.Data.data(), static_cast<size_t>(Length)) == 0;
}

bool TkelJpegID::SameScanHeader(const uint8_t* bytes, int32_t length) const {
  if (length < 0 || static_cast<size_t>(length) != ScanHeader.size()) return false;
  return length == 0 || std::memcmp(bytes, ScanHeader.data(), static_cast<size_t>(length)) == 0;
}

void TkelJpegID::SetWidth(int32_t value) {
  if (value == Width || SofSizeOffset == 0) return;
  Width = value;
  Data[static_cast<size_t>(SofSizeOffset) + 2] = static_cast<uint8_t>(value >> 8);
  Data[static_cast<size_t>(SofSizeOffset) + 3] = static_cast<uint8_t>(value);
}

void TkelJpegID::SetHeight(int32_t value) {
  if (value == Height || SofSizeOffset == 0) return;
  Height = value;
  Data[static_cast<size_t>(SofSizeOffset)] = static_cast<uint8_t>(value >> 8);
  Data[static_cast<size_t>(SofSizeOffset) + 1] = static_cast<uint8_t>(value);
}

}  // namespace vt
