#include "estimates/budget.h"

#include <cstdint>
#include <map>
#include <vector>

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

enum class RowKind { Heading, Concept, Subtotal };

RowKind kindOf(const COO& r) {
  if (r.TIPO == "T" || r.TIPO == "t") return RowKind::Heading;
  if (r.TIPO == "S" || r.TIPO == "s") return RowKind::Subtotal;
  return RowKind::Concept;
}

std::int64_t cents(double v) {
  auto d = Decimal::fromDouble(v);
  return d ? d->cents() : 0;
}

// The direct unit cost of a concept: labour, materials, equipment and the
// percentage charges per unit, to the cent. A row that carries only its unit
// price is taken at that price.
std::int64_t unitCost(const COO& r) {
  const double direct = r.TOBR + r.TMAT + r.TCOS + r.TPOR;
  return cents(r.TOBR == 0 && r.TMAT == 0 && r.TCOS == 0 && r.TPOR == 0 ? r.PUNI : direct);
}

// Quantity times the unit cost shown, to the cent, so that every row checks
// by hand and the totals add up the amounts shown.
std::int64_t amount(const COO& r) {
  return cents(r.CANT * Decimal::fromCents(unitCost(r)).toDouble());
}

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
    const RowKind kind = kindOf(r);
    auto money = [&](std::int64_t c) {
      return formatPicture(columnPicture(column), Decimal::fromCents(c));
    };
    switch (column) {
      case kUnit:
      case kQuantity:
        if (kind != RowKind::Concept) return {};
        break;
      case kUnitCost: return kind == RowKind::Concept ? money(unitCost(r)) : std::string();
      case kAmount:
        if (kind == RowKind::Concept) return money(amount(r));
        if (kind == RowKind::Subtotal) {
          auto it = subtotals_.find(r.CTA);
          return money(it == subtotals_.end() ? 0 : it->second);
        }
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
    switch (kindOf(view_->rows()[std::size_t(row)].record.as<COO>())) {
      case RowKind::Heading: c.normalFg = kHeadingFg, c.normalBg = kHeadingBg; break;
      case RowKind::Subtotal: c.normalFg = kSubtotalFg, c.normalBg = kSubtotalBg; break;
      case RowKind::Concept: break;
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

  // One pass over the budget in row order: the direct cost is the sum of
  // the concepts; a subtotal closes the innermost open heading and adds the
  // concepts under it, or, outside every heading, those since the previous
  // such subtotal. Headings and subtotals add nothing themselves.
  void addUp() {
    db::Table& t = table("COBR");
    std::int64_t total = 0, loose = 0;
    std::vector<std::int64_t> open;
    subtotals_.clear();
    Status st = t.setStart(t.info().key("COO:CTA_KEY"));
    while (st && (st = t.next())) {
      const COO& r = t.rec<COO>();
      switch (kindOf(r)) {
        case RowKind::Heading: open.push_back(0); break;
        case RowKind::Subtotal:
          if (open.empty()) {
            subtotals_[r.CTA] = loose;
            loose = 0;
          } else {
            subtotals_[r.CTA] = open.back();
            open.pop_back();
          }
          break;
        case RowKind::Concept: {
          const std::int64_t a = amount(r);
          total += a;
          loose += a;
          for (std::int64_t& s : open) s += a;
          break;
        }
      }
    }
    if (st.code != err::NoRecord) fileError(st, FileAction::Read);
    setLocal("COSTO_DIRECTO", Decimal::fromCents(total));
    refresh("?COSTO_DIRECTO");
  }

  std::map<std::int32_t, std::int64_t> subtotals_;
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
