// The image forms of the writer's operations: the state lives in the image's WriterState.
#include "jpeg/image.h"
#include "jpeg/writer.h"

namespace vt {

namespace {

TkelJpegWriterState& StateOf(TkelJpegImage& image) {
  if (!image.WriterState) image.WriterState = std::make_unique<TkelJpegWriterState>();
  return *image.WriterState;
}

}  // namespace

const TkelWriterComponentTable& PrepareWriter(TkelJpegImage& image) {
  return PrepareWriter(static_cast<const TkelBaseJpegParser&>(image), StateOf(image));
}

bool WriteBaselineJpeg(TkelJpegImage& image, TStream& stream, const TBitmap32* bitmap,
                       const TkelAlphaComponentData* selection) {
  return WriteBaselineJpeg(static_cast<TkelBaseJpegParser&>(image), StateOf(image), stream, bitmap, selection);
}

bool HasMissingBlocks(TkelJpegImage& image) {
  return HasMissingBlocks(static_cast<const TkelBaseJpegParser&>(image), StateOf(image));
}

}  // namespace vt
