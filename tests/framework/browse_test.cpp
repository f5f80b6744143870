// The standard browse behaviour, driven as a user would through the test
// host, on a real file of fronts.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "framework/browse.h"
#include "framework/form.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

WindowDescription frontsWindow() {
  WindowDescription w;
  w.procedure = "CAP_TEST";
  w.title = "Frentes";
  Control list{ControlType::List, "?Browse:1", "", "", "", "", "", {}, {}};
  list.columns = {{"CTA", "FRE:CTA", "@n_6", 6, 'R', false},
                  {"NOMBRE", "FRE:NOMB", "@s40", 40, 'L', true}};
  w.controls = {
      list,
      {ControlType::Sheet, "?CURRENTTAB", "", "", "", "", "", {}, {}},
      {ControlType::Tab, "?TAB1", "x Cuenta", "", "", "?CURRENTTAB", "", {}, {}},
      {ControlType::Tab, "?TAB2", "x Nombre", "", "", "?CURRENTTAB", "", {}, {}},
      {ControlType::Button, "?SELECT:2", "&Selecciona", "", "", "", "", {}, {}},
      {ControlType::Button, "?VIEW", "&Ver", "", "", "", "", {}, {}},
      {ControlType::Button, "?INSERT:3", "&Alta", "", "", "", "", {}, {}},
      {ControlType::Button, "?CHANGE:3", "&Cambia", "", "", "", "", {}, {}},
      {ControlType::Button, "?DELETE:3", "&Borra", "", "", "", "", {}, {}},
      {ControlType::Button, "?CLOSE", "C&ierra", "", "", "", "", {}, {}},
  };
  return w;
}

std::vector<BrowseTab> frontTabs() {
  BrowseTab byNumber;
  byNumber.key = "FRE:CTA_KEY";
  BrowseTab byName;
  byName.key = "FRE:NOM_KEY";
  byName.locator = LocatorKind::Step;
  byName.locatorField = "FRE:NOMB";
  return {byNumber, byName};
}

// Stands in for the update form: records what it was asked and acts on the
// shared buffer as a form would.
struct FakeForm : Procedure {
  FakeForm(Program& p, db::Context& c, std::vector<std::pair<int, int>>& calls)
      : Procedure(p, c, WindowDescription{"UP_TEST", "Frente", {}, true}), calls_(calls) {}
  bool init() override {
    db::Table& t = table("FREN");
    calls_.emplace_back(wm_.request, t.rec<FRE>().CTA);
    if (wm_.request == request::Insert) {
      t.rec<FRE>().CTA = 99;
      t.rec<FRE>().NOMB = "NUEVO";
      wm_.response = t.add() ? response::Completed : response::Cancelled;
    } else if (wm_.request == request::Delete) {
      wm_.response = t.remove() ? response::Completed : response::Cancelled;
    } else {
      wm_.response = response::Cancelled;
    }
    return false;  // no window of its own
  }
  std::vector<std::pair<int, int>>& calls_;
};

class Browse : public ::testing::Test {
 protected:
  void SetUp() override {
    storage.setFileName(*dict::findTable("FREN"), folder.file("OBRA8.TPS"));
    messages.setHost(&host);
    program.addProcedure("UP_TEST", [this](Program& p, db::Context& c) {
      return std::make_unique<FakeForm>(p, c, calls);
    });
    db::Context setup(storage);
    db::Table& t = setup.table("FREN");
    ASSERT_TRUE(t.open().ok());
    const char* names[] = {"ACCESO", "BARDA", "BODEGA", "BOMBEO", "CASETA",
                           "PUENTE", "TUNEL", "ZANJA",  "BASE"};
    for (int i = 0; i < 9; ++i) {
      t.clear();
      t.rec<FRE>().CTA = i + 1;
      t.rec<FRE>().NOMB = names[i];
      ASSERT_TRUE(t.add().ok());
    }
  }
  std::unique_ptr<BrowseProcedure> browse(int entry = 0) {
    return std::make_unique<BrowseProcedure>(program, ctx, frontsWindow(), "FREN", "UP_TEST",
                                             frontTabs(), entry);
  }
  void emptyTheFile() {
    db::Context c(storage);
    db::Table& t = c.table("FREN");
    ASSERT_TRUE(t.open().ok());
    ASSERT_TRUE(t.setStart(nullptr).ok());
    while (t.next().ok()) ASSERT_TRUE(t.remove().ok());
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  db::Context ctx{storage, 0};
  test::TestHost host;
  std::vector<std::pair<int, int>> calls;
};

TEST_F(Browse, DoubleClickSelectsWhileSelectingAndChangesOtherwise) {
  auto b = browse();
  host.actions.push_back([](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    EXPECT_TRUE(br.state("?SELECT:2").enabled);
    EXPECT_FALSE(br.state("?SELECT:2").hidden);
    br.rowDoubleClicked(2);
  });
  program.request = request::Select;
  EXPECT_EQ(b->run(host), response::Completed);
  EXPECT_EQ(ctx.table("FREN").rec<FRE>().CTA, 3);  // the record in the buffer
  EXPECT_TRUE(calls.empty());

  auto m = browse();
  host.actions.push_back([](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    EXPECT_TRUE(br.state("?SELECT:2").hidden);  // not selecting: hidden and off
    EXPECT_FALSE(br.state("?SELECT:2").enabled);
    br.rowDoubleClicked(4);
  });
  host.press("?CLOSE");
  EXPECT_EQ(m->run(host), response::Completed);  // a maintenance browse closes with 1
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], std::make_pair(request::Change, 5));

  // Called to choose with a value in the buffer (as a lookup leaves it), the
  // list opens on that record.
  auto at = browse();
  host.actions.push_back([](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    ASSERT_GE(br.view().selected(), 0);
    EXPECT_EQ(br.cell(br.view().selected(), 0), "     7");
    p.keyPressed(Key::Enter);
  });
  ctx.table("FREN").clear();
  ctx.table("FREN").rec<FRE>().CTA = 7;
  program.request = request::Select;
  EXPECT_EQ(at->run(host), response::Completed);
  EXPECT_EQ(ctx.table("FREN").rec<FRE>().CTA, 7);

  // While selecting, Enter chooses the highlighted row.
  auto e = browse();
  host.actions.push_back([](Procedure& p) {
    static_cast<BrowseProcedure&>(p).rowClicked(5);
    p.keyPressed(Key::Enter);
  });
  program.request = request::Select;
  EXPECT_EQ(e->run(host), response::Completed);
  EXPECT_EQ(ctx.table("FREN").rec<FRE>().CTA, 6);

  // A selecting browse closed with Cierra returns 2.
  auto s = browse();
  host.press("?CLOSE");
  program.request = request::Select;
  EXPECT_EQ(s->run(host), response::Cancelled);
}

TEST_F(Browse, AStaleDeleteNeverRemovesAnotherStationsRecord) {
  // Another station works on the same file while this one shows its page.
  db::Context theirs(storage, 1);
  db::Table& t = theirs.table("FREN");
  ASSERT_TRUE(t.open().ok());
  auto onRecord = [&](int cta) {
    t.clear();
    t.rec<FRE>().CTA = cta;
    ASSERT_TRUE(t.get("FRE:CTA_KEY").ok());
  };
  auto b = browse();
  host.actions.push_back([&](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    // The last record is deleted there and a new one added: it must not
    // take the deleted one's position, nor be deleted from here.
    br.rowClicked(8);
    onRecord(9);
    const std::int64_t was = t.position();
    ASSERT_TRUE(t.remove().ok());
    t.clear();
    t.rec<FRE>().CTA = 10;
    t.rec<FRE>().NOMB = "NUEVO ALLA";
    ASSERT_TRUE(t.add().ok());
    EXPECT_GT(t.position(), was);
    br.accepted("?DELETE:3");
    // A record changed there since the page was read is not deleted either.
    br.rowClicked(0);
    onRecord(1);
    t.rec<FRE>().NOMB = "CAMBIADO ALLA";
    ASSERT_TRUE(t.put().ok());
    br.accepted("?DELETE:3");
    // Once the page shows it as it is, it can be deleted.
    br.rowClicked(0);
    br.accepted("?DELETE:3");
  });
  host.press("?CLOSE");
  b->run(host);
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[0].title, "Registro no fue Actualizado");
  EXPECT_EQ(host.boxes[1].title, "Registro no fue Actualizado");
  ASSERT_EQ(calls.size(), 1u);  // only the last delete reached the form
  onRecord(10);
  EXPECT_EQ(t.rec<FRE>().NOMB, "NUEVO ALLA");
  t.clear();
  t.rec<FRE>().CTA = 1;
  EXPECT_EQ(t.get("FRE:CTA_KEY").code, err::RecordNotFound);
}

TEST_F(Browse, KeysPopupAndEnablingFollowTheList) {
  auto b = browse();
  host.actions.push_back([this](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    br.keyPressed(Key::Insert);  // the form adds front 99, shown selected
    const auto& row = br.view().rows()[std::size_t(br.view().selected())];
    EXPECT_EQ(row.record.as<FRE>().CTA, 99);
    br.keyPressed(Key::CtrlEnter);
    br.keyPressed(Key::ShiftEnter);
    br.keyPressed(Key::Delete);
    EXPECT_EQ(calls.size(), 4u);
    std::vector<std::string> items;
    for (const auto& i : br.popup()) items.push_back(i.caption + (i.enabled ? "+" : "-"));
    EXPECT_EQ(items, (std::vector<std::string>{"Alta+", "Cambia+", "Borra+", "Ver+"}));
    br.rightButtonReleased(1);
    br.popupChosen("Cambia");
    EXPECT_EQ(calls.back(), std::make_pair(request::Change, 2));
    br.accepted("?CLOSE");
  });
  b->run(host);
  EXPECT_EQ(calls[0].first, request::Insert);
  EXPECT_EQ(calls[1].first, request::Change);
  EXPECT_EQ(calls[2].first, request::View);
  EXPECT_EQ(calls[3], std::make_pair(request::Delete, 99));

  // An empty list: change, delete and view are off, and their keys do nothing.
  emptyTheFile();
  calls.clear();
  auto e = browse();
  host.actions.push_back([this](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    EXPECT_FALSE(br.state("?DELETE:3").enabled);
    EXPECT_FALSE(br.state("?CHANGE:3").enabled);
    EXPECT_FALSE(br.state("?VIEW").enabled);
    EXPECT_TRUE(br.state("?INSERT:3").enabled);
    br.keyPressed(Key::Delete);
    br.keyPressed(Key::CtrlEnter);
    br.rowDoubleClicked(0);
    EXPECT_TRUE(calls.empty());
    std::vector<std::string> items;
    for (const auto& i : br.popup()) items.push_back(i.caption + (i.enabled ? "+" : "-"));
    EXPECT_EQ(items, (std::vector<std::string>{"Alta+", "Cambia-", "Borra-", "Ver-"}));
    br.accepted("?CLOSE");
  });
  e->run(host);
}

TEST_F(Browse, ViewModeAndTheUsersLevelDisableWhatTheyRefuse) {
  auto v = browse();
  host.actions.push_back([this](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    EXPECT_TRUE(br.state("?INSERT:3").hidden);
    br.keyPressed(Key::Insert);
    br.keyPressed(Key::Delete);
    EXPECT_TRUE(calls.empty());
    br.keyPressed(Key::ShiftEnter);  // viewing is still allowed
    EXPECT_EQ(calls.size(), 1u);
    br.accepted("?CLOSE");
  });
  program.request = request::View;
  v->run(host);

  // Level 1 only looks, 2 adds, 3 also changes and deletes, at the entry of
  // the form: what the level refuses is disabled and nothing is called; its
  // keys, double-click and popup items say why (four points for a change at
  // level 2).
  program.rights.user = 3;
  program.addProcedure("UP_REAL", [](Program& p, db::Context& c) {
    WindowDescription w{"UP_REAL", "Frente", {}, true};
    w.controls = {makeControl(ControlType::Entry, "?FRE:NOMB", "", "FRE:NOMB", "@s40"),
                  makeControl(ControlType::Button, "?OK", "OK"),
                  makeControl(ControlType::Button, "?CANCEL", "Cancela")};
    return std::make_unique<FormProcedure>(p, c, std::move(w), "FREN", 7);
  });
  for (auto [level, offered] : {std::pair{1, "Alta- Cambia- Borra- Ver+"},
                                {2, "Alta+ Cambia- Borra- Ver+"},
                                {3, "Alta+ Cambia+ Borra+ Ver+"}}) {
    program.rights.levels[6] = std::uint8_t(level);  // entry 7
    BrowseProcedure b(program, ctx, frontsWindow(), "FREN", "UP_REAL", frontTabs());
    host.log.clear();
    host.actions.push_back([&, level](Procedure& p) {
      auto& br = static_cast<BrowseProcedure&>(p);
      std::string items;
      for (const auto& i : br.popup())
        items += (items.empty() ? "" : " ") + i.caption + (i.enabled ? "+" : "-");
      EXPECT_EQ(items, offered) << "level " << level;
      if (level < 3) {
        br.keyPressed(Key::Delete);
        br.keyPressed(Key::CtrlEnter);
        br.rowDoubleClicked(0);
        br.popupChosen("Borra");
        br.accepted("?CHANGE:3");
        br.selectTab(2);  // the list is filled again; the rules stay
        EXPECT_FALSE(br.state("?DELETE:3").enabled);
        EXPECT_EQ(br.state("?INSERT:3").enabled, level == 2);
      }
      br.accepted("?CLOSE");
    });
    host.warnings.clear();
    b.run(host);
    if (level == 3) {
      EXPECT_EQ(host.log.size(), 2u) << host.log.back();  // opened and closed, nothing else
      EXPECT_TRUE(host.warnings.empty());
      continue;
    }
    // Delete, Ctrl+Enter, double-click, "Borra": four refusals; the disabled
    // button itself stays silent.
    ASSERT_EQ(host.warnings.size(), 4u) << "level " << level;
    for (const WarningLines& w : host.warnings) {
      EXPECT_EQ(w[0], "NO TIENE ACCESO A ESTE PROGRAMA");
      EXPECT_EQ(w[1], "VERIFIQUE SUS ACCESOS AL SISTEMA");
    }
    EXPECT_EQ(host.warnings[0][2], "CON Ok CONTINUA...");  // the delete
    EXPECT_EQ(host.warnings[1][2], level == 2 ? "CON Ok CONTINUA...." : "CON Ok CONTINUA...");
  }
  // Level 1: the Insert key says so too.
  host.warnings.clear();
  program.rights.levels[6] = 1;
  BrowseProcedure one(program, ctx, frontsWindow(), "FREN", "UP_REAL", frontTabs());
  host.actions.push_back([](Procedure& p) {
    p.keyPressed(Key::Insert);
    p.accepted("?CLOSE");
  });
  one.run(host);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0][0], "NO TIENE ACCESO A ESTE PROGRAMA");
  host.warnings.clear();

  // The browse's own entry rules its deletes, whatever the form.
  program.rights.levels[6] = 2;
  auto d = browse(7);
  host.actions.push_back([](Procedure& p) {
    EXPECT_FALSE(p.state("?DELETE:3").enabled);
    EXPECT_TRUE(p.state("?INSERT:3").enabled);
    p.accepted("?CLOSE");
  });
  d->run(host);

  // A browse without an entry of its own, and a form that checks none: every
  // user deletes.
  calls.clear();
  program.rights.levels[6] = 1;
  auto free = browse(0);
  host.press("?DELETE:3");
  host.press("?CLOSE");
  free->run(host);
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_TRUE(host.warnings.empty());
}

// Help is on every browse and opens the window's section of the manual;
// a window the manual does not describe opens its contents.
TEST_F(Browse, HelpOpensTheWindowsSectionOfTheManual) {
  test::TempFolder manual;
  std::ofstream(manual.file("index.html")) << "<h1>Manual</h1>";
  std::ofstream(manual.file("ventanas.txt"))
      << "MANTENIMIENTO ventanas.html\nCAP_TEST dudore-x.html\nCAP_TEST vorovid-y.html\n";
  ::setenv("VELMORA_MANUAL", manual.path().string().c_str(), 1);
  auto b = browse();
  ASSERT_NE(b->window().find("?HELP"), nullptr);
  EXPECT_EQ(b->window().controls.back().id, "?HELP");
  host.press("?HELP");
  host.actions.push_back([](Procedure& p) {
    EXPECT_FALSE(p.isClosing());
    p.accepted("?CLOSE");
  });
  b->run(host);
  // The program of this test is VOROVID: its own page, not DUDORE's.
  EXPECT_EQ(host.documentRunner.helps, std::vector<std::string>{"vorovid-y.html#CAP_TEST"});
  std::ofstream(manual.file("ventanas.txt")) << "MANTENIMIENTO ventanas.html\n";
  host.documentRunner.helps.clear();
  b = browse();
  host.press("?HELP");
  host.actions.push_back([](Procedure& p) { p.accepted("?CLOSE"); });
  b->run(host);
  ::unsetenv("VELMORA_MANUAL");
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(host.documentRunner.helps, std::vector<std::string>{"index.html#"});
  EXPECT_TRUE(calls.empty());
}

TEST_F(Browse, GreenBarAndStepLocatorAndTabs) {
  auto b = browse();
  host.actions.push_back([](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    br.view().setPageRows(7);
    (void)br.view().top();
    std::vector<int> green;
    for (int r = 0; r < 7; ++r) {
      EXPECT_EQ(br.colours(r, 0).normalBg, -1);  // not a coloured column
      if (br.colours(r, 1).normalBg == kGreenBar) green.push_back(r + 1);
      EXPECT_EQ(br.colours(r, 1).selectedBg, -1);
    }
    EXPECT_EQ(green, (std::vector<int>{1, 3, 5, 7}));
    EXPECT_EQ(br.cell(0, 0), "     1");
    EXPECT_EQ(br.cell(0, 1), "ACCESO");
    auto length = [](const std::string& s) { return int(s.size()); };
    EXPECT_EQ(br.bestFit(1, length), -1);  // this list did not register
    br.allowBestFit();
    EXPECT_EQ(br.bestFit(1, length),
              6);  // "ACCESO", "BARDA" ... "BOMBEO", "CASETA", "PUENTE", "BASE"

    // By name, typing B walks through the fronts that begin with B.
    br.selectTab(2);
    auto current = [&] {
      return br.view().rows()[std::size_t(br.view().selected())].record.as<FRE>().NOMB;
    };
    EXPECT_EQ(current(), "ACCESO");
    std::vector<std::string> walk;
    for (int i = 0; i < 5; ++i) {
      br.typedCharacter("B");
      walk.push_back(current());
    }
    EXPECT_EQ(walk, (std::vector<std::string>{"BARDA", "BASE", "BODEGA", "BOMBEO", "BARDA"}));
    br.typedCharacter("T");
    EXPECT_EQ(current(), "TUNEL");

    // A header click sorts by the column, a second click reverses it, and a
    // new tab forgets it.
    br.selectTab(1);
    auto firstNames = [&] {
      std::vector<std::string> out;
      for (const auto& r : br.view().rows()) out.push_back(r.record.as<FRE>().NOMB);
      return out;
    };
    br.headerClicked(1);
    EXPECT_EQ(firstNames(), (std::vector<std::string>{"ACCESO", "BARDA", "BASE", "BODEGA", "BOMBEO",
                                                      "CASETA", "PUENTE"}));
    br.headerClicked(1);
    EXPECT_EQ(firstNames().front(), "ZANJA");
    br.keyPressed(Key::CtrlEnd);
    EXPECT_EQ(firstNames().back(), "ACCESO");
    br.keyPressed(Key::Insert);  // the new front appears in the sorted list
    EXPECT_EQ(br.view().rows()[std::size_t(br.view().selected())].record.as<FRE>().NOMB, "NUEVO");
    br.selectTab(2);
    br.selectTab(1);
    EXPECT_EQ(br.view().rows().front().record.as<FRE>().CTA, 1);
    br.accepted("?CLOSE");
  });
  b->run(host);
  EXPECT_EQ(b->currentTab(), 1);
}

}  // namespace
}  // namespace velmora

#include "framework/maintenance.h"

namespace velmora {
namespace {

TEST_F(Browse, IncrementalLocatorOfTheMaintenanceList) {
  auto b = makeMaintenanceBrowse(program, ctx, *dict::findTable("FREN"));
  host.actions.push_back([](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    EXPECT_EQ(p.window().tabs().size(), 2u);  // one tab per key
    br.selectTab(2);
    auto current = [&] {
      return br.view().rows()[std::size_t(br.view().selected())].record.as<FRE>().NOMB;
    };
    br.typedCharacter("B");
    br.typedCharacter("O");
    EXPECT_EQ(br.locatorText(), "BO");
    EXPECT_EQ(current(), "BODEGA");
    br.typedCharacter("M");
    EXPECT_EQ(current(), "BOMBEO");
    br.keyPressed(Key::Backspace);
    br.keyPressed(Key::Backspace);
    EXPECT_EQ(br.locatorText(), "B");
    EXPECT_EQ(current(), "BARDA");
    br.typedCharacter(" ");  // a space is a character like any other
    EXPECT_EQ(br.locatorText(), "B ");
    br.selectTab(1);
    EXPECT_EQ(br.locatorText(), "");  // a new tab starts a new search
    br.accepted("?CLOSE");
  });
  EXPECT_EQ(b->run(host), response::Completed);
}

}  // namespace
}  // namespace velmora
