// vantrelle-cli render FILE -o OUT [--format bmp|png] [--view N] [--background auto|none|INDEX]
// Decodes the main image with TkelJpegImage and writes it at frame size; undecoded areas stay
// transparent (alpha 0) in both formats.
#include <png.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "cli/commands.h"
#include "cli/document_open.h"
#include "jpeg/image.h"

namespace vt::cli {

namespace {

// Writes 32-bit RGBA PNG rows straight from the bitmap's B, G, R, A words.
void WritePng(const TBitmap32& bitmap, std::FILE* file) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) throw std::runtime_error("libpng could not start");
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("PNG writing failed");
  }
  png_init_io(png, file);
  png_set_compression_level(png, 3);
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

void WriteBitmap(const TBitmap32& bitmap, const std::string& path, const std::string& format) {
  if (format == "png") {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("Cannot create file \"" + path + "\"");
    try {
      WritePng(bitmap, f);
    } catch (...) {
      std::fclose(f);
      throw;
    }
    if (std::fclose(f) != 0) throw std::runtime_error("Cannot write file \"" + path + "\"");
  } else {
    TFileStream f(path, TFileStream::fmCreate);
    bitmap.SaveToStream(f);
  }
}

// Writes through a temporary sibling and renames it, so a failed write never destroys an
// existing file. Devices such as /dev/null are written directly.
void SaveOutput(const TBitmap32& bitmap, const std::string& path, const std::string& format) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (!ec && fs::exists(st) && !fs::is_regular_file(st)) {
    WriteBitmap(bitmap, path, format);
    return;
  }
  const std::string temp = path + ".partial";
  try {
    WriteBitmap(bitmap, temp, format);
  } catch (...) {
    fs::remove(temp, ec);
    throw;
  }
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw std::runtime_error("Cannot write file \"" + path + "\"");
  }
}

// Returns the exit status for one file.
int RenderFile(const std::string& file, const std::string& out, const std::string& format, int view) {
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadFileBytes(file);
  } catch (const std::exception& e) {
    std::cerr << file << ": " << e.what() << "\n";
    return 1;
  }
  TTempMemoryStream stream;
  stream.SetPointer(bytes.data(), int64_t(bytes.size()));
  TkelJpegImage image(0);
  const int parsed = image.LoadFromStream(stream, pfNoRender, 0);
  std::unique_ptr<TBitmap32> bitmap;
  int rendered = jrOK;
  try {
    rendered = image.Render(bitmap, true, view);
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
    SaveOutput(*bitmap, out, format);
  } catch (const std::exception& e) {
    std::cerr << file << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}

// --background: the file opened as the viewer opens it, the chosen thumbnail background under
// the holes.
int RenderFileWithBackground(const std::string& file, const std::string& out, const std::string& format,
                             const std::string& background) {
  try {
    SaveOutput(*ComposeWithBackground(file, background), out, format);
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
  cmd->add_option("-o,--output", *out, "Output file")->required();
  cmd->add_option("--format", *format, "bmp or png (default: from the output name, else bmp)")
      ->check(CLI::IsMember({"bmp", "png"}));
  cmd->add_option("--view", *view, "0 colour, 1..4 grey view of component 1..4")->check(CLI::Range(0, 4));
  auto background = std::make_shared<std::string>();
  cmd->add_option("--background", *background, "Thumbnail under the holes: auto, none or its index (colour view)")
      ->check(CheckThumbChoice);
  cmd->callback([=, &exitCode]() {
    std::string fmt = *format;
    if (fmt.empty()) {
      const std::string ext = std::filesystem::path(*out).extension().string();
      fmt = (ext == ".png" || ext == ".PNG") ? "png" : "bmp";
    }
    if (!background->empty() && *view != 0) throw CLI::ValidationError("--background", "works with the colour view only");
    exitCode = background->empty() ? RenderFile(*file, *out, fmt, *view)
                                   : RenderFileWithBackground(*file, *out, fmt, *background);
  });
}

}  // namespace vt::cli
