// Opening a file for the command line the way the viewer opens it: through TvtDiscSource, taking
// item 0 of its "All" folder.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vt {
class TvtDiscSource;
class TvtItem;
}  // namespace vt

namespace vt::cli {

// Opens path with source. Returns item 0 of "All", or nullptr with error set to
// "PATH: Invalid image." and the reason when one is known.
TvtItem* OpenItem(TvtDiscSource& source, const std::string& path, std::string& error);

// Opens path with source. Returns item 0 of "All", or nullptr after printing
// "PATH: Invalid image." (with the reason when one is known) to stderr.
TvtItem* OpenThroughSource(TvtDiscSource& source, const std::string& path);

// The paths of every folder that lists item ("All", "Size/Large", "Camera/Undefined",
// "Date/2019", "Broken", ...), in tree order.
std::vector<std::string> ItemFolders(TvtDiscSource& source, const TvtItem* item);

// Adds "folders" and, when there is an item, "broken" to a file's JSON object.
void AddSourceKeys(nlohmann::json& object, TvtDiscSource& source, const TvtItem* item);

}  // namespace vt::cli
