// IMP_AUX: every estimate line of the work in folio order, with its item's
// budget, the progress and amounts before and after the estimate and what
// the item has paid so far; exports one line per estimate line.

#include <map>
#include <tuple>

#include "dictionary/cp1252.h"
#include "dictionary/storage.h"
#include "estimates/reports/estimate_reports.h"
#include "estimates/reports/estimate_reports_b.h"
#include "framework/picture.h"

namespace velmora::reports {

namespace {

constexpr int kFont = 25;
constexpr int kLeft = 100;
constexpr int kPageWidth = 2794, kPageHeight = 2159;
constexpr const char* kMoney = "@n-14.2";

int at(int chars) { return kLeft + chars * kFont * 6 / 10; }

class ImpAux : public OptionsReport {
 public:
  ImpAux()
      : OptionsReport(ask::kFolios | ask::kDateRange | ask::kContractor | ask::kItem |
                      ask::kProcess | ask::kFront) {
    d_ = describe();
  }

  const ReportDescription& description() const override { return d_; }

  Status open(db::Context& ctx) override {
    for (const char* label : {"POLI", "PART"}) {
      db::Table& t = ctx.table(label);
      if (Status st = t.open(); !st) return st;
      tables_.push_back(&t);
    }
    poli_ = tables_[0], part_ = tables_[1];
    folio_ = -1;
    items_.clear();
    return Status::success();
  }
  void close() override {
    for (db::Table* t : tables_) t->close();
    tables_.clear();
  }

  bool include(const Record& primary) override {
    line_ = primary.as<DPO>();
    const ReportChoices& o = choices();
    if (!inFolios(line_.CTA)) return false;
    if ((o.item && cents(line_.PART) != cents(o.item)) || (o.process && line_.PROC != o.process) ||
        (o.front && line_.FREN != o.front))
      return false;
    if (line_.CTA != folio_) {
      // The lines of a folio come together: its header is read once.
      folio_ = line_.CTA;
      poli_->clear();
      poli_->rec<POL>().CTA = line_.CTA;
      header_ = poli_->get(keys::POL_CTA_KEY) ? poli_->rec<POL>() : POL{};
    }
    if (!inDates(header_.FECH)) return false;
    if (o.contractor && header_.CONT != o.contractor) return false;
    // An item is estimated again and again: it is read once.
    const Key key{cents(line_.PART), line_.PROC, line_.FREN};
    auto known = items_.find(key);
    if (known == items_.end()) {
      part_->clear();
      PAR& p = part_->rec<PAR>();
      p.CONC = line_.PART, p.PROC = line_.PROC, p.FREN = line_.FREN;
      Item it;
      if (part_->get(keys::PAR_CTA_KEY))
        it = {p.TEXT, p.CONT, cents(p.PRES) + cents(p.VPRE), cents(p.TPAG)};
      known = items_.emplace(key, std::move(it)).first;
    }
    item_ = &known->second;
    return true;
  }

  std::optional<Value> value(std::string_view n) const override {
    if (n == "POL:CTA") return Value(std::int64_t(line_.CTA));
    if (n == "POL:FECH") return Value(std::int64_t(header_.FECH));
    if (n == "PAR:PROC") return Value(std::int64_t(line_.PROC));
    if (n == "PAR:FREN") return Value(std::int64_t(line_.FREN));
    static const Item kNone;
    const Item& it = item_ ? *item_ : kNone;
    if (n == "PAR:TEXT") {
      // At the field's full width, as the export writes text fields.
      const std::size_t chars = cp1252::utf8Length(it.text);
      return Value(it.text + std::string(chars < 30 ? 30 - chars : 0, ' '));
    }
    if (n == "PAR:CONT") return Value(std::int64_t(it.contractor));
    if (n == "PRESUPUESTO") return Value(Decimal::fromCents(it.budget));
    if (n == "EJERCIDO") return Value(Decimal::fromCents(it.executed));
    if (n == "IMPORTE") return Value(Decimal::fromCents(cents(line_.TACT) - cents(line_.TANT)));
    if (n == "RANGO") return Value(dateHeading());
    return std::nullopt;
  }

 private:
  ReportDescription describe() {
    ReportDescription d;
    d.procedure = "IMP_AUX";
    d.title = "AUXILIAR DE ESTIMACIONES AL";
    d.table = "DPOL";
    d.key = keys::DPO_CTA_KEY;
    d.pageWidth = kPageWidth, d.pageHeight = kPageHeight;
    d.fontHeight = kFont;
    const int right = kPageWidth - kLeft;

    Band& h = d.pageHeader;
    addPageHeading(h, kLeft, right);
    BandItem range = field("RANGO", "", at(int(d.title.size()) + 11), 80);
    range.bold = true;
    h.items.push_back(range);
    struct Title {
      const char* text;
      int end;
      bool right;
    };
    constexpr Title titles[] = {
        {"FOLIO", 5, true},     {"FECHA", 6, false},       {"CONCEPTO", 26, true},
        {"PROC", 33, true},     {"FRENTE", 40, true},      {"D E S C R I P C I O N", 42, false},
        {"CONT", 78, true},     {"PRESUPUESTO", 93, true}, {"% ANTE", 101, true},
        {"% ACTU", 109, true},  {"$ ANTE", 124, true},     {"$ ACTU", 139, true},
        {"IMPORTE", 154, true}, {"EJERCIDO", 169, true},
    };
    for (const Title& t : titles) h.items.push_back(label(t.text, at(t.end), 160, t.right));
    h.lines = {{kLeft, 125, right, 125}, {kLeft, 200, right, 200}};
    h.height = 220;

    Band& l = d.detail;
    l.items.push_back(field("POL:CTA", "@n_5", at(5), 0, true));
    l.items.push_back(field("POL:FECH", "@D6", at(6), 0));
    l.items.push_back(field("DPO:PART", "@n_9.2", at(26), 0, true));
    l.items.push_back(field("PAR:PROC", "@n_6", at(33), 0, true));
    l.items.push_back(field("PAR:FREN", "@n_6", at(40), 0, true));
    l.items.push_back(field("PAR:TEXT", "@s30", at(42), 0));
    l.items.push_back(field("PAR:CONT", "@n_6", at(78), 0, true));
    l.items.push_back(field("PRESUPUESTO", kMoney, at(93), 0, true));
    l.items.push_back(field("DPO:PANT", "@n7.2", at(101), 0, true));
    l.items.push_back(field("DPO:PACT", "@n7.2", at(109), 0, true));
    l.items.push_back(field("DPO:TANT", kMoney, at(124), 0, true));
    l.items.push_back(field("DPO:TACT", kMoney, at(139), 0, true));
    l.items.push_back(field("IMPORTE", kMoney, at(154), 0, true));
    l.items.push_back(field("EJERCIDO", kMoney, at(169), 0, true));
    l.height = 35;

    // An item's budget and what it paid repeat on each of its lines: only
    // the lines' own amounts add up.
    Band& s = d.totals;
    s.lines = {{at(110), 5, at(154), 5}};
    s.items.push_back(label("SUMAS:", at(102), 20));
    for (auto [source, end] : {std::pair{"DPO:TANT", 124}, {"DPO:TACT", 139}, {"IMPORTE", 154}}) {
      BandItem total = field(source, kMoney, at(end), 20, true);
      total.total = true;
      s.items.push_back(total);
    }
    s.height = 70;

    d.exportColumns = {
        {"FOLIO", "POL:CTA"},        {"FECHA", "POL:FECH"},          {"CONCEPTO", "DPO:PART"},
        {"PROCESO", "PAR:PROC"},     {"FRENTE", "PAR:FREN"},         {"DESCROPCION", "PAR:TEXT"},
        {"CONTRATISTA", "PAR:CONT"}, {"PRESUPUESTO", "PRESUPUESTO"}, {"% ANTERIOR", "DPO:PANT"},
        {"% ACTUAL", "DPO:PACT"},    {"$ ANTERIOR", "DPO:TANT"},     {"$ ACTUAL", "DPO:TACT"},
        {"EJERCIDO", "EJERCIDO"}};
    return d;
  }

  ReportDescription d_;
  std::vector<db::Table*> tables_;
  db::Table *poli_ = nullptr, *part_ = nullptr;
  // What the report shows of an item; blank for one no longer on file.
  struct Item {
    std::string text;
    std::int64_t contractor = 0, budget = 0, executed = 0;
  };
  using Key = std::tuple<std::int64_t, std::int32_t, std::int32_t>;
  std::map<Key, Item> items_;
  const Item* item_ = nullptr;
  DPO line_{};
  POL header_{};
  std::int32_t folio_ = -1;
};

}  // namespace

std::unique_ptr<Report> makeImpAux() { return std::make_unique<ImpAux>(); }

}  // namespace velmora::reports
