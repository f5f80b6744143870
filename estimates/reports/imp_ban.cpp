// IMP_BAN: what the bank has paid to the contractors up to a closing date
// (the estimates already turned into policies and cheques) and what is
// still to be paid from it.

#include "estimates/reports/estimate_reports.h"

namespace velmora::reports {

namespace {

constexpr const char *kName = "NOMBRE", *kNumber = "ESTIMACION";
constexpr const char *kPaid = "PAGADO", *kToPay = "POR_PAGAR";

SheetSpec sheet() {
  SheetSpec s;
  s.procedure = "IMP_BAN";
  s.title = "REPORTE BANCARIO AL";
  s.table = "POLI";
  s.key = "POL:CTA_KEY";
  s.columns = {
      {"FOLIO", "POL:CTA", "@n_5", 5, true},
      {"FECHA", "POL:FECH", "@d6", 10},
      {"POLIZA", "POL:NOPO", "@n_6B", 6, true},
      {"CONT", "POL:CONT", "@n_6", 6, true},
      {"C O N T R A T I S T A", kName, "@s30", 30},
      {"ESTIM.", kNumber, "@s9", 9},
      {"PAGADO", kPaid, "@n-16.2", 16, true, true},
      {"POR PAGAR", kToPay, "@n-16.2", 16, true, true},
  };
  s.sumsColumn = 4;
  return s;
}

class ImpBan : public OptionsReport {
 public:
  ImpBan() : OptionsReport(ask::kClosingDate), d_(layOut(sheet())) { namesContractors(); }
  const ReportDescription& description() const override { return d_; }

  bool include(const Record& primary) override {
    const POL& e = primary.as<POL>();
    if (!inDates(e.FECH)) return false;
    name_ = contractorName(e.CONT);
    number_ = estimateNumber(e.ESTI);
    // A policy number means its cheque went out of the bank.
    const Decimal net = netPaid(e);
    paid_ = e.NOPO != 0 ? net : Decimal();
    toPay_ = e.NOPO != 0 ? Decimal() : net;
    return true;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == kName) return Value(name_);
    if (name == kNumber) return Value(number_);
    if (name == kPaid) return Value(paid_);
    if (name == kToPay) return Value(toPay_);
    return OptionsReport::value(name);
  }

 private:
  ReportDescription d_;
  std::string name_, number_;
  Decimal paid_, toPay_;
};

}  // namespace

std::unique_ptr<Report> makeImpBan() { return std::make_unique<ImpBan>(); }

}  // namespace velmora::reports
