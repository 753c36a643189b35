// How much of the image decoded, from the per-component MCU counts.
#include <cfenv>
#include <cmath>

#include "jpeg/parser.h"

namespace vt {

int TkelBaseJpegParser::DecodedPercent() const {
  if (!FrameSeen || ComponentCount <= 0) return 0;
  double sum = 0;
  bool incomplete = false;
  bool anyDecoded = false;
  for (int i = 0; i < ComponentCount; ++i) {
    const TkelFrameComponent& fc = FrameComponents[i];
    const bool complete = fc.ExpectedMCUs > 0 && fc.DecodedMCUs > 0 && fc.DecodedMCUs >= fc.ExpectedMCUs;
    if (!complete) incomplete = true;
    if (fc.DecodedMCUs > 0) anyDecoded = true;
    if (fc.ExpectedMCUs > 0 && fc.DecodedMCUs > 0)
      sum += static_cast<double>(fc.DecodedMCUs) / fc.ExpectedMCUs * 100.0;
  }
  // Nearest integer, ties to even.
  const double avg = sum / ComponentCount;
  const double fl = std::floor(avg);
  const double frac = avg - fl;
  double rounded = fl;
  if (frac > 0.5 || (frac == 0.5 && std::fmod(fl, 2.0) != 0)) rounded = fl + 1;
  int result = rounded > 2e9 ? 2000000000 : static_cast<int>(rounded);
  if (result == 100 && incomplete) result = 99;
  if (result == 0 && anyDecoded) result = 1;
  return result;
}

}  // namespace vt
