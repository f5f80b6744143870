// The frame window on the offscreen platform: the title and status texts
// the frame procedure gives, toolbar icons with their captions, "&Mosaico"
// inside the frame and the open windows listed in "&Ventana".

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <functional>

#include "framework/describe.h"
#include "framework/frame.h"
#include "framework/maintenance.h"
#include "tests/support/temp_folder.h"
#include "ui/qt/frame_window.h"
#include "ui/qt/qt_host.h"

namespace velmora {
namespace {

class TitledFrame : public FrameProcedure {
 public:
  TitledFrame(Program& p, db::Context& c)
      : FrameProcedure(p, c,
                       Describe("Main", "Marco")
                           .button("?Tile", "&Mosaico")
                           .button("?Button1", "Actualiza Conceptos de Estimación")
                           .button("?Button2", "Reportes")
                           .done()) {
    layout_.menu = {{"&Ventana", "?Tile", "Hace visibles todas las Ventanas"}};
    layout_.toolbar = {"?Button1", "?Button2"};
    layout_.icons = {"CON", "REP"};
    layout_.themeIcons = {"velmora-no-existe", "document-print"};
  }
  const FrameLayout& layout() const override { return layout_; }
  std::string background() const override { return {}; }
  std::string toolbarImage() const override { return {}; }
  std::string title() const override {
    return work.empty() ? "Marco" : "Marco - Obra " + work + " - Usuario 7";
  }
  std::vector<std::string> statusTexts() const override {
    if (work.empty()) return {};
    return {"Obra " + work, "Usuario 7", "09/12/2026"};
  }
  std::string work;

 protected:
  void onAccepted(const std::string& c) override {
    if (c == "?Tile") services_->standard(StandardCommand::Tile);
    if (c == "?Button1") start("BROWSE:FREN");
  }

 private:
  FrameLayout layout_;
};

class QtFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    storage.setFileName(*dict::findTable("FREN"), folder.file("OBRA8.TPS"));
    addMaintenance(program);
    messages.setHost(&host);
    frame.setServices(&host);
  }
  // Runs the frame with `look` called once its window is up.
  void onFrame(const std::function<void(qt::FrameWindow&)>& look) {
    bool looked = false;
    QTimer::singleShot(0, [&] {
      ASSERT_NE(host.frameWindow(), nullptr);
      look(*host.frameWindow());
      looked = true;
      frame.close(response::Completed);
      host.afterEvent(frame);
    });
    EXPECT_EQ(frame.run(host), response::Completed);
    EXPECT_TRUE(looked);
  }
  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"VELMORA", storage, messages, folder.file("velmora.INI")};
  db::Context ctx{storage};
  qt::QtHost host;
  TitledFrame frame{program, ctx};
};

TEST_F(QtFrameTest, TitleStatusBarAndToolbarShowWhatTheFrameGives) {
  onFrame([&](qt::FrameWindow& window) {
    qt::FrameWindow* w = &window;
    EXPECT_EQ(w->windowTitle().toStdString(), "Marco");
    frame.work = "OB1";
    host.titles(frame);
    EXPECT_EQ(w->windowTitle().toStdString(), "Marco - Obra OB1 - Usuario 7");
    QStringList shown;
    for (QLabel* l : w->statusBar()->findChildren<QLabel*>())
      if (l->objectName().startsWith("titulo") && !l->isHidden()) shown << l->text();
    EXPECT_EQ(shown, (QStringList{"Obra OB1", "Usuario 7", "09/12/2026"}));

    // Captions under the icons, a long one over lines; the tip keeps it whole.
    EXPECT_EQ(w->findChild<QToolBar*>("toolbar")->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    QAction* concepts = w->action("?Button1");
    EXPECT_EQ(concepts->iconText().toStdString(), "Actualiza\nConceptos de\nEstimación");
    EXPECT_EQ(concepts->toolTip().toStdString(), "Actualiza Conceptos de Estimación");
    // An icon the theme lacks falls back to the drawn tile.
    EXPECT_FALSE(concepts->icon().isNull());
    EXPECT_TRUE(concepts->icon().name().isEmpty());
    if (QIcon::hasThemeIcon("document-print")) {
      EXPECT_EQ(w->action("?Button2")->icon().name().toStdString(), "document-print");
    }
  });
}

TEST_F(QtFrameTest, TileKeepsEveryWindowInsideAndTheWindowMenuListsThem) {
  onFrame([&](qt::FrameWindow& window) {
    qt::FrameWindow* w = &window;
    w->resize(900, 600);
    QApplication::processEvents();
    for (int i = 0; i < 3; ++i) w->action("?Button1")->trigger();
    QMdiArea* area = w->area();
    const QList<QMdiSubWindow*> subs = area->subWindowList();
    ASSERT_EQ(subs.size(), 3);
    // Opened wider than the frame, then tiled.
    for (QMdiSubWindow* s : subs) s->resize(2000, 1500);
    w->action("?Tile")->trigger();
    const QRect inside = area->viewport()->rect();
    for (QMdiSubWindow* s : subs) EXPECT_TRUE(inside.contains(s->geometry()));

    // The window menu lists them, the active one checked; choosing one activates it.
    area->setActiveSubWindow(subs[2]);
    QList<QAction*> list = w->windowList();
    ASSERT_EQ(list.size(), 3);
    EXPECT_TRUE(list[0]->text().startsWith("&1 "));
    EXPECT_TRUE(list[0]->text().endsWith(subs[0]->windowTitle()));
    EXPECT_FALSE(list[0]->isChecked());
    EXPECT_TRUE(list[2]->isChecked());
    list[0]->trigger();
    EXPECT_EQ(area->activeSubWindow(), subs[0]);
    // Rebuilt each time: a closed window is gone from it.
    subs[1]->close();
    QApplication::processEvents();
    EXPECT_EQ(w->windowList().size(), 2);
  });
}

}  // namespace
}  // namespace velmora
