// The one decode of a picture that is shown, judged or restored. Every road that reads a main
// image's data comes here: the disc source judging a candidate (and keeping its decode for the
// document), a scan marker tried with a header set, the document, a preview made when first
// asked for, and the command line. The picture's embedded thumbnails are decoded with it (the
// image is a TkelJpegWithThumbs), so that whatever works on the decoded picture finds them at
// hand. Engine code: no Qt here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/stream.h"
#include "repair/repair_report.h"

namespace vt {

class TkelJpegWithThumbs;
class TvtSubItem;

// How a decoded picture is repaired: none (the decoder's own resynchronisation at restart
// markers only) or automatically (realignment of the data that follows damage).
enum class TvtRepair : uint8_t { None, Auto };

// "none" or "auto"; false for anything else.
bool ParseRepair(const std::string& text, TvtRepair& repair);

// What a decode renders while its data decodes (jpeg/image.h): nothing, the picture at the
// planes' size for the document's first render, the reduced picture of a document that shows
// the picture fitted (at the reduction its options name), or the image's own bitmap at frame size.
enum class TvtRender : uint8_t { None, Planes, Reduced, Frame };

// For TvtRender::Reduced: the reduction 1/2^shift of a frame of width x height (0: none).
using TvtReduction = std::function<int(int32_t width, int32_t height)>;

// Decodes the picture at offset of stream into image, with its embedded thumbnails. With a
// headerStream (a replacement header: headers that are not in stream), the headers are read
// from its start (pfHeadersOnly) and the data from offset is resumed at the scan
// (pfResumeAtScan); when the headers do not read (a result other than jrOK) that result is
// returned and the data is not read. flags: the other parse flags of the data. The picture is
// then repaired as asked (picture_repair.h); report, when given, receives what was done, with
// the search for where the damage starts put off when deferDamageSearch is set.
// Returns the parse result. Read errors of the streams propagate.
int DecodePicture(TkelJpegWithThumbs& image, TStream* headerStream, TStream& stream, uint64_t offset, uint16_t flags,
                  TvtRepair repair, repair::TRepairReport* report = nullptr, bool deferDamageSearch = false);
// The same for an item or sub-item: its HeaderStream, Stream and Offset.
int DecodeItem(TkelJpegWithThumbs& image, const TvtSubItem& item, uint16_t flags, TvtRepair repair,
               repair::TRepairReport* report = nullptr);

}  // namespace vt
