#include "thumbs/thumb_types.h"

#include <cstdio>

#include "jpeg/jpeg_id.h"

namespace vt {

TkelJpegThumb::TkelJpegThumb() = default;
TkelJpegThumb::~TkelJpegThumb() = default;
TkelJpegThumb::TkelJpegThumb(TkelJpegThumb&&) noexcept = default;
TkelJpegThumb& TkelJpegThumb::operator=(TkelJpegThumb&&) noexcept = default;

std::string TkelDateTime::ToString() const {
  if (IsZero()) return std::string();
  char text[32];
  std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", Year, Month, Day, Hour, Minute,
                Second);
  return text;
}

}  // namespace vt
