// The collection's life and its private decoder for embedded pictures.
#include "jpeg/image.h"
#include "jpeg/jpeg_id.h"
#include "thumbs/jpeg_thumbs.h"
#include "thumbs/thumb_handler.h"

namespace vt {

TkelJpegThumbs::TkelJpegThumbs(bool allMPImages) : allMPImages_(allMPImages) {}

TkelJpegThumbs::~TkelJpegThumbs() {
  handler_.reset();
  Clear();
}

TkelJpegImage& TkelJpegThumbs::Decoder() {
  if (!decoder_) decoder_ = std::make_unique<TkelJpegImage>(0);
  return *decoder_;
}

TTempMemoryStream& TkelJpegThumbs::TempStream() {
  if (!tempStream_) tempStream_ = std::make_unique<TTempMemoryStream>();
  return *tempStream_;
}

int32_t TkelJpegThumbs::DecodeEmbedded(const uint8_t* data, int32_t length, uint32_t flags,
                                       uint8_t colorModel) {
  TTempMemoryStream& stream = TempStream();
  stream.SetPointer(data, length < 0 ? 0 : length);
  stream.SetPosition(0);
  return Decoder().LoadFromStream(stream, uint16_t(flags), colorModel);
}

std::unique_ptr<TkelJpegID> TkelJpegThumbs::CloneDecoderID() {
  TkelJpegImage& decoder = Decoder();
  if (!decoder.ID) return nullptr;
  return decoder.ID->Clone();
}

}  // namespace vt
