// Report runs end to end: pages read back by our reader and by libwmf's
// wmf2svg, the CSV by Python's csv module, the PDF by pdftotext.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dictionary/cp1252.h"
#include "dictionary/storage.h"
#include "estimates/reports/imp_con.h"
#include "reports/csv_export.h"
#include "reports/report.h"
#include "reports/wmf.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora::reports {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

struct Contractor {
  int cta;
  std::string name;
  double tpag = 0, gaac = 0, anti = 0;
};

class Reports : public ::testing::Test {
 protected:
  Reports() : ctx_(storage_) {
    storage_.setFileName(CTR::info(), folder_.file("OBRA12.TPS"));
    settings_.heading = {"CONSTRUCTORA DEMO", "HOSPITAL GENERAL", 80000};
    settings_.tempRoot = folder_.file("");
  }

  void add(const Contractor& c) {
    db::Table& t = ctx_.table<CTR>();
    ASSERT_TRUE(t.open());
    t.clear();
    CTR& r = t.rec<CTR>();
    r.CTA = std::int16_t(c.cta);
    r.NOMB = c.name;
    r.TPAG = c.tpag;
    r.GAAC = c.gaac;
    r.ANTI = c.anti;
    ASSERT_TRUE(t.add());
    t.close();
  }

  // Folders the runs left behind.
  int runFolders() const {
    int n = 0;
    for (auto& e : fs::directory_iterator(folder_.path()))
      n += e.path().filename().string().rfind("velmora-reporte-", 0) == 0;
    return n;
  }

  test::TempFolder folder_;
  db::Storage storage_;
  db::Context ctx_;
  RunSettings settings_;
};

std::vector<std::string> pageLines(const PageFiles& pages, int page) {
  WmfPage wp;
  EXPECT_TRUE(readWmf(pages.files()[std::size_t(page - 1)], wp));
  return pageText(wp);
}

TEST_F(Reports, ImpConPrintsOneLinePerContractorWithSumsOnEveryPageBreak) {
  {
    // No contractors: one page with its headings and sums of zero.
    auto report = makeImpCon();
    ReportRun run(ctx_, *report, settings_);
    EXPECT_EQ(runToEnd(run), JobOutcome::Finished);
    ASSERT_EQ(run.response(), 1);
    auto pages = run.takePages();
    ASSERT_EQ(pages->pages(), 1);
    const std::string text = joined(pageLines(*pages, 1));
    EXPECT_NE(text.find("ESTADO DE CUENTAS DE CONTRATISTAS AL 09/01/2020"), std::string::npos)
        << text;
    EXPECT_NE(text.find("Hoja 1"), std::string::npos);
    EXPECT_NE(text.find("N O M B R E"), std::string::npos);
    EXPECT_NE(text.find("SUMAS:"), std::string::npos);
    EXPECT_NE(text.find("0.00"), std::string::npos);
  }
  for (int i = 1; i <= 100; ++i)
    add({i, "CONTRATISTA " + std::to_string(i) + (i == 7 ? " PEÑA" : ""), 1000.10, 50.05, 10});
  auto report = makeImpCon();
  ReportRun run(ctx_, *report, settings_);
  runToEnd(run);
  ASSERT_EQ(run.response(), 1) << run.failure().text;
  EXPECT_EQ(run.recordsPrinted(), 100);
  auto pages = run.takePages();
  ASSERT_GE(pages->pages(), 2);
  const std::string first = joined(pageLines(*pages, 1));
  const std::string last = joined(pageLines(*pages, pages->pages()));
  EXPECT_NE(first.find("CONTRATISTA 7 PEÑA"), std::string::npos);
  EXPECT_EQ(first.find("SUMAS:"), std::string::npos);
  EXPECT_NE(last.find("Hoja " + std::to_string(pages->pages())), std::string::npos);
  // 100 × 1,000.10 estimated, 50.05 of fund and 10.00 of advance each.
  EXPECT_NE(last.find("SUMAS:"), std::string::npos);
  EXPECT_NE(last.find("100,010.00"), std::string::npos) << last;
  EXPECT_NE(last.find("5,005.00"), std::string::npos);
  EXPECT_NE(last.find("1,000.00"), std::string::npos);

  // An independent reader finds the texts we wrote.
  const fs::path svg = folder_.path() / "hoja.svg";
  const auto converted =
      test::runCommand("wmf2svg -o " + svg.string() + " " + pages->files()[0] + " 2>&1");
  ASSERT_EQ(converted.status, 0) << converted.out;
  const std::string image = slurp(svg);
  for (const char* t : {"CONSTRUCTORA DEMO", "HOSPITAL GENERAL", "CONTRATISTA 12", "1,000.10"})
    EXPECT_NE(image.find(t), std::string::npos) << t;

  // The pages' folder goes with the list.
  const std::string where = pages->folder();
  pages.reset();
  EXPECT_FALSE(fs::exists(where));
  EXPECT_EQ(runFolders(), 0);
}

TEST_F(Reports, CancelAndFailureRemoveThePagesAndKeepTheExportWritten) {
  for (int i = 1; i <= 50; ++i) add({i, "C" + std::to_string(i), 0, 0, 0});
  struct Exporting : Report {
    ReportDescription d;
    Exporting() {
      d.procedure = "PRUEBA", d.title = "PRUEBA", d.table = "CONT", d.key = "CTR:CTA_KEY";
      d.detail.height = 40;
      d.detail.items.push_back(field("CTR:NOMB", "", 100, 0));
      d.exportColumns = {{"CTA", "CTR:CTA"}, {"NOMBRE", "CTR:NOMB"}};
    }
    const ReportDescription& description() const override { return d; }
  } report;
  settings_.batch = 10;
  settings_.exporting.fileName = folder_.file("parcial.txt");
  {
    ReportRun run(ctx_, report, settings_);
    ASSERT_TRUE(run.step());
    EXPECT_EQ(run.percent(), 20);
    EXPECT_EQ(runFolders(), 1);
    run.cancel();
    EXPECT_FALSE(run.step());
    EXPECT_EQ(run.response(), 2);
    EXPECT_EQ(run.takePages(), nullptr);
    EXPECT_EQ(runFolders(), 0);
    // The header and the ten lines read before the cancel stay.
    const std::string csv = slurp(folder_.path() / "parcial.CSV");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 11);
  }
  // Export to a folder that does not exist ends the run, not the program.
  settings_.exporting.fileName = folder_.file("no/existe/datos");
  ReportRun run(ctx_, report, settings_);
  runToEnd(run);
  EXPECT_EQ(run.response(), 2);
  EXPECT_EQ(run.failure().text,
            "No se pudo crear el archivo de exportación " + folder_.file("no/existe/datos.CSV") +
                ": la carpeta no existe. Escriba el nombre de una carpeta que exista, o créela "
                "antes.");
  EXPECT_EQ(runFolders(), 0);
  // A delimiter of more than one character, or one found inside the numbers
  // (a digit, the point, the sign) or a blank, is refused before anything is
  // read.
  for (const char* bad : {";;", "0", "7", ".", "-", " ", ""}) {
    settings_.exporting = {folder_.file("datos"), bad};
    ReportRun twice(ctx_, report, settings_);
    runToEnd(twice);
    EXPECT_EQ(twice.response(), 2) << "«" << bad << "»";
    EXPECT_EQ(twice.recordsRead(), 0);
    EXPECT_FALSE(fs::exists(folder_.file("datos.CSV")));
  }
  for (const char* good : {";", ",", "|", "\t", ":"}) EXPECT_TRUE(checkDelimiter(good)) << good;
}

TEST_F(Reports, ExportFailuresSayWhatHappenedAndWhatToDo) {
  // A link in place of the file: nothing is written through it.
  const std::string target = folder_.file("otro.txt");
  std::ofstream(target) << "se conserva";
  fs::create_symlink(target, folder_.file("enlace.CSV"));
  CsvExport link;
  Status st = link.create(folder_.file("enlace.CSV"), ';', {"CTA"});
  EXPECT_EQ(st.text, "No se pudo crear el archivo de exportación " + folder_.file("enlace.CSV") +
                         ": ese nombre es un enlace a otro archivo, y la exportación no escribe a "
                         "través de enlaces. Escriba el nombre de un archivo que no sea un "
                         "enlace.");
  EXPECT_EQ(slurp(target), "se conserva");

  // A file that grows past what the system lets it be (here a limit on the
  // process; on a FAT disk, 4 GB).
  struct rlimit before {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = before;
  small.rlim_cur = 2000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  CsvExport big;
  st = big.create(folder_.file("grande.CSV"), ';', {"CTA", "NOMBRE"});
  for (int i = 0; st && i < 1000; ++i) st = big.add({std::to_string(i), std::string(40, 'X')});
  if (st) st = big.close();
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_EQ(st.text.rfind("No se pudo escribir un renglón del archivo de exportación " +
                              folder_.file("grande.CSV") +
                              ": el archivo llegó al tamaño más grande que admite el disco.",
                          0),
            0u)
      << st.text;
  EXPECT_NE(st.text.find("El archivo se quedó con los renglones escritos hasta ahí."),
            std::string::npos);
  EXPECT_EQ(st.text.find("error del sistema"), std::string::npos);
}

TEST_F(Reports, ExportReadsBackWithPythonsCsvModule) {
  add({1, "ACME; S.A.", 0, 0, 0});
  add({2, "JOSÉ \"EL GÜERO\" PÉREZ", 1234.5, 0, 0});
  add({3, "LUIS", -0.25, 0, 0});
  struct Exporting : Report {
    ReportDescription d;
    Exporting() {
      d.procedure = "PRUEBA", d.title = "PRUEBA", d.table = "CONT", d.key = "CTR:CTA_KEY";
      d.exportColumns = {{"CTA", "CTR:CTA"}, {"NOMBRE", "CTR:NOMB"}, {"ESTIMADO", "CTR:TPAG"}};
    }
    const ReportDescription& description() const override { return d; }
  } report;
  // Names of 1-2 characters export nothing; an extension gives way to .CSV,
  // a dot in a folder name stays.
  EXPECT_EQ(exportFileName("ab"), "");
  EXPECT_EQ(exportFileName("a.b/informe.final.txt"), "a.b/informe.CSV");
  fs::create_directories(folder_.path() / "v1.0");
  for (const std::string delimiter : {";", ","}) {
    settings_.exporting = {folder_.file("v1.0/datos.txt"), delimiter};
    ReportRun run(ctx_, report, settings_);
    runToEnd(run);
    ASSERT_EQ(run.response(), 1) << run.failure().text;
    EXPECT_EQ(run.exportPath(), folder_.file("v1.0/datos.CSV"));
    const std::string bytes = slurp(run.exportPath());
    // The header keeps its commas whatever the delimiter; accents are Windows-1252.
    EXPECT_EQ(bytes.substr(0, bytes.find('\n')), "\"CTA\",\"NOMBRE\",\"ESTIMADO\"\r");
    EXPECT_NE(bytes.find(cp1252::fromUtf8("JOSÉ").bytes), std::string::npos);
    const auto read = test::runCommand(
        "python3 -c 'import csv,sys; f=open(sys.argv[1],encoding=\"cp1252\",newline=\"\"); "
        "next(f); [print(\"|\".join(r)) for r in csv.reader(f, delimiter=sys.argv[2])]' " +
        run.exportPath() + " '" + delimiter + "'");
    ASSERT_EQ(read.status, 0);
    const std::string pad(30, ' ');
    EXPECT_EQ(read.out, "1|ACME; S.A." + pad.substr(10) + "|0\n" + "2|JOSÉ \"EL GÜERO\" PÉREZ" +
                            pad.substr(21) + "|1234.5\n" + "3|LUIS" + pad.substr(4) + "|-0.25\n");
  }
}

TEST_F(Reports, DamagedPageIsShownAsSuchAndTheOthersStillDraw) {
  for (int i = 1; i <= 100; ++i) add({i, "C" + std::to_string(i), 0, 0, 0});
  auto report = makeImpCon();
  ReportRun run(ctx_, *report, settings_);
  runToEnd(run);
  auto pages = run.takePages();
  ASSERT_GE(pages->pages(), 2);
  const std::string good = slurp(pages->files()[1]);
  std::ofstream(pages->files()[0], std::ios::binary | std::ios::trunc) << good.substr(0, 200);

  struct Recorder : Canvas {
    std::string texts;
    void font(const std::string&, int, bool) override {}
    void text(int, int, const std::string& t) override { texts += t + "\n"; }
    void line(int, int, int, int) override {}
    void rectangle(int, int, int, int) override {}
  } one, two;
  pages->draw(1, one);
  pages->draw(2, two);
  EXPECT_NE(one.texts.find("NO SE PUEDE MOSTRAR LA HOJA 1"), std::string::npos);
  EXPECT_NE(one.texts.find("está dañada"), std::string::npos) << one.texts;
  EXPECT_NE(two.texts.find("Hoja 2"), std::string::npos);
  Status st = pages->saveText(folder_.file("reporte.txt"));
  EXPECT_EQ(st.code, err::InvalidDataFile);
  WmfPage wp;
  EXPECT_FALSE(parseWmf("not a metafile at all, not at all", wp));
  // Removing a page deletes its file.
  const std::string gone = pages->files()[0];
  pages->remove(1);
  EXPECT_FALSE(fs::exists(gone));
  EXPECT_TRUE(pages->saveText(folder_.file("reporte.txt")));
}

TEST(PageText, PlacesTextsByTheBoundingBoxAndKeepsWhatFallsOffTheGrid) {
  WmfWriter w(2000, 1500);  // 10 units a column, 10 a line
  w.font("Courier New", 30);
  w.text(0, 0, "ARRIBA");           // line and column at least 1
  w.text(95, 100, "DIEZ   ");       // line 10, column 10 (9.5 rounds up); blanks cut
  w.text(300, 100, "MISMA LINEA");  // line 10, column 30
  w.text(100, 1600, "FUERA");       // line 160: beyond the grid, still written
  w.line(0, 0, 10, 10);
  w.rectangle(5, 5, 100, 100);
  WmfPage page;
  ASSERT_TRUE(parseWmf(w.bytes(), page));
  EXPECT_EQ(page.right, 2000);
  const std::vector<std::string> lines = pageText(page);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 7), "ARRIBA ");
  EXPECT_EQ(lines[1].substr(0, 40),
            std::string(9, ' ') + "DIEZ" + std::string(16, ' ') + "MISMA LINEA");
  EXPECT_EQ(lines[1].size(), 200u);
  EXPECT_EQ(lines[2].substr(9, 5), "FUERA");
}

// A page written by another program: its texts may carry a clipping
// rectangle before the string, and a record may run past the file.
TEST(PageText, ReadsClippedTextsAndRefusesRecordsPastTheEnd) {
  std::string bytes = WmfWriter(1000, 1000).bytes();
  bytes.resize(bytes.size() - 6);  // without its end record
  auto put = [&bytes](std::initializer_list<int> words) {
    for (int w : words) bytes += char(w & 0xFF), bytes += char((w >> 8) & 0xFF);
  };
  // ExtTextOut, 12 words: y, x, 2 characters, clipped, the rectangle, "HI".
  put({12, 0, 0x0A32, 150, 400, 2, 4, 0, 0, 10, 10, 'H' | ('I' << 8)});
  const std::string whole = bytes;
  put({3, 0, 0});
  WmfPage page;
  ASSERT_TRUE(parseWmf(bytes, page));
  ASSERT_EQ(page.items.size(), 1u);
  EXPECT_EQ(page.items[0].text, "HI");
  EXPECT_EQ(page.items[0].x, 400);
  const std::vector<std::string> lines = pageText(page);
  ASSERT_EQ(lines.size(), 1u);  // line 23, column 80
  EXPECT_EQ(lines[0].substr(79, 2), "HI");
  bytes = whole;
  put({400, 0, 0x0A32});
  Status st = parseWmf(bytes, page);
  EXPECT_EQ(st.code, err::InvalidDataFile);
  EXPECT_NE(st.text.find("sale del archivo"), std::string::npos) << st.text;
}

TEST(PrintOrder, CopiesInSetsOrPageByPageAndReversed) {
  PrintOptions o;
  o.copies = 2;
  EXPECT_EQ(printOrder({1, 2}, o), (std::vector<int>{1, 2, 1, 2}));
  o.collate = true;
  EXPECT_EQ(printOrder({1, 2}, o), (std::vector<int>{1, 1, 2, 2}));
  o.reverse = true;
  EXPECT_EQ(printOrder({1, 2, 3}, o), (std::vector<int>{3, 3, 2, 2, 1, 1}));
  o = PrintOptions{};
  o.reverse = true;
  o.copies = 0;
  EXPECT_EQ(printOrder({1}, o), (std::vector<int>{1}));
}

TEST(ReportCommand, ImpConOfTheDemoWorkToPdfTextAndPages) {
  test::TempFolder dir;
  ASSERT_EQ(test::runVelmora("demo " + dir.file("emp")).status, 0);
  const std::string base = "reporte " + dir.file("emp") + " HOSP01 ";
  auto r = test::runVelmora(base + "IMP_CON --pdf " + dir.file("con.pdf") + " --texto " +
                            dir.file("con.txt") + " --hojas " + dir.file("hojas"));
  ASSERT_EQ(r.status, 0) << r.out;
  const auto pdf = test::runCommand("pdftotext -layout " + dir.file("con.pdf") + " -");
  ASSERT_EQ(pdf.status, 0);
  const std::string text = cp1252::toUtf8(slurp(dir.file("con.txt")));
  for (const char* t : {"ESTADO DE CUENTAS DE CONTRATISTAS AL", "SUMAS:", "Hoja 1", "CONTRATO"}) {
    EXPECT_NE(pdf.out.find(t), std::string::npos) << t << "\n" << pdf.out;
    EXPECT_NE(text.find(t), std::string::npos) << t;
  }
  EXPECT_TRUE(fs::exists(dir.path() / "hojas" / "HOJA00001.WMF"));
  EXPECT_EQ(test::runVelmora(base + "IMP_NADA --pdf x.pdf").status, 2);
  r = test::runVelmora(base + "IMP_CON --csv " + dir.file("con.csv"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("no se exporta"), std::string::npos);
}

}  // namespace
}  // namespace velmora::reports
