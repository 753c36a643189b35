// Each subcommand of vantrelle-cli registers itself here; exitCode receives 0 (all files
// fine), 1 (some file could not be processed) or 2 (usage).
#pragma once

namespace CLI {
class App;
}

namespace vt::cli {

void AddInfoCommand(CLI::App& app, int& exitCode);
void AddThumbsCommand(CLI::App& app, int& exitCode);
void AddRenderCommand(CLI::App& app, int& exitCode);
void AddRestoreCommand(CLI::App& app, int& exitCode);

}  // namespace vt::cli
