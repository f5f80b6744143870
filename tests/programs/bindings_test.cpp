// Every procedure DUDORE and VOROVID register, made as the programs make
// them: each name a window or its behaviour refers to by text must resolve.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/bindings.h"
#include "programs/shell/procedures.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

TEST(Bindings, EveryProcedureOfBothProgramsResolves) {
  for (const shell::ShellProgram* shell : {&shell::dudore(), &shell::vorovid()}) {
    test::TempFolder folder;
    db::Storage storage;
    MessageService messages;
    Program program(shell->name, storage, messages, folder.file(shell->name + ".INI"));
    addProgramProcedures(program, *shell, folder.path().string());
    db::Context ctx(storage, 1);
    const std::vector<std::string> problems = unresolvedBindings(program, ctx);
    std::string list;
    for (const std::string& p : problems) list += "\n  " + p;
    EXPECT_TRUE(problems.empty()) << shell->name << " has names that do not resolve:" << list;
    // The maintenance pair of every table, at least, was made and checked.
    EXPECT_GE(program.procedureNames().size(), 2 * dict::tables().size()) << shell->name;
  }
}

}  // namespace
}  // namespace velmora
