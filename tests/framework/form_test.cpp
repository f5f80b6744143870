// The update form every business form shares, driven by the test host over
// real table files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>

#include "framework/form.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

Control field(std::string id, std::string picture) {
  return {ControlType::Entry, id, "", id.substr(1), picture, "", "", {}, {}};
}
Control button(std::string id, ControlType type = ControlType::Button, std::string target = {}) {
  return {type, id, "", "", "", "", target, {}, {}};
}
WindowDescription layout(std::string name, std::vector<Control> controls) {
  for (const char* b : {"?OK", "?CANCEL", "?HELP"}) controls.push_back(button(b));
  return {std::move(name), "", std::move(controls)};
}

class FrenForm : public FormProcedure {
 public:
  FrenForm(Program& p, db::Context& c, int entry = 0, FormSettings s = {})
      : FormProcedure(p, c,
                      layout("UP_FRE", {field("?FRE:CTA", "@n_6"), field("?FRE:NOMB", "@s40")}),
                      "FREN", entry, std::move(s)) {}

 protected:
  bool prime() override { return setValue("FRE:NOMB", std::string("NUEVO")).ok(); }
  bool validate() override {
    if (!std::get<std::string>(value("FRE:NOMB")).empty()) return true;
    warn("FALTA EL NOMBRE");
    select("?FRE:NOMB");
    return false;
  }
};

// UP_FRE with a budget line of the front's own, written with it.
class FrenWithLine : public FrenForm {
 public:
  FrenWithLine(Program& p, db::Context& c) : FrenForm(p, c, 0, withPart()) {}

 protected:
  Status writeRelated() override {
    db::Table& part = table("PART");
    part.clear();
    part.rec<PAR>().CONC = 1;
    part.rec<PAR>().FREN = table("FREN").rec<FRE>().CTA;
    return part.add();
  }

 private:
  static FormSettings withPart() {
    FormSettings s;
    s.related = {"PART"};
    return s;
  }
};

// A selecting browse: "?SELECT:2" reads `choice` into the shared buffer.
struct Browse {
  std::vector<int> requests;
  std::vector<Value> positioned;
  Value choice;
};
class FakeBrowse : public Procedure {
 public:
  FakeBrowse(Program& p, db::Context& c, std::string label, Browse& b)
      : Procedure(p, c, layout("SEL", {button("?SELECT:2"), button("?CLOSE")})),
        label_(label),
        b_(b) {
    uses(label);
  }

 protected:
  bool init() override {
    b_.requests.push_back(wm_.request);
    db::Table& t = table(label_);
    b_.positioned.push_back(t.buffer().get(std::string(t.info().prefix) + ":CTA"));
    return Procedure::init();
  }
  void onAccepted(const std::string& c) override {
    db::Table& t = table(label_);
    t.clear();
    (void)t.buffer().set(std::string(t.info().prefix) + ":CTA", b_.choice);
    close(c == "?SELECT:2" && t.get(t.info().primaryKey()->name).ok() ? 1 : 2);
  }
  std::string label_;
  Browse& b_;
};

class HookedHost : public test::TestHost {
 public:
  std::function<void()> beforeAnswer;
  int show(const MessageBox& box) override {
    if (beforeAnswer) beforeAnswer();
    return TestHost::show(box);
  }
};

class Forms : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* label : {"FREN", "PART", "CONT", "PROB", "AGEN", "PAGE"})
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
    storage.setBusyTimeout(50);  // a held file fails quickly
    messages.setHost(&host);
    program.addProcedure("SEL_PROB", [this](Program& p, db::Context& c) {
      return std::make_unique<FakeBrowse>(p, c, "PROB", prob);
    });
    program.addProcedure("SEL_CONT", [this](Program& p, db::Context& c) {
      return std::make_unique<FakeBrowse>(p, c, "CONT", cont);
    });
  }
  // A record added by a station of its own.
  template <class R, class F>
  void add(const char* label, F fill) {
    db::Context c(storage, 90);
    db::Table& t = c.table(label);
    ASSERT_TRUE(t.open().ok());
    fill(t.rec<R>());
    EXPECT_TRUE(t.add().ok());
    t.close();
  }
  std::int64_t count(const char* label) {
    db::Context c(storage, 91);
    std::int64_t n = -1;
    EXPECT_TRUE(c.table(label).open().ok() && c.table(label).records(n).ok());
    c.table(label).close();
    return n;
  }
  std::optional<std::string> fren(int cta) {
    db::Context c(storage, 92);
    db::Table& t = c.table("FREN");
    EXPECT_TRUE(t.open().ok());
    t.rec<FRE>().CTA = cta;
    std::optional<std::string> name;
    if (t.get("FRE:CTA_KEY").ok()) name = t.rec<FRE>().NOMB;
    t.close();
    return name;
  }
  // As the browse does before it calls the form for a change, delete or view.
  void read(const char* label, std::int32_t cta) {
    db::Table& t = ctx.table(label);
    if (!t.isOpen()) {
      ASSERT_TRUE(t.open().ok()) << label;
    }
    t.clear();
    ASSERT_TRUE(t.buffer().set(std::string(t.info().prefix) + ":CTA", std::int64_t(cta)).ok());
    ASSERT_TRUE(t.get(t.info().primaryKey()->name).ok());
  }
  int run(Procedure& p, int req) {
    program.request = req;
    return p.run(host);
  }
  bool opened() const {
    return std::find(host.log.begin(), host.log.end(), "abre UP_FRE") != host.log.end();
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"VOROVID", storage, messages, folder.file("VOROVID.INI")};
  HookedHost host;
  Browse prob, cont;
  db::Context ctx{storage, 0};
};

std::string text(Procedure& p, std::string_view use) { return std::get<std::string>(p.value(use)); }
std::int64_t number(Procedure& p, std::string_view use) {
  return std::get<std::int64_t>(p.value(use));
}

TEST_F(Forms, InsertReservesANumberThatCancelGivesBackAndRecallsTheLastSaved) {
  add<FRE>("FREN", [](FRE& r) { r.CTA = 1; });
  FormSettings s;
  s.recall = {"?FRE:NOMB"};
  host.actions.push_back([&](Procedure& p) {
    EXPECT_EQ(number(p, "FRE:CTA"), 2);
    EXPECT_EQ(text(p, "FRE:NOMB"), "NUEVO");  // primed
    EXPECT_EQ(count("FREN"), 1);              // the number is held, no record: others see nothing
    p.accepted("?CANCEL");
  });
  host.key(Key::Esc);
  host.closeWindow();
  for (int i = 0; i < 3; ++i) {
    FrenForm f(program, ctx, 0, s);
    EXPECT_EQ(run(f, request::Insert), response::Cancelled);
    EXPECT_EQ(count("FREN"), 1);
  }
  EXPECT_TRUE(host.boxes.empty() && host.warnings.empty());
  // A business form refusing after the number was reserved gives it back too.
  struct Refusing : FrenForm {
    using FrenForm::FrenForm;
    bool init() override { return FrenForm::init() && false; }
  };
  {
    Refusing r(program, ctx);
    EXPECT_EQ(run(r, request::Insert), response::Cancelled);
  }
  EXPECT_EQ(count("FREN"), 1);

  // The number given back is taken again; a refused rule keeps the form open.
  FrenForm f(program, ctx, 0, s);
  host.type("?FRE:NOMB", "");
  host.press("?OK");
  host.actions.push_back([&](Procedure& p) {
    EXPECT_EQ(host.warnings.size(), 1u);
    EXPECT_EQ(host.focused, "?FRE:NOMB");
    (void)p.typed("?FRE:NOMB", "TALLER");
    p.accepted("?OK");
  });
  EXPECT_EQ(run(f, request::Insert), response::Completed);
  EXPECT_EQ(fren(2), "TALLER");

  FrenForm next(program, ctx, 0, s);
  host.actions.push_back([](Procedure& p) {
    p.selected("?FRE:CTA");
    p.keyPressed(Key::Ditto);  // not registered
    EXPECT_EQ(number(p, "FRE:CTA"), 3);
    p.selected("?FRE:NOMB");
    p.keyPressed(Key::Ditto);
    EXPECT_EQ(text(p, "FRE:NOMB"), "TALLER");
  });
  EXPECT_EQ(run(next, request::Insert), response::Cancelled);
}

TEST_F(Forms, ChangeWritesOnlyWhatChangedAndMeetsOtherStations) {
  add<FRE>("FREN", [](FRE& r) { r.CTA = 1, r.NOMB = "ORIGINAL"; });
  add<FRE>("FREN", [](FRE& r) { r.CTA = 2, r.NOMB = "SUR"; });
  db::Context other(storage, 1);
  db::Table& theirs = other.table("FREN");
  ASSERT_TRUE(theirs.open().ok());
  auto station = [&](const char* name) {
    theirs.rec<FRE>().CTA = 1;
    ASSERT_TRUE(theirs.get("FRE:CTA_KEY").ok());
    if (name) theirs.rec<FRE>().NOMB = name;
    ASSERT_TRUE((name ? theirs.put() : theirs.remove()).ok());
  };

  // Unchanged: nothing is written, so the other station's change is no conflict.
  read("FREN", 1);
  station("DE LA OTRA");
  FrenForm same(program, ctx);
  host.press("?OK");
  EXPECT_EQ(run(same, request::Change), response::Completed);
  EXPECT_EQ(fren(1), "DE LA OTRA");

  // A handler reading another record of the table meanwhile does not redirect the write.
  read("FREN", 1);
  FrenForm looked(program, ctx);
  host.type("?FRE:NOMB", "NORTE");
  host.actions.push_back([&](Procedure& p) {
    Record mine = ctx.table("FREN").buffer();
    read("FREN", 2);
    ctx.table("FREN").buffer() = mine;
    p.accepted("?OK");
  });
  EXPECT_EQ(run(looked, request::Change), response::Completed);
  EXPECT_EQ(fren(1), "NORTE");
  EXPECT_EQ(fren(2), "SUR");
  EXPECT_TRUE(host.boxes.empty());

  // Changed on both sides: message 8 shows theirs; Ditto brings the user's back.
  read("FREN", 1);
  FrenForm both(program, ctx);
  host.type("?FRE:NOMB", "MIA");
  host.actions.push_back([&](Procedure& p) {
    station("OTRA VEZ");
    p.accepted("?OK");
  });
  host.actions.push_back([&](Procedure& p) {
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].title, "Registro no Actualizado");
    EXPECT_EQ(text(p, "FRE:NOMB"), "OTRA VEZ");
    p.selected("?FRE:NOMB");
    p.keyPressed(Key::Ditto);
    EXPECT_EQ(text(p, "FRE:NOMB"), "MIA");
    p.accepted("?OK");
  });
  EXPECT_EQ(run(both, request::Change), response::Completed);
  EXPECT_EQ(fren(1), "MIA");

  // Deleted meanwhile: message 7, the form stays; cancelling puts the buffer back as read.
  read("FREN", 1);
  FrenForm gone(program, ctx);
  host.type("?FRE:NOMB", "PERDIDA");
  host.actions.push_back([&](Procedure& p) {
    station(nullptr);
    p.accepted("?OK");
  });
  host.press("?CANCEL");
  EXPECT_EQ(run(gone, request::Change), response::Cancelled);
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[1].title, "Registro no fue Actualizado");
  EXPECT_EQ(ctx.table("FREN").rec<FRE>().NOMB, "MIA");

  // Nothing read: message 1 and the form does not open.
  ctx.table("FREN").close();
  host.log.clear();
  FrenForm none(program, ctx);
  EXPECT_EQ(run(none, request::Change), response::Cancelled);
  EXPECT_FALSE(opened());
  EXPECT_EQ(host.boxes.back().title, "Error de Retribución");
}

TEST_F(Forms, DeleteConfirmsAndFollowsTheRelations) {
  add<FRE>("FREN", [](FRE& r) { r.CTA = 1; });
  read("FREN", 1);
  FrenForm no(program, ctx), yes(program, ctx);
  EXPECT_EQ(run(no, request::Delete), response::Cancelled);  // the box's default is No
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Confirmar Borrado");
  EXPECT_EQ(host.boxes[0].defaultButton, button::No);
  EXPECT_TRUE(fren(1));
  host.buttons = {button::Yes};
  EXPECT_EQ(run(yes, request::Delete), response::Completed);
  EXPECT_FALSE(fren(1));
  EXPECT_FALSE(opened());

  // An agent with payments is kept by the restrict rule.
  add<AGE>("AGEN", [](AGE& r) { r.CTA = 1; });
  add<PGE>("PAGE", [](PGE& r) { r.FOLIO = 1, r.AGEN = 1; });
  read("AGEN", 1);
  FormProcedure agen(program, ctx, layout("UP_AGEN", {field("?AGE:NOMB", "@s30")}), "AGEN");
  host.buttons = {button::Yes};
  EXPECT_EQ(run(agen, request::Delete), response::Cancelled);
  EXPECT_EQ(host.boxes.back().title, "Error de Integridad Referencial (Borrado)");
  EXPECT_NE(host.boxes.back().text.find("desde la tabla PAGE."), std::string::npos);
  EXPECT_EQ(count("AGEN"), 1);
}

TEST_F(Forms, ViewSavesNothingAndAccessLevelsRefuseBeforeOpening) {
  add<FRE>("FREN", [](FRE& r) { r.CTA = 1, r.NOMB = "NORTE"; });
  program.rights.user = 7;
  program.rights.levels[4] = 2;  // entry 5: insert and view, no change nor delete
  read("FREN", 1);
  FrenForm change(program, ctx, 5), del(program, ctx, 5), view(program, ctx, 5);
  EXPECT_EQ(run(change, request::Change), response::Cancelled);
  EXPECT_EQ(run(del, request::Delete), response::Cancelled);
  ASSERT_EQ(host.warnings.size(), 2u);
  EXPECT_EQ(host.warnings[0][2], "CON Ok CONTINUA....");
  EXPECT_EQ(host.warnings[1][2], "CON Ok CONTINUA...");
  EXPECT_TRUE(host.boxes.empty());  // the delete asked nothing
  EXPECT_FALSE(opened());

  host.actions.push_back([](Procedure& p) {
    EXPECT_EQ(p.wm().okControl, "");
    EXPECT_EQ(p.wm().changeAction, 1);
    // Shown read-only: typing is refused, not just left unsaved.
    EXPECT_TRUE(p.state("?FRE:NOMB").readOnly);
    EXPECT_TRUE(p.state("?FRE:NOMB").enabled);
    EXPECT_FALSE(p.typed("?FRE:NOMB", "CAMBIO").ok());
    EXPECT_EQ(text(p, "FRE:NOMB"), "NORTE");
    p.accepted("?OK");
    EXPECT_FALSE(p.isClosing());
    p.accepted("?CANCEL");
  });
  EXPECT_EQ(run(view, request::View), response::Cancelled);
  EXPECT_TRUE(opened());
  EXPECT_EQ(fren(1), "NORTE");
  EXPECT_EQ(ctx.table("FREN").rec<FRE>().NOMB, "NORTE");  // the caller's buffer too
}

// Every form has its fields on the sheet "General" and OK, Cancela and Help
// below it; Help tells that no help file is installed and the form goes on.
TEST_F(Forms, FieldsOnTheGeneralSheetAndAHelpThatSaysWhereTheManualShouldBe) {
  test::TempFolder noManual;
  ::setenv("VELMORA_MANUAL", noManual.path().string().c_str(), 1);
  FrenForm form(program, ctx);
  const WindowDescription& w = form.window();
  ASSERT_EQ(w.tabs().size(), 1u);
  EXPECT_EQ(w.tabs()[0]->text, "General");
  EXPECT_EQ(w.find("?FRE:NOMB")->owner, w.tabs()[0]->id);
  EXPECT_EQ(w.find("?OK")->owner, "");
  EXPECT_EQ(std::count_if(w.controls.begin(), w.controls.end(),
                          [](const Control& c) { return c.id == "?HELP"; }),
            1);
  host.press("?HELP");
  host.type("?FRE:NOMB", "NORTE");
  host.press("?OK");
  EXPECT_EQ(run(form, request::Insert), response::Completed);
  ::unsetenv("VELMORA_MANUAL");
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Manual del Sistema");
  EXPECT_NE(host.boxes[0].text.find("No se encontró el Manual del Sistema."), std::string::npos)
      << host.boxes[0].text;
  EXPECT_EQ(fren(1), "NORTE");

  // A form with a sheet of its own keeps it, and gets Help once.
  WindowDescription own = layout("UP_OWN", {field("?FRE:CTA", "@n_6")});
  own.controls.pop_back();  // no Help of its own
  own.controls.insert(own.controls.begin(),
                      {{ControlType::Sheet, "?CURRENTTAB", "", "", "", "", "", {}, {}},
                       {ControlType::Tab, "?TAB1", "Datos", "", "", "?CURRENTTAB", "", {}, {}}});
  FormProcedure kept(program, ctx, own, "FREN");
  ASSERT_EQ(kept.window().tabs().size(), 1u);
  EXPECT_EQ(kept.window().tabs()[0]->text, "Datos");
  EXPECT_EQ(kept.window().controls.back().id, "?HELP");
}

TEST_F(Forms, LookupFieldsSeekTheirRecordOrCallTheirBrowse) {
  add<PRB>("PROB", [](PRB& r) { r.CTA = 7, r.TEXT = "EXCAVACION"; });
  add<PRB>("PROB", [](PRB& r) { r.CTA = 8; });
  add<CTR>("CONT", [](CTR& r) { r.CTA = 5; });
  add<PAR>("PART", [](PAR& r) { r.CONC = 1, r.PROC = 7, r.FREN = 0; });
  prob.choice = std::int64_t(8);
  cont.choice = std::int64_t(5);
  FormSettings s;
  s.lookups = {{"?PAR:PROC", "PROB", "PRB:CTA_KEY", "SEL_PROB"},
               {"?PAR:CONT", "CONT", "CTR:CTA_KEY", "SEL_CONT", true}};
  FormProcedure f(program, ctx,
                  layout("UP_PART", {field("?PAR:CONC", "@n10.2"), field("?PAR:PROC", "@n_6"),
                                     field("?PAR:FREN", "@n_6"), field("?PAR:CONT", "@n_6"),
                                     button("?CALLLOOKUP:2", ControlType::Lookup, "?PAR:CONT")}),
                  "PART", 0, s);
  host.type("?PAR:CONC", "1");
  host.type("?PAR:PROC", "7");
  host.actions.push_back([&](Procedure& p) {
    EXPECT_TRUE(prob.requests.empty());
    EXPECT_EQ(text(p, "PRB:TEXT"), "EXCAVACION");
    EXPECT_EQ(count("PART"), 1);  // nothing written before OK
    p.accepted("?OK");
  });
  host.actions.push_back([&](Procedure& p) {
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text,
              "Agregar este registro crea una clave duplicada para la clave: PAR:CTA_KEY");
    (void)p.typed("?PAR:FREN", "2");
  });
  host.type("?PAR:PROC", "9");  // not found: the browse, positioned on 9, selects 8
  host.press("?SELECT:2");
  host.type("?PAR:CONT", "0");  // optional
  host.type("?PAR:PROC", "0");  // required: the browse, left without choosing
  host.press("?CLOSE");
  host.actions.push_back([&](Procedure& p) {
    EXPECT_EQ(prob.requests, (std::vector<int>{request::Select, request::Select}));
    EXPECT_EQ(std::get<std::int64_t>(prob.positioned.at(0)), 9);
    EXPECT_TRUE(cont.requests.empty());
    EXPECT_EQ(number(p, "PAR:PROC"), 0);
    EXPECT_EQ(host.focused, "?PAR:PROC");
  });
  host.press("?CALLLOOKUP:2");  // the button always calls
  host.press("?SELECT:2");
  host.press("?OK");  // the empty process is caught again at OK
  host.press("?SELECT:2");
  EXPECT_EQ(run(f, request::Insert), response::Completed);
  EXPECT_EQ(prob.requests.size(), 3u);
  db::Table& part = ctx.table("PART");
  ASSERT_TRUE(part.open().ok());
  part.rec<PAR>().CONC = 1, part.rec<PAR>().PROC = 8, part.rec<PAR>().FREN = 2;
  ASSERT_TRUE(part.get("PAR:CTA_KEY").ok());
  EXPECT_EQ(part.rec<PAR>().CONT, 5);
  part.close();
}

// The text beside a lookup field is always that of the field's value: a
// browse left without choosing has moved the related buffer elsewhere.
TEST_F(Forms, ALookupLeftWithoutChoosingKeepsTheTextOfTheValue) {
  add<PRB>("PROB", [](PRB& r) { r.CTA = 10, r.TEXT = "PRELIMINARES"; });
  add<PRB>("PROB", [](PRB& r) { r.CTA = 70, r.TEXT = "INSTALACION ELECTRICA"; });
  prob.choice = std::int64_t(70);
  FormSettings s;
  s.lookups = {{"?PAR:PROC", "PROB", "PRB:CTA_KEY", "SEL_PROB"}};
  FormProcedure f(program, ctx,
                  layout("UP_PART", {field("?PAR:CONC", "@n10.2"), field("?PAR:PROC", "@n_6"),
                                     button("?CALLLOOKUP", ControlType::Lookup, "?PAR:PROC")}),
                  "PART", 0, s);
  host.type("?PAR:CONC", "1");
  host.type("?PAR:PROC", "10");
  host.press("?CALLLOOKUP");
  host.press("?CLOSE");  // the browse stood on 70 and was closed
  host.actions.push_back([&](Procedure& p) {
    EXPECT_EQ(number(p, "PAR:PROC"), 10);
    EXPECT_EQ(text(p, "PRB:TEXT"), "PRELIMINARES");
  });
  host.type("?PAR:PROC", "33");  // names nothing: the browse, left again
  host.press("?CLOSE");
  host.actions.push_back([&](Procedure& p) {
    EXPECT_EQ(text(p, "PRB:TEXT"), "");
    p.accepted("?CANCEL");
  });
  run(f, request::Insert);
}

TEST_F(Forms, AFailedWriteAsksWhetherToTryAgain) {
  add<FRE>("FREN", [](FRE& r) { r.CTA = 1, r.NOMB = "NORTE"; });
  db::Context other(storage, 1);
  db::Table& theirs = other.table("FREN");
  ASSERT_TRUE(theirs.open().ok());
  // The other station holds the file for writing when OK is pressed.
  auto attempt = [&](const char* name, int answer) {
    read("FREN", 1);
    FrenForm f(program, ctx);
    host.type("?FRE:NOMB", name);
    host.actions.push_back([&, answer](Procedure& p) {
      ASSERT_TRUE(theirs.stream().ok());
      host.buttons.push_back(answer);
      p.accepted("?OK");
      if (answer != button::Cancel) return;
      EXPECT_FALSE(p.isClosing());
      EXPECT_EQ(host.focused, "?FRE:CTA");
      ASSERT_TRUE(theirs.flush().ok());
      p.accepted("?OK");
    });
    int r = run(f, request::Change);
    EXPECT_TRUE(theirs.flush().ok());
    return r;
  };
  EXPECT_EQ(attempt("PRIMERA", button::Cancel), response::Completed);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Error al Actualizar");
  EXPECT_EQ(host.boxes[0].buttons, button::Yes | button::No | button::Cancel);
  EXPECT_EQ(host.boxes[0].defaultButton, button::Cancel);
  EXPECT_EQ(fren(1), "PRIMERA");
  EXPECT_EQ(attempt("SEGUNDA", button::No), response::Cancelled);
  EXPECT_EQ(fren(1), "PRIMERA");
  host.beforeAnswer = [&] { (void)theirs.flush(); };  // lets go before the user says Yes
  EXPECT_EQ(attempt("TERCERA", button::Yes), response::Completed);
  EXPECT_EQ(fren(1), "TERCERA");
  EXPECT_EQ(host.boxes.size(), 3u);

  // No number can be reserved meanwhile: message 35; No leaves without opening.
  host.beforeAnswer = nullptr;
  host.log.clear();
  ASSERT_TRUE(theirs.stream().ok());
  host.buttons = {button::No};
  FrenForm f(program, ctx);
  EXPECT_EQ(run(f, request::Insert), response::Cancelled);
  EXPECT_EQ(host.boxes.back().title, "Error AutoNumeración");
  EXPECT_FALSE(opened());
  ASSERT_TRUE(theirs.flush().ok());
  EXPECT_EQ(count("FREN"), 1);

  // Numbering that reached the field's limit is no retry: one message, no
  // question, even when every question would be answered yes.
  add<FRE>("FREN", [](FRE& r) { r.CTA = 2147483647, r.NOMB = "ULTIMO"; });
  host.boxes.clear();
  host.buttons = {button::Yes, button::Yes};
  FrenForm full(program, ctx);
  EXPECT_EQ(run(full, request::Insert), response::Cancelled);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Error en Agregar");
  EXPECT_EQ(count("FREN"), 2);
}

TEST_F(Forms, EnterMovesThroughTheEntryFieldsWhenItActsAsTab) {
  FormSettings tab;
  tab.enterAsTab = true;
  FrenForm f(program, ctx, 0, tab), g(program, ctx, 0, tab), plain(program, ctx);
  host.actions.push_back([](Procedure& p) {
    p.selected("?FRE:CTA");
    p.keyPressed(Key::Enter);
    EXPECT_EQ(p.focused(), "?FRE:NOMB");
    p.keyPressed(Key::Esc);
    p.keyPressed(Key::Esc);  // Esc in a field steps back, never cancels
    EXPECT_EQ(p.focused(), "?FRE:CTA");
    EXPECT_FALSE(p.isClosing());
    p.disable("?FRE:NOMB");
    p.keyPressed(Key::Enter);
    EXPECT_EQ(p.focused(), "?OK");
    p.keyPressed(Key::Enter);  // a closing button is pressed
  });
  EXPECT_EQ(run(f, request::Insert), response::Completed);
  EXPECT_EQ(fren(1), "NUEVO");

  host.actions.push_back([](Procedure& p) {
    p.selected("?OK");
    p.keyPressed(Key::Esc);
  });
  EXPECT_EQ(run(g, request::Insert), response::Cancelled);
  // Every capture form: Enter moves on, Esc still cancels, Ctrl+Enter is OK
  // from any field.
  host.actions.push_back([](Procedure& p) {
    p.selected("?FRE:CTA");
    p.keyPressed(Key::Enter);
    EXPECT_EQ(p.focused(), "?FRE:NOMB");
    p.keyPressed(Key::Esc);
  });
  EXPECT_EQ(run(plain, request::Insert), response::Cancelled);
  EXPECT_EQ(count("FREN"), 1);
  FrenForm quick(program, ctx);
  host.actions.push_back([](Procedure& p) {
    (void)p.typed("?FRE:CTA", "7");
    (void)p.typed("?FRE:NOMB", "SUR");
    p.selected("?FRE:CTA");
    p.keyPressed(Key::CtrlEnter);
  });
  EXPECT_EQ(run(quick, request::Insert), response::Completed);
  EXPECT_EQ(fren(7), "SUR");

  // Turned off in the programs' settings: Enter stays in its field.
  std::ofstream(folder.file("OTRO.INI")) << "[Formas]\r\nEnterAvanza=0\r\n";
  Program other{"VOROVID", storage, messages, folder.file("OTRO.INI")};
  FrenForm off(other, ctx);
  host.actions.push_back([](Procedure& p) {
    p.selected("?FRE:CTA");
    p.keyPressed(Key::Enter);
    EXPECT_EQ(p.focused(), "?FRE:CTA");
    p.keyPressed(Key::Esc);
  });
  other.request = request::Insert;
  EXPECT_EQ(off.run(host), response::Cancelled);
}

// The record and its related lines are saved together: a refused line leaves
// the record as it was, and the user's retry writes both.
TEST_F(Forms, TheRelatedWritesSucceedOrFailWithTheRecord) {
  add<FRE>("FREN", [](FRE& r) { r.CTA = 1, r.NOMB = "NORTE"; });
  add<PAR>("PART", [](PAR& r) { r.CONC = 1, r.FREN = 1; });  // the line is there already
  read("FREN", 1);
  FrenWithLine f(program, ctx);
  host.type("?FRE:NOMB", "SUR");
  host.press("?OK");
  host.actions.push_back([&](Procedure& p) {
    EXPECT_FALSE(p.isClosing());
    EXPECT_EQ(fren(1), "NORTE");
    db::Context other(storage, 5);
    db::Table& part = other.table("PART");
    ASSERT_TRUE(part.open().ok());
    part.rec<PAR>().CONC = 1, part.rec<PAR>().FREN = 1;
    ASSERT_TRUE(part.get("PAR:CTA_KEY").ok() && part.remove().ok());
    part.close();
    p.accepted("?OK");
  });
  EXPECT_EQ(run(f, request::Change), response::Completed);
  ASSERT_EQ(host.boxes.size(), 1u);  // the duplicate line
  EXPECT_EQ(fren(1), "SUR");
  EXPECT_EQ(count("PART"), 1);
}

}  // namespace
}  // namespace velmora
