// How long the image view takes to paint a 24-megapixel photo at the scales a user zooms and
// scrolls through, against Qt's QPainter::drawImage of the same picture into the same window, in
// one run. Each paint rebuilds the whole client picture (as a scroll or zoom step does).
//
//   view_paint_bench FILE [WIDTH HEIGHT]
//
// Prints, per case, "case ours_ms qt_ms" (milliseconds per paint, mean of the repeats); one frame
// at 60 Hz is 16.7 ms.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "source/disc_source.h"
#include "viewer/image_view_core.h"
#include "viewer/open_document.h"
#include "viewer/resizer.h"
#include "viewer/thumb_source.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Host : vt::IvtImageViewHost {
  void Repaint() override {}
  void UpdateScrollBars() override {}
  void ScrollInView(const vt::TRect&) override {}
};

QImage Wrap(const vt::TBitmap32& b) {
  return QImage(reinterpret_cast<const uchar*>(b.Bits()), b.Width(), b.Height(), qsizetype(b.Width()) * 4,
                QImage::Format_ARGB32);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [WIDTH HEIGHT]\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int w = argc > 3 ? std::atoi(argv[2]) : 1280, h = argc > 3 ? std::atoi(argv[3]) : 800;
  vt::TvtDiscSource source;
  vt::TvtThumbSource doc;
  doc.PreviewBox = {w, h};
  if (vt::OpenDocument(source, doc, argv[1], {}).Item == nullptr) return 1;
  vt::TvtGR32Resizer resizer;
  Host host;
  vt::TvtImageViewCore view(host, &resizer);
  view.SetEditingEnabled(false);
  view.SetUseThumbnail(true);
  view.SetSource(&doc);
  view.Picture(w, h);
  const vt::TPictureSize image = doc.ImageSize();
  QImage window(w, h, QImage::Format_ARGB32_Premultiplied);
  constexpr int kRepeats = 20;
  std::printf("%-14s %8s %8s\n", "case", "ours_ms", "qt_ms");
  for (double percent : {0.0, 25.0, 50.0, 100.0, 400.0}) {
    if (percent == 0)
      view.FitToWindow();
    else
      view.ZoomAt(percent, w / 2, h / 2);
    view.Picture(w, h);  // the full image is made here once when the scale needs it
    const vt::TPictureSize content = percent == 0 ? vt::TPictureSize{int32_t(image.Width * view.FitScale() / 100),
                                                                     int32_t(image.Height * view.FitScale() / 100)}
                                                  : view.ContentSize();
    auto start = Clock::now();
    for (int i = 0; i < kRepeats; ++i) {
      // A scroll step: the picture moves and is rebuilt.
      view.SetScroll(i * 7 % std::max(1, content.Width - w + 1), i * 5 % std::max(1, content.Height - h + 1));
      view.Invalidate();
      view.Picture(w, h);
    }
    const double ours = std::chrono::duration<double, std::milli>(Clock::now() - start).count() / kRepeats;
    // Qt: the same source picture drawn scaled into the window by nearest neighbour.
    const vt::TBitmap32& shown = doc.Preview() && view.FitScale() * (1 << doc.PreviewShift()) <= 100.0
                                     ? *doc.Preview()
                                     : *doc.MainImage();
    const QImage src = Wrap(shown);
    start = Clock::now();
    for (int i = 0; i < kRepeats; ++i) {
      QPainter p(&window);
      const QRectF target(-(i * 7 % std::max(1, content.Width - w + 1)), -(i * 5 % std::max(1, content.Height - h + 1)),
                          content.Width, content.Height);
      p.drawImage(target, src, QRectF(0, 0, shown.Width(), shown.Height()));
    }
    const double qt = std::chrono::duration<double, std::milli>(Clock::now() - start).count() / kRepeats;
    std::printf("%-14s %8.2f %8.2f\n", percent == 0 ? "fitted" : (std::to_string(int(percent)) + "%").c_str(), ours,
                qt);
  }
  return 0;
}
