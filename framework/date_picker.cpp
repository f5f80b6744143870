#include "framework/date_picker.h"

#include <algorithm>

#include "dictionary/dates.h"

namespace velmora {
namespace {

constexpr std::array<std::string_view, 12> kMonthNames = {
    "Enero ", "Febrero ", "Marzo ",      "Abril ",   "Mayo ",      "Junio ",
    "Julio ", "Agosto ",  "Septiembre ", "Octubre ", "Noviembre ", "Diciembre "};

}  // namespace

DatePicker::DatePicker(MessageHost* host, std::int32_t startingDate)
    : DatePicker(host, startingDate, dates::today()) {}

DatePicker::DatePicker(MessageHost* host, std::int32_t startingDate, std::int32_t today)
    : host_(host) {
  if (dates::isValidDate(startingDate))
    start_ = startingDate;
  else if (dates::isValidDate(today))
    start_ = today;
  const std::int32_t shown = start_ != 0 ? start_ : dates::kLastDate;
  day_ = dates::dayOf(shown);
  showMonth(dates::monthOf(shown), dates::yearOf(shown), false);
}

std::string DatePicker::monthTitle() const {
  return std::string(kMonthNames[month_ - 1]) + std::to_string(year_);
}

void DatePicker::keyPageUp() {
  if (!closed_) showMonth(month_, year_ - 1, false);
}

void DatePicker::keyPageDown() {
  if (!closed_) showMonth(month_, year_ + 1, false);
}

void DatePicker::keyLeft() {
  if (!closed_) setMonth(month_ - 1);
}

void DatePicker::keyRight() {
  if (!closed_) setMonth(month_ + 1);
}

void DatePicker::setMonth(int month) {
  if (closed_) return;
  if (month < 1)
    showMonth(12, year_ - 1, true);
  else if (month > 12)
    showMonth(1, year_ + 1, true);
  else
    showMonth(month, year_, false);
}

void DatePicker::setYear(int year) {
  if (!closed_) showMonth(month_, year, false);
}

bool DatePicker::click(int cell) {
  if (closed_ || cell < 1 || cell > kCells || cells_[cell - 1].empty()) return false;
  result_ = dates::dateOf(month_, std::stoi(cells_[cell - 1]), year_);
  closed_ = true;
  return true;
}

void DatePicker::cancel() {
  if (closed_) return;
  result_ = start_;
  closed_ = true;
}

void DatePicker::showMonth(int month, int year, bool rolledOver) {
  const char* limit = nullptr;
  if (year < kFirstYear) {
    year = kFirstYear;
    if (rolledOver) month = 1;
    limit = "Fechas posteriores a 1801";
  } else if (year > kLastYear) {
    year = kLastYear;
    if (rolledOver) month = 12;
    limit = "Fechas anteriores a 2099";
  }
  month_ = month;
  year_ = year;
  // The host may show the box before or after it draws; either way the
  // fields already hold the corrected month.
  fill();
  if (limit && host_) {
    MessageBox box;
    box.title = "Fuera de Rango";
    box.text = std::string("El rango es únicamente para|") + limit;
    box.icon = MessageIcon::Exclamation;
    host_->show(box);
  }
}

void DatePicker::fill() {
  days_ = dates::daysInMonth(month_, year_);
  // Sunday is weekday 0 and also the first column.
  const int offset = dates::dayOfWeek(dates::dateOf(month_, 1, year_));
  cells_.fill({});
  for (int day = 1; day <= days_; ++day) cells_[offset + day - 1] = std::to_string(day);
  highlighted_ = offset + std::min(day_, days_);
}

}  // namespace velmora
