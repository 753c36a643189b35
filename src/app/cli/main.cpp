// vantrelle-cli: the viewer's engine without a window, for batch work and scripts.
#include <CLI/CLI.hpp>

#include "cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"vantrelle-cli - decode, inspect and restore damaged JPEG files"};
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
