// vantrelle-cli: the viewer's engine without a window, for batch work and scripts.
#include <CLI/CLI.hpp>

#include "cli/commands.h"

#ifndef VT_VERSION
#define VT_VERSION "0"
#endif

int main(int argc, char** argv) {
  CLI::App app{"vantrelle-cli - decode, inspect and restore damaged JPEG files"};
  app.set_version_flag("--version", std::string("vantrelle-cli ") + VT_VERSION);
  app.require_subcommand(1);
  int exitCode = 0;
  vt::cli::AddInfoCommand(app, exitCode);
  vt::cli::AddThumbsCommand(app, exitCode);
  vt::cli::AddRenderCommand(app, exitCode);
  vt::cli::AddRestoreCommand(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? 0 : 2;
  }
  return exitCode;
}
