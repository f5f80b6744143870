// The estimate windows in the Qt host (offscreen): CAP_EST's contractor
// columns under their group caption, UP_ESTI opened on a stored estimate
// with its lines and direct cost, UP_AVAN's unit beside each quantity.

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>

#include "estimates/estimate_save.h"
#include "estimates/registry.h"
#include "tests/support/temp_folder.h"
#include "ui/qt/qt_host.h"
#include "ui/qt/window_widget.h"

namespace velmora::estimates {
namespace {

void later(std::function<void()> step) { QTimer::singleShot(0, std::move(step)); }

std::string text(QLabel* l) { return l ? l->text().trimmed().toStdString() : "(none)"; }

class QtEstimates : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QApplication::instance()) {
      static int argc = 1;
      static char name[] = "qt_estimates_test";
      static char* argv[] = {name, nullptr};
      qputenv("QT_QPA_PLATFORM", "offscreen");
      static QApplication app(argc, argv);
    }
    for (const dict::TableInfo* t : {&PAR::info(), &CTR::info(), &POL::info(), &DPO::info()})
      storage.setFileName(*t, folder.file(std::string(t->label) + ".TPS"));
    db::Context c(storage, 90);
    db::Table& cont = c.table("CONT");
    ASSERT_TRUE(cont.open().ok());
    cont.rec<CTR>().CTA = 1, cont.rec<CTR>().NOMB = "PEREZ", cont.rec<CTR>().PGAR = 5;
    ASSERT_TRUE(cont.add().ok());
    db::Table& part = c.table("PART");
    ASSERT_TRUE(part.open().ok());
    for (int i = 1; i <= 2; ++i) {
      part.clear();
      PAR& r = part.rec<PAR>();
      r.CONC = i, r.PROC = 1, r.FREN = 1, r.TEXT = "MURO", r.UNID = "M2";
      r.CANT = 10, r.PRES = 1000, r.PEST = 100, r.CONT = 1;
      ASSERT_TRUE(part.add().ok());
    }
    ProgressEstimate e;
    e.header.contractor = 1;
    e.header.date = 80000;
    for (int i = 1; i <= 2; ++i) {
      EstimateLine l;
      l.conc = i, l.process = 1, l.front = 1;
      l.quantity = Ratio::of(i == 1 ? 3 : 2);
      l.amount = *Decimal::parse(i == 1 ? "300" : "200.50");
      l.percent = Ratio::of(i == 1 ? 30 : 20);
      e.lines.push_back(l);
    }
    SaveOutcome out;
    ASSERT_TRUE(saveProgressEstimate(c, e, &out).ok());
    // The shell declares the program-wide sums the estimate windows share.
    for (const char* v : {"SUM1", "SUM2", "SUM3", "TOT1", "TOT2"})
      if (!program.hasVar(v)) program.declare(v, Value(0.0));
    addEstimateProcedures(program);
    messages.setHost(&host);
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  db::Context ctx{storage, 0};
  qt::QtHost host;
};

TEST_F(QtEstimates, ContractorGroupLinesAndUnits) {
  // CAP_EST, opened to look (no audit at its close).
  auto browse = program.make("CAP_EST", ctx);
  bool checked = false;
  later([&] {
    qt::WindowWidget* w = host.widget(*browse);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    QTableView* list = w->list();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->model()->data(list->model()->index(0, 4)).toString().toStdString(), "PEREZ");
    QLabel* group = nullptr;
    for (QLabel* l : w->findChildren<QLabel*>())
      if (l->text() == "C O N T R A T I S T A") group = l;
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->isVisible());
    // It spans exactly "No" and "N O M B R E", and follows a resize.
    QHeaderView* h = list->horizontalHeader();
    auto span = [&] {
      const int left = h->mapTo(w, QPoint(h->sectionViewportPosition(3), 0)).x();
      const int right =
          h->mapTo(w, QPoint(h->sectionViewportPosition(4) + h->sectionSize(4), 0)).x();
      const int x = group->mapTo(w, QPoint(0, 0)).x();
      EXPECT_EQ(x, left);
      EXPECT_EQ(x + group->width(), right);
      EXPECT_LT(group->mapTo(w, QPoint(0, 0)).y(), h->mapTo(w, QPoint(0, 0)).y());
    };
    span();
    list->setColumnWidth(3, list->columnWidth(3) + 40);
    span();
    checked = true;
    w->findChild<QPushButton*>("?CLOSE")->click();
  });
  program.request = request::View;
  EXPECT_EQ(browse->run(host), response::Completed);
  EXPECT_TRUE(checked);

  // UP_ESTI on the stored estimate: its two lines and their direct cost.
  db::Table& poli = ctx.table("POLI");
  ASSERT_TRUE(poli.open().ok());
  poli.clear();
  poli.rec<POL>().CTA = 1;
  ASSERT_TRUE(poli.get("POL:CTA_KEY").ok());
  auto form = program.make("UP_ESTI", ctx);
  checked = false;
  later([&] {
    qt::WindowWidget* w = host.widget(*form);
    ASSERT_NE(w, nullptr);
    QTableView* lines = w->list("?LINEAS");
    ASSERT_NE(lines, nullptr);
    QAbstractItemModel* m = lines->model();
    ASSERT_EQ(m->rowCount(), 2);
    EXPECT_EQ(m->columnCount(), 8);
    EXPECT_EQ(m->headerData(7, Qt::Horizontal).toString().toStdString(), "IMPORTE $");
    EXPECT_EQ(m->headerData(6, Qt::Horizontal).toString().toStdString(), "CANTIDAD");
    EXPECT_EQ(m->data(m->index(1, 7)).toString().toStdString(), "200.50");
    EXPECT_EQ(m->data(m->index(1, 4)).toString().toStdString(), "M2");
    EXPECT_EQ(text(w->findChild<QLabel*>("?TOTAL")), "500.50");
    EXPECT_FALSE(w->findChild<QPushButton*>("?OK")->isEnabled());  // a view
    checked = true;
    w->findChild<QPushButton*>("?CANCEL")->click();
  });
  program.request = request::View;
  EXPECT_EQ(form->run(host), response::Cancelled);
  EXPECT_TRUE(checked);

  // UP_AVAN shows the unit beside the volume, the executed quantity and the
  // quantity of this estimate.
  auto line = program.make("UP_AVAN", ctx);
  checked = false;
  later([&] {
    qt::WindowWidget* w = host.widget(*line);
    ASSERT_NE(w, nullptr);
    for (const char* id : {"?ESM:UN", "?ESM:UN:2", "?ESM:UN:3"})
      EXPECT_NE(w->findChild<QLabel*>(id), nullptr) << id;
    checked = true;
    w->findChild<QPushButton*>("?CANCEL")->click();
  });
  program.request = request::Insert;
  (void)line->run(host);
  EXPECT_TRUE(checked);
}

}  // namespace
}  // namespace velmora::estimates
