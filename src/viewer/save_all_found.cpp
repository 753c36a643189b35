#include "viewer/save_all_found.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include "jpeg/writer_file.h"
#include "source/vt_common.h"
#include "viewer/open_document.h"
#include "viewer/thumb_source.h"

namespace vt {

namespace {

namespace fs = std::filesystem;

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

}  // namespace

std::string UniqueRestoredName(const std::string& sourceFile, uint64_t offset, const std::string& folder,
                               std::vector<std::string>& taken) {
  const std::string plain = RestoredFileName(sourceFile, offset);
  const std::string stem = plain.substr(0, plain.size() - std::string(".jpg").size());
  std::string name = plain;
  for (int n = 2; std::find(taken.begin(), taken.end(), name) != taken.end() || Exists(fs::path(folder) / name); ++n)
    name = stem + " (" + std::to_string(n) + ").jpg";
  taken.push_back(name);
  return name;
}

TvtSaveAllResult SaveAllFound(const TvtOpenResult& found, const std::string& sourceFile, const std::string& folder,
                              TvtRepair repair, const TvtSaveAllProgress& progress) {
  TvtSaveAllResult result;
  const int32_t total = static_cast<int32_t>(found.Items.size());
  std::vector<std::string> taken;
  for (int32_t i = 0; i < total; ++i) {
    if (progress && !progress(i, total)) {
      result.Cancelled = true;
      return result;
    }
    const TvtFoundItem& item = found.Items[static_cast<size_t>(i)];
    const std::string name = UniqueRestoredName(sourceFile, total > 1 ? item.Offset : 0, folder, taken);
    try {
      if (item.Item == nullptr || item.Item->Stream == nullptr) throw std::runtime_error("the picture is gone");
      // One picture's document at a time: memory stays that of the largest picture.
      TvtThumbSource document;
      document.FileName = sourceFile;
      LoadItem(document, *item.Item, repair);
      if (!document.HasImage()) throw std::runtime_error("nothing of it decodes");
      const std::string target = (fs::path(folder) / name).string();
      SaveBaselineJpegFile(*document.Jpeg, document.GetThumbBackground(), target, sourceFile, document.Trailer());
      result.Files.push_back(target);
    } catch (const std::exception& e) {
      result.Failures.push_back(name + ": " + e.what());
    }
  }
  if (progress) progress(total, total);
  return result;
}

}  // namespace vt
