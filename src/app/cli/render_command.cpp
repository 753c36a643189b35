// vantrelle-cli render FILE -o OUT|- [--format bmp|png] [--view N] [--background auto|none|INDEX]
// Opens the file as the viewer does and writes its main image at frame size; undecoded areas stay
// transparent (alpha 0) in both formats. "-" is standard output; a device or FIFO is written
// directly.
#include <png.h>

#include <CLI/CLI.hpp>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <string>

#include "base/output_target.h"
#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "cli/commands.h"
#include "cli/document_open.h"
#include "jpeg/image.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt::cli {

namespace {

// libpng's write callback: the bytes go to the caller's stream. A stream error cannot cross
// libpng's C frames, so it is kept and libpng is stopped through its own error path.
struct TPngSink {
  TStream* Stream = nullptr;
  std::exception_ptr Error;
};

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<TPngSink*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    sink->Stream->WriteBuffer(data, static_cast<int64_t>(length));
  } catch (...) {
    sink->Error = std::current_exception();
    failed = true;
  }
  // Outside the handler: libpng leaves through longjmp, which must not skip a catch block.
  if (failed) png_error(png, "write failed");
}

void PngFlush(png_structp) {}

// Writes 32-bit RGBA PNG rows straight from the bitmap's B, G, R, A words.
void WritePng(const TBitmap32& bitmap, TStream& stream) {
  // On the heap: the sink changes after setjmp, so it must not live in this frame.
  auto sink = std::make_unique<TPngSink>();
  sink->Stream = &stream;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) throw std::runtime_error("libpng could not start");
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    if (sink->Error) std::rethrow_exception(sink->Error);
    throw std::runtime_error("PNG writing failed");
  }
  png_set_write_fn(png, sink.get(), PngWrite, PngFlush);
  png_set_compression_level(png, 3);
  // One filter for every row: the adaptive choice among five costs more than the compression
  // and gains little on photographs; on the empty rows of a hole it is pure cost.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_set_IHDR(png, info, png_uint_32(bitmap.Width()), png_uint_32(bitmap.Height()), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);  // memory order of a word is B, G, R, A
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    png_write_row(png, reinterpret_cast<png_const_bytep>(bitmap.ScanLine(y)));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
}

// Standard output, a device, or a file through the safe writer: a failed write leaves an
// existing output as it was, and the file being rendered is never the output.
void SaveOutput(const TBitmap32& bitmap, const std::string& path, const std::string& format,
                const std::string& source) {
  WriteOutput(
      path,
      [&](TStream& stream) {
        if (format == "png")
          WritePng(bitmap, stream);
        else
          bitmap.SaveToStream(stream);
      },
      source);
}

// Returns the exit status for one file.
int RenderFile(const std::string& file, const std::string& out, const std::string& format, int view,
               const TSourceOptions& options) {
  // The colour picture is the decode's own, rendered while the data decodes; a grey view of a
  // component is rendered after.
  std::unique_ptr<TOpenedFile> opened;
  try {
    opened = OpenFilePicture(file, options, view == vmColor ? TvtRender::Frame : TvtRender::None);
  } catch (const std::bad_alloc&) {
    std::cerr << file << ": not enough memory for the picture\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << file << ": " << e.what() << "\n";
    return 1;
  }
  TkelJpegImage& image = *opened->Opened.Picture();
  const int parsed = opened->Opened.PictureResult();
  std::unique_ptr<TBitmap32> bitmap = view == vmColor ? image.TakeBitmap() : nullptr;
  int rendered = jrOK;
  try {
    if (!bitmap) rendered = image.Render(bitmap, true, view);
  } catch (const std::bad_alloc&) {
    std::cerr << file << ": not enough memory for a " << image.Width << " x " << image.Height << " picture\n";
    return 1;
  }
  if (!bitmap || bitmap->Empty()) {
    std::cerr << file << ": nothing to render (" << ResultCodeName(parsed != jrOK ? parsed : rendered)
              << ")\n";
    return 1;
  }
  if (parsed != jrOK || rendered != jrOK)
    std::cerr << file << ": " << ResultCodeName(parsed != jrOK ? parsed : rendered) << ", decoded "
              << image.DecodedPercent() << "%\n";
  try {
    SaveOutput(*bitmap, out, format, file);
  } catch (const std::exception& e) {
    std::cerr << file << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}

// --background: the file opened as the viewer opens it, the chosen thumbnail background under
// the holes.
int RenderFileWithBackground(const std::string& file, const std::string& out, const std::string& format,
                             const std::string& background, const TSourceOptions& options) {
  try {
    SaveOutput(*ComposeWithBackground(file, background, options), out, format, file);
  } catch (const std::exception& e) {
    std::cerr << file << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

void AddRenderCommand(CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("render", "Decode the main image and write it at frame size; holes stay transparent");
  auto file = std::make_shared<std::string>();
  auto out = std::make_shared<std::string>();
  auto format = std::make_shared<std::string>();
  auto view = std::make_shared<int>(0);
  cmd->add_option("FILE", *file, "JPEG file")->required();
  cmd->add_option("-o,--output", *out, "Output file, or - for standard output")->required();
  cmd->add_option("--format", *format, "bmp or png (default: from the output name, else bmp)")
      ->check(CLI::IsMember({"bmp", "png"}));
  cmd->add_option("--view", *view, "0 colour, 1..4 grey view of component 1..4")->check(CLI::Range(0, 4));
  auto background = std::make_shared<std::string>();
  cmd->add_option("--background", *background, "Thumbnail under the holes: auto, none or its index (colour view)")
      ->check(CheckThumbChoice);
  auto options = std::make_shared<TSourceOptions>();
  AddSourceOptions(*cmd, *options);
  cmd->callback([=, &exitCode]() {
    std::string fmt = *format;
    if (fmt.empty()) {
      const std::string ext = std::filesystem::path(*out).extension().string();
      fmt = (ext == ".png" || ext == ".PNG") ? "png" : "bmp";
    }
    if (!background->empty() && *view != 0) throw CLI::ValidationError("--background", "works with the colour view only");
    exitCode = background->empty() ? RenderFile(*file, *out, fmt, *view, *options)
                                   : RenderFileWithBackground(*file, *out, fmt, *background, *options);
  });
}

}  // namespace vt::cli
