#include "reports/catalogue.h"

#include "dictionary/tables.h"

namespace velmora::reports {

std::unique_ptr<Report> Catalogue::make(std::string_view name) const {
  for (const CatalogueEntry& e : entries_)
    if (dict::sameName(name, e.name)) return e.make();
  return nullptr;
}

std::vector<std::string> Catalogue::names() const {
  std::vector<std::string> names;
  for (const CatalogueEntry& e : entries_) names.emplace_back(e.name);
  return names;
}

}  // namespace velmora::reports
