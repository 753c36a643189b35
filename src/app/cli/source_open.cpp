#include "cli/source_open.h"

#include <iostream>

#include "source/disc_source.h"

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

TvtItem* OpenThroughSource(TvtDiscSource& source, const std::string& path) {
  source.Open(path);
  TvtItem* item = source.FirstItem();
  if (item) return item;
  std::cerr << path << ": Invalid image.";
  if (!source.LastError.empty()) std::cerr << " (" << source.LastError << ")";
  else std::cerr << " (no readable JPEG starts at the first byte)";
  std::cerr << "\n";
  return nullptr;
}

std::vector<std::string> ItemFolders(TvtDiscSource& source, const TvtItem* item) {
  std::vector<std::string> out;
  if (item) collect(&source.Root(), item, out);
  return out;
}

void AddSourceKeys(nlohmann::json& object, TvtDiscSource& source, const TvtItem* item) {
  object["folders"] = ItemFolders(source, item);
  object["broken"] = item ? item->Broken : true;
}

}  // namespace vt::cli
