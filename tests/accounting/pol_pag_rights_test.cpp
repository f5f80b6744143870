// POL_PAG as the users of the demo company meet it: what a user who may
// only look can press, the message that says what a posting wrote, the
// cheque printed again, and estimates that pay nothing.

#include "accounting/accounting.h"
#include "accounting/banks.h"
#include "framework/browse.h"
#include "reports/preview_window.h"
#include "reports/wmf.h"
#include "tests/accounting/accounting_fixture.h"
#include "tests/support/test_host.h"

namespace velmora::accounting::test {
namespace {

class PolPagRights : public Ledger {
 protected:
  void SetUp() override {
    Ledger::SetUp();
    program.declare("GLO:OBRA", Value(std::string("OB1")));
    program.declare("GLO:HOY", Value(std::int64_t(today)));
    addProcedures(program);
    messages.setHost(&host);
  }
  // The demo's user 2: level 1 everywhere.
  void viewOnly() {
    program.rights.user = 2;
    program.rights.levels.fill(1);
  }
  void onList(std::function<void(BrowseProcedure&)> f) {
    host.actions.push_back([f](Procedure& p) { f(static_cast<BrowseProcedure&>(p)); });
  }
  // Whatever window a button opened, the clerk goes through it: chooses the
  // first row, accepts, runs the report, keeps the pages' text. In POL_PAG
  // itself (nothing opened) the step does nothing.
  void clerk(int steps = 6) {
    for (int i = 0; i < steps; ++i)
      host.actions.push_back([this](Procedure& p) {
        if (p.name() == "POL_PAG") return;
        if (p.name() == reports::PreviewWindow::kName) {
          cheques.push_back(text(static_cast<reports::PreviewWindow&>(p)));
          return p.accepted("?EXITBUTTON");
        }
        if (auto* b = dynamic_cast<BrowseProcedure*>(&p)) {
          b->rowClicked(0);
          return p.accepted("?SELECT:2");
        }
        p.accepted("?OK");
      });
  }
  static std::string text(reports::PreviewWindow& preview) {
    std::string all;
    for (const std::string& file : preview.preview().pages().files()) {
      reports::WmfPage page;
      EXPECT_TRUE(reports::readWmf(file, page).ok());
      for (const std::string& line : reports::pageText(page)) all += line + "\n";
    }
    return all;
  }
  void run(const char* procedure = "POL_PAG") {
    program.request = request::None;
    program.make(procedure, ctx)->run(host);
  }
  // The bank of books() prints nothing: give it VOROVID's default layout.
  void chequeLayout() {
    db::Context c(storage, 92);
    db::Table& t = c.table("BANC");
    ASSERT_TRUE(t.open().ok());
    t.rec<BAN>().CTA = 1;
    ASSERT_TRUE(t.get("BAN:KEYCTA").ok());
    t.rec<BAN>().ROW = kDefaultRows;
    t.rec<BAN>().COL = kDefaultColumns;
    ASSERT_TRUE(t.put().ok());
  }
  bool opened(const std::string& name) const {
    return std::find(host.log.begin(), host.log.end(), "abre " + name) != host.log.end();
  }

  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  velmora::test::TestHost host;
  std::vector<std::string> cheques;  // the text of every cheque previewed
};

TEST_F(PolPagRights, AViewOnlyUserWritesNothingFromAnyButton) {
  books();
  add("POLI", estimate(1, 100000, 15000, 20000, 5000));
  add("POLI", estimate(2, 1000, 160, 0, 0));
  viewOnly();
  const auto before = all<POL>("POLI");
  const std::size_t accounts = all<CUE>("CUEN").size();  // none moved: level 3 may delete any

  onList([](BrowseProcedure& b) {
    for (const char* id : {"?GENERA", "?REIMPRIME", "?DELETE:3"})
      EXPECT_FALSE(b.state(id).enabled) << id;
    b.rowClicked(0);
    b.accepted("?GENERA");
  });
  clerk();
  onList([](BrowseProcedure& b) { b.accepted("?REIMPRIME"); });
  clerk();
  onList([](BrowseProcedure& b) {
    b.rowClicked(1);
    b.accepted("?DELETE:3");
  });
  clerk();
  onList([](BrowseProcedure& b) { b.accepted("?CLOSE"); });
  run();

  host.buttons = {button::Yes};
  onList([](BrowseProcedure& b) {
    EXPECT_FALSE(b.state("?DELETE:3").enabled);
    b.rowClicked(int(b.view().rows().size()) - 1);
    b.accepted("?DELETE:3");
    b.accepted("?CLOSE");
  });
  run("CAP_CUE");

  for (const char* window : {"CAP_BAN", "POL_CHEQ", "PREP_CHEQUE", "UP_ESTI"})
    EXPECT_FALSE(opened(window)) << window;
  EXPECT_TRUE(all<POA>("POLMES").empty());
  EXPECT_TRUE(all<DEA>("DETMES").empty());
  const auto after = all<POL>("POLI");
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].NOPO, 0);
  EXPECT_EQ(all<BAN>("BANC")[0].SALD, 500000);
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);
  EXPECT_EQ(all<CUE>("CUEN").size(), accounts);
  EXPECT_TRUE(host.documentRunner.shown.empty());

  // Level 3 at the estimates' entry may post and print: the buttons are there.
  program.rights.levels[std::size_t(entry::kEstimatePolicies - 1)] = 3;
  onList([](BrowseProcedure& b) {
    for (const char* id : {"?GENERA", "?REIMPRIME", "?DELETE:3"})
      EXPECT_TRUE(b.state(id).enabled) << id;
    b.accepted("?CLOSE");
  });
  run();
}

TEST_F(PolPagRights, ThePostingSaysWhatItWroteAndTheChequeCanBePrintedAgain) {
  books();
  chequeLayout();
  add("POLI", estimate(1, 100000, 15000, 24085.61, 0));  // pays 90,914.39
  add("POLI", estimate(2, 1000, 160, 0, 0));             // pays 1,160.00
  auto typeMessage = [this] {
    host.actions.push_back([](Procedure& p) {
      ASSERT_EQ(p.name(), "PREP_CHEQUE");
      (void)p.typed("?MENSAJE_CHEQUE", "NO NEGOCIABLE");
      p.accepted("?MENSAJE_CHEQUE");
    });
  };

  // Posted and printed; then posted with the cheque's window cancelled.
  onList([](BrowseProcedure& b) {
    b.rowClicked(0);
    b.accepted("?GENERA");
  });
  host.press("?SELECT:2");  // CAP_BAN
  typeMessage();
  clerk(3);
  onList([](BrowseProcedure& b) {
    b.rowClicked(0);
    b.accepted("?GENERA");
  });
  host.press("?SELECT:2");
  host.press("?CANCEL");  // Preparando el Reporte
  onList([](BrowseProcedure& b) {
    EXPECT_TRUE(b.view().rows().empty());
    b.accepted("?CLOSE");
  });
  run();

  ASSERT_EQ(host.warnings.size(), 2u);
  EXPECT_EQ(host.warnings[0], (WarningLines{"POLIZA CONTABLE No 1 REGISTRADA",
                                            "DE LA ESTIMACION FOLIO 1", "CHEQUE POR $90,914.39"}));
  EXPECT_EQ(host.warnings[1], (WarningLines{"POLIZA CONTABLE No 2 REGISTRADA",
                                            "DE LA ESTIMACION FOLIO 2", "CHEQUE POR $1,160.00"}));
  ASSERT_EQ(cheques.size(), 1u);
  EXPECT_NE(cheques[0].find("90,914.39"), std::string::npos) << cheques[0];
  EXPECT_NE(cheques[0].find("NO NEGOCIABLE"), std::string::npos) << cheques[0];
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);
  const auto posted = all<POA>("POLMES");
  ASSERT_EQ(posted.size(), 2u);

  // Both again from the list of posted estimates: the first as it was
  // printed, the second for the amount its policy paid. The policy's
  // concept is shown, not changed.
  onList([](BrowseProcedure& b) { b.accepted("?REIMPRIME"); });
  host.actions.push_back([](Procedure& p) {
    auto& list = static_cast<BrowseProcedure&>(p);
    ASSERT_EQ(p.name(), "POL_CHEQ");
    ASSERT_EQ(list.view().rows().size(), 2u);
    list.rowClicked(0);
    p.accepted("?SELECT:2");
  });
  host.actions.push_back([](Procedure& p) {
    EXPECT_FALSE(p.state("?EN_POLIZA").enabled);
    (void)p.typed("?MENSAJE_CHEQUE", "NO NEGOCIABLE");
    p.accepted("?MENSAJE_CHEQUE");
  });
  clerk(3);
  onList([](BrowseProcedure& b) { b.accepted("?REIMPRIME"); });
  host.actions.push_back([](Procedure& p) {
    static_cast<BrowseProcedure&>(p).rowClicked(1);
    p.accepted("?SELECT:2");
  });
  clerk(3);
  onList([](BrowseProcedure& b) { b.accepted("?CLOSE"); });
  host.log.clear();
  run();

  ASSERT_EQ(cheques.size(), 3u);
  EXPECT_EQ(cheques[1], cheques[0]);
  EXPECT_NE(cheques[2].find("1,160.00"), std::string::npos) << cheques[2];
  EXPECT_NE(cheques[2].find("PEREZ"), std::string::npos) << cheques[2];
  EXPECT_FALSE(opened("CAP_BAN"));  // the policy names its bank
  EXPECT_EQ(host.warnings.size(), 2u);
  const auto heads = all<POA>("POLMES");
  ASSERT_EQ(heads.size(), 2u);
  for (std::size_t i = 0; i < heads.size(); ++i) EXPECT_EQ(heads[i].DESC, posted[i].DESC);
  EXPECT_EQ(cents(all<BAN>("BANC")[0].SALD).cents(), 50000000 - 9091439 - 116000);

  // A policy of another month is not in this month's file: the bank is
  // asked for and the cheque pays what the estimate's policy paid.
  POL old = estimate(3, 2000, 320, 0, 0);
  old.NOPO = 9;
  add("POLI", old);
  onList([](BrowseProcedure& b) { b.accepted("?REIMPRIME"); });
  host.actions.push_back([](Procedure& p) {
    static_cast<BrowseProcedure&>(p).rowClicked(2);
    p.accepted("?SELECT:2");
  });
  clerk(4);  // CAP_BAN too
  onList([](BrowseProcedure& b) { b.accepted("?CLOSE"); });
  host.log.clear();
  run();
  EXPECT_TRUE(opened("CAP_BAN"));
  ASSERT_EQ(cheques.size(), 4u);
  EXPECT_NE(cheques[3].find("2,320.00"), std::string::npos) << cheques[3];
}

TEST_F(PolPagRights, AnEstimateThatPaysNothingOrLessIsNeitherPostedNorPrinted) {
  books();
  add("POLI", estimate(1, 0, 0, 0, 0));             // no lines: 0.00
  add("POLI", estimate(2, 1000, -80, 0, 0, 1500));  // payroll above it: -580.00
  POL legacy = estimate(3, 1000, -80, 0, 0, 1500);  // posted before the rule
  legacy.NOPO = 1;
  add("POLI", legacy);

  PostingOutcome out;
  EXPECT_FALSE(postEstimate(ctx, input(1), &out).ok());
  EXPECT_EQ(out.step, PostingStep::NothingToPay);
  ASSERT_EQ(out.messages.size(), 1u);
  EXPECT_EQ(out.messages[0],
            (Lines3{"EL IMPORTE A PAGAR DEBE SER MAYOR A CERO", "ESTIMACION 1: $0.00",
                    "NO SE GENERA LA POLIZA NI EL CHEQUE"}));
  EXPECT_FALSE(postEstimate(ctx, input(2), &out).ok());
  EXPECT_EQ(out.step, PostingStep::NothingToPay);
  ASSERT_EQ(out.messages.size(), 1u);
  EXPECT_EQ(out.messages[0][1], "ESTIMACION 2: $-580.00");

  // From the window: told before any bank is asked for; the reprint of one
  // posted before refuses its cheque too.
  onList([](BrowseProcedure& b) {
    b.rowClicked(1);
    b.accepted("?GENERA");
  });
  clerk(4);
  onList([](BrowseProcedure& b) { b.accepted("?REIMPRIME"); });
  clerk(4);
  onList([](BrowseProcedure& b) { b.accepted("?CLOSE"); });
  run();
  ASSERT_EQ(host.warnings.size(), 2u);
  EXPECT_EQ(host.warnings[0][1], "ESTIMACION 2: $-580.00");
  EXPECT_EQ(host.warnings[1][1], "ESTIMACION 3: $-580.00");
  EXPECT_EQ(host.warnings[1][2], "NO SE IMPRIME EL CHEQUE");
  EXPECT_FALSE(opened("CAP_BAN"));
  EXPECT_FALSE(opened("PREP_CHEQUE"));
  EXPECT_TRUE(host.documentRunner.shown.empty());
  EXPECT_TRUE(cheques.empty());

  EXPECT_TRUE(all<POA>("POLMES").empty());
  EXPECT_TRUE(all<DEA>("DETMES").empty());
  for (const POL& p : all<POL>("POLI")) EXPECT_EQ(p.NOPO, p.CTA == 3 ? 1 : 0) << p.CTA;
  EXPECT_EQ(all<BAN>("BANC")[0].SALD, 500000);
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);
  for (const CUE& c : all<CUE>("CUEN"))
    for (std::size_t m = 0; m < 13; ++m) EXPECT_EQ(c.CARGOS[m] + c.ABONOS[m], 0) << c.DESC;
}

}  // namespace
}  // namespace velmora::accounting::test
