#include "equipment/supplier_audit.h"

#include <fmt/core.h>

#include <cmath>
#include <map>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "dictionary/unit_of_work.h"
#include "framework/picture.h"

namespace velmora::equipment {

namespace {

std::int64_t cents(double v) {
  const auto d = Decimal::fromDouble(v);
  return d ? d->cents() : 0;
}
std::string shown(std::int64_t c) {
  const std::string text = formatPicture("@n-14.2", Decimal::fromCents(c));
  return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

constexpr std::uint8_t kEquipmentSupplier = 2;

enum class Phase {
  Keys,
  Begin,
  Payments,
  Invoices,
  Suppliers,
  Items,
  Equipment,
  Commit,
  Done,
  Stopped
};

struct SupplierSums {
  std::int64_t invoiced = 0, paid = 0, applied = 0, given = 0;
};
using ItemKey = std::tuple<std::int64_t, std::int32_t, std::int32_t>;
using EquipmentKey = std::pair<std::int32_t, std::int32_t>;
struct Invoiced {
  std::int64_t hours = 0, amount = 0;  // hours in hundredths
};

}  // namespace

struct SupplierAudit::State {
  State(db::Context& c, bool check) : ctx(c), check(check) {}

  db::Context& ctx;
  bool check;
  Phase phase = Phase::Keys;
  std::size_t cursor = 0;
  bool reading = false;
  Status failure;
  FileAction failureAction = FileAction::Open;
  SupplierAuditCounts counts;
  std::vector<std::string> differences;
  std::unique_ptr<db::Transaction> tx;

  std::unordered_map<std::int32_t, SupplierSums> suppliers;
  std::unordered_map<std::int32_t, std::int64_t> paidOn;  // by invoice folio
  std::map<ItemKey, std::int64_t> items;
  std::map<EquipmentKey, Invoiced> equipment;

  db::Table& table(const char* label) { return ctx.table(label); }

  void stop(const Status& st, FileAction action) {
    failure = st;
    failureAction = action;
    phase = Phase::Stopped;
    tx.reset();
  }
  void enter(Phase p) {
    phase = p;
    cursor = 0;
    reading = false;
  }

  // The next record of a scan in record order; false at the end or on a
  // failure (then the run stops).
  bool next(db::Table& t, bool& end) {
    if (!reading) {
      Status st = t.setStart(nullptr);
      if (!st) {
        stop(st, FileAction::Read);
        return false;
      }
      reading = true;
    }
    Status st = t.next();
    if (st) return true;
    end = st.code == err::NoRecord;
    if (!end) stop(st, FileAction::Read);
    return false;
  }

  void rebuildKeys() {
    if (check) return enter(Phase::Begin);
    db::Table& t = table(kTables[cursor]);
    Status st;
    if (t.isOpen()) {
      st = t.buildKeys();
    } else {
      st = t.openForRebuild();
      if (st) t.close();
    }
    // A work without one of these files yet has nothing to rebuild there.
    if (!st && st.code != err::FileNotFound) return stop(st, FileAction::BuildKeys);
    if (++cursor == std::size(kTables)) enter(Phase::Begin);
  }

  void begin() {
    std::vector<db::Table*> all;
    for (const char* label : kTables) all.push_back(&table(label));
    tx = std::make_unique<db::Transaction>(ctx, all);
    if (!tx->status()) return stop(tx->status(), FileAction::Transaction);
    enter(Phase::Payments);
  }

  void readPayments() {
    db::Table& pagm = table("PAGM");
    for (int n = 0; n < kBatch; ++n) {
      bool end = false;
      if (!next(pagm, end)) {
        if (end) enter(Phase::Invoices);
        return;
      }
      const PGM& p = pagm.rec<PGM>();
      SupplierSums& s = suppliers[p.PROV];
      if (p.TIPO == "A") {
        s.given += cents(p.ANTI);
      } else {
        s.paid += cents(p.CANT);
        s.applied += cents(p.ANTI);
        paidOn[p.FACT] += cents(p.CANT);
      }
    }
  }

  // The invoices: their totals summed, and each one's paid amount written.
  void invoices() {
    db::Table& fama = table("FAMA");
    for (int n = 0; n < kBatch; ++n) {
      bool end = false;
      if (!next(fama, end)) {
        if (end) enter(Phase::Suppliers);
        return;
      }
      FAM& f = fama.rec<FAM>();
      suppliers[f.PROV].invoiced += cents(f.IMPO) + cents(f.IVA);
      items[{std::llround(f.CONC * 100.0), f.PROC, f.FREN}] += cents(f.IMPO);
      Invoiced& e = equipment[{f.MAQU, f.FREN}];
      e.hours += cents(f.CANT);
      e.amount += cents(f.IMPO);
      auto paid = paidOn.find(f.CTA);
      const std::int64_t should = paid == paidOn.end() ? 0 : paid->second;
      if (cents(f.PAGO) == should) continue;
      differences.push_back(fmt::format("Factura {}: pagado {} en vez de {}", f.CTA, shown(should),
                                        shown(cents(f.PAGO))));
      ++counts.invoicesWritten;
      if (check) continue;
      f.PAGO = Decimal::fromCents(should).toDouble();
      if (Status st = fama.put(); !st) return stop(st.on("FAMA"), FileAction::Change);
    }
  }

  void writeSuppliers() {
    db::Table& prov = table("PROV");
    for (int n = 0; n < kBatch; ++n) {
      bool end = false;
      if (!next(prov, end)) {
        if (end) enter(Phase::Items);
        return;
      }
      PRV& r = prov.rec<PRV>();
      if (r.TIPO != kEquipmentSupplier) continue;
      const SupplierSums s = suppliers[r.CTA];
      struct Field {
        double& value;
        std::int64_t should;
        const char* name;
      };
      bool changed = false;
      for (Field f : {Field{r.TFAC, s.invoiced, "facturado"}, Field{r.TPAG, s.paid, "pagado"},
                      Field{r.AAMO, s.applied, "anticipos aplicados"},
                      Field{r.ANTI, s.given, "anticipos dados"}}) {
        if (cents(f.value) == f.should) continue;
        differences.push_back(fmt::format("Proveedor {}: {} {} en vez de {}", r.CTA, f.name,
                                          shown(f.should), shown(cents(f.value))));
        f.value = Decimal::fromCents(f.should).toDouble();
        changed = true;
      }
      if (!changed) continue;
      ++counts.suppliersWritten;
      if (check) continue;
      if (Status st = prov.put(); !st) return stop(st.on("PROV"), FileAction::Change);
    }
  }

  void writeItems() {
    db::Table& part = table("PART");
    for (int n = 0; n < kBatch; ++n) {
      bool end = false;
      if (!next(part, end)) {
        if (end) enter(Phase::Equipment);
        return;
      }
      PAR& r = part.rec<PAR>();
      auto it = items.find({std::llround(r.CONC * 100.0), r.PROC, r.FREN});
      const std::int64_t should = it == items.end() ? 0 : it->second;
      if (cents(r.TEQU) == should) continue;
      differences.push_back(fmt::format("Partida {:.2f}/{}/{}: maquinaria {} en vez de {}", r.CONC,
                                        r.PROC, r.FREN, shown(should), shown(cents(r.TEQU))));
      ++counts.itemsWritten;
      if (check) continue;
      r.TEQU = Decimal::fromCents(should).toDouble();
      if (Status st = part.put(); !st) return stop(st.on("PART"), FileAction::Change);
    }
  }

  void writeEquipment() {
    db::Table& maqu = table("MAQU");
    for (int n = 0; n < kBatch; ++n) {
      bool end = false;
      if (!next(maqu, end)) {
        if (end) enter(Phase::Commit);
        return;
      }
      MAQ& r = maqu.rec<MAQ>();
      auto it = equipment.find({r.CTA, r.FREN});
      const Invoiced should = it == equipment.end() ? Invoiced{} : it->second;
      if (cents(r.RECI) == should.hours && cents(r.IMPO) == should.amount) continue;
      differences.push_back(
          fmt::format("Equipo {} del frente {}: {} horas y {} facturados en "
                      "vez de {} y {}",
                      r.CTA, r.FREN, shown(should.hours), shown(should.amount),
                      shown(cents(r.RECI)), shown(cents(r.IMPO))));
      ++counts.equipmentWritten;
      if (check) continue;
      r.RECI = Decimal::fromCents(should.hours).toDouble();
      r.IMPO = Decimal::fromCents(should.amount).toDouble();
      if (Status st = maqu.put(); !st) return stop(st.on("MAQU"), FileAction::Change);
    }
  }

  void commit() {
    // Checking writes nothing: the transaction only kept the reads whole.
    Status st = check ? Status::success() : tx->commit();
    tx.reset();
    if (!st) return stop(st, FileAction::Transaction);
    enter(Phase::Done);
  }

  bool step() {
    switch (phase) {
      case Phase::Keys: rebuildKeys(); break;
      case Phase::Begin: begin(); break;
      case Phase::Payments: readPayments(); break;
      case Phase::Invoices: invoices(); break;
      case Phase::Suppliers: writeSuppliers(); break;
      case Phase::Items: writeItems(); break;
      case Phase::Equipment: writeEquipment(); break;
      case Phase::Commit: commit(); break;
      case Phase::Done:
      case Phase::Stopped: return false;
    }
    return phase != Phase::Done && phase != Phase::Stopped;
  }
};

SupplierAudit::SupplierAudit(db::Context& ctx, bool check)
    : s_(std::make_unique<State>(ctx, check)) {}
SupplierAudit::~SupplierAudit() = default;

bool SupplierAudit::step() { return s_->step(); }
bool SupplierAudit::finished() const { return s_->phase == Phase::Done; }
bool SupplierAudit::stopped() const { return s_->phase == Phase::Stopped; }
const Status& SupplierAudit::failure() const { return s_->failure; }
FileAction SupplierAudit::failureAction() const { return s_->failureAction; }
const SupplierAuditCounts& SupplierAudit::counts() const { return s_->counts; }
const std::vector<std::string>& SupplierAudit::differences() const { return s_->differences; }

std::string SupplierAudit::caption() const {
  switch (s_->phase) {
    case Phase::Keys: return "RECONSTRUYENDO LLAVES";
    case Phase::Begin:
    case Phase::Payments: return "LEYENDO PAGOS";
    case Phase::Invoices: return "REVISANDO FACTURAS";
    case Phase::Suppliers: return "VALORES A PROVEEDORES";
    case Phase::Items: return "VALORES A PARTIDAS";
    case Phase::Equipment: return "VALORES A EQUIPOS";
    case Phase::Commit:
    case Phase::Done: return "AUDITORIA TERMINADA";
    case Phase::Stopped: return "AUDITORIA DETENIDA";
  }
  return {};
}

int SupplierAudit::percent() const {
  // The phases in order, each an equal share.
  const int done = static_cast<int>(s_->phase);
  return std::min(100, done * 100 / static_cast<int>(Phase::Done));
}

}  // namespace velmora::equipment
