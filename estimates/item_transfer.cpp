#include "estimates/item_transfer.h"

#include <array>
#include <climits>
#include <cmath>

#include "dictionary/unit_of_work.h"
#include "estimates/item_numbers.h"

namespace velmora::estimates {

TransferBalance transferBalance(const PAR& r) {
  TransferBalance b;
  b.budget = r.PRES + r.VPRE;
  b.paid = r.TPAG;
  b.left = b.budget - r.TPAG;
  // A zero budget or quantity leaves nothing to divide: the figure is 0.
  b.unitsLeft = b.budget != 0 ? r.CANT * b.left / b.budget : 0.0;
  b.unitPrice = r.CANT != 0 ? b.budget / r.CANT : 0.0;
  return b;
}

Status freeSubItem(db::Table& part, const PAR& item, double& number) {
  const std::int64_t base = conceptOf(item.CONC) * 100;
  std::array<bool, 100> taken{};
  const dict::KeyInfo* key = part.info().key("PAR:CTA_KEY");
  part.clear();
  PAR& probe = part.rec<PAR>();
  probe.CONC = itemNumber(base);
  probe.PROC = INT32_MIN;
  probe.FREN = INT32_MIN;
  Status st = part.set(key);
  while (st) {
    st = part.next();
    if (!st) break;
    const PAR& r = part.rec<PAR>();
    const std::int64_t sub = hundredths(r.CONC) - base;
    if (sub >= 100) break;
    if (sub > 0 && r.PROC == item.PROC && r.FREN == item.FREN) taken[std::size_t(sub)] = true;
  }
  if (!st && st.code != err::NoRecord) return st;
  number = 0;
  for (std::size_t sub = 1; sub < taken.size(); ++sub)
    if (!taken[sub]) {
      number = itemNumber(base + std::int64_t(sub));
      break;
    }
  return Status::success();
}

namespace {

Status refused(const std::string& why) {
  return Status::error(err::ValueRefused, "Traspaso rechazado: " + why).on("PART");
}

// What is left of a quantity handed over whole is exactly none.
double less(double from, double taken) {
  const double rest = from - taken;
  return std::fabs(rest) < 1e-6 ? 0.0 : rest;
}

// Checked against the item as it is on file now, inside the transaction:
// another station may have estimated part of it since the window showed it.
Status check(const PAR& item, const ItemTransfer& t) {
  if (isSubItem(item.CONC)) return refused("solo la cuenta principal se comparte");
  const std::int64_t sub = hundredths(t.subItem) - conceptOf(item.CONC) * 100;
  if (sub < 1 || sub > 99) return refused("el subconcepto no es de la cuenta");
  if (t.contractor == 0 || t.contractor == item.CONT)
    return refused("el contratista que recibe no es válido");
  if (hundredths(t.units) == 0 && hundredths(t.amount) == 0)
    return refused("sin unidades ni importe");
  const TransferBalance b = transferBalance(item);
  if (t.units < 0 || t.amount < 0 || hundredths(t.units) > hundredths(b.unitsLeft) ||
      hundredths(t.amount) > hundredths(b.left))
    return refused("no hay saldo suficiente");
  return Status::success();
}

}  // namespace

Status transferItem(db::Context& ctx, const ItemTransfer& t, TransferResult* result) {
  TransferResult ignored;
  TransferResult& out = result ? *result : ignored;
  db::Table& part = ctx.table("PART");
  out.failedAt = FileAction::Transaction;
  db::Transaction tx(ctx, {&part});
  Status st = tx.status();
  if (st) {
    out.failedAt = FileAction::Read;
    st = part.getByPosition(t.item);
  }
  if (st) {
    out.failedAt = FileAction::Change;
    st = check(part.rec<PAR>(), t);
  }
  if (st) {
    PAR& r = part.rec<PAR>();
    r.CANT = less(r.CANT, t.units);
    r.PRES = less(r.PRES, t.amount);
    st = part.put();
  }
  if (st) {
    out.failedAt = FileAction::Add;
    const Record source = part.buffer();
    part.clear();
    for (const char* f : {"PAR:TEXT", "PAR:UNID", "PAR:PROC", "PAR:FREN"})
      (void)part.buffer().set(f, source.get(f));
    PAR& n = part.rec<PAR>();
    n.CONC = t.subItem;
    n.CANT = t.units;
    n.PRES = t.amount;
    n.CONT = t.contractor;
    n.PEST = 100;
    st = part.add();
  }
  if (st) {
    out.failedAt = FileAction::Transaction;
    st = tx.commit();
  }
  return st;
}

}  // namespace velmora::estimates
