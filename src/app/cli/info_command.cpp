#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace vt::cli {

void AddInfoCommand(CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("info", "Print what a JPEG file holds and how much of it decodes");
  auto files = std::make_shared<std::vector<std::string>>();
  auto json = std::make_shared<bool>(false);
  cmd->add_option("FILE", *files, "JPEG files")->required();
  cmd->add_flag("--json", *json, "Print JSON (one object per file, an array for several)");
  cmd->callback([files, json, &exitCode]() {
    for (const auto& f : *files) std::cerr << f << ": the decoder is not built yet\n";
    exitCode = 1;
  });
}

}  // namespace vt::cli
