#pragma once

// What tells DUDORE and VOROVID apart in the shell they share: names, the
// settings file, the access entries, the titles of the work selection, the
// toolbar and the way work files are named.

#include <string>
#include <vector>

#include "dictionary/work_files.h"

namespace velmora::shell {

enum class Suite { Dudore, Vorovid };

struct ToolbarButton {
  enum class Kind { Start, Manual, Tutorial, Exit };
  Kind kind = Kind::Start;
  std::string caption;    // also the tip
  std::string procedure;  // Start: the procedure started on a thread of its own
  std::string icon;       // the short text of its toolbar icon, when the desktop has no icons
  std::string themeIcon;  // its icon's name in the desktop's icon theme
};

struct ShellProgram {
  Suite suite;
  std::string name;            // "DUDORE"
  std::string title;           // the frame's title
  int programEntry;            // the access entry needed to start (1 or 9)
  std::string selectionTitle;  // the work selection's window title
  std::string banner;          // the toolbar image at start-up
  db::NameStyle names;         // with or without ".TPS"
  std::vector<ToolbarButton> toolbar;
  int logoButtons;  // buttons 1..n draw a new background logo
};

const ShellProgram& dudore();
const ShellProgram& vorovid();

// The settings file: DUDORE's in the current directory; VOROVID's where the
// platform keeps per-user profiles (the Windows directory on Windows, the
// user's configuration folder elsewhere: $XDG_CONFIG_HOME/velmora or
// ~/.config/velmora).
std::string settingsPath(const ShellProgram& program);

// The launcher the exit button hands over to.
inline constexpr const char* kLauncher = "kelto";

}  // namespace velmora::shell
