#pragma once

// A list control of a window as a part of its own: the rows it shows, its
// columns through their pictures and colours, the selection, the locator,
// a header click that sorts, and the buttons its keys, double-click and popup
// menu stand for, with their enabling rules. Hosts find a window's parts by
// control (Procedure::list) and drive them alike, whatever feeds the rows: a
// table view paged from a key (list_part_table.h) or rows the procedure keeps
// in memory (list_part_memory.h).

#include <functional>
#include <string>
#include <vector>

#include "dictionary/record.h"
#include "framework/procedure.h"
#include "framework/window.h"

namespace velmora {

// Colour values of one coloured cell; -1 is the list's default colour.
struct CellColours {
  int normalFg = -1;
  int normalBg = -1;
  int selectedFg = -1;
  int selectedBg = -1;
};

inline constexpr int kGreenBar = 0xC1FFC1;  // RGB(193, 255, 193)

struct PopupItem {
  std::string caption;  // "Alta", "Cambia", "Borra", "Ver", "Selecciona"
  std::string control;  // the button it stands for
  bool enabled;
};

// The window's buttons that act on a list; empty when it has none.
struct ListButtons {
  std::string insert, change, remove, view, select;
};

class ListPart {
 public:
  ListPart(Procedure& owner, std::string control);
  virtual ~ListPart();
  ListPart(const ListPart&) = delete;
  ListPart& operator=(const ListPart&) = delete;

  const std::string& control() const { return control_; }
  const std::vector<ListColumn>& columns() const;
  // Captions over runs of columns, in column order.
  const std::vector<ColumnGroup>& columnGroups() const;
  Procedure& owner() const { return owner_; }

  // --- what hosts show ---------------------------------------------------
  virtual int rowCount() const = 0;
  virtual int selected() const = 0;  // -1 when empty
  bool empty() const { return rowCount() == 0; }
  // The text of a cell through its column's picture, and its colours (the
  // green bar on the odd rows of coloured columns).
  virtual std::string cell(int row, int column) const;
  virtual CellColours colours(int row, int column) const;
  // The footer row: a column's total through its picture, blank for a
  // column without one; hasFooter() when any column has a total.
  std::string footer(int column) const;
  bool hasFooter() const;
  // The footer under the column that `variable` totals; empty when none does.
  std::string footerOf(std::string_view variable) const;
  const std::string& locatorText() const { return search_; }
  // A table view shows one page with a thumb beside it that moves through
  // the table; an in-memory list shows all its rows.
  virtual bool paged() const { return false; }
  virtual int pageRows() const { return pageRows_; }
  // The host fits the page to the rows the list has room for.
  virtual void fitPageRows(int rows) { pageRows_ = rows < 1 ? 1 : rows; }
  virtual int thumbPercent() { return 0; }
  // Best fit on a double-click of a header divider, for the lists that
  // register for it: the widest cell of the column over the rows shown, as
  // the host measures it. -1 when the list does not take part.
  int bestFit(int column, const std::function<int(const std::string&)>& measure) const;
  void allowBestFit(bool on = true) { bestFit_ = on; }

  // --- events, routed by hosts -------------------------------------------
  void rowClicked(int row);
  // Selects the row and presses "Selecciona" while selecting, else "Cambia".
  void rowDoubleClicked(int row);
  void rightButtonReleased(int row);  // makes the row current; the host shows popup()
  std::vector<PopupItem> popup() const;
  void popupChosen(const std::string& caption);
  // A left click on a column header sorts by that column; a second click on
  // it reverses the order.
  virtual void headerClicked(int column) = 0;
  virtual void scrollThumb(int percent) { (void)percent; }
  // A printable character while the list has focus.
  virtual void typedCharacter(const std::string& ch) = 0;
  // The keys of a list: the buttons' keys, moving, the locator's Backspace.
  // False when the list has no use for the key.
  bool keyPressed(Key key);

  // --- set by the owner ---------------------------------------------------
  ListButtons buttons;
  bool selecting = false;  // the window was called to choose a row
  bool viewOnly = false;   // opened only to look: no updates
  // Buttons the user's access level refuses: disabled whatever the rows.
  struct Refused {
    bool insert = false, change = false, remove = false;
  } refused;
  // Called whenever the rows or the selected row changed, before the host
  // redraws the list (windows that show more of the selected row).
  void onChanged(std::function<void()> hook) { onChanged_ = std::move(hook); }
  // Enables, disables and hides the buttons by whether there are rows.
  void applyRules();
  // The rows or the selection changed: the owner's hook, then a redraw.
  void changed();
  virtual void select(int row) = 0;

 protected:
  // The value a column shows in a row.
  virtual Value value(int row, int column) const = 0;
  // Moves the selection for a navigation key; false for any other key.
  virtual bool move(Key key) = 0;
  void press(const std::string& button);
  bool usable(const std::string& button) const;
  // Drops the locator's last character.
  void backspace();

  Procedure& owner_;
  std::string control_;
  std::string search_;
  int pageRows_ = 20;
  bool bestFit_ = false;
  std::function<void()> onChanged_;
};

}  // namespace velmora
