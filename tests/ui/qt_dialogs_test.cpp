// The standard dialogs on the offscreen platform: the message box maps the
// catalogue's buttons both ways, the warning shows its three cut lines, and
// the date picker draws its model and routes keys, spins and clicks to it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <set>
#include <vector>

#include "dictionary/dates.h"
#include "ui/qt/dialogs.h"

namespace velmora {
namespace {

void application() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "qt_dialogs_test";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
}

// Runs `inside` once the modal dialog opened by `open` is up. A dialog the
// step left open is closed after a while, so a failing test cannot hang.
template <class Dialog>
void whileOpen(const std::function<void()>& open, const std::function<void(Dialog&)>& inside) {
  bool found = false;
  QTimer::singleShot(0, [&] {
    auto* d = dynamic_cast<Dialog*>(QApplication::activeModalWidget());
    if (!d) return;
    found = true;
    inside(*d);
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
  });
  watchdog.start(3000);
  open();
  EXPECT_TRUE(found) << "no dialog of the expected kind was open";
}

QPushButton* buttonCaptioned(QWidget& w, const QString& caption) {
  for (QPushButton* b : w.findChildren<QPushButton*>())
    if (b->text() == caption && b->isVisible()) return b;
  return nullptr;
}

std::set<QString> captions(QWidget& w) {
  std::set<QString> out;
  for (QPushButton* b : w.findChildren<QPushButton*>())
    if (b->isVisible()) out.insert(b->text());
  return out;
}

// What showMessageBox answers when `inside` acts on the open box.
int answer(const MessageBox& box, const std::function<void(QMessageBox&)>& inside) {
  int result = -1;
  whileOpen<QMessageBox>([&] { result = qt::showMessageBox(nullptr, box); }, inside);
  return result;
}

void press(QMessageBox& m, const char* caption) {
  QPushButton* b = buttonCaptioned(m, QString::fromUtf8(caption));
  ASSERT_NE(b, nullptr) << caption;
  b->click();
}

const QString kYes = QString::fromUtf8("&Sí");

TEST(MessageBoxDialog, ShowsTheBoxAndAnswersTheButtonPressed) {
  application();
  MessageBox box;
  box.title = "Error al Actualizar";
  box.text = "Primera línea|<b>segunda</b>";
  box.icon = MessageIcon::Question;
  box.buttons = button::Yes | button::No | button::Cancel;
  box.defaultButton = button::Cancel;
  EXPECT_EQ(answer(box,
                   [](QMessageBox& m) {
                     EXPECT_EQ(m.windowTitle(), "Error al Actualizar");
                     EXPECT_EQ(m.text(), QString::fromUtf8("Primera línea\n<b>segunda</b>"));
                     // A value holding markup is shown as it is.
                     EXPECT_EQ(m.textFormat(), Qt::PlainText);
                     EXPECT_EQ(m.icon(), QMessageBox::Question);
                     EXPECT_EQ(captions(m), (std::set<QString>{kYes, "&No", "Cancela"}));
                     ASSERT_NE(m.defaultButton(), nullptr);
                     EXPECT_EQ(m.defaultButton()->text(), "Cancela");
                     press(m, "&No");
                   }),
            button::No);

  box.buttons = button::Yes | button::No;
  box.defaultButton = button::No;
  EXPECT_EQ(answer(box, [](QMessageBox& m) { press(m, "&Sí"); }), button::Yes);
  // Enter takes the default, which need not be the first button.
  EXPECT_EQ(answer(box, [](QMessageBox& m) { QTest::keyClick(&m, Qt::Key_Return); }), button::No);

  box.buttons = button::Ok;
  box.defaultButton = button::Ok;
  box.icon = MessageIcon::Exclamation;
  EXPECT_EQ(answer(box,
                   [](QMessageBox& m) {
                     EXPECT_EQ(m.icon(), QMessageBox::Warning);
                     EXPECT_EQ(captions(m), std::set<QString>{"OK"});
                     press(m, "OK");
                   }),
            button::Ok);
}

TEST(MessageBoxDialog, EscapeAndMissingDefaultsNeverAnswerAButtonNotOffered) {
  application();
  auto escape = [](QMessageBox& m) { QTest::keyClick(&m, Qt::Key_Escape); };
  MessageBox box;
  box.buttons = button::Yes | button::No | button::Cancel;
  box.defaultButton = button::Yes;
  EXPECT_EQ(answer(box, escape), button::Cancel);
  box.buttons = button::Yes | button::No;
  EXPECT_EQ(answer(box, escape), button::No);
  EXPECT_EQ(answer(box, [](QMessageBox& m) { m.close(); }), button::No);
  box.buttons = button::Ok;
  EXPECT_EQ(answer(box, escape), button::Ok);
  box.buttons = button::Yes;
  EXPECT_EQ(answer(box, escape), button::Yes);

  // A default that is not offered falls back to an offered button; no valid
  // button at all still leaves a way to close the box.
  box.buttons = button::Ok;
  box.defaultButton = button::Cancel;
  EXPECT_EQ(answer(box,
                   [](QMessageBox& m) {
                     ASSERT_NE(m.defaultButton(), nullptr);
                     EXPECT_EQ(m.defaultButton()->text(), "OK");
                     QTest::keyClick(&m, Qt::Key_Return);
                   }),
            button::Ok);
  box.buttons = 0;
  EXPECT_EQ(answer(box,
                   [](QMessageBox& m) {
                     EXPECT_EQ(captions(m), std::set<QString>{"OK"});
                     QTest::keyClick(&m, Qt::Key_Escape);
                   }),
            button::Ok);
}

QString labelText(QWidget& w, const char* name) {
  auto* l = w.findChild<QLabel*>(name);
  return l ? l->text() : QString("<missing %1>").arg(name);
}

TEST(WarningDialog, ShowsTheThreeLinesCutToFortyCharacters) {
  application();
  std::string accented;
  for (int i = 0; i < 9; ++i) accented += "ÁÉÍÓÑ";  // 45 characters, 90 bytes
  const WarningLines lines = {std::string(45, 'A'), accented, "<b>CORTA</b>"};
  whileOpen<QDialog>([&] { qt::showWarning(nullptr, lines); },
                     [&](QDialog& d) {
                       EXPECT_EQ(d.windowTitle(), "MENSAJE DE ADVERTENCIA !!!");
                       auto* icon = d.findChild<QLabel*>("icon");
                       ASSERT_NE(icon, nullptr);
                       EXPECT_FALSE(icon->pixmap().isNull());
                       EXPECT_EQ(labelText(d, "MESS1"), QString(40, 'A'));
                       EXPECT_EQ(labelText(d, "MESS2"), QString::fromUtf8(accented.data(), 80));
                       EXPECT_EQ(labelText(d, "MESS3"), "<b>CORTA</b>");
                       EXPECT_EQ(d.findChild<QLabel*>("MESS3")->textFormat(), Qt::PlainText);
                       EXPECT_EQ(d.findChild<QLabel*>("choice"), nullptr);
                       EXPECT_EQ(captions(d), std::set<QString>{"OK"});
                       buttonCaptioned(d, "OK")->click();
                     });

  const WarningLines question = {"DESEA CONTINUAR", "", ""};
  auto choose = [&](const std::function<void(QDialog&)>& inside) {
    bool yes = false;
    whileOpen<QDialog>([&] { yes = qt::chooseWarning(nullptr, question); }, inside);
    return yes;
  };
  EXPECT_TRUE(choose([](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "MENSAJE DE ADVERTENCIA !!!");
    EXPECT_EQ(labelText(d, "choice"), "SELECCIONE SU OPCION");
    EXPECT_EQ(labelText(d, "MESS1"), "DESEA CONTINUAR");
    EXPECT_EQ(captions(d), (std::set<QString>{kYes, "&No"}));
    buttonCaptioned(d, kYes)->click();
  }));
  EXPECT_FALSE(choose([](QDialog& d) { buttonCaptioned(d, "&No")->click(); }));
  EXPECT_FALSE(choose([](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }));
  EXPECT_TRUE(choose([](QDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }));

  // Where yes deletes or overwrites, Enter answers no; yes takes a click.
  auto confirm = [&](const std::function<void(QDialog&)>& inside) {
    bool yes = true;
    whileOpen<QDialog>([&] { yes = qt::confirmWarning(nullptr, question); }, inside);
    return yes;
  };
  EXPECT_FALSE(confirm([](QDialog& d) {
    EXPECT_TRUE(buttonCaptioned(d, "&No")->isDefault());
    EXPECT_FALSE(buttonCaptioned(d, kYes)->isDefault());
    QTest::keyClick(&d, Qt::Key_Return);
  }));
  EXPECT_TRUE(confirm([](QDialog& d) { buttonCaptioned(d, kYes)->click(); }));
}

class BoxHost : public MessageHost {
 public:
  int show(const MessageBox& box) override {
    boxes.push_back(box);
    return button::Ok;
  }
  void stopProgram() override {}
  std::vector<MessageBox> boxes;
};

std::int32_t date(int day, int month, int year) { return dates::fromYmd({year, month, day}); }

QPushButton* cell(QWidget& d, int n) {
  return d.findChild<QPushButton*>(QString("?REGION%1").arg(n));
}

int filledCells(QWidget& d) {
  int n = 0;
  for (int i = 1; i <= DatePicker::kCells; ++i) n += cell(d, i) && !cell(d, i)->text().isEmpty();
  return n;
}

// The day numbers drawn distinctly.
std::vector<QString> highlighted(QWidget& d) {
  std::vector<QString> out;
  for (int i = 1; i <= DatePicker::kCells; ++i)
    if (cell(d, i)->font().bold()) out.push_back(cell(d, i)->text());
  return out;
}

class DatePickerDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { application(); }
  QSpinBox* spin(QWidget& d, const char* name) { return d.findChild<QSpinBox*>(name); }
  BoxHost host;
  const std::int32_t today = date(31, 8, 2009);
};

TEST_F(DatePickerDialogTest, DrawsTheModelAndRoutesKeysAndSpinsToIt) {
  qt::DatePickerDialog d(nullptr, &host, date(15, 2, 2008), today);
  d.show();
  QSpinBox* month = spin(d, "?MONTHNUMBER");
  QSpinBox* year = spin(d, "?YEARNUMBER");
  ASSERT_TRUE(month && year);
  EXPECT_EQ(d.windowTitle(), "Seleccione la Fecha");
  EXPECT_EQ(labelText(d, "?MONTHTITLE"), "Febrero 2008");
  EXPECT_EQ(labelText(d, "?HEADING1"), "Dom");
  EXPECT_EQ(labelText(d, "?HEADING7"), QString::fromUtf8("Sáb"));
  EXPECT_EQ(month->value(), 2);
  EXPECT_EQ(year->value(), 2008);
  EXPECT_EQ(filledCells(d), 29);
  EXPECT_EQ(cell(d, 5)->text(), "");  // 1 February 2008 was a Friday
  EXPECT_EQ(cell(d, 6)->text(), "1");
  EXPECT_EQ(highlighted(d), std::vector<QString>{"15"});

  QTest::keyClick(&d, Qt::Key_PageDown);
  EXPECT_EQ(labelText(d, "?MONTHTITLE"), "Febrero 2009");
  EXPECT_EQ(year->value(), 2009);
  EXPECT_EQ(filledCells(d), 28);
  EXPECT_EQ(cell(d, 1)->text(), "1");
  EXPECT_EQ(highlighted(d), std::vector<QString>{"15"});

  // A typed year counts once, on Enter, and Enter picks no day (the first
  // cell now holds one).
  year->selectAll();
  QTest::keyClicks(year, "2015");
  EXPECT_EQ(labelText(d, "?MONTHTITLE"), "Febrero 2009");
  QTest::keyClick(year, Qt::Key_Return);
  EXPECT_EQ(labelText(d, "?MONTHTITLE"), "Febrero 2015");
  EXPECT_EQ(cell(d, 1)->text(), "1");
  EXPECT_TRUE(d.isVisible());
  EXPECT_FALSE(d.model().closed());

  // The window's keys win over the spin that has the focus.
  QTest::keyClick(year, Qt::Key_Left);
  EXPECT_EQ(labelText(d, "?MONTHTITLE"), "Enero 2015");
  EXPECT_EQ(year->value(), 2015);
  QTest::keyClick(month, Qt::Key_Up);
  EXPECT_EQ(labelText(d, "?MONTHTITLE"), "Diciembre 2014");
  EXPECT_EQ(month->value(), 12);

  // Stepping the month past December rolls the year; the spin then shows 1.
  month->stepUp();
  EXPECT_EQ(labelText(d, "?MONTHTITLE"), "Enero 2015");
  EXPECT_EQ(month->value(), 1);
  EXPECT_EQ(filledCells(d), 31);
  EXPECT_TRUE(host.boxes.empty());

  year->setValue(1800);
  EXPECT_EQ(year->value(), 1801);
  EXPECT_EQ(labelText(d, "?MONTHTITLE"), "Enero 1801");
  QTest::keyClick(&d, Qt::Key_PageUp);
  EXPECT_EQ(year->value(), 1801);
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[1].title, "Fuera de Rango");
  EXPECT_EQ(host.boxes[1].lines().back(), "Fechas posteriores a 1801");
}

TEST_F(DatePickerDialogTest, OnlyADayCellChoosesAndCancellingReturnsTheStart) {
  {
    qt::DatePickerDialog d(nullptr, &host, date(15, 2, 2008), today);
    d.show();
    QTest::mouseClick(cell(d, 1), Qt::LeftButton);
    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(d.model().closed());
    QTest::mouseClick(cell(d, 6), Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.chosenDate(), date(1, 2, 2008));
  }
  {
    // The forms pass 0: cancel gives today, not a day of the month shown.
    qt::DatePickerDialog d(nullptr, &host, 0, today);
    d.show();
    EXPECT_EQ(labelText(d, "?MONTHTITLE"), "Agosto 2009");
    QTest::keyClick(&d, Qt::Key_PageDown);
    QTest::keyClick(&d, Qt::Key_Right);
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(d.chosenDate(), today);
  }
  {
    // The right button cancels even over a day cell.
    qt::DatePickerDialog d(nullptr, &host, date(15, 2, 2008), today);
    d.show();
    QTest::mousePress(cell(d, 10), Qt::RightButton);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.chosenDate(), date(15, 2, 2008));
  }

  // The modal call returns the day clicked.
  std::int32_t chosen = 0;
  whileOpen<qt::DatePickerDialog>([&] { chosen = qt::pickDate(nullptr, &host, date(15, 2, 2008)); },
                                  [](qt::DatePickerDialog& d) {
                                    QPushButton* twentieth = cell(d, 5 + 20);
                                    ASSERT_EQ(twentieth->text(), "20");
                                    QTest::mouseClick(twentieth, Qt::LeftButton);
                                  });
  EXPECT_EQ(chosen, date(20, 2, 2008));

  // Esc on a field without a date: told as a cancel, so the field stays empty
  // rather than taking today.
  bool cancelled = false;
  whileOpen<qt::DatePickerDialog>([&] { chosen = qt::pickDate(nullptr, &host, 0, &cancelled); },
                                  [](qt::DatePickerDialog& d) { d.reject(); });
  EXPECT_TRUE(cancelled);
  cancelled = true;
  whileOpen<qt::DatePickerDialog>(
      [&] { chosen = qt::pickDate(nullptr, &host, 0, &cancelled); },
      [](qt::DatePickerDialog& d) { QTest::mouseClick(cell(d, 10), Qt::LeftButton); });
  EXPECT_FALSE(cancelled);
}

}  // namespace
}  // namespace velmora
