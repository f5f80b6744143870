// The accounting windows driven as a clerk would: the policy of an estimate
// with its cheque, and the bank form with its account and layout rules.

#include "accounting/accounting.h"
#include "accounting/banks.h"
#include "framework/browse.h"
#include "reports/preview_window.h"
#include "tests/accounting/accounting_fixture.h"
#include "tests/support/test_host.h"

namespace velmora::accounting::test {
namespace {

class Screens : public Ledger {
 protected:
  void SetUp() override {
    Ledger::SetUp();
    program.declare("GLO:OBRA", Value(std::string("OB1")));
    program.declare("GLO:HOY", Value(std::int64_t(today)));
    addProcedures(program);
    messages.setHost(&host);
  }
  int run(std::unique_ptr<Procedure> p, int req) {
    program.request = req;
    return p->run(host);
  }
  void onList(std::function<void(BrowseProcedure&)> f) {
    host.actions.push_back([f](Procedure& p) { f(static_cast<BrowseProcedure&>(p)); });
  }

  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  velmora::test::TestHost host;
};

TEST_F(Screens, GeneraPolizaPostsThenPrintsTheCheque) {
  books();
  add("POLI", estimate(1, 100000, 15000, 20000, 5000));
  add("POLI", estimate(2, 1000, 160, 0, 0));
  POL posted = estimate(3, 7, 0, 0, 0);
  posted.NOPO = 4;
  add("POLI", posted);
  add("POLI", [this] {  // an advance to a contractor nobody knows
    POL a = estimate(5, 3000, 0, -3000, 0);
    a.ESTI = -1, a.CONT = 9;
    return a;
  }());
  onList([](BrowseProcedure& b) {
    // Whom each cheque pays and how much, in sight: the contractor's name
    // beside his number, an advance named as such, what the cheque pays.
    auto column = [&](const std::string& header) {
      const auto& cols = b.listPart().columns();
      for (std::size_t i = 0; i < cols.size(); ++i)
        if (cols[i].header == header) return int(i);
      ADD_FAILURE() << header;
      return 0;
    };
    ASSERT_EQ(b.view().rows().size(), 3u);
    EXPECT_EQ(b.cell(0, column("CONTRATISTA")), "PEREZ");
    EXPECT_EQ(b.cell(0, column("ESTIMACION")), "   1");
    // 100,000 + 15,000 of IVA - 20,000 of advance - 5,000 of fund
    EXPECT_EQ(b.cell(0, column("A PAGAR")), "     90,000.00");
    EXPECT_EQ(b.cell(2, column("ESTIMACION")), "ANTICIPO");
    EXPECT_EQ(b.cell(2, column("CONTRATISTA")), "");
    EXPECT_EQ(b.cell(2, column("A PAGAR")), "      3,000.00");
    EXPECT_EQ(b.listPart().footerOf("SUMA_PAGA"), "     94,160.00");
    // The posted one is not listed nor summed.
    EXPECT_EQ(b.listPart().footerOf("SUMA_CANT"), "    104,000.00");
    EXPECT_EQ(b.listPart().footerOf("SUMA_PANT"), "     17,000.00");
    b.rowClicked(0);
    b.accepted("?GENERA");
  });
  host.press("?SELECT:2");                             // CAP_BAN: the paying bank
  host.type("?EN_POLIZA", "PAGO DE DESTAJO A PEREZ");  // Preparando el Reporte
  host.press("?OK");
  host.press("?OK");                         // Destino del Reporte: Ejecuta
  host.actions.push_back([](Procedure& p) {  // Vista Previa with the cheque
    ASSERT_EQ(p.name(), reports::PreviewWindow::kName);
    EXPECT_EQ(static_cast<reports::PreviewWindow&>(p).preview().status(), "Hoja 1 de 1");
    p.accepted("?EXITBUTTON");
  });
  onList([](BrowseProcedure& b) {
    EXPECT_EQ(b.view().rows().size(), 2u);
    EXPECT_EQ(b.listPart().footerOf("SUMA_CANT"), "      4,000.00");
    b.accepted("?CLOSE");
  });
  run(program.make("POL_PAG", ctx), request::None);

  ASSERT_EQ(host.warnings.size(), 1u);  // what was posted
  EXPECT_EQ(host.warnings[0][0], "POLIZA CONTABLE No 1 REGISTRADA");
  EXPECT_TRUE(host.documentRunner.shown.empty());
  const auto heads = all<POA>("POLMES");
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_EQ(heads[0].DESC, "PAGO DE DESTAJO A PEREZ");
  EXPECT_EQ(all<POL>("POLI")[0].NOPO, 1);
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);

  // Cancelling the cheque's window keeps the posting and frees the flag.
  onList([](BrowseProcedure& b) { b.accepted("?GENERA"); });
  host.press("?SELECT:2");
  host.press("?CANCEL");
  onList([](BrowseProcedure& b) { b.accepted("?CLOSE"); });
  run(program.make("POL_PAG", ctx), request::None);
  EXPECT_EQ(all<POA>("POLMES").size(), 2u);
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);
  EXPECT_TRUE(host.documentRunner.shown.empty());
}

TEST_F(Screens, BankAccountsMustTakeEntriesAndNewBanksGetTheLayout) {
  books();
  host.type("?BAN:CTA", "9");
  host.type("?BAN:NOMB", "BANCO NUEVO");
  host.press("?CALLLOOKUP");
  onList([](BrowseProcedure& b) {  // 1102: a major account
    b.rowClicked(0);
    b.accepted("?SELECT:2");
  });
  host.press("?CALLLOOKUP");
  onList([](BrowseProcedure& b) {  // 1102-1-2-3-4
    b.rowClicked(4);
    b.accepted("?SELECT:2");
  });
  host.press("?OK");
  EXPECT_EQ(run(makeUpBan(program, ctx, true), request::Insert), response::Completed);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0][1], "ULTIMO NIVEL Y NO UNA SUB-CTA");
  const BAN b = all<BAN>("BANC").back();
  EXPECT_EQ(b.CTA, 9);
  EXPECT_EQ(accountOf(b), bank);
  EXPECT_EQ(b.ROW, kDefaultRows);
  EXPECT_EQ(b.COL, kDefaultColumns);

  // An account that moved stays; one within a cent may go.
  db::Table& cuen = ctx.table("CUEN");
  ASSERT_TRUE(cuen.open().ok());
  ASSERT_TRUE(rollUp(cuen, bank, *Decimal::parse("0.01"), Side::Debit, 3).ok());
  ASSERT_TRUE(rollUp(cuen, acct(1102, 1, 2, 3), *Decimal::parse("5"), Side::Credit, 3).ok());
  cuen.close();
  const std::size_t before = all<CUE>("CUEN").size();
  host.buttons = {button::Yes};
  onList([](BrowseProcedure& b) {
    b.rowClicked(3);  // 1102-1-2-3: moved
    b.accepted("?DELETE:3");
    b.rowClicked(4);  // 1102-1-2-3-4: a cent
    b.accepted("?DELETE:3");
    b.accepted("?CLOSE");
  });
  run(program.make("CAP_CUE", ctx), request::None);
  EXPECT_EQ(host.warnings.back()[0], "LA CUENTA YA TUVO MOVIMIENTOS");
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Confirmar Borrado");
  EXPECT_EQ(all<CUE>("CUEN").size(), before - 1);
}

}  // namespace
}  // namespace velmora::accounting::test
