// The MCU layout of a frame: the one rule by which the decoder lays out each scan, the writer its
// scan, the document its grid of MCUs and vantrelle-cli info its "mcu" key.
#pragma once

#include <cstdint>

namespace vt {

class TkelBaseJpegParser;

struct TkelMcuLayout {
  int32_t Width = 0;   // pixels
  int32_t Height = 0;
  int32_t Cols = 0;    // MCUs across the frame
  int32_t Rows = 0;    // MCUs down (0 while the frame's height is to come from a DNL segment)
  bool operator==(const TkelMcuLayout&) const = default;
};

// The MCU of a scan of a frame of width x height pixels whose largest sampling factors are maxH
// and maxV, holding count components; h and v are the sampling factors of the component when it
// is one. A scan of several components interleaves them in MCUs of maxH x 8 by maxV x 8 pixels;
// a scan of one codes its blocks one by one: the MCU is one of its blocks, (maxH / h) x 8 by
// (maxV / v) x 8 pixels. height 0 gives no rows.
TkelMcuLayout ScanMcuLayout(int32_t width, int32_t height, int32_t maxH, int32_t maxV, int32_t count, int32_t h,
                            int32_t v);

// The MCU of the frame: that of a scan of all its components, which a sequential interleaved
// scan and the restored baseline file use (a one-component frame: 8 x 8). In a progressive file
// it is the MCU of the interleaved DC scans, while each AC scan codes one component's blocks.
// Empty without a frame header.
TkelMcuLayout FrameMcuLayout(const TkelBaseJpegParser& parser);

}  // namespace vt
