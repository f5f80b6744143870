#pragma once

#include <CLI/CLI.hpp>

namespace velmora::cli {

// Each command registers itself on the tool's command line.
void addTablesCommand(::CLI::App& app);
void addDumpCommand(::CLI::App& app);
void addLetraCommand(::CLI::App& app);
void addScriptCommand(::CLI::App& app);
void addBrowseCommand(::CLI::App& app);

}  // namespace velmora::cli
