// Why an open found no image: the disc source's own error, or what the file's first bytes tell.
#pragma once

#include <string>

namespace vt {

class TvtDiscSource;

// After source.Open found no item: the reason in a few words ("the file is empty", ...).
std::string NoItemReason(TvtDiscSource& source);

}  // namespace vt
