// ScanForPngs: PNG pictures inside a handler's data, decoded through libpng. Load errors are
// ignored. The declared size is bounded by what the compressed bytes can possibly hold.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "base/limits.h"
#include "thumbs/thumb_handler.h"

namespace vt {

namespace {

struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
  if (count > src->size - src->pos) png_error(png, "PNG data ends early");
  std::memcpy(out, src->data + src->pos, count);
  src->pos += count;
}

void IgnoreWarning(png_structp, png_const_charp) {}

// Load errors are expected on damaged data: leave quietly through the jump buffer.
[[noreturn]] void QuietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// What the data can describe, and a hard cap (base/limits.h).
bool PngSizeAcceptable(png_uint_32 width, png_uint_32 height, size_t bytes) {
  const uint64_t pixels = uint64_t(width) * height;
  if (width == 0 || height == 0 || width > 0x7FFFFFF || height > 0x7FFFFFF) return false;
  if (pixels > uint64_t(kFullFramePixels)) return false;
  return pixels <= uint64_t(bytes) * uint64_t(kPngPixelsPerDataByte) || pixels <= uint64_t(kPngAnyPixels);
}

// The libpng part keeps everything it changes after setjmp in *job (memory, not locals), so a
// longjmp on a load error leaves a state that the caller can free.
struct PngJob {
  PngSource src;
  png_structp png = nullptr;
  png_infop info = nullptr;
  uint8_t* pixels = nullptr;
  png_bytep* rows = nullptr;
  png_uint_32 width = 0, height = 0;
};

bool RunPngJob(PngJob* job) {
  if (setjmp(png_jmpbuf(job->png))) return false;
  png_set_read_fn(job->png, &job->src, ReadFromMemory);
  png_read_info(job->png, job->info);
  job->width = png_get_image_width(job->png, job->info);
  job->height = png_get_image_height(job->png, job->info);
  if (!PngSizeAcceptable(job->width, job->height, job->src.size))
    png_error(job->png, "PNG size out of bounds");
  png_set_expand(job->png);
  png_set_strip_16(job->png);
  png_set_gray_to_rgb(job->png);
  png_set_filler(job->png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(job->png);
  png_set_interlace_handling(job->png);
  png_read_update_info(job->png, job->info);
  if (png_get_rowbytes(job->png, job->info) != size_t(job->width) * 4)
    png_error(job->png, "unexpected row layout");
  job->pixels = static_cast<uint8_t*>(std::calloc(size_t(job->width) * job->height, 4));
  job->rows = static_cast<png_bytep*>(std::calloc(job->height, sizeof(png_bytep)));
  if (job->pixels == nullptr || job->rows == nullptr) png_error(job->png, "out of memory");
  for (png_uint_32 y = 0; y < job->height; ++y)
    job->rows[y] = job->pixels + size_t(y) * job->width * 4;
  png_read_image(job->png, job->rows);
  return true;
}

// Decodes one PNG at data; returns nullptr when it cannot.
std::unique_ptr<TBitmap32> LoadPng(const uint8_t* data, size_t size) {
  PngJob job;
  job.src = PngSource{data, size, 0};
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, IgnoreWarning);
  if (job.png == nullptr) return nullptr;
  job.info = png_create_info_struct(job.png);
  std::unique_ptr<TBitmap32> bitmap;
  if (job.info != nullptr && RunPngJob(&job)) {
    bitmap = std::make_unique<TBitmap32>();
    bitmap->SetSize(int32_t(job.width), int32_t(job.height));
    std::memcpy(bitmap->Bits(), job.pixels, size_t(job.width) * job.height * 4);  // B, G, R, A
    bitmap->MakeOpaque();
  }
  png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr);
  std::free(job.pixels);
  std::free(job.rows);
  return bitmap;
}

}  // namespace

void TkelJpegThumbHandler::ScanForPngs(const uint8_t* data, int32_t length) {
  if (data == nullptr || length <= 19) return;
  int32_t pos = 0;
  while (length > 20) {
    if (data[0] == 0x89 && data[1] == 0x50 && data[2] == 0x4E && data[3] == 0x47) {
      auto bitmap = LoadPng(data, size_t(length));
      if (bitmap && bitmap->Width() > 0 && bitmap->Height() > 0) {
        const int32_t w = bitmap->Width(), h = bitmap->Height();
        Owner.AddThumb(tkJpeg, pos, 0, w, h, 100, std::move(bitmap), nullptr, GetCaption());
        AddedOffsets.push_back(pos);
      }
    }
    ++data;
    ++pos;
    --length;
  }
}

}  // namespace vt
