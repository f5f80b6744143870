#include "shell/work_selection.h"

#include <filesystem>

#include "dictionary/dates.h"
#include "shell/globals.h"

namespace velmora::shell {

namespace {

std::string trimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

WindowDescription selectionWindow(const ShellProgram& shell) {
  WindowDescription w;
  w.procedure = WorkSelection::kName;
  w.title = shell.selectionTitle;
  Control list = makeControl(ControlType::List, "?Browse:1");
  list.columns = {{"CTA", "OBR:CTA", "@s8", 8, 'L', true},
                  {"OBRA", "OBR:OBRA", "@s50", 34, 'L', true},
                  {"DIRECCION", "OBR:DIRE", "@s30", 30, 'L', true}};
  w.controls.push_back(list);
  w.controls.push_back(makeControl(ControlType::Sheet, "?CURRENTTAB"));
  w.controls.push_back(makeControl(ControlType::Tab, "?TAB1", "x CUENTA", {}, {}, "?CURRENTTAB"));
  for (auto [prompt, field] : {std::pair{"M/OBRA:", "OBR:TOBR"},
                               {"MATERIAL:", "OBR:TMAT"},
                               {"M/EQUIPO:", "OBR:TCOS"},
                               {"PORCENTUALES:", "OBR:TPOR"},
                               {"COSTO DIRECTO:", "COSTO_DIRECTO"}}) {
    std::string id = std::string("?") + field;
    w.controls.push_back(makeControl(ControlType::Prompt, id + ":PROMPT", prompt));
    w.controls.push_back(makeControl(ControlType::Text, id, {}, field, "@n14.2"));
  }
  Control select = makeControl(ControlType::Button, "?SELECT", "&Selecciona");
  select.isDefault = true;
  w.controls.push_back(select);
  w.controls.push_back(makeControl(ControlType::Button, "?DELETE", "&Borra"));
  w.controls.push_back(makeControl(ControlType::Button, "?CLOSE", "C&ierra"));
  w.controls.push_back(makeControl(ControlType::Button, "?HELP", "Ayuda"));
  return w;
}

std::vector<BrowseTab> selectionTabs() {
  BrowseTab byCode;
  byCode.key = keys::OBR_CTA_KEY;
  byCode.locator = LocatorKind::Incremental;
  byCode.locatorField = "OBR:CTA";
  return {byCode};
}

}  // namespace

db::WorkFiles chooseWork(Program& program, const ShellProgram& shell, const OBR& work,
                         const std::string& programFolder, std::int32_t today) {
  db::WorkLocation where;
  where.programFolder = programFolder;
  where.code = work.CTA;
  where.accounting = work.DICO;
  where.today = today;
  where.style = shell.names;
  db::WorkFiles files = db::workFiles(where);
  db::useWorkFiles(program.storage(), files);
  Globals& glo = globals(program);
  glo.lista = work.LIST;
  glo.nombreObra = trimRight(work.OBRA);
  glo.direccionObra = trimRight(work.DIRE);
  glo.obra = trimRight(work.CTA);
  return files;
}

WorkSelection::WorkSelection(Program& program, db::Context& ctx, const ShellProgram& shell,
                             std::string programFolder)
    // Deleting a work takes level 3 at the program's own entry (1 or 9):
    // nothing narrower covers the works catalogue.
    : BrowseProcedure(program, ctx, selectionWindow(shell), labels::OBRA, "FORM:OBRA",
                      selectionTabs(), shell.programEntry),
      shell_(shell),
      programFolder_(std::move(programFolder)) {
  // The direct cost of the selected work, shown below the list.
  program.declare("COSTO_DIRECTO", Value(0.0));
}

void WorkSelection::selectionChanged() {
  // The totals below the list are those of the selected work.
  double sum = 0;
  if (view().readSelected()) {
    const OBR& o = table("OBRA").rec<OBR>();
    sum = o.TOBR + o.TMAT + o.TCOS + o.TPOR;
  } else {
    table("OBRA").clear();
  }
  program_.setVar("COSTO_DIRECTO", Value(sum));
  for (const char* id : {"?OBR:TOBR", "?OBR:TMAT", "?OBR:TCOS", "?OBR:TPOR", "?COSTO_DIRECTO"})
    refresh(id);
}

void WorkSelection::onAccepted(const std::string& control) {
  if (dict::sameName(control, "?SELECT")) {
    if (!view().readSelected()) return;
    // This window holds no work table of its own: tables the caller has
    // open stay on the files they were opened on, and every table opened
    // from now on uses the new work.
    OBR work = table("OBRA").rec<OBR>();
    // Files are created when missing, folders are not: a work without its
    // folder stays unchosen, and the user may pick another.
    db::WorkLocation where{programFolder_, work.CTA, work.DICO, dates::today(), shell_.names};
    // A code or accounting folder that leads out of the company is never used.
    if (!db::unsafeFolderName(work.CTA).empty()) {
      warn("EL CODIGO DE LA OBRA NO ES VALIDO", db::shownFolderName(work.CTA),
           "DEBE SER UNA CARPETA DE LA EMPRESA");
      return;
    }
    if (!db::unsafeFolderName(work.DICO, true).empty()) {
      warn("LA CARPETA CONTABLE NO ES VALIDA", db::shownFolderName(work.DICO),
           "DEBE SER UNA CARPETA DE LA EMPRESA");
      return;
    }
    db::WorkFiles files = db::workFiles(where);
    std::error_code ec;
    if (!std::filesystem::is_directory(files.workFolder, ec)) {
      warn("NO EXISTE LA CARPETA DE LA OBRA", trimRight(work.CTA), "VERIFIQUE LA INSTALACION...");
      return;
    }
    if (!std::filesystem::is_directory(files.accountingFolder, ec))
      warn("NO EXISTE LA CARPETA CONTABLE", trimRight(work.DICO),
           "NO PODRA GENERAR POLIZAS CONTABLES");
    chosen_ = chooseWork(program_, shell_, work, programFolder_, dates::today());
    close(response::Completed);
    return;
  }
  BrowseProcedure::onAccepted(control);
}

}  // namespace velmora::shell
