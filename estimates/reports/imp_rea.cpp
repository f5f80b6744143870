// IMP_REA: each budget item's contract amount against what has been
// estimated on it, with the difference and the share executed.

#include "estimates/reports/estimate_reports.h"

namespace velmora::reports {

namespace {

constexpr const char *kBudget = "CONTRATO", *kExecuted = "ESTIMADO";
constexpr const char *kDifference = "DIFERENCIA", *kShare = "PORCIENTO";

SheetSpec sheet() {
  SheetSpec s;
  s.procedure = "IMP_REA";
  s.title = "REAL CONTRA PRESUPUESTADO AL:";
  s.table = "PART";
  s.key = "PAR:CTA_KEY";
  s.columns = {
      {"CONC", "PAR:CONC", "@n_9.2", 9, true},
      {"PROC", "PAR:PROC", "@n_6", 6, true},
      {"FRENTE", "PAR:FREN", "@n_6", 6, true},
      {"D E S C R I P C I O N", "PAR:TEXT", "@s30", 30},
      {"CONT", "PAR:CONT", "@n_6B", 6, true},
      {"IMPORTE CONTRATO", kBudget, "@n-16.2", 16, true, true},
      {"E S T I M A D O", kExecuted, "@n-16.2", 16, true, true},
      {"DIFERENCIA", kDifference, "@n-16.2", 16, true, true},
      {"% EJER.", kShare, "@n-7.2", 7, true},
  };
  s.sumsColumn = 3;
  return s;
}

class ImpRea : public OptionsReport {
 public:
  ImpRea() : OptionsReport(ask::kContractor | ask::kConcept), d_(layOut(sheet())) {}
  const ReportDescription& description() const override { return d_; }

  bool include(const Record& primary) override {
    const PAR& p = primary.as<PAR>();
    if (!matches(p.CONT, p.CONC, p.PROC, p.FREN)) return false;
    amounts_ = itemAmounts(p);
    return true;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == kBudget) return Value(amounts_.budget);
    if (name == kExecuted) return Value(amounts_.executed);
    if (name == kDifference) return Value(amounts_.remaining);
    // Without a budget there is no share to show.
    if (name == kShare)
      return Value(amounts_.budget.cents() != 0
                       ? double(amounts_.executed.cents()) * 100 / double(amounts_.budget.cents())
                       : 0.0);
    return OptionsReport::value(name);
  }

 private:
  ReportDescription d_;
  ItemAmounts amounts_;
};

}  // namespace

std::unique_ptr<Report> makeImpRea() { return std::make_unique<ImpRea>(); }

}  // namespace velmora::reports
