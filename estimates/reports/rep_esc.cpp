// REP_ESC: the estimates of the work by contractor, each with its amount,
// what payroll already paid, IVA, fund, advance, loans and the net paid,
// each contractor's sums after his estimates and the sums of all; exports
// one line per estimate.

#include <array>
#include <map>

#include "dictionary/cp1252.h"
#include "dictionary/storage.h"
#include "estimates/reports/estimate_reports.h"
#include "estimates/reports/estimate_reports_b.h"
#include "framework/picture.h"

namespace velmora::reports {

namespace {

constexpr int kFont = 22;  // nine money columns across a landscape letter
constexpr int kLeft = 100;
constexpr int kPageWidth = 2794, kPageHeight = 2159;
constexpr const char* kMoney = "@n-13.2";

int at(int chars) { return kLeft + chars * kFont * 6 / 10; }

// Each money column's title in two lines, so that neighbours never touch.
struct Money {
  const char* title[2];
  const char* source;
};
constexpr Money kMoneyColumns[] = {
    {{"IMPORTE", "TOTAL"}, "POL:CANT"}, {{"PAGADO", "NOMINA"}, "POL:NOMI"},
    {{"SUB", "TOTAL"}, "SUBTOTAL"},     {{"IVA", "RECIBO"}, "POL:IVA"},
    {{"FONDO", "GTIA"}, "POL:PFON"},    {{"", "A/ANTICIPO"}, "POL:PANT"},
    {{"", "PRESTAMOS"}, "POL:PRES"},    {{"PAGO", "PRESTAMO"}, "POL:PPRE"},
    {{"NETO", "PAGADO"}, "NETO"},
};
int moneyEnd(std::size_t i) { return 62 + 14 * int(i + 1); }

class RepEsc : public OptionsReport {
 public:
  RepEsc() : OptionsReport(ask::kFolios | ask::kDateRange | ask::kContractor) { d_ = describe(); }

  const ReportDescription& description() const override { return d_; }

  Status open(db::Context& ctx) override {
    cont_ = &ctx.table("CONT");
    if (Status st = cont_->open(); !st) return cont_ = nullptr, st;
    names_.clear();
    group_ = -1, pending_ = false;
    groupSums_.fill(0);
    return Status::success();
  }
  void close() override {
    if (cont_) cont_->close();
    cont_ = nullptr;
  }

  bool include(const Record& primary) override {
    const POL& p = primary.as<POL>();
    if (!inFolios(p.CTA) || !inDates(p.FECH)) return false;
    if (choices().contractor && p.CONT != choices().contractor) return false;
    auto known = names_.find(p.CONT);
    if (known == names_.end())
      known = names_.emplace(p.CONT, readContractorName(*cont_, p.CONT)).first;
    name_ = known->second;
    subtotal_ = cents(p.CANT) - cents(p.NOMI);
    net_ = netPaid(p).cents();
    // A new contractor closes the one before him with his sums, when the
    // report lists more than one.
    if (!choices().contractor) {
      if (group_ != -1 && p.CONT != group_) {
        shown_ = groupSums_, shownContractor_ = group_, pending_ = true;
        groupSums_.fill(0);
      }
      group_ = p.CONT;
      const std::int64_t amounts[] = {cents(p.CANT), cents(p.NOMI), subtotal_,
                                      cents(p.IVA),  cents(p.PFON), cents(p.PANT),
                                      cents(p.PRES), cents(p.PPRE), net_};
      for (std::size_t i = 0; i < groupSums_.size(); ++i) groupSums_[i] += amounts[i];
    }
    return true;
  }

  const Band* band(const Record&, bool first) override {
    if (first) {
      step_ = 0;
      if (pending_) {
        pending_ = false;
        return &groupBand_;
      }
    }
    return step_++ == 0 ? &d_.detail : nullptr;
  }

  const Band* beforeTotals(bool first) override {
    if (!first || group_ == -1) return nullptr;
    shown_ = groupSums_, shownContractor_ = group_;
    return &groupBand_;
  }

  std::optional<Value> value(std::string_view n) const override {
    // At the name's full width, as the export writes text fields.
    if (n == "CTR:NOMB") {
      const std::size_t chars = cp1252::utf8Length(name_);
      return Value(name_ + std::string(chars < 30 ? 30 - chars : 0, ' '));
    }
    if (n == "SUBTOTAL") return Value(Decimal::fromCents(subtotal_));
    if (n == "NETO") return Value(Decimal::fromCents(net_));
    if (n == "RANGO") return Value(dateHeading());
    if (n == "GRUPO") return Value(std::int64_t(shownContractor_));
    if (n.starts_with("GRUPO_"))
      return Value(Decimal::fromCents(shown_[std::size_t(n.back() - '0')]));
    return std::nullopt;
  }

 private:
  ReportDescription describe() {
    ReportDescription d;
    d.procedure = "REP_ESC";
    d.title = "REPORTE DE ESTIMACIONES AL";
    d.table = "POLI";
    d.key = keys::POL_CON_KEY;
    d.pageWidth = kPageWidth, d.pageHeight = kPageHeight;
    d.fontHeight = kFont;
    const int right = kPageWidth - kLeft;

    Band& h = d.pageHeader;
    addPageHeading(h, kLeft, right);
    // The period goes on after the title and its date, far enough on that
    // the page's text (200 columns across) keeps them apart too.
    BandItem range = field("RANGO", "", kLeft + (int(d.title.size()) + 12) * kPageWidth / 200, 80);
    range.bold = true;
    h.items.push_back(range);
    h.items.push_back(label("C O N T R A T I S T A", at(17), 140));
    h.items.push_back(label("FOLIO", at(5), 175, true));
    h.items.push_back(label("No", at(12), 175, true));
    h.items.push_back(label("N O M B R E", at(14), 175));
    h.items.push_back(label("ESTIM", at(50), 175, true));
    h.items.push_back(label("FECHA", at(52), 175));
    for (std::size_t i = 0; i < std::size(kMoneyColumns); ++i)
      for (int row = 0; row < 2; ++row)
        h.items.push_back(
            label(kMoneyColumns[i].title[row], at(moneyEnd(i)), 140 + 35 * row, true));
    h.lines = {{kLeft, 125, right, 125}, {at(6), 168, at(44), 168}, {kLeft, 210, right, 210}};
    h.height = 230;

    Band& l = d.detail;
    l.items.push_back(field("POL:CTA", "@n_5", at(5), 0, true));
    l.items.push_back(field("POL:CONT", "@n_6", at(12), 0, true));
    l.items.push_back(field("CTR:NOMB", "@s30", at(14), 0));
    l.items.push_back(field("POL:ESTI", "@n-5", at(50), 0, true));
    l.items.push_back(field("POL:FECH", "@D6", at(52), 0));
    for (std::size_t i = 0; i < std::size(kMoneyColumns); ++i)
      l.items.push_back(field(kMoneyColumns[i].source, kMoney, at(moneyEnd(i)), 0, true));
    l.height = 35;

    Band& s = d.totals;
    s.lines = {{at(moneyEnd(0) - 13), 5, right, 5}};
    s.items.push_back(label("SUMAS:", at(53), 20));
    for (std::size_t i = 0; i < std::size(kMoneyColumns); ++i) {
      BandItem total = field(kMoneyColumns[i].source, kMoney, at(moneyEnd(i)), 20, true);
      total.total = true;
      s.items.push_back(total);
    }
    s.height = 70;

    // A contractor's sums, under his estimates.
    Band& g = groupBand_;
    g.lines = {{at(moneyEnd(0) - 13), 3, right, 3}};
    g.items.push_back(label("SUMAS DEL CONTRATISTA", at(14), 12));
    g.items.push_back(field("GRUPO", "@n_6", at(12), 12, true));
    for (std::size_t i = 0; i < std::size(kMoneyColumns); ++i)
      g.items.push_back(field("GRUPO_" + std::to_string(i), kMoney, at(moneyEnd(i)), 12, true));
    g.height = 65;

    d.exportColumns = {
        {"FOLIO", "POL:CTA"},       {"CONTRATISTA", "CTR:NOMB"},   {"ESTIMACION", "POL:ESTI"},
        {"FECHA", "POL:FECH"},      {"IMPORTE TOTAL", "POL:CANT"}, {"PAGADO NOMINA", "POL:NOMI"},
        {"SUB TOTAL", "SUBTOTAL"},  {"IVA RECIBO", "POL:IVA"},     {"FONDO GTIA", "POL:PFON"},
        {"A/ANTICIPO", "POL:PANT"}, {"PRESTAMOS", "POL:PRES"},     {"PAGO PRESTAMO", "POL:PPRE"},
        {"NETO PAGADO", "NETO"}};
    return d;
  }

  ReportDescription d_;
  db::Table* cont_ = nullptr;
  std::map<int, std::string> names_;
  std::string name_;
  std::int64_t subtotal_ = 0, net_ = 0;
  // The contractor whose estimates are being listed and their sums; the
  // sums of the one just closed, printed before the next one's first line.
  Band groupBand_;
  int group_ = -1, shownContractor_ = 0, step_ = 0;
  bool pending_ = false;
  std::array<std::int64_t, std::size(kMoneyColumns)> groupSums_{}, shown_{};
};

}  // namespace

std::unique_ptr<Report> makeRepEsc() { return std::make_unique<RepEsc>(); }

}  // namespace velmora::reports
