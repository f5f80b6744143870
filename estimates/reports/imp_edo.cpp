// IMP_EDO: the state of every budget item, its budget, what was paid on it
// and what is left to pay, also written to a file for spreadsheets.

#include "estimates/reports/estimate_reports.h"

namespace velmora::reports {

namespace {

constexpr const char *kBudget = "PRESUPUESTO", *kExecuted = "EJERCIDO", *kRemaining = "XEJERCER";
constexpr const char* kName = "NOMBRE";

SheetSpec sheet() {
  SheetSpec s;
  s.procedure = "IMP_EDO";
  s.title = "ESTADO DE CUENTAS DE CONCEPTOS AL";
  s.table = "PART";
  s.key = "PAR:CTA_KEY";
  s.landscape = true;
  s.columns = {
      {"CTA", "PAR:CONC", "@n_9.2", 9, true},
      {"PROCESO", "PAR:PROC", "@n_6", 7, true},
      {"FRENTE", "PAR:FREN", "@n_6", 6, true},
      {"DESCRIPCION", "PAR:TEXT", "@s30", 30},
      {"CONT", "PAR:CONT", "@n_6B", 6, true},
      {"CONTRATISTA", kName, "@s24", 24},
      {"UNIDAD", "PAR:UNID", "@s4", 6},
      {"AVANCE", "PAR:AVAN", "@n7.2", 7, true},
      {"PRESUPUESTO", kBudget, "@n-15.2", 15, true, true},
      {"EJERCIDO", kExecuted, "@n-15.2", 15, true, true},
      {"XEJERCER", kRemaining, "@n-15.2", 15, true, true},
  };
  s.sumsColumn = 3;
  return s;
}

class ImpEdo : public OptionsReport {
 public:
  ImpEdo() : OptionsReport(ask::kContractor | ask::kProcess | ask::kFront), d_(layOut(sheet())) {
    namesContractors();
    // The file's columns, as spreadsheets already made from it expect them.
    d_.exportColumns = {{"CTA", "PAR:CONC"},         {"PROCESO", "PAR:PROC"},
                        {"FRENTE", "PAR:FREN"},      {"DESCRIPCION", "PAR:TEXT"},
                        {"CONTRATISTA", "PAR:CONT"}, {"UNIDAD", "PAR:UNID"},
                        {"AVANCE", "PAR:AVAN"},      {"PRESUPUESTO", kBudget},
                        {"EJERCIDO", kExecuted},     {"XEJERCER", kRemaining}};
  }
  const ReportDescription& description() const override { return d_; }

  bool include(const Record& primary) override {
    const PAR& p = primary.as<PAR>();
    if (!matches(p.CONT, p.CONC, p.PROC, p.FREN)) return false;
    amounts_ = itemAmounts(p);
    name_ = contractorName(p.CONT);
    return true;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == kBudget) return Value(amounts_.budget);
    if (name == kExecuted) return Value(amounts_.executed);
    if (name == kRemaining) return Value(amounts_.remaining);
    if (name == kName) return Value(name_);
    return OptionsReport::value(name);
  }

 private:
  ReportDescription d_;
  ItemAmounts amounts_;
  std::string name_;
};

}  // namespace

std::unique_ptr<Report> makeImpEdo() { return std::make_unique<ImpEdo>(); }

}  // namespace velmora::reports
