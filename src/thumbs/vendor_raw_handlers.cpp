#include "thumbs/vendor_raw_handlers.h"

#include <algorithm>

#include "thumbs/vendor_bytes.h"
#include "thumbs/ycbcr_pixel.h"

namespace vt {

using namespace vendor;

namespace {

constexpr int32_t kScrnailWidth = 320;
constexpr int32_t kScrnailHeight = 240;
constexpr int32_t kScrnailTotal = 3;

}  // namespace

// The YUV 4:2:2 family ------------------------------------------------------------------------

bool TkelJpegThumbBaseHPHandler::Recognised(const TLayout& l, uint8_t marker, const uint8_t* data, int32_t n) {
  return marker == kApp4 && n >= l.HeaderSize && HasText(data, n, 0, l.Signature, 4) &&
         (!l.VersionOne || Be32(data + 4) == 1) && Be32(data + 8) > 0 && Be32(data + 12) > 0 &&
         Be32(data + 20) == 1 && Be32(data + 24) > 0;
}

bool TkelJpegThumbBaseHPHandler::Continues(const TLayout& l, uint8_t marker, const uint8_t* data,
                                           int32_t n) const {
  if (marker != kApp4 || n < l.HeaderSize || !HasText(data, n, 0, l.Signature, 4)) return false;
  if (l.VersionOne && Be32(data + 4) != 1) return false;
  const int32_t index = Be32(data + 20);
  const int32_t total = Be32(data + 24);
  return Be32(data + 8) == Width && Be32(data + 12) == Height && total == SegmentTotal && index == NextIndex &&
         total >= index;
}

void TkelJpegThumbBaseHPHandler::AddNumbered(const TLayout& l, const uint8_t* data, int32_t n) {
  if (SegmentTotal == 0) {
    Width = Be32(data + 8);
    Height = Be32(data + 12);
    SegmentTotal = Be32(data + 24);
    NextIndex = 1;
  }
  if (n > l.HeaderSize) Owner.AppendData(l.HeaderSize, data + l.HeaderSize, n - l.HeaderSize);
  ++NextIndex;
}

void TkelJpegThumbBaseHPHandler::Finish() {
  const uint8_t* joined = Owner.JoinedData();
  const int32_t length = Owner.JoinedLength();
  const int64_t needed = RawBytesNeeded(Width, Height, 2);
  // Sizes come from the file: a picture is only given a bitmap when RawPictureFits agrees, so
  // a few bytes declaring a huge picture add nothing instead of allocating gigabytes.
  if (Width > 0 && Height > 0 && length > 0 && RawPictureFits(Width, Height, needed, length)) {
    auto bitmap = std::make_unique<TBitmap32>(Width, Height);
    bitmap->Clear(0);
    const int64_t used = std::min<int64_t>(length, needed);
    TColor32* out = bitmap->Bits();
    // U, Y0, V, Y1: each Y takes the last U and V read, so Y0 pairs with the previous V.
    int u = 128, v = 128;
    for (int64_t i = 0; i < used; ++i) {
      switch (i & 3) {
        case 0: u = joined[i]; break;
        case 2: v = joined[i]; break;
        default: out[i >> 1] = YCbCrPixel(joined[i], u, v); break;
      }
    }
    Owner.AddThumb(tkYCbCr, 0, int32_t(used), Width, Height, RawCompleteness(length, needed), std::move(bitmap),
                   nullptr, GetCaption());
  }
  TkelJpegThumbMultiHandler::Finish();
}

namespace {
constexpr char kH3X0[] = "H3X0";
constexpr char kHPSC[] = "HPSC";
}  // namespace

bool TkelJpegThumbH3X0Handler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return Recognised({kH3X0, 28, false}, marker, data, n);
}
bool TkelJpegThumbH3X0Handler::CanContinue(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return Continues({kH3X0, 28, false}, marker, data, n);
}
void TkelJpegThumbH3X0Handler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AddNumbered({kH3X0, 28, false}, data, n);
}

bool TkelJpegThumbHPSCHandler1::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return Recognised({kHPSC, 32, true}, marker, data, n);
}
bool TkelJpegThumbHPSCHandler1::CanContinue(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return Continues({kHPSC, 32, true}, marker, data, n);
}
void TkelJpegThumbHPSCHandler1::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AddNumbered({kHPSC, 32, true}, data, n);
}

bool TkelJpegThumbHPSCHandler2::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return Recognised({kHPSC, 36, false}, marker, data, n);
}
bool TkelJpegThumbHPSCHandler2::CanContinue(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return Continues({kHPSC, 36, false}, marker, data, n);
}
void TkelJpegThumbHPSCHandler2::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AddNumbered({kHPSC, 36, false}, data, n);
}

bool TkelJpegThumbSCRNAILHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp4 && n > 8 && HasText(data, n, 0, "SCRNAIL", 8);
}
bool TkelJpegThumbSCRNAILHandler::CanContinue(uint8_t marker, const uint8_t*, int32_t, int32_t) {
  return marker == kApp4;
}
void TkelJpegThumbSCRNAILHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  if (SegmentTotal == 0) {
    Width = kScrnailWidth;
    Height = kScrnailHeight;
    SegmentTotal = kScrnailTotal;
    if (n > 8) Owner.AppendData(8, data + 8, n - 8);
  } else {
    Owner.AppendData(0, data, n);
  }
}

// Prv -----------------------------------------------------------------------------------------

bool TkelJpegThumbPrvHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  if (marker != kApp10 || n < 10 || !HasText(data, n, 0, "prv0", 4) || Le16(data + 4) == 0) return false;
  const uint16_t w = Be16(data + 6), h = Be16(data + 8);
  return w >= 1 && w <= 1999 && h >= 1 && h <= 1999;
}

bool TkelJpegThumbPrvHandler::CanContinue(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return SegmentIndex < PieceCount && marker == kApp10 && n >= 4 && HasText(data, n, 0, "prv", 3) &&
         data[3] == uint8_t(0x30 + SegmentIndex);
}

void TkelJpegThumbPrvHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  if (SegmentIndex == 0) {
    // A "prv0" that continues an instance whose table was cut off (the numbering still at 0)
    // is read as a first segment again; only the first one passed CanHandle, so a later one
    // may be too short for the header or count no pieces: it adds nothing then.
    if (n < 10 || Be16(data + 4) == 0) return;
    PieceCount = Be16(data + 4);
    Width = Be16(data + 6);
    Height = Be16(data + 8);
    const int64_t tableEnd = 10 + int64_t(PieceCount - 1) * 8;
    if (n < tableEnd) return;  // the piece table is cut off: nothing more, numbering stays
    PieceTails.resize(size_t(PieceCount - 1));
    for (int32_t i = 0; i + 1 < PieceCount; ++i) std::copy_n(data + 10 + i * 8, 8, PieceTails[size_t(i)].begin());
    tailTableOffset_ = int32_t(Owner.SegmentDataOffset()) + 10;
    if (n > tableEnd) Owner.AppendData(int32_t(tableEnd), data + tableEnd, n - int32_t(tableEnd));
  } else {
    if (n > 4) Owner.AppendData(4, data + 4, n - 4);
  }
  // One tail per piece, right after it; the block map points at the tail's place in the table.
  if (SegmentIndex < PieceCount - 1) {
    const int32_t tailAt = tailTableOffset_ + SegmentIndex * 8;
    Owner.AppendData(tailAt - int32_t(Owner.SegmentDataOffset()), PieceTails[size_t(SegmentIndex)].data(), 8);
  }
  ++SegmentIndex;
}

void TkelJpegThumbPrvHandler::Finish() {
  AddRGBThumb(Owner.JoinedData(), 0, Owner.JoinedLength(), Width, Height, std::string());
  TkelJpegThumbMultiHandler::Finish();
}

}  // namespace vt
