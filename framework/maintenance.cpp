#include "framework/maintenance.h"

#include <algorithm>

#include "dictionary/work_files.h"
#include "framework/browse.h"
#include "framework/describe.h"
#include "framework/form.h"
#include "framework/picture.h"

namespace velmora {

namespace {

int elementsOf(const dict::TableInfo& t, const dict::FieldInfo& f) {
  return f.group >= 0 ? t.fields[std::size_t(f.group)].dim : f.dim;
}

// The maintenance form of a table with rules of its own: the works
// catalogue names folders, so a work whose code or accounting folder would
// lead outside the program folder is never saved; the control records are
// one per salary zone, numbered 1 to 5.
class CheckedMaintenanceForm : public FormProcedure {
 public:
  using FormProcedure::FormProcedure;

 protected:
  bool validate() override {
    if (primaryLabel() == "CONTROL") {
      const int n = primary().rec<CTL>().CTA;
      if (n >= 1 && n <= 5) return true;
      warn("EL REGISTRO DE CONTROL DEBE", "SER DEL 1 AL 5, UNO POR ZONA", "CORRIJA EL NUMERO ....");
      select("?CTL:CTA");
      return false;
    }
    const OBR& w = primary().rec<OBR>();
    const bool badCode = !db::unsafeFolderName(w.CTA).empty();
    if (badCode || !db::unsafeFolderName(w.DICO, true).empty()) {
      warn(badCode ? "EL CODIGO DE LA OBRA NO ES VALIDO" : "LA CARPETA CONTABLE NO ES VALIDA",
           db::shownFolderName(badCode ? w.CTA : w.DICO), "DEBE SER UNA CARPETA DE LA EMPRESA");
      select(badCode ? "?OBR:CTA" : "?OBR:DICO");
      return false;
    }
    return true;
  }
};

}  // namespace

std::string defaultPicture(const dict::FieldInfo& f) {
  if (!f.pictures.empty()) return std::string(f.pictures.front());
  switch (f.type) {
    case dict::Type::Byte: return "@n_3";
    case dict::Type::Short: return "@n-_7";
    case dict::Type::Long: return "@n-_12";
    case dict::Type::Real: return "@n-20.4";
    case dict::Type::Decimal: return "@n-13.2";
    case dict::Type::String:
    case dict::Type::Memo: return "@s" + std::to_string(f.size);
    case dict::Type::Group: break;
  }
  return {};
}

std::string fieldCaption(const dict::FieldInfo& f) {
  if (!f.prompts.empty()) {
    std::string p = plainCaption(f.prompts.front());
    while (!p.empty() && (p.back() == ':' || p.back() == ' ')) p.pop_back();
    if (!p.empty()) return p;
  }
  return std::string(f.shortName);
}

namespace {

// A sort tab is named by its first field with the word the programs use for
// the usual sort fields ("x Cuenta", "x Descripción").
std::string sortCaption(const dict::FieldInfo& f) {
  static constexpr std::pair<std::string_view, std::string_view> words[] = {
      {"CTA", "Cuenta"},     {"TEXT", "Descripción"}, {"DESC", "Descripción"},
      {"CLAVE", "Clave"},    {"NOMB", "Nombre"},      {"FREN", "Frente"},
      {"FOLIO", "Folio"},    {"NUM", "Número"},       {"FECH", "Fecha"},
      {"FECHA", "Fecha"},    {"CONT", "Contratista"}, {"PROV", "Proveedor"},
      {"LOGIN", "Usuario"},  {"TIPO", "Tipo"},        {"GENE", "Clave genérica"},
      {"CATE", "Categoría"}, {"AGEN", "Agente"},      {"CLIE", "Cliente"},
      {"INSU", "Insumo"},    {"MATE", "Material"},    {"CONC", "Concepto"},
      {"REMI", "Remisión"},  {"CIUD", "Ciudad"}};
  for (const auto& [name, word] : words)
    if (dict::sameName(f.shortName, name)) return std::string(word);
  return fieldCaption(f);
}

}  // namespace

WindowDescription maintenanceBrowseWindow(const dict::TableInfo& t) {
  WindowDescription w;
  w.procedure = "BROWSE:" + std::string(t.label);
  w.title = "Mantenimiento de " + std::string(t.label);
  Control list = makeControl(ControlType::List, "?Browse:1");
  // The key components first, then the other plain fields, up to eight columns.
  std::vector<int> fields;
  for (const auto& k : t.keys)
    for (auto c : k.components)
      if (std::find(fields.begin(), fields.end(), c) == fields.end()) fields.push_back(c);
  for (std::size_t i = 0; i < t.fields.size(); ++i) {
    const auto& f = t.fields[i];
    if (f.type == dict::Type::Group || f.type == dict::Type::Memo || elementsOf(t, f) > 1) continue;
    if (std::find(fields.begin(), fields.end(), int(i)) == fields.end()) fields.push_back(int(i));
  }
  if (fields.size() > 8) fields.resize(8);
  for (int fi : fields) {
    const auto& f = t.fields[std::size_t(fi)];
    const std::string picture = defaultPicture(f);
    const auto pic = compilePicture(picture);
    const bool text = !pic || pic->kind == PictureKind::String;
    const int chars = text ? int(f.size) : width(*pic);
    list.columns.push_back({std::string(f.shortName), std::string(f.name), picture,
                            std::clamp(chars, int(f.shortName.size()), 30), text ? 'L' : 'R',
                            true});
  }
  w.controls.push_back(list);
  if (!t.keys.empty()) {
    w.controls.push_back(makeControl(ControlType::Sheet, "?CURRENTTAB"));
    std::vector<std::string> captions;
    for (const auto& k : t.keys) {
      const auto& first = t.fields[std::size_t(k.components.front())];
      std::string caption = "x " + sortCaption(first);
      // Two keys that start alike are told apart by all their fields.
      if (std::find(captions.begin(), captions.end(), caption) != captions.end()) {
        caption = "x ";
        for (std::size_t c = 0; c < k.components.size(); ++c)
          caption += (c ? ", " : "") + sortCaption(t.fields[std::size_t(k.components[c])]);
      }
      if (std::find(captions.begin(), captions.end(), caption) != captions.end())
        caption += " (" + std::to_string(captions.size() + 1) + ")";
      captions.push_back(caption);
    }
    for (std::size_t k = 0; k < captions.size(); ++k)
      w.controls.push_back(makeControl(ControlType::Tab, "?TAB" + std::to_string(k + 1),
                                       captions[k], {}, {}, "?CURRENTTAB"));
  }
  addBrowseButtons(w);
  return w;
}

namespace {

// Adds the prompt and entry of one field element to a tab, with the calendar
// button beside a date.
void addEntry(WindowDescription& w, const dict::FieldInfo& f, const std::string& use,
              const std::string& prompt, const std::string& tab, int& calendars) {
  const std::string picture = defaultPicture(f);
  w.controls.push_back(
      makeControl(ControlType::Prompt, "?" + use + ":Prompt", prompt, {}, {}, tab));
  Control entry = makeControl(ControlType::Entry, "?" + use, {}, use, picture, tab);
  if (f.type == dict::Type::Memo) entry.lines = 4;
  w.controls.push_back(std::move(entry));
  auto pic = compilePicture(picture);
  if (pic && pic->kind == PictureKind::Date) {
    Control c = makeControl(ControlType::Calendar,
                            "?POPCALENDAR" + (calendars++ ? ":" + std::to_string(calendars) : ""),
                            "...", {}, {}, tab);
    c.target = "?" + use;
    w.controls.push_back(std::move(c));
  }
}

std::string elementUse(const dict::FieldInfo& f, int e) {
  return std::string(f.name) + "[" + std::to_string(e) + "]";
}

}  // namespace

WindowDescription maintenanceFormWindow(const dict::TableInfo& t) {
  WindowDescription w;
  w.procedure = "FORM:" + std::string(t.label);
  w.title = "Actualiza " + std::string(t.label);
  // A sheet of its own: the plain fields on "General", each array and each
  // group on a tab of its own; a page still taller than the screen scrolls.
  w.controls.push_back(makeControl(ControlType::Sheet, "?CURRENTTAB"));
  w.controls.push_back(makeControl(ControlType::Tab, "?TAB1", "General", {}, {}, "?CURRENTTAB"));
  int calendars = 0;
  for (const auto& f : t.fields) {
    if (f.type == dict::Type::Group || f.group >= 0 || f.dim > 1) continue;
    const std::string prompt =
        f.prompts.empty() ? std::string(f.shortName) + ":" : std::string(f.prompts.front());
    addEntry(w, f, std::string(f.name), prompt, "?TAB1", calendars);
  }
  int tabs = 1;
  auto newTab = [&](const dict::FieldInfo& f) {
    std::string id = "?TAB" + std::to_string(++tabs);
    w.controls.push_back(makeControl(ControlType::Tab, id, fieldCaption(f), {}, {}, "?CURRENTTAB"));
    return id;
  };
  for (std::size_t i = 0; i < t.fields.size(); ++i) {
    const auto& f = t.fields[i];
    if (f.group >= 0) continue;
    if (f.type == dict::Type::Group) {
      const std::string tab = newTab(f);
      // Element by element, every member of the element together.
      for (int e = 1; e <= f.dim; ++e)
        for (const auto& m : t.fields) {
          if (m.group != int(i)) continue;
          const std::string name(m.shortName);
          if (f.dim > 1)
            addEntry(w, m, elementUse(m, e), name + " " + std::to_string(e) + ":", tab, calendars);
          else
            addEntry(w, m, std::string(m.name), name + ":", tab, calendars);
        }
    } else if (f.dim > 1) {
      const std::string tab = newTab(f);
      for (int e = 1; e <= f.dim; ++e)
        addEntry(w, f, elementUse(f, e), std::string(f.shortName) + " " + std::to_string(e) + ":",
                 tab, calendars);
    }
  }
  w.controls.push_back(makeControl(ControlType::Button, "?OK", "OK"));
  w.controls.push_back(makeControl(ControlType::Button, "?CANCEL", "Cancela"));
  return w;
}

std::unique_ptr<Procedure> makeMaintenanceBrowse(Program& program, db::Context& ctx,
                                                 const dict::TableInfo& t) {
  std::vector<BrowseTab> tabs;
  for (const auto& k : t.keys) {
    BrowseTab tab;
    tab.key = std::string(k.name);
    tab.locator = LocatorKind::Incremental;
    tab.locatorField = std::string(t.fields[std::size_t(k.components.front())].name);
    tabs.push_back(tab);
  }
  return std::make_unique<BrowseProcedure>(program, ctx, maintenanceBrowseWindow(t),
                                           std::string(t.label), "FORM:" + std::string(t.label),
                                           std::move(tabs));
}

std::unique_ptr<Procedure> makeMaintenanceForm(Program& program, db::Context& ctx,
                                               const dict::TableInfo& t) {
  if (t.label == "OBRA" || t.label == "CONTROL")
    return std::make_unique<CheckedMaintenanceForm>(program, ctx, maintenanceFormWindow(t),
                                                    std::string(t.label));
  return std::make_unique<FormProcedure>(program, ctx, maintenanceFormWindow(t),
                                         std::string(t.label));
}

void addMaintenance(Program& program) {
  for (const auto& t : dict::tables()) {
    const dict::TableInfo* table = &t;
    program.addProcedure("BROWSE:" + std::string(t.label), [table](Program& p, db::Context& c) {
      return makeMaintenanceBrowse(p, c, *table);
    });
    program.addProcedure("FORM:" + std::string(t.label), [table](Program& p, db::Context& c) {
      return makeMaintenanceForm(p, c, *table);
    });
  }
}

}  // namespace velmora
