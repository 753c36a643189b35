// Deciding the colour model from the frame and the recognised APP segments.
#include "jpeg/parser.h"

namespace vt {

int TkelBaseJpegParser::GetColorModel() const {
  if (!FrameSeen) return 0;
  if (ForcedColorModel != 0) return ForcedColorModel;
  int model = 0;
  switch (ComponentCount) {
    case 1: model = cmGray; break;
    case 2: model = cmGrayAlpha; break;
    case 3: model = cmYCbCr; break;
    case 4: model = cmYCCK; break;
    default: model = 0;
  }
  if (HasJFIF && (ComponentCount == 1 || ComponentCount == 3)) return model;
  if (HasAdobe) {
    switch (AdobeTransform) {
      case 0:
        if (ComponentCount == 3) return cmRGB;
        if (ComponentCount == 4) return cmCMYK;
        return model;
      case 1: return cmYCbCr;
      case 2: return cmYCCK;
      default: return model;
    }
  }
  if (HasG3Fax) return cmG3Fax;
  if (MaxH == 1 && MaxV == 1) {
    if (ComponentCount == 3) model = cmRGB;
    if (ComponentCount == 4) model = cmCMYK;
  }
  const std::string& ids = ComponentIds;
  if (ComponentCount == 3 && ids.size() >= 3) {
    const auto b = [&](int i) { return static_cast<uint8_t>(ids[static_cast<size_t>(i)]); };
    if ((b(0) == 0 && b(1) == 1 && b(2) == 2) || (b(0) == 1 && b(1) == 2 && b(2) == 3)) return cmYCbCr;
    if (ids.compare(0, 3, "RGB") == 0) return cmRGB;
    if (ids.compare(0, 3, "YCc") == 0) return cmYCc;
    return model;
  }
  if (ComponentCount == 4 && ids.size() >= 4) {
    const auto b = [&](int i) { return static_cast<uint8_t>(ids[static_cast<size_t>(i)]); };
    if (b(0) == 1 && b(1) == 2 && b(2) == 3 && b(3) == 4) return HasICCProfile ? cmFourComponentICC : cmFourComponent;
    if (ids.compare(0, 4, "RGBA") == 0) return cmRGBA;
    if (ids.compare(0, 4, "YCcA") == 0) return cmYCcA;
  }
  return model;
}

}  // namespace vt
