// Exif (APP1 "Exif\0\0" + TIFF header): walks the IFD chain, fills the collection's Exif facts,
// adds the thumbnail of each IFD (JPEG, uncompressed RGB or YCbCr strips), registers compressed
// strips and Olympus previews as post thumbnails, decodes the KYOCERA-family and BK maker-note
// previews, then scans the whole segment for further JPEG streams.
#pragma once

#include <vector>

#include "thumbs/thumb_handler.h"
#include "thumbs/tiff_reader.h"

namespace vt {

class TkelJpegThumbExifHandler : public TkelJpegThumbHandler {
 public:
  using TkelJpegThumbHandler::TkelJpegThumbHandler;
  static bool CanHandle(uint8_t marker, const uint8_t* data, int32_t declaredLength,
                        int32_t availableLength);
  void AddSegment(int64_t segmentOffset, uint8_t marker, const uint8_t* data,
                  int32_t declaredLength, int32_t availableLength) override;

 private:
  struct Walk;
  void WalkChain(Walk& walk, int64_t ifdOffset, bool topLevel);
  void MakerNote(Walk& walk, const TTiffEntry& entry);
  void KyoceraNote(Walk& walk, const uint8_t* note, int64_t length);
  void BkNote(Walk& walk, const uint8_t* note, int64_t length);
  void OlympusNote(Walk& walk, const uint8_t* note, int64_t length, int64_t noteInJpeg);
  // Decodes a header template + body with the shared decoder; adds a tkJpeg record of the given
  // offset and size (in the segment data) when anything decoded.
  void AddTemplatedPreview(std::vector<uint8_t> stream, int32_t offset, int32_t size,
                           const char* caption);
  // Whether another maker-note preview may be decoded in this segment (see exif_maker_notes.cpp).
  bool MayDecodePreview(int32_t offset);

  // Each templated preview is a full 640 x 480 decode; a segment gets a few tries at most.
  static constexpr int32_t kMaxPreviewDecodes = 4;
  int32_t previewDecodes_ = 0;
};

}  // namespace vt
