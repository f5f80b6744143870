#include "estimates/budget.h"

#include "estimates/budget_rules.h"
#include "estimates/registry.h"
#include "framework/describe.h"
#include "framework/file_errors.h"
#include "framework/picture.h"

namespace velmora::estimates {

namespace {

enum Column { kCta, kText, kUnit, kQuantity, kUnitCost, kAmount };

// Heading rows in navy on light blue, subtotals in maroon on light yellow;
// the concepts keep the green bar.
constexpr int kHeadingFg = 0x000080, kHeadingBg = 0xCCE5FF;
constexpr int kSubtotalFg = 0x800000, kSubtotalBg = 0xFFFFCC;

class Presup : public BrowseProcedure {
 public:
  Presup(Program& program, db::Context& ctx, WindowDescription w)
      : BrowseProcedure(program, ctx, std::move(w), "COBR", {}, {byNumber()}) {
    // Made here, not in init, so that the window's bindings resolve before it
    // opens; UNITARIO and IMPORTE are computed per row by cell().
    for (const char* name : {"NOMBRE_OBRA", "UNITARIO", "IMPORTE"}) setLocal(name, std::string());
    setLocal("COSTO_DIRECTO", Decimal());
  }

  std::string cell(int row, int column) const override {
    if (row < 0 || row >= int(view_->rows().size())) return {};
    const COO& r = view_->rows()[std::size_t(row)].record.as<COO>();
    const BudgetRow kind = budgetRow(r);
    auto money = [&](Decimal d) { return formatPicture(columnPicture(column), d); };
    switch (column) {
      case kUnit:
      case kQuantity:
        if (kind != BudgetRow::Concept) return {};
        break;
      case kUnitCost: return kind == BudgetRow::Concept ? money(conceptUnitCost(r)) : std::string();
      case kAmount:
        if (kind == BudgetRow::Concept) return money(conceptAmount(r));
        if (kind == BudgetRow::Subtotal) return money(totals_.subtotal(r.CTA));
        return {};
      default: break;
    }
    return BrowseProcedure::cell(row, column);
  }

  CellColours colours(int row, int column) const override {
    CellColours c = BrowseProcedure::colours(row, column);
    const Control* list = window_.find(list_);
    if (row < 0 || row >= int(view_->rows().size()) || column < 0 ||
        column >= int(list->columns.size()) || !list->columns[std::size_t(column)].coloured)
      return c;
    switch (budgetRow(view_->rows()[std::size_t(row)].record.as<COO>())) {
      case BudgetRow::Heading: c.normalFg = kHeadingFg, c.normalBg = kHeadingBg; break;
      case BudgetRow::Subtotal: c.normalFg = kSubtotalFg, c.normalBg = kSubtotalBg; break;
      case BudgetRow::Concept: break;
    }
    return c;
  }

 protected:
  bool init() override {
    setLocal("NOMBRE_OBRA", program_.var("GLO:NOMBRE_OBRA"));
    setLocal("COSTO_DIRECTO", Decimal());
    if (!BrowseProcedure::init()) return false;
    addUp();
    return true;
  }

 private:
  static BrowseTab byNumber() {
    BrowseTab t;
    t.key = keys::COO_CTA_KEY;
    t.locator = LocatorKind::Incremental;
    t.locatorField = "COO:CTA";
    return t;
  }

  std::string columnPicture(int column) const {
    return window_.find(list_)->columns[std::size_t(column)].picture;
  }

  // One pass over the budget in row order.
  void addUp() {
    db::Table& t = table("COBR");
    totals_ = {};
    Status st = t.setStart(t.info().key("COO:CTA_KEY"));
    while (st && (st = t.next())) totals_.add(t.rec<COO>());
    if (st.code != err::NoRecord) fileError(st, FileAction::Read);
    setLocal("COSTO_DIRECTO", totals_.directCost());
    refresh("?COSTO_DIRECTO");
  }

  BudgetTotals totals_;
};

}  // namespace

std::unique_ptr<Procedure> makePresup(Program& program, db::Context& ctx) {
  WindowDescription w = Describe("PRESUP", "Presupuesto de Obra")
                            .text("OBRA:", "NOMBRE_OBRA", "@s50")
                            .list({{"CTA", "COO:CTA", "@n_6", 6, 'R', true},
                                   {"DESCRIPCION", "COO:TEXT", "@s50", 50, 'L', true},
                                   {"UNID", "COO:UNID", "@s4", 4, 'L', true},
                                   {"CANTIDAD", "COO:CANT", "@n14.2", 14, 'R', true},
                                   {"UNITARIO", "UNITARIO", "@n14.2", 14, 'R', true},
                                   {"IMPORTE", "IMPORTE", "@n17.2", 17, 'R', true}})
                            .tabs({"x CUENTA"})
                            .text("COSTO DIRECTO:", "COSTO_DIRECTO", "@n17.2")
                            .button("?SELECT:2", "&Selecciona")
                            .button("?CLOSE", "C&ierra")
                            .done();
  return std::make_unique<Presup>(program, ctx, std::move(w));
}

void addBudgetProcedures(Program& program) { program.addProcedure("PRESUP", makePresup); }

}  // namespace velmora::estimates
