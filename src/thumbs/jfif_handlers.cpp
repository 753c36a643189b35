#include "thumbs/jfif_handlers.h"

#include <cstring>

#include "jpeg/markers.h"

namespace vt {

bool TkelJpegThumbJFIFHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == mkAPP0 && n > 5 && std::memcmp(data, "JFIF\0", 5) == 0;
}

void TkelJpegThumbJFIFHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t,
                                          int32_t n) {
  if (n >= 15 && data[12] != 0 && data[13] != 0)
    AddRGBThumb(data + 14, 14, n - 14, data[12], data[13], std::string());
  ScanForJpegs(data, n);
}

bool TkelJpegThumbJFXXHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == mkAPP0 && n > 5 && std::memcmp(data, "JFXX\0", 5) == 0;
}

void TkelJpegThumbJFXXHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t,
                                          int32_t n) {
  if (n >= 10) {
    switch (data[5]) {
      case 0x10:
        if (IsStartOfImage(data + 6, n - 6))
          AddJpegAt(data + 6, 6, n - 6, 0, "Jpg");
        break;
      case 0x11:
        if (data[6] != 0 && data[7] != 0) AddPaletteThumb(data + 8, 8, n - 8, data[6], data[7], "Bmp8");
        break;
      case 0x13:
        if (data[6] != 0 && data[7] != 0) AddRGBThumb(data + 8, 8, n - 8, data[6], data[7], "Bmp32");
        break;
      default:
        break;
    }
  }
  ScanForJpegs(data, n);
}

}  // namespace vt
