// What VOROVID's reports share: their options (REDIR4, REDIR5, REDIR3 and
// the same by name for `velmora reporte`), the heading, the names of
// suppliers, banks and equipment, and the notices of those no longer on
// file.

#include <algorithm>
#include <cctype>

#include "dictionary/storage.h"
#include "equipment/reports/equipment_reports.h"
#include "framework/describe.h"
#include "framework/picture.h"
#include "framework/procedure.h"
#include "framework/program.h"

namespace velmora::reports {

namespace {

constexpr int kLeft = 100;

constexpr const char* kChosen = "NPRV";  // the program's chosen supplier
constexpr const char* kDateFrom = "FECHA_INICIAL";
constexpr const char* kDateTo = "FECHA_FINAL";
constexpr const char* kReporta = "REPORTA";
constexpr const char* kInvoice = "FACTURA";
constexpr const char* kPayments = "INCLUYE_PAGOS";
constexpr const char* kFull = "DESCRIPCION_COMPLETA";

std::string date6(std::int32_t date) { return formatPicture("@D6", double(date)); }

std::string trimmed(std::string_view s) {
  const auto a = s.find_first_not_of(' ');
  if (a == std::string_view::npos) return {};
  return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

// Upper case without blanks: "x Pagar" is XPAGAR.
std::string squeezed(std::string_view s) {
  std::string out;
  for (unsigned char c : s)
    if (c != ' ' && c != '&') out += char(std::toupper(c));
  return out;
}

const char* procedureOf(EquipmentWindow w) {
  switch (w) {
    case EquipmentWindow::Payments: return "REDIR4";
    case EquipmentWindow::Invoices: return "REDIR5";
    case EquipmentWindow::Work: return "REDIR3";
    case EquipmentWindow::None: break;
  }
  return "";
}

WindowDescription optionsWindow(EquipmentWindow which) {
  Describe d(procedureOf(which), "Opciones del Reporte");
  if (which != EquipmentWindow::Work) {
    d.field("Fecha Inicial:", kDateFrom, "@d6").calendarButton().hint("en blanco = sin límite");
    d.field("Fecha Final:", kDateTo, "@d6").calendarButton().hint("en blanco = sin límite");
  }
  d.field("Proveedor:", kChosen, "@n_6")
      .lookupButton()
      .hint("0 = todos")
      .besideText("PRV:NOMB", "@s30");
  const std::vector<std::string>& captions = reportaCaptions(which);
  d.option(which == EquipmentWindow::Invoices ? "REPORTA" : "Reporta", kReporta, {"1", "2", "3"},
           captions);
  if (which == EquipmentWindow::Payments)
    d.field("No de Factura:", kInvoice, "@n_6").hint("0 = todas");
  if (which == EquipmentWindow::Invoices) d.check("INCLUYE PAGOS", kPayments, "0", "1");
  if (which == EquipmentWindow::Work) d.check("Descripción Completa", kFull, "0", "1");
  WindowDescription w = d.button("?OK", "&Aceptar", true).button("?CANCEL", "&Cancela").done();
  w.resizable = false;
  return w;
}

class EquipmentOptionsWindow : public Procedure {
 public:
  EquipmentOptionsWindow(Program& program, db::Context& ctx, EquipmentReport& report)
      : Procedure(program, ctx, optionsWindow(report.window())), report_(report) {
    const EquipmentChoices& c = report.choices();
    uses("PROV");
    setLocal(kDateFrom, std::int64_t(c.dateFrom));
    setLocal(kDateTo, std::int64_t(c.dateTo));
    // Each window opens on its first choice and without an invoice number.
    setLocal(kReporta, std::string("1"));
    setLocal(kInvoice, std::int64_t(0));
    setLocal(kPayments, std::string("0"));
    setLocal(kFull, std::string(c.fullDescription ? "1" : "0"));
    if (!program.hasVar(kChosen)) program.declare(kChosen, Value(std::int64_t(0)));
    before_ = program.var(kChosen);
  }

  void closeBox() override { cancel(); }
  void keyPressed(Key key) override {
    if (key == Key::Esc) return cancel();
    Procedure::keyPressed(key);
  }

 protected:
  // The chosen supplier's name shows; one no longer on file is asked for
  // on OK, not as the window opens.
  bool init() override {
    if (!Procedure::init()) return false;  // opens PROV for the supplier's name
    db::Table& t = table("PROV");
    t.clear();
    t.rec<PRV>().CTA = std::int32_t(number(value(kChosen)));
    if (t.rec<PRV>().CTA == 0 || !t.get("PRV:CTA_KEY") || t.rec<PRV>().TIPO != 2) t.clear();
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?OK")) return ok();
    if (dict::sameName(control, "?CANCEL")) return cancel();
    if (dict::sameName(control, "?CALLLOOKUP")) (void)supplier(true);
    if (dict::sameName(control, std::string("?") + kChosen)) (void)supplier(false);
    refreshAll();
  }

 private:
  // A supplier number that names none opens CAP_PROV to choose one; 0
  // stays 0 (every supplier), and so does the browse left without a choice.
  bool supplier(bool always) {
    const auto typed = std::int32_t(number(value(kChosen)));
    db::Table& t = table("PROV");
    t.clear();
    if (!always && typed == 0) return true;
    bool found = false;
    if (!always) {
      t.rec<PRV>().CTA = typed;
      found = bool(t.get("PRV:CTA_KEY")) && t.rec<PRV>().TIPO == 2;
    }
    if (!found) {  // the list opens on the number typed
      t.clear();
      t.rec<PRV>().CTA = typed;
      found = call("CAP_PROV", request::Select) == response::Completed;
    }
    if (!found) {
      program_.setVar(kChosen, Value(std::int64_t(typed)));
      // The name beside the field is the kept number's, not the list's row.
      t.clear();
      t.rec<PRV>().CTA = typed;
      if (typed == 0 || !t.get("PRV:CTA_KEY")) t.clear();
      refreshAll();
      select(std::string("?") + kChosen);
      return false;
    }
    program_.setVar(kChosen, Value(std::int64_t(t.rec<PRV>().CTA)));
    return true;
  }

  void ok() {
    if (!supplier(false)) return;
    auto whole = [&](const char* var) { return std::int32_t(number(value(var))); };
    EquipmentChoices& c = report_.choices();
    c.dateFrom = whole(kDateFrom), c.dateTo = whole(kDateTo);
    if (c.dateFrom && c.dateTo && c.dateFrom > c.dateTo) std::swap(c.dateFrom, c.dateTo);
    c.supplier = whole(kChosen);
    c.reporta = std::clamp(std::atoi(toText(value(kReporta)).c_str()), 1, 3);
    c.invoice = std::max(0, whole(kInvoice));
    c.withPayments = toText(value(kPayments)) == "1";
    c.fullDescription = toText(value(kFull)) == "1";
    close(response::Completed);
  }

  void cancel() {
    program_.setVar(kChosen, before_);
    close(response::Cancelled);
  }

  EquipmentReport& report_;
  Value before_;
};

}  // namespace

std::string EquipmentChoices::range() const {
  std::string s;
  if (dateFrom) s += " DESDE EL " + date6(dateFrom);
  if (dateTo) s += " AL " + date6(dateTo);
  return s;
}

const std::vector<std::string>& reportaCaptions(EquipmentWindow window) {
  static const std::vector<std::string> payments = {"Todo", "Anticipos", "Facturado"};
  static const std::vector<std::string> invoices = {"TODO", "x PAGAR", "PAGADA"};
  static const std::vector<std::string> work = {"Todo", "Sin Facturar", "Facturado"};
  static const std::vector<std::string> none;
  switch (window) {
    case EquipmentWindow::Payments: return payments;
    case EquipmentWindow::Invoices: return invoices;
    case EquipmentWindow::Work: return work;
    case EquipmentWindow::None: break;
  }
  return none;
}

// --- the report's side ---------------------------------------------------------------

ReportDescription EquipmentReport::equipmentLayout(const SheetSpec& sheet) {
  ReportDescription d = layOut(sheet);
  // Company, page, work and title as DUDORE's reports print them; here the
  // work's name goes into the title and its address under it.
  Band& h = d.pageHeader;
  h.items.erase(h.items.begin(), h.items.begin() + 4);
  const int right = sheetEnd(sheet);
  BandItem company = field(std::string(names::kCompany), "", kLeft, 0);
  company.bold = true;
  BandItem title = field(std::string(kTitleLine), "", kLeft, 40);
  title.bold = true;
  h.items.insert(h.items.begin(),
                 {company, field(std::string(names::kPage), "pHoja <<<#p", right, 0, true), title,
                  field(std::string(names::kAddress), "", kLeft, 80),
                  field(std::string(names::kDate), "@D6", right, 80, true)});
  return d;
}

Status EquipmentReport::begin(db::Context& ctx, const Heading& heading) {
  work_ = heading.work;
  notices_.clear();
  told_.clear();
  footerAt_ = 0;
  EquipmentChoices& c = choices_;
  if (c.dateFrom && c.dateTo && c.dateFrom > c.dateTo) std::swap(c.dateFrom, c.dateTo);

  auto readAll = [&](const dict::TableInfo& info, const char* key, auto&& keep) {
    db::Table& t = ctx.table(info);
    // A file never opened in this work (no bank yet) holds no names.
    if (Status st = t.openReadOnly(); !st)
      return st.code == err::FileNotFound ? Status::success() : st;
    Status st = t.setStart(info.key(key));
    while (st && (st = t.next())) keep(t);
    t.close();
    return st.code == err::NoRecord ? Status::success() : st;
  };
  if (suppliers_) {
    suppliers_->clear();
    if (Status st =
            readAll(PRV::info(), "PRV:CTA_KEY",
                    [&](db::Table& t) { (*suppliers_)[t.rec<PRV>().CTA] = t.rec<PRV>().NOMB; });
        !st)
      return st;
  }
  if (banks_) {
    banks_->clear();
    if (Status st = readAll(BAN::info(), "BAN:KEYCTA",
                            [&](db::Table& t) { (*banks_)[t.rec<BAN>().CTA] = t.rec<BAN>().NOMB; });
        !st)
      return st;
  }
  if (equipment_) {
    equipment_->clear();
    if (Status st = readAll(MAQ::info(), "MAQ:CTA_KEY",
                            [&](db::Table& t) {
                              const MAQ& m = t.rec<MAQ>();
                              (*equipment_)[{m.CTA, m.FREN}] = m.DESC;
                            });
        !st)
      return st;
  }
  return Status::success();
}

std::optional<Value> EquipmentReport::value(std::string_view name) const {
  if (name == kTitleLine) return Value(description().title + " " + work_ + choices_.range());
  if (name == kNotice && footerAt_ > 0 && footerAt_ <= notices_.size()) {
    std::string text = notices_[footerAt_ - 1];
    std::replace(text.begin(), text.end(), '|', ' ');
    return Value(text);
  }
  return std::nullopt;
}

void EquipmentReport::notice(std::string text) {
  if (told_.insert(text).second) notices_.push_back(std::move(text));
}

std::string EquipmentReport::supplierName(std::int32_t supplier, std::string_view record) {
  if (supplier == 0) return {};
  auto it = suppliers_->find(supplier);
  if (it != suppliers_->end()) return it->second;
  notice("EL PROVEEDOR " + std::to_string(supplier) + "|FUE DADO DE BAJA, Y EXISTE|" +
         std::string(record));
  return std::string(kDeletedName);
}

std::string EquipmentReport::bankName(std::int32_t bank) const {
  if (bank == 0) return {};
  auto it = banks_->find(bank);
  return it == banks_->end() ? std::string(kDeletedName) : it->second;
}

std::string EquipmentReport::equipmentName(std::int32_t equipment, std::int32_t front,
                                           std::string_view record) {
  auto it = equipment_->find({equipment, front});
  if (it != equipment_->end()) return it->second;
  notice("EL EQUIPO " + std::to_string(equipment) + "|FUE DADO DE BAJA, Y EXISTE|" +
         std::string(record));
  return std::string(kDeletedName);
}

const Band* EquipmentReport::footer(bool first) {
  if (first) {
    footerAt_ = 0;
    if (notices_.empty()) return nullptr;
    noticeHeading_ = Band{};
    noticeHeading_.height = 80;
    BandItem h = label("AVISOS:", kLeft, 30);
    h.bold = true;
    noticeHeading_.items = {h};
    noticeLine_ = Band{};
    noticeLine_.height = 40;
    noticeLine_.items = {field(std::string(kNotice), "", kLeft, 0)};
    return &noticeHeading_;
  }
  if (++footerAt_ > notices_.size()) return nullptr;
  return &noticeLine_;
}

std::vector<std::string> EquipmentReport::notices() const { return notices_; }

Status EquipmentReport::option(std::string_view name, std::string_view value) {
  const std::string text = trimmed(value);
  const std::string& procedure = description().procedure;
  auto refused = [&](const std::string& why) {
    return Status::error(err::ValueRefused, procedure + ": " + why);
  };
  const EquipmentWindow w = window_;
  auto is = [&](const char* n) { return dict::sameName(name, n); };
  auto yesNo = [&](bool& into) {
    const std::string v = squeezed(text);
    if (v == "SI" || v == "S" || v == "1") return into = true, Status::success();
    if (v == "NO" || v == "N" || v == "0") return into = false, Status::success();
    return refused("el valor «" + text + "» de " + std::string(name) + " no es SI ni NO");
  };
  auto whole = [&](std::int32_t& into) {
    const std::optional<Decimal> d = Decimal::parse(text);
    if (!d || d->cents() < 0 || d->cents() % 100)
      return refused("el valor «" + text + "» de " + std::string(name) + " no es válido");
    into = std::int32_t(d->cents() / 100);
    return Status::success();
  };
  if ((is(kDateFrom) || is(kDateTo)) && w != EquipmentWindow::None && w != EquipmentWindow::Work) {
    Value v;
    if (!parse(*compilePicture("@D6"), text, v) || number(v) <= 0)
      return refused("la fecha «" + text + "» no es válida (dd/mm/aaaa)");
    (is(kDateFrom) ? choices_.dateFrom : choices_.dateTo) = std::int32_t(number(v));
    return Status::success();
  }
  if (is("PROVEEDOR") && w != EquipmentWindow::None) return whole(choices_.supplier);
  if (is(kReporta) && w != EquipmentWindow::None) {
    const std::vector<std::string>& captions = reportaCaptions(w);
    for (std::size_t i = 0; i < captions.size(); ++i)
      if (squeezed(text) == squeezed(captions[i]) || text == std::to_string(i + 1)) {
        choices_.reporta = int(i) + 1;
        return Status::success();
      }
    std::string known;
    for (const std::string& c : captions) known += (known.empty() ? "" : ", ") + c;
    return refused("REPORTA es uno de: " + known);
  }
  if (is(kInvoice) && w == EquipmentWindow::Payments) return whole(choices_.invoice);
  if (is(kPayments) && w == EquipmentWindow::Invoices) return yesNo(choices_.withPayments);
  if (is(kFull) && w == EquipmentWindow::Work) return yesNo(choices_.fullDescription);
  return Status::error(err::ValueRefused, "El reporte " + procedure + " no tiene la opción «" +
                                              std::string(name) + "»");
}

bool EquipmentReport::ask(Procedure& caller) {
  if (window_ == EquipmentWindow::None) return true;
  return caller.call(
             std::make_unique<EquipmentOptionsWindow>(caller.program(), caller.context(), *this),
             request::Process) == response::Completed;
}

}  // namespace velmora::reports
