// A record of the pictures the decoder parses, for the tests that check how often an open
// decodes each picture (the main image and each thumbnail: once). Off unless started; while it
// runs, every load that reads picture data (not headers only) adds the frame it parsed, from any
// thread.
#pragma once

#include <cstdint>
#include <vector>

namespace vt {

class TkelBaseJpegParser;

struct TkelParsedFrame {
  int32_t Width = 0;  // 0 x 0: no frame header was read
  int32_t Height = 0;
  bool operator==(const TkelParsedFrame&) const = default;
};

// Empties the record and starts it.
void StartParseLog();
// Stops the record and returns what it holds, in the order parsed.
std::vector<TkelParsedFrame> StopParseLog();
// Called by the parser after each load (cheap while the record is off).
void NoteParse(const TkelBaseJpegParser& parser, uint16_t flags);

}  // namespace vt
