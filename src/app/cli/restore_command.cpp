// vantrelle-cli restore FILE... [-o OUT | -d DIR] [--thumb auto|none|INDEX]
// Writes each file as a clean baseline JPEG, "NAME (restored).jpg" beside the source unless told
// otherwise: decoded blocks keep their coefficients, missing blocks are encoded from the chosen
// thumbnail scaled to the image (or stay zero with --thumb none). The file is opened as the
// viewer opens it (disc source, then document). The output goes through the safe writer, so a
// failed write never leaves a partial file where an older one was; the source file is never
// overwritten.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/safe_file.h"
#include "base/stream.h"
#include "cli/commands.h"
#include "cli/document_open.h"
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/writer.h"
#include "jpeg/writer_file.h"
#include "source/vt_common.h"
#include "source/disc_source.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "viewer/thumb_source.h"

namespace vt::cli {

namespace {

namespace fs = std::filesystem;

struct RestoreOptions {
  std::vector<std::string> Files;
  std::string Output;
  std::string Directory;
  std::string Thumb = "auto";
  TSourceOptions Source;
};

using ERestoreError = EFileError;

std::string OutputPath(const RestoreOptions& o, const std::string& source) {
  if (!o.Output.empty()) return o.Output;
  if (!o.Directory.empty()) return (fs::path(o.Directory) / RestoredFileName(source)).string();
  return (fs::path(source).parent_path() / RestoredFileName(source)).string();
}

// The decoder of the direct path: records the APPn/COM segments for the writer itself, so that
// the load can go without pfRecordSegments and the MCU offsets map that flag also keeps (nothing
// here edits MCUs). On TkelJpegImage it collects no thumbnails at all; on TkelJpegWithThumbs it
// does, for a --thumb INDEX that has to be checked.
template <class TBase>
class TRestoreDecoder : public TBase {
 public:
  using TBase::TBase;
  void DoAppSegment(int marker, int32_t length, const uint8_t* payload, int32_t count) override {
    if (count == length && (this->Flags & pfRecordSegments) == 0) this->RecordRawSegment(marker, length, payload);
    TBase::DoAppSegment(marker, length, payload, count);
  }
};

// The thumbnails the document would offer for --thumb INDEX: those that decoded to a picture.
int CandidateThumbs(TkelJpegWithThumbs& image) {
  int count = 0;
  for (const TkelJpegThumb& t : image.Thumbs().Thumbs()) count += t.Bitmap != nullptr;
  return count;
}

bool StartsWithSOI(const std::string& file) {
  TFileStream f(file, TFileStream::fmOpenRead);
  uint8_t head[3] = {};
  return f.Read(head, 3) == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

void RestoreFile(const RestoreOptions& o, const std::string& file) {
  const std::string out = OutputPath(o, file);
  // Refused before the work of decoding; the writer checks again when it writes.
  if (SameFile(out, file)) throw ESaveRefused("\"" + out + "\" is the file being read; choose another name");

  // A complete image needs no background: a file that starts with its JPEG and decodes
  // completely is written straight from the coefficients, with no rendering and no thumbnail
  // decoded unless --thumb INDEX needs them counted (the document would load the same bytes and
  // use no thumbnail pixel).
  if (!o.Source.Given() && StartsWithSOI(file)) {
    auto bytes = std::make_unique<TMemoryStream>();
    bytes->LoadFromFile(file);
    const bool countThumbs = o.Thumb != "none" && o.Thumb != "auto";
    std::unique_ptr<TkelJpegImage> image;
    int candidates = 0;
    if (countThumbs) {
      auto withThumbs = std::make_unique<TRestoreDecoder<TkelJpegWithThumbs>>(false, 0);
      withThumbs->LoadFromStream(*bytes, pfNoRender);
      candidates = CandidateThumbs(*withThumbs);
      image = std::move(withThumbs);
    } else {
      image = std::make_unique<TRestoreDecoder<TkelJpegImage>>(0);
      image->LoadFromStream(*bytes, pfNoRender, 0);
    }
    if (image->FrameSeen && image->DecodedPercent() > 0 && (o.Thumb == "none" || !HasMissingBlocks(*image))) {
      if (countThumbs && std::stoi(o.Thumb) >= candidates)
        throw ERestoreError("there is no thumbnail " + o.Thumb + " (the file has " + std::to_string(candidates) + ")");
      SaveBaselineJpegFile(*image, nullptr, out, file);
      std::cout << out << "\n";
      return;
    }
  }
  auto opened = OpenDocument(file, o.Source);
  TvtThumbSource& doc = *opened->Document;
  if (!doc.HasImage()) throw ERestoreError("no image could be decoded");
  const TBitmap32* background = ChooseBackground(doc, o.Thumb);
  SaveBaselineJpegFile(*doc.Jpeg, background, out, file);
  std::cout << out << "\n";
}

int RunRestore(const RestoreOptions& o) {
  int status = 0;
  const size_t n = o.Files.size();
  for (size_t i = 0; i < n; ++i) {
    const std::string& file = o.Files[i];
    if (n > 1) std::cerr << "[" << (i + 1) << "/" << n << "] " << file << "\n";
    try {
      RestoreFile(o, file);
    } catch (const std::exception& e) {
      std::cerr << file << ": " << e.what() << "\n";
      status = 1;
    }
  }
  return status;
}

}  // namespace

void AddRestoreCommand(CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("restore", "Write each file as a clean baseline JPEG, holes filled from a thumbnail");
  auto o = std::make_shared<RestoreOptions>();
  cmd->add_option("FILE", o->Files, "JPEG files")->required();
  auto* outOpt = cmd->add_option("-o,--output", o->Output, "Output file (one input file only)");
  auto* dirOpt = cmd->add_option("-d,--dir", o->Directory, "Folder for the restored files")->check(CLI::ExistingDirectory);
  outOpt->excludes(dirOpt);
  cmd->add_option("--thumb", o->Thumb, "Thumbnail that fills the holes: auto, none or its index")
      ->check(CheckThumbChoice);
  AddSourceOptions(*cmd, o->Source);
  cmd->callback([o, &exitCode]() {
    if (!o->Output.empty() && o->Files.size() > 1) throw CLI::ValidationError("-o", "takes one input file only; use -d for several");
    exitCode = RunRestore(*o);
  });
}

}  // namespace vt::cli
