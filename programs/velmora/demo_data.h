#pragma once

// The demo company: a Mexican construction company with two works, written
// through the table layer exactly as the programs would find it after a
// budget import, some months of estimates and the accounting set-up.
//
// Everything is made in memory first and then written table by table in
// batches, so that a large work (--size) stays fast. The estimates are the
// exception: they are saved one by one through the operations the estimate
// form uses (in one transaction per work), so that their amounts and the
// running totals of items and contractors are exactly what the program
// writes, and the audit finds nothing to correct. No estimate is posted to
// the accounting yet; the month's policies are those of the equipment
// invoices and payments.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/status.h"
#include "dictionary/storage.h"

namespace velmora::demo {

// Budget items of the first work without --size, and the largest --size:
// contractors and estimate folios are SHORT numbers.
inline constexpr int kDefaultSize = 240;
inline constexpr int kMaxSize = 500000;

inline constexpr const char* kCompanyName = "CONSTRUCTORA SIERRA ALTA, S.A. DE C.V.";

struct DemoOptions {
  std::filesystem::path folder;  // the program folder; must exist
  int size = kDefaultSize;       // budget items of the first work
  std::int32_t today = 0;        // estimates and monthly files are dated from it
};

struct WorkSummary {
  std::string code;
  std::string name;
  std::string accounting;
  int fronts = 0;
  int processes = 0;
  int concepts = 0;
  int items = 0;
  int contractors = 0;
  int estimates = 0;  // POLI records, advances and fund returns included
  int lines = 0;      // DPOL records
  int equipment = 0;  // MAQU records
  int suppliers = 0;
  int banks = 0;
  int accounts = 0;
  double directCost = 0;  // labour + materials + equipment + percentages
};

struct UserSummary {
  std::int32_t number = 0;
  std::string name;
  std::string rights;
};

struct DemoSummary {
  std::vector<std::string> zones;
  std::vector<UserSummary> users;
  std::vector<WorkSummary> works;
};

// The files and folders the demo puts in the program folder, by name.
std::vector<std::string> demoEntries();

// Supplier payments of the first work, posted once its tables are written.
Status addDemoPayments(db::Storage& storage, const DemoOptions& options);

// Writes every table of the demo company into options.folder.
Status buildDemo(const DemoOptions& options, DemoSummary& summary);

}  // namespace velmora::demo
