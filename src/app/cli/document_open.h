// Opening a file for the commands that work as the viewer does: the disc source finds the item,
// the document loads it, and a thumbnail background is chosen (auto, none or an index).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "bitmap/bitmap32.h"
#include "cli/source_open.h"
#include "source/disc_source.h"
#include "viewer/thumb_source.h"

namespace vt::cli {

// A failure of one file, reported with its name.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The document reads the source's streams, so it goes first when this is destroyed.
struct TOpenedFile {
  TvtDiscSource Source;
  std::unique_ptr<TvtThumbSource> Document = std::make_unique<TvtThumbSource>();
  ~TOpenedFile() { Document.reset(); }
};

// Opens file with the source options and loads the chosen item into the document. Raises
// EFileError("Invalid image. (...)" or the option's message) when no item is chosen.
std::unique_ptr<TOpenedFile> OpenDocument(const std::string& file, const TSourceOptions& options = {});

// "auto": the document's choice; "none": no thumbnail; else the index of a thumbnail (raises
// EFileError when there is no such thumbnail). Returns the background, or null.
TBitmap32* ChooseBackground(TvtThumbSource& doc, const std::string& choice);

// The main image at frame size with the chosen background composited under its holes, as the
// viewer shows it. Raises EFileError when the file has no image.
std::unique_ptr<TBitmap32> ComposeWithBackground(const std::string& file, const std::string& choice,
                                                 const TSourceOptions& options = {});

// Validator for the auto|none|INDEX options; empty when the value is fine.
std::string CheckThumbChoice(const std::string& value);

}  // namespace vt::cli
