// velmora-ventanas: the windows of the velmora tool, a program of their own
// so that velmora's commands without a window never load Qt. velmora runs it
// for `velmora browse FILE [TABLE]`: the maintenance browse of any table
// file in a real window, to look at and correct it. With --captura the
// window is drawn, written to a PNG file and closed again (also on the
// offscreen platform); --captura-ficha does the same with the form of the
// selected record, on the tab --pestana-ficha names.

#include <fmt/core.h>

#include <CLI/CLI.hpp>

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "framework/maintenance.h"
#include "framework/pdf_file.h"
#include "reports/report.h"
#include "ui/qt/qt_host.h"
#include "ui/qt/window_widget.h"

namespace velmora::cli {

namespace {

struct Captures {
  std::string browse;  // PNG of the list window
  std::string form;    // PNG of the form of the selected record
  int formTab = 1;     // the tab of the form that is drawn
};

bool savePng(QWidget* w, const std::string& path) {
  if (!w->grab().save(QString::fromStdString(path), "PNG")) {
    fmt::print(stderr, "No se pudo escribir la imagen {}\n", path);
    return false;
  }
  return true;
}

// Draws the open windows into PNG files once the list is up, then closes
// them as the user would: Esc on the form, the close box on the list.
void scheduleCaptures(qt::QtHost& host, Procedure& browse, const Captures& captures,
                      const QElapsedTimer& clock, int& exitCode) {
  QTimer::singleShot(0, [&host, &browse, &captures, &clock, &exitCode] {
    qt::WindowWidget* w = host.widget(browse);
    if (!w) return;
    w->resize(w->size().expandedTo(QSize(900, 420)));
    QApplication::processEvents();
    if (!savePng(w, captures.browse)) exitCode = 1;
    fmt::print("Primera página dibujada en {} ms\n", clock.elapsed());
    if (!captures.form.empty()) {
      QTimer::singleShot(0, [&host, &captures, &exitCode] {
        auto* form = dynamic_cast<qt::WindowWidget*>(QApplication::activeModalWidget());
        if (!form) {
          fmt::print(stderr, "No se abrió la ficha del registro\n");
          exitCode = 1;
          return;
        }
        if (auto* tabs = form->findChild<QTabWidget*>("?CURRENTTAB"))
          tabs->setCurrentIndex(std::clamp(captures.formTab, 1, tabs->count()) - 1);
        QApplication::processEvents();
        if (!savePng(form, captures.form)) exitCode = 1;
        form->procedure().keyPressed(Key::Esc);
        host.afterEvent(form->procedure());
      });
      browse.keyPressed(Key::CtrlEnter);
    }
    browse.closeBox();
    host.afterEvent(browse);
  });
}

int browse(const std::string& path, const std::string& label, const Captures& captures) {
  QElapsedTimer clock;
  clock.start();
  db::Storage storage;
  const dict::TableInfo* table = nullptr;
  if (label.empty()) {
    Status st = db::Table::identify(storage, path, table);
    if (!st) {
      fmt::print(stderr, "Error: {} ({})\n", st.text, st.code);
      return 2;
    }
  } else if (!(table = dict::findTable(label))) {
    fmt::print(stderr, "No existe la tabla {} en el diccionario\n", label);
    return 2;
  }
  if (!std::filesystem::exists(path)) {
    fmt::print(stderr, "No existe el archivo {}\n", path);
    return 2;
  }
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
      !std::getenv("QT_QPA_PLATFORM")) {
    fmt::print(stderr, "No hay pantalla donde mostrar la ventana (DISPLAY no está definido)\n");
    return 2;
  }
  static int argc = 1;
  static char name[] = "velmora";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  qt::useSpanishTranslations();
  storage.setFileName(*table, path);
  MessageService messages;
  Program program("VELMORA", storage, messages, "velmora.INI");
  addMaintenance(program);
  qt::QtHost host;
  messages.setHost(&host);
  db::Context ctx(storage, program.newThread());
  auto p = makeMaintenanceBrowse(program, ctx, *table);
  int exitCode = 0;
  if (!captures.browse.empty()) scheduleCaptures(host, *p, captures, clock, exitCode);
  p->run(host);
  return exitCode;
}

// The pages a report run wrote, into a PDF file, as velmora reporte writes
// them. Needs no screen.
int pdf(const std::string& out, const std::string& title, std::vector<std::string> pages) {
  reports::PageFiles document(title, 0, 0);
  if (Status st = reports::PageFiles::open(std::move(pages), title, document); !st) {
    fmt::print(stderr, "{}\n", st.text);
    return 1;
  }
  if (Status st = writePdf(document, out); !st) {
    fmt::print(stderr, "{}\n", st.text);
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace velmora::cli

int main(int argc, char** argv) {
  using namespace velmora::cli;
  CLI::App app{"velmora-ventanas: las ventanas de la herramienta velmora"};
  app.require_subcommand(1);
  auto* cmd = app.add_subcommand(
      "browse", "Abre en una ventana la lista de mantenimiento de un archivo de tabla");
  std::string file, label;
  Captures captures;
  cmd->add_option("FILE", file, "Archivo de tabla (.TPS)")->required();
  cmd->add_option("TABLE", label, "Etiqueta de la tabla; sin ella se reconoce por el archivo");
  cmd->add_option("--captura", captures.browse,
                  "Dibuja la lista en este archivo PNG y cierra la ventana");
  cmd->add_option("--captura-ficha", captures.form,
                  "Con --captura: dibuja también la ficha del registro seleccionado")
      ->needs("--captura");
  cmd->add_option("--pestana-ficha", captures.formTab,
                  "Con --captura-ficha: el número de la pestaña de la ficha que se dibuja")
      ->needs("--captura-ficha");
  auto* pdfCmd = app.add_subcommand("pdf", "Pinta las hojas de un reporte en un archivo PDF");
  std::string out, title;
  std::vector<std::string> pages;
  pdfCmd->add_option("PDF", out, "Archivo PDF que se escribe")->required();
  pdfCmd->add_option("HOJAS", pages, "Hojas del reporte (.WMF), en orden");
  pdfCmd->add_option("--titulo", title, "Título del documento");
  CLI11_PARSE(app, argc, argv);
  if (pdfCmd->parsed()) return pdf(out, title, std::move(pages));
  return browse(file, label, captures);
}
