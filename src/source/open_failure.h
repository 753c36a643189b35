// Why an open found no image: the disc source's own error, or what the file's first bytes tell;
// and "Invalid image." with that reason, as the error box and the command line say it.
#pragma once

#include <string>

namespace vt {

class TvtDiscSource;

// The message of an open that found no picture to show.
constexpr const char* kInvalidImage = "Invalid image.";

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
