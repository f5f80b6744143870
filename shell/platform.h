#pragma once

// The few calls into the operating system the shell makes: the desktop's
// "drag full windows" switch and handing the process over to another
// program. On Windows they are the real calls; elsewhere the switch is
// only recorded, so that the shell behaves (and is tested) the same.

#include <string>

namespace velmora::shell::platform {

bool dragFullWindows();
void setDragFullWindows(bool on);

// Replaces this process by the program at `path`. Returns only when that
// could not be done.
void chain(const std::string& path);

}  // namespace velmora::shell::platform
