// The Qt host on the offscreen platform: the window a description gives, the
// list over the browse's page with its green bar, keys routed to the
// procedure, a modal form inside the browse, and window settings.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>

#include "framework/maintenance.h"
#include "tests/support/temp_folder.h"
#include "ui/qt/qt_host.h"
#include "ui/qt/window_widget.h"

namespace velmora {
namespace {

void application() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "qt_host_test";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
}

// Runs `step` once the event loop of the innermost window is running.
void later(std::function<void()> step) { QTimer::singleShot(0, std::move(step)); }

class QtHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    storage.setFileName(*dict::findTable("FREN"), folder.file("OBRA8.TPS"));
    db::Context c(storage);
    db::Table& t = c.table("FREN");
    ASSERT_TRUE(t.open().ok());
    for (int i = 1; i <= 5; ++i) {
      t.clear();
      t.rec<FRE>().CTA = i;
      t.rec<FRE>().NOMB = "FRENTE " + std::to_string(i);
      ASSERT_TRUE(t.add().ok());
    }
    addMaintenance(program);
    messages.setHost(&host);
  }
  qt::WindowWidget* top() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* ww = dynamic_cast<qt::WindowWidget*>(w);
          ww && ww->isVisible() && ww->isActiveWindow())
        return ww;
    qt::WindowWidget* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* ww = dynamic_cast<qt::WindowWidget*>(w); ww && ww->isVisible()) found = ww;
    return found;
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"VELMORA", storage, messages, folder.file("velmora.INI")};
  db::Context ctx{storage, 0};
  qt::QtHost host;
};

TEST_F(QtHostTest, BrowseWindowShowsItsDescriptionAndRoutesKeysToAModalForm) {
  auto browse = makeMaintenanceBrowse(program, ctx, *dict::findTable("FREN"));
  bool checked = false;
  later([&] {
    qt::WindowWidget* w = host.widget(*browse);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle().toStdString(), "Mantenimiento de FREN (fronts)");
    auto* tabs = w->findChild<QTabBar*>("?CURRENTTAB");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1).toStdString(), "x NOM_KEY");
    QTableView* list = w->list();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->model()->rowCount(), 5);
    EXPECT_EQ(list->model()->data(list->model()->index(0, 1)).toString().toStdString(), "FRENTE 1");
    // Green bar on the first, third ... rows.
    EXPECT_EQ(list->model()->data(list->model()->index(0, 1), Qt::BackgroundRole).value<QColor>(),
              QColor(193, 255, 193));
    EXPECT_FALSE(list->model()->data(list->model()->index(1, 1), Qt::BackgroundRole).isValid());
    auto* select = w->findChild<QPushButton*>("?SELECT:2");
    ASSERT_NE(select, nullptr);
    EXPECT_TRUE(select->isHidden());  // not selecting

    // Insert on the list opens the form modally; it is filled and accepted.
    later([&] {
      qt::WindowWidget* form = top();
      ASSERT_NE(form, nullptr);
      EXPECT_EQ(form->windowTitle().toStdString(), "Actualiza FREN");
      auto* name = form->findChild<QLineEdit*>("?FRE:NOMB");
      ASSERT_NE(name, nullptr);
      name->setFocus();
      name->setText("PUENTE NUEVO");
      name->setModified(true);
      Q_EMIT name->editingFinished();
      form->findChild<QPushButton*>("?OK")->click();
    });
    QTest::keyClick(list, Qt::Key_Insert);
    EXPECT_EQ(list->model()->rowCount(), 6);
    int sel = list->currentIndex().row();
    EXPECT_EQ(list->model()->data(list->model()->index(sel, 1)).toString().toStdString(),
              "PUENTE NUEVO");
    checked = true;
    w->findChild<QPushButton*>("?CLOSE")->click();
  });
  program.request = request::None;
  EXPECT_EQ(browse->run(host), response::Completed);
  EXPECT_TRUE(checked);

  // The window's placement went to the settings file.
  SettingsFile ini(folder.file("velmora.INI"));
  EXPECT_TRUE(ini.get("BROWSE:FREN", "Width").has_value());
  EXPECT_EQ(ini.get("BROWSE:FREN", "Tab:?CurrentTab"), "1");
}

TEST_F(QtHostTest, MessageBoxesComeFromTheCatalogue) {
  later([] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
  });
  ErrorContext ec;
  // "Confirmar Borrado" with Esc: not confirmed.
  EXPECT_EQ(messages.raise(ec, 11), MessageService::kAnsweredNo);
}

}  // namespace
}  // namespace velmora
