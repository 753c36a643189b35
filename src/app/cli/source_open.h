// The options every command takes to open a file the way the viewer does (--deep, --reference
// FILE..., --data-offset N, --item N, --repair none|auto), and the JSON keys that tell what the
// open found. The open itself is the viewer core's (viewer/open_document.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "source/picture_decode.h"
#include "source/source_open.h"

namespace CLI {
class App;
}

namespace vt {
class TvtDiscSource;
class TvtItem;
}  // namespace vt

namespace vt::cli {

struct TSourceOptions {
  bool Deep = false;
  std::vector<std::string> References;
  int64_t DataOffset = -1;
  int32_t Item = -1;  // -1: the item with the largest decoded area
  std::string Repair = "none";
  int64_t Cluster = 0;               // --cluster N; 0: found from the card
  std::string Fragments = "follow";  // --fragments follow|none
  // Any of the first four given: the open goes beyond the default and info lists the items.
  bool Given() const { return Deep || !References.empty() || DataOffset >= 0 || Item >= 0; }
  // The open's options for path (a scan beyond the default reports its progress on stderr
  // once it takes longer than a second).
  TvtOpenOptions ForOpen(const std::string& path, TvtRender render) const;
};

// Registers --deep, --reference, --data-offset, --item, --repair, --cluster and --fragments on a
// command.
void AddSourceOptions(CLI::App& command, TSourceOptions& options);

// Prints what the open found that the user should know: the references that decoded nothing,
// a cancelled scan.
void PrintOpenNotes(const std::string& path, const TvtOpenResult& found);

// The paths of every folder that lists item ("All", "Size/Large", "Camera/Undefined",
// "Date/2019", "Broken", ...), in tree order.
std::vector<std::string> ItemFolders(TvtDiscSource& source, const TvtItem* item);

// [{"offset","length"}, ...]
nlohmann::json FragmentsJson(const TvtFragmentList& fragments);

// Adds "folders" and, when there is an item, "broken" to a file's JSON object, and for an item of
// a deep scan "fragments" (where its bytes lie) and "missing_piece".
void AddSourceKeys(nlohmann::json& object, TvtDiscSource& source, const TvtItem* item);

// "items": every item found (offset, length, width, height, decoded_percent, broken, folders,
// replacement_header, reference) and "item": the index of the chosen one (null for none).
void AddItemKeys(nlohmann::json& object, const TvtOpenResult& result, int32_t chosen);

}  // namespace vt::cli
