#include "reports/estimate_options.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "dictionary/storage.h"
#include "framework/describe.h"
#include "framework/picture.h"
#include "framework/procedure.h"

namespace velmora::reports {

namespace {

// A number of the window, the table it names a record of, and the browse
// that chooses one.
struct Lookup {
  unsigned asks;
  const char* prompt;
  const char* var;
  const char* picture;
  const char* table;
  const char* key;
  const char* field;
  const char* browse;
};

constexpr Lookup kLookups[] = {
    {ask::kFolios, "Folio Inicial:", "FOLIO_INICIAL", "@n_5", "POLI", "POL:CTA_KEY", "POL:CTA",
     "CAP_EST"},
    {ask::kFolios, "Folio Final:", "FOLIO_FINAL", "@n_5", "POLI", "POL:CTA_KEY", "POL:CTA",
     "CAP_EST"},
    {ask::kContractor, "Contratista:", "CONTRATISTA", "@n_6", "CONT", "CTR:CTA_KEY", "CTR:CTA",
     "CAP_DEST"},
    {ask::kConcept, "Concepto:", "CONCEPTO", "@n_9.2", "PART", "PAR:CTA_KEY", "PAR:CONC",
     "CAP_PART"},
    {ask::kProcess, "Proceso:", "PROCESO", "@n_6", "PROB", "PRB:CTA_KEY", "PRB:CTA", "CAP_PROC"},
    {ask::kFront, "Frente:", "FRENTE", "@n_6", "FREN", "FRE:CTA_KEY", "FRE:CTA", "CAP_FRE"},
};

constexpr const char* kDateFrom = "FECHA_INICIAL";
constexpr const char* kDateTo = "FECHA_FINAL";

std::string trimmed(std::string_view s) {
  const auto a = s.find_first_not_of(' ');
  if (a == std::string_view::npos) return {};
  return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

class OptionsWindow : public Procedure {
 public:
  OptionsWindow(Program& program, db::Context& ctx, const std::string& procedure, unsigned asks,
                EstimateOptions& options)
      : Procedure(program, ctx, window(procedure, asks)), asks_(asks), options_(options) {
    const double values[] = {double(options.folioFrom),  double(options.folioTo),
                             double(options.contractor), options.conc,
                             double(options.process),    double(options.front)};
    for (std::size_t i = 0; i < std::size(kLookups); ++i)
      if (asks & kLookups[i].asks) {
        uses(kLookups[i].table);
        if (kLookups[i].asks == ask::kConcept)
          setLocal(kLookups[i].var, values[i]);
        else
          setLocal(kLookups[i].var, std::int64_t(values[i]));
      }
    if (asks & ask::kDates) {
      setLocal(kDateFrom, std::int64_t(options.dateFrom));
      setLocal(kDateTo, std::int64_t(options.dateTo));
    }
  }

 protected:
  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?OK")) return ok();
    if (dict::sameName(control, "?CANCEL")) return close(response::Cancelled);
    int button = 0;
    for (const Lookup& l : kLookups) {
      if (!(asks_ & l.asks)) continue;
      const std::string lookup =
          "?CALLLOOKUP" + (button++ ? ":" + std::to_string(button) : std::string());
      if (dict::sameName(control, lookup)) (void)chosen(l, true);
      if (dict::sameName(control, std::string("?") + l.var)) (void)chosen(l, false);
    }
    refreshAll();
  }

 private:
  // A number that names no record opens the browse to choose one; 0 stays
  // 0 ("every one"), and so does a browse left without a choice.
  bool chosen(const Lookup& l, bool always) {
    const double typed = number(value(l.var));
    db::Table& t = table(l.table);
    t.clear();
    if (!always && typed == 0) return true;
    bool found = false;
    if (!always) {
      (void)t.buffer().set(l.field, Value(typed));
      found = bool(t.get(l.key));
    }
    if (!found && call(l.browse, request::Select) == response::Completed) found = true;
    if (!found) {
      select(std::string("?") + l.var);
      return false;
    }
    const Value v = t.buffer().get(l.field);
    if (l.asks == ask::kConcept)
      setLocal(l.var, number(v));
    else
      setLocal(l.var, std::int64_t(number(v)));
    return true;
  }

  void ok() {
    for (const Lookup& l : kLookups)
      if ((asks_ & l.asks) && !chosen(l, false)) return;
    auto whole = [&](const char* var) { return std::int32_t(number(value(var))); };
    if (asks_ & ask::kFolios)
      options_.folioFrom = whole("FOLIO_INICIAL"), options_.folioTo = whole("FOLIO_FINAL");
    if (asks_ & ask::kContractor) options_.contractor = whole("CONTRATISTA");
    if (asks_ & ask::kConcept) options_.conc = number(value("CONCEPTO"));
    if (asks_ & ask::kProcess) options_.process = whole("PROCESO");
    if (asks_ & ask::kFront) options_.front = whole("FRENTE");
    if (asks_ & ask::kDates) options_.dateFrom = whole(kDateFrom), options_.dateTo = whole(kDateTo);
    options_.normalise();
    close(response::Completed);
  }

  static WindowDescription window(const std::string& procedure, unsigned asks) {
    Describe d("OPC_" + procedure, "Opciones del Reporte");
    for (const Lookup& l : kLookups) {
      if (!(asks & l.asks)) continue;
      d.field(l.prompt, l.var, l.picture).lookupButton();
      if (l.asks == ask::kContractor) d.besideText("CTR:NOMB", "@s30");
      if (l.asks == ask::kFront) d.besideText("FRE:NOMB", "@s40");
      if (l.asks == ask::kProcess) d.besideText("PRB:TEXT", "@s30");
    }
    if (asks & ask::kDates)
      d.field("Fecha Inicial:", kDateFrom, "@D6")
          .calendarButton()
          .field("Fecha Final:", kDateTo, "@D6")
          .calendarButton();
    WindowDescription w = d.button("?OK", "OK", true).button("?CANCEL", "Cancela").done();
    w.resizable = false;
    return w;
  }

  unsigned asks_;
  EstimateOptions& options_;
};

}  // namespace

void EstimateOptions::normalise() {
  if (folioFrom && folioTo && folioFrom > folioTo) std::swap(folioFrom, folioTo);
  if (dateFrom && dateTo && dateFrom > dateTo) std::swap(dateFrom, dateTo);
}

bool EstimateOptions::takesFolio(std::int32_t folio) const {
  return (!folioFrom || folio >= folioFrom) && (!folioTo || folio <= folioTo);
}

bool EstimateOptions::takesDate(std::int32_t date) const {
  return (!dateFrom || date >= dateFrom) && (!dateTo || date <= dateTo);
}

std::string EstimateOptions::dateHeading() const {
  if (!dateFrom || !dateTo) return {};
  return " DESDE EL " + formatPicture("@D6", double(dateFrom)) + " AL " +
         formatPicture("@D6", double(dateTo));
}

Status EstimateOptions::set(unsigned asks, std::string_view procedure, std::string_view name,
                            std::string_view value) {
  const std::string text = trimmed(value);
  auto refused = [&](const std::string& why) {
    return Status::error(err::ValueRefused, std::string(procedure) + ": " + why);
  };
  auto wanted = [&](unsigned a) { return (asks & a) != 0; };
  const bool date = dict::sameName(name, kDateFrom) || dict::sameName(name, kDateTo);
  if (date && wanted(ask::kDates)) {
    Value v;
    if (!parse(*compilePicture("@D6"), text, v) || number(v) <= 0)
      return refused("la fecha «" + text + "» no es válida (dd/mm/aaaa)");
    (dict::sameName(name, kDateFrom) ? dateFrom : dateTo) = std::int32_t(number(v));
    normalise();
    return Status::success();
  }
  for (const Lookup& l : kLookups) {
    if (!dict::sameName(name, l.var) || !wanted(l.asks)) continue;
    const std::optional<Decimal> d = Decimal::parse(text);
    if (!d || d->cents() < 0 || (l.asks != ask::kConcept && d->cents() % 100))
      return refused("el valor «" + text + "» de " + std::string(name) + " no es válido");
    const double n = d->toDouble();
    switch (l.asks) {
      case ask::kFolios:
        (std::string_view(l.var) == "FOLIO_INICIAL" ? folioFrom : folioTo) = std::int32_t(n);
        break;
      case ask::kContractor: contractor = std::int32_t(n); break;
      case ask::kConcept: conc = n; break;
      case ask::kProcess: process = std::int32_t(n); break;
      case ask::kFront: front = std::int32_t(n); break;
    }
    normalise();
    return Status::success();
  }
  return refused("no tiene la opción " + std::string(name));
}

bool askEstimateOptions(Procedure& caller, const std::string& procedure, unsigned asks,
                        EstimateOptions& options) {
  return caller.call(std::make_unique<OptionsWindow>(caller.program(), caller.context(), procedure,
                                                     asks, options),
                     request::Process) == response::Completed;
}

std::string contractorName(db::Table& cont, std::int32_t contractor) {
  cont.clear();
  cont.rec<CTR>().CTA = std::int16_t(contractor);
  if (!cont.get("CTR:CTA_KEY")) return std::string(kWithdrawn);
  return cont.rec<CTR>().NOMB;
}

std::int64_t cents(double v) {
  const std::optional<Decimal> d = Decimal::fromDouble(v);
  return d ? d->cents() : 0;
}

std::int64_t mulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
  if (c == 0) return 0;
  const long double exact = (long double)a * (long double)b / (long double)c;
  return std::int64_t(std::llround(exact));
}

}  // namespace velmora::reports
