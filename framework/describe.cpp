#include "framework/describe.h"

#include <stdexcept>

namespace velmora {

Describe::Describe(std::string procedure, std::string title) {
  w_.procedure = std::move(procedure);
  w_.title = std::move(title);
}

Describe& Describe::list(std::vector<ListColumn> columns) {
  Control c = makeControl(ControlType::List, "?Browse:1");
  c.columns = std::move(columns);
  w_.controls.push_back(std::move(c));
  return *this;
}

Describe& Describe::columnGroup(const std::string& caption, int first, int count) {
  for (auto c = w_.controls.rbegin(); c != w_.controls.rend(); ++c)
    if (c->type == ControlType::List) {
      c->groups.push_back({caption, first, count});
      return *this;
    }
  throw std::logic_error("columnGroup without a list in " + w_.procedure);
}

Describe& Describe::tabs(const std::vector<std::string>& captions) {
  w_.controls.push_back(makeControl(ControlType::Sheet, "?CURRENTTAB"));
  for (std::size_t i = 0; i < captions.size(); ++i)
    w_.controls.push_back(makeControl(ControlType::Tab, "?TAB" + std::to_string(i + 1), captions[i],
                                      {}, {}, "?CURRENTTAB"));
  return *this;
}

void addBrowseButtons(WindowDescription& w) {
  for (auto [id, caption] : {std::pair{"?SELECT:2", "&Selecciona"},
                             {"?VIEW", "&Ver"},
                             {"?INSERT:3", "&Alta"},
                             {"?CHANGE:3", "&Cambia"},
                             {"?DELETE:3", "&Borra"},
                             {"?CLOSE", "C&ierra"}})
    w.controls.push_back(makeControl(ControlType::Button, id, caption));
}

void addHelpButton(WindowDescription& w) {
  if (!w.find("?HELP")) w.controls.push_back(makeControl(ControlType::Button, "?HELP", "Ayuda"));
}

void addGeneralSheet(WindowDescription& w) {
  if (w.hasSheet()) return;
  std::vector<Control> controls;
  controls.push_back(makeControl(ControlType::Sheet, "?CURRENTTAB"));
  controls.push_back(makeControl(ControlType::Tab, "?TAB1", "General", {}, {}, "?CURRENTTAB"));
  for (Control& c : w.controls) {
    if (c.type != ControlType::Button && c.owner.empty()) c.owner = "?TAB1";
    controls.push_back(std::move(c));
  }
  w.controls = std::move(controls);
}

Describe& Describe::browseButtons() {
  addBrowseButtons(w_);
  return *this;
}

Describe& Describe::field(const std::string& prompt, const std::string& use,
                          const std::string& picture, const std::string& tip) {
  w_.controls.push_back(makeControl(ControlType::Prompt, "?" + use + ":Prompt", prompt));
  Control c = makeControl(ControlType::Entry, "?" + use, {}, use, picture);
  c.tip = tip;
  w_.controls.push_back(std::move(c));
  lastField_ = "?" + use;
  return *this;
}

Describe& Describe::required() {
  if (Control* c = w_.find(lastField_)) c->required = true;
  return *this;
}

Describe& Describe::text(const std::string& prompt, const std::string& use,
                         const std::string& picture) {
  if (!prompt.empty())
    w_.controls.push_back(makeControl(ControlType::Prompt, "?" + use + ":Prompt", prompt));
  w_.controls.push_back(makeControl(ControlType::Text, "?" + use, {}, use, picture));
  return *this;
}

Describe& Describe::prompt(const std::string& id, const std::string& text) {
  w_.controls.push_back(makeControl(ControlType::Prompt, id, text));
  return *this;
}

Describe& Describe::besideText(const std::string& use, const std::string& picture) {
  std::string id = "?" + use;
  for (int n = 2; w_.find(id); ++n) id = "?" + use + ":" + std::to_string(n);
  Control c = makeControl(ControlType::Text, id, {}, use, picture);
  // After an entry's lookup or calendar button, or its hint, it still goes
  // with the entry.
  const Control& last = w_.controls.back();
  const bool button = last.type == ControlType::Lookup || last.type == ControlType::Calendar ||
                      (last.type == ControlType::Text && last.use.empty() && !last.target.empty());
  c.target = button ? last.target : last.id;
  w_.controls.push_back(std::move(c));
  return *this;
}

Describe& Describe::hint(const std::string& text) {
  std::string id = lastField_ + ":Hint";
  for (int n = 2; w_.find(id); ++n) id = lastField_ + ":Hint" + std::to_string(n);
  Control c = makeControl(ControlType::Text, id, text);
  c.target = lastField_;
  w_.controls.push_back(std::move(c));
  return *this;
}

Describe& Describe::memo(const std::string& prompt, const std::string& use, int width, int lines) {
  field(prompt, use, "@s" + std::to_string(width));
  last().lines = lines;
  return *this;
}

Describe& Describe::lookupButton() {
  std::string id = "?CALLLOOKUP" + (lookups_++ ? ":" + std::to_string(lookups_) : std::string());
  Control c = makeControl(ControlType::Lookup, id, "...");
  c.target = lastField_;
  w_.controls.push_back(std::move(c));
  return *this;
}

Describe& Describe::calendarButton() {
  std::string id =
      "?POPCALENDAR" + (calendars_++ ? ":" + std::to_string(calendars_) : std::string());
  Control c = makeControl(ControlType::Calendar, id, "...");
  c.target = lastField_;
  w_.controls.push_back(std::move(c));
  return *this;
}

Describe& Describe::option(const std::string& caption, const std::string& use,
                           std::vector<std::string> choices, std::vector<std::string> captions) {
  Control c = makeControl(ControlType::Option, "?" + use, caption, use);
  c.choices = std::move(choices);
  c.captions = std::move(captions);
  w_.controls.push_back(std::move(c));
  lastField_ = "?" + use;
  return *this;
}

Describe& Describe::check(const std::string& caption, const std::string& use, std::string off,
                          std::string on) {
  Control c = makeControl(ControlType::Check, "?" + use, caption, use);
  c.choices = {std::move(off), std::move(on)};
  w_.controls.push_back(std::move(c));
  lastField_ = "?" + use;
  return *this;
}

Describe& Describe::button(const std::string& id, const std::string& caption, bool isDefault) {
  Control c = makeControl(ControlType::Button, id, caption);
  c.isDefault = isDefault;
  w_.controls.push_back(std::move(c));
  return *this;
}

Describe& Describe::formButtons() {
  button("?OK", "OK", true);
  return button("?CANCEL", "Cancela");
}

}  // namespace velmora
