#include "framework/settings.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "dictionary/cp1252.h"
#include "dictionary/regular_file.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
  return cp1252::upperUtf8(a) == cp1252::upperUtf8(b);
}

struct Line {
  enum Kind { Blank, Comment, Section, Key, Other };
  std::string raw;  // the bytes as in the file, without the line end
  Kind kind = Other;
  std::string name;   // section or key, UTF-8
  std::string value;  // UTF-8
};

struct Document {
  bool utf8 = false;
  bool utf16 = false;
  std::vector<Line> lines;

  std::string decode(std::string_view raw) const {
    return utf8 ? std::string(raw) : cp1252::toUtf8(raw);
  }
};

Line parseLine(const Document& doc, std::string raw) {
  Line line;
  const std::string text = doc.decode(raw);
  line.raw = std::move(raw);
  const std::string_view t = trim(text);
  if (t.empty()) {
    line.kind = Line::Blank;
  } else if (t.front() == ';') {
    line.kind = Line::Comment;
  } else if (t.front() == '[') {
    const auto close = t.rfind(']');
    if (close != std::string_view::npos) {
      line.kind = Line::Section;
      line.name = trim(t.substr(1, close - 1));
    }
  } else if (const auto eq = t.find('='); eq != std::string_view::npos) {
    const auto name = trim(t.substr(0, eq));
    if (!name.empty()) {
      line.kind = Line::Key;
      line.name = name;
      line.value = trim(t.substr(eq + 1));
    }
  }
  return line;
}

Document parse(std::string_view content) {
  Document doc;
  if (content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF")) {
    doc.utf16 = true;
    return doc;
  }
  if (content.starts_with(kUtf8Bom)) {
    doc.utf8 = true;
    content.remove_prefix(kUtf8Bom.size());
  }
  while (!content.empty()) {
    const auto nl = content.find('\n');
    std::string_view raw = content.substr(0, nl);
    content.remove_prefix(nl == std::string_view::npos ? content.size() : nl + 1);
    if (raw.ends_with('\r')) raw.remove_suffix(1);
    doc.lines.push_back(parseLine(doc, std::string(raw)));
  }
  return doc;
}

std::string serialize(const Document& doc) {
  std::string out = doc.utf8 ? std::string(kUtf8Bom) : std::string();
  for (const Line& line : doc.lines) out += line.raw + "\r\n";
  return out;
}

// Same-named sections count as one, so a hand-copied duplicate section
// neither hides keys nor keeps stale ones.
std::vector<std::size_t> findKey(const Document& doc, std::string_view section,
                                 std::string_view key) {
  std::vector<std::size_t> found;
  bool inside = false;
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    const Line& line = doc.lines[i];
    if (line.kind == Line::Section) inside = sameName(line.name, section);
    if (inside && line.kind == Line::Key && sameName(line.name, key)) found.push_back(i);
  }
  return found;
}

SettingsSection collect(const Document& doc, std::string_view section) {
  SettingsSection out;
  bool inside = false;
  for (const Line& line : doc.lines) {
    if (line.kind == Line::Section) inside = sameName(line.name, section);
    if (!inside || line.kind != Line::Key) continue;
    bool seen = false;
    for (const auto& e : out.entries) seen = seen || sameName(e.first, line.name);
    if (!seen) out.entries.emplace_back(line.name, line.value);
  }
  return out;
}

std::string quoted(const fs::path& p) { return "«" + p.string() + "»"; }

Status refused(std::string text) { return Status::error(err::ValueRefused, std::move(text)); }

Status fileError(const fs::path& path, int error) {
  if (error == ENOENT || error == ENOTDIR) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    return Status::error(err::PathNotFound, "No existe la carpeta " + quoted(folder) +
                                                " del archivo de configuración " +
                                                quoted(path.filename()) + ".");
  }
  if (error == EISDIR)
    return Status::error(err::AccessDenied, "En lugar del archivo de configuración " +
                                                quoted(path) + " hay una carpeta.");
  if (error == EINVAL)
    return Status::error(err::AccessDenied, "El archivo de configuración " + quoted(path) +
                                                " no es un archivo común (es un dispositivo, "
                                                "una tubería o un socket).");
  if (error == ELOOP)
    return Status::error(err::AccessDenied, "El archivo de configuración " + quoted(path) +
                                                " es un enlace a otro archivo y no se modifica.");
  if (error == EACCES || error == EPERM || error == EROFS) {
    return Status::error(
        err::AccessDenied,
        "No tiene permiso para escribir el archivo de configuración " + quoted(path) + ".");
  }
  Status st = Status::error(
      err::FileSystem, "No se pudo escribir el archivo de configuración " + quoted(path) + ".");
  st.fileErrorCode = std::to_string(error);
  st.fileError = std::strerror(error);
  return st;
}

bool hasBreak(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}

Status checkName(std::string_view name, bool isKey) {
  const auto what = isKey ? std::string("La clave") : std::string("La sección");
  if (hasBreak(name))
    return refused(what + " «" + std::string(trim(name)) +
                   "» contiene un salto de línea y dañaría el archivo de configuración.");
  const auto t = trim(name);
  if (t.empty()) return refused(what + " del archivo de configuración no puede estar en blanco.");
  if (isKey && (t.find('=') != t.npos || t.front() == ';' || t.front() == '#' || t.front() == '['))
    return refused("La clave «" + std::string(t) +
                   "» no puede contener '=' ni empezar con ';', '#' o '['.");
  return {};
}

// Holds the exclusive lock on the settings file while a write re-reads and
// replaces it. The lock sits on the file itself: a writer that waited on a
// file since replaced by rename sees another inode and locks the new one.
class FileLock {
 public:
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }

  // false with st unset when the file does not exist and create is false.
  bool acquire(const fs::path& path, bool create, Status& st) {
    for (;;) {
      created_ = false;
      // Only a regular file is opened: opening a device can do things.
      if (struct stat pre; ::lstat(path.c_str(), &pre) == 0 && !S_ISREG(pre.st_mode)) {
        st = fileError(path, S_ISDIR(pre.st_mode) ? EISDIR : S_ISLNK(pre.st_mode) ? ELOOP : EINVAL);
        return false;
      }
      // A link is never followed: the write would change a file elsewhere.
      fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
      if (fd_ < 0 && errno == ENOENT && create) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno == EEXIST) continue;
        created_ = fd_ >= 0;
      }
      if (fd_ < 0) {
        if (errno != ENOENT || create) st = fileError(path, errno);
        return false;
      }
      if (struct stat kind; ::fstat(fd_, &kind) != 0 || !S_ISREG(kind.st_mode)) {
        st = fileError(path, S_ISDIR(kind.st_mode) ? EISDIR : EINVAL);
        return false;
      }
      int rc;
      while ((rc = ::flock(fd_, LOCK_EX)) < 0 && errno == EINTR) {
      }
      if (rc < 0) {
        st = fileError(path, errno);
        dropCreated(path);
        return false;
      }
      struct stat held, current;
      if (::fstat(fd_, &held) == 0 && ::lstat(path.c_str(), &current) == 0 &&
          held.st_dev == current.st_dev && held.st_ino == current.st_ino)
        return true;
      ::close(fd_);
      fd_ = -1;
    }
  }

  // A file we created for a write that then failed is not left behind empty.
  void dropCreated(const fs::path& path) {
    if (created_) ::unlink(path.c_str());
    created_ = false;
  }

 private:
  int fd_ = -1;
  bool created_ = false;
};

// A settings file holds window positions: anything this large is not one,
// and is neither read nor rewritten.
constexpr std::uint64_t kSettingsLimit = 4 * files::MiB;

Status tooLarge(const fs::path& path) {
  return Status::error(err::InvalidDataFile, "El archivo de configuración " + quoted(path) +
                                                 " es demasiado grande (el límite es " +
                                                 std::to_string(kSettingsLimit) + " bytes).");
}

// Reads at most kSettingsLimit bytes; false with errno EFBIG beyond that.
bool readAll(int fd, std::string& out) {
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buf, static_cast<std::size_t>(n));
    if (out.size() > kSettingsLimit) {
      errno = EFBIG;
      return false;
    }
  }
}

// Only a regular file of a sane size is read, and nothing else is even
// opened: a folder where the file should be, a device or a pipe reads as
// empty, as a missing file does.
Document readDocument(const fs::path& path) {
  std::string content;
  if (!files::readRegularFile(path.string(), kSettingsLimit, content)) return {};
  return parse(content);
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Writes beside the file and renames over it: the file is always either
// the old one or the new one, never a half-written one.
Status replaceFile(const fs::path& path, int lockedFd, std::string_view content) {
  std::string tmpl = path.string() + ".XXXXXX";
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) return fileError(path, errno);
  struct stat original;
  bool ok = ::fstat(lockedFd, &original) == 0 && ::fchmod(fd, original.st_mode & 07777) == 0 &&
            writeAll(fd, content) && ::fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) ok = false, error = errno;
  if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0) ok = false, error = errno;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return fileError(path, error);
  }
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);  // makes the rename itself survive a power cut
    ::close(dir);
  }
  return {};
}

// The section's last line that belongs to it: comments and blank lines at its
// end usually introduce the next section.
std::size_t insertionPoint(const Document& doc, std::size_t header) {
  std::size_t last = header;
  for (std::size_t i = header + 1; i < doc.lines.size(); ++i) {
    const Line::Kind k = doc.lines[i].kind;
    if (k == Line::Section) break;
    if (k != Line::Blank && k != Line::Comment) last = i;
  }
  return last + 1;
}

std::optional<std::size_t> findSection(const Document& doc, std::string_view section) {
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    if (doc.lines[i].kind == Line::Section && sameName(doc.lines[i].name, section)) return i;
  }
  return std::nullopt;
}

Status encodeLine(const Document& doc, std::string_view text, std::string& raw) {
  if (doc.utf8) {
    raw = text;
    return {};
  }
  cp1252::Encoded enc = cp1252::fromUtf8(text);
  if (!enc.ok)
    return refused("El carácter «" + enc.bad +
                   "» no se puede guardar en el archivo de configuración.");
  raw = std::move(enc.bytes);
  return {};
}

// Applies the changes to doc; `changed` tells whether the file must be written.
Status change(Document& doc, std::string_view section,
              const std::vector<SettingsFile::Change>& changes, bool& changed) {
  changed = false;
  for (const auto& c : changes) {
    const std::string key(trim(c.key));
    std::vector<std::size_t> found = findKey(doc, section, key);
    std::size_t keep = found.size();  // index into found of the line kept
    if (c.value) {
      const std::string value(trim(*c.value));
      if (!found.empty()) {
        keep = 0;
        Line& line = doc.lines[found[0]];
        if (line.value != value) {
          if (Status st = encodeLine(doc, line.name + "=" + value, line.raw); !st) return st;
          line.value = value;
          changed = true;
        }
      } else {
        Line line;
        line.kind = Line::Key;
        line.name = key;
        line.value = value;
        if (Status st = encodeLine(doc, key + "=" + value, line.raw); !st) return st;
        std::size_t at;
        if (const auto header = findSection(doc, section)) {
          at = insertionPoint(doc, *header);
        } else {
          if (!doc.lines.empty() && doc.lines.back().kind != Line::Blank) {
            Line blank;
            blank.kind = Line::Blank;
            doc.lines.push_back(std::move(blank));
          }
          Line head;
          head.kind = Line::Section;
          head.name = trim(section);
          if (Status st = encodeLine(doc, "[" + head.name + "]", head.raw); !st) return st;
          doc.lines.push_back(std::move(head));
          at = doc.lines.size();
        }
        doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
        changed = true;
      }
    }
    for (std::size_t i = found.size(); i-- > 0;) {
      if (i == keep) continue;
      doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(found[i]));
      changed = true;
    }
  }
  return {};
}

std::optional<int> toInt(std::string_view s) {
  int v = 0;
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

}  // namespace

std::optional<std::string> SettingsSection::get(std::string_view key) const {
  const auto k = trim(key);
  for (const auto& e : entries) {
    if (sameName(e.first, k)) return e.second;
  }
  return std::nullopt;
}

Status SettingsFile::check() const {
  struct stat st;
  if (::stat(path_.c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    return fileError(path_, errno);
  }
  if (S_ISDIR(st.st_mode)) return fileError(path_, EISDIR);
  if (!S_ISREG(st.st_mode)) return fileError(path_, EINVAL);
  if (std::uint64_t(st.st_size) > kSettingsLimit) return tooLarge(path_);
  if (::access(path_.c_str(), R_OK) != 0)
    return Status::error(err::AccessDenied,
                         "No tiene permiso para leer el archivo de "
                         "configuración " +
                             quoted(path_) + ".");
  return {};
}

SettingsSection SettingsFile::section(std::string_view name) const {
  const auto n = trim(name);
  if (n.empty()) return {};
  return collect(readDocument(path_), n);
}

std::optional<std::string> SettingsFile::get(std::string_view sectionName,
                                             std::string_view key) const {
  return section(sectionName).get(key);
}

std::string SettingsFile::get(std::string_view sectionName, std::string_view key,
                              std::string_view fallback) const {
  return get(sectionName, key).value_or(std::string(fallback));
}

Status SettingsFile::apply(std::string_view sectionName, const std::vector<Change>& changes) {
  if (Status st = checkName(sectionName, false); !st) return st;
  bool create = false;
  for (const auto& c : changes) {
    if (Status st = checkName(c.key, true); !st) return st;
    if (c.value && hasBreak(*c.value))
      return refused("El valor de «" + std::string(trim(c.key)) +
                     "» contiene un salto de línea y dañaría el archivo de configuración.");
    create = create || c.value.has_value();
  }
  const auto section = trim(sectionName);

  const fs::path& target = path_;
  FileLock lock;
  Status st;
  if (!lock.acquire(target, create, st)) return st;  // nothing to delete when missing
  std::string content;
  if (!readAll(lock.fd(), content)) {
    st = errno == EFBIG ? tooLarge(target) : fileError(target, errno);
    lock.dropCreated(target);
    return st;
  }
  Document doc = parse(content);
  if (doc.utf16) {
    return Status::error(err::InvalidDataFile, "El archivo de configuración " + quoted(target) +
                                                   " está en UTF-16 y no se modifica.");
  }
  bool changed = false;
  st = change(doc, section, changes, changed);
  if (st && changed) st = replaceFile(target, lock.fd(), serialize(doc));
  if (!st) lock.dropCreated(target);
  return st;
}

Status SettingsFile::set(std::string_view sectionName, std::string_view key,
                         std::string_view value) {
  return apply(sectionName, {{std::string(key), std::string(value)}});
}

Status SettingsFile::remove(std::string_view sectionName, std::string_view key) {
  return apply(sectionName, {{std::string(key), std::nullopt}});
}

std::optional<WindowPlacement> loadWindowSettings(const SettingsFile& file,
                                                  std::string_view procedure) {
  const SettingsSection s = file.section(procedure);
  const auto maximize = s.get("Maximize");
  if (!maximize) return std::nullopt;
  const auto yes = [](const std::optional<std::string>& v) { return v && sameName(*v, "Yes"); };
  const auto number = [&](std::string_view key, int min) -> std::optional<int> {
    const auto v = s.get(key);
    std::optional<int> n = v ? toInt(*v) : std::nullopt;
    if (n && *n < min) return std::nullopt;
    return n;
  };
  WindowPlacement p;
  p.maximized = yes(maximize);
  p.minimized = yes(s.get("Minimize"));
  p.x = number("XPos", kUnsetPosition + 1);
  p.y = number("YPos", kUnsetPosition + 1);
  p.width = number("Width", 1);
  p.height = number("Height", 1);
  p.tab = number("Tab:?CurrentTab", 1);
  return p;
}

Status saveWindowSettings(SettingsFile& file, std::string_view procedure,
                          const WindowPlacement& placement, bool hasSheet) {
  const auto yesNo = [](bool b) { return std::string(b ? "Yes" : "No"); };
  const auto position = [](const std::optional<int>& v) -> std::optional<std::string> {
    if (!v || *v == kUnsetPosition) return std::nullopt;
    return std::to_string(*v);
  };
  std::vector<SettingsFile::Change> changes = {
      {"Maximize", yesNo(placement.maximized)}, {"Minimize", yesNo(placement.minimized)},
      {"XPos", position(placement.x)},          {"YPos", position(placement.y)},
      {"Width", position(placement.width)},     {"Height", position(placement.height)},
  };
  if (hasSheet) {
    changes.push_back({"Tab:?CurrentTab", placement.tab
                                              ? std::optional(std::to_string(*placement.tab))
                                              : std::nullopt});
  }
  return file.apply(procedure, changes);
}

}  // namespace velmora
