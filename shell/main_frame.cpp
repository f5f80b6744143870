#include "shell/main_frame.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "dictionary/cp1252.h"
#include "dictionary/dates.h"
#include "dictionary/posting_flag.h"
#include "framework/file_errors.h"
#include "framework/file_open.h"
#include "framework/maintenance.h"
#include "framework/picture.h"
#include "framework/settings.h"
#include "shell/globals.h"
#include "shell/rights.h"
#include "shell/work_selection.h"

namespace velmora::shell {

namespace fs = std::filesystem;

namespace {

struct MenuItem {
  const char* id;
  const char* menu;
  const char* caption;
  const char* message;
};

constexpr MenuItem kMenu[] = {
    {"?PrinterSetup", "&Archivo", "Configurar &Impresora", "Configurar Impresora"},
    {"?Exit", "&Archivo", "&Salir", "Regresar a Windows"},
    {"?Cut", "&Editar", "Cor&tar", "Pasar Texto al Clipboard"},
    {"?Copy", "&Editar", "&Copiar", "Copiar texto al Clipboard"},
    {"?Paste", "&Editar", "&Pegar", "Pegar texto del Clipboard"},
    {"?Tile", "&Ventana", "&Mosaico", "Hace visibles todas las Ventanas"},
    {"?Cascade", "&Ventana", "&Cascada", "Acomoda ventanas Abiertas"},
    {"?Arrange", "&Ventana", "&Arregla Iconos", "Alinea los Iconos"},
    {"?Importa", "&Importa del Presupuesto", "&Importa del Presupuesto", ""},
    {"?HelpIndex", "A&yuda", "&Contenido", "Ve el contenido de la ayuda"},
    {"?HelpSearch", "A&yuda", "&Busca en la ayuda ...", "Busca dentro de la ayuda"},
    {"?HelpOnHelp", "A&yuda", "Cómo &usar la ayuda", "Cómo usar la ayuda"},
};

std::string toolbarId(std::size_t i) { return "?Button" + std::to_string(i + 1); }

WindowDescription frameWindow(const ShellProgram& shell) {
  WindowDescription w;
  w.procedure = "Main";
  w.title = shell.title;
  for (const MenuItem& m : kMenu)
    w.controls.push_back(makeControl(ControlType::Button, m.id, m.caption));
  for (std::size_t i = 0; i < shell.toolbar.size(); ++i) {
    const ToolbarButton& b = shell.toolbar[i];
    Control c = makeControl(ControlType::Button, toolbarId(i), b.caption);
    c.tip = b.caption;
    w.controls.push_back(c);
  }
  w.controls.push_back(makeControl(ControlType::Image, "?IMAGE1"));
  return w;
}

std::string trimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

}  // namespace

// --- the logo bag --------------------------------------------------------------

void LogoBag::count(const std::string& folder) {
  int n = 0;
  std::error_code ec;
  while (n < kMaxLogos &&
         fs::exists(fs::path(folder) / ("logo" + std::to_string(n + 1) + ".jpg"), ec))
    ++n;
  setCount(n);
}

void LogoBag::setCount(int n) {
  count_ = std::clamp(n, 0, kMaxLogos);
  remaining_ = 0;
  bag_.assign(std::size_t(count_), 0);
}

std::string LogoBag::draw(std::mt19937& random) {
  if (count_ == 0) return {};
  if (remaining_ == 0) {
    for (int i = 0; i < count_; ++i) bag_[std::size_t(i)] = i + 1;
    remaining_ = count_;
  }
  int r = std::uniform_int_distribution<int>(1, remaining_)(random);
  int logo = bag_[std::size_t(r - 1)];
  // The last one still in the bag takes the drawn one's place.
  bag_[std::size_t(r - 1)] = bag_[std::size_t(remaining_ - 1)];
  --remaining_;
  return "logo" + std::to_string(logo) + ".jpg";
}

// --- the frame -----------------------------------------------------------------

MainFrame::MainFrame(Program& program, db::Context& ctx, const ShellProgram& shell,
                     std::string parameter, std::string programFolder)
    : FrameProcedure(program, ctx, frameWindow(shell)),
      shell_(shell),
      parameter_(std::move(parameter)),
      programFolder_(std::move(programFolder)),
      random_(std::random_device{}()) {
  for (const MenuItem& m : kMenu) layout_.menu.push_back({m.menu, m.id, m.message});
  for (std::size_t i = 0; i < shell.toolbar.size(); ++i) {
    layout_.toolbar.push_back(toolbarId(i));
    layout_.icons.push_back(shell.toolbar[i].icon);
    layout_.themeIcons.push_back(shell.toolbar[i].themeIcon);
  }
  layout_.image = "?IMAGE1";
}

bool MainFrame::init() {
  // The user number of the command line; the start-up pictures.
  program_.rights.user = userFromParameter(parameter_);
  background_ = kStartupPicture;
  toolbarImage_ = shell_.banner;
  logos_.count(programFolder_);

  // VOROVID converts files of an older layout when it opens them, and
  // records their versions in the program folder.
  if (shell_.suite == Suite::Vorovid) {
    FileUpgrades& upgrades = program_.attached<FileUpgrades>();
    upgrades.enabled = true;
    upgrades.versionFile = db::versionFilePath(programFolder_);
  }

  // A posting flag left by a station that stopped is cleared at every
  // start; one another running station holds is its own. The write waits
  // for the file like every other.
  // A company on a database server: every table of the program folder and
  // its works is there. A server that cannot be reached stops the start
  // at the first table, with the server's name.
  SettingsFile company(fs::path(programFolder_) / "VELMORA.INI");
  if (const std::string server = company.get("Servidor", "Conexion", ""); !server.empty())
    program_.storage().setServer(server, programFolder_);

  db::Table& control = table("CONTROL");
  if (!openTable(control)) return false;
  if (Status st = db::clearPostingFlag(context(), /*onlyIfDead=*/true); !st)
    fileError(st, FileAction::Change);

  Globals& glo = globals(program_);
  glo.empresa = cp1252::utf8Prefix(company.get("Empresa", "Nombre", ""), 50);
  glo.hoy = dates::today();
  // A settings file that cannot be read (a folder in its place, no right to
  // read it) is told once; the program goes on with the initial values.
  for (const fs::path& p : {fs::path(program_.settingsPath()), company.path()}) {
    if (!SettingsFile(p).check())
      warn("NO SE PUEDE LEER EL ARCHIVO DE", "CONFIGURACION " + p.filename().string(),
           "SE USAN LOS VALORES INICIALES...");
  }

  switch (loadRights(program_, ctx_, shell_)) {
    case Rights::NoUser:
    case Rights::Granted: break;
    case Rights::Refused:
      warn("NO TIENE PERMITIDO EL ACCESO", "A ESTE SISTEMA, VERIFIQUE", "SUS ACCESOS...");
      [[fallthrough]];
    case Rights::UnknownUser:
    case Rights::Unreadable: control.close(); return false;
  }

  // The five salary zones, in key order.
  glo.zona = {};
  control.clear();
  if (const dict::KeyInfo* key = control.info().key("CTL:KEYCTA"); key && control.setStart(key))
    for (std::size_t i = 0; i < glo.zona.size() && control.next(); ++i)
      glo.zona[i] = trimRight(control.rec<CTL>().ZONA);
  glo.lista = 1;
  control.close();
  return Procedure::init();
}

bool MainFrame::afterOpen() {
  if (call(WorkSelection::kName, request::Select) != response::Completed) return false;
  workChosen_ = true;
  if (services_) services_->titles(*this);
  if (!importAllowed(program_, shell_)) disable("?Importa");
  splash_ = true;
  if (services_) services_->splash(true);
  return true;
}

namespace {

// The server as the clerk knows it: the service's name, or the host and
// database of the connection string.
std::string serverShown(const std::string& connection) {
  // The last of a key counts, as for libpq.
  auto value = [&](const std::string& key) {
    std::string found;
    std::size_t at = 0;
    while ((at = connection.find(key + "=", at)) != std::string::npos) {
      if (at == 0 || connection[at - 1] == ' ') {
        const std::size_t from = at + key.size() + 1;
        found = connection.substr(from, connection.find(' ', from) - from);
      }
      ++at;
    }
    return found;
  };
  if (std::string service = value("service"); !service.empty()) return service;
  std::string host = value("host"), base = value("dbname");
  if (host.empty() && base.empty()) return connection.substr(0, 40);
  if (host.size() > 24) host = "..." + host.substr(host.size() - 21);
  return (host.empty() ? "localhost" : host) + (base.empty() ? "" : "/" + base);
}

}  // namespace

std::vector<std::string> MainFrame::statusTexts() const {
  if (!workChosen_) return {};
  const Globals& glo = globals(program_);
  std::string work = "Obra " + glo.obra;
  if (!glo.nombreObra.empty()) work += " " + glo.nombreObra;
  std::string user = "Sin usuario";
  if (const std::int32_t n = program_.rights.user; n > 0) {
    user = "Usuario " + std::to_string(n);
    if (!glo.nombreUsuario.empty()) user += " " + glo.nombreUsuario;
  }
  std::vector<std::string> texts = {work, user, formatPicture("@D6", Value(std::int64_t(glo.hoy)))};
  if (const std::string& server = program_.storage().serverConnection(); !server.empty())
    texts.push_back("Servidor: " + serverShown(server));
  return texts;
}

std::string MainFrame::title() const {
  std::string t = shell_.title;
  for (const std::string& part : statusTexts()) t += " - " + part;
  return t;
}

int MainFrame::runFrame(Host& host) {
  if (open(host)) {
    if (!afterOpen())
      close(response::Cancelled);
    else
      host.runModal(*this);
  }
  return finish();
}

void MainFrame::splashTimedOut() {
  if (!splash_) return;
  splash_ = false;
  if (services_) services_->splash(false);
}

void MainFrame::onAccepted(const std::string& control) {
  // The first control the user accepts closes the splash window.
  splashTimedOut();
  for (std::size_t i = 0; i < shell_.toolbar.size(); ++i)
    if (dict::sameName(control, toolbarId(i))) {
      if (int(i) < shell_.logoButtons) {
        if (std::string logo = logos_.draw(random_); !logo.empty()) {
          background_ = logo;
          if (services_) services_->pictures(*this);
        }
      }
      toolbarPressed(shell_.toolbar[i]);
      return;
    }
  static const std::pair<const char*, StandardCommand> kStandard[] = {
      {"?PrinterSetup", StandardCommand::PrinterSetup},
      {"?Cut", StandardCommand::Cut},
      {"?Copy", StandardCommand::Copy},
      {"?Paste", StandardCommand::Paste},
      {"?Tile", StandardCommand::Tile},
      {"?Cascade", StandardCommand::Cascade},
      {"?Arrange", StandardCommand::ArrangeIcons},
  };
  for (auto [id, command] : kStandard)
    if (dict::sameName(control, id)) {
      if (services_) services_->standard(command);
      return;
    }
  // The help menu opens the manual: its contents, or how to use the help.
  for (const char* id : {"?HelpIndex", "?HelpSearch"})
    if (dict::sameName(control, id)) return openHelp(help::kContents);
  if (dict::sameName(control, "?HelpOnHelp")) return openHelp(help::kUsingHelp);
  if (dict::sameName(control, "?Importa")) {
    start("IMPORTA");
  } else if (dict::sameName(control, "?Exit")) {
    close(response::Completed);
  }
}

void MainFrame::toolbarPressed(const ToolbarButton& b) {
  switch (b.kind) {
    case ToolbarButton::Kind::Start: start(b.procedure); break;
    case ToolbarButton::Kind::Manual: openHelp(help::kContents); break;
    case ToolbarButton::Kind::Tutorial: openHelp(help::kFirstSteps); break;
    case ToolbarButton::Kind::Exit: leave(); break;
  }
}

void MainFrame::openHelp(const help::Topic& topic) {
  help::open(host(), host().documents(), shell_.name, topic);
}

namespace {

// A file the user may run: a file named like the launcher but without the
// right to run it is passed over, as the shell itself would.
bool runnable(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
#ifdef _WIN32
  return true;
#else
  return ::access(file.c_str(), X_OK) == 0;
#endif
}

}  // namespace

std::string findLauncher(const std::string& programDir) {
  for (const char* name : {kLauncher, "kelto.exe"}) {
    fs::path beside = fs::path(programDir) / name;
    if (!programDir.empty() && runnable(beside)) return beside.string();
  }
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    fs::path candidate = fs::path(dir) / kLauncher;
    if (runnable(candidate)) return candidate.string();
  }
  return {};
}

void MainFrame::leave() {
  launcher_ = findLauncher(executableFolder);
  if (launcher_.empty())
    warn("NO SE ENCONTRO EL PROGRAMA kelto,", "EL MENU DEL SISTEMA VELMORA;",
         "EL PROGRAMA TERMINA");
  leaving_ = true;
  close(response::Completed);
}

void addShellProcedures(Program& program, const ShellProgram& shell,
                        const std::string& programFolder) {
  (void)globals(program);
  addMaintenance(program);
  program.addProcedure(WorkSelection::kName, [&shell, programFolder](Program& p, db::Context& c) {
    return std::make_unique<WorkSelection>(p, c, shell, programFolder);
  });
}

}  // namespace velmora::shell
