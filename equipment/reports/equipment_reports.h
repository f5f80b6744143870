#pragma once

// VOROVID's reports: suppliers (IMP_PRV), their payments (IMP_PAG), the
// invoices with what was paid on them (IMP_FAC) and the work done by the
// equipment (IMP_REC). They share a heading (company, the title with the
// work's name and the chosen dates, the work's address, the date and the
// page), "Opciones del Reporte" (REDIR4, REDIR5, REDIR3) and the notices of
// suppliers and equipment no longer on file, told once a run and listed
// after the sums.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dictionary/decimal.h"
#include "reports/catalogue.h"
#include "reports/sheet.h"

namespace velmora {
class Procedure;
class Program;
}  // namespace velmora

namespace velmora::reports {

std::unique_ptr<Report> makeImpPrv();  // REPORTE DE PROVEEDORES
std::unique_ptr<Report> makeImpPag();  // PAGOS A PROVEEDORES DE EQUIPO
std::unique_ptr<Report> makeImpFac();  // FACTURAS DE LA OBRA
std::unique_ptr<Report> makeImpRec();  // TRABAJOS REALIZADOS CON MAQUINARIA Y EQUIPO

// Which options window a report opens.
enum class EquipmentWindow {
  None,
  Payments,  // REDIR4: dates, supplier, "Reporta" (Todo, Anticipos, Facturado), invoice
  Invoices,  // REDIR5: dates, supplier, "REPORTA" (TODO, x PAGAR, PAGADA), "INCLUYE PAGOS"
  Work,      // REDIR3: supplier, "Reporta" (Todo, Sin Facturar, Facturado), "Descripción Completa"
};

struct EquipmentChoices {
  std::int32_t dateFrom = 0, dateTo = 0;  // 0: no bound
  std::int32_t supplier = 0;              // NPRV; 0: every one
  int reporta = 1;                        // the first choice ("Todo") is 1
  std::int32_t invoice = 0;               // PGM:FACT; 0: every one
  bool withPayments = false;              // "INCLUYE PAGOS"
  bool fullDescription = false;           // "Descripción Completa"

  bool takesDate(std::int32_t date) const {
    return (!dateFrom || date >= dateFrom) && (!dateTo || date <= dateTo);
  }
  // " DESDE EL 01/07/26" when a start is given, " AL 31/08/26" when an end is.
  std::string range() const;
};

// The choices of "Reporta" of each window, as printed on its buttons.
const std::vector<std::string>& reportaCaptions(EquipmentWindow window);

// The names VOROVID's lines print for what is no longer on file.
inline constexpr std::string_view kDeletedName = "***** DADO DE BAJA *****";

class EquipmentReport : public Report {
 public:
  explicit EquipmentReport(EquipmentWindow window) : window_(window) {}
  EquipmentChoices& choices() { return choices_; }
  const EquipmentChoices& choices() const { return choices_; }
  EquipmentWindow window() const { return window_; }

  Status begin(db::Context& ctx, const Heading& heading) override;
  std::optional<Value> value(std::string_view name) const override;
  const Band* footer(bool first) override;
  std::vector<std::string> notices() const override;
  // FECHA_INICIAL, FECHA_FINAL (dd/mm/aaaa), PROVEEDOR, REPORTA (a caption
  // or its number from 1), FACTURA, INCLUYE_PAGOS and DESCRIPCION_COMPLETA
  // (SI/NO): those the report's window asks.
  Status option(std::string_view name, std::string_view value) override;
  // The report's window, the supplier being the program's chosen one
  // (NPRV); nothing to ask for IMP_PRV.
  bool ask(Procedure& caller) override;

  // The title with the work's name and the range: the value kTitleLine.
  static constexpr std::string_view kTitleLine = "TITULO";
  static constexpr std::string_view kNotice = "AVISO";

 protected:
  // Read once at the start of the run: suppliers (PROV) and banks (BANC)
  // are few, and a report line asks for one of them each.
  void namesSuppliers() { suppliers_.emplace(); }
  void namesBanks() { banks_.emplace(); }
  void namesEquipment() { equipment_.emplace(); }
  // "" for 0; kDeletedName, with its notice kept, for one not on file.
  // `record` says which record keeps it: "REGISTRO DE FACTURACION" ...
  std::string supplierName(std::int32_t supplier, std::string_view record);
  std::string bankName(std::int32_t bank) const;
  std::string equipmentName(std::int32_t equipment, std::int32_t front, std::string_view record);

  // The layout all four share: the heading above the columns of `sheet`.
  static ReportDescription equipmentLayout(const SheetSpec& sheet);

 private:
  void notice(std::string text);

  EquipmentWindow window_;
  EquipmentChoices choices_;
  std::string work_;
  std::optional<std::map<std::int32_t, std::string>> suppliers_, banks_;
  std::optional<std::map<std::pair<std::int32_t, std::int32_t>, std::string>> equipment_;
  std::vector<std::string> notices_;
  std::set<std::string> told_;
  std::size_t footerAt_ = 0;
  Band noticeHeading_, noticeLine_;
};

// VOROVID's reports by name, in the order of REP_MENU.
Catalogue equipmentCatalogue();

// REP_MENU, "Imprimiendo Reportes", and VOROVID's reports as procedures.
void addEquipmentReportProcedures(Program& program);

}  // namespace velmora::reports
