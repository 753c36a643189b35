#include "support/test_support.h"

#include <unistd.h>

#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <jpeglib.h>

#include "base/stream.h"

namespace vt::test {

namespace fs = std::filesystem;

std::string TempDir() {
  static const std::string dir = [] {
    const char* base = std::getenv("VT_TEST_TMP");
    fs::path root = base && *base ? fs::path(base) : fs::temp_directory_path() / "vantrelle-tests";
    fs::path d = root / ("p" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d.string();
  }();
  return dir;
}

std::string TempPath(const std::string& suffix) {
  static std::atomic<int> counter{0};
  return TempDir() + "/t" + std::to_string(counter++) + suffix;
}

Bytes JunkWithoutMarkers(size_t n, uint32_t seed) {
  Bytes b(n);
  for (auto& v : b) {
    seed = seed * 1103515245u + 12345u;
    v = static_cast<uint8_t>(seed >> 16);
    if (v == 0xFF) v = 0x7F;
  }
  return b;
}

std::string CorpusPath(const std::string& name) { return std::string(VT_CORPUS_DIR) + "/" + name; }
std::string DataPath(const std::string& name) { return std::string(VT_TEST_DATA_DIR) + "/" + name; }

std::string Quote(const std::string& s) {
  std::string r = "'";
  for (char c : s) {
    if (c == '\'') r += "'\\''";
    else r += c;
  }
  return r + "'";
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
    if (output) output->append(buf, n);
  }
  const int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Bytes ReadBytes(const std::string& path) { return vt::ReadFileBytes(path); }
void WriteBytes(const std::string& path, const Bytes& bytes) { vt::WriteFileBytes(path, bytes); }

Bytes PhotoLikeRgb(int width, int height, uint32_t seed) {
  Bytes rgb(static_cast<size_t>(width) * height * 3);
  uint32_t state = seed * 2654435761u + 12345u;
  auto rnd = [&state]() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  const double cx = width * (0.3 + (seed % 7) * 0.05), cy = height * (0.4 + (seed % 5) * 0.04);
  const double r0 = 0.25 * std::min(width, height) + 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double fx = static_cast<double>(x) / std::max(1, width - 1);
      const double fy = static_cast<double>(y) / std::max(1, height - 1);
      double r = 40 + 150 * fx + 30 * std::sin(y * 0.07 + seed);
      double g = 60 + 120 * fy + 25 * std::cos(x * 0.05);
      double b = 200 - 120 * fx * fy + 20 * std::sin((x + y) * 0.03);
      const double d = std::hypot(x - cx, y - cy);
      if (d < r0) {  // a bright disc with a soft edge
        const double k = std::min(1.0, (r0 - d) / 4.0);
        r = r * (1 - k) + 230 * k;
        g = g * (1 - k) + 190 * k;
        b = b * (1 - k) + 60 * k;
      }
      if ((x / 16 + y / 24) % 9 == 0) {  // some hard edges
        r *= 0.5;
        g *= 0.6;
      }
      const int noise = static_cast<int>(rnd() % 21) - 10;
      uint8_t* px = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      px[0] = static_cast<uint8_t>(std::clamp(static_cast<int>(r) + noise, 0, 255));
      px[1] = static_cast<uint8_t>(std::clamp(static_cast<int>(g) + noise, 0, 255));
      px[2] = static_cast<uint8_t>(std::clamp(static_cast<int>(b) + noise, 0, 255));
    }
  }
  return rgb;
}

std::string WritePhotoLikePnm(int width, int height, bool grey, uint32_t seed) {
  const Bytes rgb = PhotoLikeRgb(width, height, seed);
  std::string header = std::string(grey ? "P5\n" : "P6\n") + std::to_string(width) + " " +
                       std::to_string(height) + "\n255\n";
  Bytes out(header.begin(), header.end());
  if (grey) {
    for (size_t i = 0; i < rgb.size(); i += 3) {
      out.push_back(static_cast<uint8_t>((rgb[i] * 77 + rgb[i + 1] * 150 + rgb[i + 2] * 29) >> 8));
    }
  } else {
    out.insert(out.end(), rgb.begin(), rgb.end());
  }
  const std::string path = TempPath(grey ? ".pgm" : ".ppm");
  WriteBytes(path, out);
  return path;
}

Bytes CjpegFile(const std::string& args, const std::string& pnmPath) {
  const std::string out = TempPath(".jpg");
  const std::string cmd = std::string(VT_CJPEG) + " " + args + " -outfile " + Quote(out) + " " + Quote(pnmPath);
  if (RunCommand(cmd) != 0) throw std::runtime_error("cjpeg failed: " + cmd);
  return ReadBytes(out);
}

Bytes Cjpeg(const std::string& args, int width, int height, bool grey, uint32_t seed) {
  return CjpegFile(args, WritePhotoLikePnm(width, height, grey, seed));
}

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  int warnings = 0;
  char message[JMSG_LENGTH_MAX] = {};
};

void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0) reinterpret_cast<ErrorManager*>(cinfo->err)->warnings++;
}

}  // namespace

RefCoefficients LibjpegCoefficients(const Bytes& jpeg) {
  RefCoefficients result;
  jpeg_decompress_struct cinfo{};
  ErrorManager err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = OnMessage;
  if (setjmp(err.jump)) {
    result.Error = err.message;
    result.Warnings = err.warnings;
    jpeg_destroy_decompress(&cinfo);
    return result;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&cinfo, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
  result.Width = static_cast<int>(cinfo.image_width);
  result.Height = static_cast<int>(cinfo.image_height);
  for (int c = 0; c < cinfo.num_components; ++c) {
    jpeg_component_info* ci = &cinfo.comp_info[c];
    RefComponent rc;
    rc.Id = ci->component_id;
    rc.H = ci->h_samp_factor;
    rc.V = ci->v_samp_factor;
    rc.BlocksWide = static_cast<int>(ci->width_in_blocks);
    rc.BlocksHigh = static_cast<int>(ci->height_in_blocks);
    rc.Coef.resize(static_cast<size_t>(rc.BlocksWide) * rc.BlocksHigh * 64);
    for (int by = 0; by < rc.BlocksHigh; ++by) {
      JBLOCKARRAY rows = (*cinfo.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cinfo), arrays[c],
                                                          static_cast<JDIMENSION>(by), 1, FALSE);
      for (int bx = 0; bx < rc.BlocksWide; ++bx) {
        for (int k = 0; k < 64; ++k) {
          rc.Coef[(static_cast<size_t>(by) * rc.BlocksWide + bx) * 64 + k] = rows[0][bx][k];
        }
      }
    }
    result.Components.push_back(std::move(rc));
  }
  jpeg_finish_decompress(&cinfo);
  result.Warnings = err.warnings;
  result.Ok = true;
  jpeg_destroy_decompress(&cinfo);
  return result;
}

RefImage LibjpegDecode(const Bytes& jpeg, bool fancyUpsampling, int outColorSpace) {
  RefImage result;
  jpeg_decompress_struct cinfo{};
  ErrorManager err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = OnMessage;
  if (setjmp(err.jump)) {
    result.Error = err.message;
    result.Warnings = err.warnings;
    jpeg_destroy_decompress(&cinfo);
    return result;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = fancyUpsampling ? TRUE : FALSE;
  if (outColorSpace != 0) cinfo.out_color_space = static_cast<J_COLOR_SPACE>(outColorSpace);
  jpeg_start_decompress(&cinfo);
  result.Width = static_cast<int>(cinfo.output_width);
  result.Height = static_cast<int>(cinfo.output_height);
  result.Components = cinfo.output_components;
  const size_t stride = static_cast<size_t>(result.Width) * result.Components;
  result.Pixels.resize(stride * result.Height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = result.Pixels.data() + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  result.Warnings = err.warnings;
  result.Ok = true;
  jpeg_destroy_decompress(&cinfo);
  return result;
}

}  // namespace vt::test
