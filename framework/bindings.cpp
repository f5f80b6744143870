#include "framework/bindings.h"

#include <exception>

#include "framework/browse.h"
#include "framework/form.h"
#include "framework/list_part_table.h"
#include "framework/picture.h"

namespace velmora {

namespace {

class Checker {
 public:
  Checker(const Program& program, const Procedure& p) : program_(program), p_(p) {}

  std::vector<std::string> run() {
    for (const std::string& label : p_.usedTables())
      if (!dict::findTable(label)) fail("uses " + label + ": no such table");
    for (const Control& c : p_.window().controls) control(c);
    if (auto* b = dynamic_cast<const BrowseProcedure*>(&p_)) browse(*b);
    if (auto* f = dynamic_cast<const FormProcedure*>(&p_)) form(*f);
    return std::move(problems_);
  }

 private:
  void fail(const std::string& what) { problems_.push_back(p_.name() + ": " + what); }

  // A field with its element in range, this window's variable or a declared one.
  std::string unresolved(const std::string& use) const {
    if (prefixTable(use)) {
      const dict::TableInfo* owner = nullptr;
      if (!dict::findField(use.substr(0, use.find('[')), &owner)) return "no such field";
      return resolve(*owner, use) ? "" : "no such element";
    }
    if (p_.hasLocal(use) || program_.hasVar(use)) return {};
    return "variable not declared";
  }

  void picture(const std::string& where, const std::string& text) {
    if (!text.empty() && !compilePicture(text))
      fail(where + " picture " + text + ": does not parse");
  }

  void control(const Control& c) {
    if (!c.use.empty())
      if (std::string why = unresolved(c.use); !why.empty()) fail(c.id + " " + c.use + ": " + why);
    picture(c.id, c.picture);
    if (!c.owner.empty() && !p_.window().find(c.owner))
      fail(c.id + " on " + c.owner + ": no such control");
    if (!c.target.empty() && !p_.window().find(c.target))
      fail(c.id + " for " + c.target + ": no such control");
    const auto* part = dynamic_cast<const TableListPart*>(p_.list(c.id));
    for (const ListColumn& col : c.columns) {
      if (part && part->computes(col.field)) {
        // Worked out from each row by the list itself.
      } else if (std::string why = unresolved(col.field); !why.empty()) {
        fail(c.id + " column " + col.field + ": " + why);
      }
      picture(c.id + " column " + col.field, col.picture);
      if (!col.total.empty())
        if (std::string why = unresolved(col.total); !why.empty())
          fail(c.id + " total " + col.total + ": " + why);
      if (!col.lookupKey.empty()) {
        const dict::TableInfo* owner = nullptr;
        const dict::TableInfo* shown = nullptr;
        if (!dict::findKey(col.lookupKey, &owner))
          fail(c.id + " column lookup " + col.lookupKey + ": no such key");
        else if (!dict::findField(col.lookupField, &shown) || shown != owner)
          fail(c.id + " column lookup " + col.lookupField + ": not a field of " +
               std::string(owner->label));
      }
    }
    // Groups sit over columns the list has, one group to a column.
    int next = 0;
    for (const ColumnGroup& g : c.groups) {
      if (g.count < 1 || g.first < next || g.first + g.count > int(c.columns.size()))
        fail(c.id + " group " + g.caption + ": columns out of order or out of range");
      next = g.first + g.count;
    }
  }

  void callTarget(const std::string& what, const std::string& name) {
    if (!name.empty() && !program_.knows(name)) fail(what + " " + name + ": no such procedure");
  }

  void browse(const BrowseProcedure& b) {
    const dict::TableInfo* t = dict::findTable(b.tableLabel());
    if (!t) return fail("table " + b.tableLabel() + ": no such table");
    for (const BrowseTab& tab : b.tabs()) {
      const dict::TableInfo* owner = nullptr;
      if (!dict::findKey(tab.key, &owner))
        fail("tab key " + tab.key + ": no such key");
      else if (owner->index != t->index)
        fail("tab key " + tab.key + ": not a key of " + std::string(t->label));
      if (!tab.locatorField.empty() && !resolve(*t, tab.locatorField))
        fail("locator " + tab.locatorField + ": not a field of " + std::string(t->label));
    }
    callTarget("form", b.formName());
  }

  void form(const FormProcedure& f) {
    for (const LookupField& l : f.settings().lookups) callTarget("lookup browse", l.browse);
    for (const std::string& id : f.settings().recall)
      if (!f.window().find(id)) fail("recall " + id + ": no such control");
  }

  const Program& program_;
  const Procedure& p_;
  std::vector<std::string> problems_;
};

}  // namespace

std::vector<std::string> unresolvedBindings(const Program& program, const Procedure& p) {
  return Checker(program, p).run();
}

std::vector<std::string> unresolvedBindings(Program& program, db::Context& ctx) {
  std::vector<std::string> problems;
  for (const std::string& name : program.procedureNames()) {
    std::unique_ptr<Procedure> p;
    try {
      p = program.make(name, ctx);
    } catch (const std::exception& e) {
      problems.push_back(name + ": cannot be made: " + e.what());
      continue;
    }
    // The window's name is also its settings section and what scripts call it by.
    if (!dict::sameName(name, p->name()))
      problems.push_back(name + ": its window is named " + p->name());
    for (std::string& line : unresolvedBindings(program, *p)) problems.push_back(std::move(line));
  }
  return problems;
}

}  // namespace velmora
