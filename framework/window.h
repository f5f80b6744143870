#pragma once

// Window descriptions: what a window shows, as data. Hosts build widgets (or
// a transcript) from it; procedures name its controls.

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

enum class ControlType {
  Prompt,    // a label, often with a mnemonic ("&Nombre:")
  Entry,     // edits a field or variable through its picture
  Text,      // shows a field or variable through its picture, read-only
  Check,     // a yes/no value: choices[0] when off, choices[1] when on
  Option,    // a radio group: one choice per button
  Spin,      // a number entry with up/down arrows
  List,      // a browse list with columns
  Sheet,     // a set of tabs (?CURRENTTAB)
  Tab,       // one tab of the sheet before it
  Button,    // a command button
  Lookup,    // the button beside an entry that calls the related browse
  Calendar,  // the button beside a date entry that opens the date picker
  Image,
  Progress,  // a thermometer: the 0-100 value of what it uses
  Pages,     // pages of a document, laid out by the procedure (framework/page_view.h)
};

struct ListColumn {
  std::string header;     // "CTA"
  std::string field;      // "FRE:CTA", or a variable
  std::string picture;    // "@n_6"
  int width = 0;          // in characters; 0 lets the host choose
  char align = 'L';       // L, R, C
  bool coloured = false;  // the row carries the four colour values of this column
  // A code's name beside it: the record of another table found by
  // `lookupKey` (its first component = this column's field) and the field of
  // it shown; blank when the code names nothing.
  std::string lookupKey{};    // "CTR:CTA_KEY"
  std::string lookupField{};  // "CTR:NOMB"
  // The window variable holding the column's total, shown under it in the
  // list's footer row.
  std::string total{};
  // Values shown as words ("-1" as "ANTICIPO"), by their text.
  std::vector<std::pair<std::string, std::string>> words{};
};

// A column whose total, held in a window variable, shows under it.
inline ListColumn summed(ListColumn c, std::string total) {
  c.total = std::move(total);
  return c;
}
inline ListColumn coloured(ListColumn c) {
  c.coloured = true;
  return c;
}

// A column showing the name a code column's value stands for.
inline ListColumn nameColumn(std::string header, std::string codeField, std::string lookupKey,
                             std::string lookupField, int width) {
  // The whole name, however long: the list elides what its width cannot show.
  ListColumn c{std::move(header), std::move(codeField), "", width, 'L'};
  c.lookupKey = std::move(lookupKey);
  c.lookupField = std::move(lookupField);
  return c;
}

// A caption over consecutive columns of a list, shown above their headers
// ("C O N T R A T I S T A" over a contractor's number and name).
struct ColumnGroup {
  std::string caption;
  int first = 0;  // its first column, from 0
  int count = 0;  // how many columns it spans
};

struct Control {
  ControlType type = ControlType::Prompt;
  std::string id;       // "?FRE:CTA", "?OK", "?INSERT:3", "?CURRENTTAB"
  std::string text;     // caption, prompt or tab text, with & mnemonics
  std::string use;      // bound record field ("FRE:CTA") or program variable ("SUM1")
  std::string picture;  // "@n_6", "@s40", "@D6"
  std::string owner;    // the tab (id) a control sits on, empty for the window
  std::string target;   // Lookup/Calendar: the entry it serves; Text: the one it sits beside
  std::vector<std::string> choices;  // Option/Check values, in button order
  std::vector<ListColumn> columns;   // List
  bool readOnly = false;
  bool hidden = false;
  bool disabled = false;
  bool isDefault = false;  // the window's default button
  bool required = false;
  std::vector<std::string> captions{};  // Option: the buttons' captions, beside choices
  std::string tip{};                    // shown in the status bar while the control has the focus
  int lines = 1;                        // Entry: more than one for a multi-line text
  std::vector<ColumnGroup> groups{};    // List: captions over runs of its columns
  bool drop = false;                    // Option: a drop-down list rather than radio buttons
};

// The group a column sits in; nullptr when it has none.
const ColumnGroup* groupOf(const Control& list, int column);

// An item of a window's menu bar: it presses a button of the description.
struct MenuEntry {
  std::string menu;     // "&Archivo"; a menu of its own when it equals the caption
  std::string control;  // the button of the window's description
  std::string message;  // the status-bar text while the item is highlighted
};

struct WindowDescription {
  std::string procedure;  // also the window's section in the settings file
  std::string title;
  std::vector<Control> controls;  // in tab order
  bool resizable = true;
  bool statusBar = false;         // status texts go to a bar of the window's own, not the frame's
  std::vector<MenuEntry> menu{};  // a menu bar of the window's own (the frame keeps its own)

  const Control* find(std::string_view id) const;
  Control* find(std::string_view id);
  bool hasSheet() const { return find("?CURRENTTAB") != nullptr; }
  // The tabs of the sheet, in order.
  std::vector<const Control*> tabs() const;
};

// A control for code that builds descriptions.
Control makeControl(ControlType type, std::string id, std::string text = {}, std::string use = {},
                    std::string picture = {}, std::string owner = {});

// Strips the '&' mnemonic markers from a caption ("C&ierra" -> "Cierra";
// "&&" stays one '&').
std::string plainCaption(std::string_view caption);

}  // namespace velmora
