// Opening a file for the command line the way the viewer opens it: through the disc source's
// entry point (source/source_open.h), with the options every command takes (--deep,
// --reference FILE..., --data-offset N, --item N), taking the chosen item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "source/source_open.h"

namespace CLI {
class App;
}

namespace vt {
class TvtDiscSource;
class TvtItem;
class TkelJpegWithThumbs;
}  // namespace vt

namespace vt::cli {

struct TSourceOptions {
  bool Deep = false;
  std::vector<std::string> References;
  int64_t DataOffset = -1;
  int32_t Item = -1;  // -1: the item with the largest decoded area
  // Any of them given: the open goes beyond the default and info lists the items.
  bool Given() const { return Deep || !References.empty() || DataOffset >= 0 || Item >= 0; }
};

// Registers --deep, --reference, --data-offset and --item on a command.
void AddSourceOptions(CLI::App& command, TSourceOptions& options);

// Opens path with source and the options. Returns the chosen item, or nullptr with error set:
// "PATH: Invalid image. (REASON)" when nothing was found, "PATH: the reference's header decodes
// none of the data" when references were given and none served (unless --item chose an item),
// "PATH: there is no item N ..." for a bad --item. Notes about single references go to stderr;
// so does the progress of a scan that takes longer than a second. result, when given, receives
// what the open found.
TvtItem* OpenItem(TvtDiscSource& source, const std::string& path, const TSourceOptions& options,
                  std::string& error, TvtOpenResult* result = nullptr);

// Opens path with source. Returns the chosen item, or nullptr after printing the error to stderr.
TvtItem* OpenThroughSource(TvtDiscSource& source, const std::string& path, const TSourceOptions& options = {});

// Loads item into image as the document does: its replacement header first (headers only), then
// its data from Offset (resumed at the scan); or the JPEG at Offset. Returns the parse result.
int LoadItem(TkelJpegWithThumbs& image, const TvtItem& item, uint16_t flags);

// The paths of every folder that lists item ("All", "Size/Large", "Camera/Undefined",
// "Date/2019", "Broken", ...), in tree order.
std::vector<std::string> ItemFolders(TvtDiscSource& source, const TvtItem* item);

// Adds "folders" and, when there is an item, "broken" to a file's JSON object.
void AddSourceKeys(nlohmann::json& object, TvtDiscSource& source, const TvtItem* item);

// "items": every item found (offset, length, width, height, decoded_percent, broken, folders,
// replacement_header, reference) and "item": the index of the chosen one (null for none).
void AddItemKeys(nlohmann::json& object, const TvtOpenResult& result, int32_t chosen);

}  // namespace vt::cli
