// velmora demo DIR [--size N] [--version 1]: a complete demo company to try the programs on.
//
// The company is built in a hidden folder inside DIR and moved into place at
// the end, so that a failure or an interruption never leaves half a company
// behind, and nothing that already exists is ever overwritten.

#include <fmt/core.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dictionary/dates.h"
#include "dictionary/records.h"
#include "dictionary/work_files.h"
#include "framework/settings.h"
#include "programs/velmora/commands.h"
#include "programs/velmora/demo_data.h"

namespace velmora::cli {

namespace {

namespace fs = std::filesystem;

int fail(const std::string& message) {
  fmt::print(stderr, "{}\n", message);
  return 2;
}

// 1234567.891 -> "1,234,567.89"
std::string money(double v) {
  std::string digits = fmt::format("{:.2f}", v < 0 ? -v : v);
  std::string out = digits.substr(digits.size() - 3);
  for (std::size_t n = 0, i = digits.size() - 3; i > 0; --i, ++n) {
    if (n > 0 && n % 3 == 0) out.insert(out.begin(), ',');
    out.insert(out.begin(), digits[i - 1]);
  }
  return v < 0 ? "-" + out : out;
}

std::string count(int n, const char* one, const char* many) {
  return fmt::format("{} {}", n, n == 1 ? one : many);
}

void printSummary(const fs::path& dir, const demo::DemoSummary& s, const std::string& company,
                  std::int32_t today, double seconds) {
  fmt::print("Empresa de demostración creada en {} ({:.1f} s)\n", dir.string(), seconds);
  fmt::print("Empresa: {} (VELMORA.INI)\n", company);
  fmt::print("Zonas de salario (DATA0.TPS):\n");
  for (std::size_t i = 0; i < s.zones.size(); ++i) fmt::print("  {}  {}\n", i + 1, s.zones[i]);
  fmt::print("Usuarios (DATA7.TPS):\n");
  for (const demo::UserSummary& u : s.users)
    fmt::print("  {}  {:<30}  {}\n", u.number, u.name, u.rights);
  fmt::print("Obras (DATA1.TPS):\n");
  std::string month(db::monthAbbreviation(dates::monthOf(today)));
  for (const demo::WorkSummary& w : s.works) {
    fmt::print("  {:<8}  {}\n", w.code, w.name);
    fmt::print("            carpeta {}, contabilidad {} (pólizas del mes en POL{}.TPS)\n", w.code,
               w.accounting, month);
    fmt::print("            {}, {}, {}, {}, {}\n", count(w.fronts, "frente", "frentes"),
               count(w.processes, "proceso", "procesos"),
               count(w.concepts, "concepto", "conceptos"), count(w.items, "partida", "partidas"),
               count(w.contractors, "contratista", "contratistas"));
    fmt::print("            {} con {}, sin contabilizar\n",
               count(w.estimates, "estimación", "estimaciones"),
               count(w.lines, "renglón", "renglones"));
    fmt::print("            {} de maquinaria, {}, {}, {}\n",
               count(w.equipment, "registro", "registros"),
               count(w.suppliers, "proveedor", "proveedores"), count(w.banks, "banco", "bancos"),
               count(w.accounts, "cuenta", "cuentas"));
    fmt::print("            costo directo {}\n", money(w.directCost));
  }
}

// While a run moves the company into place, this file in DIR names the run.
// DATA1.TPS (the works catalogue, by which a company is recognised) moves
// last: a run killed half-way leaves no company, only what it moved and this
// note, and the next run takes them away.
constexpr const char* kMovingNote = ".demo-moviendo";
constexpr const char* kWorks = "DATA1.TPS";

bool alive(long pid) { return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM); }

long pidIn(const std::string& text) {
  long pid = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), pid);
  return ec == std::errc() ? pid : 0;
}

// Takes away what runs that died left behind: their staging folders and, if
// one died while moving, what it had moved. False (with the reason) when a
// live run is at work in DIR.
bool cleanDeadRuns(const fs::path& dir, std::string& error) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    const std::string name = e.path().filename().string();
    if (name.starts_with(".demo-") && name != kMovingNote && e.is_directory(ec) &&
        !alive(pidIn(name.substr(6))))
      fs::remove_all(e.path(), ec);
  }
  const fs::path note = dir / kMovingNote;
  if (!fs::exists(note, ec)) return true;
  std::ifstream in(note);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (const long pid = pidIn(text); pid != ::getpid() && alive(pid)) {
    error =
        fmt::format("Otra ejecución (proceso {}) está creando la empresa en {}", pid, dir.string());
    return false;
  }
  if (!fs::exists(dir / kWorks, ec))
    for (const std::string& name : demo::demoEntries()) fs::remove_all(dir / name, ec);
  fs::remove(note, ec);
  return true;
}

// Moves what was built into DIR, the works catalogue last; on failure takes
// back what it moved.
bool moveIntoPlace(const fs::path& staging, const fs::path& dir, std::string& error) {
  std::vector<std::string> order;
  for (const std::string& name : demo::demoEntries())
    if (name != kWorks) order.push_back(name);
  order.push_back(kWorks);

  const fs::path note = dir / kMovingNote;
  {
    std::ofstream out(note);
    out << ::getpid() << "\n";
    if (!out.flush()) {
      error = fmt::format("no se pudo escribir {}", note.string());
      return false;
    }
  }
  std::vector<fs::path> moved;
  std::error_code ec;
  for (const std::string& name : order) {
    fs::rename(staging / name, dir / name, ec);
    if (ec) {
      error = fmt::format("no se pudo mover {} a {}: {}", name, dir.string(), ec.message());
      for (const fs::path& p : moved) fs::remove_all(p, ec);
      fs::remove(note, ec);
      return false;
    }
    moved.push_back(dir / name);
  }
  fs::remove(note, ec);
  return true;
}

int makeDemo(const std::string& dirArg, const std::string& sizeArg, int version) {
  int size = demo::kDefaultSize;
  if (!sizeArg.empty()) {
    auto [end, ec] = std::from_chars(sizeArg.data(), sizeArg.data() + sizeArg.size(), size);
    if (ec != std::errc() || end != sizeArg.data() + sizeArg.size() || size < 1 ||
        size > demo::kMaxSize)
      return fail(fmt::format("El tamaño debe ser un número de partidas entre 1 y {}; se dio «{}»",
                              demo::kMaxSize, sizeArg));
  }
  const std::int32_t today = dates::today();
  if (today == 0) return fail("La fecha del sistema está fuera del rango de fechas de Velmora");

  std::error_code ec;
  fs::path dir = fs::absolute(fs::path(dirArg), ec).lexically_normal();
  if (!dir.has_filename()) dir = dir.parent_path();  // "demo/" is "demo"
  if (ec || dirArg.empty()) return fail(fmt::format("Carpeta inválida: «{}»", dirArg));
  if (!fs::is_directory(dir.parent_path()))
    return fail(fmt::format("No existe la carpeta {}; créela antes de generar la empresa",
                            dir.parent_path().string()));
  if (fs::exists(dir) && !fs::is_directory(dir))
    return fail(fmt::format("{} no es una carpeta", dir.string()));
  if (fs::is_directory(dir)) {
    std::string busy;
    if (!cleanDeadRuns(dir, busy)) return fail(busy);
  }
  if (fs::exists(dir / "DATA1.TPS"))
    return fail(fmt::format(
        "Ya hay una empresa en {} (DATA1.TPS); la demostración no sobrescribe nada", dir.string()));
  for (const std::string& name : demo::demoEntries())
    if (fs::exists(dir / name))
      return fail(
          fmt::format("Ya existe {}; la demostración no sobrescribe nada", (dir / name).string()));

  const bool madeDir = fs::create_directory(dir, ec);
  if (ec)
    return fail(fmt::format("No se pudo crear la carpeta {}: {}", dir.string(), ec.message()));
  const fs::path staging = dir / fmt::format(".demo-{}", ::getpid());
  fs::remove_all(staging, ec);
  fs::create_directory(staging, ec);
  if (ec)
    return fail(fmt::format("No se pudo crear la carpeta {}: {}", staging.string(), ec.message()));

  const auto started = std::chrono::steady_clock::now();
  demo::DemoSummary summary;
  Status st = demo::buildDemo(demo::DemoOptions{staging, size, today}, summary);
  std::string error;
  bool placed = false;
  if (!st)
    error = st.table.empty() ? st.text : fmt::format("{} (tabla {})", st.text, st.table);
  else
    placed = moveIntoPlace(staging, dir, error);
  fs::remove_all(staging, ec);
  if (!placed) {
    if (madeDir) fs::remove(dir, ec);
    return fail("No se pudo crear la empresa de demostración: " + error);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  // A company name already set for this folder stays.
  std::string company = companyName(dir).value_or("");
  if (company.empty()) {
    company = demo::kCompanyName;
    st = setCompanyName(dir, company);
    if (!st) return fail("No se pudo guardar el nombre de la empresa: " + st.text);
  }
  // New invoices propose the IVA the demo's contractors charge; a rate
  // already set for this folder stays.
  SettingsFile settings(dir / "VELMORA.INI");
  if (!settings.get("Facturas", "IVA")) {
    st = settings.set("Facturas", "IVA", "0.16");
    if (!st) return fail("No se pudo guardar la tasa de IVA de las facturas: " + st.text);
  }
  if (version != OBR::info().version) {
    if (Status old = writeWorksInVersion(dir, version); !old)
      return fail("No se pudo escribir el catálogo de obras en la versión " +
                  std::to_string(version) + ": " + old.text);
  }
  printSummary(dir, summary, company, today, seconds);
  return 0;
}

}  // namespace

void addDemoCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "demo",
      "Crea una empresa constructora de demostración completa (obras, presupuesto, contratistas, "
      "estimaciones, maquinaria, bancos, catálogo de cuentas, usuarios) en la carpeta DIR");
  static std::string dir, size;
  static int version = OBR::info().version;
  cmd->add_option("DIR", dir, "Carpeta del programa; se crea si no existe")->required();
  cmd->add_option("--version", version,
                  "Formato del catálogo de obras: 1 lo escribe como los programas anteriores, "
                  "para probar la actualización")
      ->check(::CLI::Range(1, OBR::info().version));
  cmd->add_option("--size", size,
                  fmt::format("Partidas de presupuesto de la primera obra (1 a {}; {} si no se da)",
                              demo::kMaxSize, demo::kDefaultSize))
      ->type_name("ENTERO");
  cmd->callback([] { std::exit(makeDemo(dir, size, version)); });
}

}  // namespace velmora::cli
