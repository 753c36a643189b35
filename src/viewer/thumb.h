// TvtThumb: one candidate thumbnail of the document: its pixels as found, the orientation and
// crop the user (or the detector) gave it, a cache of the transformed pixels, and where it lies
// over the main image.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bitmap/bitmap32.h"

namespace vt {

class TvtThumbSource;

class TvtThumb {
 public:
  // Joins source's thumbnail list (at its end); takes the bitmap.
  TvtThumb(TvtThumbSource& source, std::unique_ptr<TBitmap32> bitmap);
  // Leaves the source's list.
  ~TvtThumb();
  TvtThumb(const TvtThumb&) = delete;
  TvtThumb& operator=(const TvtThumb&) = delete;

  // The transformed bitmap when an orientation or a crop is set (built on first use), else
  // Bitmap itself. Never null.
  TBitmap32* GetBitmap();
  // Where the transformed thumbnail lies over the main image, in main-image pixels.
  TRect GetBoundsInImage();

  uint8_t GetOrientation() const { return orientation_; }
  int32_t GetCropLeft() const { return cropLeft_; }
  int32_t GetCropTop() const { return cropTop_; }
  int32_t GetCropRight() const { return cropRight_; }
  int32_t GetCropBottom() const { return cropBottom_; }
  // A different value drops the transformed cache and the placement; negative crops become 0.
  void SetOrientation(uint8_t value);
  void SetCropLeft(int32_t value);
  void SetCropTop(int32_t value);
  void SetCropRight(int32_t value);
  void SetCropBottom(int32_t value);

  TvtThumbSource& Source;
  // What kind of picture it was stored as ("JPEG", "RGB", "bitmap"...); empty when unknown.
  std::string Kind;
  std::unique_ptr<TBitmap32> Bitmap;
  std::unique_ptr<TBitmap32> Transformed;
  bool BoundsValid = false;
  TRect BoundsInImage;

 private:
  void Invalidate();
  void SetCrop(int32_t& field, int32_t value);

  uint8_t orientation_ = 0;
  int32_t cropLeft_ = 0, cropTop_ = 0, cropRight_ = 0, cropBottom_ = 0;
};

}  // namespace vt
