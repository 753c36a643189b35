#include "cli/source_open.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <iostream>

#include "cli/thumbs_json.h"
#include "base/limits.h"
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

// Reports on stderr, once a second, how far a scan that runs longer than a second has come.
std::function<bool(int, TvtScanPhase)> StderrProgress(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  auto last = std::make_shared<std::chrono::steady_clock::time_point>(start);
  return [path, start, last](int percent, TvtScanPhase) {
    const auto now = std::chrono::steady_clock::now();
    if (now - start >= std::chrono::seconds(1) && now - *last >= std::chrono::seconds(1)) {
      *last = now;
      std::cerr << path << ": scanning, " << percent << "%\n";
    }
    return true;
  };
}

}  // namespace

void AddSourceOptions(CLI::App& command, TSourceOptions& options) {
  command.add_flag("--deep", options.Deep, "Search the whole file for pictures, not only its start");
  command.add_option("--reference", options.References,
                     "An intact JPEG from the same camera whose headers decode data whose own are lost "
                     "(repeatable; searches the whole file)")
      ->allow_extra_args(false)
      ->check(CLI::ExistingFile);
  command.add_option("--data-offset", options.DataOffset,
                     "Where the scan data starts when its scan header is lost too (searches the whole file)")
      ->check(CLI::NonNegativeNumber);
  command.add_option("--item", options.Item, "Which found picture (default: the one with the largest decoded area)")
      ->check(CLI::NonNegativeNumber);
  command.add_option("--repair", options.Repair, "How the decoded picture is repaired: none (default) or auto")
      ->check(CLI::IsMember({"none", "auto"}));
  command.add_option("--cluster", options.Cluster,
                     "The card's cluster size in bytes for following fragmented photos (default: found from "
                     "where the photos start)")
      ->check(CLI::Range(kMinClusterBytes, kMaxClusterBytes));
  command.add_option("--fragments", options.Fragments,
                     "Whether a deep scan follows photos whose data the card put in several places: follow "
                     "(default) or none")
      ->check(CLI::IsMember({"follow", "none"}));
}

TvtOpenOptions TSourceOptions::ForOpen(const std::string& path, TvtRender render) const {
  TvtOpenOptions open;
  open.Deep = Deep;
  open.References = References;
  open.DataOffset = DataOffset;
  open.Item = Item;
  ParseRepair(Repair, open.Repair);
  open.ClusterBytes = Cluster;
  open.FollowFragments = Fragments != "none";
  open.Render = render;
  open.McuOffsets = true;  // the repair of a damaged picture reads them
  if (open.BeyondDefault()) open.Progress = StderrProgress(path);
  return open;
}

void PrintOpenNotes(const std::string& path, const TvtOpenResult& found) {
  for (const std::string& note : found.Notes) std::cerr << path << ": " << note << "\n";
  if (found.Cancelled) std::cerr << path << ": the scan was cancelled\n";
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
  if (item && !item->Fragments.empty()) {
    object["fragments"] = FragmentsJson(item->Fragments);
    object["missing_piece"] = item->MissingPiece;
  }
}

nlohmann::json FragmentsJson(const TvtFragmentList& fragments) {
  nlohmann::json out = nlohmann::json::array();
  for (const TvtFragment& f : fragments) out.push_back({{"offset", f.Offset}, {"length", f.Length}});
  return out;
}

void AddItemKeys(nlohmann::json& object, const TvtOpenResult& result, int32_t chosen) {
  nlohmann::json items = nlohmann::json::array();
  for (const TvtFoundItem& f : result.Items) {
    nlohmann::json folders = nlohmann::json::array();
    for (const std::string& p : f.Folders) folders.push_back(ExifText(p));
    items.push_back({{"offset", f.Offset},
                     {"length", f.Length},
                     {"width", f.Width},
                     {"height", f.Height},
                     {"decoded_percent", f.DecodedPercent},
                     {"broken", f.Broken},
                     {"folders", folders},
                     {"replacement_header", f.ReplacementHeader},
                     {"reference", f.Reference.empty() ? nlohmann::json(nullptr) : nlohmann::json(f.Reference)}});
    if (!f.Fragments.empty()) {
      items.back()["fragments"] = FragmentsJson(f.Fragments);
      items.back()["missing_piece"] = f.MissingPiece;
    }
  }
  object["items"] = items;
  if (result.ClusterBytes > 0) object["cluster"] = result.ClusterBytes;
  object["item"] = chosen >= 0 ? nlohmann::json(chosen) : nlohmann::json(nullptr);
}

}  // namespace vt::cli
