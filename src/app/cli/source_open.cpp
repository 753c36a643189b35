#include "cli/source_open.h"

#include <iostream>

#include "cli/thumbs_json.h"
#include "source/disc_source.h"
#include "source/open_failure.h"

namespace vt::cli {

namespace {

void collect(const TvtFolder* folder, const TvtItem* item, std::vector<std::string>& out) {
  for (const TvtItem* i : folder->Items()) {
    if (i == item) {
      out.push_back(folder->Path());
      break;
    }
  }
  for (const TvtFolder* sub : folder->SubFolders()) collect(sub, item, out);
}

}  // namespace

TvtItem* OpenItem(TvtDiscSource& source, const std::string& path, std::string& error) {
  source.Open(path);
  TvtItem* item = source.FirstItem();
  if (item) return item;
  error = path + ": Invalid image. (" + NoItemReason(source) + ")";
  return nullptr;
}

TvtItem* OpenThroughSource(TvtDiscSource& source, const std::string& path) {
  std::string error;
  TvtItem* item = OpenItem(source, path, error);
  if (!item) std::cerr << error << "\n";
  return item;
}

std::vector<std::string> ItemFolders(TvtDiscSource& source, const TvtItem* item) {
  std::vector<std::string> out;
  if (item) collect(&source.Root(), item, out);
  return out;
}

void AddSourceKeys(nlohmann::json& object, TvtDiscSource& source, const TvtItem* item) {
  // Camera names are Exif bytes of any code; JSON needs UTF-8.
  nlohmann::json folders = nlohmann::json::array();
  for (const std::string& path : ItemFolders(source, item)) folders.push_back(ExifText(path));
  object["folders"] = folders;
  if (item) object["broken"] = item->Broken;
}

}  // namespace vt::cli
