// One run of APPn/COM segments through the handler registry, as the parser hands it over
// (FF, marker, length, data ...; the last segment may be short), then the post thumbnails the
// handlers found, resolved against the same bytes, and the sort the viewer applies.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/stream.h"
#include "thumbs/jpeg_thumbs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  // The first byte picks the collection's options; the rest is the run.
  const bool allMPImages = (data[0] & 1) != 0;
  std::vector<uint8_t> run(data + 1, data + size);
  vt::TkelJpegThumbs thumbs(allMPImages);
  thumbs.ProcessAppBlock(2, run.data(), static_cast<int32_t>(run.size()));
  vt::TTempMemoryStream stream;
  stream.SetPointer(run.data(), static_cast<int64_t>(run.size()));
  thumbs.ResolvePostThumbs(stream, 0);
  thumbs.SortThumbsByArea();
  return 0;
}
