#pragma once

// The rows a browse list shows: one page at a time, read from the key order
// of the current tab with its range limit and filter. Never the whole table:
// every movement reads only the rows it needs, next to the rows it has.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/storage.h"

namespace velmora {

struct BrowseRow {
  std::int64_t position = 0;
  Record record;
};

struct BrowseOrder {
  BrowseOrder() = default;
  BrowseOrder(const dict::KeyInfo* k, bool desc = false, std::vector<Value> r = {})
      : key(k), descending(desc), range(std::move(r)) {}

  const dict::KeyInfo* key = nullptr;  // nullptr: record order
  bool descending = false;
  // Fixed values of the key's leading components (e.g. the current work).
  std::vector<Value> range;
  // Rows for which it returns false are skipped.
  std::function<bool(const Record&)> filter;
  // A header click: the rows of the range sorted by these fields (ascending
  // unless `descending`) instead of the key.
  std::vector<int> sortFields;
};

class BrowseView {
 public:
  BrowseView(db::Table& table, int pageRows = 20);

  void setPageRows(int rows) { pageRows_ = rows < 1 ? 1 : rows; }
  int pageRows() const { return pageRows_; }
  // A new order shows its first page.
  Status setOrder(BrowseOrder order);
  const BrowseOrder& order() const { return order_; }

  const std::vector<BrowseRow>& rows() const { return rows_; }
  bool empty() const { return rows_.empty(); }
  int selected() const { return selected_; }  // -1 when empty
  void select(int row);

  Status top();
  Status bottom();
  Status down();  // the selection moves; the page scrolls at its end
  Status up();
  Status pageDown();
  Status pageUp();
  // The first record at or after the probe's key values in the view's order
  // (range components are taken from the range, the next component from the
  // probe); the page shows it selected, or the last page when there is none.
  Status locate(const Record& probe);
  // The thumb of the scroll bar, 0..100: a proportional step between the
  // first and last values of the first free key component.
  Status thumb(int percent);
  int thumbPercent();
  // Shows a record (after an insert or a change) selected, if it belongs to
  // the view; otherwise the page is re-read from its first row.
  Status show(std::int64_t position);
  // Re-reads the page from its first row, keeping the selection.
  Status reload();
  // Reads the selected record into the table's record buffer.
  // With `asShown`, a record that differs from the row on the page is
  // refused with err::RecordChanged, as is one that is gone: another
  // station changed or deleted it since the page was read.
  Status readSelected(bool asShown = false);

  db::Table& table() { return table_; }

 private:
  int freeComponent() const;  // the first key component after the range
  bool inView(const Record& r) const;
  bool inRange(const Record& r) const;
  Status seekStart();
  Status seekProbe(const Record& probe, int components);
  Status step(bool forward, bool& got);  // the next row of the view into the buffer
  Status collect(bool forward, int count, std::vector<BrowseRow>& out);
  Status fillFrom(std::int64_t position);  // the page starting at a record, topped up at the end
  Status edgeValue(bool first, Value& v, bool& found);

  db::Table& table_;
  int pageRows_;
  BrowseOrder order_;
  // The order actually read: the key, or the temporary order of a header
  // sort (which holds only the rows of the range already).
  const dict::KeyInfo* key_ = nullptr;
  std::size_t rangeSize_ = 0;
  Record rangeProbe_;
  std::vector<BrowseRow> rows_;
  int selected_ = -1;
};

// The text a thumb position stands for, between two values of a text key:
// their common prefix and four more characters interpolated in base N over
// the key's character set. Exposed for tests.
std::string interpolateText(const std::string& first, const std::string& last, int percent);
double textPosition(const std::string& first, const std::string& last, const std::string& value);

}  // namespace velmora
