// The full open path of the viewer and the command line: the bytes become a file (an anonymous
// memory file, named through /proc/self/fd), the disc source scans it on its worker, the
// document loads item 0 with its thumbnail candidates and renders, and the chosen thumbnail's
// background is built.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "source/disc_source.h"
#include "source/items.h"
#include "viewer/thumb_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = ::memfd_create("vt-fuzz", 0);
  if (fd < 0) std::abort();
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += size_t(n);
  }
  {
    vt::TvtDiscSource source;
    source.Open("/proc/self/fd/" + std::to_string(fd));
    vt::TvtItem* item = source.FirstItem();
    if (item != nullptr && item->Stream != nullptr) {
      vt::TvtThumbSource doc;
      item->Stream->SetPosition(static_cast<int64_t>(item->Offset));
      doc.Load(item->HeaderStream, item->Stream, false, item);
      for (int32_t i = -1; i < doc.ThumbCount() && i < 3; ++i) {
        doc.SetMainThumb(i);
        (void)doc.GetThumbBackground();
      }
      doc.Clear();
    }
  }
  ::close(fd);
  return 0;
}
