#pragma once

// A list of reports by name: each program keeps the list of its own, and
// its menu and `velmora reporte` run them from there.

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reports/report.h"

namespace velmora::reports {

struct CatalogueEntry {
  const char* name;
  std::unique_ptr<Report> (*make)();
};

class Catalogue {
 public:
  constexpr Catalogue(std::span<const CatalogueEntry> entries) : entries_(entries) {}

  // Nothing for a name that is not listed (compared without regard to case).
  std::unique_ptr<Report> make(std::string_view name) const;
  // The names in the order listed.
  std::vector<std::string> names() const;

 private:
  std::span<const CatalogueEntry> entries_;
};

}  // namespace velmora::reports
