#include "programs/velmora/demo_work.h"

#include <fmt/core.h>

#include <algorithm>
#include <map>

#include "dictionary/cp1252.h"
#include "dictionary/dates.h"

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
    for (std::size_t n = assigned.size() * std::size_t(c) / std::size_t(count);
         n < assigned.size() * std::size_t(c + 1) / std::size_t(count); ++n) {
      Item& it = w.items[assigned[n]];
      it.contractor = r.CTA;
      it.estimable = estimable;
      r.ICON += it.labour;
    }
    r.ICON = round2(r.ICON);
    w.contractors.push_back(r);
  }
}

std::int32_t saturdayOnOrAfter(std::int32_t date) {
  return date + (6 - dates::dayOfWeek(date) + 7) % 7;
}

// Estimates as the estimate form would have saved them, one contractor at a
// time: an advance, progress estimates every fortnight with amortisation,
// guarantee fund, IVA, payroll and loans, and a fund return once finished.
void simulateEstimates(Work& w, std::int32_t today, Random& rng) {
  std::map<int, std::vector<std::size_t>> itemsOf;
  for (std::size_t i = 0; i < w.items.size(); ++i)
    if (w.items[i].contractor > 0) itemsOf[w.items[i].contractor].push_back(i);

  for (CTR& c : w.contractors) {
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

    // An advance before the first estimate, within what amortisation recovers.
    double ceiling = c.ICON * c.PANT / 100;
    double advance = std::floor(ceiling * rng.uniform(0.5, 0.9) / 100) * 100;
    if (rng.chance(0.6) && advance >= 1000) {
      Estimate e = entry(std::max(dates.front() - 10, start));
      e.header.UFEC = 1;
      e.header.ESTI = -1;
      e.header.CANT = advance;
      e.header.PANT = -advance;
      c.ANTI += advance;
      w.estimates.push_back(std::move(e));
    }

    // How far each item will have got by the last estimate.
    const double elapsed = std::clamp(double(today - start) / kWorkDays, 0.0, 1.0);
    std::vector<double> target;
    for (std::size_t n = 0; n < mine.size(); ++n)
      target.push_back(elapsed > 0.95 && rng.chance(0.7)
                           ? 100
                           : std::min(100.0, round2(elapsed * 100 * rng.uniform(0.75, 1.15))));
    std::vector<double> done(mine.size(), 0);  // quantity executed so far

    const int count = int(dates.size());
    for (int k = 1; k <= count; ++k) {
      Estimate e = entry(dates[std::size_t(k - 1)]);
      double total = 0;
      for (std::size_t n = 0; n < mine.size(); ++n) {
        Item& it = w.items[mine[n]];
        double goal = k == count
                          ? target[n]
                          : std::min(target[n], target[n] * k / count * rng.uniform(0.85, 1.1));
        double executed = round2(it.quantity * goal / 100);
        double quantity = round2(executed - done[n]);
        if (quantity < 0.01) continue;
        // The line as the progress form values it: the rest of the budget
        // spread over the rest of the quantity.
        double ceilingOfItem = it.labour * it.estimable / 100;
        double before = it.quantity * it.progress / 100;
        if (it.quantity - before <= 0) continue;
        double amount = quantity * (ceilingOfItem - it.paid) / (it.quantity - before);
        double progress = executed >= it.quantity
                              ? 100
                              : std::min(100.0, quantity * 100 / it.quantity + it.progress);
        DPO line;
        line.PART = w.concepts[std::size_t(it.conceptIndex)].number;
        line.PROC = w.processNumber[std::size_t(w.concepts[std::size_t(it.conceptIndex)].process)];
        line.FREN = it.front + 1;
        line.TANT = it.paid;
        line.TACT = it.paid + amount;
        line.PANT = it.progress;
        line.PACT = progress;
        e.lines.push_back(line);
        total += amount;
        done[n] = executed;
        it.paid = line.TACT;
        it.progress = progress;
        if (it.first == 0) it.first = e.header.FECH;
        it.last = e.header.FECH;
      }
      if (e.lines.empty()) continue;

      // The final amounts, then the contractor's totals as saving moves them.
      POL& p = e.header;
      double balance = c.ANTI - c.AAMO;
      if (balance > 0) p.PANT = std::min(balance, c.PANT * total / 100);
      p.PFON = total * c.PGAR / 100;
      p.PPRE = c.PRES;
      p.NOMI = payroll ? round2(total * 0.1) : 0;
      p.IVA = c.IVA * (total - p.NOMI) / 100;
      p.PRES = loan && k == 1 && count > 1 ? 5000 : 0;
      p.CANT = total;
      p.UFEC = c.UFEC;
      p.SANT = c.ANTI - c.AAMO - p.PANT;
      p.SFON = c.GAAC + p.PFON;
      p.TACU = c.TPAG;
      c.UEST += 1;
      c.TPAG += total;
      p.ESTI = c.UEST;
      c.UFEC = p.FECH;
      c.AAMO += p.PANT;
      c.GAAC += p.PFON;
      c.PRES = p.PRES;
      c.TIVA += p.IVA;
      c.NOAC += p.NOMI;
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
      e.header.PFON = -c.GAAC;
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
  simulateEstimates(w, today, rng);
  return w;
}

}  // namespace velmora::demo
