// TvtDiscSource: turns a file name into items. Open runs a signature search over the start of
// the file on a worker thread and waits for it; a JPEG whose start of image is at byte 0
// becomes an item (with its embedded thumbnails as sub-items) filed into the folder tree.
// The file stays open (read access, others may read) until the next Open or destruction.
// Beyond that default (set before Open; source_open.h is the entry point that sets them): a deep
// scan searches the whole file, and reference files lend their header sets to orphaned scan
// data.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "jpeg/jpeg_id.h"
#include "source/buffered_stream.h"
#include "source/com_interfaces.h"
#include "source/disc_source_thread.h"
#include "source/folders.h"
#include "source/picture_decode.h"
#include "source/sos_items.h"

namespace vt {

// One reference file of an open: its own header set (for data without a usable scan header),
// and what it gave.
struct TvtReferenceResult {
  std::string FileName;
  std::string Error;                     // why it gave no header set; empty when it did
  std::unique_ptr<TkelJpegID> Own;       // the header set of its main image, or none
  int32_t RestartInterval = 0;           // of its main image
  int32_t HeaderSets = 0;                // header sets it added (own and thumbnails')
  int32_t Items = 0;                     // items made with one of its header sets
};

class TvtDiscSource {
 public:
  TvtDiscSource();
  ~TvtDiscSource();
  TvtDiscSource(const TvtDiscSource&) = delete;
  TvtDiscSource& operator=(const TvtDiscSource&) = delete;

  // For a non-empty name replaces the previous file's items and streams (callers drop their
  // references first) and scans the new file. Never raises for a file that cannot be read: the
  // root then holds no folder. The caller shows the file's name (caption) and sets the save
  // folder.
  void Open(const std::string& fileName);
  // Ends the worker, frees the items, folders, stores and streams; the file is closed.
  void Close();
  // Frees a finished worker; otherwise takes its queued progress texts into PolledMessages and
  // sets ProgressPercent.
  void Poll();

  TvtRootFolder& Root() { return *root_; }
  // The item Open found: item 0 of "All", or nullptr.
  TvtItem* FirstItem() const;

  std::string FileName;
  TComPtr<IInStream> InStream;
  std::unique_ptr<TvtBufferedStream> Stream;
  std::unique_ptr<TvtDiscSourceThread> Thread;
  std::unique_ptr<TMemoryStream> PreviewStore;
  std::unique_ptr<TMemoryStream> ExtractStore;
  TvtSOSItems ScanHeaders;
  TvtSOSOffsetItems ScanMarkers;

  std::vector<std::string> PolledMessages;
  int ProgressPercent = 0;
  // Why the last open found nothing it could read (the worker's error message), or empty.
  std::string LastError;

  // --- how pictures are decoded (kept from one Open to the next) ---
  // The default open's item keeps the decode it was judged by (TvtItem::Decoded), for the
  // document or command that opens it. Without it, the picture is rendered at frame size while
  // it decodes and its preview is made at once.
  bool KeepDecode = false;
  // What a kept decode renders while its data decodes, and whether it keeps every MCU's offsets
  // (for the MCU edits; the header segments are recorded for the writer either way).
  TvtRender KeptRender = TvtRender::Planes;
  TvtReduction KeptReduction;  // for TvtRender::Reduced
  bool KeptDeferDamageSearch = false;  // the kept decode leaves that search to its document
  bool KeptOffsets = true;
  // How every picture judged is repaired.
  TvtRepair Repair = TvtRepair::None;

  // --- beyond the default open (kept from one Open to the next) ---
  // The signature search covers the whole file instead of bytes 0 to 2.
  bool DeepScan = false;
  // Intact JPEGs whose header sets (their own and their thumbnails') are tried on the scan data
  // of the opened file; giving any implies the deep scan.
  std::vector<std::string> ReferenceFiles;
  // Where headerless scan data starts, for the references' own scan headers; -1: not given.
  int64_t DataOffset = -1;
  // Called on the opening thread about ten times a second while the worker runs, with the
  // progress (0..100) and the current phase; returning false cancels the open (what was found so
  // far stays).
  std::function<bool(int percent, TvtScanPhase phase)> OnProgress;
  // What became of each reference of the last open, in the order given.
  std::vector<TvtReferenceResult> ReferenceResults;
  bool Cancelled = false;
  // A deep scan follows photos whose data the card put in several places (fragment_search.h).
  bool FollowFragments = true;
  // The card's cluster size in bytes for that search; 0: found from where the photos start.
  int64_t ClusterBytes = 0;
  // The cluster size the last deep scan's search used (0 when it did not search).
  int64_t UsedClusterBytes = 0;
  // Any of the options above makes the signature search cover the whole file.
  bool WholeFileSearch() const { return DeepScan || !ReferenceFiles.empty() || DataOffset >= 0; }

 private:
  std::unique_ptr<TvtRootFolder> root_;
};

}  // namespace vt
