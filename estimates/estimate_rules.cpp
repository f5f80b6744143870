#include "estimates/estimate_rules.h"

#include "estimates/estimate_messages.h"

namespace velmora::estimates {

namespace {

__extension__ typedef __int128 Wide;

const Decimal kHundred = Decimal::fromCents(10000);
const Ratio kHundredR = Ratio::of(100);

Decimal sum(Decimal a, Decimal b) { return Decimal::fromCents(a.cents() + b.cents()); }
Decimal less(Decimal a, Decimal b) { return Decimal::fromCents(a.cents() - b.cents()); }
bool positive(Decimal a) { return a.cents() > 0; }

LineOutcome refuse(LineFigures& f) {
  f = {};
  return {false, true};
}

}  // namespace

Decimal mulDiv(Decimal a, Decimal b, Decimal c) {
  if (c.cents() == 0) return {};
  // In cents: a·b/c of the values is (ac·bc / cc) cents. 128 bits keep the
  // product of two amounts exact.
  const Wide n = static_cast<Wide>(a.cents()) * b.cents();
  const Wide d = c.cents();
  Wide q = n / d, r = n % d;
  if (r < 0) r = -r;
  const Wide ad = d < 0 ? -d : d;
  if (2 * r >= ad) q += ((n < 0) != (d < 0)) ? -1 : 1;
  return Decimal::fromCents(static_cast<std::int64_t>(q));
}

Decimal percentOf(Decimal whole, Decimal part) { return mulDiv(whole, part, kHundred); }

Decimal figure(double v) {
  auto d = Decimal::fromDouble(v);
  return d ? *d : Decimal();
}

ItemBudget itemBudget(const PAR& item) {
  ItemBudget b;
  b.quantity = Ratio::fromDouble(item.CANT);
  b.paid = figure(item.TPAG);
  b.done = Ratio::fromDouble(item.AVAN);
  b.executed = b.quantity * b.done / kHundredR;
  const Decimal share = figure(item.PEST);
  b.budget = percentOf(sum(figure(item.PRES), figure(item.VPRE)), share);
  b.variation = percentOf(figure(item.VPRE), share);
  b.ceiling = sum(b.budget, b.variation);
  b.unitPrice = Ratio::fromDecimal(b.ceiling) / b.quantity;
  return b;
}

bool overBudget(const ItemBudget& item, const LineFigures& f) {
  if (f.quantity.sign() < 0 || f.amount.cents() < 0) return true;
  if (sum(item.paid, f.amount) > item.ceiling) return true;
  // The quantity done before comes from a stored real: a part in a thousand
  // million of the budgeted quantity is what that storage may have lost.
  const Ratio excess = item.executed + f.quantity - item.quantity;
  return excess * Ratio::of(1000000000) > item.quantity;
}

LineOutcome quantityGiven(const ItemBudget& item, LineFigures& f) {
  const Ratio remaining = item.quantity - item.executed;
  f.amount =
      remaining.sign() > 0
          ? (f.quantity * Ratio::fromDecimal(less(item.ceiling, item.paid)) / remaining).toDecimal()
          : Decimal();
  if (overBudget(item, f)) return refuse(f);
  if (item.quantity.sign() > 0) f.percent = f.quantity * kHundredR / item.quantity + item.done;
  return {};
}

LineOutcome percentGiven(const ItemBudget& item, LineFigures& f) {
  LineOutcome out;
  if (f.percent > kHundredR) {
    f.percent = kHundredR;
    out.cutTo100 = true;
  }
  f.quantity = (f.percent - item.done) * item.quantity / kHundredR;
  // The unit price unrounded: quantity × ceiling / budgeted quantity.
  f.amount = (f.quantity * Ratio::fromDecimal(item.ceiling) / item.quantity).toDecimal();
  if (overBudget(item, f)) {
    refuse(f);
    out.refused = true;
  }
  return out;
}

LineOutcome amountGiven(const ItemBudget& item, LineFigures& f) {
  f.quantity = Ratio::fromDecimal(f.amount) * item.quantity / Ratio::fromDecimal(item.ceiling);
  if (overBudget(item, f)) return refuse(f);
  if (item.quantity.sign() > 0) f.percent = f.quantity * kHundredR / item.quantity + item.done;
  return {};
}

LineCheck checkLine(const ItemBudget& item, const LineFigures& f, double conc, std::int32_t process,
                    std::int32_t front) {
  if (overBudget(item, f)) return LineCheck::OverBudget;
  if (conc == 0 || front == 0 || process == 0 || f.quantity.isZero() || f.amount.cents() == 0)
    return LineCheck::Incomplete;
  return LineCheck::Add;
}

FinalFigures openFinal(const CTR& c, Decimal total, const POL& stored, bool insert, bool posted) {
  FinalFigures f;
  f.total = total;
  f.payroll = figure(stored.NOMI);
  f.iva = figure(stored.IVA);
  f.amortisation = figure(stored.PANT);
  f.loan = figure(stored.PRES);
  const Decimal owed = less(figure(c.ANTI), figure(c.AAMO));
  if (positive(owed) && f.amortisation.cents() == 0) {
    f.amortisation = percentOf(total, figure(c.PANT));
    if (owed < f.amortisation) f.amortisation = owed;
  }
  if (!posted) {
    f.advanceBalance = owed;
    f.fundBalance = figure(c.GAAC);
  }
  f.fund = percentOf(total, figure(c.PGAR));
  // A new estimate is proposed the IVA the contractor charges; it may be
  // changed, and a change keeps what was stored.
  if (insert) f.iva = percentOf(less(total, f.payroll), figure(c.IVA));
  // A change deducts the loan it deducted when it was saved: the
  // contractor's outstanding loan is by then the one this estimate granted.
  f.previousLoan = posted ? Decimal() : insert ? figure(c.PRES) : figure(stored.PPRE);
  recomputeFinal(f);
  return f;
}

void recomputeFinal(FinalFigures& f) {
  f.net = less(f.total, f.payroll);
  f.sum = sum(f.net, f.iva);
  f.finalAmount = less(less(less(f.sum, f.amortisation), f.fund), f.previousLoan);
  f.toPay = sum(f.finalAmount, f.loan);
}

void payrollGiven(FinalFigures& f, const CTR& c) {
  f.iva = percentOf(less(f.total, f.payroll), figure(c.IVA));
  recomputeFinal(f);
}

void toPayGiven(FinalFigures& f) {
  const Decimal typed = f.toPay;
  recomputeFinal(f);
  f.loan = less(typed, f.finalAmount);
  f.toPay = typed;
}

FinalValues finalValues(const FinalFigures& f) {
  return {f.amortisation, f.fund, f.iva, f.previousLoan, f.loan, f.payroll};
}

std::optional<std::array<const char*, 3>> refuseFinal(const FinalFigures& f) {
  // Payroll above the estimate first: the IVA that follows it is negative too.
  if (f.payroll > f.total) return estimate_message::kPayrollAbove;
  for (Decimal d : {f.payroll, f.iva, f.amortisation, f.fund, f.loan})
    if (d.cents() < 0) return estimate_message::kNegative;
  return std::nullopt;
}

Decimal advanceRoom(const CTR& c) {
  const Decimal room =
      less(percentOf(figure(c.ICON), figure(c.PANT)), less(figure(c.ANTI), figure(c.AAMO)));
  return positive(room) ? room : Decimal();
}

bool capAdvance(const CTR& c, Decimal& advance) {
  const Decimal room = advanceRoom(c);
  if (advance <= room) return false;
  advance = room;
  return true;
}

bool capFundReturn(const CTR& c, Decimal& amount) {
  const Decimal fund = figure(c.GAAC);
  if (amount <= fund) return false;
  amount = fund;
  return true;
}

}  // namespace velmora::estimates
