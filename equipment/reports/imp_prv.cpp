// IMP_PRV: the work's equipment suppliers with what was received from them,
// paid to them, advanced, invoiced and amortised.

#include "equipment/reports/equipment_reports.h"

namespace velmora::reports {

namespace {

SheetSpec sheet() {
  SheetSpec s;
  s.procedure = "IMP_PRV";
  s.title = "REPORTE DE PROVEEDORES DE:";
  s.table = "PROV";
  s.key = "PRV:CTA_KEY";
  s.font = 22;
  s.columns = {
      {"No CTA", "PRV:CTA", "@n_6", 6, true},
      {"N O M B R E", "PRV:NOMB", "@s50", 50},
      {"RECIBIDO", "PRV:TREC", "@n-14.2", 14, true, true},
      {"PAGADO", "PRV:TPAG", "@n-14.2", 14, true, true},
      {"ANTICIPOS", "PRV:ANTI", "@n-14.2", 14, true, true},
      {"FACTURADO", "PRV:TFAC", "@n-14.2", 14, true, true},
      {"A/AMORTIZ", "PRV:AAMO", "@n-14.2", 14, true, true},
  };
  s.sumsColumn = 1;
  return s;
}

ExportColumn column(const ColumnSpec& c) { return {c.title, c.source}; }

class ImpPrv : public EquipmentReport {
 public:
  ImpPrv() : EquipmentReport(EquipmentWindow::None) {
    const SheetSpec s = sheet();
    d_ = equipmentLayout(s);
    for (const ColumnSpec& c : s.columns) d_.exportColumns.push_back(column(c));
    // Clients and other kinds of supplier share the file.
    d_.filter = [](const Record& r) { return r.as<PRV>().TIPO == 2; };
  }
  const ReportDescription& description() const override { return d_; }

  bool include(const Record& primary) override {
    p_ = &primary.as<PRV>();
    return true;
  }

  // The amounts to the cent, so that the export writes them as printed.
  std::optional<Value> value(std::string_view name) const override {
    if (p_) {
      const std::pair<std::string_view, double> amounts[] = {{"PRV:TREC", p_->TREC},
                                                             {"PRV:TPAG", p_->TPAG},
                                                             {"PRV:ANTI", p_->ANTI},
                                                             {"PRV:TFAC", p_->TFAC},
                                                             {"PRV:AAMO", p_->AAMO}};
      for (const auto& [field, amount] : amounts)
        if (name == field) return Value(toCents(amount));
    }
    return EquipmentReport::value(name);
  }

 private:
  ReportDescription d_;
  const PRV* p_ = nullptr;
};

}  // namespace

std::unique_ptr<Report> makeImpPrv() { return std::make_unique<ImpPrv>(); }

}  // namespace velmora::reports
