#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/messages.h"

// The calendar behind every ?POPCALENDAR button: the modal "Seleccione la
// Fecha" window without widgets. The Qt host draws this state and forwards
// keys, spins and clicks; the script and test hosts call the actions directly.
namespace velmora {

class DatePicker {
 public:
  static constexpr std::string_view kTitle = "Seleccione la Fecha";
  static constexpr int kCells = 37;  // ?REGION1..?REGION37
  static constexpr int kFirstYear = 1801;
  static constexpr int kLastYear = 2099;

  // Opens on the month of startingDate. 0 means today, which is also what
  // cancel then returns; so does a date outside the range, since a field
  // holding garbage must not bring it back on cancel.
  DatePicker(MessageHost* host, std::int32_t startingDate);
  // The same with today given instead of read from the clock (tests, and a
  // host that wants one "today" for a whole session). When today is not a
  // valid date either, the picker opens on December 2099 and cancel returns
  // 0: today() only fails once the clock has passed the range.
  DatePicker(MessageHost* host, std::int32_t startingDate, std::int32_t today);

  // Sunday first, as on Mexican calendars and in dates::dayOfWeek(); cell n
  // (1-based) sits under heading (n - 1) % 7.
  static constexpr std::array<std::string_view, 7> weekdayHeadings() {
    return {"Dom", "Lun", "Mar", "Mié", "Jue", "Vie", "Sáb"};
  }

  int month() const { return month_; }  // ?MONTHNUMBER
  int year() const { return year_; }    // ?YEARNUMBER
  std::string monthTitle() const;       // "Enero 2009"
  int daysInShownMonth() const { return days_; }
  // Cell n is element n - 1: its day number as text, or empty.
  const std::array<std::string, kCells>& cells() const { return cells_; }
  // 1..37, always a cell holding a day: the starting date's day, or the last
  // day of a shorter month (31 January -> 28 or 29 in February).
  int highlightedCell() const { return highlighted_; }
  std::int32_t startingDate() const { return start_; }

  bool closed() const { return closed_; }
  // The chosen date once closed; 0 while open.
  std::int32_t result() const { return result_; }

  // Once closed, every action is ignored.
  void keyPageUp();    // previous year
  void keyPageDown();  // next year
  void keyLeft();      // previous month
  void keyUp() { keyLeft(); }
  void keyRight();  // next month
  void keyDown() { keyRight(); }
  // The spin fields. A month below 1 is December of the previous year, one
  // above 12 January of the next, however far out the value is.
  void setMonth(int month);
  void setYear(int year);
  // Returns whether a day was chosen: an empty cell or a number outside
  // 1..37 does nothing.
  bool click(int cell);
  // Esc or the right button.
  void cancel();

 private:
  // A year outside the range is brought back with the "Fuera de Rango" box.
  // When the move rolled over a year end (month steps), the shown month stays
  // on the edge of the range instead of jumping to the other end of the year.
  void showMonth(int month, int year, bool rolledOver);
  void fill();

  MessageHost* host_;
  std::int32_t start_ = 0;
  int day_ = 1;  // the starting date's day, what the highlight follows
  int month_ = 1;
  int year_ = kFirstYear;
  int days_ = 0;
  std::array<std::string, kCells> cells_;
  int highlighted_ = 1;
  bool closed_ = false;
  std::int32_t result_ = 0;
};

}  // namespace velmora
