// The baseline writer's working state, held by each TkelJpegImage.
#pragma once

namespace vt {

struct TkelJpegWriterState {};

}  // namespace vt
