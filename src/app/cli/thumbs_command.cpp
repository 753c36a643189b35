// vantrelle-cli thumbs FILE [-o DIR|-] [--json] [--orientation]: lists the embedded thumbnails of
// a JPEG, largest first; with -o writes each as NAME-thumbN.jpg (JPEG bytes) or NAME-thumbN.bmp
// (its bitmap). "-o -" (standard output) or a device writes the largest alone and lists on
// standard error. The thumbnails are read from the headers alone (source/headers_only.h) whenever the
// default open would surely make an item of the file; the main image's scan is then never read.
// --orientation, --deep, --reference, --data-offset and --item take the full road: the disc
// source's judgement and a decode of the main image.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/output_target.h"
#include "base/stream.h"
#include "cli/commands.h"
#include "cli/document_open.h"
#include "cli/source_open.h"
#include "cli/thumbs_json.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/markers.h"
#include "source/disc_source.h"
#include "source/headers_only.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "thumbs/orientation.h"

namespace vt::cli {

std::string ExifText(const std::string& bytes) {
  // Valid UTF-8?
  size_t i = 0;
  bool utf8 = true;
  while (i < bytes.size() && utf8) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + extra >= bytes.size() + (extra == 0 ? 1 : 0)) {
      utf8 = extra == 0;
      if (!utf8) break;
    }
    for (int k = 1; k <= extra && utf8; ++k)
      utf8 = i + k < bytes.size() && (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
    i += size_t(extra) + 1;
  }
  if (utf8) return bytes;
  std::string out;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += char(c);
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

nlohmann::json ExifJson(TkelJpegWithThumbs& image) {
  TkelJpegThumbs& t = image.Thumbs();
  nlohmann::json exif = nlohmann::json::object();
  exif["make"] = ExifText(t.Make);
  exif["model"] = ExifText(t.Model);
  exif["description"] = ExifText(t.ImageDescription);
  exif["date_time"] = t.DateTime.ToString();
  exif["date_time_original"] = t.DateTimeOriginal.ToString();
  exif["date_time_digitized"] = t.DateTimeDigitized.ToString();
  return exif;
}

nlohmann::json ThumbnailsJson(TkelJpegWithThumbs& image, TBitmap32* mainImage) {
  TkelJpegThumbs& thumbs = image.Thumbs();
  nlohmann::json list = nlohmann::json::array();
  for (int32_t i = 0; i < thumbs.ThumbCount(); ++i) {
    PkelJpegThumb t = thumbs.GetThumbs(i);
    int orientation = 0;
    if (mainImage != nullptr && !mainImage->Empty() && t->Bitmap && !t->Bitmap->Empty())
      orientation = DetectOrientation(*mainImage, *t->Bitmap);
    nlohmann::json blocks = nlohmann::json::array();
    for (const TkelJpegBlock& b : t->Blocks) blocks.push_back({{"offset", b.Offset}, {"size", b.Size}});
    list.push_back({{"kind", int(t->Kind)},
                    {"caption", ExifText(t->Caption)},
                    {"width", t->Width},
                    {"height", t->Height},
                    {"completeness", t->Completeness},
                    {"offset", t->Offset},
                    {"size", t->Size},
                    {"is_post", t->IsPost},
                    {"orientation", orientation},
                    {"blocks", blocks}});
  }
  return list;
}

nlohmann::json ThumbnailsJsonWithoutPixels(TkelJpegWithThumbs& image) {
  nlohmann::json list = ThumbnailsJson(image, nullptr);
  TkelJpegThumbs& thumbs = image.Thumbs();
  for (int32_t i = 0; i < thumbs.ThumbCount(); ++i) {
    PkelJpegThumb t = thumbs.GetThumbs(i);
    const bool pixels = t->Bitmap && !t->Bitmap->Empty();
    const int orientation = OrientationWithoutPixels(pixels, pixels ? t->Bitmap->Width() : 0,
                                                     pixels ? t->Bitmap->Height() : 0, image.FrameSeen, image.Width,
                                                     image.Height);
    if (orientation < 0) list[size_t(i)].erase("orientation");
  }
  return list;
}

void AddHeaderThumbnailKeys(nlohmann::json& object, TkelJpegWithThumbs& image) {
  image.Thumbs().SortThumbsByArea();
  object["orientation"] = int(image.Orientation);
  object["exif"] = ExifJson(image);
  object["thumbnails"] = ThumbnailsJsonWithoutPixels(image);
}

void AddThumbnailKeys(nlohmann::json& object, TkelJpegWithThumbs& image, TBitmap32* mainImage) {
  image.Thumbs().SortThumbsByArea();
  object["orientation"] = int(image.Orientation);
  object["exif"] = ExifJson(image);
  object["thumbnails"] = ThumbnailsJson(image, mainImage);
}

void AddThumbnailKeys(nlohmann::json& object, TkelJpegWithThumbs& image) {
  std::unique_ptr<TBitmap32> mainImage;
  TkelJpegThumbs& thumbs = image.Thumbs();
  for (int32_t i = 0; i < thumbs.ThumbCount() && !mainImage; ++i) {
    if (thumbs.GetThumbs(i)->Bitmap && image.FrameSeen) {
      image.Render(mainImage, true, 0);
      break;
    }
  }
  AddThumbnailKeys(object, image, mainImage.get());
}

namespace {

bool IsJpegKind(TkelJpegThumbKind kind) {
  return kind == tkJpeg || kind == tkJpegNoSOI || kind == tkJpegRebuilt;
}

// The bytes to write as a .jpg: the record's Data, or for a post thumbnail its bytes in the file
// (block offsets count from the JPEG's start, which lies at origin in the file).
bool JpegBytes(TkelJpegThumb& t, TStream& file, int64_t origin, std::vector<uint8_t>& out) {
  out.clear();
  if (!IsJpegKind(t.Kind)) return false;
  if (t.Data) {
    out.resize(size_t(t.Data->GetSize()));
    std::copy(t.Data->Memory(), t.Data->Memory() + out.size(), out.begin());
    return true;
  }
  if (!t.IsPost || t.ColorModel != 0 || t.Blocks.empty()) return false;
  for (const TkelJpegBlock& b : t.Blocks) {
    const size_t at = out.size();
    out.resize(at + size_t(b.Size));
    file.SetPosition(origin + b.Offset);
    if (file.Read(out.data() + at, b.Size) != b.Size) return false;
  }
  return IsStartOfImage(out.data(), int64_t(out.size()));
}

constexpr int32_t kHeaderReadBuffer = 8192;

struct TThumbsOptions {
  std::string File;
  std::string OutDir;
  bool Json = false;
  bool Orientation = false;  // detect each thumbnail's orientation against the main image
  TSourceOptions Source;
};

// Prints the listing of a loaded image and writes its thumbnails. file holds the JPEG at origin
// (post thumbnails are copied from there). headersOnly: the image was loaded without its scan, so
// the JSON reports the orientations that need no main image pixels only.
int Report(const TThumbsOptions& o, TkelJpegWithThumbs& image, int result, TStream& file, int64_t origin,
           bool headersOnly) {
  const std::string& path = o.File;
  image.Thumbs().SortThumbsByArea();
  TkelJpegThumbs& thumbs = image.Thumbs();
  // Standard output or a device takes one picture, the largest; the listing then goes to
  // standard error.
  const bool single = !o.OutDir.empty() && IsDirectOutput(o.OutDir);
  std::ostream& listing = single ? std::cerr : std::cout;

  if (o.Json) {
    nlohmann::json object = {{"file", path}, {"result", {{"code", result}, {"name", ResultCodeName(result)}}}};
    if (headersOnly) {
      object["headers_only"] = true;
      AddHeaderThumbnailKeys(object, image);
    } else {
      AddThumbnailKeys(object, image);
    }
    listing << object.dump(2) << "\n";
  } else {
    listing << path << ": " << thumbs.ThumbCount() << " thumbnail(s)\n";
    for (int32_t i = 0; i < thumbs.ThumbCount(); ++i) {
      PkelJpegThumb t = thumbs.GetThumbs(i);
      listing << "  " << i << ": kind " << int(t->Kind)
              << (t->Caption.empty() ? "" : " \"" + ExifText(t->Caption) + "\"")
              << ", " << t->Width << "x" << t->Height << ", " << t->Completeness << "%, offset " << t->Offset
              << ", size " << t->Size << (t->IsPost ? ", after the image" : "") << "\n";
    }
  }
  if (!image.FrameSeen && thumbs.ThumbCount() == 0) {
    std::cerr << path << ": no JPEG image found (" << ResultCodeName(result) << ")\n";
    return 1;
  }
  if (o.OutDir.empty()) return 0;
  std::vector<uint8_t> bytes;
  if (single) {
    if (thumbs.ThumbCount() == 0) {
      std::cerr << path << ": there is no thumbnail to write\n";
      return 1;
    }
    PkelJpegThumb t = thumbs.GetThumbs(0);
    try {
      if (JpegBytes(*t, file, origin, bytes))
        WriteOutput(o.OutDir, [&](TStream& s) { s.WriteBuffer(bytes.data(), int64_t(bytes.size())); }, path);
      else if (t->Bitmap && !t->Bitmap->Empty())
        WriteOutput(o.OutDir, [&](TStream& s) { t->Bitmap->SaveToStream(s); }, path);
      else
        throw std::runtime_error("the thumbnail has no picture");
    } catch (const std::exception& e) {
      std::cerr << path << ": cannot write: " << e.what() << "\n";
      return 1;
    }
    return 0;
  }

  std::error_code ec;
  std::filesystem::create_directories(o.OutDir, ec);
  const std::string stem = std::filesystem::path(path).stem().string();
  int status = 0;
  for (int32_t i = 0; i < thumbs.ThumbCount(); ++i) {
    PkelJpegThumb t = thumbs.GetThumbs(i);
    const std::string base = (std::filesystem::path(o.OutDir) / (stem + "-thumb" + std::to_string(i))).string();
    try {
      // Through the safe writer, so an older file of that name survives a failed write and
      // the file being read is never overwritten.
      if (JpegBytes(*t, file, origin, bytes)) {
        WriteOutput(base + ".jpg", [&](TStream& s) { s.WriteBuffer(bytes.data(), int64_t(bytes.size())); }, path);
      } else if (t->Bitmap && !t->Bitmap->Empty()) {
        WriteOutput(base + ".bmp", [&](TStream& s) { t->Bitmap->SaveToStream(s); }, path);
      }
    } catch (const std::exception& e) {
      std::cerr << base << ": cannot write: " << e.what() << "\n";
      status = 1;
    }
  }
  return status;
}

// The quick road: the headers of a file that the default open surely takes. Returns -1 when the
// file needs the full road (it does not start with a JPEG, holds no thumbnail, or cannot be read
// here; the full road then finds and reports what is wrong).
int RunThumbsFromHeaders(const TThumbsOptions& o) {
  std::unique_ptr<TFileStream> file;
  // Read in small pieces: the headers are a few kilobytes, and what is read past them is waste.
  TkelJpegWithThumbs image(true, kHeaderReadBuffer);
  TvtHeadersOnlyLoad load;
  try {
    file = std::make_unique<TFileStream>(o.File, TFileStream::fmOpenRead);
    load = LoadHeadersOnly(*file, image);
  } catch (const std::exception&) {
    return -1;
  }
  if (!load.ItemCertain) return -1;
  // APPn/COM segments may follow the first scan where more scans come (progressive files, or
  // scans of single components); the full road reads them, so those files take it.
  if (image.Process == mkSOF2 || image.ScanComponentCount != image.ComponentCount) return -1;
  return Report(o, image, load.Result, *file, 0, true);
}

int RunThumbs(const TThumbsOptions& o) {
  if (!o.Source.Given() && !o.Orientation) {
    const int status = RunThumbsFromHeaders(o);
    if (status >= 0) return status;
  }
  // Opened as the viewer opens it: a file without an item is an invalid image.
  std::unique_ptr<TOpenedFile> opened;
  try {
    opened = OpenFilePicture(o.File, o.Source, TvtRender::None);
  } catch (const std::exception& e) {
    std::cerr << o.File << ": " << e.what() << "\n";
    return 1;
  }
  const TvtItem& item = *opened->Opened.Item;
  return Report(o, *opened->Opened.Picture(), opened->Opened.PictureResult(), *item.Stream,
                static_cast<int64_t>(item.Offset), false);
}

}  // namespace

void AddThumbsCommand(CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("thumbs", "List the embedded thumbnails of a JPEG file and optionally write them");
  auto o = std::make_shared<TThumbsOptions>();
  cmd->add_option("FILE", o->File, "JPEG file")->required();
  cmd->add_option("-o", o->OutDir,
                  "Folder to write NAME-thumbN.jpg / .bmp into; - (standard output) or a device takes the "
                  "largest thumbnail alone");
  cmd->add_flag("--json", o->Json, "Print JSON");
  cmd->add_flag("--orientation", o->Orientation,
                "Decode the main image and find each thumbnail's orientation against it (JSON); without it "
                "only the headers are read and an orientation that needs the main image's pixels is left out");
  AddSourceOptions(*cmd, o->Source);
  cmd->callback([o, &exitCode]() { exitCode = RunThumbs(*o); });
}

}  // namespace vt::cli
