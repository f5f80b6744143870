// Jobs in the Qt host on the offscreen platform: the audit window is painted
// while it runs, a progress window takes Esc between batches, a window that
// closes under its job ends the run, and documents go to PDF.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <set>

#include "dictionary/dates.h"
#include "dictionary/work_files.h"
#include "equipment/equipment.h"
#include "estimates/audit.h"
#include "estimates/audit_engine.h"
#include "estimates/registry.h"
#include "framework/progress.h"
#include "reports/report_windows.h"
#include "tests/support/temp_folder.h"
#include "ui/qt/qt_host.h"
#include "ui/qt/window_widget.h"

namespace velmora {
namespace {

// Records the text of every label as it is painted.
class PaintedLabels : public QObject {
 public:
  PaintedLabels() { qApp->installEventFilter(this); }
  ~PaintedLabels() override { qApp->removeEventFilter(this); }
  std::vector<std::string> texts;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      if (auto* label = qobject_cast<QLabel*>(watched))
        if (texts.empty() || texts.back() != label->text().toStdString())
          texts.push_back(label->text().toStdString());
    return false;
  }
};

class Endless : public Job {
 public:
  bool step() override {
    setCaption("LOTE " + std::to_string(++done));
    return true;
  }
  int done = 0;
};

class QtJobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder.path() / "OBRA1");
    db::useWorkFiles(storage,
                     db::workFiles({folder.path().string(), "OBRA1", "CONTA", dates::today()}));
    messages.setHost(&host);
  }
  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  db::Context ctx{storage};
  qt::QtHost host;
};

TEST_F(QtJobsTest, TheAuditWindowIsPaintedAtEachStepAsItRuns) {
  estimates::addAuditProcedures(program);
  PaintedLabels painted;
  program.setVar(estimates::kAutoRunFlag, std::string("A"));
  EXPECT_EQ(program.make(estimates::Auditoria::kName, ctx)->run(host), response::Completed);
  std::set<std::string> captions;
  for (const char* c :
       {estimates::audit_caption::kKeys, estimates::audit_caption::kOpen,
        estimates::audit_caption::kContractors, estimates::audit_caption::kItems,
        estimates::audit_caption::kEstimates, estimates::audit_caption::kContractorValues,
        estimates::audit_caption::kItemValues})
    if (std::count(painted.texts.begin(), painted.texts.end(), c)) captions.insert(c);
  EXPECT_GE(captions.size(), 2u);
  EXPECT_TRUE(captions.count(estimates::audit_caption::kKeys));
  EXPECT_EQ(host.jobs().running(), 0);
}

TEST_F(QtJobsTest, EscCancelsBetweenBatchesAndAClosedWindowEndsItsRun) {
  Endless job;
  ProgressWindow window(program, ctx, "Reporte", job);
  // Esc once a few batches have run, however busy the machine is.
  QTimer esc;
  QObject::connect(&esc, &QTimer::timeout, [&] {
    if (job.done < 2 || !host.widget(window)) return;
    esc.stop();
    QTest::keyClick(host.widget(window), Qt::Key_Escape);
  });
  esc.start(5);
  EXPECT_EQ(window.run(host), response::Cancelled);
  EXPECT_GT(job.done, 1);
  EXPECT_TRUE(job.cancelled());
  EXPECT_EQ(host.jobs().running(), 0);

  // A window closed while its job runs (the frame closing) takes the run
  // with it: no further batch, no end callback on a closed window.
  Endless other;
  ProgressWindow closing(program, ctx, "Reporte", other);
  ASSERT_TRUE(closing.open(host));
  QElapsedTimer clock;
  clock.start();
  while (other.done < 3 && clock.elapsed() < 5000) QApplication::processEvents();
  closing.finish();
  const int stepped = other.done;
  QTest::qWait(20);
  EXPECT_EQ(other.done, stepped);
  EXPECT_EQ(host.jobs().running(), 0);
}

TEST_F(QtJobsTest, VorovidsAuditRunsOnOkAndCloses) {
  equipment::addProcedures(program);
  auto audit = program.make("AUDITORIA", ctx);
  QTimer::singleShot(0, [&] {
    audit->accepted("?OK");
    audit->closeBox();  // ignored while the job runs
  });
  // It ends by saying what it corrected; the window closes once that is read.
  QString summary;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      summary = box->text();
      box->accept();
    }
  });
  answer.start(10);
  EXPECT_EQ(audit->run(host), response::Completed);
  EXPECT_EQ(summary.toStdString(),
            "La auditoría del sistema terminó.\nTodos los acumulados estaban correctos.");
  EXPECT_EQ(host.jobs().running(), 0);
}

TEST_F(QtJobsTest, AnExportingReportsProgressWaitsPausedThenFillsItsThermometer) {
  struct Exporting : reports::Report {
    reports::ReportDescription d;
    Exporting() {
      d.procedure = "PRUEBA", d.title = "PRUEBA", d.table = "CONT", d.key = "CTR:CTA_KEY";
      d.exportColumns = {{"CTA", "CTR:CTA"}};
    }
    const reports::ReportDescription& description() const override { return d; }
  } report;
  reports::RunSettings settings;
  settings.tempRoot = folder.file("");
  reports::ReportRun run(ctx, report, settings);
  reports::ExportOptions exporting;
  reports::ReportProgress window(program, ctx, run, &exporting);
  ASSERT_TRUE(window.open(host));
  QWidget* w = host.widget(window);
  auto* bar = w->findChild<QProgressBar*>("?PROGRESS:THERMOMETER");
  auto* pause = w->findChild<QPushButton*>("?PAUSE");
  ASSERT_TRUE(bar && pause);
  QTest::qWait(20);
  EXPECT_FALSE(run.started());  // nothing is read before "Continúa"
  EXPECT_EQ(pause->text().toStdString(), "Continúa");
  EXPECT_EQ(bar->value(), 0);
  // The screenshot of the documentation, when asked for.
  if (const char* dir = std::getenv("VELMORA_CAPTURAS"))
    w->window()->grab().save(QString::fromStdString(std::string(dir) + "/avance-reporte.png"));
  ASSERT_TRUE(window.typed("?GWBCSVFILENAME", folder.file("datos")).ok());
  pause->click();
  EXPECT_EQ(pause->text().toStdString(), "Pausa");
  QElapsedTimer clock;
  clock.start();
  while (!window.isClosing() && clock.elapsed() < 5000) QApplication::processEvents();
  EXPECT_EQ(bar->value(), 100);
  EXPECT_EQ(window.finish(), response::Completed);
  EXPECT_TRUE(std::filesystem::exists(folder.file("datos.CSV")));
}

class TwoPages : public Document {
 public:
  std::string title() const override { return "Prueba"; }
  int pages() const override { return 2; }
  void draw(int page, Canvas& canvas) const override {
    canvas.font("Arial", 40, page == 1);
    canvas.text(100, 100, "PÁGINA " + std::to_string(page));
    canvas.rectangle(50, 50, 2000, 2600);
  }
};

TEST_F(QtJobsTest, ADocumentSavedAsPdfHasEveryPage) {
  const std::string path = folder.file("prueba.pdf");
  ASSERT_TRUE(host.documents().savePdf(TwoPages(), path).ok());
  std::ifstream in(path, std::ios::binary);
  std::string pdf((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
  EXPECT_NE(pdf.find("/Count 2"), std::string::npos);
  EXPECT_FALSE(host.documents().savePdf(TwoPages(), folder.file("no/hay/carpeta.pdf")).ok());
}

}  // namespace
}  // namespace velmora
