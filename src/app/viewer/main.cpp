// vantrelle: the desktop viewer. Start-up readies the engine's process-wide parts before the
// window (the thumbnail handler registry, the colour tables, the pool of decoding workers), lets
// Qt scale for each monitor's DPI, creates and shows the main window, runs the event loop, and
// from it opens the file when exactly one argument is given. Shut-down destroys the window, waits for the
// resizer's worker, and empties the working folder "Vantrelle/" in the temporary folder; the
// decoding workers are joined as the process ends.
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jpeg/color_tables.h"
#include "source/vt_common.h"
#include "thumbs/handler_registry.h"
#include "viewer/resizer.h"
#include "viewer/widgets/app_identity.h"
#include "viewer/widgets/main_form.h"
#include "viewer/widgets/resizer_timer.h"

#ifndef VT_VERSION
#define VT_VERSION "0"
#endif

namespace {

const char kHelp[] =
    "Usage: vantrelle [FILE]\n"
    "\n"
    "Vantrelle viewer shows a JPEG photo, also a damaged one: what the decoder cannot read is\n"
    "filled from the thumbnail stored inside the file. With FILE, the viewer opens it at once;\n"
    "with no file (or more than one), it starts empty: open a file with File > Open (Ctrl+O)\n"
    "or drop one on the window. File > Save As (Ctrl+S) writes a restored copy.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)) {
    std::printf("vantrelle %s\n", VT_VERSION);
    return 0;
  }

  vt::TkelJpegThumbHandlerRegistry::Instance();
  vt::ColorTables();

  QApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication app(argc, argv);
  vt::SetUpApplicationIdentity(VT_VERSION);
  vt::InstallResizerTimer();

  int status = 0;
  {
    // QApplication has taken out its own options; the rest are ours, with their bytes as given.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // The window shows first, so that what the open says (an error box among it) stands in
    // front of the window that names the file.
    vt::TMainForm form;
    form.show();
    QTimer::singleShot(0, &form, [&form, arguments] { form.OpenCommandLine(arguments); });
    status = QApplication::exec();
  }
  vt::FinalizeGR32Resizer();
  vt::FinalizeVtCommon();
  return status;
}
