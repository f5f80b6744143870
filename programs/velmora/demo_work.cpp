#include "programs/velmora/demo_work.h"

#include <fmt/core.h>

#include <algorithm>
#include <map>

#include "dictionary/cp1252.h"
#include "dictionary/dates.h"
#include "estimates/estimate_rules.h"

namespace velmora::demo {

namespace {

// The same demo on every machine: a small generator of our own rather than
// the standard distributions, whose results differ between libraries.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform(double lo, double hi) {
    return lo + (hi - lo) * double(next() >> 11) / 9007199254740992.0;
  }
  bool chance(double p) { return uniform(0, 1) < p; }

 private:
  std::uint64_t state_;
};

// Most contractors, and every estimate folio, fit in a SHORT; the estimates
// of the last contractors of a huge work are left out rather than overflow.
constexpr std::size_t kMaxEstimates = 32000;
constexpr int kMaxEstimatesPerContractor = 4;

}  // namespace

CTL controlRecord(int index) {
  const Zone& z = zones()[std::size_t(index)];
  CTL c;
  c.CTA = std::uint8_t(index + 1);
  c.ZONA = z.name;
  c.DHAB = 293;  // working days a year
  c.PORC = 25;   // holiday bonus
  c.VACA = 12;
  c.GRAT = 15;
  c.SUEL = z.minimumWage;
  c.MINI = z.minimumWage;
  c.IINF = 5;
  c.ISAR = 2;
  c.IISN = z.payrollTax;
  // Social security, employer and employee shares; class V work risk.
  c.PIMS = 13.90, c.EIMS = 0.40;
  c.PDPR = 0.70, c.PDEM = 0.25;
  c.GMPA = 1.05, c.GMEM = 0.375;
  c.RIPA = 7.58875, c.RIEM = 0;
  c.INPA = 1.75, c.INEM = 0.625;
  c.GUPA = 1.00, c.GUEM = 0;
  c.EXPA = 1.10, c.EXEM = 0.40;
  c.CEPA = 3.15, c.CEEM = 1.125;
  return c;
}

namespace {

// Amounts as the programs keep them: whole cents. A quantity is carried in
// hundredths of its unit the same way.
Decimal plus(Decimal a, Decimal b) { return Decimal::fromCents(a.cents() + b.cents()); }
Decimal minus(Decimal a, Decimal b) { return Decimal::fromCents(a.cents() - b.cents()); }
std::int64_t hundredths(double v) { return std::llround(v * 100); }

// The yearly cost of one unit of daily wage per working day, as the budget
// import computes it; 0 when there is none.
double realSalaryFactor(const CTL& c) {
  if (c.MAXI > 0) return c.MAXI;
  if (c.DHAB == 0) return 0;
  double paid = 365.25 + c.VACA + c.GRAT;
  double social = (c.PIMS + c.EIMS + c.PDPR + c.PDEM + c.GMPA + c.GMEM + c.RIPA + c.RIEM + c.INPA +
                   c.INEM + c.GUPA + c.GUEM + c.CEPA + c.CEEM + c.EXPA + c.EXEM) /
                  100;
  double housing = (c.IINF + c.ISAR) * paid / 100;
  double payroll = paid * c.IISN / 100;
  return (365.25 + c.GRAT + c.VACA + housing + payroll + paid * social) / c.DHAB;
}

// The same work in a later stage: "... (ETAPA 2)", the description cut at a
// word so that the whole fits COE:TEXT.
std::string conceptText(const std::string& base, int variant) {
  if (variant == 0) return base;
  std::string suffix = fmt::format(" (ETAPA {})", variant + 1);
  std::string text = base;
  if (cp1252::utf8Length(text) + suffix.size() > 50) {
    text = cp1252::utf8Prefix(text, 50 - suffix.size() + 1);
    text.erase(std::min(text.size(), text.rfind(' ')));
  }
  return text + suffix;
}

void makeBudget(Work& w, int size, Random& rng) {
  const WorkTemplate& t = *w.tpl;
  int frontCount = std::max(int(t.fronts.size()), std::min(40, size / 2500));
  frontCount = std::min(frontCount, size);
  for (int f = 0; f < frontCount; ++f)
    w.fronts.push_back(f < int(t.fronts.size()) ? t.fronts[std::size_t(f)]
                                                : fmt::format("{}{}", t.moreFronts, f + 1));
  const int conceptCount = (size + frontCount - 1) / frontCount;

  // Concepts cycle through the analyses of every process; the later ones
  // are the same work in another stage.
  std::vector<std::vector<std::pair<int, int>>> byProcess(t.processes.size());
  for (int made = 0, variant = 0; made < conceptCount; ++variant)
    for (std::size_t p = 0; p < t.processes.size() && made < conceptCount; ++p)
      for (std::size_t c = 0; c < t.processes[p].concepts.size() && made < conceptCount; ++c) {
        byProcess[p].push_back({int(c), variant});
        ++made;
      }

  const double realWage = 1 / w.labourShare;
  w.processNumber.assign(t.processes.size(), 0);
  int row = 0, number = 0, processNumber = 0;
  for (std::size_t p = 0; p < t.processes.size(); ++p) {
    if (byProcess[p].empty()) continue;
    w.processNumber[p] = processNumber += 10;
    ++row;  // the heading
    for (auto [c, variant] : byProcess[p]) {
      const ConceptTemplate& ct = t.processes[p].concepts[std::size_t(c)];
      Concept k;
      k.process = int(p);
      k.tpl = &ct;
      k.text = conceptText(ct.text, variant);
      k.key = fmt::format("{:03}-{:03}", c + 1, variant);
      k.row = ++row;
      k.number = number += 10;
      k.quantity = round2(rng.uniform(ct.minQuantity, ct.maxQuantity));
      double labour = 0, material = 0, equipment = 0;
      for (const Use& u : ct.uses) {
        const Input& in = *findInput(u.input);
        switch (in.category) {
          case Category::Material: material += u.perUnit * in.price; break;
          case Category::Labour: labour += u.perUnit * round2(in.price * realWage); break;
          case Category::Equipment: equipment += u.perUnit * in.price; break;
        }
      }
      k.labour = round2(labour);
      k.material = round2(material);
      k.equipment = round2(equipment);
      k.percentages = round2(0.03 * k.labour);  // minor tools
      w.concepts.push_back(k);
    }
    ++row;  // the subtotal
  }

  // Every concept is shared among the fronts by their size; the last ones
  // leave out the last front so that the work has exactly `size` items.
  std::vector<double> weight;
  for (int f = 0; f < frontCount; ++f) weight.push_back(rng.uniform(0.6, 1.4));
  const int shortOfLast = frontCount * conceptCount - size;
  std::vector<std::vector<double>> share(w.concepts.size());
  for (std::size_t i = 0; i < w.concepts.size(); ++i) {
    int fronts = int(i) >= conceptCount - shortOfLast ? frontCount - 1 : frontCount;
    double sum = 0;
    for (int f = 0; f < fronts; ++f) sum += weight[std::size_t(f)];
    // Whole cents, the remainder to the largest shares, so that the parts
    // add up to the concept's quantity exactly.
    auto cents = std::int64_t(std::llround(w.concepts[i].quantity * 100));
    std::vector<std::int64_t> part(static_cast<std::size_t>(fronts));
    std::vector<std::pair<double, int>> rest;
    std::int64_t given = 0;
    for (int f = 0; f < fronts; ++f) {
      double exact = double(cents) * weight[std::size_t(f)] / sum;
      part[std::size_t(f)] = std::int64_t(exact);
      given += part[std::size_t(f)];
      rest.push_back({exact - double(part[std::size_t(f)]), f});
    }
    std::sort(rest.rbegin(), rest.rend());
    for (std::size_t r = 0; given < cents; ++r, ++given) ++part[std::size_t(rest[r].second)];
    for (int f = 0; f < fronts; ++f) share[i].push_back(double(part[std::size_t(f)]) / 100);
  }

  // The budget import writes a front at a time, in row order.
  for (int f = 0; f < frontCount; ++f)
    for (std::size_t i = 0; i < w.concepts.size(); ++i) {
      if (std::size_t(f) >= share[i].size()) continue;
      const Concept& k = w.concepts[i];
      Item it;
      it.conceptIndex = int(i);
      it.front = f;
      it.quantity = share[i][std::size_t(f)];
      it.labour = round2(k.labour * w.labourShare * it.quantity);
      it.material = round2((k.material + k.percentages) * it.quantity);
      it.equipment = round2(k.equipment * it.quantity);
      w.items.push_back(it);
    }
}

std::string contractorName(int index) {
  // A stride coprime with the number of combinations visits each name once.
  const auto first = firstNames(), last = surnames();
  const std::size_t combinations = first.size() * last.size() * last.size();
  std::size_t j = (std::size_t(index) * 7919) % combinations;
  std::size_t a = j % first.size();
  j /= first.size();
  std::size_t b = j % last.size();
  std::size_t c = j / last.size();
  return fmt::format("{} {} {}", first[a], last[b], last[c]);
}

// The contractors take the items of every process but the last, which is
// not contracted yet, in runs of the same process and front.
void assignContractors(Work& w, int wanted, Random& rng) {
  int lastProcess = 0;
  for (const Concept& k : w.concepts) lastProcess = std::max(lastProcess, k.process);
  std::vector<std::size_t> assigned;
  for (std::size_t i = 0; i < w.items.size(); ++i)
    if (w.concepts[std::size_t(w.items[i].conceptIndex)].process < lastProcess || lastProcess == 0)
      assigned.push_back(i);
  std::stable_sort(assigned.begin(), assigned.end(), [&](std::size_t a, std::size_t b) {
    return w.concepts[std::size_t(w.items[a].conceptIndex)].process <
           w.concepts[std::size_t(w.items[b].conceptIndex)].process;
  });
  const int count = std::min<int>(wanted, int(assigned.size()));
  for (int c = 0; c < count; ++c) {
    CTR r;
    r.CTA = std::int16_t(c + 1);
    r.NOMB = contractorName(c);
    r.PANT = 20 + 5 * double(rng.next() % 3);
    r.PGAR = rng.chance(0.8) ? 5 : 10;
    r.IVA = rng.chance(0.7) ? 16 : 0;  // not every piece-worker invoices
    double estimable = c % 7 == 6 ? 90 : 100;
    std::int64_t budget = 0;  // in cents, as the audit sums it
    for (std::size_t n = assigned.size() * std::size_t(c) / std::size_t(count);
         n < assigned.size() * std::size_t(c + 1) / std::size_t(count); ++n) {
      Item& it = w.items[assigned[n]];
      it.contractor = r.CTA;
      it.estimable = estimable;
      budget += hundredths(it.labour);
    }
    r.ICON = Decimal::fromCents(budget).toDouble();
    w.contractors.push_back(r);
  }
}

std::int32_t saturdayOnOrAfter(std::int32_t date) {
  return date + (6 - dates::dayOfWeek(date) + 7) % 7;
}

// A running total of the contractor moved by an amount.
void move(double& total, Decimal by) { total = plus(estimates::figure(total), by).toDouble(); }

// The most the line form lets the contractor estimate on the item.
Decimal ceilingOf(const Item& it) {
  PAR r;
  r.CANT = it.quantity;
  r.PRES = it.labour;
  r.PEST = it.estimable;
  return estimates::itemBudget(r).ceiling;
}

// One line of a progress estimate: the clerk types the quantity executed
// since the last estimate and the line form prices it, spreading what is
// left of the item's budget over what is left of its quantity; the line
// that finishes the item takes exactly what is left. False when the form
// would add no line (nothing to estimate, or an amount of 0.00).
bool captureLine(Item& it, std::int64_t executed, DPO& line, LineQuantity& typed) {
  const std::int64_t quantity = hundredths(it.quantity);
  executed = std::min(executed, quantity);
  if (executed <= it.executed) return false;
  const Decimal left = minus(ceilingOf(it), it.paid);
  const Decimal amount = estimates::mulDiv(Decimal::fromCents(executed - it.executed), left,
                                           Decimal::fromCents(quantity - it.executed));
  if (amount.cents() <= 0) return false;
  typed = {executed - it.executed, executed, quantity};
  line.TANT = it.paid.toDouble();
  line.PANT = it.progress;
  it.paid = plus(it.paid, amount);
  it.executed = executed;
  it.progress = progressAfter(typed).toDouble();
  line.TACT = it.paid.toDouble();
  line.PACT = it.progress;
  return true;
}

// The estimates a clerk captures, one contractor at a time: an advance,
// progress estimates every fortnight with amortisation, guarantee fund,
// IVA, payroll and loans as the final-amounts window proposes them, and a
// fund return once finished. The contractor is followed as the windows
// show him; saving the entries (demo_estimates.cpp) writes what they move.
void planEstimates(Work& w, std::int32_t today, Random& rng) {
  std::map<int, std::vector<std::size_t>> itemsOf;
  for (std::size_t i = 0; i < w.items.size(); ++i)
    if (w.items[i].contractor > 0) itemsOf[w.items[i].contractor].push_back(i);

  for (const CTR& registered : w.contractors) {
    CTR c = registered;
    const std::vector<std::size_t>& mine = itemsOf[c.CTA];
    if (mine.empty() || w.estimates.size() + kMaxEstimatesPerContractor + 2 > kMaxEstimates)
      continue;
    const int process = w.concepts[std::size_t(w.items[mine.front()].conceptIndex)].process;
    const std::int32_t start = processStart(today, process);
    std::vector<std::int32_t> dates;
    for (std::int32_t d = saturdayOnOrAfter(start + 14);
         d < today && int(dates.size()) < kMaxEstimatesPerContractor; d += 14)
      dates.push_back(d);
    if (dates.empty()) continue;

    const bool payroll = c.CTA % 9 == 4;
    const bool loan = c.CTA % 6 == 2;
    int order = 0;
    auto entry = [&](std::int32_t date) {
      Estimate e;
      e.header.CONT = c.CTA;
      e.header.FECH = date;
      e.order = order++;
      return e;
    };

    // An advance before the first estimate, in whole hundreds, within what
    // amortisation recovers.
    const double room = estimates::advanceRoom(c).toDouble();
    const auto advance =
        Decimal::fromCents(std::int64_t(std::floor(room * rng.uniform(0.5, 0.9) / 100)) * 10000);
    if (rng.chance(0.6) && advance.cents() >= 100000) {
      Estimate e = entry(std::max(dates.front() - 10, start));
      e.header.UFEC = 1;
      e.header.ESTI = -1;
      e.header.CANT = advance.toDouble();
      move(c.ANTI, advance);
      w.estimates.push_back(std::move(e));
    }

    // How far each item will have got by the last estimate: all of it once
    // the process is past its planned days.
    const double elapsed = std::clamp(double(today - start) / kWorkDays, 0.0, 1.0);
    std::vector<double> target;
    for (std::size_t n = 0; n < mine.size(); ++n)
      target.push_back(elapsed >= 1 || (elapsed > 0.95 && rng.chance(0.7))
                           ? 100
                           : std::min(100.0, round2(elapsed * 100 * rng.uniform(0.75, 1.15))));

    const int count = int(dates.size());
    for (int k = 1; k <= count; ++k) {
      Estimate e = entry(dates[std::size_t(k - 1)]);
      Decimal total;
      for (std::size_t n = 0; n < mine.size(); ++n) {
        Item& it = w.items[mine[n]];
        double goal = k == count
                          ? target[n]
                          : std::min(target[n], target[n] * k / count * rng.uniform(0.85, 1.1));
        DPO line;
        LineQuantity typed;
        if (!captureLine(it, std::llround(double(hundredths(it.quantity)) * goal / 100), line,
                         typed))
          continue;
        const Concept& paidFor = w.concepts[std::size_t(it.conceptIndex)];
        line.PART = paidFor.number;
        line.PROC = w.processNumber[std::size_t(paidFor.process)];
        line.FREN = it.front + 1;
        e.lines.push_back(line);
        e.typed.push_back(typed);
        total = plus(total, minus(estimates::figure(line.TACT), estimates::figure(line.TANT)));
      }
      if (e.lines.empty()) continue;

      // The final amounts: what the window proposes, the payroll typed in,
      // and a loan on the first estimate by typing more "A PAGAR".
      estimates::FinalFigures f = estimates::openFinal(c, total, POL{}, true, false);
      if (payroll) {
        f.payroll = estimates::percentOf(total, Decimal::fromCents(1000));
        estimates::payrollGiven(f, c);
      }
      if (loan && k == 1 && count > 1) {
        f.toPay = plus(f.finalAmount, Decimal::fromCents(500000));
        estimates::toPayGiven(f);
      }
      const estimates::FinalValues v = estimates::finalValues(f);
      POL& p = e.header;
      p.CANT = total.toDouble();
      p.PANT = v.amortisation.toDouble();
      p.PFON = v.fund.toDouble();
      p.IVA = v.iva.toDouble();
      p.PPRE = v.previousLoan.toDouble();
      p.PRES = v.loan.toDouble();
      p.NOMI = v.payroll.toDouble();
      move(c.AAMO, v.amortisation);
      move(c.GAAC, v.fund);
      c.PRES = p.PRES;
      w.estimates.push_back(std::move(e));
    }

    // A contractor who has finished gets his guarantee fund back.
    bool finished = std::all_of(mine.begin(), mine.end(),
                                [&](std::size_t i) { return w.items[i].progress >= 100; });
    std::int32_t returned = dates.back() + 14;
    if (finished && c.GAAC > 0 && returned < today && rng.chance(0.5)) {
      Estimate e = entry(returned);
      e.header.UFEC = 3;
      e.header.ESTI = -3;
      e.header.CANT = c.GAAC;
      c.GAAC = 0;
      w.estimates.push_back(std::move(e));
    }
  }

  // Folios in the order the entries were captured.
  std::stable_sort(w.estimates.begin(), w.estimates.end(),
                   [](const Estimate& a, const Estimate& b) {
                     if (a.header.FECH != b.header.FECH) return a.header.FECH < b.header.FECH;
                     if (a.header.CONT != b.header.CONT) return a.header.CONT < b.header.CONT;
                     return a.order < b.order;
                   });
  std::int16_t folio = 0;
  for (Estimate& e : w.estimates) {
    e.header.CTA = ++folio;
    for (DPO& d : e.lines) d.CTA = folio;
  }
}

}  // namespace

Work planWork(const WorkTemplate& t, const CTL& zone, int size, std::int32_t today) {
  if (size <= 0) {
    size = 0;
    for (const ProcessTemplate& p : t.processes) size += int(p.concepts.size());
    size *= int(t.fronts.size());
  }
  Random rng(t.seed);
  Work w;
  w.tpl = &t;
  w.zone = zone;
  double factor = realSalaryFactor(zone);
  w.labourShare = factor != 0 && zone.DHAB != 0 ? 365.25 / (factor * zone.DHAB) : 1;
  makeBudget(w, size, rng);
  assignContractors(w, std::max(5, size / 50), rng);
  planEstimates(w, today, rng);
  return w;
}

}  // namespace velmora::demo
