#include "programs/velmora/demo_invoices.h"

#include <vector>

#include "dictionary/work_files.h"
#include "equipment/invoices.h"
#include "programs/velmora/demo_catalogue.h"

namespace velmora::demo {

namespace {

struct DemoInvoice {
  int daysAgo;
  double hours;
};
// Weeks of rent of the work's first pieces of equipment.
constexpr DemoInvoice kInvoices[] = {{40, 48}, {33, 52.5}, {26, 40}, {19, 60}, {12, 36}, {5, 44}};

}  // namespace

Status addDemoInvoices(db::Storage& storage, const DemoOptions& o) {
  const WorkTemplate& t = works()[0];
  db::useWorkFiles(storage, db::workFiles(db::WorkLocation{o.folder.string(), t.code, t.accounting,
                                                           o.today, db::NameStyle::WithExtension}));
  db::Context ctx(storage);
  std::vector<MAQ> machines;
  {
    db::Table& maqu = ctx.table("MAQU");
    Status st = maqu.open();
    if (st) st = maqu.setStart(maqu.info().key("MAQ:CTA_KEY"));
    while (st && machines.size() < 3 && (st = maqu.next()))
      if (machines.empty() || machines.back().CTA != maqu.rec<MAQ>().CTA)
        machines.push_back(maqu.rec<MAQ>());
    maqu.close();
    if (machines.empty()) return Status::success();
  }
  const std::int64_t rate = equipment::taxRate(o.folder);
  std::int32_t folio = 1;
  for (const DemoInvoice& d : kInvoices) {
    const MAQ& m = machines[std::size_t(folio - 1) % machines.size()];
    equipment::InvoiceInput in;
    FAM& f = in.invoice;
    f.CTA = folio;
    f.PROV = 1;
    f.FACT = 4100 + folio * 7;
    f.FECH = o.today - d.daysAgo;
    f.MAQU = m.CTA;
    f.AUTO = 1;
    f.CANT = d.hours;
    const Decimal amount = equipment::hoursAmount(d.hours, m.PRRE);
    f.IMPO = amount.toDouble();
    f.IVA = equipment::proposedTax(amount, rate).toDouble();
    in.work = t.code;
    in.today = o.today;
    in.now = 3600 * 100 + 1;
    in.user = 1;
    if (Status st = equipment::saveInvoice(ctx, in, nullptr); !st) return st;
    ++folio;
  }
  return Status::success();
}

}  // namespace velmora::demo
