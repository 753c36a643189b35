#include "jpeg/parse_log.h"

#include <atomic>
#include <mutex>

#include "jpeg/jpeg_constants.h"
#include "jpeg/parser.h"

namespace vt {

namespace {

std::atomic<bool> logging{false};
std::mutex lock;
std::vector<TkelParsedFrame> parsed;

}  // namespace

void StartParseLog() {
  std::lock_guard<std::mutex> guard(lock);
  parsed.clear();
  logging = true;
}

std::vector<TkelParsedFrame> StopParseLog() {
  std::lock_guard<std::mutex> guard(lock);
  logging = false;
  return std::move(parsed);
}

void NoteParse(const TkelBaseJpegParser& parser, uint16_t flags) {
  if (!logging.load(std::memory_order_relaxed) || (flags & pfHeadersOnly)) return;
  std::lock_guard<std::mutex> guard(lock);
  if (logging) parsed.push_back({parser.FrameSeen ? parser.Width : 0, parser.FrameSeen ? parser.Height : 0});
}

}  // namespace vt
