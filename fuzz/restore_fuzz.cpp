// Restores arbitrary bytes: load as the document does (segments recorded, no rendering), then
// write the baseline file with a small background bitmap and a selection of MCU groups. The
// memory a lying frame size may cost is bounded by capping the declared area.
#include <cstddef>
#include <cstdint>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vt::TTempMemoryStream stream;
  stream.SetPointer(data, static_cast<int64_t>(size));
  vt::TkelJpegImage image(0);
  image.LoadFromStream(stream, vt::pfRecordSegments | vt::pfNoRender, 0);
  // Writing visits every MCU of the frame: keep the fuzzer's iterations short.
  if (int64_t(image.Width) * image.Height > 4 * 1024 * 1024) return 0;
  vt::TBitmap32 background(7, 5);
  background.Clear(vt::Color32(10, 200, 90));
  vt::TkelAlphaComponentData selection;
  selection.SetColumns(1);
  selection.SetRows(1);
  *selection.WritableCell(0, 0) = static_cast<uint8_t>(size);
  vt::TMemoryStream out;
  vt::WriteBaselineJpeg(image, out, (size & 2) ? &background : nullptr, (size & 4) ? &selection : nullptr);
  return 0;
}
