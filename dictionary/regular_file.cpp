#include "dictionary/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmora::files {

namespace {

Status refused(int code, std::string text) { return Status::error(code, std::move(text)); }

std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "es una carpeta";
  if (S_ISFIFO(mode)) return "es una tubería (FIFO)";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "es un dispositivo";
  if (S_ISSOCK(mode)) return "es un socket";
  return "es de un tipo desconocido";
}

Status systemError(const std::string& path, int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return refused(err::FileNotFound, "Falta el archivo " + path);
    case EACCES:
    case EPERM: return refused(err::AccessDenied, "No tiene permiso para leer el archivo " + path);
    case ELOOP:
      return refused(err::InvalidDataFile,
                     "El archivo " + path + " es un enlace que no lleva a ningún archivo");
    default: break;
  }
  Status st = refused(err::FileSystem, "No se pudo leer el archivo " + path);
  st.fileErrorCode = std::to_string(error);
  st.fileError = std::strerror(error);
  return st;
}

Status judge(const std::string& path, const struct stat& st, std::uint64_t maxBytes) {
  if (!S_ISREG(st.st_mode))
    return refused(err::InvalidDataFile,
                   "El archivo " + path + " no es un archivo común: " + kindOf(st.st_mode));
  if (std::uint64_t(st.st_size) > maxBytes)
    return refused(err::InvalidDataFile, "El archivo " + path + " es demasiado grande (" +
                                             std::to_string(st.st_size) + " bytes; el límite es " +
                                             std::to_string(maxBytes) + ")");
  return {};
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

Status checkRegularFile(const std::string& path, std::uint64_t maxBytes) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return systemError(path, errno);
  return judge(path, st, maxBytes);
}

Status readRegularFile(const std::string& path, std::uint64_t maxBytes,
                       const std::function<bool(const char*, std::size_t)>& chunk) {
  struct stat before;
  if (::stat(path.c_str(), &before) != 0) return systemError(path, errno);
  if (Status st = judge(path, before, maxBytes); !st) return st;
  // Non-blocking: should a pipe take the file's place after the check, the
  // open returns at once instead of waiting for a writer.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) return systemError(path, errno);
  struct stat opened;
  if (::fstat(fd.get(), &opened) != 0) return systemError(path, errno);
  if (Status st = judge(path, opened, maxBytes); !st) return st;
  if (opened.st_dev != before.st_dev || opened.st_ino != before.st_ino)
    return refused(err::InvalidDataFile,
                   "El archivo " + path + " cambió mientras se abría; no se leyó");
  char buf[65536];
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n == 0) return {};
    if (n < 0) {
      if (errno == EINTR) continue;
      return systemError(path, errno);
    }
    total += std::uint64_t(n);
    if (total > maxBytes)
      return refused(err::InvalidDataFile, "El archivo " + path +
                                               " creció mientras se leía y es demasiado grande "
                                               "(el límite es " +
                                               std::to_string(maxBytes) + " bytes)");
    if (!chunk(buf, std::size_t(n)))
      return refused(err::FileSystem, "Se dejó de leer el archivo " + path);
  }
}

Status readRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& out) {
  out.clear();
  return readRegularFile(path, maxBytes, [&](const char* data, std::size_t n) {
    out.append(data, n);
    return true;
  });
}

}  // namespace velmora::files
