#include "source/headers_only.h"

#include "jpeg/jpeg_constants.h"
#include "jpeg/markers.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {

TvtHeadersOnlyLoad LoadHeadersOnly(TStream& stream, TkelJpegWithThumbs& image) {
  TvtHeadersOnlyLoad load;
  uint8_t head[3] = {};
  stream.SetPosition(0);
  load.StartsWithJpeg = IsStartOfImage(head, stream.Read(head, 3));
  if (!load.StartsWithJpeg) return load;
  stream.SetPosition(0);
  load.Result = image.LoadFromStream(stream, pfHeadersOnly);
  load.ItemCertain = image.Thumbs().ThumbCount() > 0;
  return load;
}

int OrientationWithoutPixels(bool hasPixels, int32_t width, int32_t height, bool frameSeen, int32_t frameWidth,
                             int32_t frameHeight) {
  if (!hasPixels || !frameSeen) return 0;
  if (frameWidth < width && frameHeight < height) return 0;
  return -1;
}

}  // namespace vt
