// Inputs of the micro-benchmarks, made inside the program: a photo-like picture (smooth
// gradients plus noise) and its JPEG encodings, so that no binary file is committed.
#pragma once

#include <cstdint>
#include <vector>

namespace vt::bench {

using Bytes = std::vector<uint8_t>;

// RGB triplets, row by row: gradients, a few soft shapes and deterministic noise.
Bytes PhotoRgb(int width, int height);

// The picture as a 4:2:0 JPEG at quality 92 (libjpeg-turbo, a peer, encodes it here only to make
// an input), baseline or progressive.
Bytes PhotoJpeg(int width, int height, bool progressive);

}  // namespace vt::bench
