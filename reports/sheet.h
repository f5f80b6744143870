#pragma once

// A report laid out column by column: a heading with the company, the work,
// the title with its date and ranges and the page number on every page, the
// column titles between two rules, one line per row, and "SUMAS:" with the
// totals under their columns. DUDORE's budget reports and VOROVID's reports
// are all built on it.

#include <string>
#include <vector>

#include "dictionary/decimal.h"
#include "reports/report.h"

namespace velmora::reports {

// A stored amount to the cent, so that a line adds up as printed.
Decimal toCents(double amount);

struct ColumnSpec {
  std::string title;
  std::string source;   // a field of the primary table or a value of the report
  std::string picture;  // empty: the text as it is
  int width = 0;        // characters
  bool right = false;   // numbers end at the column's right edge
  bool total = false;   // summed under "SUMAS:"
};

struct SheetSpec {
  std::string procedure, title, table, key;
  bool landscape = false;
  int font = 25;  // tenths of a millimetre
  int detailHeight = 40;
  std::vector<ColumnSpec> columns;
  int sumsColumn = 0;  // "SUMAS:" is printed in this column
};

// The report laid out column by column, one blank apart, from the left
// margin; its title line is the value OptionsReport::kTitleRange.
ReportDescription layOut(const SheetSpec& sheet);
// Where column `chars` (from 0) starts, where the last column's gap ends,
// and where the page's printable width ends.
int sheetX(const SheetSpec& sheet, int chars);
int columnsEnd(const SheetSpec& sheet);
int sheetEnd(const SheetSpec& sheet);

}  // namespace velmora::reports
