#include "thumbs/vendor_rebuilt_handlers.h"

#include <algorithm>

#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "thumbs/header_templates.h"
#include "thumbs/vendor_bytes.h"

namespace vt {

using namespace vendor;

namespace {

constexpr uint8_t kEoi[2] = {0xFF, 0xD9};

// HeaderTemplateA with the segment's own tables (bytes 0..63 and 64..127) when asked.
std::vector<uint8_t> RebuiltHeader(const uint8_t* data, bool ownTables) {
  std::vector<uint8_t> stream = TemplateCopy(HeaderTemplateA());
  if (ownTables) {
    std::copy(data, data + 64, stream.begin() + kTemplateTable0Offset);
    std::copy(data + 64, data + 128, stream.begin() + kTemplateTable1Offset);
  }
  return stream;
}

// The first consumed bytes of a decoded stream followed by EOI, as a complete file.
std::unique_ptr<TMemoryStream> ConsumedCopy(const uint8_t* prefix, int32_t prefixLength, const uint8_t* data,
                                            int32_t length) {
  auto copy = std::make_unique<TMemoryStream>();
  if (prefixLength > 0) copy->WriteBuffer(prefix, prefixLength);
  if (length > 0) copy->WriteBuffer(data, length);
  copy->WriteBuffer(kEoi, 2);
  copy->SetPosition(0);
  return copy;
}

int32_t Consumed(TkelJpegImage& decoder, size_t length) {
  return int32_t(std::clamp<int64_t>(decoder.Position, 0, int64_t(length)));
}

// Adds the decoder's picture of a rebuilt stream as a tkJpegRebuilt record over the whole
// segment (n bytes).
void AddRebuilt(TkelJpegThumbHandler& h, const std::vector<uint8_t>& stream, int32_t n, int32_t percent,
                const std::string& caption) {
  TkelJpegImage& decoder = h.Owner.Decoder();
  const int32_t width = decoder.FrameSeen ? decoder.Width : 0;
  const int32_t height = decoder.FrameSeen ? decoder.Height : 0;
  auto copy = ConsumedCopy(nullptr, 0, stream.data(), Consumed(decoder, stream.size()));
  h.Owner.AddThumb(tkJpegRebuilt, 0, n, width, height, percent, decoder.TakeBitmap(), std::move(copy), caption);
}

int32_t DecodeRebuilt(TkelJpegThumbs& owner, const std::vector<uint8_t>& stream) {
  owner.DecodeEmbedded(stream.data(), int32_t(stream.size()), pfStopWhenComplete, 0);
  return owner.Decoder().DecodedPercent();
}

}  // namespace

// APP4 --------------------------------------------------------------------------------------

bool TkelJpegThumbAPP4Handler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp4 && n > 136 && std::any_of(data, data + n, [](uint8_t b) { return b != 0; });
}

void TkelJpegThumbAPP4Handler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  const uint16_t word = Le16(data + 128);
  const bool ownTables = word == 0x0100 || word == 0;
  const int32_t dataStart = ownTables ? 130 : 11;
  std::vector<uint8_t> stream = RebuiltHeader(data, ownTables);
  stream.insert(stream.end(), data + dataStart, data + n);

  SetTemplateSize(stream.data(), 480, 360);
  int32_t percent = DecodeRebuilt(Owner, stream);
  if (percent < 100) {
    SetTemplateSize(stream.data(), 320, 240);
    percent = DecodeRebuilt(Owner, stream);
  }
  if (percent > 5) AddRebuilt(*this, stream, n, percent, GetCaption());
  ScanForJpegs(data, n);
}

// APP5 --------------------------------------------------------------------------------------

bool TkelJpegThumbAPP5Handler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp5 && n > 136 && data[128] == 0 && data[129] == 0 && data[130] == 0 && data[131] == 1 &&
         Le16(data + 132) != 0 && Le16(data + 134) != 0;
}

void TkelJpegThumbAPP5Handler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  std::vector<uint8_t> stream = RebuiltHeader(data, true);
  // The size words are big-endian in the segment and go over as they stand.
  stream[kTemplateHeightOffset] = data[134];
  stream[kTemplateHeightOffset + 1] = data[135];
  stream[kTemplateWidthOffset] = data[132];
  stream[kTemplateWidthOffset + 1] = data[133];
  stream.insert(stream.end(), data + 136, data + n);
  const int32_t percent = DecodeRebuilt(Owner, stream);
  if (percent > 0) AddRebuilt(*this, stream, n, percent, "1");
  ScanForJpegs(data, n);
}

// Samsung -----------------------------------------------------------------------------------

bool TkelJpegThumbSamsungHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp5 && n > 17 && HasText(data, n, 0, "Samsung", 8) && Le16(data + 12) != 0 &&
         Le16(data + 14) == 1;
}

bool TkelJpegThumbSamsungHandler::CanContinue(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp5 && n >= 16 && HasText(data, n, 0, "Samsung", 8) && Le16(data + 12) == ImageId &&
         Le16(data + 14) == NextIndex;
}

void TkelJpegThumbSamsungHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  if (NextIndex == 0) {
    ImageId = Le16(data + 12);
    if (n > 18) Owner.AppendData(18, data + 18, n - 18);
    NextIndex = 2;
    return;
  }
  if (n > 16) Owner.AppendData(16, data + 16, n - 16);
  ++NextIndex;
}

void TkelJpegThumbSamsungHandler::Finish() {
  const uint8_t* joined = Owner.JoinedData();
  const int32_t length = Owner.JoinedLength();
  if (length > 0) {
    Owner.DecodeEmbedded(joined, length, pfStopWhenComplete | pfNoSOI, 0);
    TkelJpegImage& decoder = Owner.Decoder();
    const int32_t percent = decoder.DecodedPercent();
    if (percent > 0) {
      static const uint8_t kSoi[2] = {0xFF, 0xD8};
      const int32_t consumed = Consumed(decoder, size_t(length));
      const int32_t width = decoder.FrameSeen ? decoder.Width : 0;
      const int32_t height = decoder.FrameSeen ? decoder.Height : 0;
      PkelJpegThumb t = Owner.AddThumb(tkJpegNoSOI, 0, consumed, width, height, percent, decoder.TakeBitmap(),
                                       ConsumedCopy(kSoi, 2, joined, consumed), std::string());
      t->JpegID = Owner.CloneDecoderID();
    }
  }
  TkelJpegThumbMultiHandler::Finish();
}

}  // namespace vt
