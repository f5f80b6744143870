#include "exchange/budget_import.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <map>
#include <string>

#include "dictionary/cp1252.h"
#include "dictionary/regular_file.h"
#include "dictionary/unit_of_work.h"

namespace velmora::exchange {

namespace {

constexpr std::int32_t kStep = 10;
// The budgeting system's rows of one work; far below this in practice.
constexpr std::uint64_t kSourceLimit = 2 * files::GiB;

Status refused(const std::string& why, std::string_view table) {
  return Status::error(err::ValueRefused, "Importación rechazada: " + why).on(table);
}

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

const dict::TableInfo& cotInfo() { return *dict::findTable("COT"); }

// The highest number on file in a table's number key, 0 when empty.
template <class R>
Status highest(db::Table& t, const char* key, std::int32_t& number) {
  number = 0;
  t.clear();
  Status st = t.setStart(t.info().key(key));
  if (st) st = t.previous();
  if (st) number = std::max(std::int32_t(t.rec<R>().CTA), 0);
  return st.code == err::NoRecord ? Status::success() : st;
}

// Numbers handed out in steps of 10, refusing to wrap past the largest.
class Numbers {
 public:
  explicit Numbers(std::int32_t highest) : last_(highest) {}
  bool next(std::int32_t& n) {
    if (last_ > INT32_MAX - kStep) return false;
    n = last_ += kStep;
    return true;
  }

 private:
  std::int32_t last_;
};

class Importer {
 public:
  Importer(db::Context& ctx, const BudgetImport& in, BudgetImportResult& out)
      : ctx_(ctx), in_(in), out_(out) {}

  Status run();

 private:
  Status check();
  Status heading(const COO& row);
  Status conceptRow(const COO& row, std::int32_t& number);
  Status itemRow(const COO& row, std::int32_t number);
  Status fail(FileAction at, Status st) {
    out_.failedAt = at;
    return st;
  }

  db::Context& ctx_;
  const BudgetImport& in_;
  BudgetImportResult& out_;
  db::Table& cot_ = ctx_.table(cotInfo());
  db::Table& part_ = ctx_.table("PART");
  db::Table& conc_ = ctx_.table("CONC");
  db::Table& prob_ = ctx_.table("PROB");
  db::Table& fren_ = ctx_.table("FREN");
  Numbers processes_{0}, concepts_{0};
  std::map<std::string, std::int32_t> knownProcesses_;
  std::int32_t process_ = 0;  // of the last heading read
};

Status Importer::check() {
  if (in_.front <= 0) return refused("no se dio el frente", "FREN");
  if (!(in_.factor > 0))
    return refused("el factor de multiplicación debe ser mayor que cero", "COT");
  if (!(in_.percent >= 0 && in_.percent <= 100))
    return refused("el porcentaje a estimar debe ser de 0 a 100", "PART");
  if (in_.first < 0 || in_.last < 0) return refused("los renglones no pueden ser negativos", "COT");
  if (in_.first > 0 && in_.last > 0 && in_.first > in_.last)
    return refused("el renglón inicial es mayor que el final", "COT");
  return Status::success();
}

// A heading names the process of the concepts after it: found by its text,
// or added with the next number. A blank heading is no process (0).
Status Importer::heading(const COO& row) {
  const std::string text = cp1252::utf8Prefix(row.TEXT, 30);
  process_ = 0;
  if (blank(text)) return Status::success();
  const std::string name = trimmed(text);
  if (auto it = knownProcesses_.find(name); it != knownProcesses_.end()) {
    process_ = it->second;
    return Status::success();
  }
  prob_.clear();
  prob_.rec<PRB>().TEXT = text;
  Status st = prob_.get("PRB:DES_KEY");
  if (st) {
    process_ = prob_.rec<PRB>().CTA;
  } else if (st.code == err::RecordNotFound) {
    std::int32_t n = 0;
    if (!processes_.next(n)) return refused("no queda número para el proceso " + name, "PROB");
    prob_.clear();
    prob_.rec<PRB>().CTA = n;
    prob_.rec<PRB>().TEXT = text;
    if (!(st = prob_.add())) return fail(FileAction::Add, st);
    process_ = n;
    ++out_.processesAdded;
  } else {
    return fail(FileAction::Read, st);
  }
  knownProcesses_[name] = process_;
  return Status::success();
}

// The concept of a row by its key: new, or its total quantity grows. The
// CONC buffer is left holding it.
Status Importer::conceptRow(const COO& row, std::int32_t& number) {
  const std::string key = trimmed(row.GENE) + row.LLAV;
  // Every keyless row would land on one concept and mix unrelated work.
  if (blank(key)) {
    out_.failedRow = row.CTA;
    return refused("el renglón " + std::to_string(row.CTA) + " no tiene clave de concepto", "CONC");
  }
  const double quantity = row.CANT * in_.factor;
  conc_.clear();
  COE& c = conc_.rec<COE>();
  c.CLAVE = cp1252::utf8Prefix(key, 12);
  Status st = conc_.get("COE:CLA_KEY");
  if (st) {
    c.TCANT += quantity;
    if (!(st = conc_.put())) return fail(FileAction::Change, st);
    ++out_.conceptsAccumulated;
  } else if (st.code == err::RecordNotFound) {
    std::int32_t n = 0;
    if (!concepts_.next(n)) return refused("no queda número para el concepto " + key, "CONC");
    conc_.clear();
    c.CTA = n;
    c.CLAVE = cp1252::utf8Prefix(key, 12);
    c.TEXT = row.TEXT;
    c.UNID = row.UNID;
    c.TCANT = quantity;
    c.TEX1 = row.TEX1;
    if (!(st = conc_.add())) return fail(FileAction::Add, st);
    ++out_.conceptsAdded;
  } else {
    return fail(FileAction::Read, st);
  }
  number = c.CTA;
  return Status::success();
}

Status Importer::itemRow(const COO& row, std::int32_t number) {
  const COE& c = conc_.rec<COE>();
  const double quantity = row.CANT * in_.factor;
  const double labour =
      labourUnitPrice(row.TOBR, out_.salary.factor, out_.salary.workingDays) * quantity;
  const double materials = (row.TMAT + row.TPOR) * quantity;
  const double equipment = row.TCOS * quantity;
  const double unit = row.TOBR + row.TMAT + row.TCOS + row.TPOR;

  part_.clear();
  PAR& p = part_.rec<PAR>();
  p.CONC = number;
  p.PROC = process_;
  p.FREN = in_.front;
  Status st = part_.get("PAR:CTA_KEY");
  if (st) {
    p.CANT += quantity;
    p.PRES += labour;
    p.MATE += materials;
    p.EQUI += equipment;
    p.UNIT = unit;
    if (!(st = part_.put())) return fail(FileAction::Change, st);
    ++out_.itemsAccumulated;
  } else if (st.code == err::RecordNotFound) {
    part_.clear();
    p.CONC = number;
    p.PROC = process_;
    p.FREN = in_.front;
    p.CANT = p.CANI = quantity;
    p.PRES = p.PREI = labour;
    p.MATE = p.MATI = materials;
    p.EQUI = p.EQII = equipment;
    p.UNIT = unit;
    p.TEXT = cp1252::utf8Prefix(c.TEXT, 30);
    p.UNID = c.UNID;
    p.CLAVE = c.CLAVE;
    p.NEST = c.CLAVE;
    p.PEST = in_.percent;
    p.CONT = 0;
    p.SCON = "N";
    if (!(st = part_.add())) return fail(FileAction::Add, st);
    ++out_.itemsAdded;
  } else {
    return fail(FileAction::Read, st);
  }
  out_.labour += labour;
  return Status::success();
}

Status Importer::run() {
  if (Status st = check(); !st) return st;
  if (Status st = readSalaryFactor(ctx_, out_.salary); !st) return fail(FileAction::Read, st);

  db::Storage& storage = ctx_.storage();
  // A source the user chose may be anything: only a regular file of a sane
  // size goes to the engine, whose open would wait forever on a pipe. A
  // missing one is left to the open, which says so as for any table.
  if (struct stat info; !in_.source.empty() && ::lstat(in_.source.c_str(), &info) == 0)
    if (Status st = files::checkRegularFile(in_.source, kSourceLimit); !st)
      return fail(FileAction::Open, st.on("COT"));
  storage.setFileName(cotInfo(), in_.source.empty() ? storage.fileName(COO::info()) : in_.source);
  // Only read: a source of another layout or table is refused here, and
  // nothing of it is ever written.
  Status st = cot_.openReadOnly();
  if (!st) return fail(FileAction::Open, st.on("COT"));
  struct CloseSource {
    db::Table& t;
    ~CloseSource() { t.close(); }
  } closeSource{cot_};

  db::Transaction tx(ctx_, {&part_, &conc_, &prob_, &fren_});
  if (!(st = tx.status())) return fail(FileAction::Transaction, st);

  // The front first: nothing is touched for a front that is not there.
  fren_.clear();
  fren_.rec<FRE>().CTA = in_.front;
  if (!(st = fren_.get("FRE:CTA_KEY"))) {
    if (st.code == err::RecordNotFound)
      st.text = "Importación rechazada: no existe el frente " + std::to_string(in_.front);
    return fail(FileAction::Read, st.on("FREN"));
  }
  std::int32_t n = 0;
  if (!(st = highest<PRB>(prob_, "PRB:CTA_KEY", n))) return fail(FileAction::Read, st);
  processes_ = Numbers(n);
  if (!(st = highest<COE>(conc_, "COE:CTA_KEY", n))) return fail(FileAction::Read, st);
  concepts_ = Numbers(n);

  // Row order; a first row starts the read there rather than at the top.
  const dict::KeyInfo* byRow = cot_.info().key("COO:CTA_KEY");
  cot_.clear();
  if (in_.first > 0) {
    cot_.rec<COO>().CTA = in_.first;
    st = cot_.set(byRow);
  } else {
    st = cot_.setStart(byRow);
  }
  while (st && (st = cot_.next())) {
    const COO& row = cot_.rec<COO>();
    if (in_.first > 0 && row.CTA < in_.first) continue;
    if (in_.last > 0 && row.CTA > in_.last) break;
    if (row.TIPO == "T") {
      ++out_.rows;
      st = heading(row);
    } else if (row.TIPO == "C" && row.CTA >= 0) {
      ++out_.rows;
      std::int32_t number = 0;
      st = conceptRow(row, number);
      if (st) st = itemRow(row, number);
    }
  }
  if (st.code == err::NoRecord) st = Status::success();
  if (!st) {
    if (st.table.empty()) st.on("COT");
    return st;
  }
  if (out_.rows == 0) return refused("no hay renglones del presupuesto en ese rango", "COT");

  FRE& f = fren_.rec<FRE>();
  fren_.clear();
  f.CTA = in_.front;
  if (!(st = fren_.get("FRE:CTA_KEY"))) return fail(FileAction::Read, st.on("FREN"));
  f.TPRES += out_.labour;
  if (!(st = fren_.put())) return fail(FileAction::Change, st.on("FREN"));
  if (!(st = tx.commit())) return fail(FileAction::Transaction, st);
  out_.failedAt = FileAction::Transaction;
  return st;
}

}  // namespace

double realSalaryFactor(const CTL& c) {
  double f = 0;
  if (c.DHAB != 0) {
    const double paid = 365.25 + c.VACA + c.GRAT;
    const double social = (c.PIMS + c.EIMS + c.PDPR + c.PDEM + c.GMPA + c.GMEM + c.RIPA + c.RIEM +
                           c.INPA + c.INEM + c.GUPA + c.GUEM + c.CEPA + c.CEEM + c.EXPA + c.EXEM) /
                          100;
    const double housing = (c.IINF + c.ISAR) * paid / 100;
    const double payroll = paid * c.IISN / 100;
    f = (365.25 + c.GRAT + c.VACA + housing + payroll + paid * social) / c.DHAB;
  }
  // A factor fixed by hand wins.
  if (c.MAXI > 0) f = c.MAXI;
  return f;
}

double labourUnitPrice(double unitLabour, double factor, double workingDays) {
  if (factor == 0 || workingDays == 0) return 1;
  return unitLabour * 365.25 / (factor * workingDays);
}

Status readSalaryFactor(db::Context& ctx, SalaryFactor& out) {
  out = {};
  db::Table& control = ctx.table("CONTROL");
  const bool wasOpen = control.isOpen();
  Status st = wasOpen ? Status::success() : control.openReadOnly();
  // No control file is no factor, as is an empty one.
  if (!st && st.code == err::FileNotFound) return Status::success();
  if (st) {
    control.clear();
    st = control.setStart(control.info().key("CTL:KEYCTA"));
    if (st) st = control.next();
    if (st) {
      const CTL& c = control.rec<CTL>();
      out.factor = realSalaryFactor(c);
      out.workingDays = c.DHAB;
      out.unitLabour = out.factor == 0 || out.workingDays == 0;
    } else if (st.code == err::NoRecord) {
      st = Status::success();
    }
  }
  if (!wasOpen) control.close();
  return st.ok() ? st : st.on("CONTROL");
}

Status importBudget(db::Context& ctx, const BudgetImport& input, BudgetImportResult* result) {
  BudgetImportResult ignored;
  BudgetImportResult& out = result ? *result : ignored;
  out = {};
  return Importer(ctx, input, out).run();
}

}  // namespace velmora::exchange
