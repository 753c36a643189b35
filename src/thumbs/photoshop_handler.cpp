#include "thumbs/photoshop_handler.h"

#include <cstring>

#include "jpeg/jpeg_constants.h"
#include "jpeg/markers.h"

namespace vt {

namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool KnownSignature(const uint8_t* p) {
  static const char* const kSignatures[] = {"8BIM", "PHUT", "aSeM", "gHgA", "RSCD"};
  for (const char* s : kSignatures)
    if (std::memcmp(p, s, 4) == 0) return true;
  return false;
}

}  // namespace

bool TkelJpegThumbPhotoshopHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t,
                                              int32_t n) {
  return marker == mkAPP13 && n > 13 && std::memcmp(data, "Photoshop 3.0", 13) == 0;
}

void TkelJpegThumbPhotoshopHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t,
                                               int32_t n) {
  if (n >= 15) Owner.AppendData(14, data + 14, n - 14);
}

void TkelJpegThumbPhotoshopHandler::Finish() {
  const uint8_t* base = Owner.JoinedData();
  const int64_t total = Owner.JoinedLength();
  int64_t pos = 0;
  for (;;) {
    // Signature, id, name length byte.
    if (total - pos < 7 || !KnownSignature(base + pos)) break;
    const uint32_t id = (uint32_t(base[pos + 4]) << 8) | base[pos + 5];
    const int64_t nameLength = base[pos + 6];
    int64_t at = pos + 7 + nameLength + ((nameLength % 2 == 0) ? 1 : 0);
    if (at + 4 > total) break;
    const int64_t size = Be32(base + at);
    at += 4;
    if (size > total - at) break;
    if ((id == 1033 || id == 1036) && total - at >= 28 && Be32(base + at) == 1) {
      const uint8_t colorModel = id == 1033 ? uint8_t(cmYCbCrSwapped) : uint8_t(0);
      AddJpegAt(base + at + 28, int32_t(at + 28), int32_t(total - at - 28), colorModel,
                std::string());
    }
    pos = at + size + (size % 2 != 0 ? 1 : 0);
  }
  TkelJpegThumbMultiHandler::Finish();
}

}  // namespace vt
