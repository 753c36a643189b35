#include "viewer/found_images.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "source/folders.h"
#include "source/open_failure.h"


namespace vt {

namespace {

std::string BaseName(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  return name.empty() ? path : name;
}

// The notes of the references that decoded nothing, one a line, each naming its file by its
// name rather than its whole path.
std::string ReferenceNotes(const TvtOpenResult& result, const TvtOpenOptions& options) {
  std::string out;
  for (std::string note : result.Notes) {
    for (const std::string& ref : options.References) {
      const std::string prefix = ref + ": ";
      if (note.rfind(prefix, 0) == 0) {
        note = BaseName(ref) + ": " + note.substr(prefix.size());
        break;
      }
    }
    if (!out.empty()) out += '\n';
    out += note;
    if (out.back() != '.') out += '.';
  }
  return out;
}

}  // namespace

TvtFoundImagesPlan PlanFoundImages(const TvtOpenResult& result, const TvtOpenOptions& options) {
  TvtFoundImagesPlan plan;
  const bool referencesUnused = !options.References.empty() && result.ReferencesUnused;
  if (result.Items.empty()) {
    if (result.Cancelled) return plan;  // the user stopped it: nothing to tell
    plan.Kind = TvtFoundImagesPlan::pkError;
    std::string why;
    if (referencesUnused) why = ReferenceNotes(result, options);
    if (why.empty()) why = Sentence(result.Reason.empty() ? "no picture was found in the file" : result.Reason);
    plan.Message = InvalidImageMessage(why);
    return plan;
  }
  if (referencesUnused) {
    std::string notes = ReferenceNotes(result, options);
    if (notes.empty()) notes = Sentence(kReferenceDecodesNothing);
    plan.Warning = notes + "\n\nShowing what the file holds without the reference.";
  }
  if (result.Items.size() == 1) {
    plan.Kind = TvtFoundImagesPlan::pkOpen;
    plan.Item = 0;
    return plan;
  }
  plan.Kind = TvtFoundImagesPlan::pkChoose;
  plan.Item = result.DefaultItem >= 0 && result.DefaultItem < static_cast<int32_t>(result.Items.size())
                  ? result.DefaultItem
                  : 0;
  return plan;
}

std::string FoundOffsetText(const TvtFoundItem& item) {
  char offset[64];
  std::snprintf(offset, sizeof offset, "0x%" PRIX64 " (%" PRIu64 ")", item.Offset, item.Offset);
  return offset;
}

std::string FoundSizeText(const TvtFoundItem& item) {
  return std::to_string(item.Width) + " x " + std::to_string(item.Height);
}

std::string FoundBytesText(const TvtFoundItem& item) {
  return std::to_string(item.Length) + (item.Length == 1 ? " byte" : " bytes");
}

std::string FoundDecodedText(const TvtFoundItem& item) { return std::to_string(item.DecodedPercent) + "%"; }

std::string FoundNotesText(const TvtFoundItem& item) {
  std::string flags;
  if (item.Broken) flags = "broken";
  if (item.ReplacementHeader) {
    if (!flags.empty()) flags += ", ";
    flags += "replacement header from " + (item.Reference.empty() ? std::string("this file") : BaseName(item.Reference));
  }
  return flags;
}

std::string FoundItemText(const TvtFoundItem& item) {
  std::string text = "Offset " + FoundOffsetText(item) + ", " + FoundBytesText(item);
  text += "\n" + FoundSizeText(item) + ", " + FoundDecodedText(item) + " decoded";
  const std::string flags = FoundNotesText(item);
  if (!flags.empty()) text += "\n" + flags;
  return text;
}

size_t PieceCount(const TvtFoundItem& item) { return std::max<size_t>(1, item.Fragments.size()); }

std::string FoundPiecesText(const TvtFoundItem& item) {
  return std::to_string(PieceCount(item)) + (item.MissingPiece ? ", one missing" : "");
}

int CompareFoundItems(const TvtFoundItem& a, const TvtFoundItem& b, TvtFoundSortKey key) {
  const auto order = [](auto x, auto y) { return x < y ? -1 : y < x ? 1 : 0; };
  switch (key) {
    case TvtFoundSortKey::Offset: return order(a.Offset, b.Offset);
    case TvtFoundSortKey::PixelSize: {
      const int byArea = order(int64_t(a.Width) * a.Height, int64_t(b.Width) * b.Height);
      return byArea != 0 ? byArea : order(a.Width, b.Width);
    }
    case TvtFoundSortKey::Bytes: return order(a.Length, b.Length);
    case TvtFoundSortKey::Decoded: return order(a.DecodedPercent, b.DecodedPercent);
    case TvtFoundSortKey::Pieces: {
      const int byCount = order(PieceCount(a), PieceCount(b));
      return byCount != 0 ? byCount : order(a.MissingPiece, b.MissingPiece);
    }
  }
  return 0;
}

bool IsSmallPicture(const TvtFoundItem& item) { return SizeClassOf(item.Width, item.Height) == TvtSizeClass::Small; }

std::vector<int32_t> FoundListRows(const std::vector<TvtFoundItem>& items, const TvtFoundListView& view) {
  std::vector<int32_t> rows;
  for (size_t i = 0; i < items.size(); ++i) {
    const TvtFoundItem& item = items[i];
    if ((view.HideBroken && item.Broken) || (view.HideSmall && IsSmallPicture(item))) continue;
    rows.push_back(static_cast<int32_t>(i));
  }
  std::stable_sort(rows.begin(), rows.end(), [&](int32_t a, int32_t b) {
    const int c = CompareFoundItems(items[static_cast<size_t>(a)], items[static_cast<size_t>(b)], view.Key);
    return view.Descending ? c > 0 : c < 0;
  });
  return rows;
}

std::string FoundImagesSummary(const TvtOpenResult& result, const std::string& fileName) {
  const size_t n = result.Items.size();
  std::string text = std::to_string(n) + (n == 1 ? " picture" : " pictures") + " found in " + BaseName(fileName) + ".";
  if (result.Cancelled) text += " The scan was cancelled: these were found before it stopped.";
  text += " Choose the one to show.";
  return text;
}

std::string ScanPhaseText(TvtScanPhase phase) {
  switch (phase) {
    case TvtScanPhase::Signatures: return "Searching the file for pictures";
    case TvtScanPhase::ScanMarkers: return "Trying the headers on the picture data found";
    case TvtScanPhase::None: break;
  }
  return {};
}

}  // namespace vt
