// vantrelle-cli info: what a JPEG file holds and how much of it decodes, as JSON (one object
// per file, an array for several) or as readable text. FileInfo builds the object of one
// file; later capabilities add their keys there. With --headers-only, FileHeadersInfo reads the
// headers and the thumbnails alone (source/headers_only.h) and leaves out what needs a decode.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "cli/commands.h"
#include "cli/source_open.h"
#include "cli/thumbs_json.h"
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/mcu_layout.h"
#include "source/disc_source.h"
#include "source/headers_only.h"
#include "source/open_failure.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "viewer/open_document.h"

namespace vt::cli {

namespace {

using nlohmann::json;

constexpr int32_t kReadBuffer = 65536;
constexpr int32_t kHeaderReadBuffer = 8192;  // the headers are a few kilobytes

// What the headers of a loaded image tell: the parse result, the frame and the restart interval.
void AddHeaderKeys(json& object, const TkelBaseJpegParser& image, int result) {
  object["result"] = {{"code", result}, {"name", ResultCodeName(result)}};
  if (image.FrameSeen) {
    object["width"] = image.Width;
    object["height"] = image.Height;
    object["process"] = image.Process;
    object["color_model"] = image.GetColorModel();
    object["components"] = image.ComponentCount;
    const TkelMcuLayout mcu = FrameMcuLayout(image);
    object["mcu"] = {{"width", mcu.Width}, {"height", mcu.Height}, {"cols", mcu.Cols}, {"rows", mcu.Rows}};
  }
  object["restart_interval"] = image.RestartInterval;
}

// The decoder's keys for a loaded image.
void AddDecoderKeys(json& object, const TkelBaseJpegParser& image, int result) {
  AddHeaderKeys(object, image, result);
  object["decoded_percent"] = image.DecodedPercent();
  object["data_errors"] = image.DataErrors;
}

// Where a damaged scan's damage starts, and what the repair did: the interval placement when it
// changed anything, and with --repair auto one record per damaged place.
void AddRepairKeys(json& object, const repair::TRepairReport& report, bool automatic, int components) {
  if (report.FirstDamageMCU >= 0)
    object["first_damage"] = {{"mcu", report.FirstDamageMCU}, {"byte", report.FirstDamageByte}};
  const repair::TIntervalPlacement& p = report.Intervals;
  if (p.Moved > 0 || p.Dropped > 0 || p.Trimmed > 0)
    object["interval_placement"] = {
        {"segments", p.Segments}, {"moved", p.Moved}, {"dropped", p.Dropped}, {"trimmed", p.Trimmed}};
  if (!automatic) return;
  json places = json::array();
  for (const repair::TRepairPlace& place : report.Places) {
    json r = {{"first_mcu", place.FirstMCU},
              {"cleared_mcus", place.ClearedMCUs},
              {"resumed_mcus", place.ResumedMCUs},
              {"evidence", place.Evidence}};
    if (place.DamageBegin >= 0) r["damage"] = {{"begin", place.DamageBegin}, {"end", place.DamageEnd}};
    if (place.ResumeMCU >= 0) r["resume"] = {{"byte", place.ResumeByte}, {"bit", place.ResumeBit}, {"mcu", place.ResumeMCU}};
    r["dc_correction"] = json::array();
    for (int i = 0; i < std::min(components, 4); ++i) r["dc_correction"].push_back(place.DCCorrection[i]);
    places.push_back(r);
  }
  object["repairs"] = places;
}

// For a file in which the viewer finds no image: what the decoder still reads from its first
// byte on (an arithmetic-coded frame, say), so that the frame is described even though nothing
// of it can be shown. Files that cannot be opened as regular files add nothing.
void AddDecoderKeysOfFile(json& object, const std::string& path) {
  try {
    TFileStream file(path, TFileStream::fmOpenRead);
    TkelJpegImage image(kReadBuffer);
    const int result = image.LoadFromStream(file, pfNoRender, 0);
    AddDecoderKeys(object, image, result);
  } catch (const std::exception&) {
  }
}

// Builds the object of one file. Returns false (with a message naming the file in error)
// when the file could not be processed: it cannot be read, or the viewer would find no image
// in it. A file whose main frame is unreadable but that holds thumbnails is processed: its
// keys are printed and error carries a note about the frame.
bool FileInfo(const std::string& path, const TSourceOptions& options, json& object, std::string& error) {
  object = json::object();
  object["file"] = path;
  // Opened as the viewer opens it: the chosen item's decode.
  TvtDiscSource source;
  TvtOpened opened;
  try {
    opened = OpenPicture(source, path, options.ForOpen(path, TvtRender::None));
  } catch (const std::exception& e) {  // a read error of the file itself
    error = path + ": cannot read the file (" + e.what() + ")";
    return false;
  }
  PrintOpenNotes(path, opened.Found);
  TkelJpegWithThumbs* image = opened.Picture();
  if (image == nullptr) {
    error = path + ": " + opened.Error;
    if (!options.Given()) AddDecoderKeysOfFile(object, path);
    AddSourceKeys(object, source, nullptr);
    if (options.Given()) AddItemKeys(object, opened.Found, -1);
    return false;
  }
  const int result = opened.PictureResult();
  AddDecoderKeys(object, *image, result);
  if (opened.Item != nullptr) AddRepairKeys(object, opened.Item->Repair, options.Repair == "auto", image->ScanComponentCount);
  AddThumbnailKeys(object, *image);
  AddSourceKeys(object, source, opened.Item);
  if (options.Given()) AddItemKeys(object, opened.Found, opened.Chosen);
  if (!image->FrameSeen)
    error = path + ": no JPEG frame could be read (" + std::string(ResultCodeName(result)) + ")";
  return true;
}

// The object of one file from its headers alone: no decoded percentage, data errors, folders or
// judgement (they need the scan), and thumbnail orientations only where no main image pixel is
// needed. The file must start with a JPEG, as the default open needs.
bool FileHeadersInfo(const std::string& path, json& object, std::string& error) {
  object = json::object();
  object["file"] = path;
  object["headers_only"] = true;
  TkelJpegWithThumbs image(true, kHeaderReadBuffer);
  TvtHeadersOnlyLoad load;
  bool empty = false;
  try {
    TFileStream file(path, TFileStream::fmOpenRead);
    empty = file.GetSize() == 0;
    load = LoadHeadersOnly(file, image);
  } catch (const std::exception& e) {
    error = path + ": " + InvalidImageLine(e.what());
    return false;
  }
  if (!load.StartsWithJpeg) {
    // The reasons the default open gives.
    error = path + ": " +
            InvalidImageLine(empty ? "the file is empty" : "the file does not begin with a JPEG start-of-image marker");
    return false;
  }
  AddHeaderKeys(object, image, load.Result);
  AddHeaderThumbnailKeys(object, image);
  if (!image.FrameSeen) {
    error = path + ": no JPEG frame could be read (" + std::string(ResultCodeName(load.Result)) + ")";
    return image.Thumbs().ThumbCount() > 0;
  }
  return true;
}

std::string Scalar(const json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); }

// Readable text: one "key: value" line per key; objects inline, arrays one entry a line.
void PrintText(std::ostream& out, const json& object) {
  out << object.value("file", std::string()) << "\n";
  for (auto it = object.begin(); it != object.end(); ++it) {
    const json& v = it.value();
    if (it.key() == "file") continue;
    out << "  " << it.key() << ":";
    if (v.is_object()) {
      for (auto f = v.begin(); f != v.end(); ++f) out << " " << f.key() << "=" << Scalar(f.value());
      out << "\n";
    } else if (v.is_array()) {
      out << (v.empty() ? " none" : "") << "\n";
      for (const json& e : v) {
        out << "    -";
        if (e.is_object())
          for (auto f = e.begin(); f != e.end(); ++f) out << " " << f.key() << "=" << Scalar(f.value());
        else
          out << " " << Scalar(e);
        out << "\n";
      }
    } else {
      out << " " << Scalar(v) << "\n";
    }
  }
}

}  // namespace

void AddInfoCommand(CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("info", "Print what a JPEG file holds and how much of it decodes");
  auto files = std::make_shared<std::vector<std::string>>();
  auto asJson = std::make_shared<bool>(false);
  auto headersOnly = std::make_shared<bool>(false);
  auto options = std::make_shared<TSourceOptions>();
  cmd->add_option("FILE", *files, "JPEG files")->required();
  cmd->add_flag("--json", *asJson, "Print JSON (one object per file, an array for several)");
  cmd->add_flag("--headers-only", *headersOnly,
                "Read only the headers and the embedded thumbnails, never the main image's data: quick, but "
                "without decoded_percent, data_errors, folders, broken, and without the thumbnail orientations "
                "that need the main image's pixels");
  AddSourceOptions(*cmd, *options);
  cmd->callback([files, asJson, headersOnly, options, &exitCode]() {
    if (*headersOnly && options->Repair != "none")
      throw CLI::ValidationError("--headers-only", "reads no picture data; --repair needs the decode");
    if (*headersOnly && options->Given())
      throw CLI::ValidationError("--headers-only", "reads the file's own headers; --deep, --reference, --data-offset "
                                 "and --item need the full open");
    json all = json::array();
    const size_t n = files->size();
    for (size_t i = 0; i < n; ++i) {
      const std::string& path = (*files)[i];
      if (n > 1) std::cerr << "[" << (i + 1) << "/" << n << "] " << path << "\n";
      json object;
      std::string error;
      const bool fine = *headersOnly ? FileHeadersInfo(path, object, error) : FileInfo(path, *options, object, error);
      if (!fine) exitCode = 1;
      if (!error.empty()) std::cerr << error << "\n";
      if (*asJson)
        all.push_back(std::move(object));
      else
        PrintText(std::cout, object);
    }
    if (*asJson) std::cout << (n == 1 ? all[0] : all).dump(2) << "\n";
  });
}

}  // namespace vt::cli
