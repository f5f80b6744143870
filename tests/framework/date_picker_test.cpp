#include "framework/date_picker.h"

#include <algorithm>
#include <climits>
#include <vector>

#include <gtest/gtest.h>

#include "dictionary/dates.h"

namespace velmora {
namespace {

class BoxHost : public MessageHost {
 public:
  int show(const MessageBox& box) override {
    boxes.push_back(box);
    return box.defaultButton;
  }
  void stopProgram() override {}
  std::vector<MessageBox> boxes;
};

std::int32_t date(int day, int month, int year) { return dates::fromYmd({year, month, day}); }

std::string highlighted(const DatePicker& p) { return p.cells()[p.highlightedCell() - 1]; }

TEST(DatePicker, MonthsAreLaidOutUnderTheirWeekdays) {
  BoxHost host;
  for (auto [year, days] : {std::pair{2008, "29"}, {2009, "28"}, {1900, "28"}, {2000, "29"}}) {
    DatePicker p(&host, date(1, 2, year));
    EXPECT_NE(std::find(p.cells().begin(), p.cells().end(), days), p.cells().end()) << year;
    EXPECT_EQ(p.daysInShownMonth(), std::stoi(days)) << year;
  }

  // 1 August 2009 was a Saturday: a 31-day month needs all 37 cells.
  EXPECT_EQ(DatePicker::weekdayHeadings()[6], "Sáb");
  DatePicker august(&host, date(31, 8, 2009));
  EXPECT_EQ(august.cells()[5], "");
  EXPECT_EQ(august.cells()[6], "1");
  EXPECT_EQ(august.cells()[36], "31");
  EXPECT_EQ(august.highlightedCell(), 37);

  // Every month of the range: days run on without gaps, each in its column.
  DatePicker p(&host, date(1, 1, 1801));
  for (int n = 0; n < (2099 - 1801 + 1) * 12; ++n, p.keyRight()) {
    int expected = 1;
    for (int i = 0; i < DatePicker::kCells; ++i) {
      if (p.cells()[i].empty()) continue;
      ASSERT_EQ(p.cells()[i], std::to_string(expected)) << p.monthTitle();
      ASSERT_EQ(i % 7, dates::dayOfWeek(date(expected++, p.month(), p.year()))) << p.monthTitle();
    }
    ASSERT_EQ(expected - 1, p.daysInShownMonth()) << p.monthTitle();
  }
  // Only the step past the last month complained.
  EXPECT_EQ(p.monthTitle(), "Diciembre 2099");
  EXPECT_EQ(host.boxes.size(), 1u);
}

TEST(DatePicker, NavigationKeepsTheStartingDayHighlighted) {
  BoxHost host;
  DatePicker p(&host, date(31, 1, 2009));
  p.keyLeft();
  EXPECT_EQ(p.monthTitle(), "Diciembre 2008");
  p.keyDown();
  p.keyDown();
  EXPECT_EQ(p.monthTitle(), "Febrero 2009");
  EXPECT_EQ(highlighted(p), "28");
  p.keyPageUp();
  EXPECT_EQ(highlighted(p), "29");
  p.keyPageDown();
  p.keyPageDown();
  EXPECT_EQ(p.monthTitle(), "Febrero 2010");
  p.setMonth(0);
  EXPECT_EQ(p.monthTitle(), "Diciembre 2009");
  EXPECT_EQ(highlighted(p), "31");
  p.setMonth(1000);  // one step, never a jump of years
  EXPECT_EQ(p.monthTitle(), "Enero 2010");
  p.setMonth(-1000);
  p.setMonth(4);
  EXPECT_EQ(p.monthTitle(), "Abril 2009");
  EXPECT_EQ(highlighted(p), "30");
  EXPECT_TRUE(host.boxes.empty());
}

TEST(DatePicker, YearsOutsideTheRangeAreRefused) {
  BoxHost host;
  DatePicker p(&host, date(5, 6, 1801));
  p.keyPageUp();
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Fuera de Rango");
  EXPECT_EQ(host.boxes[0].lines(),
            (std::vector<std::string>{"El rango es únicamente para", "Fechas posteriores a 1801"}));
  EXPECT_EQ(host.boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(host.boxes[0].buttons, button::Ok);
  EXPECT_EQ(p.monthTitle(), "Junio 1801");

  // Stepping back past January 1801 stays there rather than showing December 1801.
  p.setMonth(1);
  p.keyLeft();
  p.setYear(-5);
  p.setYear(INT_MIN);
  EXPECT_EQ(host.boxes.size(), 4u);
  EXPECT_EQ(p.monthTitle(), "Enero 1801");

  p.setYear(2099);
  p.keyPageDown();
  EXPECT_EQ(host.boxes.back().lines()[1], "Fechas anteriores a 2099");
  EXPECT_EQ(p.monthTitle(), "Enero 2099");
  p.setMonth(12);
  p.keyRight();
  p.setYear(INT_MAX);
  EXPECT_EQ(host.boxes.size(), 7u);
  EXPECT_EQ(p.monthTitle(), "Diciembre 2099");

  DatePicker noHost(nullptr, date(1, 1, 2099));
  noHost.keyPageDown();
  EXPECT_EQ(noHost.year(), 2099);
}

TEST(DatePicker, CancelReturnsTheStartingDate) {
  BoxHost host;
  const std::int32_t today = date(17, 11, 2009);
  DatePicker fromForm(&host, 0, today);
  fromForm.keyLeft();
  fromForm.keyPageUp();
  fromForm.cancel();
  EXPECT_TRUE(fromForm.closed());
  EXPECT_EQ(fromForm.result(), today);

  DatePicker given(&host, date(3, 4, 1999), today);
  given.keyRight();
  given.cancel();
  EXPECT_EQ(given.result(), date(3, 4, 1999));

  // A field holding garbage opens on today and never gets the garbage back.
  for (std::int32_t bad : {-7, 1, dates::kLastDate + 1}) {
    DatePicker p(&host, bad, today);
    EXPECT_EQ(p.monthTitle(), "Noviembre 2009") << bad;
    p.cancel();
    EXPECT_EQ(p.result(), today) << bad;
  }

  DatePicker noClock(&host, 0, 0);  // still a month to show, and no made-up date
  EXPECT_EQ(noClock.monthTitle(), "Diciembre 2099");
  noClock.cancel();
  EXPECT_EQ(noClock.result(), 0);

  DatePicker clock(&host, 0);
  clock.cancel();
  EXPECT_EQ(clock.result(), dates::today());
}

TEST(DatePicker, ClickingChoosesOnlyADay) {
  BoxHost host;
  // January 2009 starts on a Thursday: cells 1 to 4 are empty, 36 is past the 31st.
  DatePicker p(&host, date(20, 1, 2009));
  for (int cell : {1, 4, 36, 0, -1, 38, INT_MAX}) EXPECT_FALSE(p.click(cell)) << cell;
  EXPECT_FALSE(p.closed());
  EXPECT_EQ(p.result(), 0);

  p.keyRight();  // February 2009 starts on a Sunday
  EXPECT_TRUE(p.click(14));
  EXPECT_TRUE(p.closed());
  EXPECT_EQ(p.result(), date(14, 2, 2009));

  // A closed picker takes nothing more.
  p.setYear(1700);
  p.cancel();
  EXPECT_FALSE(p.click(20));
  EXPECT_EQ(p.monthTitle(), "Febrero 2009");
  EXPECT_EQ(p.result(), date(14, 2, 2009));
  EXPECT_TRUE(host.boxes.empty());
}

}  // namespace
}  // namespace velmora
