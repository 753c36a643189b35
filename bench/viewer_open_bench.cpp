// Opening a photo as the viewer does, against Qt's own reader, in one process per run.
//
//   viewer_open_bench ours|qt|qt-scaled FILE [WIDTH HEIGHT]
//
// ours: the viewer's open (viewer/open_document.h) for a WIDTH x HEIGHT window (1280 x 800 by
//       default), as File > Open makes it: the disc source finds and decodes the JPEG, the
//       document takes it over and makes its first picture at the reduction the window needs
//       (thumbnails too), the image view builds its first (quick, nearest-neighbour) picture,
//       and once it is painted asks the resizer for the Lanczos picture (the copy of the quick
//       picture for that job is made then, as in the window), which is waited for (the worker's end; the
//       viewer's 500 ms polling timer is not counted). The window's work after that (where the
//       damage of a damaged file starts, for the status bar) follows and is not timed.
// qt:   QImageReader reads the file, then QImage::scaled(..., Qt::SmoothTransformation) fits it.
// qt-scaled: QImageReader with setScaledSize to the size fitted into the window (libjpeg then
//       decodes at a reduced DCT scale, as Qt image viewers do); that is the first picture, and
//       a smooth scaled() of it to the fitted size the second.
// Prints "first_ms smooth_ms" (milliseconds from the start to each picture).
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

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

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct Host : vt::IvtImageViewHost {
  void Repaint() override {}
  void UpdateScrollBars() override {}
  void ScrollInView(const vt::TRect&) override {}
};

int Ours(const std::string& file, int w, int h) {
  const auto start = Clock::now();
  vt::TvtDiscSource source;
  vt::TvtThumbSource doc;
  doc.PreviewBox = {w, h};
  const vt::TvtOpened opened = vt::OpenDocument(source, doc, file, {});
  if (opened.Item == nullptr) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), opened.Error.c_str());
    return 1;
  }
  vt::TvtGR32Resizer resizer;
  Host host;
  {
    vt::TvtImageViewCore view(host, &resizer);
    view.DeferResize = true;  // as the window: the smooth picture is asked for after the paint
    view.SetEditingEnabled(false);
    view.SetUseThumbnail(true);
    view.SetSource(&doc);
    view.Picture(w, h);
    const auto first = Clock::now();
    view.RequestDueResize();
    while (view.Scaled() == nullptr && view.PendingJob() != 0) {
      resizer.WaitForWorker();
      resizer.Poll();
    }
    const auto smooth = Clock::now();
    // What the window does once the smooth picture is on the screen.
    doc.FinishDamageSearch();
    std::printf("%.1f %.1f\n", Ms(start, first), Ms(start, smooth));
  }
  return 0;
}

int QtReader(const std::string& file, int w, int h, int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const auto start = Clock::now();
  QImageReader reader(QString::fromStdString(file));
  const QImage image = reader.read();
  if (image.isNull()) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), reader.errorString().toStdString().c_str());
    return 1;
  }
  const auto first = Clock::now();
  const QImage scaled = image.scaled(w, h, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  const auto smooth = Clock::now();
  if (scaled.isNull()) return 1;
  std::printf("%.1f %.1f\n", Ms(start, first), Ms(start, smooth));
  return 0;
}

int QtScaledReader(const std::string& file, int w, int h, int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const auto start = Clock::now();
  QImageReader reader(QString::fromStdString(file));
  const QSize fitted = reader.size().scaled(w, h, Qt::KeepAspectRatio);
  reader.setScaledSize(fitted);
  const QImage image = reader.read();
  if (image.isNull()) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), reader.errorString().toStdString().c_str());
    return 1;
  }
  const auto first = Clock::now();
  const QImage scaled = image.scaled(fitted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  const auto smooth = Clock::now();
  if (scaled.isNull()) return 1;
  std::printf("%.1f %.1f\n", Ms(start, first), Ms(start, smooth));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ours|qt|qt-scaled FILE [WIDTH HEIGHT]\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1], file = argv[2];
  const int w = argc > 4 ? std::atoi(argv[3]) : 1280, h = argc > 4 ? std::atoi(argv[4]) : 800;
  if (mode == "ours") return Ours(file, w, h);
  if (mode == "qt" || mode == "qt-scaled") {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return mode == "qt" ? QtReader(file, w, h, argc, argv) : QtScaledReader(file, w, h, argc, argv);
  }
  std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
  return 2;
}
