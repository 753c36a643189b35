#include "source/signature_search.h"

#include <cstring>

namespace vt {

void FindSignatures(const uint8_t* data, int64_t starts, int64_t got, std::vector<uint32_t>& out) {
  int64_t i = 0;
  while (i < starts) {
    const void* ff = std::memchr(data + i, 0xFF, static_cast<size_t>(starts - i));
    if (!ff) return;
    i = static_cast<const uint8_t*>(ff) - data;
    if (i + 1 < got) {
      const uint8_t next = data[i + 1];
      if (next == 0xDA || (next == 0xD8 && i + 2 < got && data[i + 2] == 0xFF)) {
        out.push_back(static_cast<uint32_t>(i));
        i += 2;  // the pattern's second byte is no FF
        continue;
      }
    }
    ++i;
  }
}

}  // namespace vt
