#pragma once

// Who holds a lock on a table file: when the engine answers "busy" it does
// not say which of the files of a transaction another station holds, and
// the clerk needs that file's name to find the station.

#include <string>
#include <vector>

namespace velmora::files {

// The processes other than this one holding a lock of any kind on the file
// (POSIX record locks, open-file-description locks and whole-file locks), as
// the system lists them; empty when none is held or the list cannot be read.
// Nothing is opened: closing a descriptor of a file would drop this
// process's own record locks on it.
std::vector<int> lockHolders(const std::string& path);

}  // namespace velmora::files
