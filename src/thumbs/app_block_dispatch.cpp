// ProcessAppBlock: hands each segment of a run to the handler instance that continues it or to
// the first registered class (from the last registered) that accepts it.
#include <algorithm>

#include "thumbs/handler_registry.h"
#include "thumbs/jpeg_thumbs.h"
#include "thumbs/thumb_handler.h"

namespace vt {

void TkelJpegThumbs::DropHandler() {
  handler_.reset();
  handlerClass_ = nullptr;
  ClearJoined();
}

void TkelJpegThumbs::FinishHandler() {
  if (handler_) handler_->Finish();
  DropHandler();
}

void TkelJpegThumbs::ProcessAppBlock(int64_t offset, const uint8_t* buffer, int32_t length) {
  const auto& classes =
      (Registry != nullptr ? *Registry : TkelJpegThumbHandlerRegistry::Instance()).Classes();
  int64_t pos = offset;
  int64_t remaining = length;
  const uint8_t* p = buffer;
  try {
    while (remaining >= 4) {
      const uint8_t marker = p[1];
      const int32_t declared = ((int32_t(p[2]) << 8) | p[3]) - 2;
      remaining -= 4;
      if (declared < 0) break;
      const uint8_t* data = p + 4;
      const int32_t available = int32_t(std::min<int64_t>(declared, remaining));
      segmentDataOffset_ = pos + 4;
      segmentUsableLength_ = available;

      bool handled = false;
      if (declared == 0) {
        FinishHandler();
        handled = true;
      } else if (handler_) {
        if (handler_->IsMulti() && handler_->CanContinue(marker, data, declared, available)) {
          handler_->AddSegment(pos, marker, data, declared, available);
          handled = true;
        } else {
          FinishHandler();
        }
      }
      if (!handled) {
        for (auto c = classes.rbegin(); c != classes.rend(); ++c) {
          if (!c->CanHandle(marker, data, declared, available)) continue;
          handlerClass_ = &*c;
          handler_ = c->Create(*this);
          handler_->Class = handlerClass_;
          handlerStartOffset_ = segmentDataOffset_;
          handler_->AddSegment(pos, marker, data, declared, available);
          if (!c->IsMulti) FinishHandler();
          break;
        }
      }
      pos += int64_t(declared) + 4;
      p += int64_t(declared) + 4;
      remaining -= declared;
    }
    FinishHandler();
  } catch (...) {
    DropHandler();
    throw;
  }
}

}  // namespace vt
