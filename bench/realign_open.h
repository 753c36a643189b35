// How the realignment benchmark opens a damaged photo: the road of `vantrelle-cli render
// --background none` (cli/document_open.cpp, OpenDocument): the disc source's open
// (source/source_open.h, OpenSource) chooses the item with the largest decoded area and the
// document (viewer/thumb_source.h) loads it; the picture scored is the document's main image at
// frame size with its holes transparent, never the thumbnail under them.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "bitmap/bitmap32.h"
#include "source/source_open.h"
#include "viewer/thumb_source.h"

namespace vt::bench {

// What the benchmark passes to the open beyond the default.
struct TRealignOpenOptions {
  std::string Repair = "none";  // --repair none|auto
  // Where a repair mode joins the open: called with the open's options before the file is
  // opened, and with the loaded document before its picture is taken. Empty: nothing to do.
  std::function<void(TvtOpenOptions&)> BeforeOpen;
  std::function<void(TvtThumbSource&)> AfterLoad;
};

// The hooks of a repair mode, or false when the engine does not offer it yet ("none" needs
// none). This is the one place where `--repair auto` is wired to the engine.
bool RepairHooks(const std::string& mode, TRealignOpenOptions& options);

// A file opened as the viewer opens it. The picture lives as long as this does.
class TShownFile {
 public:
  TShownFile(const std::string& path, const TRealignOpenOptions& options);
  ~TShownFile();
  TShownFile(const TShownFile&) = delete;
  TShownFile& operator=(const TShownFile&) = delete;

  // The document's main image at frame size without a background (alpha 0 = hole); an empty
  // bitmap when nothing could be opened or decoded.
  const TBitmap32& Picture() const;

 private:
  TvtDiscSource source_;
  std::unique_ptr<TvtThumbSource> doc_;  // reads the source's streams
  TBitmap32 none_;
};

}  // namespace vt::bench
