#pragma once

// The posting flag of the control record (CTL:OCUP): set while a station
// posts an estimate or a payment and prints its cheque, so that two
// stations never post at once. The station holding it is recorded with the
// flag; a flag whose station has stopped (killed, crashed, switched off) is
// free, whatever the record says.

#include <array>
#include <string>

#include "dictionary/storage.h"

namespace velmora::db {

inline constexpr const char* kPostingFlag = "CTL:OCUP";

// Inside a write transaction over `control`: reads the control record and
// says whether a running station holds the flag (and which).
Status readPostingFlag(Table& control, bool& busy, Table::FlagHolder& holder);

// After readPostingFlag found it free: sets it for this station.
Status takePostingFlag(Table& control, std::int64_t user);

// Clears the flag in a write transaction of its own, waiting for the file
// like every other write. With `onlyIfDead`, a flag a running station holds
// is left alone (a program starting while another posts).
Status clearPostingFlag(Context& ctx, bool onlyIfDead);

// What the clerk is told when another station really holds it.
std::array<std::string, 3> postingBusyLines(const Table::FlagHolder& holder);

}  // namespace velmora::db
