#pragma once

// The names a procedure refers to by text, checked against the dictionary
// and the program: the field or variable of every control and list column,
// every picture, the browse's sort keys and locators, the form's lookups,
// and the procedures its browse and lookups call. A test runs it over every
// procedure a program registers, so that a misspelt name fails the build's
// tests instead of a window at run time.

#include <string>
#include <vector>

#include "framework/procedure.h"

namespace velmora {

// One line per name that does not resolve ("CAP_FRE: ?Browse:1 column FRE:NOMX:
// no such field"); empty when every name does.
std::vector<std::string> unresolvedBindings(const Program& program, const Procedure& p);

// Makes every procedure the program registers (in `ctx`, without opening
// it) and checks it; a procedure that cannot even be made is reported too.
std::vector<std::string> unresolvedBindings(Program& program, db::Context& ctx);

}  // namespace velmora
