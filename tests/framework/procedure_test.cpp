// The life of a window procedure, the request and response protocol, modal
// calls and started procedures, entries through their pictures, and the
// access checks, driven by the test host.

#include <gtest/gtest.h>

#include <fstream>

#include "framework/access.h"
#include "framework/procedure.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

WindowDescription smallWindow(std::string name) {
  WindowDescription w;
  w.procedure = std::move(name);
  w.title = "Prueba";
  w.controls = {
      {ControlType::Prompt, "?PROMPT1", "&Importe:", "", "", "", "", {}, {}},
      {ControlType::Entry, "?TOTAL", "", "TOTAL", "@n14.2", "", "", {}, {}},
      {ControlType::Entry, "?FRE:CTA", "", "FRE:CTA", "@n_6", "", "", {}, {}},
      {ControlType::Button, "?CALL", "&Llama", "", "", "", "", {}, {}},
      {ControlType::Button, "?OK", "&Aceptar", "", "", "", "", {}, {}},
      {ControlType::Button, "?CANCEL", "Cancela", "", "", "", "", {}, {}},
  };
  return w;
}

// A plain procedure: OK completes, Cancela cancels, Llama calls another.
class Sample : public Procedure {
 public:
  Sample(Program& p, db::Context& c, std::string name = "SAMPLE", int entry = 0)
      : Procedure(p, c, smallWindow(name)), entry_(entry) {
    uses("FREN");
  }
  std::string callee = "OTHER";
  int calleeRequest = request::Change;
  int calleeResponse = -1;
  int seenRequest = -1;
  std::string procedureDuringInit;

 protected:
  bool init() override {
    seenRequest = wm_.request;
    procedureDuringInit = program_.messages().currentProcedure(ctx_.thread());
    if (entry_ && !checkAccess(entry_)) return false;
    return Procedure::init();
  }
  void onAccepted(const std::string& c) override {
    if (c == "?OK") close(response::Completed);
    if (c == "?CANCEL") close(response::Cancelled);
    if (c == "?CALL") calleeResponse = call(callee, calleeRequest);
  }

 private:
  int entry_;
};

class Procedures : public ::testing::Test {
 protected:
  void SetUp() override {
    storage.setFileName(*dict::findTable("FREN"), folder.file("OBRA8.TPS"));
    program.declare("TOTAL", Value(std::string()));
    program.addProcedure("OTHER", [this](Program& p, db::Context& c) {
      auto s = std::make_unique<Sample>(p, c, "OTHER");
      others.push_back(s.get());
      return s;
    });
    messages.setHost(&host);
  }
  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  db::Context ctx{storage, 0};
  test::TestHost host;
  std::vector<Sample*> others;
};

TEST_F(Procedures, RequestIsHandedOverAndResponseComesBack) {
  Sample s(program, ctx);
  host.press("?CALL");  // the callee takes the next actions
  host.actions.push_back([this](Procedure& p) {
    // Inside the callee: the same thread context, its name registered.
    EXPECT_EQ(p.name(), "OTHER");
    EXPECT_EQ(messages.currentProcedure(ctx.thread()), "OTHER");
    EXPECT_EQ(program.request, request::None);  // copied and cleared on entry
    p.accepted("?OK");
  });
  host.press("?CANCEL");
  program.request = request::Select;
  int r = s.run(host);
  EXPECT_EQ(r, response::Cancelled);
  EXPECT_EQ(s.seenRequest, request::Select);
  EXPECT_EQ(s.wm().originalRequest, request::Select);
  EXPECT_EQ(s.procedureDuringInit, "SAMPLE");
  ASSERT_EQ(others.size(), 1u);
  EXPECT_EQ(others[0]->seenRequest, request::Change);
  EXPECT_EQ(s.calleeResponse, response::Completed);
  EXPECT_EQ(host.log, (std::vector<std::string>{"abre SAMPLE", "abre OTHER", "cierra OTHER 1",
                                                "cierra SAMPLE 2"}));
  EXPECT_EQ(messages.currentProcedure(ctx.thread()), "");  // unregistered by kill
  EXPECT_FALSE(ctx.table("FREN").isOpen());                // closed by kill

  // A procedure the program does not know: message 27 names it.
  Sample t(program, ctx);
  t.callee = "NOEXISTE";
  host.press("?CALL");
  host.press("?OK");
  EXPECT_EQ(t.run(host), response::Completed);
  EXPECT_EQ(t.calleeResponse, response::Cancelled);
  ASSERT_FALSE(host.boxes.empty());
  EXPECT_EQ(host.boxes.back().title, "Procedimiento no definido");
  EXPECT_EQ(host.boxes.back().text, "El Procedimiento NOEXISTE no fue definido.");
}

TEST_F(Procedures, ModalCallsShareBuffersAndStartedOnesHaveTheirOwn) {
  Sample s(program, ctx);
  host.actions.push_back([](Procedure& p) {
    ASSERT_TRUE(p.typed("?FRE:CTA", "  12").ok());
    p.accepted("?CALL");
  });
  host.actions.push_back([](Procedure& p) {
    EXPECT_EQ(std::get<std::int64_t>(p.value("FRE:CTA")), 12);  // the caller's buffer
    p.accepted("?OK");
  });
  host.actions.push_back([this](Procedure& p) {
    program.addProcedure("STARTED", [](Program& pr, db::Context& c) {
      return std::make_unique<Sample>(pr, c, "STARTED");
    });
    host.actions.push_front([](Procedure& started) {
      EXPECT_EQ(started.name(), "STARTED");
      EXPECT_NE(started.context().thread(), 0);
      EXPECT_EQ(std::get<std::int64_t>(started.value("FRE:CTA")), 0);  // buffers of its own
      started.accepted("?OK");
    });
    p.start("STARTED");
    p.accepted("?OK");
  });
  EXPECT_EQ(s.run(host), response::Completed);
  EXPECT_EQ(host.started.size(), 1u);
}

TEST_F(Procedures, EntriesParseThroughTheirPictures) {
  Sample s(program, ctx);
  host.actions.push_back([this](Procedure& p) {
    EXPECT_TRUE(p.typed("?TOTAL", "1,234.5").ok());
    EXPECT_EQ(std::get<double>(program.var("TOTAL")), 1234.5);
    EXPECT_EQ(p.display("?TOTAL"), "      1,234.50");
    Status st = p.typed("?TOTAL", "12a");
    EXPECT_EQ(st.code, err::ValueRefused);
    EXPECT_EQ(std::get<double>(program.var("TOTAL")), 1234.5);  // unchanged
    EXPECT_FALSE(p.typed("?FRE:CTA", "1234567").ok());          // too wide for @n_6
    EXPECT_EQ(p.display("?FRE:CTA"), "     0");
    p.accepted("?OK");
  });
  s.run(host);
  // A disabled or hidden control takes no press.
  Sample t(program, ctx);
  host.actions.push_back([](Procedure& p) {
    p.disable("?OK");
    p.accepted("?OK");
    EXPECT_FALSE(p.isClosing());
    p.enable("?OK");
    p.hide("?OK");
    p.accepted("?OK");
    EXPECT_FALSE(p.isClosing());
    p.unhide("?OK");
    p.accepted("?OK");
  });
  EXPECT_EQ(t.run(host), response::Completed);
}

TEST_F(Procedures, ATableThatCannotOpenStopsTheWindow) {
  std::ofstream(folder.file("OBRA8.TPS")) << std::string(4096, '!');
  Sample s(program, ctx);
  EXPECT_EQ(s.run(host), response::Cancelled);
  EXPECT_EQ(host.log.size(), 1u) << "no window opened";
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Error de Acceso");
  EXPECT_NE(host.boxes[0].text.find("Archivo (FREN) no pudo ser abierto."), std::string::npos);
}

TEST_F(Procedures, AccessLevelsOfAWindowEntry) {
  program.rights.user = 7;
  auto attempt = [&](int level, int req) {
    program.rights.levels[4] = std::uint8_t(level);  // entry 5
    host.warnings.clear();
    host.press("?OK");
    Sample s(program, ctx, "SAMPLE", 5);
    program.request = req;
    int r = s.run(host);
    host.actions.clear();
    return r == response::Completed ? std::string("abre")
           : host.warnings.empty()  ? std::string("?")
                                    : host.warnings[0][2];
  };
  const std::string no = "CON Ok CONTINUA...";
  EXPECT_EQ(attempt(0, request::View), no);
  EXPECT_EQ(attempt(1, request::Insert), no);
  EXPECT_EQ(attempt(1, request::Change), no);
  EXPECT_EQ(attempt(1, request::View), "abre");
  EXPECT_EQ(attempt(2, request::Insert), "abre");
  EXPECT_EQ(attempt(2, request::Change), "CON Ok CONTINUA....");  // four points at level 2
  EXPECT_EQ(attempt(2, request::View), "abre");
  EXPECT_EQ(attempt(3, request::Change), "abre");
  EXPECT_EQ(host.warnings.size(), 0u);
  // The refusal's first two lines.
  attempt(0, request::Insert);
  EXPECT_EQ(host.warnings[0][0], "NO TIENE ACCESO A ESTE PROGRAMA");
  EXPECT_EQ(host.warnings[0][1], "VERIFIQUE SUS ACCESOS AL SISTEMA");

  // Deletes need 3, the imports 4; without a user nothing is checked.
  program.rights.levels[4] = 2;
  EXPECT_TRUE(deleteAccess(program, 5).has_value());
  program.rights.levels[4] = 3;
  EXPECT_FALSE(deleteAccess(program, 5).has_value());
  EXPECT_TRUE(specialAccess(program, 5, 4).has_value());
  program.rights.levels[4] = 4;
  EXPECT_FALSE(specialAccess(program, 5, 4).has_value());
  program.rights.user = 0;
  EXPECT_EQ(attempt(0, request::Change), "abre");
  program.rights.levels = {};
  EXPECT_FALSE(deleteAccess(program, 5).has_value());
  EXPECT_FALSE(specialAccess(program, 8, 4).has_value());
}

TEST(Warning, LinesAreCutToFortyCharacters) {
  auto l = warningLines(std::string(45, 'X'), "ÑANDÚ", "");
  EXPECT_EQ(l[0], std::string(40, 'X'));
  EXPECT_EQ(l[1], "ÑANDÚ");
  EXPECT_EQ(plainCaption("C&ierra"), "Cierra");
  EXPECT_EQ(plainCaption("Obras && Co"), "Obras & Co");
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

TEST_F(Procedures, WindowSettingsRestoredAtOpenAndSavedAtClose) {
  // Nothing stored yet: the designed placement stays, and none is saved
  // unless the window has one.
  {
    Sample s(program, ctx);
    host.press("?OK");
    s.run(host);
    EXPECT_TRUE(host.placements.empty());
  }
  host.placements["SAMPLE"] = WindowPlacement{false, false, 10, 20, 300, 200, std::nullopt};
  {
    Sample s(program, ctx);
    host.press("?OK");
    s.run(host);
  }
  SettingsFile ini(folder.file("DUDORE.INI"));
  EXPECT_EQ(ini.get("sample", "maximize"), "No");
  EXPECT_EQ(ini.get("SAMPLE", "XPos"), "10");
  EXPECT_EQ(ini.get("SAMPLE", "Height"), "200");
  EXPECT_FALSE(ini.get("SAMPLE", "Tab:?CurrentTab").has_value());  // no sheet

  test::TestHost other;
  other.press("?OK");
  {
    Sample s(program, ctx);
    s.run(other);
  }
  ASSERT_TRUE(other.placements.count("SAMPLE"));
  EXPECT_EQ(other.placements["SAMPLE"].width, 300);

  // A section without Maximize restores nothing.
  ASSERT_TRUE(ini.remove("SAMPLE", "Maximize").ok());
  test::TestHost third;
  third.press("?OK");
  {
    Sample s(program, ctx);
    s.run(third);
  }
  EXPECT_TRUE(third.placements.empty());
}

}  // namespace
}  // namespace velmora
