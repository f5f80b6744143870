// REP_IMP and REP_PORC: the printout of an estimate, each estimate of the
// folio range on a page of its own. A progress estimate shows its lines in
// quantities (REP_IMP) or percentages (REP_PORC) and amounts, the sums, the
// final amounts down to "A PAGAR" and the contractor's accumulated figures;
// an advance or a fund return shows its amount and the amount in words.

#include <vector>

#include "dictionary/storage.h"
#include "estimates/reports/estimate_reports.h"
#include "estimates/reports/estimate_reports_b.h"
#include "framework/picture.h"
#include "reports/amount_words.h"

namespace velmora::reports {

namespace {

constexpr int kFont = 25;  // 171 columns across a landscape letter
constexpr int kLeft = 100;
constexpr int kPageWidth = 2794, kPageHeight = 2159;
constexpr const char* kQuantity = "@n12.2";
constexpr const char* kMoney = "@n14.2";
constexpr const char* kSigned = "@n-14.2";

int at(int chars) { return kLeft + chars * kFont * 6 / 10; }

// Where the four quantity and the four amount columns end.
constexpr int kVolumeEnd[] = {72, 85, 98, 111};
constexpr int kAmountEnd[] = {126, 141, 156, 171};
constexpr const char* kColumnTitles[] = {"PRESUPUESTO", "ANTERIOR", "ESTA ESTIM.", "ACUMULADO"};

struct Line {
  double conc = 0;
  std::int32_t process = 0, front = 0;
  std::string text, unit;
  std::int64_t volume[4] = {};  // budget, before, now, after (cents of a unit or of a percent)
  std::int64_t amount[4] = {};  // budget, before, now, after
};

class RepImp : public OptionsReport {
 public:
  explicit RepImp(bool percentages)
      : OptionsReport(ask::kFolios | ask::kLastFolio), percentages_(percentages) {
    d_ = describe();
  }

  const ReportDescription& description() const override { return d_; }

  Status open(db::Context& ctx) override {
    for (const char* label : {"POLI", "DPOL", "PART", "CONT"}) {
      db::Table& t = ctx.table(label);
      if (Status st = t.open(); !st) return st;
      tables_.push_back(&t);
    }
    poli_ = tables_[0], dpol_ = tables_[1], part_ = tables_[2], cont_ = tables_[3];
    // Without a folio the last estimate captured is printed.
    if (!choices().folioFrom && !choices().folioTo) {
      poli_->clear();
      if (Status st = poli_->setStart(poli_->info().key(keys::POL_CTA_KEY)); !st) return st;
      if (poli_->previous()) choices().folioFrom = choices().folioTo = poli_->rec<POL>().CTA;
    }
    return Status::success();
  }

  void close() override {
    for (db::Table* t : tables_) t->close();
    tables_.clear();
  }

  bool include(const Record& primary) override {
    est_ = primary.as<POL>();
    if (!inFolios(est_.CTA)) return false;
    ++printed_;
    name_ = readContractorName(*cont_, est_.CONT);
    contract_ = name_ == kDeletedContractor ? 0 : cents(cont_->rec<CTR>().ICON);
    readLines();
    return true;
  }

  const Band* band(const Record&, bool first) override {
    if (first) {
      next_ = 0;
      return &heading_;
    }
    if (isAdvanceOrReturn(est_)) return next_++ == 0 ? &advance_ : nullptr;
    if (next_ < lines_.size()) {
      line_ = &lines_[next_++];
      return &line_band_;
    }
    if (next_++ == lines_.size()) return &sums_;
    return nullptr;
  }

  std::optional<Value> value(std::string_view n) const override {
    if (n == "ENCABEZADO") return Value(printed_ ? heading() : std::string());
    if (n == "CONTRATISTA")
      return Value(printed_ ? "CONTRATISTA: " + std::to_string(est_.CONT) + "  " + name_
                            : std::string());
    if (n == "NINGUNA")
      return Value(std::string(printed_ ? "" : "NO HAY ESTIMACIONES EN LOS FOLIOS INDICADOS"));
    if (n == "POLIZA") return Value(advanceText());
    if (n == "LETRA") {
      std::string words;
      (void)amountInWords(Decimal::fromCents(cents(est_.CANT)).toDouble(), words);
      return Value(words);
    }
    if (n == "LETRA_PAGAR") {
      std::string words;
      if (net() >= 0) (void)amountInWords(Decimal::fromCents(net()).toDouble(), words);
      return Value(words);
    }
    if (line_) {
      const Line& l = *line_;
      if (n == "CONC") return Value(l.conc);
      if (n == "PROC") return Value(std::int64_t(l.process));
      if (n == "FREN") return Value(std::int64_t(l.front));
      if (n == "TEXT") return Value(l.text);
      if (n == "UNID") return Value(l.unit);
      for (int i = 0; i < 4; ++i) {
        if (n == "V" + std::to_string(i)) return Value(Decimal::fromCents(l.volume[i]));
        if (n == "I" + std::to_string(i)) return Value(Decimal::fromCents(l.amount[i]));
      }
    }
    for (int i = 0; i < 4; ++i)
      if (n == "S" + std::to_string(i)) return Value(Decimal::fromCents(sum_[i]));
    if (auto v = finalValue(n)) return Value(Decimal::fromCents(*v));
    return std::nullopt;
  }

  // The amount to pay, as every report counts it.
  std::int64_t net() const { return netPaid(est_).cents(); }

 private:
  std::optional<std::int64_t> finalValue(std::string_view n) const {
    if (n == "F_CANT") return cents(est_.CANT);
    if (n == "F_NOMI") return cents(est_.NOMI);
    if (n == "F_SUBT") return cents(est_.CANT) - cents(est_.NOMI);
    if (n == "F_IVA") return cents(est_.IVA);
    if (n == "F_PANT") return cents(est_.PANT);
    if (n == "F_PFON") return cents(est_.PFON);
    if (n == "F_PPRE") return cents(est_.PPRE);
    if (n == "F_PRES") return cents(est_.PRES);
    if (n == "F_PAGAR") return net();
    if (n == "ACUM_ANT") return cents(est_.TACU);
    if (n == "ACUM_ACT") return cents(est_.TACU) + cents(est_.CANT);
    if (n == "CONTRATO") return contract_;
    return std::nullopt;
  }

  std::string heading() const {
    std::string kind = "ESTIMACION No: " + std::to_string(est_.ESTI);
    if (est_.UFEC == 1 || est_.ESTI == -1) kind = "ANTICIPO";
    if (est_.UFEC == 3 || est_.ESTI == -3) kind = "DEVOLUCION DE FONDO DE GARANTIA";
    std::string h = "FOLIO: " + std::to_string(est_.CTA) + "   " + kind +
                    "   FECHA: " + formatPicture("@D6", double(est_.FECH));
    if (est_.NOPO > 0) h += "   No DE POLIZA: " + std::to_string(est_.NOPO);
    return h;
  }

  std::string advanceText() const {
    const std::int64_t amount = cents(est_.CANT);
    if (est_.UFEC == 3 || est_.ESTI == -3)
      return "POLIZA DE DEVOLUCION DEL FONDO DE AHORROS POR: " +
             showValue("@n-13.2", Value(Decimal::fromCents(amount)));
    return "POLIZA DE ANTICIPO POR: " + showValue("@n-14.2", Value(Decimal::fromCents(amount)));
  }

  // The estimate's lines with their items, and their sums.
  void readLines() {
    lines_.clear();
    line_ = nullptr;
    for (auto& s : sum_) s = 0;
    dpol_->clear();
    dpol_->rec<DPO>().CTA = est_.CTA;
    if (!dpol_->set(dpol_->info().key(keys::DPO_CTA_KEY), 1)) return;
    while (dpol_->next() && dpol_->rec<DPO>().CTA == est_.CTA) {
      const DPO d = dpol_->rec<DPO>();
      Line l;
      l.conc = d.PART, l.process = d.PROC, l.front = d.FREN;
      part_->clear();
      PAR& p = part_->rec<PAR>();
      p.CONC = d.PART, p.PROC = d.PROC, p.FREN = d.FREN;
      const bool found = bool(part_->get(keys::PAR_CTA_KEY));
      if (found) l.text = p.TEXT, l.unit = p.UNID;
      const std::int64_t before = cents(d.PANT), after = cents(d.PACT);
      if (percentages_) {
        l.volume[1] = before, l.volume[2] = after - before, l.volume[3] = after;
      } else {
        const std::int64_t quantity = found ? cents(p.CANT) : 0;
        l.volume[0] = quantity;
        l.volume[1] = mulDiv(quantity, before, 10000);
        l.volume[3] = mulDiv(quantity, after, 10000);
        l.volume[2] = l.volume[3] - l.volume[1];
      }
      l.amount[0] = found ? cents(p.PRES) + cents(p.VPRE) : 0;
      l.amount[1] = cents(d.TANT), l.amount[3] = cents(d.TACT);
      l.amount[2] = l.amount[3] - l.amount[1];
      for (int i = 0; i < 4; ++i) sum_[i] += l.amount[i];
      lines_.push_back(std::move(l));
    }
  }

  ReportDescription describe() {
    ReportDescription d;
    d.procedure = percentages_ ? "REP_PORC" : "REP_IMP";
    d.title = "ESTIMACION DE PAGO POR MANO DE OBRA AL";
    d.table = "POLI";
    d.key = keys::POL_CTA_KEY;
    d.pageWidth = kPageWidth, d.pageHeight = kPageHeight;
    d.fontHeight = kFont;
    const int right = kPageWidth - kLeft;

    Band& h = d.pageHeader;
    addPageHeading(h, kLeft, right);
    h.items.push_back(
        label(percentages_ ? "P O R C E N T A J E S" : "V   O   L   U   M   E   N   E   S",
              at(percentages_ ? 75 : 69), 215));
    h.items.push_back(label("I   M   P   O   R   T   E   S", at(127), 215));
    h.items.push_back(label("CONCEPTO", at(9), 255, true));
    h.items.push_back(label("PROC", at(16), 255, true));
    h.items.push_back(label("FRENTE", at(23), 255, true));
    h.items.push_back(label("D E S C R I P C I O N", at(25), 255));
    h.items.push_back(label("UNID", at(56), 255));
    for (int i = percentages_ ? 1 : 0; i < 4; ++i)
      h.items.push_back(label(kColumnTitles[i], at(kVolumeEnd[i]), 255, true));
    for (int i = 0; i < 4; ++i)
      h.items.push_back(label(kColumnTitles[i], at(kAmountEnd[i]), 255, true));
    h.lines = {{kLeft, 200, right, 200},
               {at(61), 243, at(kVolumeEnd[3]), 243},
               {at(kVolumeEnd[3] + 2), 243, at(kAmountEnd[3]), 243},
               {kLeft, 290, right, 290}};
    h.height = 310;

    // Every page says which estimate it belongs to; each estimate starts one.
    h.items.push_back(field("ENCABEZADO", "", kLeft, 125));
    h.items.push_back(field("CONTRATISTA", "", kLeft, 160));
    heading_.newPage = true;

    Band& l = line_band_;
    l.items.push_back(field("CONC", "@n_9.2", at(9), 0, true));
    l.items.push_back(field("PROC", "@n_6", at(16), 0, true));
    l.items.push_back(field("FREN", "@n_6", at(23), 0, true));
    l.items.push_back(field("TEXT", "@s30", at(25), 0));
    l.items.push_back(field("UNID", "@s4", at(56), 0));
    for (int i = percentages_ ? 1 : 0; i < 4; ++i)
      l.items.push_back(field("V" + std::to_string(i), percentages_ ? "@n7.2" : kQuantity,
                              at(kVolumeEnd[i]), 0, true));
    for (int i = 0; i < 4; ++i)
      l.items.push_back(field("I" + std::to_string(i), kMoney, at(kAmountEnd[i]), 0, true));
    l.height = 35;

    Band& s = sums_;
    s.lines = {{at(kVolumeEnd[3] + 2), 5, right, 5}};
    s.items.push_back(label("SUMAS:", at(kVolumeEnd[3] - 10), 20));
    for (int i = 0; i < 4; ++i)
      s.items.push_back(field("S" + std::to_string(i), kMoney, at(kAmountEnd[i]), 20, true));
    // The final amounts as the estimate was closed, and where the
    // contractor stands against his contract.
    const std::pair<const char*, const char*> finals[] = {{"IMPORTE DE LA ESTIMACION:", "F_CANT"},
                                                          {"IMPORTE PAGADO EN NOMINA:", "F_NOMI"},
                                                          {"SUB TOTAL:", "F_SUBT"},
                                                          {"I.V.A.:", "F_IVA"},
                                                          {"AMORTIZACION DE ANTICIPO:", "F_PANT"},
                                                          {"FONDO DE GARANTIA:", "F_PFON"},
                                                          {"PRESTAMO ANTERIOR:", "F_PPRE"},
                                                          {"PRESTAMO:", "F_PRES"},
                                                          {"A PAGAR:", "F_PAGAR"}};
    int y = 90;
    for (const auto& [text, source] : finals) {
      s.items.push_back(label(text, at(25), y));
      s.items.push_back(field(source, kSigned, at(65), y, true));
      y += 38;
    }
    s.items.back().bold = true;
    s.items.push_back(field("LETRA_PAGAR", "", at(25), y + 10));
    const std::pair<const char*, const char*> accumulated[] = {
        {"ESTIMADO ACUMULADO ANTERIOR:", "ACUM_ANT"},
        {"ESTIMADO ACUMULADO ACTUAL:", "ACUM_ACT"},
        {"IMPORTE DEL CONTRATO:", "CONTRATO"}};
    y = 90;
    for (const auto& [text, source] : accumulated) {
      s.items.push_back(label(text, at(kAmountEnd[3] - 45), y));
      s.items.push_back(field(source, kSigned, at(kAmountEnd[3]), y, true));
      y += 38;
    }
    s.height = 90 + 38 * 9 + 70;

    advance_.items.push_back(field("POLIZA", "", at(25), 40));
    advance_.items.push_back(field("LETRA", "", at(25), 90));
    advance_.height = 150;

    d.totals.items.push_back(field("NINGUNA", "", at(25), 40));
    d.totals.height = 0;  // a page of its own would be blank
    return d;
  }

  bool percentages_;
  ReportDescription d_;
  Band heading_, line_band_, sums_, advance_;
  std::vector<db::Table*> tables_;
  db::Table *poli_ = nullptr, *dpol_ = nullptr, *part_ = nullptr, *cont_ = nullptr;
  POL est_{};
  std::string name_;
  std::int64_t contract_ = 0;
  std::vector<Line> lines_;
  const Line* line_ = nullptr;
  std::size_t next_ = 0;
  std::int64_t sum_[4] = {};
  long printed_ = 0;
};

}  // namespace

std::unique_ptr<Report> makeRepImp() { return std::make_unique<RepImp>(false); }
std::unique_ptr<Report> makeRepPorc() { return std::make_unique<RepImp>(true); }

}  // namespace velmora::reports
