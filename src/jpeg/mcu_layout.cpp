#include "jpeg/mcu_layout.h"

#include "jpeg/parser.h"

namespace vt {

namespace {

int32_t CeilDiv(int64_t a, int32_t b) { return b > 0 && a > 0 ? static_cast<int32_t>((a + b - 1) / b) : 0; }

}  // namespace

TkelMcuLayout ScanMcuLayout(int32_t width, int32_t height, int32_t maxH, int32_t maxV, int32_t count, int32_t h,
                            int32_t v) {
  TkelMcuLayout mcu;
  if (count <= 0 || maxH <= 0 || maxV <= 0) return mcu;
  if (count == 1) {
    mcu.Width = h > 0 ? (maxH / h) * 8 : 8;
    mcu.Height = v > 0 ? (maxV / v) * 8 : 8;
  } else {
    mcu.Width = maxH * 8;
    mcu.Height = maxV * 8;
  }
  mcu.Cols = CeilDiv(width, mcu.Width);
  mcu.Rows = CeilDiv(height, mcu.Height);
  return mcu;
}

TkelMcuLayout FrameMcuLayout(const TkelBaseJpegParser& parser) {
  if (!parser.FrameSeen || parser.ComponentCount < 1) return {};
  const TkelFrameComponent& first = parser.FrameComponents[0];
  return ScanMcuLayout(parser.Width, parser.Height, parser.MaxH, parser.MaxV, parser.ComponentCount, first.H,
                       first.V);
}

}  // namespace vt
