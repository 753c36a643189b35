// The baseline writer on whatever the decoder made of fuzzed bytes, with a background bitmap and
// a selection chosen by the input: the written file must read back completely, with the same
// frame size, in our own decoder and in libjpeg (a test oracle here only). Any disagreement
// aborts, so the fuzzer keeps the input.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>  // after <cstdio>: it uses FILE and size_t
#include <jerror.h>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/writer.h"

namespace {

struct TOracleError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

[[noreturn]] void OnOracleError(j_common_ptr info) {
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  std::fprintf(stderr, "libjpeg rejects the written file: %s\n", text);
  std::longjmp(reinterpret_cast<TOracleError*>(info->err)->Jump, 1);
}

void OnOracleWarning(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace messages
  // The writer copies the source's APPn segments as they are: what libjpeg says about their
  // contents (an unknown JFIF revision, an odd Adobe transform, a broken ICC profile) is no
  // fault of the written file.
  const int code = info->err->msg_code;
  if (code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM || code == JWRN_BOGUS_ICC) return;
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  std::fprintf(stderr, "libjpeg warns about the written file: %s\n", text);
  std::abort();
}

// Decodes the whole file with libjpeg; aborts on any error or warning, or a size mismatch.
void ReadWithLibjpeg(const uint8_t* bytes, size_t size, int32_t width, int32_t height) {
  jpeg_decompress_struct info{};
  TOracleError error{};
  info.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = OnOracleError;
  error.Manager.emit_message = OnOracleWarning;
  if (setjmp(error.Jump)) {
    jpeg_destroy_decompress(&info);
    std::abort();
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  if (int32_t(info.image_width) != width || int32_t(info.image_height) != height) {
    std::fprintf(stderr, "libjpeg reads %u x %u, the image is %d x %d\n", info.image_width, info.image_height,
                 width, height);
    std::abort();
  }
  info.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&info);
  std::vector<uint8_t> row(size_t(info.output_width) * size_t(info.output_components));
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vt::TTempMemoryStream stream;
  stream.SetPointer(data, static_cast<int64_t>(size));
  vt::TkelJpegImage image(0);
  image.LoadFromStream(stream, vt::pfRecordSegments | vt::pfNoRender, 0);
  // Writing and reading back visit every MCU of the frame: keep the iterations short.
  if (int64_t(image.Width) * image.Height > 1024 * 1024) return 0;
  vt::TBitmap32 background(9, 4);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 9; ++x) background.ScanLine(y)[x] = vt::Color32(uint8_t(x * 28), uint8_t(y * 60), uint8_t(size));
  vt::TkelAlphaComponentData selection;
  selection.SetColumns(1);
  selection.SetRows(1);
  *selection.WritableCell(0, 0) = static_cast<uint8_t>(size >> 3);
  vt::TMemoryStream out;
  if (!vt::WriteBaselineJpeg(image, out, (size & 2) ? &background : nullptr, (size & 4) ? &selection : nullptr))
    return 0;
  const auto* written = static_cast<const uint8_t*>(out.Memory());
  const size_t writtenSize = size_t(out.GetSize());

  vt::TTempMemoryStream back;
  back.SetPointer(written, int64_t(writtenSize));
  vt::TkelJpegImage again(0);
  const int rc = again.LoadFromStream(back, vt::pfNoRender, 0);
  if (rc != vt::jrOK || again.DataErrors || again.Width != image.Width || again.Height != image.Height ||
      again.DecodedPercent() != 100) {
    std::fprintf(stderr, "our decoder reads the written file as %d (%d x %d, %d%%), the image is %d x %d\n", rc,
                 again.Width, again.Height, again.DecodedPercent(), image.Width, image.Height);
    std::abort();
  }
  // libjpeg reads no frame wider or higher than 65500 pixels (JPEG_MAX_DIMENSION) where the format
  // allows 65535; the writer keeps the source's frame width, so such a file is checked by our
  // decoder alone.
  if (image.Width > JPEG_MAX_DIMENSION || image.Height > JPEG_MAX_DIMENSION) return 0;
  ReadWithLibjpeg(written, writtenSize, image.Width, image.Height);
  return 0;
}
