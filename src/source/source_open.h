// Opening a file with the disc source, as the viewer's File commands and vantrelle-cli do: the
// default open (a JPEG at byte 0), or with options: a deep scan of the whole file, reference
// photos whose header sets decode scan data whose own header is lost, and the offset where such
// data starts. The result lists every item found, with what a list of found images shows, and
// the item to show first. Engine code: no Qt here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bitmap/bitmap32.h"
#include "source/disc_source.h"
#include "source/fragment_list.h"

namespace vt {

struct TvtOpenOptions {
  bool Deep = false;                     // search the whole file for JPEGs and scan headers
  std::vector<std::string> References;   // intact JPEGs lending their header sets
  int64_t DataOffset = -1;               // where headerless scan data starts; -1: not given
  int32_t Item = -1;                     // which item found to take; -1: the default one
  TvtRepair Repair = TvtRepair::None;    // how the pictures are repaired once decoded
  // What the decode of the item taken renders while it decodes: the viewer shows the picture
  // (Planes, the document's first render); a command that may not need a picture asks for none.
  TvtRender Render = TvtRender::Planes;
  TvtReduction Reduction;  // for TvtRender::Reduced
  // The search for where the damage starts is left to the document (a viewer that shows the
  // picture before it tells where the damage starts; picture_repair.h).
  bool DeferDamageSearch = false;
  // Whether the decode keeps every MCU's offsets, which the MCU edits need; a command that edits
  // nothing goes without (the header segments are recorded for the writer either way).
  bool McuOffsets = true;
  // Called on the opening thread about ten times a second while the scan runs: progress 0..100
  // and the phase. Returning false cancels; what was found so far is kept.
  std::function<bool(int percent, TvtScanPhase phase)> Progress;
  // The deep scan follows photos whose data the card put in several places, in clusters of
  // ClusterBytes (0: found from where the photos start).
  bool FollowFragments = true;
  int64_t ClusterBytes = 0;

  // Any option beyond the default open (each makes the search cover the whole file).
  bool BeyondDefault() const { return Deep || !References.empty() || DataOffset >= 0; }
};

// One item found, as a list of found images shows it.
struct TvtFoundItem {
  TvtItem* Item = nullptr;  // listed by the source's folders; valid while the source stays open
  uint64_t Offset = 0;      // of the JPEG, or of the scan data for a replacement header
  int32_t Length = 0;
  int32_t Width = 0, Height = 0;
  int32_t DecodedPercent = 0;
  bool Broken = false;
  std::vector<std::string> Folders;  // "All", "Size/Large", "SOS marker/0x1000", ...
  bool ReplacementHeader = false;    // decoded with a header set from elsewhere
  std::string Reference;             // the reference file that header set came from, or empty
  TvtFragmentList Fragments;         // where its bytes lie, piece by piece (deep scans)
  bool MissingPiece = false;         // a piece after the last one was not found

  // Width x height x decoded percent: the picture that shows most.
  int64_t DecodedArea() const { return int64_t(Width) * Height * DecodedPercent; }
  // The 120 x 90 preview (owned by the item), or nullptr.
  TBitmap32* Preview() const { return Item ? Item->GetPreview() : nullptr; }
};

struct TvtOpenResult {
  std::vector<TvtFoundItem> Items;  // by offset; items of the same offset in the order found
  int32_t DefaultItem = -1;         // the largest decoded area (the first of equals); -1: none
  bool Cancelled = false;
  // With references: true when none of them gave an item ("the reference's header decodes
  // none of the data").
  bool ReferencesUnused = false;
  // Per reference that gave nothing: "FILE: the reference's header decodes none of the data"
  // and, when it could not be read as a JPEG, why.
  std::vector<std::string> Notes;
  // When no item was found: why (the text after "Invalid image.").
  std::string Reason;
  // The cluster size the search for fragmented photos used (0: none searched).
  int64_t ClusterBytes = 0;
};

// Opens path into source (replacing what it held) with the options and lists what it found.
// The default open keeps its item's decode (TvtItem::Decoded, rendered and repaired as the
// options say). Never raises for a file that cannot be read; Items is then empty.
TvtOpenResult OpenSource(TvtDiscSource& source, const std::string& path, const TvtOpenOptions& options = {});

// The items of the source's folders, as OpenSource lists them.
std::vector<TvtFoundItem> FoundItems(TvtDiscSource& source);
// The index of the item with the largest decoded area, -1 for an empty list.
int32_t DefaultItemIndex(const std::vector<TvtFoundItem>& items);

// The message of a reference that gave nothing.
constexpr const char* kReferenceDecodesNothing = "the reference's header decodes none of the data";

}  // namespace vt
