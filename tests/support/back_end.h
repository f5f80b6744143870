#pragma once

// The same test bodies on both back ends of the storage: table files in the
// test's folder, or the company on the test cluster's PostgreSQL server, in
// a database of the test's own (every name inside the folder is a table
// there), dropped when the test ends.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "dictionary/server_order.h"
#include "dictionary/server_table.h"
#include "dictionary/storage.h"
#include "tests/support/pg_cluster.h"

namespace velmora::test {

enum class BackEnd { Files, Server };

inline void PrintTo(BackEnd b, std::ostream* os) {
  *os << (b == BackEnd::Files ? "archivos" : "servidor");
}

inline std::string backEndName(const ::testing::TestParamInfo<BackEnd>& info) {
  return info.param == BackEnd::Files ? "Archivos" : "Servidor";
}

class ServerDatabase {
 public:
  // Puts `storage` on a new database for the company in `folder`; the
  // connection string, empty with a failure recorded when there is no server.
  std::string use(db::Storage& storage, const std::string& folder) {
    std::string error;
    const std::string& cluster = PgCluster::connection(&error);
    if (cluster.empty()) {
      ADD_FAILURE() << "no PostgreSQL server: " << error;
      return {};
    }
    static std::atomic<int> counter{0};
    name_ = "velmora_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    admin_ = std::make_unique<db::server::Connection>(cluster);
    if (Status st = admin_->status(); !st) {
      ADD_FAILURE() << st.text;
      return {};
    }
    (void)admin_->exec("DROP DATABASE IF EXISTS " + db::server::quoted(name_));
    if (Status st = admin_->exec("CREATE DATABASE " + db::server::quoted(name_)); !st) {
      ADD_FAILURE() << st.text;
      return {};
    }
    connection_ = cluster + " dbname=" + name_;
    storage.setServer(connection_, folder);
    return connection_;
  }
  ~ServerDatabase() {
    if (admin_ && !name_.empty())
      (void)admin_->exec("DROP DATABASE IF EXISTS " + db::server::quoted(name_) + " WITH (FORCE)");
  }
  const std::string& connection() const { return connection_; }

 private:
  std::unique_ptr<db::server::Connection> admin_;
  std::string name_, connection_;
};

// A fixture of files (with `server`, `storage` and `folder`) run on both
// back ends: on the server, the company is put there before the fixture's
// own set-up names its tables.
template <class Fixture>
class OnBackEnd : public Fixture, public ::testing::WithParamInterface<BackEnd> {
 protected:
  void SetUp() override {
    if (GetParam() == BackEnd::Server) {
      ASSERT_FALSE(this->server.use(this->storage, this->folder.path().string()).empty());
    }
    Fixture::SetUp();
  }
};

// On the server, the company's folder gets no table file.
inline void expectNoFilesOnServer(BackEnd backEnd, const std::filesystem::path& folder) {
  if (backEnd != BackEnd::Server) return;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec))
    ADD_FAILURE() << "file made on the server back end: " << e.path();
}

}  // namespace velmora::test
