// CAP_FACT and UP_FACT: the suppliers' invoices for equipment hours. A new
// invoice is saved by saveInvoice(), a change by changeInvoice() and a
// delete by deleteInvoice() (invoices.h), each with every total it moves;
// the form gathers the fields and shows the outcome.

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "accounting/imp_una.h"
#include "dictionary/dates.h"
#include "equipment/equipment.h"
#include "equipment/invoices.h"
#include "framework/access.h"
#include "framework/browse.h"
#include "framework/describe.h"
#include "framework/form.h"

namespace velmora::equipment {

namespace {

constexpr const char* kTotal = "SUM1";
constexpr const char* kRate = "TASA_IVA";

std::unique_ptr<Procedure> makeCapFact(Program& program, db::Context& ctx) {
  WindowDescription w =
      Describe("CAP_FACT", "Actualizando Facturas")
          .list({{"FOLIO", "FAM:CTA", "@n_6", 6, 'R', true},
                 {"PROV", "FAM:PROV", "@n_6", 6, 'R', true},
                 coloured(nameColumn("PROVEEDOR", "FAM:PROV", "PRV:CTA_KEY", "PRV:NOMB", 30)),
                 {"FECHA", "FAM:FECH", "@D6", 10, 'L', true},
                 {"FACTURA", "FAM:FACT", "@n_6", 7, 'R', true},
                 {"IMPORTE", "FAM:IMPO", "@n14.2", 14, 'R', true},
                 {"IVA", "FAM:IVA", "@n14.2", 14, 'R', true},
                 {"PAGO", "FAM:PAGO", "@n-14.2", 14, 'R', true}})
          .tabs({"x Folio", "x Fecha", "x Frente"})
          .browseButtons()
          .done();
  return std::make_unique<BrowseProcedure>(
      program, ctx, std::move(w), labels::FAMA, "UP_FACT",
      std::vector<BrowseTab>{sortTab(keys::FAM_CTA_KEY, "FAM:CTA"),
                             sortTab(keys::FAM_FEC_KEY, "FAM:FECH"),
                             sortTab(keys::FAM_FRE_KEY, "FAM:FREN")},
      entry::kInvoices);
}

class UpFact : public FormProcedure {
 public:
  UpFact(Program& program, db::Context& ctx)
      : FormProcedure(program, ctx, window(), labels::FAMA, entry::kInvoices, settings()) {
    for (const char* label : {"PROV", "MAQU", "PART", "PROB", "PERS", "PAGM", "FREN"}) uses(label);
    setLocal(kTotal, Decimal());
    setLocal(kRate, std::string());
  }

 protected:
  bool init() override {
    // The delete is the operation's, with its rules; the form never opens.
    if (wm_.request == request::Delete) {
      if (!checkAccess(entry::kInvoices)) return false;
      if (auto refused = deleteAccess(program_, entry::kInvoices)) {
        host_->warn(*refused);
        return false;
      }
      if (!Procedure::init()) return false;
      remove();
      return false;
    }
    if (!FormProcedure::init()) return false;
    rate_ = taxRate(std::filesystem::current_path());
    setLocal(kRate, taxRateCaption(rate_));
    FAM& f = invoice();
    read_ = f;
    if (mode() == request::Insert) {
      f.FREN = 0, f.PROC = 0;
      for (const char* label : {"PROV", "PERS", "MAQU"}) table(label).clear();
    } else {
      showRelated("PROV", "PRV:CTA", "PRV:CTA_KEY", f.PROV);
      showRelated("PERS", "PER:CTA", "PER:CTA_KEY", f.AUTO);
      (void)findEquipment(f.MAQU, f.FREN);
    }
    showRelated("PROB", "PRB:CTA", "PRB:CTA_KEY", f.PROC);
    showRelated("FREN", "FRE:CTA", "FRE:CTA_KEY", f.FREN);
    if (f.FECH == 0) f.FECH = today();
    // A stored invoice opens as it is: its tax is proposed only when the
    // hours or the amount are typed, never by opening it.
    if (mode() == request::Insert && money(f.IVA).cents() == 0)
      f.IVA = proposedTax(money(f.IMPO), rate_).toDouble();
    showTotal();
    return true;
  }

  void onAccepted(const std::string& control) override {
    FAM& f = invoice();
    const Control* c = window_.find(control);
    const std::string target = c && c->type == ControlType::Lookup ? c->target : control;
    if (dict::sameName(target, "?FAM:MAQU")) {
      equipment(c && c->type == ControlType::Lookup);
      showRelated("PROB", "PRB:CTA", "PRB:CTA_KEY", f.PROC);
    } else if (dict::sameName(target, "?FAM:FREN")) {
      // The front of a budget item; any front may be typed, items or not.
      if (c && c->type == ControlType::Lookup &&
          call("CAP_PART", request::Select) == response::Completed)
        f.FREN = table("PART").rec<PAR>().FREN;
      front();
      showRelated("PROB", "PRB:CTA", "PRB:CTA_KEY", f.PROC);
    } else if (dict::sameName(target, "?FAM:CANT")) {
      if (money(f.IMPO).cents() == 0 && findEquipment(f.MAQU, f.FREN))
        f.IMPO = hoursAmount(f.CANT, table("MAQU").rec<MAQ>().PRRE).toDouble();
      proposeTax();
    } else if (dict::sameName(target, "?FAM:IMPO")) {
      proposeTax();
    }
    showRelated("FREN", "FRE:CTA", "FRE:CTA_KEY", f.FREN);
    showTotal();
    refreshAll();
  }

  bool validate() override {
    FAM& f = invoice();
    if (std::string missing = missingInvoiceField(f); !missing.empty()) {
      const std::string control = "?" + missing;
      warn("FALTA UN DATO NECESARIO:", promptOf(control), "CAPTURELO PARA CONTINUAR ....");
      select(control);
      return false;
    }
    if (!findEquipment(f.MAQU, f.FREN)) {
      refuseEquipment();
      return false;
    }
    f.FREN = table("MAQU").rec<MAQ>().FREN;
    f.PROC = table("MAQU").rec<MAQ>().PROC;
    if (mode() == request::Insert)
      saveNew();
    else
      saveChange();
    return false;  // saved here, or refused and told
  }

 private:
  FAM& invoice() { return primary().rec<FAM>(); }

  static Decimal money(double v) {
    return std::isfinite(v) ? Decimal::fromDouble(v).value_or(Decimal()) : Decimal();
  }

  std::int32_t today() const {
    const std::int64_t hoy =
        program_.hasVar("GLO:HOY") ? std::int64_t(number(program_.var("GLO:HOY"))) : 0;
    return hoy ? std::int32_t(hoy) : dates::today();
  }

  std::string promptOf(const std::string& control) const {
    for (std::size_t i = 1; i < window_.controls.size(); ++i)
      if (dict::sameName(window_.controls[i].id, control) &&
          window_.controls[i - 1].type == ControlType::Prompt)
        return plainCaption(window_.controls[i - 1].text);
    return control;
  }

  void proposeTax() {
    FAM& f = invoice();
    if (money(f.IVA).cents() == 0) f.IVA = proposedTax(money(f.IMPO), rate_).toDouble();
  }

  void showTotal() {
    const FAM& f = invoice();
    setLocal(kTotal, Decimal::fromCents(money(f.IMPO).cents() + money(f.IVA).cents()));
  }

  // The equipment of a number on a front; on front 0, the first front that
  // has the number.
  bool findEquipment(std::int32_t number, std::int32_t front) {
    return bool(findInvoiceEquipment(table("MAQU"), number, front));
  }

  void refuseEquipment() {
    const FAM& f = invoice();
    // On other fronts only: the front is what to correct.
    const bool elsewhere = f.FREN != 0 && findEquipment(f.MAQU, 0);
    table("MAQU").clear();
    const Lines3 why = equipmentNotFound(f.MAQU, f.FREN);
    warn(why[0], why[1], why[2]);
    select(elsewhere ? "?FAM:FREN" : "?FAM:MAQU");
  }

  // A number not in the catalogue opens it to choose from; closing it
  // without a choice keeps the cursor on the field. A typed number is sought
  // on the front already shown, and without one on its first front; a
  // number that is on other fronts only is refused, the front kept.
  void equipment(bool always) {
    FAM& f = invoice();
    if (!always && f.MAQU == 0) return;
    bool found = false;
    if (!always) {
      if (findEquipment(f.MAQU, f.FREN)) {
        found = true;
      } else if (f.FREN != 0 && findEquipment(f.MAQU, 0)) {
        return refuseEquipment();
      }
    }
    if (!found && call("CAP_EQUI", request::Select) != response::Completed) {
      // The list moved the equipment buffer: the text beside the field is
      // that of the number it keeps.
      if (!findEquipment(f.MAQU, f.FREN)) table("MAQU").clear();
      return select("?FAM:MAQU");
    }
    // The pair chosen or found: the save looks up this same pair.
    const MAQ& m = table("MAQU").rec<MAQ>();
    f.MAQU = m.CTA, f.FREN = m.FREN, f.PROC = m.PROC;
  }

  // A front typed or chosen: the equipment must be on it.
  void front() {
    FAM& f = invoice();
    if (f.MAQU == 0) return;
    if (!findEquipment(f.MAQU, f.FREN)) return refuseEquipment();
    const MAQ& m = table("MAQU").rec<MAQ>();
    f.FREN = m.FREN, f.PROC = m.PROC;
  }

  void showRefusal(const Status& st, const InvoiceOutcome& out) {
    for (const Lines3& m : out.messages) warn(m[0], m[1], m[2]);
    switch (out.step) {
      case InvoiceStep::Missing: select("?" + out.field); return;
      case InvoiceStep::Equipment:
        if (st.code != err::RecordNotFound) fileError(st, out.action);
        select(invoice().FREN != 0 ? "?FAM:FREN" : "?FAM:MAQU");
        return;
      case InvoiceStep::Paid:
      case InvoiceStep::Posted:
      case InvoiceStep::Changed: select("?FAM:CTA"); return;
      case InvoiceStep::Read:
        fileError(st, out.action);
        select(dict::sameName(st.table, "PROV") ? "?FAM:PROV" : "?FAM:CTA");
        return;
      default: fileError(st, out.action); select("?FAM:CTA");
    }
  }

  void saveChange() {
    InvoiceChange in;
    in.read = read_;
    in.invoice = invoice();
    in.work = program_.hasVar("GLO:OBRA") ? toText(program_.var("GLO:OBRA")) : std::string();
    in.today = today();
    in.now = dates::clockTime();
    in.user = std::max(program_.rights.user, 0);
    InvoiceOutcome out;
    Status st = changeInvoice(context(), in, &out);
    if (!st) return showRefusal(st, out);
    primary().rec<FAM>() = out.saved;
    close(response::Completed);
  }

  void remove() {
    wm_.response = response::Cancelled;
    const FAM f = invoice();
    if (program_.messages().raise(errors_, 11) != MessageService::kAnsweredYes) return;
    InvoiceOutcome out;
    Status st = deleteInvoice(context(), f.CTA, std::max(program_.rights.user, 0), &out);
    if (!st) {
      if (out.messages.empty()) fileError(st, FileAction::Delete);
      for (const Lines3& m : out.messages) warn(m[0], m[1], m[2]);
      return;
    }
    wm_.response = response::Completed;
  }

  void saveNew() {
    InvoiceInput in;
    in.invoice = invoice();
    in.work = program_.hasVar("GLO:OBRA") ? toText(program_.var("GLO:OBRA")) : std::string();
    in.today = today();
    in.now = dates::clockTime();
    in.user = std::max(program_.rights.user, 0);
    in.reservation = reserved();
    InvoiceOutcome out;
    Status st = saveInvoice(context(), in, &out);
    if (!st) return showRefusal(st, out);
    primary().rec<FAM>() = out.saved;
    for (const Lines3& m : out.messages) warn(m[0], m[1], m[2]);
    if (out.policy == PolicyState::Written)
      (void)accounting::printPolicy(*this, out.policyNumber, in.today);
    close(response::Completed);
  }

  static WindowDescription window() {
    return Describe("UP_FACT", "Actualizando Facturas")
        .field("Folio:", "FAM:CTA", "@n_6", "FOLIO DEL COSTO")
        .field("Proveedor:", "FAM:PROV", "@n_6", "PROVEEDOR QUE FACTURA")
        .lookupButton()
        .text("", "PRV:NOMB", "@s50")
        .field("Factura:", "FAM:FACT", "@n_6", "No DE FACTURA DEL PROVEEDOR")
        .field("Fecha:", "FAM:FECH", "@d6", "FECHA DE LA FACTURA")
        .calendarButton()
        .field("Equipo:", "FAM:MAQU", "@n_6", "EQUIPO QUE SE PAGA")
        .lookupButton()
        .text("", "MAQ:DESC", "@s40")
        .field("Frente:", "FAM:FREN", "@n_6B", "FRENTE DEL EQUIPO")
        .lookupButton()
        .text("", "FRE:NOMB", "@s40")
        .field("Proceso:", "FAM:PROC", "@n_6B", "PROCESO DEL EQUIPO")
        .lookupButton()
        .text("", "PRB:TEXT", "@s30")
        .field("Autoriza:", "FAM:AUTO", "@n_6", "EMPLEADO QUE AUTORIZA")
        .lookupButton()
        .text("", "PER:NOMB", "@s30")
        .field("Horas:", "FAM:CANT", "@n7.2", "UNIDADES PAGADAS")
        .field("Importe:", "FAM:IMPO", "@n14.2", "IMPORTE DEL VALE")
        .field("IVA:", "FAM:IVA", "@n14.2", "IVA DE LA FACTURA")
        .text("", kRate, "@s24")
        .text("Total:", kTotal, "@n14.2")
        .formButtons()
        .done();
  }

  static FormSettings settings() {
    FormSettings s;
    s.lookups = {{"?FAM:PROV", labels::PROV, keys::PRV_CTA_KEY, "CAP_PROV", true},
                 {"?FAM:AUTO", labels::PERS, keys::PER_CTA_KEY, "CAP_EMPL", true},
                 {"?FAM:PROC", labels::PROB, keys::PRB_CTA_KEY, "CAP_PROC", true}};
    return s;
  }

  std::int64_t rate_ = kDefaultTaxRate;
  FAM read_{};  // the invoice as it was read, for the change's check
};

}  // namespace

void addInvoiceProcedures(Program& program) {
  program.addProcedure("CAP_FACT", makeCapFact);
  program.addProcedure("UP_FACT",
                       [](Program& p, db::Context& c) { return std::make_unique<UpFact>(p, c); });
}

}  // namespace velmora::equipment
