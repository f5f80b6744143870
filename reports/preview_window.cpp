#include "reports/preview_window.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "framework/describe.h"
#include "reports/report_windows.h"

namespace velmora::reports {

namespace fs = std::filesystem;

namespace {

constexpr const char* kZoomVar = "ZOOMSTATUS";
constexpr const char* kPagesControl = "?PAGES";

// Arrow keys move a zoomed page by these steps.
constexpr int kScrollAcross = 52, kScrollDown = 51;

// The variables of the preview's dialogs.
constexpr const char* kPage = "HOJA";
constexpr const char* kAcross = "HORIZONTAL";
constexpr const char* kDown = "VERTICAL";
constexpr const char* kRange = "RANGO";
constexpr const char* kFrom = "DESDE";
constexpr const char* kTo = "HASTA";
constexpr const char* kCopies = "COPIAS";
constexpr const char* kCollate = "JUEGOS";
constexpr const char* kReverse = "ARRIBA";
constexpr const char* kPrinter = "IMPRESORA";
constexpr const char* kFile = "ARCHIVO";

// The controls the preview turns on and off as it pages.
constexpr const char* kSinglePage[] = {"?PREVIEWDELETE", "?PREVIEWMARK", "?PRINTSINGLE",
                                       "?SAVECURRENT"};

// A small dialog of the preview: `act` answers its buttons (OK closes it
// when what was typed is right); Cancela and Esc leave it.
class PreviewDialog : public Procedure {
 public:
  using Act = std::function<void(PreviewDialog&, const std::string&)>;
  PreviewDialog(Program& program, db::Context& ctx, WindowDescription w, Act act,
                std::function<void(PreviewDialog&)> setup = {})
      : Procedure(program, ctx, std::move(w)), act_(std::move(act)), setup_(std::move(setup)) {}
  // A number typed, or the choice of a radio group ("2").
  int whole(const char* var) const {
    const Value v = value(var);
    if (std::holds_alternative<std::string>(v)) return std::atoi(toText(v).c_str());
    return int(number(v));
  }
  std::string text(const char* var) const {
    std::string t = toText(value(var));
    t.erase(t.find_last_not_of(' ') + 1);
    return t;
  }

 protected:
  bool init() override {
    if (!Procedure::init()) return false;
    if (setup_) setup_(*this);
    return true;
  }
  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?CANCEL")) return close(response::Cancelled);
    act_(*this, control);
  }

 private:
  Act act_;
  std::function<void(PreviewDialog&)> setup_;
};

std::string upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

// The range part of "Opciones de Impresión" and "Grabando en Archivo".
void describeRange(Describe& d, const std::string& caption,
                   const std::vector<std::string>& captions) {
  d.option(caption, kRange, {"1", "2", "3", "4"}, captions)
      .field("Desde:", kFrom, "@n5")
      .field("Hasta:", kTo, "@n5");
}

void startRange(PreviewDialog& d, const PreviewPages& state) {
  d.setLocal(kRange, std::string("1"));
  d.setLocal(kFrom, std::int64_t(state.total() > 0 ? 1 : 0));
  d.setLocal(kTo, std::int64_t(state.total()));
}

// Marked and unmarked are offered only once a page is marked; from and to
// only with a range.
void showRange(PreviewDialog& d, const PreviewPages& state) {
  const bool marks = state.markedCount() > 0;
  const std::string range = d.text(kRange);
  if (!marks && (range == "2" || range == "3")) d.setLocal(kRange, std::string("1"));
  d.enable("?RANGO:2", marks);
  d.enable("?RANGO:3", marks);
  d.enable("?DESDE", d.text(kRange) == "4");
  d.enable("?HASTA", d.text(kRange) == "4");
  d.refresh("?RANGO");
}

// The pages chosen, or nothing after telling the user why.
std::optional<std::vector<int>> chosenRange(PreviewDialog& d, const PreviewPages& state) {
  const auto range = PageRange(std::clamp(d.whole(kRange), 1, 4));
  const int from = d.whole(kFrom), to = d.whole(kTo);
  if (range == PageRange::Range && (from < 1 || to > state.total() || from > to)) {
    d.warn("EL RANGO DE HOJAS DEBE ESTAR", "ENTRE 1 Y " + std::to_string(state.total()),
           "Y DESDE NO PUEDE SER MAYOR QUE HASTA");
    d.select("?DESDE");
    return std::nullopt;
  }
  std::vector<int> pages = state.select(range, from, to);
  if (pages.empty()) {
    d.warn("NO HAY HOJAS EN LO SELECCIONADO");
    return std::nullopt;
  }
  return pages;
}

WindowDescription previewWindow() {
  WindowDescription w;
  w.procedure = PreviewWindow::kName;
  w.title = PreviewWindow::kTitle;
  w.statusBar = true;
  std::vector<std::string> names;
  for (const Zoom& z : zooms()) names.push_back(z.name);
  Control zoom = makeControl(ControlType::Option, "?ZOOMSTATUS", "Zoom", kZoomVar);
  zoom.choices = names;
  zoom.captions = names;
  zoom.drop = true;
  zoom.tip = "Tamaño de la vista";
  w.controls.push_back(zoom);
  w.controls.push_back(makeControl(ControlType::Pages, kPagesControl));
  auto button = [&w](const char* id, const char* caption, const char* tip) {
    Control b = makeControl(ControlType::Button, id, caption);
    b.tip = tip;
    w.controls.push_back(b);
  };
  button("?PRINTBUTTON", "&Imprime", "Imprime el Reporte");
  button("?EXITBUTTON", "&Sale", "Sale sin Imprimir");
  button("?JUMP", "Ir a Hoja...", "Pasa a la hoja que indique");
  button("?PREVIEWTOP", "|<", "Va al Inicio");
  button("?PREVIOUS", "<", "Hoja Anterior");
  button("?NEXT", ">", "Siguiente Hoja");
  button("?PREVIEWBOTTOM", ">|", "Va al final");
  button("?PRINTSINGLE", "Imprime Hoja", "Imprime la pantalla");
  button("?CHANGEDISPLAY", "Hojas...", "Muestra hojas");
  button("?SAVECURRENT", "Guarda Hoja", "Guarda la pantalla en archivo");
  button("?SAVEALL", "Guarda Reporte", "Guarda reporte en archivo");
  button("?SAVEPDF", "PDF", "Guarda como PDF");
  button("?PREVIEWDELETE", "Quita Hoja", "Quita Hoja");
  button("?PREVIEWMARK", "&Marca", "Marca / Desmarca para Impresión");
  return w;
}

}  // namespace

std::string documentsFolder() {
  std::error_code ec;
  const char* home = std::getenv("HOME");
  const fs::path base = home && *home ? fs::path(home) : fs::current_path(ec);
  // The desktop's own setting (xdg-user-dirs), then the usual name.
  fs::path config = base / ".config";
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) config = xdg;
  std::ifstream dirs(config / "user-dirs.dirs");
  for (std::string line; std::getline(dirs, line);) {
    const std::string key = "XDG_DOCUMENTS_DIR=\"";
    if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1) continue;
    std::string dir = line.substr(key.size(), line.size() - key.size() - 1);
    if (dir.rfind("$HOME", 0) == 0) dir = base.string() + dir.substr(5);
    if (fs::is_directory(dir, ec)) return dir;
  }
  for (const char* name : {"Documentos", "Documents"})
    if (fs::is_directory(base / name, ec)) return (base / name).string();
  return base.string();
}

PreviewWindow::PreviewWindow(Program& program, db::Context& ctx, PageList& pages, std::string zoom)
    : Procedure(program, ctx, previewWindow()), state_(pages) {
  state_.setZoom(zoom);
  setLocal(kZoomVar, state_.zoom());
}

bool PreviewWindow::init() {
  if (!Procedure::init()) return false;
  show();
  return true;
}

void PreviewWindow::windowOpened() {
  show();  // the status zones exist once the window does
  select(kPagesControl);
}

void PreviewWindow::show() {
  const bool any = state_.total() > 0;
  const bool single = state_.shown() == 1;
  setLocal(kZoomVar, state_.zoom());
  enable("?PREVIEWTOP", any && !state_.atStart());
  enable("?PREVIOUS", any && !state_.atStart());
  enable("?NEXT", any && !state_.atEnd());
  enable("?PREVIEWBOTTOM", any && !state_.atEnd());
  for (const char* id : kSinglePage) enable(id, any && single);
  for (const char* id : {"?PRINTBUTTON", "?JUMP", "?SAVEALL", "?SAVEPDF"}) enable(id, any);
  Control* mark = window_.find("?PREVIEWMARK");
  mark->tip = state_.marked() ? "Quita la marca de la hoja" : "Marca la hoja para imprimirla";
  refresh("?PREVIEWMARK");
  refresh("?ZOOMSTATUS");
  refresh(kPagesControl);
  status(2, state_.zoom());
  status(4, state_.marked() ? "Marcada" : "");
  status(5, any ? state_.status() : "Sin hojas");
}

void PreviewWindow::areaResized(int width, int height) {
  state_.resize(width, height);
  show();
}

void PreviewWindow::areaClicked(int x, int y) {
  // A page of the grid opens as wide as the window; a zoomed page goes
  // back to the grid.
  if (state_.zoomed()) {
    state_.setZoom(kNoZoom);
  } else if (const int page = state_.pageAt(x, y)) {
    state_.jump(page);
    state_.setZoom(kPageWidth);
  }
  show();
}

void PreviewWindow::areaScrolled(int dx, int dy) {
  state_.scroll(dx, dy);
  refresh(kPagesControl);
}

PageView::Extent PreviewWindow::extent() const {
  return {state_.drawingWidth(), state_.drawingHeight(), state_.scrollX(), state_.scrollY()};
}

void PreviewWindow::keyPressed(Key key) {
  switch (key) {
    case Key::PageUp: state_.previous(); break;
    case Key::PageDown: state_.next(); break;
    case Key::Left: state_.scroll(-kScrollAcross, 0); break;
    case Key::Right: state_.scroll(kScrollAcross, 0); break;
    case Key::Up: state_.scroll(0, -kScrollDown); break;
    case Key::Down: state_.scroll(0, kScrollDown); break;
    default: return Procedure::keyPressed(key);
  }
  show();
}

void PreviewWindow::onAccepted(const std::string& control) {
  auto is = [&control](const char* id) { return dict::sameName(control, id); };
  if (is("?EXITBUTTON")) return close(response::Cancelled);
  if (is("?PRINTBUTTON")) return printPages();
  if (is("?PREVIEWTOP")) state_.first();
  if (is("?PREVIOUS")) state_.previous();
  if (is("?NEXT")) state_.next();
  if (is("?PREVIEWBOTTOM")) state_.last();
  if (is("?JUMP")) jumpTo();
  if (is("?PRINTSINGLE")) printCurrent();
  if (is("?CHANGEDISPLAY")) changeDisplay();
  if (is("?SAVECURRENT")) saveCurrent();
  if (is("?SAVEALL")) saveAll();
  if (is("?SAVEPDF")) savePdf();
  if (is("?ZOOMSTATUS")) state_.setZoom(toText(value(kZoomVar)));
  if (is("?PREVIEWDELETE") && state_.shown() == 1) state_.remove();
  if (is("?PREVIEWMARK") && state_.shown() == 1) state_.toggleMark();
  if (!isClosing()) show();
}

void PreviewWindow::failed(const std::string& what, const Status& st) {
  MessageBox box;
  box.title = kTitle;
  box.text = what + "|" + st.text;
  box.icon = MessageIcon::Exclamation;
  host().show(box);
}

void PreviewWindow::jumpTo() {
  const int total = state_.total();
  int chosen = 0;
  WindowDescription w = Describe("HOJA_PREVIA", "Seleccione Hoja a Mostrar")
                            .field("Hoja:", kPage, "@n5")
                            .formButtons()
                            .done();
  w.resizable = false;
  auto dialog = std::make_unique<PreviewDialog>(
      program_, ctx_, std::move(w), [&](PreviewDialog& d, const std::string& c) {
        if (!dict::sameName(c, "?OK")) return;
        const int page = d.whole(kPage);
        if (page < 1 || page > total) {
          d.warn("LA HOJA DEBE ESTAR ENTRE 1 Y " + std::to_string(total));
          return d.select("?HOJA");
        }
        chosen = page;
        d.close(response::Completed);
      });
  dialog->setLocal(kPage, std::int64_t(state_.current()));
  if (call(std::move(dialog), request::Process) == response::Completed) state_.jump(chosen);
}

void PreviewWindow::changeDisplay() {
  int across = 0, down = 0;
  WindowDescription w = Describe("HOJAS_PREVIA", "Hojas a Mostrar")
                            .field("Horizontal", kAcross, "@n2")
                            .field("Vertical", kDown, "@n2")
                            .formButtons()
                            .done();
  w.resizable = false;
  auto dialog = std::make_unique<PreviewDialog>(
      program_, ctx_, std::move(w), [&](PreviewDialog& d, const std::string& c) {
        if (!dict::sameName(c, "?OK")) return;
        const int a = d.whole(kAcross), b = d.whole(kDown);
        // More than ten a side leaves pages too small to tell apart.
        if (a < 1 || a > 10 || b < 1 || b > 10) {
          d.warn("LAS HOJAS A MOSTRAR DEBEN", "ESTAR ENTRE 1 Y 10");
          return d.select(a < 1 || a > 10 ? "?HORIZONTAL" : "?VERTICAL");
        }
        across = a, down = b;
        d.close(response::Completed);
      });
  dialog->setLocal(kAcross, std::int64_t(state_.across()));
  dialog->setLocal(kDown, std::int64_t(state_.down()));
  if (call(std::move(dialog), request::Process) == response::Completed)
    state_.setGrid(across, down);
}

void PreviewWindow::printPages() {
  std::vector<int> order;
  Describe d("IMPRIME_PREVIA", "Opciones de Impresión");
  describeRange(d, "Rango de Impresión",
                {"Todo", "Solo Hojas Marcadas", "Hojas sin Marcar", "Rango de Hojas"});
  WindowDescription w = d.field("Copias:", kCopies, "@n3")
                            .check("Acomoda Copias x Juegos", kCollate, "0", "1")
                            .check("Imprime Hojas Hacia Arriba", kReverse, "0", "1")
                            .text("Impresora Predeterminada", kPrinter, "@s60")
                            .button("?PRINTERSETUP", "Selecciona Impresora")
                            .formButtons()
                            .done();
  w.resizable = false;
  auto showPrinter = [this](PreviewDialog& dialog) {
    const std::string name = documents().printerName();
    dialog.setLocal(kPrinter, name.empty() ? std::string("La predeterminada del sistema") : name);
    dialog.refresh("?IMPRESORA");
  };
  auto dialog = std::make_unique<PreviewDialog>(
      program_, ctx_, std::move(w),
      [&](PreviewDialog& dl, const std::string& c) {
        if (dict::sameName(c, "?RANGO")) return showRange(dl, state_);
        if (dict::sameName(c, "?PRINTERSETUP")) {
          if (documents().choosePrinter("Seleccione impresora")) showPrinter(dl);
          return;
        }
        if (!dict::sameName(c, "?OK")) return;
        std::optional<std::vector<int>> pages = chosenRange(dl, state_);
        if (!pages) return;
        PrintOptions options;
        options.copies = std::max(1, dl.whole(kCopies));
        options.collate = dl.text(kCollate) == "1";
        options.reverse = dl.text(kReverse) == "1";
        order = printOrder(*pages, options);
        dl.close(response::Completed);
      },
      [&](PreviewDialog& dl) {
        showRange(dl, state_);
        showPrinter(dl);
      });
  startRange(*dialog, state_);
  dialog->setLocal(kCopies, std::int64_t(1));
  dialog->setLocal(kCollate, std::string("0"));
  dialog->setLocal(kReverse, std::string("0"));
  dialog->setLocal(kPrinter, std::string());
  if (call(std::move(dialog), request::Process) != response::Completed) return;
  // One job; the copies are in the list, so the printer prints each once.
  PageOrder job(state_.pages(), order, kTitle);
  if (Status st = documents().print(job); !st) return failed("No se pudo imprimir el reporte.", st);
  close(response::Completed);
}

void PreviewWindow::printCurrent() {
  if (state_.shown() != 1 || state_.current() < 1) return;
  PageOrder job(state_.pages(), {state_.current()}, kTitle);
  if (Status st = documents().print(job); !st) failed("No se pudo imprimir la hoja.", st);
}

void PreviewWindow::saveCurrent() {
  if (state_.shown() != 1 || state_.current() < 1) return;
  FileRequest request;
  request.save = true;
  request.title = "Graba pantalla al archivo...";
  request.name = (fs::path(documentsFolder()) / "hoja.txt").string();
  request.filters = {"Text File (*.TXT *.txt)", "Windows MetaFile (*.WMF *.wmf)", "All Files (*)"};
  std::optional<std::string> path = documents().chooseFile(request);
  if (!path) return;
  const int page = state_.current();
  if (upper(*path).find(".WMF") != std::string::npos) {
    std::error_code ec;
    fs::copy_file(state_.pages().files()[std::size_t(page - 1)], *path,
                  fs::copy_options::overwrite_existing, ec);
    if (ec)
      failed("No se pudo grabar la hoja en " + *path + ".",
             Status::error(err::AccessDenied, ec.message()));
    return;
  }
  if (Status st = state_.pages().saveText(*path, {page}); !st)
    failed("No se pudo grabar la hoja en " + *path + ".", st);
}

void PreviewWindow::saveAll() {
  std::vector<int> pages;
  std::string path;
  Describe d("GRABA_PREVIA", "Grabando en Archivo");
  describeRange(d, "Hojas", {"Todo", "Solo Marcado", "Sin Marcar", "Rango de Hojas"});
  d.field("Archivo:", kFile, "@s255").lookupButton();
  d.last().text = "Graba reporte al archivo...";
  WindowDescription w = d.formButtons().done();
  w.resizable = false;
  auto dialog = std::make_unique<PreviewDialog>(
      program_, ctx_, std::move(w),
      [&](PreviewDialog& dl, const std::string& c) {
        if (dict::sameName(c, "?RANGO")) return showRange(dl, state_);
        if (dict::sameName(c, "?CALLLOOKUP")) {
          FileRequest request;
          request.save = true;
          request.title = "Graba reporte al archivo...";
          request.name = dl.text(kFile);
          request.filters = {"Text File (*.TXT *.txt)", "All Files (*)"};
          if (auto chosen = documents().chooseFile(request)) {
            dl.setLocal(kFile, *chosen);
            dl.refresh("?ARCHIVO");
          }
          return;
        }
        if (!dict::sameName(c, "?OK")) return;
        if (dl.text(kFile).empty()) {
          dl.warn("FALTA EL NOMBRE DEL ARCHIVO");
          return dl.select("?ARCHIVO");
        }
        std::optional<std::vector<int>> chosen = chosenRange(dl, state_);
        if (!chosen) return;
        pages = std::move(*chosen);
        path = dl.text(kFile);
        dl.close(response::Completed);
      },
      [&](PreviewDialog& dl) { showRange(dl, state_); });
  startRange(*dialog, state_);
  dialog->setLocal(kFile, (fs::path(documentsFolder()) / "reporte.txt").string());
  if (call(std::move(dialog), request::Process) != response::Completed) return;
  if (Status st = state_.pages().saveText(path, pages); !st)
    failed("No se pudo grabar el reporte en " + path + ".", st);
}

void PreviewWindow::savePdf() {
  FileRequest request;
  request.save = true;
  request.title = "Guarda como PDF";
  request.name = (fs::path(documentsFolder()) / "reporte.pdf").string();
  request.filters = {"PDF (*.pdf *.PDF)"};
  std::optional<std::string> path = documents().chooseFile(request);
  if (!path) return;
  if (fs::path(*path).extension().empty()) *path += ".pdf";
  if (Status st = documents().savePdf(state_.pages(), *path); !st)
    failed("No se pudo grabar el PDF " + *path + ".", st);
}

}  // namespace velmora::reports
