// The one road from a file to its picture, for every way of opening: File > Open, the command
// line, a dropped file, File > Open with deep scan / with reference photo, Found images,
// vantrelle-cli and the benchmarks.
//
//   1. The disc source searches the file with the options (the default: a JPEG at byte 0; a deep
//      scan, reference photos and a data offset go further) and lists the items found
//      (source/source_open.h). The default open keeps the decode it judged its item by.
//   2. One item is chosen: options.Item, else the default (the largest decoded area); a caller
//      may choose itself (the viewer's list of found images).
//   3. That item's picture is decoded once (source/picture_decode.h): the kept decode, or a new
//      one. The document takes it over (coefficients, maps, offsets, thumbnails), or a command
//      uses it as it is.
//
// The engine reports what it found and why nothing was taken; the caller shows the file's name
// in its caption and sets the save folder. Engine code: no Qt here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "source/disc_source.h"
#include "source/source_open.h"

namespace vt {

class TkelJpegWithThumbs;
class TvtThumbSource;

struct TvtOpened {
  TvtOpenResult Found;      // every item found, the default one, the notes; why none was found
  int32_t Chosen = -1;      // the index in Found.Items of the item taken; -1: none
  TvtItem* Item = nullptr;  // that item (its source's folders list it)
  // Why no item was taken (empty when one was): "Invalid image. (REASON)", "there is no item 3
  // (the file has 2)", "the reference's header decodes none of the data"; empty too when the
  // caller's chooser took none.
  std::string Error;
  // The item's decode, for a command that uses the picture as it is (OpenPicture); the document
  // takes it when it loads the item.
  TkelJpegWithThumbs* Picture() const;
  int PictureResult() const;  // its parse result
};

// Chooses the item to take from what was found: its index, or -1 for none (with error set, or
// empty when nothing is to be said: the user cancelled).
using TvtChooseItem = std::function<int32_t(const TvtOpenResult& found, std::string& error)>;

// The choice without a chooser: options.Item (an error when there is no such item), else none
// when references were given and none of them served (kReferenceDecodesNothing), else the
// default item; "Invalid image. (REASON)" when nothing was found.
int32_t DefaultChoice(const TvtOpenResult& found, const TvtOpenOptions& options, std::string& error);

// Steps 1 to 3 for a command: the chosen item's decode is at opened.Picture().
TvtOpened OpenPicture(TvtDiscSource& source, const std::string& path, const TvtOpenOptions& options,
                      const TvtChooseItem& choose = {});

// Steps 1 to 3 into the document. A default open (and any open of the source the document reads
// from) clears the document first, so that it shows nothing of the previous file even when this
// one holds no picture; an open beyond the default changes the document only when an item is
// taken. The document's FileName becomes path when it is cleared or loaded. Decoder and stream
// errors of the load propagate (the document is then cleared).
TvtOpened OpenDocument(TvtDiscSource& source, TvtThumbSource& document, const std::string& path,
                       const TvtOpenOptions& options, const TvtChooseItem& choose = {});

// Step 3 alone: loads item (an item of an earlier open, or the one an open took) into the
// document, taking over its kept decode or decoding it with repair.
void LoadItem(TvtThumbSource& document, TvtItem& item, TvtRepair repair);

}  // namespace vt
