// A report as the user runs it: "Destino del Reporte", "Avance..." and the
// pages handed to the preview or the printer, driven by the test host.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dictionary/storage.h"
#include "estimates/reports/imp_con.h"
#include "reports/preview_window.h"
#include "reports/report_windows.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora::reports {
namespace {

namespace fs = std::filesystem;

// The page numbers ("Hoja 2") of every page the printer got, in order.
class PrintedPages : public test::TestDocuments {
 public:
  std::vector<std::string> pages;
  Status print(const Document& d) override {
    struct Numbers : Canvas {
      std::vector<std::string>* out;
      void font(const std::string&, int, bool) override {}
      void text(int, int, const std::string& t) override {
        std::string s = t;
        std::erase(s, ' ');
        if (s.rfind("Hoja", 0) == 0) out->push_back(s);
      }
      void line(int, int, int, int) override {}
      void rectangle(int, int, int, int) override {}
    } canvas;
    canvas.out = &pages;
    for (int p = 1; p <= d.pages(); ++p) d.draw(p, canvas);
    return test::TestDocuments::print(d);
  }
};

// Steps a job and, after step `cancelAt`, presses what `press` says in its window.
class CancellingJobs : public JobHost {
 public:
  int cancelAt = 0;
  std::function<void(Procedure&)> press;
  std::string shown;  // the percent text when it pressed
  int steps = 0;
  void run(Procedure& owner, Job& job, JobEvents events) override {
    while (!job.cancelled() && job.step()) {
      if (events.progress) events.progress(job);
      if (++steps == cancelAt) shown = owner.display("?PROGRESS:PCTTEXT"), press(owner);
    }
    events.done(job.cancelled() ? JobOutcome::Cancelled : JobOutcome::Finished);
  }
};

class Host : public test::TestHost {
 public:
  JobHost& jobs() override { return cancelAt ? static_cast<JobHost&>(cancelling) : jobRunner; }
  DocumentHost& documents() override { return printed; }
  CancellingJobs cancelling;
  int& cancelAt = cancelling.cancelAt;
  PrintedPages printed;
};

// The caller a report menu would be.
class Caller : public Procedure {
 public:
  Caller(Program& program, db::Context& ctx, Report& report, RunSettings& settings)
      : Procedure(program, ctx, WindowDescription{}), report_(report), settings_(settings) {}
  int result = 0;

 protected:
  bool init() override {
    result = printReport(*this, report_, settings_);
    return false;
  }

 private:
  Report& report_;
  RunSettings& settings_;
};

class ReportWindows : public ::testing::Test {
 protected:
  ReportWindows() : ctx_(storage_) {
    storage_.setFileName(CTR::info(), folder_.file("OBRA12.TPS"));
    settings_.heading = {"CONSTRUCTORA DEMO", "HOSPITAL GENERAL", 80000};
    settings_.tempRoot = folder_.file("");
    settings_.batch = 10;
  }

  void contractors(int n) {
    db::Table& t = ctx_.table<CTR>();
    ASSERT_TRUE(t.open());
    for (int i = 1; i <= n; ++i) {
      t.clear();
      t.rec<CTR>().CTA = std::int16_t(i);
      t.rec<CTR>().NOMB = "CONTRATISTA " + std::to_string(i);
      ASSERT_TRUE(t.add());
    }
    t.close();
  }

  int run(Report& report) {
    Caller caller(program_, ctx_, report, settings_);
    caller.run(host_);
    return caller.result;
  }

  // Folders of pages left behind by the runs.
  int runFolders() const {
    int n = 0;
    for (auto& e : fs::directory_iterator(folder_.path()))
      n += e.path().filename().string().rfind("velmora-reporte-", 0) == 0;
    return n;
  }
  bool opened(const std::string& window) const {
    return std::find(host_.log.begin(), host_.log.end(), "abre " + window) != host_.log.end();
  }

  test::TempFolder folder_;
  db::Storage storage_;
  MessageService messages_;
  Program program_{"DUDORE", storage_, messages_, folder_.file("DUDORE.INI")};
  db::Context ctx_;
  RunSettings settings_;
  Host host_;
};

TEST_F(ReportWindows, CancelledInEitherWindowNothingIsShownAndNoPagesStay) {
  contractors(100);
  auto report = makeImpCon();

  // "Cancela el Reporte": the progress window never opens.
  host_.press("?CANCEL");
  EXPECT_EQ(run(*report), response::Cancelled);
  EXPECT_FALSE(opened(ReportProgress::kName));

  // "Cancela" and Esc in "Avance..." after a batch: the run stops there and
  // its folder of pages goes.
  for (bool esc : {false, true}) {
    SCOPED_TRACE(esc);
    host_.press("?OK");
    host_.cancelAt = 2;
    host_.cancelling.steps = 0;
    host_.cancelling.press = [esc](Procedure& p) {
      esc ? p.keyPressed(Key::Esc) : p.accepted("?PROGRESS:CANCEL");
    };
    EXPECT_EQ(run(*report), response::Cancelled);
    EXPECT_EQ(host_.cancelling.steps, 2);
    EXPECT_EQ(host_.cancelling.shown, "20% Completo");
    EXPECT_EQ(runFolders(), 0);
  }
  EXPECT_TRUE(host_.printed.shown.empty());
  EXPECT_TRUE(host_.actions.empty());
}

TEST_F(ReportWindows, PrintingWithoutPreviewSendsTheCopiesInTheChosenOrder) {
  auto report = makeImpCon();
  auto print = [&](const std::string& copies, bool collate, bool reverse) {
    host_.type("?DESTINO", "2");
    host_.type("?COPIAS", copies);
    host_.type("?JUEGOS", collate ? "1" : "0");
    host_.type("?ARRIBA", reverse ? "1" : "0");
    host_.press("?OK");
    host_.printed.pages.clear();
    EXPECT_EQ(run(*report), response::Completed);
    return host_.printed.pages;
  };
  using Pages = std::vector<std::string>;
  // No contractors: one page; reversed it prints once, unchanged.
  EXPECT_EQ(print("1", false, true), (Pages{"Hoja1"}));

  contractors(60);  // two pages
  EXPECT_EQ(print("2", true, false), (Pages{"Hoja1", "Hoja1", "Hoja2", "Hoja2"}));
  EXPECT_EQ(print("2", false, false), (Pages{"Hoja1", "Hoja2", "Hoja1", "Hoja2"}));
  EXPECT_EQ(print("2", false, true), (Pages{"Hoja2", "Hoja1", "Hoja2", "Hoja1"}));
  // The printer chosen in the window is the one printed on; the window
  // starts from the choices made last.
  host_.printed.printers.push_back("OFICINA");
  host_.type("?DESTINO", "1");
  host_.press("?PRINTERSETUP");
  host_.actions.push_back([](Procedure& p) { EXPECT_EQ(p.display("?IMPRESORA"), "OFICINA"); });
  host_.press("?OK");
  // "Ve el Reporte" ends in "Vista Previa"; its pages go when it closes.
  host_.actions.push_back([this](Procedure& p) {
    ASSERT_EQ(p.name(), PreviewWindow::kName);
    EXPECT_EQ(static_cast<PreviewWindow&>(p).preview().status(), "Hoja 1 de 2");
    EXPECT_EQ(runFolders(), 1);
    p.accepted("?EXITBUTTON");
  });
  EXPECT_EQ(run(*report), response::Completed);
  EXPECT_TRUE(opened(PreviewWindow::kName));
  EXPECT_NE(std::find(host_.log.begin(), host_.log.end(), "cierra VISTA_PREVIA 2"),
            host_.log.end());
  EXPECT_EQ(runFolders(), 0);
}

TEST_F(ReportWindows, AnExportingReportWaitsPausedForItsFileName) {
  contractors(3);
  struct Exporting : Report {
    ReportDescription d;
    Exporting() {
      d.procedure = "PRUEBA", d.title = "PRUEBA", d.table = "CONT", d.key = "CTR:CTA_KEY";
      d.detail.height = 40;
      d.detail.items.push_back(field("CTR:NOMB", "", 100, 0));
      d.exportColumns = {{"CTA", "CTR:CTA"}};
    }
    const ReportDescription& description() const override { return d; }
  } report;

  host_.press("?OK");
  host_.actions.push_back([](Procedure& p) {
    auto& progress = static_cast<ReportProgress&>(p);
    EXPECT_TRUE(progress.paused());
    EXPECT_EQ(p.display("?PROGRESS:PCTTEXT"), "0% Completo");
    EXPECT_EQ(p.window().find("?PAUSE")->text, "Continúa");
  });
  host_.type("?GWBCSVFILENAME", folder_.file("cuentas.txt"));
  host_.type("?COMA", ",");
  host_.press("?PAUSE");
  EXPECT_EQ(run(report), response::Completed);
  std::ifstream csv(folder_.file("cuentas.CSV"));
  std::stringstream text;
  text << csv.rdbuf();
  EXPECT_EQ(text.str(), "\"CTA\"\r\n1\r\n2\r\n3\r\n");
  EXPECT_EQ(settings_.exporting.delimiter, ",");  // kept for the next report

  // A file that cannot be made: what happened and what to do, in Spanish;
  // the report ends, the program goes on.
  host_.press("?OK");
  host_.type("?GWBCSVFILENAME", folder_.file("no/existe/datos"));
  host_.press("?PAUSE");
  EXPECT_EQ(run(report), response::Cancelled);
  ASSERT_FALSE(host_.boxes.empty());
  EXPECT_EQ(host_.boxes.back().text,
            "No se pudo crear el archivo de exportación " + folder_.file("no/existe/datos.CSV") +
                ": la carpeta no existe. Escriba el nombre de una carpeta que exista, o créela "
                "antes.");
  EXPECT_EQ(host_.stops, 0);
  EXPECT_EQ(runFolders(), 0);
}

TEST_F(ReportWindows, TheExportFieldsSayTheyAreOptionalChooseAFileAndRefuseBadDelimiters) {
  contractors(3);
  struct Exporting : Report {
    ReportDescription d;
    Exporting() {
      d.procedure = "PRUEBA", d.title = "PRUEBA", d.table = "CONT", d.key = "CTR:CTA_KEY";
      d.detail.height = 40;
      d.detail.items.push_back(field("CTR:NOMB", "", 100, 0));
      d.exportColumns = {{"CTA", "CTR:CTA"}, {"IMPORTE", "CTR:TPAG"}};
    }
    const ReportDescription& description() const override { return d; }
  } report;

  host_.press("?OK");
  host_.actions.push_back([](Procedure& p) {
    const Control* hint = p.window().find("?EXPORTHINT");
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->text, "Deje el nombre en blanco para no exportar.");
    const Control* chooser = p.window().find("?CALLLOOKUP");
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->target, "?GWBCSVFILENAME");  // beside the name
  });
  // The chooser fills the name; a cancelled dialog leaves it.
  host_.printed.files.push_back(folder_.file("elegido.csv"));
  host_.press("?CALLLOOKUP");
  host_.press("?CALLLOOKUP");
  host_.actions.push_back([this](Procedure& p) {
    EXPECT_EQ(p.display("?GWBCSVFILENAME"), folder_.file("elegido.csv"));
  });
  // Digits, the point, the sign and a blank would split the numbers: each is
  // refused before anything is read, and the window goes back to the field.
  for (const char* bad : {"5", ".", "-", " "}) {
    host_.type("?COMA", bad);
    host_.press("?PAUSE");
    host_.actions.push_back([this, bad](Procedure& p) {
      auto& progress = static_cast<ReportProgress&>(p);
      EXPECT_TRUE(progress.paused()) << "«" << bad << "»";
      EXPECT_EQ(host_.focused, "?COMA");
      EXPECT_EQ(p.window().find("?PAUSE")->text, "Continúa");
    });
  }
  host_.type("?COMA", "|");
  host_.press("?PAUSE");
  EXPECT_EQ(run(report), response::Completed);
  // Told as the field is left and again at "Continúa".
  ASSERT_EQ(host_.warnings.size(), 8u);
  EXPECT_EQ(host_.warnings[0][0], "EL DELIMITADOR NO PUEDE SER UN DIGITO,");
  std::ifstream csv(folder_.file("elegido.CSV"));
  std::stringstream text;
  text << csv.rdbuf();
  EXPECT_EQ(text.str(), "\"CTA\",\"IMPORTE\"\r\n1|0\r\n2|0\r\n3|0\r\n");

  // Without a name nothing is exported, and the delimiter is not looked at.
  const std::size_t warned = host_.warnings.size();
  host_.press("?OK");
  host_.type("?GWBCSVFILENAME", "");
  host_.type("?COMA", ".");
  host_.press("?PAUSE");
  EXPECT_EQ(run(report), response::Completed);
  EXPECT_EQ(host_.warnings.size(), warned);
}

}  // namespace
}  // namespace velmora::reports
