#include "reports/sheet.h"

#include "reports/report_options.h"

namespace velmora::reports {

namespace {

constexpr int kLeft = 100;  // 1 cm
constexpr int kTitlesY = 150;
constexpr int kGap = 2;  // blanks between columns

}  // namespace

Decimal toCents(double amount) { return Decimal::fromDouble(amount).value_or(Decimal()); }

int sheetX(const SheetSpec& sheet, int chars) { return kLeft + chars * sheet.font * 6 / 10; }

int columnsEnd(const SheetSpec& sheet) {
  int at = 0;
  for (const ColumnSpec& c : sheet.columns) at += c.width + kGap;
  return sheetX(sheet, at);
}

int sheetEnd(const SheetSpec& sheet) { return (sheet.landscape ? 2794 : 2159) - kLeft; }

ReportDescription layOut(const SheetSpec& s) {
  ReportDescription d;
  d.procedure = s.procedure;
  d.title = s.title;
  d.table = s.table;
  d.key = s.key;
  if (s.landscape) d.pageWidth = 2794, d.pageHeight = 2159;
  d.fontHeight = s.font;
  const int right = sheetEnd(s);

  Band& h = d.pageHeader;
  addPageHeading(h, kLeft, right, std::string(OptionsReport::kTitleRange));
  h.lines = {{kLeft, kTitlesY - 15, right, kTitlesY - 15},
             {kLeft, kTitlesY + 40, right, kTitlesY + 40}};
  h.height = kTitlesY + 60;

  Band& line = d.detail;
  line.height = s.detailHeight;
  Band& sums = d.totals;
  sums.height = 70;
  int at = 0, firstTotal = -1;
  for (std::size_t i = 0; i < s.columns.size(); ++i) {
    const ColumnSpec& c = s.columns[i];
    const int x = c.right ? sheetX(s, at + c.width) : sheetX(s, at);
    h.items.push_back(label(c.title, x, kTitlesY, c.right));
    line.items.push_back(field(c.source, c.picture, x, 0, c.right));
    if (c.total) {
      BandItem t = field(c.source, c.picture, x, 20, c.right);
      t.total = true;
      sums.items.push_back(t);
      if (firstTotal < 0) firstTotal = at;
    }
    if (int(i) == s.sumsColumn) sums.items.push_back(label("SUMAS:", sheetX(s, at), 20));
    at += c.width + kGap;
  }
  if (firstTotal >= 0) sums.lines = {{sheetX(s, firstTotal), 5, sheetX(s, at - kGap), 5}};
  return d;
}

}  // namespace velmora::reports
