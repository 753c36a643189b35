#include "thumbs/fpxr_handlers.h"

#include <cstring>

#include "jpeg/markers.h"

namespace vt {

namespace {

constexpr int32_t kStreamData = 13;

}  // namespace

bool TkelJpegThumbFPXR2Handler::IsFpxr(uint8_t marker, uint8_t wanted, const uint8_t* data,
                                      int32_t n) {
  return marker == wanted && n > 13 && std::memcmp(data, "FPXR\0", 5) == 0;
}

bool TkelJpegThumbFPXR2Handler::CanHandle(uint8_t marker, const uint8_t* data, int32_t,
                                          int32_t n) {
  return IsFpxr(marker, SegmentMarker(), data, n);
}

bool TkelJpegThumbFPXR4Handler::CanHandle(uint8_t marker, const uint8_t* data, int32_t,
                                          int32_t n) {
  return IsFpxr(marker, SegmentMarker(), data, n);
}

std::string TkelJpegThumbFPXR2Handler::GetCaption() { return std::to_string(Variant); }

bool TkelJpegThumbFPXR2Handler::CanContinue(uint8_t marker, const uint8_t* data,
                                            int32_t declaredLength, int32_t availableLength) {
  if (!TkelJpegThumbMultiHandler::CanContinue(marker, data, declaredLength, availableLength))
    return false;
  if (data[6] != Type) return false;
  if (Type != 2 || Variant == 2) return true;
  uint16_t index;
  std::memcpy(&index, data + 7, 2);
  return index == StreamIndex;
}

void TkelJpegThumbFPXR2Handler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t,
                                           int32_t n) {
  Type = data[6];
  std::memcpy(&StreamIndex, data + 7, 2);
  const int32_t remaining = n - kStreamData;
  const uint8_t* stream = data + kStreamData;
  if (Type == 2 && Variant == 0 && Owner.JoinedLength() == 0) {
    if (remaining > 51 && IsStartOfImage(stream + 47, remaining - 47))
      Variant = 1;
    else if (remaining > 4 && IsStartOfImage(stream, remaining))
      Variant = 2;
  }
  const int32_t skip = Variant == 1 ? 47 : 0;
  if (remaining - skip > 0)
    Owner.AppendData(kStreamData + skip, stream + skip, remaining - skip);
}

}  // namespace vt
