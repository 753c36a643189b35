// Stages of the baseline writer shared between its files: the marker segments before the scan
// (writer_headers.cpp) and the encoding of an MCU from bitmap pixels (writer_fill.cpp).
#pragma once

#include <cstdint>

#include "bitmap/bitmap32.h"
#include "jpeg/bit_writer.h"
#include "jpeg/parser.h"
#include "jpeg/writer_state.h"

namespace vt {

// SOI, the recorded APPn/COM segments, DQT, SOF, DHT and SOS.
void WriteHeaderSegments(const TkelBaseJpegParser& parser, const TkelJpegWriterState& state,
                         TkelBitWriter& out);

// True when the writer's colour model has a forward conversion for the frame's components
// (grey, RGB, YCbCr, CMYK).
bool HasForwardConversion(const TkelJpegWriterState& state);

// Converts the pixel area of MCU (mcuX, mcuY) into the one-MCU planes; coordinates beyond the
// bitmap repeat its last column or row.
void ConvertMCUPixels(TkelJpegWriterState& state, const TBitmap32& bitmap, int32_t mcuX, int32_t mcuY);

// Averages component c's one-MCU plane down to its blocks (ties to even), transforms and
// quantises them with divisors (natural order, entry x 8) into state.MCUBlocks[c].
void TransformMCUBlocks(TkelJpegWriterState& state, int c, const int32_t* divisors);

// Encodes every MCU of the writer's geometry from the component maps, in row order, with DC
// predictors starting at 0 (left in the table's components). Large pictures are encoded in two
// halves on two threads (state.EncodeThreads) and joined into the same bytes. Stream errors
// propagate.
void EncodeMCUs(const TkelBaseJpegParser& parser, TkelJpegWriterState& state, TkelBitWriter& out);

}  // namespace vt
