// IMP_LEV: the sheet the site staff take to the work to note the progress
// of each budget item, with what is already estimated and room to write.

#include "estimates/reports/estimate_reports.h"

namespace velmora::reports {

namespace {

constexpr const char* kBudget = "PRESUPUESTO";

SheetSpec sheet() {
  SheetSpec s;
  s.procedure = "IMP_LEV";
  s.title = "LEVANTAMIENTO DE AVANCES AL";
  s.table = "PART";
  s.key = "PAR:CTA_KEY";
  s.landscape = true;
  s.detailHeight = 60;  // room to write by hand
  s.columns = {
      {"CONC", "PAR:CONC", "@n_9.2", 9, true},
      {"PROC", "PAR:PROC", "@n_6", 6, true},
      {"FRENTE", "PAR:FREN", "@n_6", 6, true},
      {"D E S C R I P C I O N", "PAR:TEXT", "@s30", 30},
      {"UNID", "PAR:UNID", "@s4", 4},
      {"CANTIDAD", "PAR:CANT", "@n-14.2", 14, true},
      {"PRESUPUESTO", kBudget, "@n-15.2", 15, true, true},
      {"% AVANCE", "PAR:AVAN", "@n6.2", 8, true},
  };
  s.sumsColumn = 3;
  return s;
}

class ImpLev : public OptionsReport {
 public:
  ImpLev() : OptionsReport(ask::kConceptRange) {
    const SheetSpec s = sheet();
    d_ = layOut(s);
    // The rest of the line is the surveyor's: a rule under each item.
    const int from = columnsEnd(s);
    d_.pageHeader.items.push_back(
        label("AVANCE ACTUAL Y COMENTARIOS", from, d_.pageHeader.height - 60));
    d_.detail.lines.push_back({from, 45, sheetEnd(s), 45});
  }
  const ReportDescription& description() const override { return d_; }

  bool include(const Record& primary) override {
    const PAR& p = primary.as<PAR>();
    if (!inConcepts(p.CONC)) return false;
    budget_ = itemAmounts(p).budget;
    return true;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == kBudget) return Value(budget_);
    return OptionsReport::value(name);
  }

 private:
  ReportDescription d_;
  Decimal budget_;
};

}  // namespace

std::unique_ptr<Report> makeImpLev() { return std::make_unique<ImpLev>(); }

}  // namespace velmora::reports
