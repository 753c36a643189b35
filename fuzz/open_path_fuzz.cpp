// The full open path of the viewer and the command line (viewer/open_document.h): the bytes
// become a file (an anonymous memory file, named through /proc/self/fd), the disc source scans
// and decodes it on its worker, the document takes the decode with its thumbnail candidates and
// renders, and the chosen thumbnail's background is built.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "source/disc_source.h"
#include "viewer/open_document.h"
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
    vt::TvtThumbSource doc;  // reads the source's streams: destroyed first
    const vt::TvtOpened opened = vt::OpenDocument(source, doc, "/proc/self/fd/" + std::to_string(fd), {});
    if (opened.Item != nullptr) {
      for (int32_t i = -1; i < doc.ThumbCount() && i < 3; ++i) {
        doc.SetMainThumb(i);
        (void)doc.GetThumbBackground();
      }
    }
    doc.Clear();
  }
  ::close(fd);
  return 0;
}
