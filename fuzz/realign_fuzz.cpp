// The repair of arbitrary bytes: decoded as every open decodes them (the offsets recorded, the
// embedded thumbnails collected), the restart intervals placed by counting, and then the
// automatic realignment, which searches the data for intact runs, places and colours them. The
// picture is then rendered from the repaired blocks. A lying frame size is capped as the other
// targets cap it.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/stream.h"
#include "jpeg/jpeg_constants.h"
#include "repair/repair_report.h"
#include "source/picture_decode.h"
#include "thumbs/jpeg_with_thumbs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vt::TTempMemoryStream stream;
  stream.SetPointer(data, static_cast<int64_t>(size));
  vt::TkelJpegWithThumbs image(true, 0);
  vt::repair::TRepairReport report;
  vt::DecodePicture(image, nullptr, stream, 0, vt::pfRecordSegments | vt::pfNoRender, vt::TvtRepair::Auto, &report);
  if (int64_t(image.Width) * image.Height > 4 * 1024 * 1024) return 0;
  std::unique_ptr<vt::TBitmap32> bitmap;
  image.Render(bitmap, true, vt::vmColor);
  return 0;
}
