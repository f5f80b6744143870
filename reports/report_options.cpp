#include "reports/report_options.h"

#include <cctype>
#include <cmath>
#include <functional>
#include <utility>

#include "dictionary/dates.h"
#include "framework/describe.h"
#include "framework/picture.h"

namespace velmora::reports {

namespace {

// The window's variables.
constexpr const char* kConceptFrom = "OPC_CONCEPTO_INICIAL";
constexpr const char* kConceptTo = "OPC_CONCEPTO_FINAL";
constexpr const char* kDateFrom = "OPC_FECHA_INICIAL";
constexpr const char* kDateTo = "OPC_FECHA_FINAL";
constexpr const char* kClosing = "OPC_FECHA_CIERRE";
constexpr const char* kContractor = "OPC_CONTRATISTA";
constexpr const char* kConcept = "OPC_CONCEPTO";
constexpr const char* kProcess = "OPC_PROCESO";
constexpr const char* kFront = "OPC_FRENTE";
constexpr const char* kFolioFrom = "OPC_FOLIO_INICIAL";
constexpr const char* kFolioTo = "OPC_FOLIO_FINAL";
constexpr const char* kItem = "OPC_PARTIDA";

constexpr const char* kConceptPicture = "@n_9.2";

std::string date6(std::int32_t date) { return formatPicture("@D6", double(date)); }

std::string conceptText(double item) {
  std::string s = formatPicture(kConceptPicture, item);
  s.erase(0, s.find_first_not_of(' '));
  return s;
}

}  // namespace

// A number that must name a record of another table, and the browse that
// chooses one.
struct ReportOptionsWindow::Lookup {
  const char* var;
  const char* table;
  const char* key;
  const char* field;
  const char* browse;
  bool mustExist;     // a range bound need not name a concept
  bool whole = true;  // a number without decimals (an item has them)
};

namespace {

constexpr ReportOptionsWindow::Lookup kLookups[] = {
    {kFolioFrom, "POLI", "POL:CTA_KEY", "POL:CTA", "CAP_EST", true},
    {kFolioTo, "POLI", "POL:CTA_KEY", "POL:CTA", "CAP_EST", true},
    {kConceptFrom, "CONC", "COE:CTA_KEY", "COE:CTA", "CAP_COES", false},
    {kConceptTo, "CONC", "COE:CTA_KEY", "COE:CTA", "CAP_COES", false},
    {kContractor, "CONT", "CTR:CTA_KEY", "CTR:CTA", "CAP_DEST", true},
    {kConcept, "CONC", "COE:CTA_KEY", "COE:CTA", "CAP_COES", true},
    {kProcess, "PROB", "PRB:CTA_KEY", "PRB:CTA", "CAP_PROC", true},
    {kFront, "FREN", "FRE:CTA_KEY", "FRE:CTA", "CAP_FRE", true},
    {kItem, "PART", "PAR:CTA_KEY", "PAR:CONC", "CAP_PART", true, false},
};

// Beside every number, what 0 (or a blank date) means there.
WindowDescription optionsWindow(unsigned asks) {
  Describe d(ReportOptionsWindow::kName, "Opciones del Reporte");
  if (asks & ask::kFolios) {
    // Both 0 print the estimate captured last where the report prints one.
    const bool last = asks & ask::kLastFolio;
    d.field("Folio Inicial:", kFolioFrom, "@n_5").lookupButton();
    d.hint(last ? "0 y 0 = la última" : "0 = desde la primera");
    d.field("Folio Final:", kFolioTo, "@n_5").lookupButton();
    d.hint(last ? "0 y 0 = la última" : "0 = hasta la última");
  }
  if (asks & ask::kConceptRange) {
    d.field("No de Concepto Inicial:", kConceptFrom, kConceptPicture).lookupButton();
    d.hint("0 = desde el primero");
    d.field("No de Concepto Final:", kConceptTo, kConceptPicture).lookupButton();
    d.hint("0 = hasta el último");
  }
  if (asks & ask::kDateRange) {
    d.field("Fecha Inicial:", kDateFrom, "@d6").calendarButton().hint("en blanco = sin límite");
    d.field("Fecha Final:", kDateTo, "@d6").calendarButton().hint("en blanco = sin límite");
  }
  if (asks & ask::kClosingDate) d.field("Fecha de Cierre:", kClosing, "@d6").calendarButton();
  if (asks & ask::kContractor)
    d.field("Contratista:", kContractor, "@n_6")
        .lookupButton()
        .hint("0 = todos")
        .besideText("CTR:NOMB", "@s30");
  if (asks & ask::kConcept)
    d.field("Concepto:", kConcept, "@n_6")
        .lookupButton()
        .hint("0 = todos")
        .besideText("COE:TEXT", "@s40");
  if (asks & ask::kItem)
    d.field("Concepto:", kItem, kConceptPicture)
        .lookupButton()
        .hint("0 = todos")
        .besideText("PAR:TEXT", "@s30");
  if (asks & ask::kProcess)
    d.field("Proceso:", kProcess, "@n_6")
        .lookupButton()
        .hint("0 = todos")
        .besideText("PRB:TEXT", "@s30");
  if (asks & ask::kFront)
    d.field("Frente:", kFront, "@n_6")
        .lookupButton()
        .hint("0 = todos")
        .besideText("FRE:NOMB", "@s40");
  WindowDescription w = d.button("?OK", "&Aceptar", true).button("?CANCEL", "&Cancela").done();
  w.resizable = false;
  return w;
}

}  // namespace

std::int32_t conceptNumber(double item) { return std::int32_t(std::floor(item + 1e-9)); }

// --- the report's side ----------------------------------------------------------------

void ReportChoices::normalise() {
  if (conceptTo != 0 && conceptFrom > conceptTo) std::swap(conceptFrom, conceptTo);
  if (dateTo != 0 && dateFrom > dateTo) std::swap(dateFrom, dateTo);
  if (folioTo != 0 && folioFrom > folioTo) std::swap(folioFrom, folioTo);
}

Status OptionsReport::begin(db::Context& ctx, const Heading& heading) {
  date_ = heading.date;
  choices_.normalise();
  contractors_.clear();
  if (Status st = findChosen(ctx); !st) return st;
  if (!names_) return Status::success();
  // Contractors are few: read once, not once per row.
  db::Table& t = ctx.table(CTR::info());
  if (Status st = t.open(); !st) return st;
  Status st = t.setStart(CTR::info().key("CTR:CTA_KEY"));
  while (st && (st = t.next())) contractors_[t.rec<CTR>().CTA] = t.rec<CTR>().NOMB;
  t.close();
  return st.code == err::NoRecord ? Status::success() : st;
}

// The window lets only numbers on file through; `velmora reporte --opcion`
// takes any, so each chosen one is looked up here.
Status OptionsReport::findChosen(db::Context& ctx) {
  missing_.clear();
  notices_.clear();
  const ReportChoices& c = choices_;
  struct Chosen {
    unsigned asked;
    double number;
    const char* table;
    const char* key;
    const char* field;
    const char* what;
  };
  const Chosen chosen[] = {
      {ask::kContractor, double(c.contractor), "CONT", "CTR:CTA_KEY", "CTR:CTA", "el contratista"},
      {ask::kConcept, double(c.conceptCta), "CONC", "COE:CTA_KEY", "COE:CTA", "el concepto"},
      {ask::kItem, c.item, "PART", "PAR:CTA_KEY", "PAR:CONC", "el concepto"},
      {ask::kProcess, double(c.process), "PROB", "PRB:CTA_KEY", "PRB:CTA", "el proceso"},
      {ask::kFront, double(c.front), "FREN", "FRE:CTA_KEY", "FRE:CTA", "el frente"},
  };
  for (const Chosen& one : chosen) {
    if (!(asks_ & one.asked) || one.number == 0) continue;
    db::Table& t = ctx.table(one.table);
    // A catalogue that cannot be read cannot say what is missing; the run
    // goes on as it always did.
    if (!t.open()) continue;
    t.clear();
    bool found = false;
    if (one.asked == ask::kItem) {
      // An item by its concept alone, whatever its process and front.
      (void)t.buffer().set(one.field, Value(one.number));
      found =
          t.set(t.info().key(one.key), 1) && t.next() &&
          std::llround(number(t.buffer().get(one.field)) * 100) == std::llround(one.number * 100);
    } else {
      (void)t.buffer().set(one.field, Value(std::int64_t(one.number)));
      found = bool(t.get(one.key));
    }
    t.clear();
    t.close();
    if (!found)
      missing_.push_back(std::string(one.what) + " " +
                         (one.asked == ask::kItem ? conceptText(one.number)
                                                  : std::to_string(std::int64_t(one.number))));
  }
  return Status::success();
}

Status OptionsReport::afterRecords(long printed) {
  if (missing_.empty()) return Status::success();
  std::string named;
  for (const std::string& m : missing_) named += (named.empty() ? "" : " ni ") + m;
  if (printed == 0)
    return Status::error(err::ValueRefused,
                         "No está en el catálogo " + named +
                             ", y el reporte no tiene nada que imprimir con esa opción; use un "
                             "número del catálogo (0 = todos)");
  std::string upper;
  for (char ch : named) upper += char(std::toupper(static_cast<unsigned char>(ch)));
  notices_.push_back(upper +
                     "|NO ESTA EN EL CATALOGO (DADO DE BAJA);|SE IMPRIME LO QUE LLEVA SU NUMERO");
  return Status::success();
}

std::string OptionsReport::contractorName(int contractor) const {
  if (contractor == 0) return {};
  auto it = contractors_.find(contractor);
  return it == contractors_.end() ? kDeletedContractor : it->second;
}

std::int32_t OptionsReport::reportDate() const {
  return (asks_ & ask::kClosingDate) && choices_.closing != 0 ? choices_.closing : date_;
}

std::optional<Value> OptionsReport::value(std::string_view name) const {
  if (name != kTitleRange) return std::nullopt;
  const std::string& title = description().title;
  // A title written with its closing blank keeps one blank before the date.
  std::string text = title + (title.ends_with(' ') ? "" : " ") + date6(reportDate());
  const ReportChoices& c = choices_;
  if ((asks_ & ask::kDateRange) && (c.dateFrom != 0 || c.dateTo != 0))
    text += " DESDE EL " + date6(c.dateFrom) + " AL " + date6(c.dateTo);
  if ((asks_ & ask::kConceptRange) && (c.conceptFrom != 0 || c.conceptTo != 0)) {
    text += " CONCEPTOS DEL " + conceptText(c.conceptFrom) + " AL ";
    text += c.conceptTo != 0 ? conceptText(c.conceptTo) : std::string("ULTIMO");
  }
  return Value(text);
}

std::string OptionsReport::dateHeading() const {
  const ReportChoices& c = choices_;
  if (!c.dateFrom || !c.dateTo) return {};
  return " DESDE EL " + date6(c.dateFrom) + " AL " + date6(c.dateTo);
}

bool OptionsReport::inFolios(std::int32_t folio) const {
  const ReportChoices& c = choices_;
  return !(asks_ & ask::kFolios) ||
         ((!c.folioFrom || folio >= c.folioFrom) && (!c.folioTo || folio <= c.folioTo));
}

bool OptionsReport::inConcepts(double item) const {
  const ReportChoices& c = choices_;
  if (!(asks_ & ask::kConceptRange)) return true;
  constexpr double kCent = 0.005;
  if (item < c.conceptFrom - kCent) return false;
  if (c.conceptTo == 0) return true;
  // A whole number takes its sub-items too: "to 12" reaches 12.99.
  const bool whole = std::fabs(c.conceptTo - std::round(c.conceptTo)) < kCent;
  return item < (whole ? std::round(c.conceptTo) + 1 - kCent : c.conceptTo + kCent);
}

bool OptionsReport::inDates(std::int32_t date) const {
  const ReportChoices& c = choices_;
  if (asks_ & ask::kDateRange) {
    if (c.dateFrom != 0 && date < c.dateFrom) return false;
    if (c.dateTo != 0 && date > c.dateTo) return false;
  }
  if (asks_ & ask::kClosingDate) return date <= reportDate() || reportDate() == 0;
  return true;
}

bool OptionsReport::matches(int contractor, double item, std::int32_t process,
                            std::int32_t front) const {
  const ReportChoices& c = choices_;
  if ((asks_ & ask::kContractor) && c.contractor != 0 && contractor != c.contractor) return false;
  if ((asks_ & ask::kConcept) && c.conceptCta != 0 && conceptNumber(item) != c.conceptCta)
    return false;
  if ((asks_ & ask::kProcess) && c.process != 0 && process != c.process) return false;
  if ((asks_ & ask::kFront) && c.front != 0 && front != c.front) return false;
  // Items compare to the cent: they are stored as binary fractions.
  if ((asks_ & ask::kItem) && c.item != 0 && std::llround(item * 100) != std::llround(c.item * 100))
    return false;
  return true;
}

// --- the window -------------------------------------------------------------------------

ReportOptionsWindow::ReportOptionsWindow(Program& program, db::Context& ctx, OptionsReport& report)
    : Procedure(program, ctx, optionsWindow(report.asks())), report_(report) {
  const ReportChoices& c = report.choices();
  setLocal(kConceptFrom, c.conceptFrom);
  setLocal(kConceptTo, c.conceptTo);
  setLocal(kDateFrom, std::int64_t(c.dateFrom));
  setLocal(kDateTo, std::int64_t(c.dateTo));
  setLocal(kClosing, std::int64_t(c.closing));
  setLocal(kContractor, std::int64_t(c.contractor));
  setLocal(kConcept, std::int64_t(c.conceptCta));
  setLocal(kProcess, std::int64_t(c.process));
  setLocal(kFront, std::int64_t(c.front));
  setLocal(kFolioFrom, std::int64_t(c.folioFrom));
  setLocal(kFolioTo, std::int64_t(c.folioTo));
  setLocal(kItem, c.item);
  for (const Lookup& l : kLookups)
    if (window_.find("?" + std::string(l.var))) uses(l.table);
}

// The names of the numbers chosen last time show beside them.
bool ReportOptionsWindow::init() {
  if (!Procedure::init()) return false;
  for (const Lookup& l : kLookups)
    if (l.mustExist && window_.find("?" + std::string(l.var))) {
      if (l.whole)
        showRelated(l.table, l.field, l.key, std::int64_t(number(value(l.var))));
      else
        (void)find(l);
    }
  return true;
}

const ReportOptionsWindow::Lookup* ReportOptionsWindow::lookupOf(const std::string& control) const {
  const Control* c = window_.find(control);
  if (!c) return nullptr;
  // The lookup button stands for the entry it serves.
  const std::string& entry = c->type == ControlType::Lookup ? c->target : c->id;
  for (const Lookup& l : kLookups)
    if (dict::sameName(entry, "?" + std::string(l.var))) return &l;
  return nullptr;
}

// A number found in its table shows its name; one that is not there opens
// the browse to choose (so does the button, always). 0 is "any".
bool ReportOptionsWindow::check(const Lookup& l, bool always) {
  db::Table& t = table(l.table);
  const double typed = number(value(l.var));
  if (!always && (typed == 0 || !l.mustExist)) {
    if (l.mustExist) t.clear();
    refreshAll();
    return true;
  }
  t.clear();
  if (!always && find(l)) {
    refreshAll();
    return true;
  }
  // The list opens on the number typed, as a form's lookup does.
  t.clear();
  if (typed != 0)
    (void)t.buffer().set(l.field, l.whole ? Value(std::int64_t(typed)) : Value(typed));
  if (call(l.browse, request::Select) == response::Completed) {
    (void)setValue(l.var, t.buffer().get(l.field));
    refreshAll();
    return true;
  }
  // Left without choosing: the name beside the field is that of the number
  // it keeps, not of the row the list stood on.
  if (!find(l)) t.clear();
  refreshAll();
  select("?" + std::string(l.var));
  return false;
}

// The record the number names: an item by its concept alone, whatever its
// process and front (the first of them).
bool ReportOptionsWindow::find(const Lookup& l) {
  db::Table& t = table(l.table);
  const double typed = number(value(l.var));
  t.clear();
  if (typed == 0) return false;
  if (l.whole) return t.buffer().set(l.field, Value(std::int64_t(typed))) && t.get(l.key);
  (void)t.buffer().set(l.field, Value(typed));
  const bool found =
      t.set(t.info().key(l.key), 1) && t.next() &&
      std::llround(number(t.buffer().get(l.field)) * 100) == std::llround(typed * 100);
  if (!found) t.clear();
  return found;
}

void ReportOptionsWindow::onAccepted(const std::string& control) {
  if (dict::sameName(control, "?OK")) return ok();
  if (dict::sameName(control, "?CANCEL")) return close(response::Cancelled);
  const Control* c = window_.find(control);
  if (const Lookup* l = lookupOf(control)) check(*l, c && c->type == ControlType::Lookup);
}

void ReportOptionsWindow::keyPressed(Key key) {
  if (key == Key::Esc) return close(response::Cancelled);
  Procedure::keyPressed(key);
}

void ReportOptionsWindow::ok() {
  for (const Lookup& l : kLookups)
    if (window_.find("?" + std::string(l.var)) && !check(l, false)) return;
  ReportChoices& c = report_.choices();
  auto whole = [this](const char* var) { return std::int32_t(number(value(var))); };
  c.conceptFrom = number(value(kConceptFrom));
  c.conceptTo = number(value(kConceptTo));
  c.dateFrom = whole(kDateFrom), c.dateTo = whole(kDateTo), c.closing = whole(kClosing);
  c.contractor = whole(kContractor), c.conceptCta = whole(kConcept);
  c.process = whole(kProcess), c.front = whole(kFront);
  c.folioFrom = whole(kFolioFrom), c.folioTo = whole(kFolioTo);
  c.item = number(value(kItem));
  c.normalise();
  close(response::Completed);
}

Status OptionsReport::option(std::string_view name, std::string_view value) {
  std::string given;
  for (char c : name) given += c == '_' ? '-' : char(std::tolower(static_cast<unsigned char>(c)));
  return setReportOption(*this, given + "=" + std::string(value));
}

Status setReportOption(Report& report, std::string_view option) {
  const std::size_t eq = option.find('=');
  const std::string name(option.substr(0, eq));
  const std::string text(eq == std::string_view::npos ? "" : option.substr(eq + 1));
  auto* options = dynamic_cast<OptionsReport*>(&report);
  ReportChoices* c = options ? &options->choices() : nullptr;
  struct Named {
    const char* name;
    unsigned asked;
    const char* picture;
    std::function<void(ReportChoices&, double)> set;
  };
  const Named known[] = {
      {"folio-inicial", ask::kFolios, "@n_5",
       [](ReportChoices& r, double v) { r.folioFrom = std::int32_t(v); }},
      {"folio-final", ask::kFolios, "@n_5",
       [](ReportChoices& r, double v) { r.folioTo = std::int32_t(v); }},
      {"concepto-inicial", ask::kConceptRange, kConceptPicture,
       [](ReportChoices& r, double v) { r.conceptFrom = v; }},
      {"concepto-final", ask::kConceptRange, kConceptPicture,
       [](ReportChoices& r, double v) { r.conceptTo = v; }},
      {"fecha-inicial", ask::kDateRange, "@d6",
       [](ReportChoices& r, double v) { r.dateFrom = std::int32_t(v); }},
      {"fecha-final", ask::kDateRange, "@d6",
       [](ReportChoices& r, double v) { r.dateTo = std::int32_t(v); }},
      {"cierre", ask::kClosingDate, "@d6",
       [](ReportChoices& r, double v) { r.closing = std::int32_t(v); }},
      {"contratista", ask::kContractor, "@n_6",
       [](ReportChoices& r, double v) { r.contractor = int(v); }},
      {"concepto", ask::kConcept, "@n_6",
       [](ReportChoices& r, double v) { r.conceptCta = std::int32_t(v); }},
      {"concepto", ask::kItem, kConceptPicture, [](ReportChoices& r, double v) { r.item = v; }},
      {"proceso", ask::kProcess, "@n_6",
       [](ReportChoices& r, double v) { r.process = std::int32_t(v); }},
      {"frente", ask::kFront, "@n_6",
       [](ReportChoices& r, double v) { r.front = std::int32_t(v); }},
  };
  for (const Named& n : known) {
    if (!dict::sameName(name, n.name) || !c || !(options->asks() & n.asked)) continue;
    const std::string picture = n.picture;
    const bool date = picture == "@d6", decimals = picture == kConceptPicture;
    Value v;
    Status st = parse(*compilePicture(n.picture), text, v);
    // Folios, numbers and dates are whole and not negative; a date is a day.
    const double d = number(v);
    if (!st || eq == std::string::npos || d < 0 || (date && d <= 0) ||
        (!decimals && d != std::floor(d)) || (!date && !decimals && text.find('.') != text.npos))
      return Status::error(err::ValueRefused,
                           "Valor no válido para la opción " + name + ": «" + text + "»");
    n.set(*c, d);
    c->normalise();
    return Status::success();
  }
  return Status::error(err::ValueRefused, "El reporte " + report.description().procedure +
                                              " no tiene la opción «" + name + "»");
}

bool OptionsReport::ask(Procedure& caller) {
  return askReportOptions(caller, *this) == response::Completed;
}

int askReportOptions(Procedure& caller, Report& report) {
  auto* options = dynamic_cast<OptionsReport*>(&report);
  if (!options || options->asks() == 0) return response::Completed;
  // The closing date starts on the day of the report.
  if ((options->asks() & ask::kClosingDate) && options->choices().closing == 0) {
    Program& p = caller.program();
    options->choices().closing = p.hasVar("GLO:HOY") ? std::int32_t(number(p.var("GLO:HOY"))) : 0;
    if (options->choices().closing == 0) options->choices().closing = dates::today();
  }
  return caller.call(
      std::make_unique<ReportOptionsWindow>(caller.program(), caller.context(), *options),
      request::Process);
}

}  // namespace velmora::reports
