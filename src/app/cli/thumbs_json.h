// The thumbnail part of the command line's JSON: the Exif facts, the orientation and the list of
// embedded thumbnails of a file loaded through TkelJpegWithThumbs.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace vt {
class TkelJpegWithThumbs;
class TBitmap32;
}  // namespace vt

namespace vt::cli {

// Exif strings are bytes of any code: valid UTF-8 stays as it is, anything else is read as
// Latin-1.
std::string ExifText(const std::string& bytes);

// {"make", "model", "description", "date_time", "date_time_original", "date_time_digitized"}.
nlohmann::json ExifJson(TkelJpegWithThumbs& image);

// The thumbnails in their current order (callers sort them by area first), each with kind,
// caption, width, height, completeness, offset, size, is_post, orientation (against mainImage,
// 0 when it is null) and blocks.
nlohmann::json ThumbnailsJson(TkelJpegWithThumbs& image, TBitmap32* mainImage);

// Adds "orientation", "exif" and "thumbnails" to a file's JSON object. image must have been
// loaded with LoadFromStream; its thumbnails are sorted by area here.
void AddThumbnailKeys(nlohmann::json& object, TkelJpegWithThumbs& image, TBitmap32* mainImage);
// The same for an image loaded without rendering: the main image is rendered here when some
// thumbnail needs it for its orientation.
void AddThumbnailKeys(nlohmann::json& object, TkelJpegWithThumbs& image);

// The same for an image loaded from its headers alone (source/headers_only.h): a thumbnail's
// "orientation" is given only when it needs no main image pixels (no pixels of its own, or larger
// than the frame both ways: 0); otherwise the key is left out.
nlohmann::json ThumbnailsJsonWithoutPixels(TkelJpegWithThumbs& image);
void AddHeaderThumbnailKeys(nlohmann::json& object, TkelJpegWithThumbs& image);

}  // namespace vt::cli
