// The pages of a report saved as a PDF file by three writers, against the
// same pages saved as text, on the demo work of `velmora demo --size N`:
//
//   BM_Text/R/N       the pages as text ("Guarda reporte en archivo"): the floor
//   BM_Libharu/R/N    writePdf, the file output of every host (libharu)
//   BM_Cairo/R/N      the same pages through cairo's PDF surface
//   BM_QPdfWriter/R/N the same pages painted by QPainter into QPdfWriter
//   BM_RunText/R/N,   the whole of `velmora reporte … --texto` and `--pdf`:
//   BM_RunPdf/R/N     the run that lays out the pages, then the file (the
//                     command's processor time)
//
// R is the report (0 IMP_AUX, 1 IMP_EDO). The figures are the ratios:
// BM_Libharu / BM_Text, BM_Cairo and BM_QPdfWriter / BM_Libharu, and
// BM_RunPdf / BM_RunText, the one the clerk waits for. "KB/hoja" is the size
// of the file per page, "por hoja" the time of a page.

#include <benchmark/benchmark.h>
#include <cairo-pdf.h>
#include <cairo.h>

#include <sys/resource.h>

#include <QPainter>
#include <QPdfWriter>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "bench/bench_files.h"
#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "framework/pdf_file.h"
#include "programs/shell/report_catalogue.h"
#include "reports/report.h"
#include "ui/qt/qt_documents.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWork = "HOSP01";
const char* const kReports[] = {"IMP_AUX", "IMP_EDO"};

using bench::benchDir;

std::unique_ptr<reports::PageList> runReport(const char* name, int n) {
  const fs::path company = bench::demoCompany(VELMORA_EXE, n);
  db::Storage storage;
  db::useWorkFiles(storage, db::workFiles({company.string(), kWork, "CONTA", dates::today()}));
  db::Context ctx(storage);
  auto report = reports::makeReport(name);
  reports::RunSettings settings;
  settings.tempRoot = benchDir().string();
  settings.heading.company = "CONSTRUCTORA SIERRA ALTA, S.A. DE C.V.";
  settings.heading.work = "HOSPITAL GENERAL DE ZONA No. 12";
  settings.heading.date = dates::today();
  reports::ReportRun run(ctx, *report, settings);
  runToEnd(run);
  if (run.response() != 1) std::abort();
  return run.takePages();
}

// The pages of one report, laid out once and kept for every writer.
reports::PageList& pages(int report, int n) {
  static std::map<std::pair<int, int>, std::unique_ptr<reports::PageList>> made;
  auto& p = made[{report, n}];
  if (!p) p = runReport(kReports[report], n);
  return *p;
}

std::string out(const char* ext) {
  return (benchDir() / (std::string("pdf-bench.") + ext)).string();
}

void counters(benchmark::State& state, const reports::PageList& p, const std::string& file) {
  state.counters["hojas"] = p.pages();
  state.counters["KB/hoja"] = double(fs::file_size(file)) / 1024.0 / std::max(1, p.pages());
  state.counters["por hoja"] =
      benchmark::Counter(double(p.pages()), benchmark::Counter::kIsIterationInvariantRate |
                                                benchmark::Counter::kInvert);
}

void BM_Text(benchmark::State& state) {
  auto& p = pages(int(state.range(0)), int(state.range(1)));
  for (auto _ : state)
    if (!p.saveText(out("txt"))) std::abort();
  counters(state, p, out("txt"));
}

void BM_Libharu(benchmark::State& state) {
  auto& p = pages(int(state.range(0)), int(state.range(1)));
  for (auto _ : state)
    if (!writePdf(p, out("pdf"))) std::abort();
  counters(state, p, out("pdf"));
}

// Cairo draws with the page's units scaled once; its fonts come from
// fontconfig and are embedded as subsets.
class CairoCanvas : public Canvas {
 public:
  explicit CairoCanvas(cairo_t* cr) : cr_(cr) {}
  void font(const std::string& face, int height, bool bold) override {
    const bool fixed = face.find("Courier") != std::string::npos;
    cairo_select_font_face(cr_, fixed ? "Courier" : "Helvetica", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr_, height);
    ascent_ = 0.833 * height;
  }
  void text(int x, int y, const std::string& text) override {
    cairo_move_to(cr_, x, y + ascent_);
    cairo_show_text(cr_, text.c_str());
  }
  void line(int x1, int y1, int x2, int y2) override {
    cairo_move_to(cr_, x1, y1);
    cairo_line_to(cr_, x2, y2);
    cairo_stroke(cr_);
  }
  void rectangle(int x, int y, int width, int height) override {
    cairo_rectangle(cr_, x, y, width, height);
    cairo_stroke(cr_);
  }

 private:
  cairo_t* cr_;
  double ascent_ = 25;
};

void BM_Cairo(benchmark::State& state) {
  auto& p = pages(int(state.range(0)), int(state.range(1)));
  const double k = 72.0 / 254.0;
  for (auto _ : state) {
    cairo_surface_t* s =
        cairo_pdf_surface_create(out("cairo.pdf").c_str(), p.pageWidth() * k, p.pageHeight() * k);
    cairo_pdf_surface_set_metadata(s, CAIRO_PDF_METADATA_TITLE, p.title().c_str());
    cairo_t* cr = cairo_create(s);
    cairo_scale(cr, k, k);
    cairo_set_line_width(cr, 1);
    for (int page = 1; page <= p.pages(); ++page) {
      CairoCanvas canvas(cr);
      p.draw(page, canvas);
      cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(s);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) std::abort();
    cairo_surface_destroy(s);
  }
  counters(state, p, out("cairo.pdf"));
}

// The writer the hosts used before writePdf: every page painted through
// QPainter at 600 dots to the inch, with its TrueType font embedded.
void BM_QPdfWriter(benchmark::State& state) {
  auto& p = pages(int(state.range(0)), int(state.range(1)));
  for (auto _ : state) {
    QPdfWriter pdf(QString::fromStdString(out("qt.pdf")));
    pdf.setResolution(600);
    pdf.setTitle(QString::fromStdString(p.title()));
    pdf.setPageSize(QPageSize(QSizeF(p.pageWidth() / 10.0, p.pageHeight() / 10.0),
                              QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&pdf);
    const QRectF whole(0, 0, p.pageWidth() * 600 / 254.0, p.pageHeight() * 600 / 254.0);
    for (int page = 1; page <= p.pages(); ++page) {
      if (page > 1) pdf.newPage();
      qt::paintPage(p, page, painter, whole);
    }
    if (!painter.end()) std::abort();
  }
  counters(state, p, out("qt.pdf"));
}

// The command as the clerk runs it, report laid out and file written. Its
// time is the processor time of the command (user and system), so that
// other work on the machine does not enter the ratio.
void runCommand(benchmark::State& state, const std::string& output) {
  const int n = int(state.range(1));
  const fs::path company = bench::demoCompany(VELMORA_EXE, n);
  const std::string cmd = std::string(VELMORA_EXE) + " reporte " + company.string() + " " + kWork +
                          " " + kReports[state.range(0)] + " " + output + " > /dev/null";
  const auto children = [] {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  };
  for (auto _ : state) {
    const double before = children();
    if (std::system(cmd.c_str()) != 0) std::abort();
    state.SetIterationTime(children() - before);
  }
}

void BM_RunText(benchmark::State& state) { runCommand(state, "--texto " + out("run.txt")); }
void BM_RunPdf(benchmark::State& state) { runCommand(state, "--pdf " + out("run.pdf")); }

// 5 000 items unless VELMORA_PDF_PARTIDAS says otherwise (the issue's
// figures are of 50 000: 3 674 pages of IMP_AUX).
void arguments(benchmark::internal::Benchmark* b) {
  const char* env = std::getenv("VELMORA_PDF_PARTIDAS");
  const int items = env ? std::atoi(env) : 5000;
  b->ArgNames({"reporte", "partidas"})->Unit(benchmark::kMillisecond);
  for (int report : {0, 1}) b->Args({report, items > 0 ? items : 5000});
}

void sizes(benchmark::internal::Benchmark* b) {
  arguments(b);
  b->UseRealTime();
}

void commandSizes(benchmark::internal::Benchmark* b) {
  arguments(b);
  b->UseManualTime();
}

BENCHMARK(BM_Text)->Apply(sizes);
BENCHMARK(BM_Libharu)->Apply(sizes);
BENCHMARK(BM_Cairo)->Apply(sizes);
BENCHMARK(BM_QPdfWriter)->Apply(sizes);
BENCHMARK(BM_RunText)->Apply(commandSizes);
BENCHMARK(BM_RunPdf)->Apply(commandSizes);

}  // namespace
}  // namespace velmora
