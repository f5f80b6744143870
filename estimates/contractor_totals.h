#pragma once

// What a contractor's estimates give him: the running totals of CONT and,
// for each estimate, its number among his progress estimates and what was
// paid and retained before it. The audit rebuilds every contractor with it,
// and every estimate operation rebuilds its own contractor with it inside
// its transaction, so that both leave exactly the same figures. Amounts are
// summed in cents.

#include <cstdint>

#include "dictionary/storage.h"
#include "estimates/estimate_rules.h"

namespace velmora::estimates {

// Who writes, for the stamp of every record written.
struct Stamp {
  std::int32_t user = 0;
  std::int32_t date = 0;
  std::int32_t time = 0;
};

struct ContractorTally {
  Decimal ANTI, AAMO, TPAG, TIVA, GAAC, PRES, NOAC;
  std::int32_t UEST = 0, UFEC = 0;

  // The next estimate of the contractor in POL:CON_KEY order (date, then
  // record order): its POL:ESTI, POL:TACU and POL:SFON are set from those
  // before it, and its amounts join the totals.
  void add(POL& e);
  // The totals into the contractor's record (all but the budget, CTR:ICON).
  void writeTo(CTR& r) const;
  // The advance he still owes and the fund still held.
  Decimal owedAdvance() const { return Decimal::fromCents(ANTI.cents() - AAMO.cents()); }

 private:
  std::int32_t counter_ = 0;
  Decimal accumulated_, fund_;
};

// The contractor's estimates read in key order, except `leaveOut` (0: none),
// tallied. With `write`, the estimates whose number or accumulated amounts
// differ are written, and so is the contractor (stamped) when he is on file
// and his totals differ; the caller's transaction must hold POLI and CONT.
Status tallyContractor(db::Table& poli, db::Table& cont, std::int16_t number, std::int16_t leaveOut,
                       const Stamp* write, ContractorTally& tally);

// The contractor as he was before `folio` (0: as he is), his totals taken
// from his other estimates: what a change of that estimate starts from.
Status contractorBefore(db::Table& poli, db::Table& cont, std::int16_t number, std::int16_t folio,
                        CTR& out);

}  // namespace velmora::estimates
