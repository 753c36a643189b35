#include "cli/source_open.h"

#include <iostream>

#include "cli/thumbs_json.h"
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

// Why an open that raised no error found no item, told from the file's first bytes.
std::string reasonForNoItem(TvtDiscSource& source) {
  if (!source.Stream) return "the file could not be read";
  const int64_t size = source.Stream->GetSize();
  if (size == 0) return "the file is empty";
  uint8_t head[3] = {};
  source.Stream->Seek(0, soBeginning);
  const int64_t got = source.Stream->Read(head, 3);
  if (got < 3 || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF)
    return "the file does not begin with a JPEG start-of-image marker";
  return "nothing of the image could be decoded and it holds no embedded thumbnail";
}

}  // namespace

TvtItem* OpenItem(TvtDiscSource& source, const std::string& path, std::string& error) {
  source.Open(path);
  TvtItem* item = source.FirstItem();
  if (item) return item;
  std::string reason = source.LastError;
  if (reason.empty()) {
    try {
      reason = reasonForNoItem(source);
    } catch (const std::exception& e) {
      reason = e.what();
    }
  }
  error = path + ": Invalid image. (" + reason + ")";
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
