#include "viewer/found_images.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>

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

std::string FoundItemText(const TvtFoundItem& item) {
  char offset[64];
  std::snprintf(offset, sizeof offset, "0x%" PRIX64 " (%" PRIu64 ")", item.Offset, item.Offset);
  std::string text = std::string("Offset ") + offset + ", " + std::to_string(item.Length) +
                     (item.Length == 1 ? " byte" : " bytes");
  text += "\n" + std::to_string(item.Width) + " x " + std::to_string(item.Height) + ", " +
          std::to_string(item.DecodedPercent) + "% decoded";
  std::string flags;
  if (item.Broken) flags = "broken";
  if (item.ReplacementHeader) {
    if (!flags.empty()) flags += ", ";
    flags += "replacement header from " + (item.Reference.empty() ? std::string("this file") : BaseName(item.Reference));
  }
  if (!flags.empty()) text += "\n" + flags;
  return text;
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
