// Finding how a thumbnail is turned or mirrored relative to the main image: each of the eight
// orientations is scored by comparing the thumbnail with the main image resampled to its size,
// and the best match wins. Also the process-wide detector component, whose job list is kept
// for the document to clear.
#pragma once

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "bitmap/bitmap32.h"
#include "thumbs/picture_geometry.h"

namespace vt {

// The orientation code (0..7) that, applied to thumb with ApplyOrientation, makes it look most
// like mainImage; 0 when the thumbnail is larger than the main image in both directions or
// either is empty. Transparent pixels of mainImage do not count. thumb is flipped during the
// work and restored; mainImage is left with a Lanczos kernel resampler and the blend draw mode.
int DetectOrientation(TBitmap32& mainImage, TBitmap32& thumb);

class TvtOrientationDetector;

// A queued detection: owns its two bitmaps, and leaves the detector's list when destroyed.
class TvtOrientationDetectorJob {
 public:
  TvtOrientationDetectorJob(TvtOrientationDetector& owner, int32_t id, std::unique_ptr<TBitmap32> mainImage,
                            std::unique_ptr<TBitmap32> thumb);
  ~TvtOrientationDetectorJob();
  TvtOrientationDetectorJob(const TvtOrientationDetectorJob&) = delete;
  TvtOrientationDetectorJob& operator=(const TvtOrientationDetectorJob&) = delete;

  int32_t ID;
  std::unique_ptr<TBitmap32> MainImage;
  std::unique_ptr<TBitmap32> Thumb;
  int Orientation = 0;

 private:
  TvtOrientationDetector& owner_;
};

class TvtOrientationDetector {
 public:
  TvtOrientationDetector() = default;
  ~TvtOrientationDetector();  // frees the jobs; waits for the worker thread if one runs
  TvtOrientationDetector(const TvtOrientationDetector&) = delete;
  TvtOrientationDetector& operator=(const TvtOrientationDetector&) = delete;

  // The job takes its place in Jobs; the detector owns it from then on.
  TvtOrientationDetectorJob* AddJob(int32_t id, std::unique_ptr<TBitmap32> mainImage,
                                    std::unique_ptr<TBitmap32> thumb);
  int32_t JobCount() const { return static_cast<int32_t>(jobs_.size()); }
  TvtOrientationDetectorJob* GetJob(int32_t index) const;  // nullptr outside 0..JobCount-1
  TvtOrientationDetectorJob* JobsByID(int32_t id) const;   // nullptr when absent
  // Frees every job, last first.
  void ClearJobs();

 private:
  friend class TvtOrientationDetectorJob;
  void Remove(TvtOrientationDetectorJob* job);

  std::vector<TvtOrientationDetectorJob*> jobs_;
  std::thread worker_;
};

// The one detector of the process.
TvtOrientationDetector& OrientationDetector();

}  // namespace vt
