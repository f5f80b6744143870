#include "reports/csv_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "dictionary/cp1252.h"

namespace velmora::reports {

namespace {

// What happened, in the user's words, and what to do about it.
std::string reason(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return "la carpeta no existe. Escriba el nombre de una carpeta que exista, o créela "
             "antes.";
    case EACCES:
    case EPERM:
      return "no tiene permiso de escribir en esa carpeta. Exporte a una carpeta suya, como "
             "Documentos.";
    case EROFS: return "el disco es de solo lectura. Exporte a otro disco o carpeta.";
    case ENOSPC:
    case EDQUOT:
      return "el disco está lleno. Libere espacio en el disco o exporte a otro, y ejecute de "
             "nuevo el reporte.";
    case EFBIG:
      return "el archivo llegó al tamaño más grande que admite el disco. Exporte a otro disco, o "
             "reduzca el reporte con sus opciones (fechas, folios, contratista).";
    case ELOOP:
    case EMLINK:
      return "ese nombre es un enlace a otro archivo, y la exportación no escribe a través de "
             "enlaces. Escriba el nombre de un archivo que no sea un enlace.";
    case EISDIR: return "ese nombre es una carpeta. Escriba el nombre de un archivo.";
    case ENAMETOOLONG: return "el nombre es demasiado largo. Use un nombre o carpeta más corto.";
    case EIO:
      return "el disco no respondió (error de lectura o escritura). Revise el disco o la red y "
             "ejecute de nuevo el reporte.";
    default:
      return "el sistema lo impidió (error " + std::to_string(e) +
             "). Intente de nuevo; si se repite, exporte a otra carpeta.";
  }
}

using Step = CsvExport::Step;

Status failed(Step step, const std::string& path, int e) {
  const char* what = step == Step::Create   ? "No se pudo crear el archivo de exportación "
                     : step == Step::Open   ? "No se pudo abrir el archivo de exportación "
                     : step == Step::Header ? "No se pudo escribir el encabezado del archivo "
                                              "de exportación "
                                            : "No se pudo escribir un renglón del archivo de "
                                              "exportación ";
  std::string text = what + path + ": " + reason(e);
  if (step == Step::Record) text += " El archivo se quedó con los renglones escritos hasta ahí.";
  return Status::error(err::AccessDenied, text);
}

// Windows-1252 bytes; a character the code page lacks becomes '?' so the
// line is still written.
std::string encode(const std::string& utf8) {
  cp1252::Encoded e = cp1252::fromUtf8(utf8);
  if (e.ok) return e.bytes;
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    cp1252::Encoded one = cp1252::fromUtf8(utf8.substr(i, n));
    out += one.ok ? one.bytes : "?";
    i += n;
  }
  return out;
}

std::string plain(double v) {
  if (!std::isfinite(v)) return "0";
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  std::string s(buf, r.ptr);
  return s == "-0" ? "0" : s;
}

}  // namespace

std::string exportFileName(const std::string& name) {
  if (cp1252::utf8Length(name) < 3) return {};
  std::filesystem::path p(name);
  std::string file = p.filename().string();
  file = file.substr(0, file.find('.')) + ".CSV";
  return (p.parent_path() / file).string();
}

Status checkDelimiter(const std::string& delimiter) {
  if (delimiter.size() != 1 || delimiter[0] == '"' || delimiter[0] == '\r' ||
      delimiter[0] == '\n' || static_cast<unsigned char>(delimiter[0]) >= 0x80)
    return Status::error(err::ValueRefused,
                         "El delimitador debe ser un solo carácter, que no sea comillas ni "
                         "salto de línea");
  // Numbers are written bare: a delimiter they contain splits them.
  const char c = delimiter[0];
  if ((c >= '0' && c <= '9') || c == '.' || c == '-' || c == ' ')
    return Status::error(err::ValueRefused,
                         "El delimitador no puede ser un dígito, el punto, el guion ni un "
                         "blanco: se confunde con los números del archivo; use ; o ,");
  return Status::success();
}

std::string exportValue(const Value& v, int width, char delimiter) {
  if (const auto* d = std::get_if<double>(&v)) return plain(*d);
  if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  if (const auto* m = std::get_if<Decimal>(&v)) return m->toString();
  std::string text = std::get<std::string>(v);
  const std::size_t length = cp1252::utf8Length(text);
  if (width > 0 && length < std::size_t(width)) text.append(std::size_t(width) - length, ' ');
  if (text.find_first_of(std::string{delimiter, '"', '\r', '\n'}) == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

CsvExport::~CsvExport() { (void)close(); }

Status CsvExport::create(const std::string& path, char delimiter,
                         const std::vector<std::string>& titles) {
  path_ = path;
  delimiter_ = delimiter;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
  if (fd < 0) return failed(Step::Create, path, errno);
  ::close(fd);
  f_ = std::fopen(path.c_str(), "r+b");
  if (!f_) return failed(Step::Open, path, errno);
  std::string header;
  for (const std::string& t : titles) header += (header.empty() ? "\"" : ",\"") + t + "\"";
  Status st = write(header, Step::Header);
  if (st && std::fflush(f_) != 0) st = failed(Step::Header, path_, errno);
  return st;
}

Status CsvExport::add(const std::vector<std::string>& values) {
  std::string line;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) line += delimiter_;
    line += values[i];
  }
  return write(line, Step::Record);
}

Status CsvExport::write(const std::string& line, Step step) {
  const std::string bytes = encode(line) + "\r\n";
  // Lines are buffered; a failure the buffer hides shows at close().
  if (std::fwrite(bytes.data(), 1, bytes.size(), f_) != bytes.size())
    return failed(step, path_, errno);
  return Status::success();
}

Status CsvExport::close() {
  if (!f_) return Status::success();
  const int rc = std::fclose(f_);
  f_ = nullptr;
  if (rc != 0) return failed(Step::Record, path_, errno);
  return Status::success();
}

}  // namespace velmora::reports
