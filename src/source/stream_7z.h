// Tvt7zStream: a read-only TStream over an IInStream. The size is asked once, at creation.
#pragma once

#include <cstdint>

#include "base/stream.h"
#include "source/com_interfaces.h"

namespace vt {

class Tvt7zStream : public TStream {
 public:
  // Keeps a counted reference; raises when the size cannot be found.
  explicit Tvt7zStream(IInStream* inStream);

  // Reads until count bytes came or the interface delivers nothing more; a negative result
  // code raises.
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  // Strictly checked: any result but S_OK raises.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetSize() override { return Size; }

  TComPtr<IInStream> InStream;
  int64_t Size = 0;
};

}  // namespace vt
