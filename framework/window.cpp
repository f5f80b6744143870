#include "framework/window.h"

#include "dictionary/tables.h"

namespace velmora {

const ColumnGroup* groupOf(const Control& list, int column) {
  for (const ColumnGroup& g : list.groups)
    if (column >= g.first && column < g.first + g.count) return &g;
  return nullptr;
}

const Control* WindowDescription::find(std::string_view id) const {
  for (const Control& c : controls)
    if (dict::sameName(c.id, id)) return &c;
  return nullptr;
}

Control* WindowDescription::find(std::string_view id) {
  for (Control& c : controls)
    if (dict::sameName(c.id, id)) return &c;
  return nullptr;
}

std::vector<const Control*> WindowDescription::tabs() const {
  std::vector<const Control*> out;
  for (const Control& c : controls)
    if (c.type == ControlType::Tab) out.push_back(&c);
  return out;
}

std::string plainCaption(std::string_view caption) {
  std::string s;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        s += '&';
        ++i;
      }
      continue;
    }
    s += caption[i];
  }
  return s;
}

Control makeControl(ControlType type, std::string id, std::string text, std::string use,
                    std::string picture, std::string owner) {
  Control c;
  c.type = type;
  c.id = std::move(id);
  c.text = std::move(text);
  c.use = std::move(use);
  c.picture = std::move(picture);
  c.owner = std::move(owner);
  return c;
}

}  // namespace velmora
