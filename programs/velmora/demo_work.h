#pragma once

// A work of the demo company in memory: its budget as the budget import
// would leave it, its contractors, and months of estimates saved one by one
// as the estimate form saves them. demo_data.cpp writes it to the tables.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/records.h"
#include "programs/velmora/demo_catalogue.h"

namespace velmora::demo {

constexpr int kWorkDays = 150;    // planned duration of a process
constexpr int kProcessStep = 25;  // days between the starts of two processes
constexpr int kWorkAge = 180;     // the works started this many days ago

inline double round2(double v) { return std::round(v * 100.0) / 100.0; }

inline std::int32_t processStart(std::int32_t today, int process) {
  return today - kWorkAge + process * kProcessStep;
}

struct Concept {
  int process = 0;
  const ConceptTemplate* tpl = nullptr;
  std::string text, key;  // COE:TEXT, COO:LLAV
  std::int32_t number = 0, row = 0;
  double quantity = 0;
  double labour = 0, material = 0, equipment = 0, percentages = 0;  // per unit
  double total(double unit) const { return round2(unit * quantity); }
  double unitPrice() const { return round2(labour + material + equipment + percentages); }
};

struct Item {
  int conceptIndex = 0, front = 0;
  double quantity = 0, labour = 0, material = 0, equipment = 0;
  double estimable = 100;
  std::int16_t contractor = 0;
  double paid = 0, progress = 0;
  std::int32_t first = 0, last = 0;
};

struct Estimate {
  POL header;
  std::vector<DPO> lines;
  int order = 0;  // of the contractor's entries, to keep them in sequence
};

struct Work {
  const WorkTemplate* tpl = nullptr;
  CTL zone;
  double labourShare = 1;  // base wage / real wage
  std::vector<std::string> fronts;
  std::vector<int> processNumber;  // PRB:CTA by process index, 0 when unused
  std::vector<Concept> concepts;   // in budget order
  std::vector<Item> items;         // in file order: front by front
  std::vector<CTR> contractors;
  std::vector<Estimate> estimates;
};

// The CONTROL record of salary zone `index` (from 0).
CTL controlRecord(int index);

// A work of `size` budget items (0: every analysis once on every front of
// the template), priced in salary zone `zone`, with its estimates up to today.
Work planWork(const WorkTemplate& t, const CTL& zone, int size, std::int32_t today);

}  // namespace velmora::demo
