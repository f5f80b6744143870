// velmora usuario DIR NUMERO ...: creates a user of the suite and sets its
// access levels, since neither program has a window for them.
// velmora empresa DIR [NOMBRE]: the company name both programs print in
// their report headers, kept in DIR/VELMORA.INI.

#include <fmt/core.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "dictionary/cp1252.h"
#include "dictionary/storage.h"
#include "framework/settings.h"
#include "programs/velmora/commands.h"

namespace velmora::cli {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kCompanyWidth = 50;   // GLO:EMPRESA
constexpr std::size_t kUserNameWidth = 30;  // PER:NOMB
constexpr int kEntries = 20;
constexpr int kTopLevel = 5;

int fail(const std::string& message) {
  fmt::print(stderr, "{}\n", message);
  return 2;
}

SettingsFile companySettings(const fs::path& dir) { return SettingsFile(dir / "VELMORA.INI"); }

std::string trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return std::string(s);
}

// A text that a fixed field of `width` Windows-1252 characters holds whole;
// empty when it does, else the reason in Spanish.
std::string checkText(std::string_view text, std::size_t width, std::string_view what) {
  cp1252::Encoded e = cp1252::fromUtf8(text);
  if (!e.ok)
    return fmt::format("{} no se puede guardar: el carácter «{}» no existe en Windows-1252", what,
                       e.bad);
  if (e.bytes.size() > width)
    return fmt::format("{} tiene {} caracteres; el máximo es {}", what, e.bytes.size(), width);
  return {};
}

template <class T>
bool parseNumber(const std::string& text, T& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// --- usuario -----------------------------------------------------------------

struct UserArgs {
  std::string dir, number, name, program, entry, level, all;
};

void printLevels(const PER& p, bool created) {
  fmt::print("Usuario {}  {}{}\n", p.CTA, p.NOMB, created ? "  (nuevo)" : "");
  std::string header = "Entrada ";
  for (int k = 1; k <= kEntries; ++k) header += fmt::format("{:>3}", k);
  fmt::print("{}\n", header);
  auto row = [](const char* program, const std::array<std::uint8_t, 20>& levels) {
    std::string line = fmt::format("{:<8}", program);
    for (std::uint8_t l : levels) line += fmt::format("{:>3}", l);
    fmt::print("{}\n", line);
  };
  row("DUDORE", p.ESTI);
  row("VOROVID", p.MATE);
}

int setUser(const UserArgs& a) {
  std::int32_t number = 0;
  if (!parseNumber(a.number, number) || number < 1)
    return fail(fmt::format("El número de usuario debe ser un entero entre 1 y {}; se dio «{}»",
                            std::numeric_limits<std::int32_t>::max(), a.number));

  const bool changesLevels = !a.entry.empty() || !a.level.empty() || !a.all.empty();
  std::string program = a.program;
  std::transform(program.begin(), program.end(), program.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  if (!program.empty() && program != "dudore" && program != "vorovid")
    return fail(fmt::format("Programa desconocido «{}»: debe ser dudore o vorovid", a.program));
  if (changesLevels && program.empty())
    return fail("Indique con --programa dudore o vorovid de qué programa son los niveles");
  if (!a.all.empty() && (!a.entry.empty() || !a.level.empty()))
    return fail("--todos no se combina con --entrada ni con --nivel");
  if (a.entry.empty() != a.level.empty())
    return fail("--entrada y --nivel van juntos: la entrada (1 a 20) y su nivel (0 a 5)");

  int entry = 0, level = 0;
  if (!a.entry.empty() && (!parseNumber(a.entry, entry) || entry < 1 || entry > kEntries))
    return fail(
        fmt::format("La entrada debe ser un número entre 1 y {}; se dio «{}»", kEntries, a.entry));
  const std::string& levelText = a.all.empty() ? a.level : a.all;
  if (!levelText.empty() && (!parseNumber(levelText, level) || level < 0 || level > kTopLevel))
    return fail(
        fmt::format("El nivel debe ser un número entre 0 y {}; se dio «{}»", kTopLevel, levelText));
  const std::string name = trimmed(a.name);
  if (!a.name.empty()) {
    if (name.empty()) return fail("El nombre del usuario no puede quedar en blanco");
    std::string why = checkText(name, kUserNameWidth, "El nombre del usuario");
    if (!why.empty()) return fail(why);
  }
  if (!fs::is_directory(a.dir)) return fail(fmt::format("No existe la carpeta {}", a.dir));

  db::Storage storage;
  storage.setFileName(PER::info(), (fs::path(a.dir) / "DATA7").string());
  db::Context ctx(storage);
  db::Table& t = ctx.table<PER>();
  Status st = t.open();
  if (!st) return fail(fmt::format("No se pudo abrir el archivo de usuarios: {}", st.text));
  t.clear();
  t.rec<PER>().CTA = number;
  st = t.get("PER:CTA_KEY");
  const bool created = st.code == err::RecordNotFound;
  if (!st && !created) return fail(fmt::format("No se pudo leer el usuario: {}", st.text));
  PER& p = t.rec<PER>();
  if (created) {
    t.clear();
    p.CTA = number;
    p.NOMB = fmt::format("USUARIO {}", number);
  }
  if (!name.empty()) p.NOMB = name;
  if (changesLevels) {
    auto& levels = program == "dudore" ? p.ESTI : p.MATE;
    if (entry > 0)
      levels[std::size_t(entry - 1)] = std::uint8_t(level);
    else
      levels.fill(std::uint8_t(level));
  }
  st = created ? t.add() : t.put();
  if (!st) return fail(fmt::format("No se pudo guardar el usuario: {}", st.text));
  printLevels(p, created);
  return 0;
}

// --- empresa -----------------------------------------------------------------

int company(const std::string& dir, const std::vector<std::string>& words) {
  if (!fs::is_directory(dir)) return fail(fmt::format("No existe la carpeta {}", dir));
  if (words.empty()) {
    std::optional<std::string> name = companyName(dir);
    if (!name || name->empty()) {
      fmt::print(stderr, "No hay nombre de empresa en {}\n", companySettings(dir).path().string());
      return 1;
    }
    fmt::print("{}\n", *name);
    return 0;
  }
  std::string name;
  for (const std::string& w : words) name += (name.empty() ? "" : " ") + w;
  Status st = setCompanyName(dir, name);
  if (!st) return fail(st.text);
  fmt::print("{}\n", trimmed(name));
  return 0;
}

}  // namespace

std::optional<std::string> companyName(const fs::path& dir) {
  return companySettings(dir).get("Empresa", "Nombre");
}

Status setCompanyName(const fs::path& dir, std::string_view name) {
  // The settings file keeps no blanks around a value: neither does the check.
  const std::string value = trimmed(name);
  if (value.empty())
    return Status::error(err::ValueRefused, "El nombre de la empresa no puede quedar en blanco");
  std::string why = checkText(value, kCompanyWidth, "El nombre de la empresa");
  if (!why.empty()) return Status::error(err::ValueRefused, why);
  SettingsFile ini = companySettings(dir);
  Status st = ini.set("Empresa", "Nombre", value);
  if (!st) st.text = fmt::format("No se pudo escribir {}: {}", ini.path().string(), st.text);
  return st;
}

void addUserCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "usuario",
      "Crea un usuario (si no existe) y fija sus niveles de acceso de DUDORE o VOROVID; "
      "muestra los niveles que quedan");
  static UserArgs a;
  cmd->add_option("DIR", a.dir, "Carpeta del programa (DATA7.TPS)")->required();
  cmd->add_option("NUMERO", a.number, "Número del usuario")->type_name("ENTERO")->required();
  cmd->add_option("--nombre", a.name, "Nombre del usuario (30 caracteres)");
  cmd->add_option("--programa", a.program, "dudore (PER:ESTI) o vorovid (PER:MATE)");
  cmd->add_option("--entrada", a.entry, "Entrada de acceso, 1 a 20")->type_name("ENTERO");
  cmd->add_option("--nivel", a.level, "Nivel de la entrada, 0 a 5")->type_name("ENTERO");
  cmd->add_option("--todos", a.all, "Mismo nivel, 0 a 5, en las 20 entradas")->type_name("ENTERO");
  cmd->callback([] { std::exit(setUser(a)); });
}

void addCompanyCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "empresa",
      "Muestra o fija el nombre de la empresa que imprimen los reportes (DIR/VELMORA.INI)");
  static std::string dir;
  static std::vector<std::string> words;
  cmd->add_option("DIR", dir, "Carpeta del programa")->required();
  cmd->add_option("NOMBRE", words, "Nombre de la empresa, 50 caracteres a lo más");
  cmd->callback([] { std::exit(company(dir, words)); });
}

}  // namespace velmora::cli
