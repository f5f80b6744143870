#pragma once

// Window descriptions written the way the screens read: a browse is a list,
// its sort tabs and the standard buttons; a form is prompts and fields, with
// lookup and calendar buttons beside the fields that have them, and OK and
// Cancela. Business windows are built with it so that every screen uses the
// same control names.
//
//   WindowDescription w = Describe("CAP_FRE", "Catálogo de Frentes de Obra")
//                             .list({{"CTA", "FRE:CTA", "@n_6", 6, 'R', true}, ...})
//                             .tabs({"x Cuenta", "Alfabético"})
//                             .browseButtons()
//                             .done();

#include <string>
#include <vector>

#include "framework/window.h"

namespace velmora {

// "&Selecciona" (?SELECT:2), "&Ver", "&Alta", "&Cambia", "&Borra", "C&ierra".
void addBrowseButtons(WindowDescription& w);

// Every browse and form ends with "Ayuda" (?HELP); a window that places its
// own keeps it where it is.
void addHelpButton(WindowDescription& w);
// A form's fields sit on a sheet with the one tab "General". A window with a
// sheet of its own keeps it; buttons stay below the sheet.
void addGeneralSheet(WindowDescription& w);

class Describe {
 public:
  Describe(std::string procedure, std::string title);

  // The browse list "?Browse:1".
  Describe& list(std::vector<ListColumn> columns);
  // A caption over `count` columns of the last list, from column `first`
  // (from 0).
  Describe& columnGroup(const std::string& caption, int first, int count);
  // A sheet "?CURRENTTAB" with tabs "?TAB1", "?TAB2" ... holding nothing.
  Describe& tabs(const std::vector<std::string>& captions);
  // "&Selecciona" (?SELECT:2), "&Ver", "&Alta", "&Cambia", "&Borra", "C&ierra".
  Describe& browseButtons();

  // A line of text the window shows, such as advice above its fields.
  Describe& prompt(const std::string& id, const std::string& text);
  // A prompt and an entry "?<use>" bound to a field or variable.
  Describe& field(const std::string& prompt, const std::string& use, const std::string& picture,
                  const std::string& tip = {});
  // A prompt and a read-only text "?<use>".
  Describe& text(const std::string& prompt, const std::string& use, const std::string& picture);
  // A read-only text "?<use>" beside the control added last (a unit after
  // its quantity); "?<use>:2", ":3" ... when the window shows it again.
  Describe& besideText(const std::string& use, const std::string& picture);
  // A fixed text beside the last field, saying what a value means there
  // ("0 = todos").
  Describe& hint(const std::string& text);
  // A multi-line entry for long texts.
  Describe& memo(const std::string& prompt, const std::string& use, int width, int lines);
  // The last field makes no sense blank: OK asks for it.
  Describe& required();
  // The lookup button "?CALLLOOKUP[:n]" beside the last field.
  Describe& lookupButton();
  // The calendar button "?POPCALENDAR[:n]" beside the last field.
  Describe& calendarButton();
  // A radio group "?<use>".
  Describe& option(const std::string& caption, const std::string& use,
                   std::vector<std::string> choices, std::vector<std::string> captions);
  Describe& check(const std::string& caption, const std::string& use, std::string off,
                  std::string on);
  Describe& button(const std::string& id, const std::string& caption, bool isDefault = false);
  // "OK" (?OK, the default) and "Cancela" (?CANCEL).
  Describe& formButtons();

  // The control added last, to adjust what the shortcuts do not say.
  Control& last() { return w_.controls.back(); }
  WindowDescription done() { return std::move(w_); }

 private:
  std::string lastField_;
  int lookups_ = 0;
  int calendars_ = 0;
  WindowDescription w_;
};

}  // namespace velmora
