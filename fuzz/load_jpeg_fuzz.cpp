// Loads arbitrary bytes the way the viewer does: the decoder with its thumbnail collection,
// segment recording, rendering, then the MCU offsets and a re-decode from the middle.
#include <cstddef>
#include <cstdint>

#include "base/stream.h"
#include "jpeg/jpeg_constants.h"
#include "thumbs/jpeg_with_thumbs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vt::TTempMemoryStream stream;
  stream.SetPointer(data, static_cast<int64_t>(size));
  vt::TkelJpegWithThumbs image(true, (size & 1) ? 0 : 4096);
  image.LoadFromStream(stream, vt::pfRecordSegments);
  (void)image.DecodedPercent();
  image.Thumbs().SortThumbsByArea();
  return 0;
}
