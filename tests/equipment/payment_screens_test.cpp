// The payment windows: CAP_PAGO, UP_PAGO and BUSCA_FACT through the test
// host, and a whole flow through the real program under a script.

#include "tests/equipment/payment_fixture.h"

namespace velmora::equipment::test {
namespace {

TEST_F(Payments, TheFormProposesTheBalanceAndCutsAnAmountAbove) {
  setUpBooks(false);
  invoice(7, 1, 1000, 150, 400);
  velmora::test::TestHost host;
  MessageService messages;
  messages.setHost(&host);
  Program program{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  addProcedures(program);
  program.declare("GLO:OBRA", Value(std::string("OB1")));
  program.declare("GLO:HOY", Value(std::int64_t(today)));
  auto run = [&] {
    auto p = program.make("UP_PAGO", ctx);
    program.request = request::Insert;
    return p->run(host);
  };
  EXPECT_EQ(run(), response::Cancelled);
  ASSERT_FALSE(host.warnings.empty());
  EXPECT_EQ(host.warnings[0][0], "DEBE SELECCIONAR ANTES");

  program.setVar("NPRV", Value(std::int64_t(1)));
  host.actions.push_back([](Procedure& p) {
    ASSERT_TRUE(p.typed("?PGM:FACT", "7").ok());
    p.accepted("?PGM:FACT");
    EXPECT_EQ(number(p.value("PGM:CANT")), 750);
    EXPECT_EQ(number(p.value("SUM4")), 750);
    ASSERT_TRUE(p.typed("?PGM:BANK", "1").ok());
    p.accepted("?PGM:BANK");
    ASSERT_TRUE(p.typed("?PGM:CANT", "800").ok());
    p.accepted("?PGM:CANT");
    p.accepted("?OK");
    EXPECT_TRUE(p.isOpen() && !p.isClosing());
    EXPECT_EQ(number(p.value("PGM:CANT")), 750);
    p.accepted("?OK");
  });
  EXPECT_EQ(run(), response::Completed);
  EXPECT_EQ(host.warnings.back()[0], "SE ESTA TRATANDO DE PAGAR");
  EXPECT_EQ(c(all<FAM>("FAMA")[0].PAGO), 115000);
  EXPECT_EQ(all<PGM>("PAGM").size(), 1u);
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);
}

// The screens: the user is stamped on what the form saves; "PENDIENTE TOTAL
// DE PAGO" is invoiced less paid; a change above the invoice is refused in
// the form; no cheque for a payment the advances covered; BUSCA_FACT lists
// as CAP_FACT does; CAP_PROV shows what each supplier still owes.
TEST_F(Payments, TheScreensStampTheUserAndShowWhatIsOwed) {
  setUpBooks(false);
  invoice(7, 1, 37536, 0);
  invoice(8, 1, 1000, 0);
  sql("PROV", "UPDATE \"PROV\" SET \"TFAC\"=38536 WHERE \"CTA\"=1");
  PaymentOutcome out;
  ASSERT_TRUE(postPayment(ctx, advance(1, 1000), &out).ok());
  ASSERT_TRUE(postPayment(ctx, pay(1, 8, 1000, 1000), &out).ok());  // all from the advance
  velmora::test::TestHost host;
  MessageService messages;
  messages.setHost(&host);
  Program program{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  addProcedures(program);
  program.declare("GLO:OBRA", Value(std::string("OB1")));
  program.declare("GLO:HOY", Value(std::int64_t(today)));
  program.rights.user = 6;
  program.rights.levels.fill(5);
  program.setVar("NPRV", Value(std::int64_t(1)));

  // A new payment: pending 38 536.00 - 1 000.00 paid; after proposing the
  // balance of invoice 7, what is left once it is paid.
  host.actions.push_back([](Procedure& p) {
    EXPECT_EQ(number(p.value("SUM5")), 37536);
    ASSERT_TRUE(p.typed("?PGM:FACT", "7").ok());
    p.accepted("?PGM:FACT");
    ASSERT_TRUE(p.typed("?PGM:CANT", "0").ok());
    p.accepted("?PGM:CANT");
    EXPECT_EQ(number(p.value("PGM:CANT")), 37536);
    EXPECT_EQ(number(p.value("SUM5")), 0);
    ASSERT_TRUE(p.typed("?PGM:CANT", "30000").ok());
    ASSERT_TRUE(p.typed("?PGM:BANK", "1").ok());
    p.accepted("?OK");
  });
  program.request = request::Insert;
  ASSERT_EQ(program.make("UP_PAGO", ctx)->run(host), response::Completed);
  PGM paid{};
  for (const PGM& p : all<PGM>("PAGM"))
    if (p.FACT == 7) paid = p;
  EXPECT_EQ(paid.USUA, 6);

  // Changed in the form to more than the invoice: refused, cut, then saved.
  db::Table& pagm = ctx.table("PAGM");
  ASSERT_TRUE(pagm.open().ok());
  pagm.clear();
  pagm.rec<PGM>().PROV = 1, pagm.rec<PGM>().FACT = 7;
  ASSERT_TRUE(pagm.get("PGM:NUM_KEY").ok());
  host.warnings.clear();
  host.actions.push_back([](Procedure& p) {
    ASSERT_TRUE(p.typed("?PGM:CANT", "50000").ok());
    p.accepted("?OK");
    EXPECT_FALSE(p.isClosing());
    EXPECT_EQ(number(p.value("PGM:CANT")), 37536);
    ASSERT_TRUE(p.typed("?PGM:CANT", "36000").ok());
    p.accepted("?OK");
  });
  program.request = request::Change;
  ASSERT_EQ(program.make("UP_PAGO", ctx)->run(host), response::Completed);
  pagm.close();
  ASSERT_FALSE(host.warnings.empty());
  EXPECT_EQ(host.warnings[0][0], "SE ESTA TRATANDO DE PAGAR");
  EXPECT_EQ(c(all<FAM>("FAMA")[0].PAGO), 3600000);
  EXPECT_EQ(c(supplier(1).TPAG), 3700000);

  // The cheque of the payment the advance covered: refused, nothing printed.
  host.warnings.clear();
  host.actions.push_back([](Procedure& p) {
    ASSERT_TRUE(p.typed("?NPRV", "1").ok());
    p.accepted("?NPRV");
    auto& list = static_cast<BrowseProcedure&>(p);
    for (int row = 0; row < list.listPart().rowCount(); ++row)
      if (std::to_string(list.view().rows()[std::size_t(row)].record.as<PGM>().FACT).find('8') !=
          std::string::npos)
        list.rowClicked(row);
    p.accepted("?CHEQUE");
    p.accepted("?CLOSE");
  });
  program.request = request::None;
  (void)program.make("CAP_PAGO", ctx)->run(host);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0][0], "NO HAY IMPORTE A PAGAR CON CHEQUE");
  EXPECT_TRUE(host.documentRunner.shown.empty());

  // BUSCA_FACT: CAP_FACT's columns and tabs, Selecciona, Borra, Cierra.
  auto busca = program.make("BUSCA_FACT", ctx);
  std::vector<std::string> heads, tabs, buttons;
  for (const Control& c : busca->window().controls) {
    if (c.type == ControlType::List)
      for (const auto& col : c.columns) heads.push_back(col.header);
    if (c.type == ControlType::Tab) tabs.push_back(c.text);
    if (c.type == ControlType::Button) buttons.push_back(c.text);
  }
  EXPECT_EQ(heads, (std::vector<std::string>{"FOLIO", "PROV", "FECHA", "FACTURA", "IMPORTE", "IVA",
                                             "PAGO"}));
  EXPECT_EQ(tabs, (std::vector<std::string>{"x Folio", "x Fecha", "x Frente"}));
  EXPECT_EQ(buttons, (std::vector<std::string>{"&Selecciona", "&Borra", "C&ierra", "Ayuda"}));

  // CAP_PROV: supplier 1 owes 38 536.00 - 37 000.00.
  host.actions.push_back([](Procedure& p) {
    auto& list = static_cast<BrowseProcedure&>(p);
    ASSERT_GE(list.listPart().rowCount(), 1);
    EXPECT_EQ(list.cell(0, 3), "      1,536.00");
    EXPECT_EQ(number(p.value("TOT2")), 1536);
    p.accepted("?CLOSE");
  });
  (void)program.make("CAP_PROV", ctx)->run(host);
}

// One field of the row whose first column is `key` in a `velmora dump`.
double dumped(const std::string& csv, const std::string& key, const std::string& field) {
  auto cells = [](const std::string& line) {
    std::vector<std::string> out;
    std::string cell;
    bool quoted = false;
    for (char c : line) {
      if (c == '"')
        quoted = !quoted;
      else if (c == ',' && !quoted)
        out.push_back(cell), cell.clear();
      else
        cell += c;
    }
    out.push_back(cell);
    return out;
  };
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> head = cells(line);
  const auto col = std::size_t(std::find(head.begin(), head.end(), field) - head.begin());
  while (std::getline(in, line)) {
    const std::vector<std::string> row = cells(line);
    if (!row.empty() && row[0] == key && col < row.size()) return std::stod(row[col]);
  }
  ADD_FAILURE() << "no " << key << " " << field << " in\n" << csv;
  return 0;
}

TEST(VorovidPaymentScript, AnAdvanceAPaymentApplyingItAndTheChequeFromTheList) {
  velmora::test::TempFolder company;
  const std::string dir = company.path().string();
  ASSERT_EQ(velmora::test::runVelmora("demo '" + dir + "'").status, 0);
  auto dump = [&](const std::string& file) {
    velmora::test::CommandResult d = velmora::test::runVelmora("dump '" + dir + "/" + file + "'");
    EXPECT_EQ(d.status, 0) << d.out;
    return d.out;
  };
  const std::string banks = dump("HOSP01/PAGO3.TPS"), supplier = dump("HOSP01/MATE1.TPS"),
                    invoices = dump("HOSP01/OBRA20.TPS");
  velmora::test::CommandResult r = velmora::test::runCommand(
      "cd '" + dir + "' && timeout 120 " + VOROVID_EXE + " /1 --script '" + VELMORA_TEST_DATA +
      "/equipment/data/pago.txt' 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* expected :
       {"CAMPO ?SUM4 = \"     31,395.00\"", "PASO: CHEQUE POLIZA", "PASO: CHEQUE\n",
        "|     502 |      1 | BANAMEX |      10,000.00 |       1,500.00"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  auto delta = [&](const std::string& before, const std::string& file, const char* key,
                   const char* field) {
    return dumped(dump(file), key, field) - dumped(before, key, field);
  };
  // The bank paid the advance and the cash of the payment: 2 000 + 8 500.
  EXPECT_NEAR(delta(banks, "HOSP01/PAGO3.TPS", "1", "BAN:SALD"), -10500, 1e-6);
  EXPECT_NEAR(delta(supplier, "HOSP01/MATE1.TPS", "1", "PRV:ANTI"), 2000, 1e-6);
  EXPECT_NEAR(delta(supplier, "HOSP01/MATE1.TPS", "1", "PRV:AAMO"), 1500, 1e-6);
  EXPECT_NEAR(delta(supplier, "HOSP01/MATE1.TPS", "1", "PRV:TPAG"), 10000, 1e-6);
  EXPECT_NEAR(delta(invoices, "HOSP01/OBRA20.TPS", "2", "FAM:PAGO"), 10000, 1e-6);
  velmora::test::CommandResult check = velmora::test::runVelmora("verifica '" + dir + "' HOSP01");
  EXPECT_EQ(check.status, 0) << check.out;
}

}  // namespace
}  // namespace velmora::equipment::test
