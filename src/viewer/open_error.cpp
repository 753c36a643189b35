#include "viewer/open_error.h"

#include <cinttypes>
#include <cstdio>

namespace vt {

namespace {

std::string Offset(int64_t offset) {
  char text[64];
  std::snprintf(text, sizeof text, "0x%" PRIX64 " (%" PRId64 ")", static_cast<uint64_t>(offset), offset);
  return text;
}

}  // namespace

TvtOpenErrorText OpenErrorText(const std::string& path, const TvtOpenFailure& failure) {
  std::string headline = kInvalidImage, explanation;
  switch (failure.Kind) {
    case TvtOpenFailure::fkMissing:
      headline = "File not found.";
      explanation = "There is no file by this name: it may have been moved, renamed or deleted.";
      break;
    case TvtOpenFailure::fkFolder:
      headline = "This is a folder.";
      explanation = "Open one of the photos in it.";
      break;
    case TvtOpenFailure::fkNoPermission:
      headline = "Access denied.";
      explanation = "You have no permission to read this file.";
      break;
    case TvtOpenFailure::fkOtherType:
      explanation = "The file is " + failure.FileType + ", not a JPEG.";
      break;
    default:
      explanation = Sentence(failure.Reason.empty() ? "the file holds no picture that decodes" : failure.Reason);
      break;
  }
  TvtOpenErrorText out;
  if (failure.JpegOffset > 0) {
    explanation += "\nA JPEG start of image lies further on, at offset " + Offset(failure.JpegOffset) +
                   ": Open with deep scan searches the whole file and shows the pictures it finds.";
    out.OfferDeepScan = true;
  }
  out.Text = headline + "\n\n" + path + "\n" + explanation;
  return out;
}

}  // namespace vt
