// Opening a file for a command, through the viewer core's one road (viewer/open_document.h): the
// item chosen and its picture decoded once, used as it is or taken over by a document (the
// rendered picture, the thumbnail candidates, a background chosen: auto, none or an index).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "bitmap/bitmap32.h"
#include "cli/source_open.h"
#include "source/disc_source.h"
#include "viewer/open_document.h"
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
  TvtOpened Opened;
  TvtRepair Repair = TvtRepair::None;
  std::unique_ptr<TvtThumbSource> Document;  // once LoadDocument made it
  ~TOpenedFile() { Document.reset(); }
};

// Opens file with the options and decodes the chosen item (render: what the decode renders
// while it runs). Notes go to stderr. Raises EFileError with the open's message ("Invalid
// image. (...)", ...) when no item is taken.
std::unique_ptr<TOpenedFile> OpenFilePicture(const std::string& file, const TSourceOptions& options, TvtRender render);
// Loads the opened item into a document, which takes over the decode (no second decode).
TvtThumbSource& LoadDocument(TOpenedFile& opened, const std::string& file);
// Both: the file opened as the viewer opens it.
std::unique_ptr<TOpenedFile> OpenFileDocument(const std::string& file, const TSourceOptions& options);

// What followed the opened picture in its file (jpeg/writer_trailer.h); none for a picture read
// with a replacement header.
TkelTrailer PictureTrailer(const TOpenedFile& opened);

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
