#include "equipment/hours_import.h"

#include <algorithm>
#include <climits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dictionary/unit_of_work.h"

namespace velmora::equipment {

namespace {

constexpr std::int32_t kProcessStep = 10;

Status refused(const std::string& why, std::string_view table) {
  return Status::error(err::ValueRefused, "Importación rechazada: " + why).on(table);
}

bool unstarted(const MAQ& m) { return m.RECI < 1 && m.IMPO < 1; }

bool blankText(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Whole cents of an amount of hours times a price.
std::int64_t cents(double amount) {
  if (auto d = Decimal::fromDouble(amount)) return d->cents();
  return 0;
}

// The equipment invoices refer to, by number and front (front 0: an invoice
// that names no front refers to the number on every front). Empty when the
// work's invoices are not named: nothing refers to anything then.
using Invoiced = std::set<std::pair<std::int32_t, std::int32_t>>;
bool hasInvoiceFile(db::Context& ctx) {
  return !ctx.storage().fileName(*dict::findTable("FAMA")).empty();
}
Status invoicedEquipment(db::Table& fama, Invoiced& out) {
  Status st = fama.setStart(nullptr);
  while (st && (st = fama.next())) out.insert({fama.rec<FAM>().MAQU, fama.rec<FAM>().FREN});
  return st.code == err::NoRecord ? Status::success() : st;
}
bool invoiced(const Invoiced& in, const MAQ& m) {
  return in.count({m.CTA, m.FREN}) != 0 || in.count({m.CTA, 0}) != 0;
}

// The equipment with neither progress nor amount nor an invoice that
// refers to it, by position, and their fronts. Progress and amount are kept
// by the invoices, but an invoice alone is reason enough to keep it.
Status unstartedEquipment(db::Table& maqu, const Invoiced& inv,
                          std::vector<std::int64_t>& positions, std::set<std::int32_t>& fronts) {
  Status st = maqu.setStart(nullptr);
  while (st && (st = maqu.next())) {
    const MAQ& m = maqu.rec<MAQ>();
    if (!unstarted(m) || invoiced(inv, m)) continue;
    positions.push_back(maqu.position());
    fronts.insert(m.FREN);
  }
  return st.code == err::NoRecord ? Status::success() : st;
}

Status highestProcess(db::Table& prob, std::int32_t& highest) {
  highest = 0;
  prob.clear();
  Status st = prob.setStart(prob.info().key("PRB:CTA_KEY"));
  if (st) st = prob.previous();
  if (st) highest = std::max(prob.rec<PRB>().CTA, 0);
  return st.code == err::NoRecord ? Status::success() : st;
}

// The process of a description: found by its key, or added with the next
// number. A blank description is no process at all (0).
class Processes {
 public:
  Processes(db::Table& prob, std::int32_t highest) : prob_(prob), next_(highest) {}

  Status find(const std::string& description, std::int32_t& number, int& created) {
    number = 0;
    if (blankText(description)) return Status::success();
    const std::string name = trimmed(description);
    if (auto it = known_.find(name); it != known_.end()) {
      number = it->second;
      return Status::success();
    }
    prob_.clear();
    prob_.rec<PRB>().TEXT = description;
    Status st = prob_.get("PRB:DES_KEY");
    if (st) {
      number = prob_.rec<PRB>().CTA;
    } else if (st.code == err::RecordNotFound) {
      if (next_ > INT32_MAX - kProcessStep)
        return refused("no queda número para el proceso " + name, "PROB");
      next_ += kProcessStep;
      prob_.clear();
      PRB& p = prob_.rec<PRB>();
      p.CTA = next_;
      p.TEXT = description;
      st = prob_.add();
      if (!st) return st;
      number = next_;
      ++created;
    } else {
      return st;
    }
    known_[name] = number;
    return Status::success();
  }

 private:
  db::Table& prob_;
  std::int32_t next_;
  std::map<std::string, std::int32_t> known_;
};

}  // namespace

Status countCleanUp(db::Context& ctx, CleanUp& out) {
  out = {};
  std::vector<db::Table*> tables = {&ctx.table("MAQU")};
  if (hasInvoiceFile(ctx)) tables.push_back(&ctx.table("FAMA"));
  std::vector<db::Table*> opened;
  Status st;
  for (db::Table* t : tables)
    if (st && !t->isOpen() && (st = t->open())) opened.push_back(t);
  Invoiced inv;
  if (st && tables.size() > 1) st = invoicedEquipment(*tables[1], inv);
  std::vector<std::int64_t> positions;
  std::set<std::int32_t> fronts;
  if (st) st = unstartedEquipment(*tables[0], inv, positions, fronts);
  for (db::Table* t : opened) t->close();
  out.records = std::int64_t(positions.size());
  out.fronts = int(fronts.size());
  return st;
}

Status importHours(db::Context& ctx, const HoursImport& in, ImportResult* result) {
  ImportResult ignored;
  ImportResult& out = result ? *result : ignored;
  out = {};
  if (in.front <= 0) return refused("no se dio el frente", "FREN");
  if (in.factor.cents() <= 0) return refused("el factor debe ser mayor que cero", "HORA");
  const double factor = in.factor.toDouble();

  db::Table& hora = ctx.table("HORA");
  db::Table& maqu = ctx.table("MAQU");
  db::Table& prob = ctx.table("PROB");
  db::Table& fren = ctx.table("FREN");
  std::vector<db::Table*> tables = {&hora, &maqu, &prob, &fren};
  if (hasInvoiceFile(ctx)) tables.push_back(&ctx.table("FAMA"));
  db::Transaction tx(ctx, tables);
  Status st = tx.status();

  // The front first: nothing is touched for a front that is not there.
  if (st) {
    out.failedAt = FileAction::Read;
    fren.clear();
    fren.rec<FRE>().CTA = in.front;
    st = fren.get("FRE:CTA_KEY");
  }
  if (st) {
    std::int64_t lines = 0;
    st = hora.records(lines);
    if (st && lines == 0) st = refused("no hay horas de equipo", "HORA");
  }
  if (st && !in.accumulate) {
    out.failedAt = FileAction::Delete;
    Invoiced inv;
    if (tables.size() > 4) st = invoicedEquipment(*tables[4], inv);
    std::vector<std::int64_t> positions;
    std::set<std::int32_t> fronts;
    if (st) st = unstartedEquipment(maqu, inv, positions, fronts);
    for (std::size_t i = 0; st && i < positions.size(); ++i)
      st = maqu.removeByPosition(positions[i]);
    if (st) out.deleted = std::int64_t(positions.size());
  }
  std::int32_t highest = 0;
  if (st) {
    out.failedAt = FileAction::Read;
    st = highestProcess(prob, highest);
  }

  Processes processes(prob, highest);
  // The equipment this import wrote, by number: a number seen again adds to
  // it, and the budget counts each once, as it was left.
  std::map<std::int32_t, std::int64_t> amount;
  std::set<std::int32_t> written;
  if (st) st = hora.setStart(nullptr);
  while (st && (st = hora.next())) {
    const HOR line = hora.rec<HOR>();
    ++out.lines;
    std::int32_t process = 0;
    out.failedAt = FileAction::Add;
    st = processes.find(line.DPRO, process, out.processes);
    if (!st) break;
    const double hours = line.CANT * factor;

    maqu.clear();
    maqu.rec<MAQ>().CTA = line.CTA;
    maqu.rec<MAQ>().FREN = in.front;
    out.failedAt = FileAction::Read;
    st = maqu.get("MAQ:CTA_KEY");
    if (!st && st.code != err::RecordNotFound) break;
    const bool found = bool(st);
    const bool ours = written.count(line.CTA) != 0;
    if (found && !in.accumulate && !ours) {
      // Equipment with progress survived the clean-up and stays as it is.
      ++out.kept;
      amount[line.CTA] += cents(hours * line.PREC);
      st = Status::success();
      continue;
    }
    MAQ& m = maqu.rec<MAQ>();
    if (!found) {
      maqu.clear();
      m.CTA = line.CTA;
      m.FREN = in.front;
      m.REQU = 0;
    }
    m.DESC = line.DESC;
    m.REQU += hours;
    m.PRRE = line.PREC;
    m.PROC = process;
    if (found) {
      out.failedAt = FileAction::Change;
      st = maqu.put();
      if (!ours) ++out.accumulated;
    } else {
      out.failedAt = FileAction::Add;
      st = maqu.add();
      ++out.added;
    }
    if (!st) break;
    written.insert(line.CTA);
    amount[line.CTA] = cents(m.REQU * line.PREC);
  }
  if (st.code == err::NoRecord) st = Status::success();

  if (st) {
    std::int64_t total = 0;
    for (const auto& [number, value] : amount) total += value;
    out.budget = Decimal::fromCents(total);
    out.failedAt = FileAction::Read;
    fren.clear();
    fren.rec<FRE>().CTA = in.front;
    st = fren.get("FRE:CTA_KEY");
  }
  if (st) {
    out.failedAt = FileAction::Change;
    fren.rec<FRE>().EQRE = out.budget.toDouble();
    st = fren.put();
  }
  if (st) {
    out.failedAt = FileAction::Transaction;
    st = tx.commit();
  }
  return st;
}

}  // namespace velmora::equipment
