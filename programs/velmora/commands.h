#pragma once

#include <CLI/CLI.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "dictionary/status.h"

namespace velmora::db {
class Storage;
}

namespace velmora::cli {

// Each command registers itself on the tool's command line.
void addTablesCommand(::CLI::App& app);
void addDumpCommand(::CLI::App& app);
void addLetraCommand(::CLI::App& app);
void addScriptCommand(::CLI::App& app);
void addBrowseCommand(::CLI::App& app);
void addDemoCommand(::CLI::App& app);
void addUserCommand(::CLI::App& app);
void addCompanyCommand(::CLI::App& app);
void addAuditCommand(::CLI::App& app);
void addReportCommand(::CLI::App& app);
void addUpgradeCommand(::CLI::App& app);

// Rewrites the works catalogue of the company in `dir` in the layout of
// `version` (1: as the older programs wrote it), to try the upgrade on.
Status writeWorksInVersion(const std::filesystem::path& dir, int version);
void addVerifyCommand(::CLI::App& app);
// envia and recibe: the office transfer of a work.
void addExchangeCommands(::CLI::App& app);
// importa: the import from the budgeting system into a front of a work.
void addImportCommand(::CLI::App& app);
// servidor sube|baja: a company between its files and a database server.
void addServerCommand(::CLI::App& app);

// A status as the commands print it: text, table and file error.
std::string describe(const Status& st);
// Points `storage` at the files of work `code` of the company in `dir`;
// 0, or 2 after saying why there is no such work.
int openWork(const std::string& dir, const std::string& code, db::Storage& storage,
             std::string* workName = nullptr, std::string* address = nullptr);

// The company name (GLO:EMPRESA) of the program folder `dir`, kept in its
// VELMORA.INI, section "Empresa", key "Nombre". Setting refuses a blank name,
// more than 50 characters and characters Windows-1252 cannot hold.
std::optional<std::string> companyName(const std::filesystem::path& dir);
Status setCompanyName(const std::filesystem::path& dir, std::string_view name);

}  // namespace velmora::cli
