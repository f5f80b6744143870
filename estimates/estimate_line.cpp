#include "estimates/estimate_messages.h"
#include "estimates/estimate_windows.h"
#include "estimates/item_numbers.h"
#include "framework/browse.h"
#include "framework/describe.h"
#include "framework/picture.h"

namespace velmora::estimates {

namespace msg = estimate_message;

namespace {

void warnLines(Procedure& p, const msg::Lines& l) { p.warn(l[0], l[1], l[2]); }

// BUSCA_PEST: the budget items of the estimate's contractor (the one in the
// CONT buffer); the chosen one is left in the PART buffer.
class BuscaPest : public BrowseProcedure {
 public:
  static constexpr int kBudget = 8;
  BuscaPest(Program& program, db::Context& ctx)
      : BrowseProcedure(program, ctx, window(), "PART", {}, tabs(ctx)) {
    uses("CONT");
  }

  // PRESUPUESTO is the labour budget with its variation.
  std::string cell(int row, int column) const override {
    if (column == kBudget && row >= 0 && row < int(view_->rows().size())) {
      const PAR& r = view_->rows()[std::size_t(row)].record.as<PAR>();
      return formatPicture("@n14.2",
                           Decimal::fromCents(figure(r.PRES).cents() + figure(r.VPRE).cents()));
    }
    return BrowseProcedure::cell(row, column);
  }

 private:
  static std::vector<BrowseTab> tabs(db::Context& ctx) {
    db::Table* cont = &ctx.table("CONT");
    auto his = [cont](const Record& r) { return r.as<PAR>().CONT == cont->rec<CTR>().CTA; };
    BrowseTab byNumber = sortTab(keys::PAR_CTA_KEY);
    BrowseTab byName = sortTab(keys::PAR_DES_KEY, "PAR:TEXT");
    byNumber.filter = byName.filter = his;
    return {byNumber, byName};
  }
  static WindowDescription window() {
    return Describe("BUSCA_PEST", "Catálogo de Conceptos de Obra")
        .list({{"CONCEPTO", "PAR:CONC", "@n_9.2", 9, 'R', true},
               {"PROC", "PAR:PROC", "@n_6", 6, 'R', true},
               {"FRENTE", "PAR:FREN", "@n_6", 6, 'R', true},
               {"CONT", "PAR:CONT", "@n_6", 6, 'R', true},
               {"D E S C R I P C I O N", "PAR:TEXT", "@s30", 30, 'L', true},
               {"UNID", "PAR:UNID", "@s4", 4, 'L', true},
               {"AVAN", "PAR:AVAN", "@n6.2", 6, 'R', true},
               {"CANTIDAD", "PAR:CANT", "@n12.2", 12, 'R', true},
               {"PRESUPUESTO", "PAR:PRES", "@n14.2", 14, 'R', true}})
        .tabs({"x Folio", "Alfabético"})
        .browseButtons()
        .done();
  }
};

// UP_AVAN: one line of the estimate. SUM1 is the item's progress before
// (percentage), SUM2 the quantity executed before, SUM3 the amount of the
// line and CARGO the price per unit; the item's budget is shown scaled by
// the share its contractor estimates.
class UpAvan : public Procedure {
 public:
  UpAvan(Program& program, db::Context& ctx, EstimateDraft* draft)
      : Procedure(program, ctx, window()), draft_(draft ? draft : &own_) {
    for (const char* label : {"PART", "CONT"}) uses(label);
    clearLine();
  }

 protected:
  bool init() override {
    if (!Procedure::init()) return false;
    db::Table& cont = table("CONT");
    cont.clear();
    cont.rec<CTR>().CTA = draft_->contractor;
    (void)cont.get("CTR:CTA_KEY");
    select("?CALLLOOKUP");
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?CALLLOOKUP") || dict::sameName(control, "?ESM:CO")) {
      choose(dict::sameName(control, "?CALLLOOKUP"));
    } else if (dict::sameName(control, "?ESM:AC")) {
      given(quantityGiven(item_, figures(FigureInput::Quantity)), "?ESM:AC");
    } else if (dict::sameName(control, "?ESM:FI")) {
      const LineOutcome o = percentGiven(item_, figures(FigureInput::Percent));
      if (o.cutTo100) warnLines(*this, msg::kOnly100);
      show(f_);
      if (o.refused) refuse("?ESM:AC");
    } else if (dict::sameName(control, "?SUM3")) {
      given(amountGiven(item_, figures(FigureInput::Amount)), "?SUM3");
    } else if (dict::sameName(control, "?OK")) {
      ok();
    } else if (dict::sameName(control, "?CANCEL")) {
      close(response::Cancelled);
    }
    refreshAll();
  }

 private:
  enum class FigureInput { Quantity, Percent, Amount };
  Decimal get(const char* use) const { return figure(number(value(use))); }
  void put(const char* use, Decimal d) { (void)setValue(use, d.toDouble()); }

  // The figure typed, with the other two as they stand. A field left as it
  // was shown keeps its exact figure: the window shows it rounded.
  LineFigures& figures(FigureInput input) {
    switch (input) {
      case FigureInput::Quantity: {
        const double typed = number(value("ESM:AC"));
        if (typed != f_.quantity.toDouble()) f_.quantity = Ratio::fromDouble(typed);
        break;
      }
      case FigureInput::Percent: {
        const double typed = number(value("ESM:FI"));
        if (typed != f_.percent.toDouble()) f_.percent = Ratio::fromDouble(typed);
        break;
      }
      case FigureInput::Amount: f_.amount = get("SUM3"); break;
    }
    return f_;
  }
  void show(const LineFigures& f) {
    (void)setValue("ESM:AC", f.quantity.toDouble());
    (void)setValue("ESM:FI", f.percent.toDouble());
    put("SUM3", f.amount);
  }
  void given(LineOutcome o, const char* focus) {
    show(f_);
    if (o.refused) refuse(focus);
  }
  void refuse(const char* focus) {
    warnLines(*this, msg::kOverBudget);
    f_ = {};
    show(f_);
    select(focus);
  }

  void clearLine() {
    for (const char* v : {"ESM:CO", "ESM:AN", "ESM:AC", "ESM:FI"}) setLocal(v, 0.0);
    for (const char* v : {"ESM:FR", "ESM:PR"}) setLocal(v, std::int64_t(0));
    for (const char* v : {"ESM:DE", "ESM:UN"}) setLocal(v, std::string());
    for (const char* v : {"SUM1", "SUM2", "SUM3", "CARGO"}) (void)setValue(v, 0.0);
    item_ = {};
    f_ = {};
    chosen_ = false;
  }

  void choose(bool fromButton) {
    if (fromButton) clearLine();
    db::Table& part = table("PART");
    part.clear();
    if (call("BUSCA_PEST", request::Select) != response::Completed) {
      select("?CALLLOOKUP");
      return;
    }
    PAR& r = part.rec<PAR>();
    if (draft_->lines)
      for (const ListRow& row : draft_->lines->rows())
        if (hundredths(number(row[kCo])) == hundredths(r.CONC) &&
            std::int64_t(number(row[kFr])) == r.FREN && std::int64_t(number(row[kPr])) == r.PROC) {
          warnLines(*this, msg::kDuplicateLine);
          select("?CALLLOOKUP");
          return;
        }
    // An item of the estimate being changed is figured as it stood before
    // the estimate.
    for (const ItemBefore& b : draft_->itemsBefore)
      if (hundredths(b.conc) == hundredths(r.CONC) && b.process == r.PROC && b.front == r.FREN) {
        r.TPAG = b.paid;
        r.AVAN = b.progress;
      }
    doneBefore_ = r.AVAN;
    item_ = itemBudget(r);
    f_ = {};
    chosen_ = true;
    // The form's copy only: the item is never written from here.
    r.PRES = item_.budget.toDouble();
    r.VPRE = item_.variation.toDouble();
    setLocal("ESM:CO", r.CONC);
    setLocal("ESM:FR", std::int64_t(r.FREN));
    setLocal("ESM:PR", std::int64_t(r.PROC));
    setLocal("ESM:DE", r.TEXT);
    setLocal("ESM:UN", r.UNID);
    put("ESM:AN", item_.paid);
    show(f_);
    (void)setValue("SUM1", item_.done.toDouble());
    (void)setValue("SUM2", item_.executed.toDouble());
    (void)setValue("CARGO", item_.unitPrice.toDouble());
    select("?ESM:AC");
  }

  void ok() {
    // A field typed and not yet accepted counts as typed.
    const bool over = number(value("SUM3")) != f_.amount.toDouble() &&
                      amountGiven(item_, figures(FigureInput::Amount)).refused;
    const LineFigures f = f_;
    const double conc = number(value("ESM:CO"));
    const auto process = std::int32_t(number(value("ESM:PR")));
    const auto front = std::int32_t(number(value("ESM:FR")));
    switch (over ? LineCheck::OverBudget
                 : checkLine(item_, f, chosen_ ? conc : 0, process, front)) {
      case LineCheck::OverBudget:
        warnLines(*this, msg::kOverBudgetAtOk);
        f_ = {};
        show(f_);
        select("?ESM:AC");
        return;
      case LineCheck::Incomplete: warnLines(*this, msg::kIncompleteLine); break;
      case LineCheck::Add:
        if (draft_->lines) {
          const Ratio executed = item_.executed + f.quantity;
          draft_->lines->add({conc, std::int64_t(process), std::int64_t(front), value("ESM:DE"),
                              value("ESM:UN"), item_.paid, f.quantity.toDouble(), f.amount,
                              executed.toDouble(), f.percent.toDouble()});
          draft_->exact[lineKey(conc, process, front)] = {item_.paid, doneBefore_, f.quantity,
                                                          executed, f.percent};
        }
        break;
    }
    close(response::Completed);
  }

  static WindowDescription window() {
    return Describe("UP_AVAN", "Actualizando Avances de Obra")
        .field("Concepto", "ESM:CO", "@n_9.2")
        .lookupButton()
        .text("Frente", "ESM:FR", "@n_6")
        .text("Proceso", "ESM:PR", "@n_6")
        .text("", "ESM:DE", "@s30")
        .text("Porcentaje", "SUM1", "@n6.2")
        .text("Volumen", "PAR:CANT", "@n12.2")
        .besideText("ESM:UN", "@s4")
        .text("Presupuesto", "PAR:PRES", "@n14.2")
        .text("Unitario", "CARGO", "@n14.2")
        .text("Ejercido", "SUM2", "@n12.2")
        .besideText("ESM:UN", "@s4")
        .text("Pagado", "ESM:AN", "@n14.2")
        .field("Esta Estimación", "ESM:AC", "@n12.2")
        .besideText("ESM:UN", "@s4")
        .field("Porcentaje Total", "ESM:FI", "@n6.2")
        .field("A Pagar", "SUM3", "@n14.2")
        .button("?OK", "&Aceptar", true)
        .button("?CANCEL", "Cancela")
        .done();
  }

  EstimateDraft own_;
  EstimateDraft* draft_;
  ItemBudget item_;
  LineFigures f_;
  double doneBefore_ = 0;
  bool chosen_ = false;
};

}  // namespace

LineKey lineKey(double conc, std::int64_t process, std::int64_t front) {
  return {hundredths(conc), process, front};
}

std::unique_ptr<Procedure> makeUpAvan(Program& program, db::Context& ctx, EstimateDraft* draft) {
  return std::make_unique<UpAvan>(program, ctx, draft);
}

void addEstimateLineProcedures(Program& program) {
  if (!program.hasVar("CARGO")) program.declare("CARGO", Value(0.0));
  program.addProcedure("UP_AVAN",
                       [](Program& p, db::Context& c) { return makeUpAvan(p, c, nullptr); });
  program.addProcedure("BUSCA_PEST", [](Program& p, db::Context& c) -> std::unique_ptr<Procedure> {
    return std::make_unique<BuscaPest>(p, c);
  });
}

}  // namespace velmora::estimates
