#include "shell/shell_program.h"

#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

namespace velmora::shell {

using Kind = ToolbarButton::Kind;

const ShellProgram& dudore() {
  static const ShellProgram p{
      Suite::Dudore,
      "DUDORE",
      "Sub-Sistema de Control de Estimaciones Velmora",
      1,
      "Seleccione la Obra a Trabajar",
      "banner4.gif",
      db::NameStyle::WithExtension,
      {
          {Kind::Start, "Captura de Frentes", "CAP_FRE", "FRE", "x-office-drawing"},
          {Kind::Start, "Procesos en la Obra", "CAP_PROC", "PRO", "preferences-system"},
          {Kind::Start, "Actualiza Conceptos de Estimación", "CAP_COES", "CON",
           "x-office-document"},
          {Kind::Start, "Captura de Sub-contratistas", "CAP_DEST", "SUB", "system-users"},
          {Kind::Start, "Conceptos de la Obra", "CAP_PART", "PAR", "x-office-spreadsheet"},
          {Kind::Start, "Pago de mano de obra", "CAP_EST", "EST", "accessories-calculator"},
          {Kind::Start, "Reportes", "IMP_REP", "REP", "document-print"},
          {Kind::Start, "Genera Póliza Contable de Pagos", "POL_PAG", "POL",
           "x-office-address-book"},
          {Kind::Start, "Auditoría del Sistema", "AUDITORIA", "AUD", "system-search"},
          {Kind::Manual, "Manual del Sistema", "", "MAN", "help-browser"},
          {Kind::Tutorial, "Tutorial del Sistema", "", "TUT", "media-playback-start"},
          {Kind::Start, "Envia y Recibe Archivos", "OFICINA", "ENV", "mail-send-receive"},
          {Kind::Exit, "Salir del Sistema", "", "SAL", "system-log-out"},
      },
      12,
  };
  return p;
}

const ShellProgram& vorovid() {
  static const ShellProgram p{
      Suite::Vorovid,
      "VOROVID",
      "Sub-Sistema de Control de Maquinaria y Equipo Velmora",
      9,
      "Mostrando Archivo de Obras",
      "banner10.gif",
      db::NameStyle::WithoutExtension,
      {
          {Kind::Start, "Actualización de Proveedores", "CAP_PROV", "PRV", "system-users"},
          {Kind::Start, "Catálogo de Maquinaria de la Obra", "CAP_EQUI", "MAQ",
           "applications-system"},
          {Kind::Start, "Facturas a Revisión", "CAP_FACT", "FAC", "x-office-document"},
          {Kind::Start, "Pago de Maquinaria y Equipo", "CAP_PAGO", "PAG", "accessories-calculator"},
          {Kind::Start, "Reportes", "REP_MENU", "REP", "document-print"},
          {Kind::Start, "Auditoría del Sistema", "AUDITORIA", "AUD", "system-search"},
          {Kind::Manual, "Manual del Sistema", "", "MAN", "help-browser"},
          {Kind::Exit, "Salir del Sistema", "", "SAL", "system-log-out"},
      },
      7,
  };
  return p;
}

std::string settingsPath(const ShellProgram& program) {
  if (program.suite == Suite::Dudore) return "DUDORE.INI";
#ifdef _WIN32
  char dir[MAX_PATH];
  UINT n = GetWindowsDirectoryA(dir, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return std::string(dir, n) + "\\vorovid.INI";
  return "vorovid.INI";
#else
  namespace fs = std::filesystem;
  fs::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    base = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    base = fs::path(home) / ".config";
  else
    return "vorovid.INI";
  std::error_code ec;
  fs::create_directories(base / "velmora", ec);
  return (base / "velmora" / "vorovid.INI").string();
#endif
}

}  // namespace velmora::shell
