#pragma once

// A list fed by a table view: one page at a time in the key order of the
// current sort tab, with its range limit, filter and locator, a header sort
// of the rows of the range, and the thumb beside it.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/browse_view.h"
#include "framework/list_part.h"

namespace velmora {

enum class LocatorKind { None, Incremental, Step };

struct BrowseTab {
  std::string key;  // "FRE:CTA_KEY"
  bool descending = false;
  // Values of the leading key components the tab is limited to (the
  // current work, the supplier of the window ...), taken when the tab opens.
  std::function<std::vector<Value>(Procedure&)> range;
  std::function<bool(const Record&)> filter;
  LocatorKind locator = LocatorKind::None;
  std::string locatorField;  // a component of the key, "FRE:NOMB"
};

// A sort tab on a key, with an incremental locator on one of its fields when
// one is named.
BrowseTab sortTab(std::string key, std::string locatorField = {});

class TableListPart : public ListPart {
 public:
  TableListPart(Procedure& owner, std::string control, std::string table,
                std::vector<BrowseTab> tabs);
  ~TableListPart() override;

  // Makes the view once the owner has opened the table; showOrder() then
  // shows the first page of the current tab.
  void open();
  bool isOpen() const { return view_ != nullptr; }
  BrowseView& view() { return *view_; }
  const BrowseView& view() const { return *view_; }
  const std::string& tableLabel() const { return table_; }
  const std::vector<BrowseTab>& tabs() const { return tabs_; }

  // The sort tab shown, from 0. Changing it forgets a header sort and shows
  // the new order's first page once open.
  void setTab(int tab);
  int tab() const { return tab_; }
  bool headerSorted() const { return headerField_ >= 0; }
  // Takes the order again from its first page (after a header sort or a
  // change of range), applying the button rules.
  Status showOrder();

  int rowCount() const override { return view_ ? int(view_->rows().size()) : 0; }
  int selected() const override { return view_ ? view_->selected() : -1; }
  void select(int row) override;
  bool paged() const override { return true; }
  int pageRows() const override;
  void fitPageRows(int rows) override;
  int thumbPercent() override { return view_ ? view_->thumbPercent() : 0; }
  void headerClicked(int column) override;
  void scrollThumb(int percent) override;
  void typedCharacter(const std::string& ch) override;

  // A column whose value each row works out from its record (the amount an
  // estimate pays), named by the column's field.
  void computed(std::string field, std::function<Value(const Record&)> compute);
  bool computes(const std::string& field) const { return computed_.count(field) > 0; }
  // Names looked up for code columns are read again from now on.
  void forgetNames() { names_.clear(); }

 protected:
  Value value(int row, int column) const override;
  bool move(Key key) override;
  const BrowseTab* currentTab() const;

  std::string table_;
  std::vector<BrowseTab> tabs_;
  std::unique_ptr<BrowseView> view_;
  int tab_ = 0;
  int headerField_ = -1;  // the field a header click sorts by, -1 for the tab's key
  bool headerDescending_ = false;

 private:
  Value lookedUp(const ListColumn& col, const Value& code) const;

  std::map<std::string, std::function<Value(const Record&)>> computed_;
  // Code columns' names are read on a context of their own, so that the
  // owner's record buffers stay as they are; each name once per order shown.
  mutable std::unique_ptr<db::Context> lookups_;
  mutable std::map<std::pair<std::string, std::string>, Value> names_;
};

}  // namespace velmora
