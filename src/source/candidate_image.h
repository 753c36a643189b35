// How a deep scan judges the candidates it finds. A card image holds many photos, and decoding
// each into coefficient maps and rendering it at full size for a 120 x 90 preview that the
// command line never shows cost far more than finding them. So a candidate is judged from its
// entropy-coded data alone, and its picture is rendered when the item's preview is first asked
// for. What the scan decides stays exactly what decoding and rendering at once would give; these
// are the pieces that keep it so.
#pragma once

#include <cstdint>
#include <memory>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "source/picture_decode.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {

// The decoder object of the signature phase. While JudgeOnly is set it keeps no coefficients of
// a sequential picture whose render is put off (MayRenderLater): the decoding and what it
// reports are the same, only nothing is stored for a render.
class TvtCandidateImage : public TkelJpegWithThumbs {
 public:
  TvtCandidateImage() : TkelJpegWithThumbs(true, 0) {}
  bool KeepCoefficients() override;
  // Records the complete APPn/COM segments for the writer (as pfRecordSegments does) without
  // the map of every MCU's offsets that the flag also keeps, for a decode nothing edits.
  void DoAppSegment(int marker, int32_t length, const uint8_t* payload, int32_t count) override;
  bool JudgeOnly = false;
  bool RecordsSegmentsOnly = false;
};

// Whether a candidate's picture may be rendered later: a frame of a known height with at most
// kFullFramePixels. Larger ones are rendered at once, as before: their render may fail for lack
// of memory, which gives up the candidate.
bool MayRenderLater(const TkelJpegImage& image);

// For a picture that parsed cleanly and decoded completely: whether rendering it would succeed
// too. Render (jpeg/image.h) fails for a colour model without conversion, and for a frame
// component that never appeared, which a complete picture does not have.
bool RendersCleanly(const TkelJpegImage& image);

// The preview of the JPEG at offset of stream, as the scan would have made it: decoded with
// flags and repair and rendered, turned upright by its Exif orientation, drawn into 120 x 90.
// nullptr when it renders nothing.
std::unique_ptr<TBitmap32> RenderJpegPreview(TStream& stream, uint64_t offset, uint16_t flags, TvtRepair repair);

}  // namespace vt
