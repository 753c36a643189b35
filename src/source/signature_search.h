// The byte patterns the disc source's signature search stops at, found in a block of memory:
// FF D8 FF (a start of image followed by the next marker's first byte) and FF DA (a scan
// header). Both begin with FF, so the block is searched for FF, many bytes at a time, and only
// the bytes after each FF are looked at.
#pragma once

#include <cstdint>
#include <vector>

namespace vt {

// Appends to out, ascending, every position i in [0, starts) where data[i] is the first byte of
// FF D8 FF or FF DA lying whole inside data[0, got). starts <= got, and starts fits in 32 bits.
// data[i + 1] tells which: D8 or DA.
void FindSignatures(const uint8_t* data, int64_t starts, int64_t got, std::vector<uint32_t>& out);

}  // namespace vt
