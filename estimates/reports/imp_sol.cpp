// IMP_SOL: the money the work asks the office for: every estimate, advance
// and fund return not yet paid through a policy, with what each pays.

#include "estimates/reports/estimate_reports.h"

namespace velmora::reports {

namespace {

constexpr const char *kName = "NOMBRE", *kNumber = "ESTIMACION";
constexpr const char *kAmount = "IMPORTE", *kPayroll = "NOMINA", *kIva = "IVA";
constexpr const char *kAdvance = "AMORTIZACION", *kFund = "FONDO", *kLoans = "PRESTAMOS";
constexpr const char* kNet = "A_PAGAR";

SheetSpec sheet() {
  SheetSpec s;
  s.procedure = "IMP_SOL";
  s.title = "SOLICITUD DE RECURSOS AL ";
  s.table = "POLI";
  s.key = "POL:CTA_KEY";
  s.landscape = true;
  s.font = 23;
  s.columns = {
      {"FOLIO", "POL:CTA", "@n_5", 5, true},
      {"FECHA", "POL:FECH", "@d6", 10},
      {"CONT", "POL:CONT", "@n_6", 6, true},
      {"C O N T R A T I S T A", kName, "@s24", 24},
      {"ESTIM.", kNumber, "@s9", 9},
      {"IMPORTE", kAmount, "@n-15.2", 15, true, true},
      {"NOMINA", kPayroll, "@n-15.2", 15, true, true},
      {"I.V.A.", kIva, "@n-15.2", 15, true, true},
      {"A/ANTICIPO", kAdvance, "@n-15.2", 15, true, true},
      {"F.GARANTIA", kFund, "@n-15.2", 15, true, true},
      {"PRESTAMOS", kLoans, "@n-15.2", 15, true, true},
      {"A PAGAR", kNet, "@n-15.2", 15, true, true},
  };
  s.sumsColumn = 3;
  return s;
}

class ImpSol : public OptionsReport {
 public:
  ImpSol() : OptionsReport(ask::kDateRange | ask::kContractor), d_(layOut(sheet())) {
    namesContractors();
  }
  const ReportDescription& description() const override { return d_; }

  bool include(const Record& primary) override {
    const POL& e = primary.as<POL>();
    // A policy number means the estimate was paid already.
    if (e.NOPO != 0 || !inDates(e.FECH) || !matches(e.CONT, 0, 0, 0)) return false;
    name_ = contractorName(e.CONT);
    number_ = estimateNumber(e.ESTI);
    amount_ = toCents(e.CANT);
    net_ = netPaid(e);
    // Special entries carry their amount negated in the amortisation or the
    // fund; they pay it whole, so their deductions print as nothing.
    const bool special = isAdvanceOrReturn(e);
    payroll_ = special ? Decimal() : toCents(e.NOMI);
    iva_ = special ? Decimal() : toCents(e.IVA);
    advance_ = special ? Decimal() : toCents(e.PANT);
    fund_ = special ? Decimal() : toCents(e.PFON);
    loans_ =
        special ? Decimal() : Decimal::fromCents(toCents(e.PRES).cents() - toCents(e.PPRE).cents());
    return true;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == kName) return Value(name_);
    if (name == kNumber) return Value(number_);
    if (name == kAmount) return Value(amount_);
    if (name == kPayroll) return Value(payroll_);
    if (name == kIva) return Value(iva_);
    if (name == kAdvance) return Value(advance_);
    if (name == kFund) return Value(fund_);
    if (name == kLoans) return Value(loans_);
    if (name == kNet) return Value(net_);
    return OptionsReport::value(name);
  }

 private:
  ReportDescription d_;
  std::string name_, number_;
  Decimal amount_, payroll_, iva_, advance_, fund_, loans_, net_;
};

}  // namespace

std::unique_ptr<Report> makeImpSol() { return std::make_unique<ImpSol>(); }

}  // namespace velmora::reports
