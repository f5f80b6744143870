#include "estimates/contractor_totals.h"

#include <vector>

#include "estimates/audit_engine.h"

namespace velmora::estimates {

namespace {

Decimal plus(Decimal a, double b) { return Decimal::fromCents(a.cents() + figure(b).cents()); }
Decimal minus(Decimal a, double b) { return Decimal::fromCents(a.cents() - figure(b).cents()); }

}  // namespace

void ContractorTally::add(POL& e) {
  // Progress estimates are numbered 1, 2, 3 ...; advances (-1) and fund
  // returns (-3) keep their codes and take no number; numbers above the
  // consecutive range stand apart.
  const bool progress = e.ESTI >= 0 && e.UFEC != 1;
  const bool numbered = progress && e.ESTI <= AuditRun::kLastConsecutive;
  if (numbered) e.ESTI = ++counter_;
  if (e.UFEC != 1) {
    e.TACU = accumulated_.toDouble();
    e.SFON = plus(fund_, e.PFON).toDouble();
    accumulated_ = plus(accumulated_, e.CANT);
  } else {
    e.TACU = 0;
    e.SFON = 0;
  }
  fund_ = plus(fund_, e.PFON);
  if (e.ESTI < 0) {
    ANTI = minus(ANTI, e.PANT);
  } else {
    AAMO = plus(AAMO, e.PANT);
    if (numbered) {
      UEST = e.ESTI;
      UFEC = e.FECH;
    }
    if (e.UFEC != 1) TPAG = plus(TPAG, e.CANT);
    TIVA = plus(TIVA, e.IVA);
    PRES = Decimal::fromCents(PRES.cents() + figure(e.PRES).cents() - figure(e.PPRE).cents());
  }
  GAAC = plus(GAAC, e.PFON);
  NOAC = plus(NOAC, e.NOMI);
}

void ContractorTally::writeTo(CTR& r) const {
  r.ANTI = ANTI.toDouble();
  r.AAMO = AAMO.toDouble();
  r.TPAG = TPAG.toDouble();
  r.TIVA = TIVA.toDouble();
  r.GAAC = GAAC.toDouble();
  r.UEST = UEST;
  r.UFEC = UFEC;
  r.PRES = PRES.toDouble();
  r.NOAC = NOAC.toDouble();
}

Status tallyContractor(db::Table& poli, db::Table& cont, std::int16_t number, std::int16_t leaveOut,
                       const Stamp* write, ContractorTally& tally) {
  tally = {};
  struct Change {
    std::int64_t row;
    POL values;
  };
  std::vector<Change> changes;
  poli.clear();
  poli.rec<POL>().CONT = number;
  Status st = poli.set(poli.info().key("POL:CON_KEY"), 1);
  while (st && (st = poli.next()) && poli.rec<POL>().CONT == number) {
    if (poli.rec<POL>().CTA == leaveOut) continue;
    POL e = poli.rec<POL>();
    tally.add(e);
    if (write && !(e == poli.rec<POL>())) changes.push_back({poli.position(), e});
  }
  if (!st && st.code != err::NoRecord) return st.on("POLI");
  for (const Change& c : changes) {
    if (!(st = poli.getByPosition(c.row))) return st.on("POLI");
    POL& r = poli.rec<POL>();
    r.ESTI = c.values.ESTI, r.TACU = c.values.TACU, r.SFON = c.values.SFON;
    if (!(st = poli.put())) return st.on("POLI");
  }
  if (!write) return Status::success();
  cont.clear();
  cont.rec<CTR>().CTA = number;
  st = cont.get("CTR:CTA_KEY");
  // A contractor no longer on file keeps his estimates; the audit gives
  // them a home.
  if (st.code == err::RecordNotFound) return Status::success();
  if (!st) return st.on("CONT");
  const CTR was = cont.rec<CTR>();
  tally.writeTo(cont.rec<CTR>());
  if (cont.rec<CTR>() == was) return Status::success();
  CTR& r = cont.rec<CTR>();
  r.USUA = write->user, r.ACFE = write->date, r.ACHO = write->time;
  return cont.put().on("CONT");
}

Status contractorBefore(db::Table& poli, db::Table& cont, std::int16_t number, std::int16_t folio,
                        CTR& out) {
  for (db::Table* t : {&poli, &cont})
    if (!t->isOpen())
      if (Status st = t->open(); !st) return st;
  cont.clear();
  cont.rec<CTR>().CTA = number;
  Status st = cont.get("CTR:CTA_KEY");
  if (!st) return st.on("CONT");
  out = cont.rec<CTR>();
  ContractorTally tally;
  if (!(st = tallyContractor(poli, cont, number, folio, nullptr, tally))) return st;
  tally.writeTo(out);
  return Status::success();
}

}  // namespace velmora::estimates
