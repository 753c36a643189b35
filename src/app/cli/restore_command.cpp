// vantrelle-cli restore FILE... [-o OUT|- | -d DIR] [--thumb auto|none|INDEX]
// Writes each file as a clean baseline JPEG, "NAME (restored).jpg" beside the source unless told
// otherwise: decoded blocks keep their coefficients, missing blocks are encoded from the chosen
// thumbnail scaled to the image (or stay zero with --thumb none), and what followed the picture
// in its file comes after it (jpeg/writer_trailer.h). The file is opened as the viewer opens it
// and decoded once; the document (the rendered picture, the thumbnail background) is made only
// when a thumbnail fills missing blocks. "-o -" writes to standard output and a device is written
// directly; a file goes through the safe writer, so a failed write never leaves a partial file
// where an older one was. The source file is never overwritten.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/output_target.h"
#include "base/safe_file.h"
#include "base/stream.h"
#include "cli/commands.h"
#include "cli/document_open.h"
#include "jpeg/image.h"
#include "jpeg/writer.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/writer_file.h"
#include "source/picture_decode.h"
#include "source/source_open.h"
#include "source/vt_common.h"
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
  bool All = false;      // every picture found, not only the chosen one
  bool Extract = false;  // the picture's original bytes (its pieces joined), not a restored file
  TSourceOptions Source;
};

using ERestoreError = EFileError;

std::string OutputPath(const RestoreOptions& o, const std::string& source) {
  if (!o.Output.empty()) return o.Output;  // "-": standard output
  if (!o.Directory.empty()) return (fs::path(o.Directory) / RestoredFileName(source)).string();
  return (fs::path(source).parent_path() / RestoredFileName(source)).string();
}

// The thumbnails the document would offer for --thumb INDEX: those that decoded to a picture.
int CandidateThumbs(TkelJpegWithThumbs& image) {
  int count = 0;
  for (const TkelJpegThumb& t : image.Thumbs().Thumbs()) count += t.Bitmap != nullptr;
  return count;
}

// Writes the restored file; tells on standard error when what followed the picture in its file
// could not be carried over.
void Write(TkelJpegImage& image, const TBitmap32* background, const std::string& out, const std::string& file,
           const TkelTrailer& trailer) {
  const TkelTrailerFate fate = SaveBaselineJpegFile(image, background, out, file, trailer, WriteOutput);
  if (fate == TkelTrailerFate::LeftOut)
    std::cerr << file << ": the " << (trailer.End - trailer.PictureEnd)
              << " bytes after the picture (a preview, more images) could not keep their places and were left out\n";
  if (out != kStandardOutput) std::cout << out << "\n";
}

void RestoreFile(const RestoreOptions& o, const std::string& file) {
  const std::string out = OutputPath(o, file);
  // Refused before the work of decoding; the writer checks again when it writes.
  if (SameFile(out, file)) throw ESaveRefused("\"" + out + "\" is the file being read; choose another name");

  // One decode: the open's. The picture is rendered only when a thumbnail fills missing blocks.
  auto opened = OpenFilePicture(file, o.Source, TvtRender::None);
  TkelJpegWithThumbs& image = *opened->Opened.Picture();
  const int candidates = CandidateThumbs(image);
  if (o.Thumb != "none" && o.Thumb != "auto" && std::stoi(o.Thumb) >= candidates)
    throw ERestoreError("there is no thumbnail " + o.Thumb + " (the file has " + std::to_string(candidates) + ")");
  // Nothing to fill from a thumbnail: the coefficients are written as they are (the document's
  // background would not be used).
  if (image.FrameSeen && image.DecodedPercent() > 0 &&
      (o.Thumb == "none" || candidates == 0 || !HasMissingBlocks(image))) {
    Write(image, nullptr, out, file, PictureTrailer(*opened));
    return;
  }
  TvtThumbSource& doc = LoadDocument(*opened, file);
  if (!doc.HasImage()) throw ERestoreError("no image could be decoded");
  const TBitmap32* background = ChooseBackground(doc, o.Thumb);
  Write(*doc.Jpeg, background, out, file, PictureTrailer(*opened));
}

// The name of one of several pictures found in source: its offset in the file tells them apart,
// written as the viewer's Save As and Save All Found write it.
std::string FoundPictureName(const std::string& source, uint64_t offset, bool extract) {
  if (extract) return fs::path(source).stem().string() + PictureOffsetMark(offset) + ".jpg";
  return RestoredFileName(source, offset);
}

// The item's bytes as the file holds them, its pieces joined.
void WriteOriginalBytes(TvtItem& item, const std::string& out, const std::string& file) {
  const int64_t length = std::max(item.Length, 0);
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  item.Stream->Seek(static_cast<int64_t>(item.Offset), soBeginning);
  const int64_t got = item.Stream->Read(bytes.data(), length);
  bytes.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
  WriteOutput(out, [&](TStream& s) { s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size())); }, file);
  if (out != kStandardOutput) std::cout << out << "\n";
  if (item.MissingPiece)
    std::cerr << file << ": the picture at " << item.Offset << " lacks a piece that was not found; " << out
              << " holds the pieces before it\n";
}

// Every picture the open finds (--all), or the chosen one with --extract.
void RestoreFound(const RestoreOptions& o, const std::string& file) {
  TvtDiscSource source;
  const TvtOpenResult found = OpenSource(source, file, o.Source.ForOpen(file, TvtRender::None));
  PrintOpenNotes(file, found);
  if (found.Items.empty()) throw ERestoreError("Invalid image. (" + found.Reason + ")");
  std::vector<size_t> chosen;
  if (o.All) {
    for (size_t i = 0; i < found.Items.size(); ++i) chosen.push_back(i);
  } else {
    const int32_t index = o.Source.Item >= 0 ? o.Source.Item : found.DefaultItem;
    if (index < 0 || index >= static_cast<int32_t>(found.Items.size()))
      throw ERestoreError("there is no item " + std::to_string(index) + " (the file has " +
                          std::to_string(found.Items.size()) + ")");
    chosen.push_back(static_cast<size_t>(index));
  }
  const fs::path folder = !o.Directory.empty() ? fs::path(o.Directory) : fs::path(file).parent_path();
  for (size_t i : chosen) {
    TvtItem& item = *found.Items[i].Item;
    const std::string out = !o.Output.empty() && !o.All
                                ? o.Output
                                : (folder / FoundPictureName(file, found.Items[i].Offset, o.Extract)).string();
    if (o.Extract) {
      if (item.HeaderStream) continue;  // scan data read with another header has no file of its own
      WriteOriginalBytes(item, out, file);
      continue;
    }
    TkelJpegWithThumbs image(true, 0);
    TvtRepair repair = TvtRepair::None;
    ParseRepair(o.Source.Repair, repair);
    DecodeItem(image, item, pfNoRender, repair);
    if (!image.FrameSeen || image.DecodedPercent() == 0) continue;
    Write(image, nullptr, out, file, {});
  }
}

int RunRestore(const RestoreOptions& o) {
  int status = 0;
  const size_t n = o.Files.size();
  for (size_t i = 0; i < n; ++i) {
    const std::string& file = o.Files[i];
    if (n > 1) std::cerr << "[" << (i + 1) << "/" << n << "] " << file << "\n";
    try {
      if (o.All || o.Extract) RestoreFound(o, file);
      else RestoreFile(o, file);
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
  auto* outOpt =
      cmd->add_option("-o,--output", o->Output, "Output file, or - for standard output (one input file only)");
  auto* dirOpt = cmd->add_option("-d,--dir", o->Directory, "Folder for the restored files")->check(CLI::ExistingDirectory);
  outOpt->excludes(dirOpt);
  cmd->add_option("--thumb", o->Thumb, "Thumbnail that fills the holes: auto, none or its index")
      ->check(CheckThumbChoice);
  cmd->add_flag("--all", o->All,
                "Every picture found (with --deep: on a card image), each named after its offset in the file");
  cmd->add_flag("--extract", o->Extract,
                "Write the picture's original bytes (the pieces of a fragmented photo joined) instead of a "
                "restored file");
  AddSourceOptions(*cmd, o->Source);
  cmd->callback([o, &exitCode]() {
    if (!o->Output.empty() && o->Files.size() > 1) throw CLI::ValidationError("-o", "takes one input file only; use -d for several");
    exitCode = RunRestore(*o);
  });
}

}  // namespace vt::cli
