// IMP_TAB: the price list of the estimates, one line per budget item with
// its labour, materials and equipment at unit price and in total.

#include "estimates/reports/estimate_reports.h"

namespace velmora::reports {

namespace {

constexpr const char *kUnitLabour = "PU_MO", *kLabour = "TOTAL_MO";
constexpr const char *kUnitMaterials = "PU_MAT", *kMaterials = "TOTAL_MAT";
constexpr const char *kUnitEquipment = "PU_MAQ", *kEquipment = "TOTAL_MAQ";
constexpr const char* kSum = "SUMA";

SheetSpec sheet() {
  SheetSpec s;
  s.procedure = "IMP_TAB";
  s.title = "TABULADOR DE ESTIMACION AL";
  s.table = "PART";
  s.key = "PAR:CTA_KEY";
  s.landscape = true;
  s.font = 22;  // thirteen columns across
  s.columns = {
      {"CONC", "PAR:CONC", "@n_9.2", 9, true},
      {"FRENTE", "PAR:FREN", "@n_6", 6, true},
      {"PROC", "PAR:PROC", "@n_6", 6, true},
      {"D E S C R I P C I O N", "PAR:TEXT", "@s30", 30},
      {"UNID", "PAR:UNID", "@s4", 4},
      {"CANTIDAD", "PAR:CANT", "@n-12.2", 12, true},
      {"PU M/OBRA", kUnitLabour, "@n-12.2", 12, true},
      {"TOTAL M/O", kLabour, "@n-14.2", 14, true, true},
      {"PU MATER", kUnitMaterials, "@n-12.2", 12, true},
      {"TOTAL M.", kMaterials, "@n-14.2", 14, true, true},
      {"PU MAQ.", kUnitEquipment, "@n-12.2", 12, true},
      {"TOTAL MAQ.", kEquipment, "@n-14.2", 14, true, true},
      {"SUMA", kSum, "@n-15.2", 15, true, true},
  };
  s.sumsColumn = 3;
  return s;
}

Decimal sum(double amount, double variation) {
  return Decimal::fromCents(toCents(amount).cents() + toCents(variation).cents());
}

class ImpTab : public OptionsReport {
 public:
  ImpTab() : OptionsReport(ask::kFront | ask::kProcess), d_(layOut(sheet())) {}
  const ReportDescription& description() const override { return d_; }

  bool include(const Record& primary) override {
    const PAR& p = primary.as<PAR>();
    if (!matches(p.CONT, p.CONC, p.PROC, p.FREN)) return false;
    cant_ = p.CANT;
    labour_ = sum(p.PRES, p.VPRE);
    materials_ = sum(p.MATE, p.VMAT);
    equipment_ = sum(p.EQUI, p.VEQU);
    return true;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == kLabour) return Value(labour_);
    if (name == kMaterials) return Value(materials_);
    if (name == kEquipment) return Value(equipment_);
    if (name == kSum)
      return Value(Decimal::fromCents(labour_.cents() + materials_.cents() + equipment_.cents()));
    if (name == kUnitLabour) return unit(labour_);
    if (name == kUnitMaterials) return unit(materials_);
    if (name == kUnitEquipment) return unit(equipment_);
    return OptionsReport::value(name);
  }

 private:
  // An item without quantity has no unit price: it shows as 0.
  Value unit(Decimal total) const {
    return Value(cant_ != 0 ? double(total.cents()) / 100 / cant_ : 0.0);
  }

  ReportDescription d_;
  double cant_ = 0;
  Decimal labour_, materials_, equipment_;
};

}  // namespace

std::unique_ptr<Report> makeImpTab() { return std::make_unique<ImpTab>(); }

}  // namespace velmora::reports
