// How long a repair takes in the viewer, from the key to the new screen picture: the document's
// edit (decoder maps and rendered pixels patched, or the picture rendered again) plus the image
// view's quick picture for a WIDTH x HEIGHT window; and how long its undo takes.
//
//   mcu_edit_bench FILE [WIDTH HEIGHT]
//
// Prints one line per operation: name; wall and processor milliseconds for the operation with its
// screen picture, the operation alone, wall and processor milliseconds for its undo with its
// picture (bench/mcu_edit.sh compares them with libjpeg's decode of the file).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

#include "source/disc_source.h"
#include "viewer/image_view_core.h"
#include "viewer/open_document.h"
#include "viewer/thumb_source.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Host : vt::IvtImageViewHost {
  void Repaint() override {}
  void UpdateScrollBars() override {}
  void ScrollInView(const vt::TRect&) override {}
};

double Ms(Clock::time_point a) { return std::chrono::duration<double, std::milli>(Clock::now() - a).count(); }

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall time, and the processor time of this thread (what the operation costs on a machine
// whose other cores are busy).
struct TTimes {
  Clock::time_point Start = Clock::now();
  double CpuStart = ThreadCpuMs();
  double Wall() const { return Ms(Start); }
  double Cpu() const { return ThreadCpuMs() - CpuStart; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [WIDTH HEIGHT]\n", argv[0]);
    return 2;
  }
  const int w = argc > 3 ? std::atoi(argv[2]) : 1280, h = argc > 3 ? std::atoi(argv[3]) : 800;
  vt::TvtDiscSource source;
  vt::TvtThumbSource doc;
  const vt::TvtOpened opened = vt::OpenDocument(source, doc, argv[1], {});
  if (opened.Item == nullptr || !doc.CanEditMCUs()) {
    std::fprintf(stderr, "%s: no picture whose MCUs can be edited\n", argv[1]);
    return 1;
  }
  vt::TvtGR32Resizer resizer;
  Host host;
  vt::TvtImageViewCore view(host, &resizer);
  view.SetUseThumbnail(true);
  view.SetSource(&doc);
  view.Picture(w, h);
  const vt::TvtMCUPos first{0, 0}, middle{doc.MCUCols / 2, doc.MCURows / 2};
  const vt::TvtMCUPos second{1, 0};
  // As the window does: the quick picture first, the smooth picture's job after it is shown.
  view.DeferResize = true;
  auto run = [&](const char* name, const std::function<void()>& op) {
    TTimes t;
    op();
    const double editMs = t.Wall();
    view.Invalidate();
    view.Picture(w, h);
    const double wall = t.Wall(), cpu = t.Cpu();
    view.RequestDueResize();
    TTimes u;
    doc.Undo();
    view.Invalidate();
    view.Picture(w, h);
    const double undoWall = u.Wall(), undoCpu = u.Cpu();
    view.RequestDueResize();
    std::printf("%-26s %9.1f %9.1f %9.1f %9.1f %9.1f\n", name, wall, cpu, editMs, undoWall, undoCpu);
  };
  std::printf("%-26s %9s %9s %9s %9s %9s   (%d x %d MCUs; undo keeps up to %d steps in %lld MB)\n", "operation",
              "wall_ms", "cpu_ms", "edit_ms", "undo_wall", "undo_cpu", doc.MCUCols, doc.MCURows, vt::kMaxUndoSteps,
              static_cast<long long>(vt::kUndoBudgetBytes >> 20));
  run("ClearMCU middle", [&] { doc.ClearMCU(middle); });
  run("InsertMCU first", [&] { doc.InsertMCU(first); });
  run("InsertMCURow first", [&] { doc.InsertMCURow(first); });
  run("DeleteMCU second", [&] { doc.DeleteMCU(second); });
  run("DcCorrection middle row", [&] {
    const int32_t shift[4] = {2, 0, 0, 0};
    doc.CorrectDC(middle.Row * doc.MCUCols, doc.MCUCols, shift);
  });
  run("RedecodeFrom middle", [&] { doc.RedecodeFrom(middle, doc.GetMCUOffsets(middle), 0, true); });
  run("RedecodeFrom first", [&] { doc.RedecodeFrom(first, doc.GetMCUOffsets(first), 0, true); });
  run("RealignAutomatically", [&] {
    if (!doc.RealignAutomatically()) std::printf("(the realignment changed nothing)\n");
  });
  // What the undo keeps for the largest steps.
  for (const char* name : {"RedecodeFrom first", "RealignAutomatically"}) {
    doc.History.Clear();
    if (name[0] == 'R' && name[1] == 'e' && name[2] == 'd')
      doc.RedecodeFrom(first, doc.GetMCUOffsets(first), 0, true);
    else
      doc.RealignAutomatically();
    std::printf("undo data of %s: %.1f MB\n", name, double(doc.History.UndoBytes()) / (1 << 20));
  }
  return 0;
}
