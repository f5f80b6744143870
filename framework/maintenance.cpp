#include "framework/maintenance.h"

#include <algorithm>

#include "dictionary/work_files.h"
#include "framework/browse.h"
#include "framework/describe.h"
#include "framework/form.h"

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

WindowDescription maintenanceBrowseWindow(const dict::TableInfo& t) {
  WindowDescription w;
  w.procedure = "BROWSE:" + std::string(t.label);
  w.title = "Mantenimiento de " + std::string(t.label) + " (" + std::string(t.holds) + ")";
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
    bool text = f.type == dict::Type::String;
    list.columns.push_back({std::string(f.shortName), std::string(f.name), defaultPicture(f),
                            text ? std::min<int>(f.size, 30) : 12, text ? 'L' : 'R', true});
  }
  w.controls.push_back(list);
  if (!t.keys.empty()) {
    w.controls.push_back(makeControl(ControlType::Sheet, "?CURRENTTAB"));
    for (std::size_t k = 0; k < t.keys.size(); ++k)
      w.controls.push_back(makeControl(ControlType::Tab, "?TAB" + std::to_string(k + 1),
                                       "x " + std::string(t.keys[k].shortName), {}, {},
                                       "?CURRENTTAB"));
  }
  addBrowseButtons(w);
  return w;
}

WindowDescription maintenanceFormWindow(const dict::TableInfo& t) {
  WindowDescription w;
  w.procedure = "FORM:" + std::string(t.label);
  w.title = "Actualiza " + std::string(t.label);
  w.controls.push_back(makeControl(ControlType::Sheet, "?CURRENTTAB"));
  w.controls.push_back(makeControl(ControlType::Tab, "?TAB1", "General", {}, {}, "?CURRENTTAB"));
  for (const auto& f : t.fields) {
    if (f.type == dict::Type::Group) continue;
    int n = elementsOf(t, f);
    for (int e = 1; e <= n; ++e) {
      std::string use = std::string(f.name) + (n > 1 ? "[" + std::to_string(e) + "]" : "");
      std::string prompt = f.prompts.empty() || n > 1 ? use + ":" : std::string(f.prompts.front());
      w.controls.push_back(
          makeControl(ControlType::Prompt, "?" + use + ":Prompt", prompt, {}, {}, "?TAB1"));
      w.controls.push_back(
          makeControl(ControlType::Entry, "?" + use, {}, use, defaultPicture(f), "?TAB1"));
    }
  }
  w.controls.push_back(makeControl(ControlType::Button, "?OK", "&Aceptar"));
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
