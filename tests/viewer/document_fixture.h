// Loading JPEG bytes into a document, as the viewer's tests need it (the document owns the
// stream; no disc source, so the candidates are the decoder's own thumbnails unless an item is
// given).
#pragma once

#include "base/stream.h"
#include "support/test_support.h"
#include "viewer/image_view_core.h"
#include "viewer/thumb_source.h"

namespace vt::test {

inline void LoadJpegBytes(TvtThumbSource& doc, const Bytes& jpeg, TvtItem* item = nullptr) {
  auto* s = new TMemoryStream;
  s->WriteBuffer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  s->SetPosition(0);
  doc.Load(nullptr, s, true, item);
}

// A view host that draws nothing and remembers where the view last scrolled to.
struct TScrollRecordingHost : IvtImageViewHost {
  void Repaint() override {}
  void UpdateScrollBars() override {}
  void ScrollInView(const TRect&) override {}
  void ScrollTo(int32_t x, int32_t y) override { scrollX = x, scrollY = y; }
  int32_t scrollX = -1, scrollY = -1;
};

}  // namespace vt::test
