#include "programs/shell/shell_main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include "dictionary/regular_file.h"
#include "programs/shell/procedures.h"
#include "shell/main_frame.h"
#include "shell/platform.h"
#include "shell/startup.h"
#include "ui/qt/frame_window.h"
#include "ui/qt/help_window.h"
#include "ui/qt/qt_host.h"
#include "ui/qt/window_widget.h"
#include "ui/script/frame_services.h"
#include "ui/script/script_host.h"

namespace velmora {

namespace fs = std::filesystem;
using qt::FrameWindow;

namespace {

std::string executableFolder(const char* argv0) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) self = fs::absolute(argv0, ec);
  return self.parent_path().string();
}

// A window under a title bar like the desktop's (a display without a window
// manager draws none).
QPixmap withTitleBar(QWidget* window, const QPixmap& body) {
  constexpr int kTitleBar = 28;
  QPixmap pm(body.width(), body.height() + kTitleBar);
  pm.fill(QColor(0x2f, 0x3e, 0x4c));
  QPainter p(&pm);
  QFont f = window->font();
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRect(10, 0, pm.width() - 20, kTitleBar), Qt::AlignVCenter | Qt::AlignLeft,
             p.fontMetrics().elidedText(window->windowTitle(), Qt::ElideRight, pm.width() - 20));
  p.drawPixmap(0, kTitleBar, body);
  return pm;
}

// The frame with the windows over it, as the user sees them; a window that
// reaches past the frame is drawn whole, on the desktop around it.
QPixmap snapshot(QWidget* frame) {
  std::vector<QWidget*> windows;
  QRect all = frame->geometry();
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != frame && w->isVisible() && w->isWindow() && !w->geometry().isEmpty()) {
      windows.push_back(w);
      all = all.united(w->geometry());
    }
  // Stacked as on the desktop: modal windows over the others, the one in
  // front last.
  std::stable_partition(windows.begin(), windows.end(), [](QWidget* w) { return !w->isModal(); });
  auto front = std::find(windows.begin(), windows.end(), QApplication::activeModalWidget());
  if (front != windows.end()) std::rotate(front, front + 1, windows.end());
  QPixmap pm(all.size());
  pm.fill(QColor(40, 44, 52));
  QPainter p(&pm);
  p.drawPixmap(frame->geometry().topLeft() - all.topLeft(), frame->grab());
  for (QWidget* w : windows) p.drawPixmap(w->geometry().topLeft() - all.topLeft(), w->grab());
  p.end();
  return withTitleBar(frame, pm);
}

// A dialog of the host's own in front (a warning, a message box, the date
// picker): it runs its own loop, outside every procedure's window.
QDialog* dialogInFront() { return qobject_cast<QDialog*>(QApplication::activeModalWidget()); }

// Presses a button of a dialog by its caption without '&', or Enter (its
// default button) or Esc.
bool pressInDialog(QDialog* d, const std::string& what) {
  if (what == "tecla:Esc") return d->reject(), true;
  const QString caption = QString::fromStdString(what).remove('&');
  for (auto* b : d->findChildren<QAbstractButton*>()) {
    if (!b->isVisible() || !b->isEnabled()) continue;
    auto* push = qobject_cast<QPushButton*>(b);
    if ((what == "tecla:Enter" && push && push->isDefault()) || b->text().remove('&') == caption)
      return b->click(), true;
  }
  if (what == "tecla:Enter") return d->accept(), true;
  return false;
}

// The window the user acts on: a modal one, else the active child of the
// frame, else the frame.
Procedure* innermost(qt::QtHost& host) {
  if (auto* w = dynamic_cast<qt::WindowWidget*>(QApplication::activeModalWidget()))
    return &w->procedure();
  if (FrameWindow* frame = host.frameWindow()) {
    if (QMdiSubWindow* sub = frame->area()->activeSubWindow())
      if (auto* w = dynamic_cast<qt::WindowWidget*>(sub->widget())) return &w->procedure();
    if (!frame->area()->subWindowList().isEmpty())
      if (auto* w =
              dynamic_cast<qt::WindowWidget*>(frame->area()->subWindowList().back()->widget()))
        return &w->procedure();
  }
  return nullptr;
}

// Selects the tab of the window's sheet with this caption (without '&') or
// number, as a click on it does.
bool selectTab(qt::QtHost& host, Procedure& p, const std::string& tab) {
  std::vector<const Control*> tabs = p.window().tabs();
  int index = -1;
  for (std::size_t i = 0; i < tabs.size(); ++i)
    if (dict::sameName(plainCaption(tabs[i]->text), tab) || std::to_string(i + 1) == tab)
      index = int(i);
  qt::WindowWidget* w = host.widget(p);
  QWidget* sheet = w ? w->control("?CURRENTTAB") : nullptr;
  if (index < 0 || !sheet) return false;
  if (auto* pages = qobject_cast<QTabWidget*>(sheet)) pages->setCurrentIndex(index);
  if (auto* bar = qobject_cast<QTabBar*>(sheet)) bar->setCurrentIndex(index);
  return true;
}

// Clicks the calendar button of a date field (by the field's id, its bound
// field or its prompt), or the window's first one.
bool openCalendar(qt::QtHost& host, Procedure& p, const std::string& field) {
  qt::WindowWidget* w = host.widget(p);
  if (!w) return false;
  const WindowDescription& d = p.window();
  for (const Control& c : d.controls) {
    if (c.type != ControlType::Calendar) continue;
    if (!field.empty()) {
      const Control* entry = d.find(c.target);
      if (!entry) continue;
      bool named = dict::sameName(entry->id, field) || dict::sameName(entry->use, field);
      // The prompt is the control before the entry.
      for (std::size_t i = 1; i < d.controls.size() && !named; ++i)
        if (d.controls[i].id == entry->id && d.controls[i - 1].type == ControlType::Prompt)
          named = dict::sameName(plainCaption(d.controls[i - 1].text), field);
      if (!named) continue;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w->control(c.id))) {
      // The picker runs its own loop: clicked once this step is over.
      QTimer::singleShot(0, b, [b] { b->click(); });
      return true;
    }
  }
  return false;
}

// Presses a control of a window by its id ("?Button5") or caption without
// '&' ("Conceptos de la Obra"), or a key ("tecla:CtrlEnd"); selects a tab
// ("pestaña:x Descripción") or opens a date field's calendar
// ("calendario:?POL:FECH").
void press(qt::QtHost& host, Procedure& p, const std::string& what) {
  if (what.rfind("tecla:", 0) == 0) {
    if (auto key = keyNamed(what.substr(6))) p.keyPressed(*key);
    host.afterEvent(p);
    if (auto* w = host.widget(p)) w->refreshAll();
    return;
  }
  for (const char* prefix : {"pestaña:", "pestana:"})
    if (what.rfind(prefix, 0) == 0) {
      if (!selectTab(host, p, what.substr(std::string_view(prefix).size())))
        std::cerr << "No hay pestaña " << what.substr(std::string_view(prefix).size()) << "\n";
      host.afterEvent(p);
      return;
    }
  // "campo:?TIES=1" types a value into a control and accepts it.
  if (what.rfind("campo:", 0) == 0) {
    const std::size_t eq = what.find('=');
    const std::string id = what.substr(6, eq == std::string::npos ? std::string::npos : eq - 6);
    if (eq == std::string::npos || !p.window().find(id) || !p.typed(id, what.substr(eq + 1)))
      std::cerr << "No se pudo escribir " << what.substr(6) << "\n";
    else
      p.accepted(id);
    host.afterEvent(p);
    if (auto* w = host.widget(p)) w->refreshAll();
    return;
  }
  // "abre:CAP_EMPL" starts a registered window that no button reaches yet.
  if (what.rfind("abre:", 0) == 0) {
    Procedure* from = host.frameWindow() ? &host.frameWindow()->procedure() : &p;
    from->start(what.substr(5));
    host.afterEvent(*from);
    return;
  }
  if (what == "calendario" || what.rfind("calendario:", 0) == 0) {
    const std::string field = what.size() > 11 ? what.substr(11) : std::string();
    if (!openCalendar(host, p, field))
      std::cerr << "No hay calendario" << (field.empty() ? "" : " para " + field) << "\n";
    return;
  }
  // A control the window in front does not have is the frame's (its menu
  // and toolbar stay usable while children are open).
  Procedure* target = &p;
  auto find = [&](Procedure& w) -> std::string {
    for (const Control& c : w.window().controls)
      if (plainCaption(c.text) == what || c.id == what) return c.id;
    return {};
  };
  std::string id = find(p);
  if (id.empty() && host.frameWindow()) {
    target = &host.frameWindow()->procedure();
    id = find(*target);
  }
  if (id.empty()) {
    std::cerr << "No hay control " << what << "\n";
    return;
  }
  if (const Control* c = target->window().find(id); c && c->type == ControlType::Calendar) {
    if (qt::WindowWidget* w = host.widget(*target))
      if (auto* b = qobject_cast<QAbstractButton*>(w->control(id)))
        QTimer::singleShot(0, b, [b] { b->click(); });
    return;
  }
  target->accepted(id);
  host.afterEvent(*target);
}

// --pasos: presses each control in turn on the innermost window and draws
// the frame after each one into DIR/<program>-paso-N.png; then the program
// ends at once (it is a way to draw screens, not to work).
void runSteps(qt::QtHost& host, std::shared_ptr<std::vector<std::string>> steps, std::size_t n,
              std::string dir, std::string name) {
  if (n >= steps->size()) {
    std::cout.flush();
    std::_Exit(0);
  }
  QTimer::singleShot(0, [&host, steps, n, dir, name] {
    // The next picture is drawn once the window the press opens is up.
    QTimer::singleShot(300, [&host, steps, n, dir, name] {
      QApplication::processEvents();
      if (FrameWindow* frame = host.frameWindow())
        snapshot(frame).save(
            QString::fromStdString(dir + "/" + name + "-paso-" + std::to_string(n + 1) + ".png"));
      // The manual, when a step opened it, is a window of its own.
      if (qt::HelpWindow* help = qt::HelpWindow::instance(); help && help->isVisible())
        withTitleBar(help, help->grab())
            .save(QString::fromStdString(dir + "/" + name + "-ayuda-" + std::to_string(n + 1) +
                                         ".png"));
      runSteps(host, steps, n + 1, dir, name);
    });
    // A dialog in front takes the step itself.
    if (QDialog* d = dialogInFront()) {
      if (!pressInDialog(d, (*steps)[n])) std::cerr << "No hay botón " << (*steps)[n] << "\n";
      return;
    }
    Procedure* p = innermost(host);
    if (!p && host.frameWindow()) p = &host.frameWindow()->procedure();
    if (p) press(host, *p, (*steps)[n]);
  });
}

// --captura DIR: once the work selection is up, draws it over the frame into
// DIR/<program>-seleccion.png, chooses the first work, draws the frame into
// DIR/<program>-marco.png and closes the program (or goes on with --pasos);
// the times from the start of the process are printed. A warning before the
// selection (a refused user) is drawn into DIR/<program>-aviso.png and
// answered, and the program goes on as it would: it never waits for a hand.
void awaitSelection(qt::QtHost& host, const std::string& dir, const std::string& name,
                    const QElapsedTimer& clock, std::vector<std::string> steps, int tick) {
  constexpr int kTickMs = 50, kGiveUpMs = 30000;
  QTimer::singleShot(tick == 0 ? 0 : kTickMs, [&host, dir, name, &clock, steps, tick] {
    if (QDialog* d = dialogInFront()) {
      std::cout << "Aviso mostrado a los " << clock.elapsed() << " ms\n";
      QApplication::processEvents();
      QPixmap pm = host.frameWindow() ? snapshot(host.frameWindow()) : withTitleBar(d, d->grab());
      pm.save(QString::fromStdString(dir + "/" + name + "-aviso.png"));
      awaitSelection(host, dir, name, clock, steps, tick + 1);
      pressInDialog(d, "tecla:Enter");
      return;
    }
    auto* selection = dynamic_cast<qt::WindowWidget*>(QApplication::activeModalWidget());
    if (!host.frameWindow() || !selection) {
      if (tick * kTickMs < kGiveUpMs)
        return awaitSelection(host, dir, name, clock, steps, tick + 1);
      std::cerr << "No se mostró la selección de obra\n";
      std::cout.flush();
      std::_Exit(1);
    }
    std::cout << "Selección de obra mostrada a los " << clock.elapsed() << " ms\n";
    // Drawn once the window has taken its size: its first layout passes
    // would show scroll bars it never keeps.
    QTimer::singleShot(200, [&host, dir, name, &clock, steps, selection] {
      QApplication::processEvents();
      snapshot(host.frameWindow())
          .save(QString::fromStdString(dir + "/" + name + "-seleccion.png"));
      QTimer::singleShot(0, [&host, dir, name, &clock, steps] {
        std::cout << "Obra elegida, marco listo a los " << clock.elapsed() << " ms\n";
        QApplication::processEvents();
        FrameWindow* frame = host.frameWindow();
        if (!frame) return;
        snapshot(frame).save(QString::fromStdString(dir + "/" + name + "-marco.png"));
        if (steps.empty())
          frame->close();
        else
          runSteps(host, std::make_shared<std::vector<std::string>>(steps), 0, dir, name);
      });
      Procedure& p = selection->procedure();
      p.accepted("?SELECT");
      host.afterEvent(p);
    });
  });
}

int usage(const shell::ShellProgram& shell) {
  std::cout
      << "Uso: " << shell.name
      << " [/USUARIO] [--script GUION | --captura CARPETA [--pasos PASOS]]\n"
      << "  /USUARIO          el número del usuario, por ejemplo /12\n"
      << "  --script GUION    recorre las ventanas sin pantalla con un guion "
         "(docs/script.md)\n"
      << "  --captura CARPETA dibuja la selección de obra y el marco en imágenes PNG\n"
      << "                    dentro de CARPETA y termina; un aviso que aparezca antes\n"
      << "                    (un usuario sin acceso) se dibuja en " << shell.name << "-aviso.png\n"
      << "                    y se contesta\n"
      << "  --pasos PASOS     con --captura: pasos separados por ';', y el marco dibujado\n"
      << "                    en " << shell.name << "-paso-N.png después de cada uno:\n"
      << "                      TEXTO o ?CONTROL     pulsa el control (por su texto sin '&')\n"
      << "                      tecla:NOMBRE         una tecla (Enter, Esc, CtrlEnd, Insert...)\n"
      << "                      pestaña:TEXTO        elige la pestaña (o pestaña:N)\n"
      << "                      calendario[:CAMPO]   abre el calendario de un campo de fecha\n"
      << "                      campo:?CONTROL=VALOR escribe el valor en el control\n"
      << "                    con un aviso o el calendario al frente, TEXTO pulsa su botón\n"
      << "                    y tecla:Enter o tecla:Esc lo cierran\n";
  return 0;
}

}  // namespace

int shellMain(const shell::ShellProgram& shell, int argc, char** argv) {
  QElapsedTimer clock;
  clock.start();
  std::string script, parameter, captures;
  std::vector<std::string> steps;
  bool scripted = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") return usage(shell);
    if (a == "--script") {
      if (i + 1 >= argc) {
        std::cerr << "Falta el archivo del guion después de --script\n";
        return 2;
      }
      script = argv[++i];
      scripted = true;
      continue;
    }
    if (a == "--captura" && i + 1 < argc) {
      captures = argv[++i];
      continue;
    }
    if (a == "--pasos" && i + 1 < argc) {
      std::stringstream list(argv[++i]);
      for (std::string step; std::getline(list, step, ';');) steps.push_back(step);
      continue;
    }
    if (parameter.empty()) parameter = a;  // only the first parameter names the user
  }

  shell::StartOptions options;
  options.parameter = parameter;
  std::error_code ec;
  options.programFolder = fs::current_path(ec).string();
  options.executableFolder = executableFolder(argv[0]);

  db::Storage storage;
  MessageService messages;
  Program program(shell.name, storage, messages, shell::settingsPath(shell));
  addProgramProcedures(program, shell, options.programFolder);

  if (scripted) {
    // A pipe or a device under the script's name would block or never end.
    if (Status st = files::checkRegularFile(script, 64 * files::MiB); !st) {
      std::cerr << "No se puede leer el guion: " << st.text << "\n";
      return 2;
    }
    std::ifstream in(script);
    if (!in) {
      std::cerr << "No se puede leer el guion " << script << "\n";
      return 2;
    }
    ScriptHost host(program, in, std::cout);
    messages.setHost(&host);
    ScriptFrameServices services(std::cout);
    shell::Outcome out = shell::runShell(shell, program, host, &services, options);
    if (out.launch)
      std::cout << "LANZADOR " << (out.launcher.empty() ? "(no se encontró)" : out.launcher)
                << "\n";
    // Lines after the frame closed (records to print ...).
    return host.run();
  }

  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
      !std::getenv("QT_QPA_PLATFORM")) {
    std::cerr << "No hay pantalla donde mostrar el programa (DISPLAY no está definido)\n";
    return 2;
  }
  QApplication app(argc, argv);
  qt::useSpanishTranslations();
  qt::QtHost host;
  messages.setHost(&host);
  if (!captures.empty()) awaitSelection(host, captures, shell.name, clock, steps, 0);
  shell::Outcome out = shell::runShell(shell, program, host, &host, options);
  if (out.launch && !out.launcher.empty()) {
    shell::platform::chain(out.launcher);
    std::cerr << "No se pudo iniciar " << out.launcher << "\n";
    return 1;
  }
  return 0;
}

}  // namespace velmora
