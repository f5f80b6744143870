// "Vista Previa" in the Qt host on the offscreen platform: a real run's
// pages painted in the page area, the status zones and the buttons routed
// to the procedure. With VELMORA_CAPTURAS set it draws the screenshot of
// the 2 × 2 grid for the documentation.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <filesystem>

#include "dictionary/storage.h"
#include "estimates/reports/imp_con.h"
#include "reports/preview_window.h"
#include "tests/support/temp_folder.h"
#include "ui/qt/qt_host.h"
#include "ui/qt/window_widget.h"

namespace velmora {
namespace {

// Pixels inside a page, its border left out, that are not paper: its ink.
int inked(const QImage& image, const QRect& page) {
  int n = 0;
  const QRect inside = page.adjusted(3, 3, -3, -3);
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x) n += qGray(image.pixel(x, y)) < 200;
  return n;
}

TEST(QtPreview, ARunsPagesArePaintedPagedAndShownAsAGrid) {
  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  storage.setFileName(CTR::info(), folder.file("OBRA12.TPS"));
  db::Context ctx{storage};
  qt::QtHost host;
  messages.setHost(&host);
  db::Table& t = ctx.table<CTR>();
  ASSERT_TRUE(t.open());
  for (int i = 1; i <= 200; ++i) {
    t.clear();
    t.rec<CTR>().CTA = std::int16_t(i);
    t.rec<CTR>().NOMB = "CONTRATISTA " + std::to_string(i);
    ASSERT_TRUE(t.add());
  }
  t.close();
  auto report = reports::makeImpCon();
  reports::RunSettings settings;
  settings.heading = {"CONSTRUCTORA DEMO", "HOSPITAL GENERAL", 80000};
  settings.tempRoot = folder.file("");
  reports::ReportRun run(ctx, *report, settings);
  runToEnd(run);
  std::unique_ptr<reports::PageList> pages = run.takePages();
  ASSERT_TRUE(pages);
  ASSERT_GE(pages->pages(), 5);
  const std::string total = std::to_string(pages->pages());

  reports::PreviewWindow preview(program, ctx, *pages);
  ASSERT_TRUE(preview.open(host));
  qt::WindowWidget* w = host.widget(preview);
  w->resize(1000, 760);
  QApplication::processEvents();
  auto* area = w->findChild<QWidget*>("?PAGES");
  auto* zone5 = w->findChild<QLabel*>("zone5");
  auto* next = w->findChild<QPushButton*>("?NEXT");
  auto* zoom = w->findChild<QComboBox*>("?ZOOMSTATUS");
  ASSERT_TRUE(area && zone5 && next && zoom);
  EXPECT_EQ(zoom->currentText().toStdString(), "Ancho hoja");
  EXPECT_EQ(next->toolTip().toStdString(), "Siguiente Hoja");
  EXPECT_EQ(zone5->text().toStdString(), "Hoja 1 de " + total);
  // The page fills the area's width and is painted: white paper and ink.
  EXPECT_EQ(preview.preview().areaWidth(), area->width());
  QImage shot = area->grab().toImage();
  EXPECT_EQ(shot.pixelColor(area->width() / 2, 5), QColor(Qt::white));
  EXPECT_GT(inked(shot, QRect(0, 0, area->width(), area->height())), 50);

  // A page as wide as the window is taller than it: the bar scrolls it.
  auto* bar = w->findChild<QScrollBar*>();
  ASSERT_TRUE(bar);
  for (QScrollBar* b : w->findChildren<QScrollBar*>())
    if (b->orientation() == Qt::Vertical && b->isVisible()) bar = b;
  ASSERT_TRUE(bar->isVisible());
  bar->setValue(120);
  EXPECT_EQ(preview.preview().scrollY(), 120);
  next->click();
  EXPECT_EQ(preview.preview().scrollY(), 120);  // the same place of the next page
  EXPECT_EQ(zone5->text().toStdString(), "Hoja 2 de " + total);
  preview.preview().setGrid(2, 2);
  preview.refresh("?PAGES");
  preview.keyPressed(Key::PageUp);
  QApplication::processEvents();
  EXPECT_EQ(zone5->text().toStdString(), "Hojas 1-4 de " + total);
  EXPECT_EQ(zoom->currentText().toStdString(), "No Zoom");
  EXPECT_FALSE(w->findChild<QPushButton*>("?PREVIEWDELETE")->isEnabled());
  shot = area->grab().toImage();
  for (const PageSlot& s : preview.pageSlots())
    EXPECT_GT(inked(shot, QRect(s.x, s.y, s.width, s.height)), 10) << s.page;
  if (const char* dir = std::getenv("VELMORA_CAPTURAS"))
    w->grab().save(QString::fromStdString(std::string(dir) + "/vista-previa-2x2.png"));

  w->findChild<QPushButton*>("?EXITBUTTON")->click();
  EXPECT_EQ(preview.finish(), response::Cancelled);
  const std::string runFolder = pages->folder();
  pages.reset();  // the preview closed: its run's folder goes with the pages
  EXPECT_FALSE(std::filesystem::exists(runFolder));
}

}  // namespace
}  // namespace velmora
