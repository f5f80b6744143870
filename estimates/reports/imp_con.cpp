#include "estimates/reports/imp_con.h"

#include <array>
#include <map>

#include "dictionary/storage.h"
#include "estimates/reports/estimate_reports.h"

namespace velmora::reports {

namespace {

constexpr int kFont = 25;   // 2.5 mm: eight money columns fit a landscape letter
constexpr int kLeft = 100;  // 1 cm
constexpr int kPageWidth = 2794, kPageHeight = 2159;
constexpr const char* kMoney = "@n-15.2";

// Where column `chars` (from 0) of the fixed-pitch font starts.
int at(int chars) { return kLeft + chars * kFont * 6 / 10; }

struct Column {
  const char* title;
  std::string_view source;
};

// Eight money columns after the number and the name, each 15 wide and one
// blank apart; a column's title and figures end at the same place.
constexpr std::array<Column, 8> kMoneyColumns = {{
    {"CONTRATO", "CTR:ICON"},
    {"ESTIMADO", "CTR:TPAG"},
    {"$ RECIBIDO", kReceived},
    {"F.GARANTIA", "CTR:GAAC"},
    {"PRESTAMOS", "CTR:PRES"},
    {"I.V.A.", "CTR:TIVA"},
    {"NOMINAS", "CTR:NOAC"},
    {"ANTICIPOS", kAdvances},
}};
constexpr int kNameAt = 8;
int moneyEnd(std::size_t i) { return at(kNameAt + 30 + 16 * int(i + 1)); }

ReportDescription describe() {
  ReportDescription d;
  d.procedure = "IMP_CON";
  d.title = "ESTADO DE CUENTAS DE CONTRATISTAS AL";
  d.table = "CONT";
  d.key = "CTR:CTA_KEY";
  d.pageWidth = kPageWidth, d.pageHeight = kPageHeight;
  d.fontHeight = kFont;
  const int right = kPageWidth - kLeft;

  Band& h = d.pageHeader;
  addPageHeading(h, kLeft, right);
  h.items.push_back(label("CONC", at(6), 150, true));
  h.items.push_back(label("N O M B R E", at(kNameAt), 150));
  for (std::size_t i = 0; i < kMoneyColumns.size(); ++i)
    h.items.push_back(label(kMoneyColumns[i].title, moneyEnd(i), 150, true));
  h.lines = {{kLeft, 135, right, 135}, {kLeft, 190, right, 190}};
  h.height = 210;

  Band& line = d.detail;
  line.items.push_back(field("CTR:CTA", "@n_6", at(0), 0));
  line.items.push_back(field("CTR:NOMB", "@s30", at(kNameAt), 0));
  for (std::size_t i = 0; i < kMoneyColumns.size(); ++i)
    line.items.push_back(field(std::string(kMoneyColumns[i].source), kMoney, moneyEnd(i), 0, true));
  line.height = 40;

  Band& sums = d.totals;
  sums.lines = {{at(kNameAt + 31), 5, right, 5}};
  sums.items.push_back(label("SUMAS:", at(kNameAt), 20));
  for (std::size_t i = 0; i < kMoneyColumns.size(); ++i) {
    BandItem total = field(std::string(kMoneyColumns[i].source), kMoney, moneyEnd(i), 20, true);
    total.total = true;
    sums.items.push_back(total);
  }
  sums.height = 70;
  return d;
}

class ImpCon : public Report {
 public:
  const ReportDescription& description() const override { return d_; }

  // What each contractor received, from his estimates: read once, since
  // every line asks for it.
  Status open(db::Context& ctx) override {
    received_.clear();
    db::Table& poli = ctx.table(POL::info());
    // A work without estimates yet has no estimates' file.
    if (Status st = poli.openReadOnly(); !st)
      return st.code == err::FileNotFound ? Status::success() : st.on(labels::POLI);
    Status st = poli.setStart(POL::info().key(keys::POL_CTA_KEY));
    while (st && (st = poli.next())) {
      const POL& e = poli.rec<POL>();
      received_[e.CONT] += netPaid(e).cents();
    }
    poli.close();
    return st.code == err::NoRecord ? Status::success() : st.on(labels::POLI);
  }

  bool include(const Record& primary) override {
    const CTR& c = primary.as<CTR>();
    const auto it = received_.find(c.CTA);
    receivedBy_ = Decimal::fromCents(it == received_.end() ? 0 : it->second);
    advances_ = Decimal::fromCents(toCents(c.ANTI).cents() - toCents(c.AAMO).cents());
    return true;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == kReceived) return Value(receivedBy_);
    if (name == kAdvances) return Value(advances_);
    return std::nullopt;
  }

 private:
  ReportDescription d_ = describe();
  std::map<std::int32_t, std::int64_t> received_;  // cents, by contractor
  Decimal receivedBy_, advances_;
};

}  // namespace

std::unique_ptr<Report> makeImpCon() { return std::make_unique<ImpCon>(); }

}  // namespace velmora::reports
