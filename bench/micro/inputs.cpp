#include "micro/inputs.h"

#include <cmath>
#include <cstdio>

#include <jpeglib.h>

namespace vt::bench {

Bytes PhotoRgb(int width, int height) {
  Bytes rgb(size_t(width) * height * 3);
  uint32_t state = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = int(state >> 27) - 16;
      const double fx = double(x) / width, fy = double(y) / height;
      const double shape = 60 * std::sin(fx * 9.0 + std::cos(fy * 7.0)) * std::cos(fy * 5.0);
      uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
      const int v[3] = {int(90 + 100 * fx + shape), int(60 + 120 * fy - shape / 2), int(140 - 80 * fx * fy + shape / 3)};
      for (int k = 0; k < 3; ++k) {
        const int s = v[k] + noise;
        p[k] = uint8_t(s < 0 ? 0 : s > 255 ? 255 : s);
      }
    }
  return rgb;
}

Bytes PhotoJpeg(int width, int height, bool progressive) {
  const Bytes rgb = PhotoRgb(width, height);
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 92, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(c.next_scanline) * width * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes result(out, out + size);
  free(out);
  return result;
}

}  // namespace vt::bench
