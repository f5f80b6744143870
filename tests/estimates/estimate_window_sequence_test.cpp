// Random sequences of what a clerk does in the estimates list, through its
// windows as the test host drives them: Alta with lines chosen in the
// item lookup and figured from one of the three inputs, final amounts
// with or without payroll and a loan, Cambia with a line taken out or
// added, Cambia and Cancela, Borra, advances and fund returns. The list
// stays open the whole time, so its closing audit hides nothing: after
// every single step the files must already be what the audit would make
// them.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "estimates/estimates.h"
#include "framework/browse.h"
#include "tests/estimates/estimate_work.h"
#include "tests/support/test_host.h"

namespace velmora::estimates {
namespace {

using Act = std::function<void(Procedure&)>;

class EstimateWindows : public test::EstimateWork {
 protected:
  void SetUp() override {
    EstimateWork::SetUp();
    for (const char* v : {"SUM1", "SUM2", "SUM3", "TOT1", "TOT2"})
      if (!program.hasVar(v)) program.declare(v, Value(0.0));
    addProcedures(program);
    messages.setHost(&host);
  }

  // An action for `window` only: one left over after a refusal closed the
  // window it was meant for does nothing.
  static Act in(std::string window, std::function<void(Procedure&)> f) {
    return [w = std::move(window), f = std::move(f)](Procedure& p) {
      if (p.name() == w) f(p);
    };
  }
  static Act press(std::string window, std::string control) {
    return in(std::move(window), [c = std::move(control)](Procedure& p) { p.accepted(c); });
  }
  static Act type(std::string window, std::string control, std::string text) {
    return in(std::move(window), [c = std::move(control), t = std::move(text)](Procedure& p) {
      (void)p.typed(c, t);
      p.accepted(c);
    });
  }
  // A window a refusal left open is closed as the clerk would.
  static Act closeIfOpen(std::string window) {
    return in(std::move(window), [](Procedure& p) { p.closeBox(); });
  }

  static std::string money(std::int64_t cents) { return Decimal::fromCents(cents).toString(); }

  // One line through UP_AVAN: the item chosen in BUSCA_PEST by its place
  // among the contractor's items, then one of the three inputs.
  void addLine(std::vector<Act>& acts, int row, std::mt19937& rng) {
    acts.push_back(press("UP_ESTI", "?ALTA"));
    acts.push_back(press("UP_AVAN", "?CALLLOOKUP"));
    acts.push_back(in("BUSCA_PEST", [row](Procedure& p) {
      auto& b = static_cast<BrowseProcedure&>(p);
      b.rowClicked(row);
      p.accepted("?SELECT:2");
    }));
    switch (rng() % 3) {
      case 0:
        acts.push_back(type("UP_AVAN", "?SUM3", money(1 + std::int64_t(rng() % 500000))));
        break;
      case 1:
        acts.push_back(type("UP_AVAN", "?ESM:FI", money(1 + std::int64_t(rng() % 6000))));
        break;
      default: acts.push_back(type("UP_AVAN", "?ESM:AC", money(1 + std::int64_t(rng() % 400))));
    }
    acts.push_back(press("UP_AVAN", "?OK"));
    acts.push_back(closeIfOpen("UP_AVAN"));
  }
  void finals(std::vector<Act>& acts, std::mt19937& rng) {
    acts.push_back(press("UP_ESTI", "?OK"));
    if (rng() % 4 == 0) acts.push_back(type("POLFIN", "?POL:NOMI", money(rng() % 20000)));
    if (rng() % 5 == 0) acts.push_back(type("POLFIN", "?POL:PRES", money(rng() % 100000)));
    acts.push_back(press("POLFIN", "?OK"));
    acts.push_back(closeIfOpen("POLFIN"));
    acts.push_back(closeIfOpen("UP_ESTI"));
  }
  // The list positioned on the folio, selected: the row the clerk then
  // acts on.
  static void locate(Procedure& p, std::int16_t folio) {
    auto& b = static_cast<BrowseProcedure&>(p);
    Record probe(POL::info());
    probe.as<POL>().CTA = folio;
    ASSERT_TRUE(b.view().locate(probe).ok());
    const auto& rows = b.view().rows();
    ASSERT_GE(b.view().selected(), 0);
    ASSERT_EQ(rows[std::size_t(b.view().selected())].record.as<POL>().CTA, folio);
  }

  // What the clerk does next, with the windows it opens; false when the
  // step has nothing to act on.
  bool step(Procedure& list, std::mt19937& rng, std::string& what) {
    const std::int16_t who = std::int16_t(1 + rng() % 2);
    const std::vector<double> items = itemsOf(who);
    std::vector<Act> acts;
    std::string button;
    switch (rng() % 7) {
      case 0:
      case 1: {
        what = "alta";
        button = "?INSERT:3";
        acts.push_back(type("UP_ESTI", "?POL:CONT", std::to_string(who)));
        for (int row = 0; row < int(items.size()); ++row)
          if (rng() % 2) addLine(acts, row, rng);
        finals(acts, rng);
        break;
      }
      case 2:
      case 3: {
        const auto last = lastOf(who);
        if (!last) return false;
        locate(list, last->CTA);
        button = "?CHANGE:3";
        if (rng() % 3 == 0) {
          what = "cambia y cancela";
          acts.push_back(press("UP_ESTI", "?CANCEL"));
          break;
        }
        what = "cambia";
        if (rng() % 2)
          acts.push_back(in("UP_ESTI", [](Procedure& p) {
            velmora::test::TestHost::list(p, "?LINEAS").rowClicked(0);
            p.accepted("?BAJA");
          }));
        addLine(acts, int(rng() % items.size()), rng);
        finals(acts, rng);
        break;
      }
      case 4: {
        const auto estimates = all<POL>("POLI");
        if (estimates.empty()) return false;
        what = "borra";
        locate(list, estimates[rng() % estimates.size()].CTA);
        button = "?DELETE:3";
        host.buttons.push_back(button::Yes);
        break;
      }
      default: {
        const bool advance = rng() % 2;
        what = advance ? "anticipo" : "devolucion de fondo";
        button = "?INSERT:3";
        acts.push_back(type("UP_ESTI", "?POL:CONT", std::to_string(who)));
        acts.push_back(type("UP_ESTI", "?TIES", advance ? "1" : "3"));
        acts.push_back(type("CAP_ANTI", advance ? "?TOT1" : "?TOT2",
                            money(1 + std::int64_t(rng() % 2500000))));
        acts.push_back(press("CAP_ANTI", "?OK"));
        acts.push_back(closeIfOpen("CAP_ANTI"));
        acts.push_back(press("UP_ESTI", "?OK"));
        acts.push_back(closeIfOpen("UP_ESTI"));
      }
    }
    for (auto a = acts.rbegin(); a != acts.rend(); ++a) host.actions.push_front(*a);
    list.accepted(button);
    // Every window it opened is closed again: what is left was meant for a
    // window a refusal closed early.
    host.actions.clear();
    host.buttons.clear();
    return true;
  }

  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  velmora::test::TestHost host;
};

// On table files and on a work kept on the server.
class EstimateWindowsOn : public EstimateWindows,
                          public ::testing::WithParamInterface<velmora::test::BackEnd> {
 protected:
  bool onServer() const override { return GetParam() == velmora::test::BackEnd::Server; }
};

TEST_P(EstimateWindowsOn, EveryStepThroughTheWindowsLeavesTheTotalsTheAuditWouldRebuild) {
  work();
  int steps = 0;
  std::size_t warnings = 0;
  for (unsigned seed : {7u, 19u}) {
    std::mt19937 rng(seed);
    int done = 0;
    host.actions.push_back([&](Procedure& list) {
      ASSERT_EQ(list.name(), "CAP_EST");
      while (done < 40) {
        std::string what;
        if (!step(list, rng, what)) continue;
        ++done, ++steps;
        check("semilla " + std::to_string(seed) + " paso " + std::to_string(done) + " " + what);
        if (::testing::Test::HasFailure()) return;
      }
    });
    program.request = request::None;
    program.make("CAP_EST", ctx)->run(host);
    if (HasFailure()) {
      for (const std::string& l : host.log) ADD_FAILURE() << l;
      return;
    }
    warnings += host.warnings.size();
  }
  EXPECT_EQ(steps, 80);
  // The clerk was refused now and then (past the budget, an advance too
  // large), and saved most of the time.
  EXPECT_GT(warnings, 5u);
  EXPECT_GT(all<POL>("POLI").size(), 10u);
}

// UP_ESTI on its own: a level-5 user is reminded of the policy on a new
// estimate too; a contractor number that names nobody does not stay in the
// field once its lookup is closed; OK without lines is refused where the
// lines are, and POLFIN never opens.
TEST_P(EstimateWindowsOn, TheFormWarnsAndRefusesBeforeAnythingIsWritten) {
  work();
  program.rights.user = 1;
  program.rights.levels.fill(5);
  ctx.table("POLI").clear();
  host.actions.push_back(type("UP_ESTI", "?POL:CONT", "99"));
  host.actions.push_back(closeIfOpen("CAP_DEST"));
  host.actions.push_back(in("UP_ESTI", [](Procedure& p) {
    EXPECT_EQ(number(p.value("POL:CONT")), 0);
    (void)p.typed("?POL:CONT", "1");
    p.accepted("?POL:CONT");
    p.accepted("?OK");
  }));
  host.actions.push_back(press("UP_ESTI", "?CANCEL"));
  program.request = request::Insert;
  program.make("UP_ESTI", ctx)->run(host);
  std::vector<std::string> first;
  for (const WarningLines& w : host.warnings) first.push_back(w[0]);
  EXPECT_EQ(first, (std::vector<std::string>{"SI HACE ALGUN CAMBIO A LA ESTIMACION",
                                             "EL CONTRATISTA NO EXISTE",
                                             "LA ESTIMACION NO TIENE CONCEPTOS"}));
  EXPECT_EQ(host.focused, "?LINEAS");
  EXPECT_EQ(std::count(host.log.begin(), host.log.end(), "abre POLFIN"), 0);
  EXPECT_TRUE(all<POL>("POLI").empty());
}

// Closing the list runs the audit as a safety net, but only for a user who
// may change the work: one who may only look writes nothing.
TEST_P(EstimateWindowsOn, ClosingTheListAuditsOnlyForAUserWhoMayChangeTheWork) {
  work();
  auto scramble = [&] {
    db::Context c(storage, 95);
    db::Table& cont = c.table("CONT");
    ASSERT_TRUE(cont.open().ok());
    cont.rec<CTR>().CTA = 1;
    ASSERT_TRUE(cont.get("CTR:CTA_KEY").ok());
    cont.rec<CTR>().TPAG = 12345;
    ASSERT_TRUE(cont.put().ok());
  };
  auto openAndClose = [&](int level) {
    program.rights.user = 2;
    program.rights.levels.fill(level);
    host.log.clear();
    program.request = request::None;
    program.make("CAP_EST", ctx)->run(host);
  };
  scramble();
  openAndClose(1);
  EXPECT_EQ(std::count(host.log.begin(), host.log.end(), "inicia AUDITORIA"), 0);
  EXPECT_EQ(all<CTR>("CONT")[0].TPAG, 12345);
  openAndClose(2);
  EXPECT_EQ(std::count(host.log.begin(), host.log.end(), "inicia AUDITORIA"), 1);
  EXPECT_EQ(all<CTR>("CONT")[0].TPAG, 0);
}

INSTANTIATE_TEST_SUITE_P(, EstimateWindowsOn,
                         ::testing::Values(velmora::test::BackEnd::Files,
                                           velmora::test::BackEnd::Server),
                         velmora::test::backEndName);

}  // namespace
}  // namespace velmora::estimates
