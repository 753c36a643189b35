#include "thumbs/orientation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vt {
namespace {

double LongToShort(int32_t w, int32_t h) {
  return w < h ? static_cast<double>(h) / w : static_cast<double>(w) / h;
}

// Resamples the whole main image into the whole work bitmap (already sized).
void DrawResampled(TBitmap32& mainImage, TBitmap32& work) {
  work.Clear(0);
  if (work.Empty()) return;
  mainImage.SetResampler(std::make_unique<TKernelResampler>(std::make_unique<TLanczosKernel>()));
  mainImage.DrawMode = dmBlend;
  mainImage.DrawTo(work, work.BoundsRect(), mainImage.BoundsRect());
}

// Sum of |dR| + |dG| + |dB| over two equally sized pixel arrays.
uint64_t ColourDistance(const TColor32* a, const TColor32* b, size_t count) {
  uint64_t sum = 0;
  const uint8_t* pa = reinterpret_cast<const uint8_t*>(a);
  const uint8_t* pb = reinterpret_cast<const uint8_t*>(b);
  for (size_t i = 0; i < count; ++i, pa += 4, pb += 4) {
    // Memory order B, G, R, A: alpha (byte 3) is left out.
    const int d0 = pa[0] - pb[0], d1 = pa[1] - pb[1], d2 = pa[2] - pb[2];
    sum += static_cast<uint32_t>((d0 < 0 ? -d0 : d0) + (d1 < 0 ? -d1 : d1) + (d2 < 0 ? -d2 : d2));
  }
  return sum;
}

class TComparer {
 public:
  TComparer(TBitmap32& thumb, const TBitmap32& work)
      : thumb_(thumb), work_(work), canvas_(thumb.Width(), thumb.Height()) {
    x0_ = (thumb.Width() - work.Width()) / 2;
    y0_ = (thumb.Height() - work.Height()) / 2;
  }

  // The thumbnail against the work bitmap laid over it: transparent work pixels let the
  // thumbnail through, the bands beside a narrower or lower work bitmap are opaque black.
  uint64_t Compare() {
    canvas_.Clear(0);
    thumb_.DrawTo(canvas_, 0, 0);
    work_.DrawTo(canvas_, x0_, y0_);
    const int32_t cw = canvas_.Width(), ch = canvas_.Height();
    if (work_.Width() < cw) {
      canvas_.FillRect(0, 0, x0_, ch, clBlack32);
      canvas_.FillRect(x0_ + work_.Width(), 0, cw, ch, clBlack32);
    }
    if (work_.Height() < ch) {
      canvas_.FillRect(0, 0, cw, y0_, clBlack32);
      canvas_.FillRect(0, y0_ + work_.Height(), cw, ch, clBlack32);
    }
    return ColourDistance(thumb_.Bits(), canvas_.Bits(), static_cast<size_t>(cw) * static_cast<size_t>(ch));
  }

 private:
  TBitmap32& thumb_;
  const TBitmap32& work_;
  TBitmap32 canvas_;
  int32_t x0_ = 0, y0_ = 0;
};

}  // namespace

int DetectOrientation(TBitmap32& m, TBitmap32& t) {
  if (m.Width() < t.Width() && m.Height() < t.Height()) return 0;
  if (m.Empty() || t.Empty()) return 0;

  uint64_t d[8];
  std::fill(std::begin(d), std::end(d), std::numeric_limits<uint64_t>::max());
  TBitmap32 work;
  work.DrawMode = dmBlend;

  // Unrotated pass.
  {
    const bool mPortrait = m.Width() < m.Height();
    const bool tPortrait = t.Width() < t.Height();
    TPictureSize size{t.Width(), t.Height()};
    if (mPortrait != tPortrait ||
        !(std::fabs(LongToShort(m.Width(), m.Height()) - LongToShort(t.Width(), t.Height())) < 0.05))
      size = FitSize(m.Width(), m.Height(), t.Width(), t.Height());
    work.SetSize(size.Width, size.Height);
    DrawResampled(m, work);
    TComparer cmp(t, work);
    d[0] = cmp.Compare();
    t.FlipHorizontal();
    d[1] = cmp.Compare();
    t.FlipVertical();
    d[2] = cmp.Compare();
    t.FlipHorizontal();
    d[3] = cmp.Compare();
    t.FlipVertical();
  }

  // Rotated pass: the main image turned a quarter clockwise.
  {
    const bool mLandscape = m.Height() < m.Width();
    const bool tPortrait = t.Width() < t.Height();
    TPictureSize size{t.Height(), t.Width()};
    if (mLandscape != tPortrait ||
        !(std::fabs(LongToShort(m.Width(), m.Height()) - LongToShort(t.Width(), t.Height())) < 0.05))
      size = FitSize(m.Width(), m.Height(), t.Height(), t.Width());
    work.SetSize(size.Width, size.Height);
    DrawResampled(m, work);
    work.TurnClockwise();
    TComparer cmp(t, work);
    d[7] = cmp.Compare();
    t.FlipVertical();
    d[6] = cmp.Compare();
    t.FlipHorizontal();
    d[5] = cmp.Compare();
    t.FlipVertical();
    d[4] = cmp.Compare();
    t.FlipHorizontal();
  }

  int best = 0;
  for (int k = 1; k < 8; ++k)
    if (d[k] < d[best]) best = k;
  return best;
}

TvtOrientationDetectorJob::TvtOrientationDetectorJob(TvtOrientationDetector& owner, int32_t id,
                                                     std::unique_ptr<TBitmap32> mainImage,
                                                     std::unique_ptr<TBitmap32> thumb)
    : ID(id), MainImage(std::move(mainImage)), Thumb(std::move(thumb)), owner_(owner) {}

TvtOrientationDetectorJob::~TvtOrientationDetectorJob() { owner_.Remove(this); }

TvtOrientationDetector::~TvtOrientationDetector() {
  if (worker_.joinable()) worker_.join();
  ClearJobs();
}

TvtOrientationDetectorJob* TvtOrientationDetector::AddJob(int32_t id, std::unique_ptr<TBitmap32> mainImage,
                                                          std::unique_ptr<TBitmap32> thumb) {
  auto* job = new TvtOrientationDetectorJob(*this, id, std::move(mainImage), std::move(thumb));
  jobs_.push_back(job);
  return job;
}

TvtOrientationDetectorJob* TvtOrientationDetector::GetJob(int32_t index) const {
  if (index < 0 || index >= JobCount()) return nullptr;
  return jobs_[static_cast<size_t>(index)];
}

TvtOrientationDetectorJob* TvtOrientationDetector::JobsByID(int32_t id) const {
  for (TvtOrientationDetectorJob* job : jobs_)
    if (job->ID == id) return job;
  return nullptr;
}

void TvtOrientationDetector::ClearJobs() {
  // Each job leaves the list as it is destroyed.
  while (!jobs_.empty()) delete jobs_.back();
}

void TvtOrientationDetector::Remove(TvtOrientationDetectorJob* job) {
  auto it = std::find(jobs_.begin(), jobs_.end(), job);
  if (it != jobs_.end()) jobs_.erase(it);
}

TvtOrientationDetector& OrientationDetector() {
  static TvtOrientationDetector detector;
  return detector;
}

}  // namespace vt
