// File > "Save All Found...": every picture an open found (a deep scan of a card image) written
// as a restored JPEG into one folder, each exactly as choosing it and File > Save As would write
// it (the document's decode, the thumbnail background under the missing blocks, the same safe
// writer). Each file is named after the source and, when there are several, the picture's
// offset ("card @0x01A2B000 (restored).jpg"); a name that is taken, in the folder or by an earlier picture of the run,
// gets " (2)", " (3)"... so no existing file is replaced. Engine code: no Qt here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "source/source_open.h"

namespace vt {

struct TvtSaveAllResult {
  std::vector<std::string> Files;     // the files written, in the order of the items
  std::vector<std::string> Failures;  // one line each: "NAME: why"
  bool Cancelled = false;
};

// Called before each picture and once at the end: the pictures done so far and how many there
// are. Returning false stops before the next picture (the files written stay).
using TvtSaveAllProgress = std::function<bool(int32_t done, int32_t total)>;

// The name the picture at offset of sourceFile is saved under in folder: RestoredFileName with
// the offset, or with " (N)" before ".jpg" for the first N from 2 whose name is neither in
// taken nor a file in folder. The name is added to taken.
std::string UniqueRestoredName(const std::string& sourceFile, uint64_t offset, const std::string& folder,
                               std::vector<std::string>& taken);

// Writes every item of found (items of sourceFile, whose disc source is still open) into
// folder. A picture that cannot be decoded or written is listed in Failures and the run goes on.
TvtSaveAllResult SaveAllFound(const TvtOpenResult& found, const std::string& sourceFile, const std::string& folder,
                              TvtRepair repair, const TvtSaveAllProgress& progress = {});

}  // namespace vt
