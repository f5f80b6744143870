#pragma once

// A real PostgreSQL server for the tests of the server back end: the one
// scripts/test.sh started (its connection string in $VELMORA_PG), or else a
// throw-away cluster this test program starts on first use through
// scripts/pg_cluster.sh and stops when it ends.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/run_command.h"

namespace velmora::test {

class PgCluster {
 public:
  // The libpq connection string; empty with `error` set when no server
  // could be started.
  static const std::string& connection(std::string* error = nullptr) {
    static PgCluster cluster;
    if (error) *error = cluster.error_;
    return cluster.connection_;
  }

 private:
  PgCluster() {
    if (const char* set = std::getenv("VELMORA_PG"); set && *set) {
      connection_ = set;
      return;
    }
    folder_ = std::filesystem::temp_directory_path() / ("velmora-pg-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
    std::filesystem::permissions(folder_, std::filesystem::perms::all);
    CommandResult r =
        runCommand(std::string(VELMORA_SOURCE_DIR) + "/scripts/pg_cluster.sh start '" +
                   (folder_ / "pg").string() + "' 2>&1");
    if (r.status != 0) {
      error_ = r.out;
      return;
    }
    connection_ = r.out.substr(0, r.out.find('\n'));
    started_ = true;
  }
  ~PgCluster() {
    if (started_)
      runCommand(std::string(VELMORA_SOURCE_DIR) + "/scripts/pg_cluster.sh stop '" +
                 (folder_ / "pg").string() + "' 2>&1");
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }

  std::filesystem::path folder_;
  std::string connection_, error_;
  bool started_ = false;
};

}  // namespace velmora::test
