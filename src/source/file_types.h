// What a file that is not a JPEG is, told by its first bytes: the signatures ("magic numbers")
// of the kinds a recovered or mislabelled photo most often turns out to be. Only what the bytes
// prove is said; anything else is unknown.
#pragma once

#include <cstdint>
#include <string>

namespace vt {

// The most bytes KnownFileType looks at.
constexpr int64_t kFileTypeHeadBytes = 16;

// The kind of file whose first bytes are head[0, count), with its article ("a PNG image",
// "an MP4 video"), or empty when the bytes match no known signature (a JPEG's included).
std::string KnownFileType(const uint8_t* head, int64_t count);

}  // namespace vt
