#pragma once

// A work of the demo company in memory: its budget as the budget import
// would leave it, its contractors, and months of estimates as a clerk
// captures them, each figure as the estimate windows work it out.
// demo_data.cpp writes it to the tables, the estimates through the
// operations that save them.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/ratio.h"
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
  // As the estimates leave it: the line form's view while they are
  // planned; saving them writes the same into PART.
  Decimal paid;               // PAR:TPAG
  double progress = 0;        // PAR:AVAN
  std::int64_t executed = 0;  // hundredths of the quantity estimated so far
};

// What the clerk typed on a line, in hundredths of the item's unit: the
// quantity estimated now, and the item's quantity executed after it out of
// the budgeted one.
struct LineQuantity {
  std::int64_t now = 0, executed = 0, budgeted = 0;
};

// The item's progress after the line, exact.
inline Ratio progressAfter(const LineQuantity& q) {
  return q.executed == q.budgeted ? Ratio::of(100)
                                  : Ratio::of(q.executed) * Ratio::of(100) / Ratio::of(q.budgeted);
}

// An entry as the clerk captures it: the header's date, contractor, kind
// (POL:ESTI -1 advance, -3 fund return, else a progress estimate) and
// amounts, and the lines with what was typed on each. Saving it fills in
// the rest.
struct Estimate {
  POL header;
  std::vector<DPO> lines;
  std::vector<LineQuantity> typed;  // one per line
  int order = 0;                    // of the contractor's entries, to keep them in sequence
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
