#include "source/source_open.h"

#include <algorithm>
#include <map>

#include "source/open_failure.h"

namespace vt {

namespace {

// Every item below folder, in tree order, with the paths of the folders that list it.
void Collect(const TvtFolder* folder, std::vector<TvtItem*>& order, std::map<TvtItem*, std::vector<std::string>>& paths) {
  for (TvtItem* item : folder->Items()) {
    auto& list = paths[item];
    if (list.empty()) order.push_back(item);
    list.push_back(folder->Path());
  }
  for (const TvtFolder* sub : folder->SubFolders()) Collect(sub, order, paths);
}

// Why an open that raised no error found no item.
std::string ReasonForNoItem(TvtDiscSource& source, const TvtOpenOptions& options, bool referencesUnused) {
  if (!options.BeyondDefault() || !source.LastError.empty() || !source.Stream || source.Stream->GetSize() == 0)
    return NoItemReason(source);
  if (source.Cancelled) return "the scan was cancelled";
  if (!options.References.empty() && referencesUnused) return kReferenceDecodesNothing;
  return "no picture that decodes was found anywhere in the file";
}

}  // namespace

std::vector<TvtFoundItem> FoundItems(TvtDiscSource& source) {
  std::vector<TvtItem*> order;
  std::map<TvtItem*, std::vector<std::string>> paths;
  Collect(&source.Root(), order, paths);
  std::stable_sort(order.begin(), order.end(),
                   [](const TvtItem* a, const TvtItem* b) { return a->SortOffset < b->SortOffset; });
  std::vector<TvtFoundItem> out;
  for (TvtItem* item : order) {
    TvtFoundItem f;
    f.Item = item;
    f.Offset = item->Offset;
    f.Length = item->Length;
    f.Width = item->Width;
    f.Height = item->Height;
    f.DecodedPercent = item->DecodedPercent;
    f.Broken = item->Broken;
    f.Folders = paths[item];
    f.ReplacementHeader = item->HeaderStream != nullptr;
    f.Reference = item->HeaderReference;
    f.Fragments = item->Fragments;
    f.MissingPiece = item->MissingPiece;
    out.push_back(std::move(f));
  }
  return out;
}

int32_t DefaultItemIndex(const std::vector<TvtFoundItem>& items) {
  int32_t best = -1;
  for (size_t i = 0; i < items.size(); ++i)
    if (best < 0 || items[i].DecodedArea() > items[static_cast<size_t>(best)].DecodedArea())
      best = static_cast<int32_t>(i);
  return best;
}

TvtOpenResult OpenSource(TvtDiscSource& source, const std::string& path, const TvtOpenOptions& options) {
  source.DeepScan = options.Deep;
  source.ReferenceFiles = options.References;
  source.DataOffset = options.DataOffset;
  source.OnProgress = options.Progress;
  source.KeepDecode = true;
  source.KeptRender = options.Render;
  source.KeptReduction = options.Reduction;
  source.KeptDeferDamageSearch = options.DeferDamageSearch;
  source.KeptOffsets = options.McuOffsets;
  source.Repair = options.Repair;
  source.FollowFragments = options.FollowFragments;
  source.ClusterBytes = options.ClusterBytes;
  // The next plain Open is the default one again.
  struct TRestore {
    TvtDiscSource& source;
    ~TRestore() {
      source.DeepScan = false;
      source.ReferenceFiles.clear();
      source.DataOffset = -1;
      source.OnProgress = nullptr;
      source.KeepDecode = false;
      source.KeptRender = TvtRender::Planes;
      source.KeptReduction = nullptr;
      source.KeptDeferDamageSearch = false;
      source.KeptOffsets = true;
      source.Repair = TvtRepair::None;
      source.FollowFragments = true;
      source.ClusterBytes = 0;
    }
  } restore{source};
  source.Open(path);

  TvtOpenResult result;
  result.Cancelled = source.Cancelled;
  result.ClusterBytes = source.UsedClusterBytes;
  result.Items = FoundItems(source);
  result.DefaultItem = DefaultItemIndex(result.Items);
  if (!options.References.empty()) {
    int32_t used = 0;
    for (const TvtReferenceResult& ref : source.ReferenceResults) {
      used += ref.Items;
      if (ref.Items > 0) continue;
      std::string note = ref.FileName + ": " + kReferenceDecodesNothing;
      if (!ref.Error.empty()) note += " (" + ref.Error + ")";
      result.Notes.push_back(note);
    }
    result.ReferencesUnused = used == 0;
  }
  if (result.Items.empty()) {
    try {
      result.Reason = ReasonForNoItem(source, options, result.ReferencesUnused);
    } catch (const std::exception& e) {
      result.Reason = e.what();
    }
  }
  return result;
}

}  // namespace vt
