#include "shell/platform.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace velmora::shell::platform {

#ifdef _WIN32

bool dragFullWindows() {
  BOOL on = FALSE;
  SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &on, 0);
  return on != FALSE;
}

void setDragFullWindows(bool on) {
  SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, on ? 1 : 0, nullptr,
                        SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}

void chain(const std::string& path) { _execl(path.c_str(), path.c_str(), nullptr); }

#else

namespace {
// Desktops here have no such switch; it starts on, as on most Windows
// desktops, and only remembers what it was set to.
bool recordedDrag = true;
}  // namespace

bool dragFullWindows() { return recordedDrag; }

void setDragFullWindows(bool on) { recordedDrag = on; }

void chain(const std::string& path) {
  execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
}

#endif

}  // namespace velmora::shell::platform
