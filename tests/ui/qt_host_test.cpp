// The Qt host on the offscreen platform: the window a description gives, the
// list over the browse's page with its green bar, keys routed to the
// procedure, a modal form inside the browse, and window settings.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "dictionary/dates.h"
#include "framework/describe.h"
#include "framework/form.h"
#include "framework/frame.h"
#include "framework/maintenance.h"
#include "tests/support/lines_form.h"
#include "tests/support/temp_folder.h"
#include "ui/qt/dialogs.h"
#include "ui/qt/frame_window.h"
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
    if (auto* modal = dynamic_cast<qt::WindowWidget*>(QApplication::activeModalWidget()))
      return modal;
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
    EXPECT_EQ(w->windowTitle().toStdString(), "Mantenimiento de FREN");
    auto* tabs = w->findChild<QTabBar*>("?CURRENTTAB");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1).toStdString(), "x Nombre");
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

// A capture window with one control of each kind the forms use.
class Capture : public Procedure {
 public:
  Capture(Program& p, db::Context& c) : Procedure(p, c, window()) {}
  std::vector<std::string> acceptedControls;

  static WindowDescription window() {
    WindowDescription w;
    w.procedure = "CAPTURA";
    w.title = "Captura";
    Control type = makeControl(ControlType::Option, "?TIES", "TIPO DE POLIZA", "TIES", "", "?TAB1");
    type.choices = {"2", "1", "3"};
    type.captions = {"AVANCE", "ANTICIPO", "DEV. FONDO GTIA"};
    Control date = makeControl(ControlType::Entry, "?FECHA", "", "FECHA", "@D6", "?TAB1");
    date.tip = "FECHA DE LA POLIZA";
    Control calendar = makeControl(ControlType::Calendar, "?POPCALENDAR", "...", "", "", "?TAB1");
    calendar.target = "?FECHA";
    w.controls = {
        makeControl(ControlType::Sheet, "?CURRENTTAB"),
        makeControl(ControlType::Tab, "?TAB1", "&General"),
        makeControl(ControlType::Tab, "?TAB2", "&Notas"),
        type,
        makeControl(ControlType::Prompt, "?FECHA:PROMPT", "&Fecha:", "", "", "?TAB1"),
        date,
        calendar,
        makeControl(ControlType::Prompt, "?NOTA:PROMPT", "&Nota:", "", "", "?TAB2"),
        makeControl(ControlType::Entry, "?NOTA", "", "NOTA", "@s20", "?TAB2"),
        makeControl(ControlType::Button, "?OK", "&Aceptar"),
    };
    return w;
  }

 protected:
  void onAccepted(const std::string& c) override {
    acceptedControls.push_back(c);
    if (c == "?OK") close(response::Completed);
  }
};

// Types into an entry as the user does: focus, text, leaving the field.
void type(QLineEdit* e, const QString& text) {
  e->setFocus();
  e->setText(text);
  e->setModified(true);
  Q_EMIT e->editingFinished();
}

TEST_F(QtHostTest, FormControlsParseThroughTheirPicturesAndCarryRadiosCalendarAndTips) {
  program.declare("TIES", Value(std::string("1")));
  program.declare("FECHA", Value(std::int64_t(dates::dateOf(3, 15, 2026))));
  program.declare("NOTA", Value(std::string()));
  Capture capture(program, ctx);
  bool checked = false;
  later([&] {
    qt::WindowWidget* w = host.widget(capture);
    ASSERT_NE(w, nullptr);
    auto* pages = w->findChild<QTabWidget*>("?CURRENTTAB");
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(1).toStdString(), "Notas");
    // The radio group shows the captions and checks the button of the value.
    auto* group = w->findChild<QGroupBox*>("?TIES");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title().toStdString(), "TIPO DE POLIZA");
    auto radios = group->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 3);
    EXPECT_EQ(radios[1]->text().toStdString(), "ANTICIPO");
    EXPECT_TRUE(radios[1]->isChecked());
    EXPECT_FALSE(radios[0]->isChecked());
    radios[2]->click();
    EXPECT_EQ(toText(program.var("TIES")), "3");
    EXPECT_EQ(capture.acceptedControls.back(), "?TIES");

    // The entry shows and parses through its picture; a refused text is
    // reported and leaves the value alone.
    auto* date = w->findChild<QLineEdit*>("?FECHA");
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(date->text().toStdString(), "15/03/2026");
    type(date, "01/04/2026");
    EXPECT_EQ(program.var("FECHA"), Value(std::int64_t(dates::dateOf(4, 1, 2026))));
    later([] {
      if (QWidget* box = QApplication::activeModalWidget()) QTest::keyClick(box, Qt::Key_Escape);
    });
    type(date, "45/13/2026");
    EXPECT_EQ(program.var("FECHA"), Value(std::int64_t(dates::dateOf(4, 1, 2026))));
    EXPECT_EQ(date->text().toStdString(), "01/04/2026");

    // The focus puts the control's tip in the window's status bar.
    date->setFocus();
    QApplication::processEvents();
    auto* zone = w->findChild<QLabel*>("zone1");
    ASSERT_NE(zone, nullptr);
    EXPECT_EQ(zone->text().toStdString(), "FECHA DE LA POLIZA");

    // The calendar opens on the field's date and puts the clicked day in it.
    later([] {
      auto* d = dynamic_cast<qt::DatePickerDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(d->model().month(), 4);
      for (QPushButton* b : d->findChildren<QPushButton*>())
        if (b->objectName().startsWith("?REGION") && b->text() == "20" && b->isVisible()) {
          QTest::mouseClick(b, Qt::LeftButton);
          return;
        }
      ADD_FAILURE() << "no cell for the 20th";
      d->reject();
    });
    w->findChild<QToolButton*>("?POPCALENDAR")->click();
    EXPECT_EQ(program.var("FECHA"), Value(std::int64_t(dates::dateOf(4, 20, 2026))));
    EXPECT_EQ(date->text().toStdString(), "20/04/2026");

    pages->setCurrentIndex(1);
    w->resize(640, 420);
    checked = true;
    w->findChild<QPushButton*>("?OK")->click();
  });
  EXPECT_EQ(capture.run(host), response::Completed);
  EXPECT_TRUE(checked);

  // Opened again, the window comes back with its size and tab.
  Capture again(program, ctx);
  later([&] {
    qt::WindowWidget* w = host.widget(again);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->size(), QSize(640, 420));
    EXPECT_EQ(w->findChild<QTabWidget*>("?CURRENTTAB")->currentIndex(), 1);
    QTest::keyClick(w, Qt::Key_Escape);
  });
  EXPECT_EQ(again.run(host), response::Cancelled);
}

// The header and lines form in real widgets: its in-memory list gets a
// model of its own; buttons, a header click and keys reach the list part.
TEST_F(QtHostTest, HeaderAndLinesFormBindsAModelToItsList) {
  test::LinesForm form(program, ctx);
  bool checked = false;
  later([&] {
    qt::WindowWidget* w = host.widget(form);
    ASSERT_NE(w, nullptr);
    QTableView* list = w->list(test::LinesForm::kList);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    QAbstractItemModel* m = list->model();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->columnCount(), 4);
    EXPECT_EQ(m->headerData(3, Qt::Horizontal).toString().toStdString(), "IMPORTE");
    EXPECT_EQ(w->findChild<QScrollBar*>("?LINEAS:thumb"), nullptr);  // every row, no thumb
    auto* remove = w->findChild<QPushButton*>("?BAJA");
    EXPECT_FALSE(remove->isEnabled());
    auto add = [&](const char* item, const char* quantity, const char* price) {
      type(w->findChild<QLineEdit*>("?CONCEPTO"), item);
      type(w->findChild<QLineEdit*>("?CANTIDAD"), quantity);
      type(w->findChild<QLineEdit*>("?PRECIO"), price);
      w->findChild<QPushButton*>("?ALTA")->click();
    };
    add("ZAPATA", "2", "150.25");
    add("BARDA", "3.5", "10.01");
    add("MURO", "1", "0.10");
    auto text = [&](int row, int column) {
      return m->data(m->index(row, column)).toString().toStdString();
    };
    ASSERT_EQ(m->rowCount(), 3);
    EXPECT_EQ(text(1, 3), "35.04");
    EXPECT_EQ(list->currentIndex().row(), 2);
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_EQ(w->findChild<QLabel*>("?TOTAL")->text().trimmed().toStdString(), "335.64");
    EXPECT_EQ(m->data(m->index(2, 0), Qt::BackgroundRole).value<QColor>(), QColor(193, 255, 193));
    // A click on the first header sorts by concept; MURO stays selected.
    QHeaderView* header = list->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    EXPECT_EQ(text(0, 0), "BARDA");
    EXPECT_EQ(list->currentIndex().row(), 1);
    // Delete on the list presses "&Baja".
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(m->rowCount(), 2);
    EXPECT_EQ(text(1, 0), "ZAPATA");
    EXPECT_EQ(w->findChild<QLabel*>("?TOTAL")->text().trimmed().toStdString(), "335.54");
    checked = true;
    w->findChild<QPushButton*>("?OK")->click();
  });
  EXPECT_EQ(form.run(host), response::Completed);
  EXPECT_TRUE(checked);
  EXPECT_EQ(form.lines().rows().size(), 2u);
}

// A form taller than the screen opens inside it and scrolls, even where the
// settings put it off every screen; opened to look, its entries are read-only.
TEST_F(QtHostTest, ATallFormFitsTheScreenAndAViewIsReadOnly) {
  WindowDescription tall{"UP_ALTO", "Alto", {}, true};
  for (int i = 1; i <= 60; ++i) {
    const std::string id = "?L" + std::to_string(i);
    tall.controls.push_back(makeControl(ControlType::Prompt, id + ":Prompt", "LINEA:"));
    tall.controls.push_back(makeControl(ControlType::Entry, id, {}, "FRE:NOMB", "@s30"));
  }
  tall.controls.push_back(makeControl(ControlType::Button, "?OK", "OK"));
  tall.controls.push_back(makeControl(ControlType::Button, "?CANCEL", "Cancela"));
  SettingsFile settings(program.settingsPath());
  WindowPlacement away;
  away.x = -5000, away.y = -5000, away.width = 700, away.height = 9000;
  ASSERT_TRUE(saveWindowSettings(settings, "UP_ALTO", away, true).ok());
  auto form = std::make_unique<FormProcedure>(program, ctx, tall, "FREN");
  later([&] {
    qt::WindowWidget* w = host.widget(*form);
    ASSERT_NE(w, nullptr);
    const QRect screen = w->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(w->geometry())) << w->geometry().y() << " " << w->height();
    auto* body = w->findChild<QScrollArea*>("body");
    ASSERT_NE(body, nullptr);
    EXPECT_GT(body->verticalScrollBar()->maximum(), 0);
    auto* edit = w->findChild<QLineEdit*>("?L60");
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_TRUE(edit->isEnabled());
    ASSERT_NE(w->findChild<QPushButton*>("?HELP"), nullptr);
    EXPECT_FALSE(w->findChild<QPushButton*>("?OK")->isEnabled());
    form->accepted("?CANCEL");
    host.afterEvent(*form);
  });
  program.request = request::View;
  EXPECT_EQ(form->run(host), response::Cancelled);
}

// A window whose saved size has become too small for what it holds (a later
// version shows more) opens with nothing cut and nothing to scroll.
TEST_F(QtHostTest, ASavedSizeNeverCutsTheWindowsContent) {
  WindowDescription w{"SEL_CHICA", "Chica", {}, false};
  for (int i = 1; i <= 6; ++i)
    w.controls.push_back(makeControl(ControlType::Text, "?T" + std::to_string(i),
                                     "COSTO DIRECTO DE LA OBRA " + std::to_string(i) + ":",
                                     "FRE:NOMB", "@s40"));
  w.controls.push_back(makeControl(ControlType::Button, "?OK", "OK"));
  w.controls.push_back(makeControl(ControlType::Button, "?CANCEL", "Cancela"));
  SettingsFile settings(program.settingsPath());
  WindowPlacement small;
  small.x = 100, small.y = 100, small.width = 220, small.height = 90;
  ASSERT_TRUE(saveWindowSettings(settings, "SEL_CHICA", small, true).ok());
  auto form = std::make_unique<FormProcedure>(program, ctx, w, "FREN");
  later([&] {
    qt::WindowWidget* widget = host.widget(*form);
    ASSERT_NE(widget, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget->window()));
    auto* body = widget->findChild<QScrollArea*>("body");
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->horizontalScrollBar()->maximum(), 0) << widget->width();
    EXPECT_EQ(body->verticalScrollBar()->maximum(), 0) << widget->height();
    EXPECT_GE(body->viewport()->width(), body->widget()->minimumSizeHint().width());
    form->accepted("?CANCEL");
    host.afterEvent(*form);
  });
  program.request = request::View;
  form->run(host);
}

TEST_F(QtHostTest, DoubleClickSelectsWhileSelecting) {
  auto browse = makeMaintenanceBrowse(program, ctx, *dict::findTable("FREN"));
  later([&] {
    QTableView* list = host.widget(*browse)->list();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    ASSERT_GT(list->model()->rowCount(), 2);
    QRect third = list->visualRect(list->model()->index(2, 1));
    // A double-click arrives after the click of its first press.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, third.center());
  });
  program.request = request::Select;
  EXPECT_EQ(browse->run(host), response::Completed);
  EXPECT_EQ(ctx.table("FREN").rec<FRE>().CTA, 3);
}

TEST_F(QtHostTest, StartedProceduresLiveAsChildrenOfTheFrame) {
  QMdiArea frame;
  frame.show();
  qt::QtHost mdi(&frame);
  mdi.start(makeMaintenanceBrowse(program, ctx, *dict::findTable("FREN")));
  ASSERT_EQ(frame.subWindowList().size(), 1);
  auto* w = dynamic_cast<qt::WindowWidget*>(frame.subWindowList().front()->widget());
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->list()->model()->rowCount(), 5);
  // The close box of the child ends the procedure; the child goes away.
  QTest::keyClick(w->list(), Qt::Key_Escape);
  QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(frame.subWindowList().isEmpty());
}

// A frame with one menu item and one toolbar button that starts a browse.
class TestFrame : public FrameProcedure {
 public:
  TestFrame(Program& p, db::Context& c)
      : FrameProcedure(p, c,
                       Describe("Main", "Marco de prueba")
                           .button("?Exit", "&Salir")
                           .button("?Button1", "Frentes")
                           .done()) {
    layout_.menu = {{"&Archivo", "?Exit", "Regresar a Windows"}};
    layout_.toolbar = {"?Button1"};
    layout_.icons = {"FRE"};
  }
  const FrameLayout& layout() const override { return layout_; }
  std::string background() const override { return "PROMO1.JPG"; }
  std::string toolbarImage() const override { return {}; }

 protected:
  void onAccepted(const std::string& c) override {
    if (c == "?Button1") start("BROWSE:FREN");
    if (c == "?Exit") close(response::Completed);
  }

 private:
  FrameLayout layout_;
};

TEST_F(QtHostTest, TheFrameCarriesMenusToolbarAndItsChildrenToTheEnd) {
  TestFrame frame(program, ctx);
  frame.setServices(&host);
  bool checked = false;
  later([&] {
    qt::FrameWindow* w = host.frameWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle().toStdString(), "Marco de prueba");
    ASSERT_EQ(w->menuBar()->actions().size(), 1);
    EXPECT_EQ(w->menuBar()->actions()[0]->text().toStdString(), "&Archivo");
    QAction* exit = w->action("?Exit");
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->statusTip().toStdString(), "Regresar a Windows");
    // The toolbar button starts a browse as a child of the frame.
    w->action("?Button1")->trigger();
    ASSERT_EQ(w->area()->subWindowList().size(), 1);
    frame.disable("?Exit");
    EXPECT_FALSE(exit->isEnabled());
    frame.enable("?Exit");
    checked = true;
    // Leaving with the child open: the child ends first and keeps its placement.
    exit->trigger();
  });
  EXPECT_EQ(frame.run(host), response::Completed);
  EXPECT_TRUE(checked);
  EXPECT_EQ(host.frameWindow(), nullptr);
  SettingsFile ini(folder.file("velmora.INI"));
  EXPECT_TRUE(ini.get("BROWSE:FREN", "Width").has_value());
  EXPECT_TRUE(ini.get("Main", "Width").has_value());
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
