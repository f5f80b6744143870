#include "accounting/imp_una.h"

#include <array>

#include "accounting/ledger.h"
#include "dictionary/dates.h"
#include "reports/report_windows.h"

namespace velmora::accounting {

namespace {

constexpr std::array<const char*, 12> kMonths = {"ENERO",      "FEBRERO", "MARZO",     "ABRIL",
                                                 "MAYO",       "JUNIO",   "JULIO",     "AGOSTO",
                                                 "SEPTIEMBRE", "OCTUBRE", "NOVIEMBRE", "DICIEMBRE"};

constexpr int kFont = 26;   // 2.6 mm: the five levels, two names and two amounts fit a letter
constexpr int kLeft = 100;  // 1 cm
constexpr int kPageWidth = 2159;
constexpr int kRight = kPageWidth - kLeft;
constexpr const char* kMoney = "@n15.2-B";
constexpr const char* kLevel = "@n_5B";

// Where column `chars` (from 0) of the fixed-pitch font starts.
int at(int chars) { return kLeft + chars * kFont * 6 / 10; }

constexpr std::array<const char*, 5> kLevelTitles = {"Cta", "Scta", "Sscta", "Sssct", "Ssss"};
constexpr std::array<const char*, 5> kLevelFields = {"DEA:CTA", "DEA:SCTA", "DEA:SSCTA",
                                                     "DEA:SSSCTA", "DEA:SSSSCTA"};
int levelEnd(std::size_t i) { return at(6 * int(i + 1) - 1); }
constexpr int kAccountAt = 31, kTextAt = 62;
const int kDebitEnd = at(99), kCreditEnd = at(116);

reports::ReportDescription describe() {
  using reports::field;
  using reports::label;
  reports::ReportDescription d;
  d.procedure = "IMP_UNA";
  d.title = "POLIZA CONTABLE";
  d.table = "DETMES";
  d.key = "DEA:NUM_KEY";
  d.rangeComponents = 1;
  d.fontHeight = kFont;

  reports::Band& h = d.pageHeader;
  reports::BandItem company = field(std::string(reports::names::kCompany), "", kLeft, 0);
  company.bold = true;
  h.items.push_back(company);
  h.items.push_back(field(std::string(reports::names::kPage), "pHoja <<<#p", kRight, 0, true));
  h.items.push_back(field(std::string(reports::names::kWork), "", kLeft, 40));
  reports::BandItem title = label("P O L I Z A   C O N T A B L E", kLeft, 100);
  title.bold = true;
  h.items.push_back(title);
  h.items.push_back(field("MES", "", kRight, 100, true));
  h.items.push_back(label("Póliza No:", kLeft, 160));
  h.items.push_back(field("POA:NUM", "@n_7", at(13), 160));
  h.items.push_back(label("AUTOMATICA", at(40), 160));
  h.items.push_back(field("POA:FOTI", "@n_5", at(51), 160));
  h.items.push_back(label("Descripción:", kLeft, 200));
  h.items.push_back(field("POA:DESC", "@s30", at(13), 200));
  h.items.push_back(label("Fecha:", kLeft, 240));
  h.items.push_back(field("POA:FECH", "@d6", at(13), 240));
  h.items.push_back(label("Referencia:", at(40), 240));
  h.items.push_back(field("POA:REFE", "@n_5", at(52), 240));
  for (std::size_t i = 0; i < kLevelTitles.size(); ++i)
    h.items.push_back(label(kLevelTitles[i], levelEnd(i), 310, true));
  h.items.push_back(label("Nombre de la cuenta", at(kAccountAt), 310));
  h.items.push_back(label("Concepto", at(kTextAt), 310));
  h.items.push_back(label("Cargos", kDebitEnd, 310, true));
  h.items.push_back(label("Abonos", kCreditEnd, 310, true));
  h.lines = {{kLeft, 295, kRight, 295}, {kLeft, 350, kRight, 350}};
  h.height = 370;

  reports::Band& line = d.detail;
  for (std::size_t i = 0; i < kLevelFields.size(); ++i)
    line.items.push_back(field(kLevelFields[i], kLevel, levelEnd(i), 0, true));
  line.items.push_back(field("CUE:DESC", "@s30", at(kAccountAt), 0));
  line.items.push_back(field("DEA:DESC", "@s20", at(kTextAt), 0));
  line.items.push_back(field("CARGOS", kMoney, kDebitEnd, 0, true));
  line.items.push_back(field("ABONOS", kMoney, kCreditEnd, 0, true));
  line.height = 40;

  // The sums, then a box for each signature.
  reports::Band& sums = d.totals;
  sums.lines = {{at(84), 5, kRight, 5}};
  sums.items.push_back(label("SUMAS DE CARGOS Y ABONOS:", at(82), 20, true));
  for (auto [source, end] : {std::pair{"CARGOS", kDebitEnd}, std::pair{"ABONOS", kCreditEnd}}) {
    reports::BandItem total = field(source, kMoney, end, 20, true);
    total.total = true;
    sums.items.push_back(total);
  }
  const int gap = 40, top = 120, bottom = 330;
  const int width = (kRight - kLeft - 2 * gap) / 3;
  const std::array<const char*, 3> boxes = {"REVISO:", "AUTORIZO:", "RECIBE CHEQUE:"};
  for (int i = 0; i < 3; ++i) {
    const int x1 = kLeft + i * (width + gap), x2 = x1 + width;
    sums.lines.push_back({x1, top, x2, top});
    sums.lines.push_back({x1, bottom, x2, bottom});
    sums.lines.push_back({x1, top, x1, bottom});
    sums.lines.push_back({x2, top, x2, bottom});
    sums.items.push_back(label(boxes[std::size_t(i)], x1 + 15, top + 15));
  }
  sums.height = bottom + 20;
  return d;
}

class ImpUna : public reports::Report {
 public:
  ImpUna(db::Context& ctx, std::int32_t policy, std::int32_t today)
      : cuen_(ctx.table("CUEN")), policy_(policy) {
    const int month = dates::monthOf(today);
    if (month >= 1 && month <= 12) month_ = kMonths[std::size_t(month - 1)];
    db::Table& polmes = ctx.table("POLMES");
    if (polmes.open()) {
      polmes.clear();
      polmes.rec<POA>().NUM = policy;
      if (polmes.get("POA:NUM_KEY")) header_ = polmes.rec<POA>();
      polmes.close();
    }
    opened_ = bool(cuen_.open());
  }
  ~ImpUna() override {
    if (opened_) cuen_.close();
  }

  const reports::ReportDescription& description() const override { return d_; }
  void range(Record& primary) override { primary.as<DEA>().NUM = policy_; }

  bool include(const Record& primary) override {
    const DEA& d = primary.as<DEA>();
    const AccountNumber a{{d.CTA, d.SCTA, d.SSCTA, d.SSSCTA, d.SSSSCTA}};
    account_.clear();
    // An account gone from the chart still prints its line, unnamed.
    if (opened_ && readAccount(cuen_, a)) account_ = cuen_.rec<CUE>().DESC;
    const Decimal amount = cents(d.CANT);
    debit_ = d.CARG == "C" ? amount : Decimal();
    credit_ = d.CARG == "C" ? Decimal() : amount;
    return true;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == "MES") return Value(month_);
    if (name == "POA:NUM") return Value(std::int64_t(header_.NUM));
    if (name == "POA:DESC") return Value(header_.DESC);
    if (name == "POA:FECH") return Value(std::int64_t(header_.FECH));
    if (name == "POA:REFE") return Value(std::int64_t(header_.REFE));
    if (name == "POA:FOTI") return Value(std::int64_t(header_.FOTI));
    if (name == "CUE:DESC") return Value(account_);
    if (name == "CARGOS") return Value(debit_);
    if (name == "ABONOS") return Value(credit_);
    return std::nullopt;
  }

 private:
  reports::ReportDescription d_ = describe();
  db::Table& cuen_;
  std::int32_t policy_;
  bool opened_ = false;
  POA header_{};
  std::string month_, account_;
  Decimal debit_, credit_;
};

}  // namespace

std::unique_ptr<reports::Report> makeImpUna(db::Context& ctx, std::int32_t policy,
                                            std::int32_t today) {
  return std::make_unique<ImpUna>(ctx, policy, today);
}

int printPolicy(Procedure& caller, std::int32_t policy, std::int32_t today) {
  Program& program = caller.program();
  std::unique_ptr<reports::Report> report = makeImpUna(caller.context(), policy, today);
  reports::RunSettings settings;
  settings.heading.date = today;
  if (program.hasVar("GLO:EMPRESA")) settings.heading.company = toText(program.var("GLO:EMPRESA"));
  if (program.hasVar("GLO:NOMBRE_OBRA"))
    settings.heading.work = toText(program.var("GLO:NOMBRE_OBRA"));
  return reports::printReport(caller, *report, settings);
}

}  // namespace velmora::accounting
