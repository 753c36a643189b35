#include "source/stream_7z.h"

#include <algorithm>

namespace vt {

Tvt7zStream::Tvt7zStream(IInStream* inStream) : InStream(inStream) {
  if (!InStream) RaiseOleError(E_INVALIDARG);
  uint64_t current = 0, size = 0;
  OleCheckStrict(InStream->Seek(0, 1, &current));
  OleCheckStrict(InStream->Seek(0, 2, &size));
  OleCheckStrict(InStream->Seek(static_cast<int64_t>(current), 0, nullptr));
  Size = static_cast<int64_t>(std::min<uint64_t>(size, INT64_MAX));
}

int64_t Tvt7zStream::Read(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  HRESULT r = S_OK;
  while (done < count) {
    const uint32_t ask = static_cast<uint32_t>(std::min<int64_t>(count - done, 0x7FFFFFFF));
    uint32_t got = 0;
    r = InStream->Read(p + done, ask, &got);
    if (r != S_OK) break;
    if (got == 0) {
      r = S_FALSE;
      break;
    }
    if (got > ask) {
      r = E_FAIL;
      break;
    }
    done += got;
  }
  OleCheck(r);
  return done;
}

int64_t Tvt7zStream::Seek(int64_t offset, TSeekOrigin origin) {
  uint64_t pos = 0;
  OleCheckStrict(InStream->Seek(offset, static_cast<uint32_t>(origin), &pos));
  return static_cast<int64_t>(pos);
}

}  // namespace vt
