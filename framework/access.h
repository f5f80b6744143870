#pragma once

// The access levels of the running user, checked by every window that reads
// or changes data. A run without a user number checks nothing.

#include <optional>

#include "framework/procedure.h"
#include "framework/program.h"

namespace velmora {

// The level of entry k (1..20); 0 for an entry out of range.
int accessLevel(const Program& program, int entry);

// Each returns the warning to show when the action is refused, nothing when
// it is allowed.
// A form opening with a request: level 0 refuses every request, 1 refuses
// insert and change, 2 refuses change; a view is never refused at 1 or 2.
std::optional<WarningLines> formAccess(const Program& program, int entry, int request);
// A delete from a browse needs level 3.
std::optional<WarningLines> deleteAccess(const Program& program, int entry);
// A procedure that needs a minimum level (4 for the imports).
std::optional<WarningLines> specialAccess(const Program& program, int entry, int minimum);

}  // namespace velmora
