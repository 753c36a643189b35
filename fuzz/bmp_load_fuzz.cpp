// The BMP loader on arbitrary bytes; a bitmap it accepts is written back and read again, and
// must come back the same size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/stream.h"
#include "bitmap/bitmap32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vt::TTempMemoryStream stream;
  stream.SetPointer(data, static_cast<int64_t>(size));
  vt::TBitmap32 bitmap;
  try {
    bitmap.LoadFromStream(stream);
  } catch (const vt::EBitmapError&) {
    return 0;
  }
  vt::TMemoryStream copy;
  bitmap.SaveToStream(copy);
  copy.SetPosition(0);
  vt::TBitmap32 again;
  again.LoadFromStream(copy);
  if (again.Width() != bitmap.Width() || again.Height() != bitmap.Height()) std::abort();
  return 0;
}
