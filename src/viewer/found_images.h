// What the viewer does with the pictures an open beyond the default one found (a deep scan, a
// reference photo): show an error, open the one picture, or let the user choose from the list
// of found images, starting with the same default as vantrelle-cli; and the texts of that list.
// Engine code: no Qt here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "source/source_open.h"

namespace vt {

struct TvtFoundImagesPlan {
  enum TKind {
    pkNothing,  // the user cancelled the scan before anything was found: say nothing
    pkError,    // nothing to show: Message goes to the error box
    pkOpen,     // exactly one picture: open Item directly
    pkChoose,   // several: the list of found images, Item preselected
  };
  TKind Kind = pkNothing;
  int32_t Item = -1;
  std::string Message;  // pkError: "Invalid image.\n\nREASON."
  // Shown as a warning before the picture opens or the list shows: the references that were
  // asked for and decoded nothing, while the file held other pictures of its own.
  std::string Warning;
};

TvtFoundImagesPlan PlanFoundImages(const TvtOpenResult& result, const TvtOpenOptions& options);

// The text of one row of the list, one fact per line:
//   "Offset 0xBB8 (3000), 41235 bytes"
//   "640 x 480, 100% decoded"
//   "broken, replacement header from ref.jpg"   (only when there is something to say)
std::string FoundItemText(const TvtFoundItem& item);

// The facts of a row one by one, as the list's columns show them: "0xBB8 (3000)",
// "640 x 480", "41235 bytes", "100%", "broken, replacement header from ref.jpg".
std::string FoundOffsetText(const TvtFoundItem& item);
std::string FoundSizeText(const TvtFoundItem& item);
std::string FoundBytesText(const TvtFoundItem& item);
std::string FoundDecodedText(const TvtFoundItem& item);
std::string FoundNotesText(const TvtFoundItem& item);
// "1" for a photo in one piece, "3" for one whose bytes the card put in three places, "2, one
// missing" when the piece after the last was not found.
std::string FoundPiecesText(const TvtFoundItem& item);

// What the list can be sorted by. A new fact to sort by is one more key here and one more case
// in CompareFoundItems.
enum class TvtFoundSortKey { Offset, PixelSize, Bytes, Decoded, Pieces };

// How the list is ordered and what it leaves out on request.
struct TvtFoundListView {
  TvtFoundSortKey Key = TvtFoundSortKey::Offset;
  bool Descending = false;
  bool HideBroken = false;  // pictures that did not decode completely
  bool HideSmall = false;   // under 320 x 240 pixels: thumbnails and small embedded previews
};

// Below 0, 0 or above 0 as a comes before, with or after b by key, ascending (pixel size: by
// area, then width).
int CompareFoundItems(const TvtFoundItem& a, const TvtFoundItem& b, TvtFoundSortKey key);
// The size class the "Size" folder calls small.
bool IsSmallPicture(const TvtFoundItem& item);
// The rows the list shows: indices into items, without the hidden ones, in the view's order;
// items that compare equal keep the order of items (by offset).
std::vector<int32_t> FoundListRows(const std::vector<TvtFoundItem>& items, const TvtFoundListView& view);

// The line above the list: "3 pictures found in card.img." and, after a cancelled scan, that
// these are the ones found before it stopped.
std::string FoundImagesSummary(const TvtOpenResult& result, const std::string& fileName);

// The phase of a scan in the viewer's words (empty for none).
std::string ScanPhaseText(TvtScanPhase phase);

}  // namespace vt
