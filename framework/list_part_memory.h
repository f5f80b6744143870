#pragma once

// A list of rows the procedure keeps in memory (an estimate's lines, a
// policy's lines, a report's options): one value per column, in the order
// the procedure gives or sorted by a column on a header click.

#include <string>
#include <vector>

#include "dictionary/decimal.h"
#include "framework/list_part.h"

namespace velmora {

// One value per column of the list; values past the columns travel with the
// row unseen (a record position, a code).
using ListRow = std::vector<Value>;

class MemoryListPart : public ListPart {
 public:
  MemoryListPart(Procedure& owner, std::string control);

  const std::vector<ListRow>& rows() const { return rows_; }
  const ListRow* selectedRow() const;
  // A new row comes selected: at the end, or at its place while sorted.
  // Returns where it went.
  int add(ListRow row);
  // The row keeps its place until the list is sorted again.
  bool replace(int row, ListRow values);
  // The row below moves up into the selection (the last one when there is none).
  bool remove(int row);
  void clear();
  // Sorts by a column, keeping the same row selected; a stable sort, so
  // equal rows keep the order they had. -1 leaves the rows as they are.
  void sortBy(int column, bool descending = false);
  int sortColumn() const { return sortColumn_; }
  bool sortDescending() const { return descending_; }
  // The sum of a column's amounts, to the cent.
  Decimal total(int column) const;

  // A row short of columns shows the missing ones blank.
  std::string cell(int row, int column) const override;
  int rowCount() const override { return int(rows_.size()); }
  int selected() const override { return selected_; }
  void select(int row) override;
  void headerClicked(int column) override;
  // The locator of an in-memory list: the first row whose text in the
  // sorted column (the first column when unsorted) starts with what was
  // typed, without regard to case.
  void typedCharacter(const std::string& ch) override;

 protected:
  Value value(int row, int column) const override;
  bool move(Key key) override;

 private:
  void afterEdit();

  std::vector<ListRow> rows_;
  int selected_ = -1;
  int sortColumn_ = -1;
  bool descending_ = false;
};

// Orders two values: numbers by amount (exact between decimals), texts
// without regard to case, numbers before texts.
int compareValues(const Value& a, const Value& b);

}  // namespace velmora
