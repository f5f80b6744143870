// IMP_REC: the work done by the equipment as received on site: hours,
// price, amount, tax and total of each record, invoiced or not yet.

#include <cmath>

#include "equipment/reports/equipment_reports.h"

namespace velmora::reports {

namespace {

constexpr const char* kEquipment = "EQUIPO";
constexpr const char* kPrice = "PRECIO";
constexpr const char* kTotal = "TOTAL";

// The equipment's description cut to the column, or whole.
SheetSpec sheet(bool whole) {
  const int width = whole ? 50 : 30;
  SheetSpec s;
  s.procedure = "IMP_REC";
  s.title = "TRABAJOS REALIZADOS CON MAQUINARIA Y EQUIPO EN";
  s.table = "FAMA";
  s.key = "FAM:CTA_KEY";
  s.landscape = true;
  s.font = whole ? 22 : 25;
  s.columns = {
      {"FECHA", "FAM:FECH", "@d6", 10},
      {"HORAS", "FAM:CANT", "@n-10.2", 10, true},
      {"E Q U I P O", kEquipment, "@s" + std::to_string(width), width},
      {"PRECIO", kPrice, "@n-12.2B", 12, true},
      {"IMPORTE", "FAM:IMPO", "@n-14.2", 14, true, true},
      {"I.V.A.", "FAM:IVA", "@n-12.2", 12, true, true},
      {"TOTAL", kTotal, "@n-14.2", 14, true, true},
      {"PROV", "FAM:PROV", "@n_6", 6, true},
      {"FACT", "FAM:FACT", "@n_7B", 7, true},
  };
  s.sumsColumn = 2;
  return s;
}

class ImpRec : public EquipmentReport {
 public:
  ImpRec() : EquipmentReport(EquipmentWindow::Work) {
    layOutFor(false);
    namesEquipment();
  }
  const ReportDescription& description() const override { return d_; }

  Status option(std::string_view name, std::string_view value) override {
    Status st = EquipmentReport::option(name, value);
    layOutFor(choices().fullDescription);
    return st;
  }
  bool ask(Procedure& caller) override {
    const bool asked = EquipmentReport::ask(caller);
    layOutFor(choices().fullDescription);
    return asked;
  }

  bool include(const Record& primary) override {
    const FAM& f = primary.as<FAM>();
    const EquipmentChoices& c = choices();
    if (c.reporta == 2 && f.FACT != 0) return false;
    if (c.reporta == 3 && f.FACT == 0) return false;
    if (c.supplier && f.PROV != c.supplier) return false;
    amount_ = toCents(f.IMPO);
    tax_ = toCents(f.IVA);
    const std::int64_t amount = amount_.cents();
    total_ = Decimal::fromCents(amount + tax_.cents());
    // No hours, no price per hour: the column is left blank.
    if (f.CANT != 0)
      price_ = Value(Decimal::fromCents(std::llround(double(amount) / f.CANT)));
    else
      price_ = Value(std::string());
    equipment_ = equipmentName(f.MAQU, f.FREN, "REGISTRO DE RECEPCION EN OBRA");
    return true;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == kEquipment) return Value(equipment_);
    if (name == kPrice) return price_;
    if (name == kTotal) return Value(total_);
    // The amounts to the cent, so that the export writes them as printed.
    if (name == "FAM:IMPO") return Value(amount_);
    if (name == "FAM:IVA") return Value(tax_);
    return EquipmentReport::value(name);
  }

 private:
  void layOutFor(bool whole) {
    const SheetSpec s = sheet(whole);
    d_ = equipmentLayout(s);
    d_.exportColumns.clear();
    for (const ColumnSpec& c : s.columns) d_.exportColumns.push_back({c.title, c.source});
  }

  ReportDescription d_;
  Decimal amount_, tax_, total_;
  Value price_;
  std::string equipment_;
};

}  // namespace

std::unique_ptr<Report> makeImpRec() { return std::make_unique<ImpRec>(); }

}  // namespace velmora::reports
