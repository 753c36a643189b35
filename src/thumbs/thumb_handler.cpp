// The handler defaults and the JPEG helpers: decoding a JPEG stream at a known place and
// scanning bytes for embedded JPEG streams.
#include "thumbs/thumb_handler.h"

#include <algorithm>

#include "base/limits.h"
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/jpeg_id.h"
#include "jpeg/markers.h"

namespace vt {

bool TkelJpegThumbHandler::CanContinue(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                                       int32_t availableLength) {
  return Class != nullptr && Class->CanHandle(marker, data, declaredLength, availableLength);
}

void TkelJpegThumbHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t,
                                      int32_t availableLength) {
  ScanForJpegs(data, availableLength);
}

void TkelJpegThumbHandler::Finish() { ScanForJpegs(Owner.JoinedData(), Owner.JoinedLength()); }

bool TkelJpegThumbHandler::IsNewOffset(int32_t offset) const {
  return std::find(AddedOffsets.begin(), AddedOffsets.end(), offset) == AddedOffsets.end();
}

PkelJpegThumb TkelJpegThumbHandler::AddJpegAt(const uint8_t* data, int32_t offset, int32_t length,
                                              uint8_t colorModel, const std::string& caption) {
  if (length <= 0) return nullptr;
  Owner.DecodeEmbedded(data, length, pfStopWhenComplete, colorModel);
  TkelJpegImage& decoder = Owner.Decoder();
  const int32_t percent = decoder.DecodedPercent();
  if (percent <= 0) return nullptr;
  const int32_t consumed = int32_t(std::clamp<int64_t>(decoder.Position, 0, length));
  std::unique_ptr<TMemoryStream> copy;
  if (colorModel == 0) {
    copy = std::make_unique<TMemoryStream>();
    copy->WriteBuffer(data, consumed);
    static const uint8_t eoi[2] = {0xFF, 0xD9};
    copy->WriteBuffer(eoi, 2);
    copy->SetPosition(0);
  }
  const int32_t width = decoder.FrameSeen ? decoder.Width : 0;
  const int32_t height = decoder.FrameSeen ? decoder.Height : 0;
  auto bitmap = decoder.TakeBitmap();
  PkelJpegThumb t = Owner.AddThumb(tkJpeg, offset, consumed, width, height, percent,
                                   std::move(bitmap), std::move(copy), caption);
  AddedOffsets.push_back(offset);
  t->ColorModel = colorModel;
  t->JpegID = Owner.CloneDecoderID();
  return t;
}

void TkelJpegThumbHandler::ScanForJpegs(const uint8_t* data, int32_t length) {
  if (data == nullptr || length <= 19) return;
  // Every FF D8 FF is tried; a failed try may read far ahead (a fake header whose segments run
  // on), so hostile data could make the scan quadratic. The bytes that failed tries consume are
  // budgeted: many times more than any real data needs, yet linear in the data's length.
  int64_t budget = int64_t(length) * kJpegSearchBytesPerDataByte + kJpegSearchBaseBytes;
  int32_t pos = 0;
  while (length > 20 && budget > 0) {
    if (IsStartOfImage(data, length) && IsNewOffset(pos)) {
      PkelJpegThumb t = AddJpegAt(data, pos, length, 0, GetCaption());
      if (t != nullptr) {
        const int32_t step = std::max<int32_t>(t->Size, 1);
        data += step;
        pos += step;
        length -= step;
        continue;
      }
      budget -= std::max<int64_t>(Owner.Decoder().Position, 1);
    }
    ++data;
    ++pos;
    --length;
  }
}

}  // namespace vt
