#pragma once

// A company between its table files and a database server, either way, all
// or nothing: the files of the program folder and of the folders under it
// (works, accountings), or of one of those folders, go up into the schemas
// of the server's database in one server transaction, every record read
// back and compared; they come down from one consistent view of the server
// into new files, put in place only once every one is written.

#include <cstdint>
#include <functional>
#include <string>

#include "dictionary/status.h"
#include "dictionary/tables.h"

namespace velmora::db::server {

struct CopiedTable {
  std::string shown;  // the file, relative to the program folder
  const dict::TableInfo* table = nullptr;
  std::int64_t records = 0;
};
using CopyProgress = std::function<void(const CopiedTable&)>;

// `folder` is the program folder; `only` one folder under it (a work's
// code), or empty for the whole company.
Status upload(const std::string& connection, const std::string& folder, const std::string& only,
              const CopyProgress& progress);
Status download(const std::string& connection, const std::string& folder, const std::string& only,
                const CopyProgress& progress);

}  // namespace velmora::db::server
