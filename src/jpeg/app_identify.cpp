// Recognising the APP segments that decide the colour model: JFIF, Adobe, G3FAX, ICC_PROFILE.
#include <cstring>

#include "jpeg/markers.h"
#include "jpeg/parser.h"

namespace vt {

void TkelBaseJpegParser::IdentifyAppSegment(int marker, const uint8_t* p, int32_t n) {
  if (marker == mkAPP0 && n >= 14 && std::memcmp(p, "JFIF\0", 5) == 0) {
    HasJFIF = true;
  } else if (marker == mkAPP14 && n == 12 && std::memcmp(p, "Adobe\0", 6) == 0) {
    HasAdobe = true;
    AdobeTransform = p[11];
  } else if (marker == mkAPP1 && n > 5 && std::memcmp(p, "G3FAX", 5) == 0) {
    HasG3Fax = true;
  } else if (marker == mkAPP2 && n > 11 && std::memcmp(p, "ICC_PROFILE", 11) == 0) {
    HasICCProfile = true;
  }
}

}  // namespace vt
