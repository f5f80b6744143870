#pragma once

// The standard browse behaviour every catalogue window shares: a window
// with one list part fed by a table view (list_part_table.h), its standard
// buttons and their enabling rules, the sort tabs of its sheet, the close
// box, and the update form called for insert, change, delete and view.
// Business browses describe their tabs and form.

#include <functional>
#include <string>
#include <vector>

#include "framework/list_part_table.h"
#include "framework/procedure.h"

namespace velmora {

class BrowseProcedure : public Procedure {
 public:
  // `form` is the update procedure called for insert, change, delete and
  // view; `entry` the access entry checked before a delete (0: none).
  BrowseProcedure(Program& program, db::Context& ctx, WindowDescription window, std::string table,
                  std::string form, std::vector<BrowseTab> tabs, int entry = 0);

  BrowseView& view() { return part_->view(); }
  TableListPart& listPart() { return *part_; }
  const std::string& tableLabel() const { return tableLabel_; }
  const std::string& formName() const { return form_; }  // empty: the browse has no form
  const std::vector<BrowseTab>& tabs() const { return part_->tabs(); }
  const std::string& listControl() const { return list_; }
  bool selecting() const { return wm_.originalRequest == request::Select; }

  // --- the list, as hosts drive it (its part does the work) ---------------
  void rowClicked(int row) { part_->rowClicked(row); }
  // A double-click, key or popup item whose action the user's level
  // refuses shows the access message instead of doing nothing.
  void rowDoubleClicked(int row);
  void rightButtonReleased(int row) { part_->rightButtonReleased(row); }
  std::vector<PopupItem> popup() const { return part_->popup(); }
  void popupChosen(const std::string& caption);
  void scrollThumb(int percent) { part_->scrollThumb(percent); }
  // A left click on a column header sorts the list by that column; a second
  // click on it reverses the order. Changing tab (or closing) forgets it.
  void headerClicked(int column) { part_->headerClicked(column); }
  void typedCharacter(const std::string& ch) { part_->typedCharacter(ch); }
  const std::string& locatorText() const { return part_->locatorText(); }

  // The text of a cell through its column's picture, and its colours (the
  // green bar). Browses with computed columns or rows of their own colour
  // answer for them; the list part asks here.
  virtual std::string cell(int row, int column) const;
  virtual CellColours colours(int row, int column) const;

  // Best fit on a double-click of a header divider (ListPart::bestFit).
  int bestFit(int column, const std::function<int(const std::string&)>& measure) const {
    return part_->bestFit(column, measure);
  }
  void allowBestFit(bool on = true) { part_->allowBestFit(on); }

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
  void applyRules() { part_->applyRules(); }
  // The rows or the selected row changed: the host redraws the list.
  void listChanged() { part_->changed(); }
  // For windows that show more of the selected row than the list does.
  virtual void selectionChanged() {}
  // The button whose id starts with a standard name ("?INSERT" finds "?INSERT:3").
  std::string button(std::string_view name) const;
  // Disables the buttons the user's access level refuses.
  void offerWhatTheUserMay();
  // Shows the access message when the user's level refuses `request` on
  // this list (insert, change or delete); false when it does not.
  bool toldRefused(int request);
  bool usable(const std::string& button) const;
  Status showOrder() { return part_->showOrder(); }
  bool headerSorted() const { return part_->headerSorted(); }

  std::string tableLabel_;
  std::string form_;
  int entry_;
  std::string list_;
  TableListPart* part_ = nullptr;
  BrowseView* view_ = nullptr;  // the part's view, once open
};

}  // namespace velmora
