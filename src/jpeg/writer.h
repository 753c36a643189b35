// The baseline JPEG writer: writes a loaded image as a plain sequential file (one scan, the
// standard Huffman tables, no restart markers). Decoded blocks keep their coefficients; missing
// blocks, and every MCU of a selection, are encoded from a bitmap.
#pragma once

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "jpeg/parser.h"
#include "jpeg/writer_state.h"

namespace vt {

class TkelJpegImage;

// Fills the writer's component table and MCU geometry from the frame and returns it (the caller
// reads the MCU size from it to build a selection map). Without a frame the table is empty.
const TkelWriterComponentTable& PrepareWriter(TkelJpegImage& image);

// Writes the whole file to stream. bitmap may be null (missing blocks then stay zero) and
// selection may be null. A selection is read like the presence map but by MCU: MCU (x, y) is
// selected when bit (x div 8) mod 8 of the byte at row y div 8, column x div 64 is set.
// Returns false, writing nothing, when the image has no frame. Stream errors propagate.
bool WriteBaselineJpeg(TkelJpegImage& image, TStream& stream, const TBitmap32* bitmap,
                       const TkelAlphaComponentData* selection);

// True when some block of the written file would not come from decoded data (so a bitmap would be
// used to fill it); false when every block was decoded. Prepares the writer like PrepareWriter.
bool HasMissingBlocks(TkelJpegImage& image);

// The same on a parser and a state of the caller's (the image forms use its WriterState).
const TkelWriterComponentTable& PrepareWriter(const TkelBaseJpegParser& parser, TkelJpegWriterState& state);
bool WriteBaselineJpeg(TkelBaseJpegParser& parser, TkelJpegWriterState& state, TStream& stream,
                       const TBitmap32* bitmap, const TkelAlphaComponentData* selection);
bool HasMissingBlocks(const TkelBaseJpegParser& parser, TkelJpegWriterState& state);

}  // namespace vt
