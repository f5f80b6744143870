// IMP_PAG: the payments to equipment suppliers in a range of dates, for one
// supplier or invoice or all, advances and invoice payments.

#include "equipment/reports/equipment_reports.h"

namespace velmora::reports {

namespace {

constexpr const char* kSupplier = "PROVEEDOR";
constexpr const char* kAdvance = "ANTICIPO";
constexpr const char* kBank = "BANCO";

SheetSpec sheet() {
  SheetSpec s;
  s.procedure = "IMP_PAG";
  s.title = "PAGOS A PROVEEDORES DE EQUIPO EN:";
  s.table = "PAGM";
  s.key = "PGM:NUM_KEY";
  s.landscape = true;
  s.font = 24;
  s.columns = {
      {"P R O V E E D O R", kSupplier, "@s40", 40},
      {"REFERENCIA", "PGM:CHEC", "@n_7B", 10, true},
      {"FECHA", "PGM:FECH", "@d6", 10},
      {"FACT", "PGM:FACT", "@n_7B", 7, true},
      {"IMPORTE", "PGM:CANT", "@n-14.2", 14, true, true},
      {"ANTICIPO", kAdvance, "@n-14.2", 14, true, true},
      {"B A N C O", kBank, "@s30", 30},
  };
  s.sumsColumn = 0;
  return s;
}

// A number and a name as one column: "     7 MAQUINARIA DEL NORTE".
std::string numbered(std::int32_t n, const std::string& name) {
  if (n == 0) return name;
  return std::to_string(n) + " " + name;
}

class ImpPag : public EquipmentReport {
 public:
  ImpPag() : EquipmentReport(EquipmentWindow::Payments) {
    const SheetSpec s = sheet();
    d_ = equipmentLayout(s);
    for (const ColumnSpec& c : s.columns) d_.exportColumns.push_back({c.title, c.source});
    namesSuppliers();
    namesBanks();
  }
  const ReportDescription& description() const override { return d_; }

  bool include(const Record& primary) override {
    const PGM& p = primary.as<PGM>();
    const EquipmentChoices& c = choices();
    if (!c.takesDate(p.FECH)) return false;
    // An advance is the payment of no invoice, as the postings treat it.
    const bool advance = p.TIPO == "A" || p.FACT == 0;
    if (c.reporta == 2 && !advance) return false;
    if (c.reporta == 3 && advance) return false;
    if (c.supplier && p.PROV != c.supplier) return false;
    if (c.invoice && p.FACT != c.invoice) return false;
    // An advance given adds to what the supplier holds; one applied to an
    // invoice takes from it.
    const Decimal anti = toCents(p.ANTI);
    advance_ = advance ? anti : Decimal::fromCents(-anti.cents());
    supplier_ = numbered(p.PROV, supplierName(p.PROV, "REGISTRO DE RECEPCION EN OBRA"));
    bank_ = numbered(p.BANK, bankName(p.BANK));
    amount_ = toCents(p.CANT);
    return true;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == kSupplier) return Value(supplier_);
    if (name == kAdvance) return Value(advance_);
    if (name == kBank) return Value(bank_);
    if (name == "PGM:CANT") return Value(amount_);  // to the cent, as printed
    return EquipmentReport::value(name);
  }

 private:
  ReportDescription d_;
  Decimal advance_, amount_;
  std::string supplier_, bank_;
};

}  // namespace

std::unique_ptr<Report> makeImpPag() { return std::make_unique<ImpPag>(); }

}  // namespace velmora::reports
