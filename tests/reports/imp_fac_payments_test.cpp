// IMP_FAC's payment blocks over several suppliers: each invoice gets its own
// supplier's payments and no one else's, whichever suppliers the options
// leave out, and a second run of the same report prints the same.

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "equipment/reports/equipment_reports.h"
#include "tests/support/report_fixture.h"

namespace velmora::reports {
namespace {

constexpr std::int32_t kDay = 80000;

class ImpFacPayments : public ReportFixture {
 protected:
  ImpFacPayments() {
    storage_.setFileName(FAM::info(), folder_.file("OBRA20.TPS"));
    storage_.setFileName(PGM::info(), folder_.file("OBRA21.TPS"));
    storage_.setFileName(PRV::info(), folder_.file("MATE1.TPS"));
    storage_.setFileName(BAN::info(), folder_.file("PAGO3.TPS"));
    settings_.heading = {"CONSTRUCTORA DEMO", "HOSPITAL GENERAL", kDay};

    for (std::int32_t s : {1, 2, 3, 4, 5})
      add<PRV>([&](PRV& p) {
        p.CTA = s, p.TIPO = 2, p.NOMB = "PROVEEDOR " + std::to_string(s);
        p.RFC = "RFC" + std::to_string(s);
      });
    add<BAN>([](BAN& b) { b.CTA = 1, b.NOMB = "BANCO UNO"; });
    // Invoices out of their printed order: supplier, then date. 11 is
    // unpaid; 51 says it was paid but its payments are not on file.
    invoice(50, 5, kDay + 2, 400);
    invoice(10, 1, kDay + 5, 300);
    invoice(30, 3, kDay + 30, 50);
    invoice(11, 1, kDay + 3, 0);
    invoice(20, 2, kDay + 20, 70);
    invoice(12, 1, kDay + 1, 80);
    invoice(51, 5, kDay + 4, 10);
    // Cheque numbers name the payments. 722 is supplier 2's with invoice
    // number 10, which is supplier 1's; supplier 4 has payments only.
    payment(5, 50, 751, 400);
    payment(1, 10, 701, 100);
    payment(4, 40, 741, 60);
    payment(2, 10, 722, 5);
    payment(1, 12, 703, 80);
    payment(3, 30, 731, 50);
    payment(2, 20, 721, 70);
    payment(1, 10, 702, 200);
  }

  void invoice(std::int32_t cta, std::int32_t supplier, std::int32_t day, double paid) {
    add<FAM>([&](FAM& f) {
      f.CTA = cta, f.PROV = supplier, f.FECH = day, f.IMPO = 1000, f.IVA = 160, f.PAGO = paid;
    });
  }
  void payment(std::int32_t supplier, std::int32_t invoice, std::int32_t cheque, double amount) {
    add<PGM>([&](PGM& p) {
      p.PROV = supplier, p.FACT = invoice, p.CHEC = cheque, p.BANK = 1, p.CANT = amount;
      p.FECH = kDay + 40, p.TIPO = "F";
    });
  }

  // What the pages print, in order: "F" and the number of each invoice
  // line, the cheque of each payment line under it.
  std::string payments(Report& report) {
    std::string out;
    for (const std::string& line : runLines(report)) {
      std::istringstream words(line);
      std::string first, second, third;
      words >> first >> second >> third;
      if (line.find("PROVEEDOR ") != std::string::npos && std::isdigit(first[0]))
        out += " F" + first;
      else if (line.find("BANCO UNO") != std::string::npos)
        out += " " + third;  // date, amount, cheque
    }
    return out;
  }
};

TEST_F(ImpFacPayments, EachInvoiceShowsItsOwnSuppliersPaymentsWhateverIsLeftOut) {
  auto all = makeImpFac();
  ASSERT_TRUE(all->option("INCLUYE_PAGOS", "SI"));
  const std::string everything = " F12 703 F11 F10 701 702 F20 721 F30 731 F50 751 F51";
  EXPECT_EQ(payments(*all), everything);
  // The same report again starts afresh.
  EXPECT_EQ(payments(*all), everything);

  // Suppliers 2 and 3 left out by the dates: 1's payments, then 5's.
  auto early = makeImpFac();
  ASSERT_TRUE(early->option("INCLUYE_PAGOS", "SI"));
  ASSERT_TRUE(early->option("FECHA_FINAL", formatPicture("@D6", kDay + 10)));
  EXPECT_EQ(payments(*early), " F12 703 F11 F10 701 702 F50 751 F51");

  // One supplier; and without the option no payment at all.
  auto third = makeImpFac();
  ASSERT_TRUE(third->option("INCLUYE_PAGOS", "SI"));
  ASSERT_TRUE(third->option("PROVEEDOR", "3"));
  EXPECT_EQ(payments(*third), " F30 731");
  auto bare = makeImpFac();
  EXPECT_EQ(payments(*bare), " F12 F11 F10 F20 F30 F50 F51");
}

}  // namespace
}  // namespace velmora::reports
