// CAP_PROV and UP_PROV: the equipment suppliers (type 2 of the supplier
// file DUDORE shares) with their balances. The highlighted supplier is the
// program's chosen one (NPRV), whose invoices the payments list and pay.

#include <cmath>

#include "equipment/equipment.h"
#include "framework/browse.h"
#include "framework/describe.h"
#include "framework/form.h"
#include "framework/picture.h"

namespace velmora::equipment {

namespace {

constexpr std::uint8_t kEquipmentSupplier = 2;
constexpr const char* kChosen = "NPRV";
constexpr const char* kAdvances = "ANTICIPOS";
constexpr const char* kPending = "PENDIENTE";
// The totals below the list: advances, pending, invoiced, paid.
constexpr const char* kSums[] = {"TOT1", "TOT2", "TOT3", "TOT4"};
enum Column { kCta, kName, kAdvance, kOwed, kInvoiced, kPaid };

double outstanding(const PRV& p) { return p.ANTI - p.AAMO; }
// Invoiced less paid: what UP_PAGO shows as "PENDIENTE TOTAL DE PAGO".
// PRV:TREC, the value received, is raised by nothing in VOROVID and would
// read 0.00 for every supplier.
double owed(const PRV& p) { return p.TFAC - p.TPAG; }

Decimal money(double v) {
  return std::isfinite(v) ? Decimal::fromDouble(v).value_or(Decimal()) : Decimal();
}

BrowseTab equipmentOnly(const char* key, const char* locator) {
  BrowseTab t = sortTab(key, locator);
  t.filter = [](const Record& r) { return r.as<PRV>().TIPO == kEquipmentSupplier; };
  return t;
}

class CapProv : public BrowseProcedure {
 public:
  CapProv(Program& program, db::Context& ctx)
      : BrowseProcedure(program, ctx, window(), labels::PROV, "UP_PROV",
                        {equipmentOnly(keys::PRV_CTA_KEY, "PRV:CTA"),
                         equipmentOnly(keys::PRV_NOM_KEY, "PRV:NOMB")},
                        entry::kSupplierDelete) {
    setLocal(kAdvances, Decimal());
    setLocal(kPending, Decimal());
    for (const char* s : kSums) setLocal(s, Decimal());
  }

  std::string cell(int row, int column) const override {
    if ((column != kAdvance && column != kOwed) || row < 0 || row >= int(view_->rows().size()))
      return BrowseProcedure::cell(row, column);
    const PRV& p = view_->rows()[std::size_t(row)].record.as<PRV>();
    return formatPicture(window_.find(list_)->columns[std::size_t(column)].picture,
                         money(column == kAdvance ? outstanding(p) : owed(p)));
  }

 protected:
  bool init() override {
    if (!BrowseProcedure::init()) return false;
    addUp();
    selectionChanged();
    return true;
  }

  int update(int req) override {
    const int r = BrowseProcedure::update(req);
    if (r == response::Completed) addUp();
    return r;
  }

  void selectionChanged() override {
    if (!view_ || view_->empty() || view_->selected() < 0) return;
    const PRV& p = view_->rows()[std::size_t(view_->selected())].record.as<PRV>();
    program_.setVar(kChosen, std::int64_t(p.CTA));
  }

 private:
  static WindowDescription window() {
    return Describe("CAP_PROV", "Catálogo de Proveedores")
        .list({{"CTA", "PRV:CTA", "@n-7", 7, 'R', true},
               {"N O M B R E", "PRV:NOMB", "@s50", 40, 'L', true},
               summed({"ANTICIPOS", kAdvances, "@n-14.2", 14, 'R', true}, kSums[0]),
               summed({"PENDIENTE", kPending, "@n-14.2", 14, 'R', true}, kSums[1]),
               summed({"FACTURADO", "PRV:TFAC", "@n-14.2", 14, 'R', true}, kSums[2]),
               summed({"PAGADO", "PRV:TPAG", "@n-14.2", 14, 'R', true}, kSums[3])})
        .tabs({"x Cta", "Alfabético"})
        .browseButtons()
        .done();
  }

  // The sums of the suppliers listed, read in one pass; the buffer is left
  // as the list had it.
  void addUp() {
    db::Table& t = table(labels::PROV);
    const Record kept = t.buffer();
    double sums[4] = {};
    Status st = t.setStart(t.info().key(keys::PRV_CTA_KEY));
    while (st && (st = t.next())) {
      const PRV& p = t.rec<PRV>();
      if (p.TIPO != kEquipmentSupplier) continue;
      sums[0] += outstanding(p);
      sums[1] += owed(p);
      sums[2] += p.TFAC;
      sums[3] += p.TPAG;
    }
    if (st.code != err::NoRecord) fileError(st, FileAction::Read);
    t.buffer() = kept;
    for (int i = 0; i < 4; ++i) setLocal(kSums[i], money(sums[i]));
    listChanged();  // the sums under their columns
  }
};

// Saving through it makes any supplier an equipment supplier.
class UpProv : public FormProcedure {
 public:
  UpProv(Program& program, db::Context& ctx)
      : FormProcedure(program, ctx, window(), labels::PROV, entry::kSuppliers, settings()) {}

 protected:
  bool validate() override {
    primary().rec<PRV>().TIPO = kEquipmentSupplier;
    return true;
  }

 private:
  static WindowDescription window() {
    return Describe("UP_PROV", "Actualizando Proveedores")
        .field("CTA:", "PRV:CTA", "@n-7")
        .required()
        .field("NOMBRE:", "PRV:NOMB", "@s50")
        .required()
        .formButtons()
        .done();
  }
  static FormSettings settings() {
    FormSettings s;
    s.deleteEntry = entry::kSupplierDelete;
    return s;
  }
};

}  // namespace

void addSupplierProcedures(Program& program) {
  program.declare(kChosen, Value(std::int64_t(0)));
  program.addProcedure("CAP_PROV",
                       [](Program& p, db::Context& c) { return std::make_unique<CapProv>(p, c); });
  program.addProcedure("UP_PROV",
                       [](Program& p, db::Context& c) { return std::make_unique<UpProv>(p, c); });
}

}  // namespace velmora::equipment
