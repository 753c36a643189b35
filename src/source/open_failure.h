// Why an open found no image: the disc source's own error, or what the file's first bytes tell;
// and "Invalid image." with that reason, as the error box and the command line say it.
#pragma once

#include <cstdint>
#include <string>

namespace vt {

class TStream;
class TvtDiscSource;

// The message of an open that found no picture to show.
constexpr const char* kInvalidImage = "Invalid image.";

// What kept the default open from finding a picture.
struct TvtOpenFailure {
  enum TKind {
    fkMissing,         // no file by that name
    fkFolder,          // the name is a folder's
    fkNoPermission,    // the file may not be read
    fkNotRegular,      // a pipe, a device, a socket
    fkUnreadable,      // any other failure to open or read it
    fkEmpty,
    fkOtherType,       // a file of another known kind (FileType says which)
    fkNotJpeg,         // it does not start with a JPEG start of image
    fkNothingDecoded,  // a JPEG of which nothing decodes, without a thumbnail
  };
  TKind Kind = fkUnreadable;
  std::string Reason;        // in a few words, as NoItemReason gives it
  std::string FileType;      // fkOtherType: "a PNG image"
  int64_t JpegOffset = -1;   // a JPEG start of image further on in the file; -1: none seen
};

// After source.Open found no item: what kept it. When the file does not begin with a JPEG, its
// first kOpenHintSearchBytes are searched for one that starts further on (a deep scan would
// find it).
TvtOpenFailure DiagnoseOpenFailure(TvtDiscSource& source);
// The kind of failure an open that raised the system error code (errno) had.
TvtOpenFailure::TKind OpenErrorKind(int code);
// The first JPEG start of image (FF D8 FF and a marker) at or after offset 1 and before limit,
// -1 when there is none.
int64_t FindJpegFurtherOn(TStream& stream, uint64_t limit);

// After source.Open found no item: the reason in a few words ("the file is empty", ...).
std::string NoItemReason(TvtDiscSource& source);

// A reason as a sentence: a capital first letter (unless it starts with a file name or a digit)
// and a full stop.
std::string Sentence(std::string text);
// For the error box: "Invalid image." and, after an empty line, the explanation (sentences).
std::string InvalidImageMessage(const std::string& explanation);
// For one line of the command line: "Invalid image. (REASON)".
std::string InvalidImageLine(const std::string& reason);

}  // namespace vt
