// The demo's supplier payments: an advance to the first supplier of the
// first work and, when an invoice of his is unpaid, a payment applying
// part of that advance, posted as VOROVID posts them, policies and all.

#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "equipment/payments.h"
#include "programs/velmora/demo_catalogue.h"
#include "programs/velmora/demo_data.h"

namespace velmora::demo {

Status addDemoPayments(db::Storage& storage, const DemoOptions& o) {
  const WorkTemplate& t = works()[0];
  db::useWorkFiles(storage, db::workFiles(db::WorkLocation{o.folder.string(), t.code, t.accounting,
                                                           o.today, db::NameStyle::WithExtension}));
  db::Context ctx(storage);
  constexpr std::int32_t kSupplier = 1, kBank = 1;
  equipment::PaymentInput in;
  in.work = t.code;
  in.today = o.today;
  in.now = 10 * 360000;
  in.user = 1;
  in.payment.PROV = kSupplier;
  in.payment.BANK = kBank;
  in.payment.FECH = o.today;
  in.payment.TIPO = "A";
  in.payment.CHEC = 1001;
  in.payment.ANTI = 25000.00;
  equipment::PaymentOutcome out;
  Status st = equipment::postPayment(ctx, in, &out);
  if (!st) return st;

  // The oldest invoice of the supplier that still owes, if the demo has one.
  db::Table& fama = ctx.table("FAMA");
  if (!fama.open()) return Status::success();
  FAM owed{};
  st = fama.setStart(fama.info().key("FAM:CTA_KEY"));
  while (st && (st = fama.next()))
    if (fama.rec<FAM>().PROV == kSupplier &&
        equipment::invoiceBalance(fama.rec<FAM>()).cents() > 0) {
      owed = fama.rec<FAM>();
      break;
    }
  fama.close();
  if (owed.CTA == 0) return Status::success();
  const std::int64_t balance = equipment::invoiceBalance(owed).cents();
  in.payment.TIPO = "F";
  in.payment.FACT = owed.CTA;
  in.payment.CHEC = 1002;
  in.payment.CANT = Decimal::fromCents(balance / 2).toDouble();
  in.payment.ANTI = Decimal::fromCents(std::min<std::int64_t>(balance / 4, 1000000)).toDouble();
  return equipment::postPayment(ctx, in, &out);
}

}  // namespace velmora::demo
