// The thumbnail handlers' base classes. A handler class recognises one segment layout (marker
// plus signature); an instance lives for one run of segments that the class accepts, gathers
// their bytes and turns them into records of the owning TkelJpegThumbs.
//
// Writing a handler:
//   class TkelJpegThumbFooHandler : public TkelJpegThumbMultiHandler {   // or ...Handler
//    public:
//     using TkelJpegThumbMultiHandler::TkelJpegThumbMultiHandler;
//     static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declared, int32_t available);
//     void AddSegment(...) override;  // and Finish / CanContinue / GetCaption as needed
//   };
// and register it with ThumbHandlerClass<TkelJpegThumbFooHandler>("Foo") (handler_registry.h).
// CanHandle is class-level (asked before an instance exists); IsMulti comes from the base:
// TkelJpegThumbHandler answers false, TkelJpegThumbMultiHandler true.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "thumbs/jpeg_thumbs.h"

namespace vt {

class TkelJpegThumbHandler;

using TkelJpegThumbCanHandle = bool (*)(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                                        int32_t availableLength);

// What the registry knows of a handler class.
struct TkelJpegThumbHandlerClass {
  const char* Name = "";
  TkelJpegThumbCanHandle CanHandle = nullptr;
  bool IsMulti = false;
  std::unique_ptr<TkelJpegThumbHandler> (*Create)(TkelJpegThumbs& owner) = nullptr;
};

template <class T>
TkelJpegThumbHandlerClass ThumbHandlerClass(const char* name) {
  TkelJpegThumbHandlerClass c;
  c.Name = name;
  c.CanHandle = &T::CanHandle;
  c.IsMulti = T::kIsMulti;
  c.Create = [](TkelJpegThumbs& owner) -> std::unique_ptr<TkelJpegThumbHandler> {
    return std::make_unique<T>(owner);
  };
  return c;
}

// Raw pictures: bytes needed for width x height pixels of bytesPerPixel (64-bit, no overflow).
int64_t RawBytesNeeded(int32_t width, int32_t height, int64_t bytesPerPixel, int64_t extra = 0);
// Completeness of a raw picture: 100 when available >= needed, else
// round(available x 100 / needed) (halves to even), 99 instead of 100.
int32_t RawCompleteness(int64_t available, int64_t needed);
// Whether a raw picture of width x height may be given a bitmap: both sizes positive, at most
// kFullFramePixels, and either at most kRawAnyPixels or needing no more than kRawBytesPerDataByte
// times the bytes that are available (base/limits.h). Keeps a few bytes that declare a huge
// picture from allocating gigabytes.
bool RawPictureFits(int32_t width, int32_t height, int64_t needed, int64_t available);

class TkelJpegThumbHandler {
 public:
  static constexpr bool kIsMulti = false;

  explicit TkelJpegThumbHandler(TkelJpegThumbs& owner) : Owner(owner) {}
  virtual ~TkelJpegThumbHandler() = default;
  TkelJpegThumbHandler(const TkelJpegThumbHandler&) = delete;
  TkelJpegThumbHandler& operator=(const TkelJpegThumbHandler&) = delete;

  // The class this instance was created from (set by the collection).
  const TkelJpegThumbHandlerClass* Class = nullptr;
  bool IsMulti() const { return Class != nullptr && Class->IsMulti; }

  virtual std::string GetCaption() { return std::string(); }
  // Whether a further segment belongs to this instance. Default: the class's CanHandle.
  virtual bool CanContinue(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                           int32_t availableLength);
  // data points after the segment's length field; segmentOffset is the offset of its FF byte
  // from the start of the JPEG. Read only availableLength bytes. Default: ScanForJpegs.
  virtual void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data,
                          int32_t declaredLength, int32_t availableLength);
  // Default: ScanForJpegs over the joined data.
  virtual void Finish();

  TkelJpegThumbs& Owner;
  // Offsets of the JPEG pictures this instance has added.
  std::vector<int32_t> AddedOffsets;

  bool IsNewOffset(int32_t offset) const;
  // Decodes the JPEG stream at data (length bytes) and adds it; offset is its position in the
  // handler's data. Returns the record, or nullptr when nothing decoded.
  PkelJpegThumb AddJpegAt(const uint8_t* data, int32_t offset, int32_t length, uint8_t colorModel,
                          const std::string& caption);
  // Finds and adds every JPEG stream inside the bytes (data is at offset 0 of the handler's data).
  void ScanForJpegs(const uint8_t* data, int32_t length);
  // Finds and adds every PNG picture inside the bytes.
  void ScanForPngs(const uint8_t* data, int32_t length);
  // Raw pictures; each returns the record or nullptr when nothing was added.
  PkelJpegThumb AddRGBThumb(const uint8_t* data, int32_t offset, int32_t length, int32_t width,
                            int32_t height, const std::string& caption);
  PkelJpegThumb AddPaletteThumb(const uint8_t* data, int32_t offset, int32_t length, int32_t width,
                                int32_t height, const std::string& caption);
  PkelJpegThumb AddYCbCrThumb(const uint8_t* data, int32_t offset, int32_t length, int32_t width,
                              int32_t height, int32_t subsamplingH, int32_t subsamplingV,
                              const std::string& caption);
};

class TkelJpegThumbMultiHandler : public TkelJpegThumbHandler {
 public:
  static constexpr bool kIsMulti = true;
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
};

// Accepts every segment and scans it for embedded JPEG streams: the fallback.
class TkelJpegThumbBaseHandler : public TkelJpegThumbHandler {
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t, const uint8_t*, int32_t, int32_t) { return true; }
};

}  // namespace vt
