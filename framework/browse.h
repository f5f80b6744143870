#pragma once

// The standard browse behaviour every catalogue window shares: its buttons,
// keys, double-click and popup menu with their enabling rules, the sort tabs
// with their range limits and locators, paging and the thumb, the select
// mode, and the green bar. Business browses describe their tabs and form.

#include <functional>
#include <string>
#include <vector>

#include "framework/browse_view.h"
#include "framework/procedure.h"

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

class BrowseProcedure : public Procedure {
 public:
  // `form` is the update procedure called for insert, change, delete and
  // view; `entry` the access entry checked before a delete (0: none).
  BrowseProcedure(Program& program, db::Context& ctx, WindowDescription window, std::string table,
                  std::string form, std::vector<BrowseTab> tabs, int entry = 0);

  BrowseView& view() { return *view_; }
  const std::string& tableLabel() const { return tableLabel_; }
  const std::string& formName() const { return form_; }  // empty: the browse has no form
  const std::vector<BrowseTab>& tabs() const { return tabs_; }
  const std::string& listControl() const { return list_; }
  bool selecting() const { return wm_.originalRequest == request::Select; }

  // --- the list, as hosts drive it --------------------------------------
  void rowClicked(int row);
  void rowDoubleClicked(int row);
  void rightButtonReleased(int row);  // makes the row current; the host shows popup()
  std::vector<PopupItem> popup() const;
  void popupChosen(const std::string& caption);
  void scrollThumb(int percent);
  // A left click on a column header sorts the list by that column; a second
  // click on it reverses the order. Changing tab (or closing) forgets it.
  void headerClicked(int column);
  void typedCharacter(const std::string& ch);  // a printable character while the list has focus
  const std::string& locatorText() const { return search_; }

  // The text of a cell through its column's picture, and its colours (the
  // green bar). Browses with computed columns or rows of their own colour
  // answer for them.
  virtual std::string cell(int row, int column) const;
  virtual CellColours colours(int row, int column) const;

  // Best fit on a double-click of a header divider, for the lists that
  // register for it: the widest value of the column over the rows of the
  // list, each formatted through the column's picture and measured by the
  // host in the list's font. -1 when the list does not take part.
  int bestFit(int column, const std::function<int(const std::string&)>& measure) const;
  void allowBestFit(bool on = true) { bestFit_ = on; }

  void selectTab(int tab) override;
  // The close box closes as "Cierra" does.
  void closeBox() override;
  void keyPressed(Key key) override;

 protected:
  bool init() override;
  void onAccepted(const std::string& control) override;
  // Calls the form with a request and shows the result; returns its response.
  virtual int update(int request);
  // Enables, disables and hides the buttons after every change of the list.
  void applyRules();
  // The rows or the selected row changed: the host redraws the list.
  void listChanged();
  // For windows that show more of the selected row than the list does.
  virtual void selectionChanged() {}
  // The button whose id starts with a standard name ("?INSERT" finds "?INSERT:3").
  std::string button(std::string_view name) const;
  bool usable(const std::string& button) const;
  Status showOrder();

  std::string tableLabel_;
  std::string form_;
  std::vector<BrowseTab> tabs_;
  int entry_;
  std::string list_;
  std::unique_ptr<BrowseView> view_;
  std::string search_;
  bool bestFit_ = false;
  int headerField_ = -1;  // the field a header click sorts by, -1 for the tab's key
  bool headerDescending_ = false;
};

}  // namespace velmora
