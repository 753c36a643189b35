// The frame header (SOFn): size, components and their sampling factors.
#include "jpeg/parser.h"

namespace vt {

namespace {

bool ValidFactor(int f) { return f == 1 || f == 2 || f == 4 || f == 8; }

}  // namespace

int TkelBaseJpegParser::ParseFrame(int marker, const uint8_t* p, int32_t n) {
  Process = marker;
  if (n < 6) return jrBadData;
  Precision = p[0];
  const int height = (p[1] << 8) | p[2];
  const int width = (p[3] << 8) | p[4];
  Height = height;
  HeightFromDNL = height == 0;
  if (width == 0) return jrBadData;
  Width = width;
  const int count = p[5];
  if (count < 1 || count > 4) return jrBadData;
  ComponentCount = count;
  int32_t pos = 6;
  for (int i = 0; i < count; ++i) {
    if (n - pos < 3) return jrBadData;
    TkelFrameComponent& fc = FrameComponents[i];
    fc.Id = p[pos];
    ComponentIds.push_back(static_cast<char>(p[pos]));
    fc.V = p[pos + 1] & 0x0F;
    fc.H = p[pos + 1] >> 4;
    if (!ValidFactor(fc.V) || !ValidFactor(fc.H)) return jrBadData;
    if (fc.V > MaxV) MaxV = fc.V;
    if (fc.H > MaxH) MaxH = fc.H;
    fc.QuantTable = p[pos + 2];
    if (fc.QuantTable > 3) return jrBadData;
    pos += 3;
  }
  if (pos != n) return jrBadData;
  FrameSeen = true;
  KeepsCoefficients = KeepCoefficients();
  return jrOK;
}

}  // namespace vt
