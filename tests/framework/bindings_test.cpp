// Checked bindings: a misspelt field or an undeclared variable is a
// programming error, and the binding check names every kind of name that
// does not resolve.

#include <gtest/gtest.h>

#include <stdexcept>

#include "framework/bindings.h"
#include "framework/browse.h"
#include "framework/describe.h"
#include "framework/form.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

struct Fixture {
  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"PRUEBA", storage, messages, folder.file("PRUEBA.INI")};
  db::Context ctx{storage, 1};
};

TEST(CheckedBindings, MisspeltFieldsAndUndeclaredVariablesAreProgrammingErrors) {
  Fixture f;
  Procedure p(f.program, f.ctx, Describe("P", "P").field("A:", "FRE:NOMB", "@s40").done());
  EXPECT_THROW(p.value("FRE:NOMX"), std::logic_error);
  EXPECT_THROW((void)p.setValue("FRE:NOMX", Value(std::string("X"))), std::logic_error);
  EXPECT_THROW(p.value("SUM1"), std::logic_error);
  EXPECT_THROW((void)p.setValue("SUM1", Value(1.0)), std::logic_error);
  EXPECT_THROW(f.program.declare("FRE:NOMX", Value(0.0)), std::logic_error);
  EXPECT_THROW(p.uses("FRENX"), std::logic_error);
  EXPECT_TRUE(p.setValue("FRE:NOMB", Value(std::string("NORTE"))).ok());
  EXPECT_EQ(p.value("fre:nomb"), Value(std::string("NORTE")));

  f.program.declare("SUM1", Value(0.0));
  EXPECT_TRUE(p.setValue("sum1", Value(2.5)).ok());
  EXPECT_EQ(f.program.var("SUM1"), Value(2.5));
  f.program.declare("SUM1", Value(0.0));  // declared again: back to its initial value
  EXPECT_EQ(p.value("SUM1"), Value(0.0));

  // A variable kept elsewhere is read through, and cannot be written.
  std::string work = "OB1";
  f.program.declare("GLO:OBRA", [&] { return Value(work); });
  work = "OB2";
  EXPECT_EQ(p.value("GLO:OBRA"), Value(std::string("OB2")));
  EXPECT_THROW((void)p.setValue("GLO:OBRA", Value(std::string("X"))), std::logic_error);
}

TEST(CheckedBindings, TheCheckNamesWhatDoesNotResolve) {
  Fixture f;
  f.program.declare("TOTAL", Value(0.0));
  f.program.addProcedure("UP_FRE", [](Program& p, db::Context& c) {
    WindowDescription w = Describe("UP_FRE", "F")
                              .field("CTA:", "FRE:CTA", "@n_6")
                              .field("NOMBRE:", "FRE:NOMX", "@s40")
                              .field("SUMA:", "SUM1", "@n14.2")
                              .field("TOTAL:", "TOTAL", "@q9")
                              .field("CC:", "OBR:CC[99]", "@n_6")
                              .formButtons()
                              .done();
    FormSettings s;
    s.lookups = {{"?FRE:CTA", "PROB", "PRB:CTA_KEY", "SEL_PROB"}};
    return std::make_unique<FormProcedure>(p, c, std::move(w), "FREN", 0, s);
  });
  f.program.addProcedure("CAP_FRE", [](Program& p, db::Context& c) {
    WindowDescription w = Describe("CAP_FRE", "B")
                              .list({{"CTA", "FRE:CTA", "@n_6", 6, 'R', true},
                                     {"N", "FRE:NOMBRE", "@s40", 40, 'L', true}})
                              .columnGroup("G", 1, 2)
                              .browseButtons()
                              .done();
    return std::make_unique<BrowseProcedure>(
        p, c, std::move(w), "FREN", "UP_FREN",
        std::vector<BrowseTab>{sortTab("FRE:CTA_KEY", "FRE:CTA"), sortTab("PRB:CTA_KEY"),
                               sortTab("FRE:NOM_KEX"), sortTab("FRE:NOM_KEY", "PRB:TEXT")});
  });
  f.program.addProcedure("UP_BAD", [](Program& p, db::Context& c) {
    FormSettings s;
    s.lookups = {{"?FRE:CTA", "PROB", "PRB:NO_KEY", "SEL_PROB"}};
    return std::make_unique<FormProcedure>(
        p, c, Describe("UP_BAD", "F").field("CTA:", "FRE:CTA", "@n_6").done(), "FREN", 0, s);
  });
  EXPECT_EQ(unresolvedBindings(f.program, f.ctx),
            (std::vector<std::string>{
                "CAP_FRE: ?Browse:1 column FRE:NOMBRE: no such field",
                "CAP_FRE: ?Browse:1 group G: columns out of order or out of range",
                "CAP_FRE: tab key PRB:CTA_KEY: not a key of FREN",
                "CAP_FRE: tab key FRE:NOM_KEX: no such key",
                "CAP_FRE: locator PRB:TEXT: not a field of FREN",
                "CAP_FRE: form UP_FREN: no such procedure",
                "UP_BAD: cannot be made: no key PRB:NO_KEY in PROB",
                "UP_FRE: ?FRE:NOMX FRE:NOMX: no such field",
                "UP_FRE: ?SUM1 SUM1: variable not declared",
                "UP_FRE: ?TOTAL picture @q9: does not parse",
                "UP_FRE: ?OBR:CC[99] OBR:CC[99]: no such element",
                "UP_FRE: lookup browse SEL_PROB: no such procedure",
            }));
}

}  // namespace
}  // namespace velmora
