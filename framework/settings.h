#pragma once

// The programs' settings files (DUDORE.INI, vorovid.INI): Windows profile
// files, read and written the way the platform's profile functions do, so
// that files already on the users' machines keep working.
//
// Format:
// - Sections "[Name]" and lines "Key=Value"; names compare ignoring letter
//   case, and an existing section or key keeps its spelling when written.
//   Blanks around names and values are not part of them. Lines starting
//   with ';' are comments. Blank lines, comments, lines before the first
//   section and lines we do not understand are kept as they are.
// - Encoding: Windows-1252, as the platform writes it. A file that starts
//   with a UTF-8 byte-order mark (a text editor's doing) is read and kept as
//   UTF-8. UTF-16 files are read as empty and never rewritten.
// - Line ends: LF or CRLF are read; every line is written with CRLF, as the
//   platform does (Python's configparser and Notepad read it alike).
// - A key written twice (hand-edited files) reads as its first occurrence;
//   writing it leaves one line, so a deleted key never comes back with an
//   older value.
//
// Each write locks the file, re-reads it, changes only the keys asked for
// and replaces the file atomically (temporary file + rename), so windows of
// one program, or two programs on one file, keep each other's keys and a
// crash never leaves half a file. Reads take no lock: they see the file
// before or after a write, never in between.

#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dictionary/status.h"

namespace velmora {

// The keys of one section, read in one go.
struct SettingsSection {
  std::vector<std::pair<std::string, std::string>> entries;  // in file order

  std::optional<std::string> get(std::string_view key) const;
};

class SettingsFile {
 public:
  explicit SettingsFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& path() const { return path_; }

  // Whether the file can be read: a missing file can (it reads as empty); a
  // folder in its place, another kind of file or one without the right to
  // read it cannot, and the Status says why in Spanish.
  Status check() const;

  // A missing or unreadable file reads as empty.
  std::optional<std::string> get(std::string_view section, std::string_view key) const;
  std::string get(std::string_view section, std::string_view key, std::string_view fallback) const;
  SettingsSection section(std::string_view name) const;

  // One change of a write: a value to store, or nullopt to delete the key.
  struct Change {
    std::string key;
    std::optional<std::string> value;
  };

  // Applies all changes in one atomic write. Refused (nothing written):
  // names that are empty or would read back as something else (a key with
  // '=', or starting with ';', '#' or '['), any line break or NUL, and
  // characters the file's encoding cannot hold (err::ValueRefused); a
  // missing folder (err::PathNotFound); a read-only file (err::AccessDenied).
  // Deleting from a file that does not exist succeeds without creating it.
  Status apply(std::string_view section, const std::vector<Change>& changes);
  Status set(std::string_view section, std::string_view key, std::string_view value);
  Status remove(std::string_view section, std::string_view key);

 private:
  std::filesystem::path path_;
};

// A position value that the window does not have.
inline constexpr int kUnsetPosition = std::numeric_limits<int>::min();

struct WindowPlacement {
  bool maximized = false;
  bool minimized = false;
  std::optional<int> x, y, width, height;
  std::optional<int> tab;  // the sheet's selected tab, from 1
};

// nullopt when the procedure's section has no Maximize key: the window keeps
// its designed size and position. Values that are not whole numbers, a width
// or height below 1 (the window would vanish), a position equal to the unset
// marker and a tab below 1 are left out.
std::optional<WindowPlacement> loadWindowSettings(const SettingsFile& file,
                                                  std::string_view procedure);

// Writes Maximize, Minimize and the four position values (an unset one
// deletes its key) and, for a window with a sheet, Tab:?CurrentTab (deleted
// when no tab is given). One atomic write.
Status saveWindowSettings(SettingsFile& file, std::string_view procedure,
                          const WindowPlacement& placement, bool hasSheet);

}  // namespace velmora
