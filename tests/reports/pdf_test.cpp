// PDF files of report pages, read back with poppler's tools: the text of
// the file is the text run's, accents included; a cheque's characters fall
// on the bank's columns; the title, producer and paper are the report's.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "accounting/banks.h"
#include "accounting/cheque.h"
#include "dictionary/cp1252.h"
#include "dictionary/dates.h"
#include "framework/pdf_file.h"
#include "tests/support/report_fixture.h"

namespace velmora::reports {
namespace {

namespace fs = std::filesystem;
using test::runCommand;
using test::runVelmora;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l, '\n');) {
    for (char& c : l) c = c == '\f' ? '\n' : c;
    std::istringstream page(l);
    for (std::string p; std::getline(page, p, '\n');) lines.push_back(p);
  }
  return lines;
}

// The words of each line that has any, one blank between them. The text
// run places texts on a grid of 200 columns across the paper, pdftotext on
// the paper's own character cells, so only the blanks between texts differ.
std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> out;
  for (const std::string& line : split(text)) {
    std::istringstream in(line);
    std::string joined;
    for (std::string w; in >> w;) joined += (joined.empty() ? "" : " ") + w;
    if (!joined.empty()) out.push_back(joined);
  }
  return out;
}

std::string pdfText(const std::string& pdf, const std::string& options = "-layout") {
  const auto r = runCommand("pdftotext " + options + " " + pdf + " - 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  return r.out;
}

std::string pdfInfo(const std::string& pdf) { return runCommand("pdfinfo " + pdf + " 2>&1").out; }

TEST(PdfReports, ImpAuxAndImpReaReadAsTheirTextRunAccentsIncluded) {
  test::TempFolder dir;
  ASSERT_EQ(runVelmora("demo " + dir.file("emp")).status, 0);
  // Every report's heading carries the company's name: give it the
  // characters of Windows-1252 that plain ASCII lacks.
  const std::string company = "CONSTRUCCIONES PEÑA Y MÜLLER – ÁREA ½ 3° año € ¿Sí? «Ñandú»";
  {
    std::ofstream ini(dir.file("emp/VELMORA.INI"), std::ios::binary | std::ios::trunc);
    ini << "[Empresa]\r\nNombre=" << cp1252::fromUtf8(company).bytes << "\r\n";
  }
  const std::string base = "reporte " + dir.file("emp") + " HOSP01 ";
  struct Case {
    const char* report;
    const char* title;
    const char* paper;
  };
  for (const Case& c : {Case{"IMP_AUX", "AUXILIAR DE ESTIMACIONES AL", "792 x 612 pts"},
                        Case{"IMP_REA", "", "612 x 792 pts"}}) {
    SCOPED_TRACE(c.report);
    const std::string txt = dir.file(std::string(c.report) + ".txt");
    const std::string pdf = dir.file(std::string(c.report) + ".pdf");
    const auto r = runVelmora(base + c.report + " --texto " + txt + " --pdf " + pdf);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string text = cp1252::toUtf8(slurp(txt));
    const std::string fromPdf = pdfText(pdf);
    ASSERT_NE(text.find(company), std::string::npos);
    EXPECT_NE(fromPdf.find(company), std::string::npos) << fromPdf.substr(0, 400);
    const std::vector<std::string> expected = words(text), got = words(fromPdf);
    EXPECT_GT(expected.size(), 20u);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i]) << "línea " << i;

    const std::string info = pdfInfo(pdf);
    EXPECT_NE(info.find("Producer:        " + pdfProducer()), std::string::npos) << info;
    EXPECT_NE(info.find(std::string("Page size:       ") + c.paper), std::string::npos) << info;
    if (*c.title) {
      EXPECT_NE(info.find(std::string("Title:           ") + c.title), std::string::npos);
    }
    EXPECT_EQ(info.find("Title:           \n"), std::string::npos) << info;
    // The standard Courier, nothing embedded.
    const std::string fonts = runCommand("pdffonts " + pdf).out;
    EXPECT_NE(fonts.find("Courier"), std::string::npos) << fonts;
    EXPECT_EQ(fonts.find("yes"), std::string::npos) << fonts;
  }
}

class PdfCheque : public ReportFixture {
 protected:
  PdfCheque() { storage_.setFileName(BAN::info(), folder_.file("PAGO3.TPS")); }
};

TEST_F(PdfCheque, EveryCharacterOnTheColumnTheBanksLayoutGivesIt) {
  add<BAN>([](BAN& b) {
    b.CTA = 4;
    b.ROW = accounting::kDefaultRows;
    b.COL = accounting::kDefaultColumns;
  });
  BAN bank{};
  bank.ROW = accounting::kDefaultRows;
  bank.COL = accounting::kDefaultColumns;
  accounting::ChequeData data;
  data.date = dates::dateOf(12, 9, 2026);
  data.payee = "CONSTRUCCIONES Y ACABADOS DEL NORTE DE MÉXICO, S.A.";
  data.amount = *Decimal::parse("1290914.39");
  data.message = "NO NEGOCIABLE";
  std::vector<std::string> lines;
  ASSERT_TRUE(accounting::chequeLines(bank, data, lines).ok());
  auto cheque = accounting::makeChequeReport(4, lines);
  ReportRun run(ctx_, *cheque, settings_);
  runToEnd(run);
  ASSERT_EQ(run.response(), 1) << run.failure().text;
  auto pages = run.takePages();
  const std::string pdf = folder_.file("cheque.pdf");
  ASSERT_TRUE(writePdf(*pages, pdf).ok());
  if (const char* dir = std::getenv("VELMORA_CAPTURAS"))
    fs::copy_file(pdf, fs::path(dir) / "cheque.pdf", fs::copy_options::overwrite_existing);

  // The cheque's lines, as pdftotext lays out the paper: one character one
  // column of the face, measured from the page's left edge (-fixed gives
  // the width of a column in points: Courier at 3.5 mm is 2.1 mm wide).
  const double column = 0.6 * 35 * 72.0 / 254.0;
  std::vector<std::string> got;
  for (const std::string& l : split(pdfText(pdf, "-fixed " + std::to_string(column))))
    if (l.find_first_not_of(' ') != std::string::npos) got.push_back(l);
  std::vector<std::string> expected;
  for (std::string l : lines) {
    l.erase(l.find_last_not_of(' ') + 1);
    if (!l.empty()) expected.push_back(l);
  }
  ASSERT_EQ(got.size(), expected.size());
  // The page's margin is 5 mm, two columns and a little; what matters is
  // that every line keeps it and so every item its column.
  const std::size_t margin = got[0].size() - expected[0].size();
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(got[i], std::string(margin, ' ') + expected[i]);
  EXPECT_NE(pdfInfo(pdf).find("Page size:       792 x 612 pts"), std::string::npos);
}

// A page drawn by hand: the texts one row of a report draws, some laid over
// others as right-aligned figures are, in Courier 2.5 mm (1.5 mm a character).
class HandDrawn : public Document {
 public:
  std::string title() const override { return "PÓLIZA DE PRUEBA"; }
  int pages() const override { return pages_; }
  int pageWidth() const override { return 2159; }
  int pageHeight() const override { return 2794; }
  void draw(int, Canvas& c) const override {
    c.font("Courier New", 25, false);
    c.text(100, 100, "CUENTA");
    c.text(100 + 10 * 15, 100, "ABONO");  // ten characters on
    c.text(100, 200, "TOTAL:");
    c.text(100, 200, "         9.50");  // its blanks over the caption paint nothing
    c.text(100, 300, "ABC");
    c.text(100 + 15, 300, "XYZ");  // over "BC": both kept
    c.text(100, 400, "Flecha → y 日本 fuera del código");
    c.font("Arial", 25, true);
    c.text(100, 500, "Firma");
    c.rectangle(100, 600, 500, 200);
    c.line(100, 900, 1000, 900);
  }
  int pages_ = 1;
};

TEST(PdfFile, RowsCharactersOutsideTheCodePageEmptyDocumentsAndFailures) {
  test::TempFolder dir;
  HandDrawn page;
  const std::string pdf = dir.file("mano.pdf");
  ASSERT_TRUE(writePdf(page, pdf).ok());
  // One column of the text a character of Courier 2.5 mm wide.
  const std::string text = pdfText(pdf, "-fixed " + std::to_string(0.6 * 25 * 72.0 / 254.0));
  EXPECT_NE(text.find("CUENTA    ABONO"), std::string::npos) << text;
  EXPECT_NE(text.find("TOTAL:   9.50"), std::string::npos) << text;
  EXPECT_NE(text.find("ABC"), std::string::npos) << text;
  EXPECT_NE(text.find("XYZ"), std::string::npos) << text;
  EXPECT_NE(text.find("Flecha ? y ?? fuera del código"), std::string::npos) << text;
  EXPECT_NE(text.find("Firma"), std::string::npos) << text;
  const std::string info = pdfInfo(pdf);
  EXPECT_NE(info.find("Title:           PÓLIZA DE PRUEBA"), std::string::npos) << info;
  EXPECT_NE(info.find("Page size:       612 x 792 pts"), std::string::npos) << info;

  // No pages: one blank sheet of the document's paper, never a broken file.
  page.pages_ = 0;
  ASSERT_TRUE(writePdf(page, pdf).ok());
  EXPECT_NE(pdfInfo(pdf).find("Pages:           1\n"), std::string::npos) << pdfInfo(pdf);

  // A folder that is not there: refused, said in Spanish, no file left; a
  // file already there is replaced only by a whole new one.
  const Status bad = writePdf(page, dir.file("no/hay/carpeta.pdf"));
  EXPECT_FALSE(bad.ok());
  EXPECT_NE(bad.text.find("No se pudo escribir"), std::string::npos) << bad.text;
  EXPECT_FALSE(fs::exists(dir.file("no/hay/carpeta.pdf")));
  page.pages_ = 2;
  ASSERT_TRUE(writePdf(page, pdf).ok());
  EXPECT_NE(pdfInfo(pdf).find("Pages:           2\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(pdf + ".part"));
}

}  // namespace
}  // namespace velmora::reports
