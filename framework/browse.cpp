#include "framework/browse.h"

#include <algorithm>
#include <cctype>

#include "framework/access.h"
#include "framework/describe.h"
#include "framework/form.h"

namespace velmora {

namespace {

// "?INSERT:3" is the insert button; the number only tells buttons apart.
bool isButton(const std::string& id, std::string_view name) {
  if (id.size() < name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(id[i])) !=
        std::toupper(static_cast<unsigned char>(name[i])))
      return false;
  return id.size() == name.size() || id[name.size()] == ':';
}

// The browse's list part asks the browse for its cells and colours, which
// business browses override.
class BrowseListPart final : public TableListPart {
 public:
  BrowseListPart(BrowseProcedure& browse, std::string control, std::string table,
                 std::vector<BrowseTab> tabs)
      : TableListPart(browse, std::move(control), std::move(table), std::move(tabs)),
        browse_(browse) {}
  std::string cell(int row, int column) const override { return browse_.cell(row, column); }
  CellColours colours(int row, int column) const override { return browse_.colours(row, column); }

 private:
  BrowseProcedure& browse_;
};

WindowDescription browseWindow(WindowDescription w) {
  addHelpButton(w);
  return w;
}

}  // namespace

BrowseProcedure::BrowseProcedure(Program& program, db::Context& ctx, WindowDescription window,
                                 std::string table, std::string form, std::vector<BrowseTab> tabs,
                                 int entry)
    : Procedure(program, ctx, browseWindow(std::move(window))),
      tableLabel_(std::move(table)),
      form_(std::move(form)),
      entry_(entry) {
  uses(tableLabel_);
  for (const Control& c : window_.controls)
    if (c.type == ControlType::List && list_.empty()) list_ = c.id;
  part_ = &addList(std::make_unique<BrowseListPart>(*this, list_, tableLabel_, std::move(tabs)));
  part_->buttons = {button("?INSERT"), button("?CHANGE"), button("?DELETE"), button("?VIEW"),
                    button("?SELECT")};
  part_->onChanged([this] { selectionChanged(); });
}

std::string BrowseProcedure::button(std::string_view name) const {
  for (const Control& c : window_.controls)
    if (c.type == ControlType::Button && isButton(c.id, name)) return c.id;
  return {};
}

bool BrowseProcedure::usable(const std::string& b) const {
  if (b.empty()) return false;
  ControlState s = state(b);
  return s.enabled && !s.hidden;
}

bool BrowseProcedure::init() {
  if (!Procedure::init()) return false;
  if (window_.hasSheet() && currentTab_ == 0) currentTab_ = 1;
  part_->setTab(std::max(currentTab_, 1) - 1);
  offerWhatTheUserMay();
  part_->open();
  view_ = &part_->view();
  part_->selecting = selecting();
  part_->viewOnly = wm_.originalRequest == request::View;
  // A browse opened only to look binds no updates.
  if (wm_.originalRequest == request::View)
    for (const char* b : {"?INSERT", "?CHANGE", "?DELETE"})
      if (auto id = button(b); !id.empty()) {
        states_[id].enabled = false;
        states_[id].hidden = true;
      }
  // Called to choose (a lookup), the list opens on the value the caller left
  // in the record buffer, not at its top. Reading the page overwrites the
  // buffer, so the value is taken first.
  db::Table& t = table(tableLabel_);
  const Record probe = t.buffer();
  const bool positioned = selecting() && !(probe == Record(t.info()));
  Status st = showOrder();
  if (!st) warn(st.text);
  if (st && positioned && view_->locate(probe)) listChanged();
  return true;
}

// What the user's level refuses is not offered at all: the form's entry
// rules inserts and changes, and deletes need the browse's level too.
void BrowseProcedure::offerWhatTheUserMay() {
  if (program_.rights.user <= 0) return;
  std::unique_ptr<Procedure> made = form_.empty() ? nullptr : program_.make(form_, ctx_);
  const auto* form = dynamic_cast<const FormProcedure*>(made.get());
  auto refuses = [&](int req) { return form && form->refuses(req); };
  part_->refused.insert = refuses(request::Insert);
  part_->refused.change = refuses(request::Change);
  part_->refused.remove =
      refuses(request::Delete) || (entry_ && deleteAccess(program_, entry_).has_value());
}

void BrowseProcedure::selectTab(int tab) {
  int before = currentTab_;
  Procedure::selectTab(tab);
  if (view_ && currentTab_ != before) part_->setTab(currentTab_ - 1);
}

void BrowseProcedure::onAccepted(const std::string& control) {
  if (isButton(control, "?INSERT")) {
    update(request::Insert);
  } else if (isButton(control, "?CHANGE")) {
    update(request::Change);
  } else if (isButton(control, "?DELETE")) {
    // Entry 0 means the browse checks no right of its own.
    if (auto refused = entry_ ? deleteAccess(program_, entry_) : std::nullopt) {
      host_->warn(*refused);
      return;
    }
    update(request::Delete);
  } else if (isButton(control, "?VIEW")) {
    update(request::View);
  } else if (isButton(control, "?SELECT")) {
    if (view_->readSelected()) close(response::Completed);
  } else if (isButton(control, "?CLOSE")) {
    close(selecting() ? response::Cancelled : response::Completed);
  }
}

int BrowseProcedure::update(int req) {
  if (wm_.originalRequest == request::View && req != request::View) return response::Cancelled;
  db::Table& t = table(tableLabel_);
  if (req != request::Insert) {
    // A delete acts on the record as the user saw it; any request on a
    // record that is gone is refused. The page shows what is there now.
    Status st = view_->readSelected(req == request::Delete);
    if (!st) {
      if (st.code == err::RecordChanged) {
        program_.messages().raise(errors_, 7);
        (void)view_->reload();
        applyRules();
        listChanged();
      }
      return response::Cancelled;
    }
  } else {
    t.clear();
  }
  int r = call(form_, req);
  // A header sort is a copy of the rows: take it again to include the change.
  if (r == response::Completed && headerSorted()) {
    std::int64_t at = t.position();
    (void)showOrder();
    if (at != 0) (void)view_->show(at);
    applyRules();
    listChanged();
    return r;
  }
  if (r == response::Completed && (req == request::Insert || req == request::Change) &&
      t.position() != 0)
    (void)view_->show(t.position());
  else
    (void)view_->reload();
  applyRules();
  listChanged();
  return r;
}

void BrowseProcedure::closeBox() { close(selecting() ? response::Cancelled : response::Completed); }

bool BrowseProcedure::toldRefused(int req) {
  const ListPart::Refused& no = part_->refused;
  const std::string& id = req == request::Insert   ? part_->buttons.insert
                          : req == request::Change ? part_->buttons.change
                                                   : part_->buttons.remove;
  const bool refused = req == request::Insert   ? no.insert
                       : req == request::Change ? no.change
                                                : no.remove;
  // Only the level's refusals: an empty list or a browse opened to look
  // refuses for reasons of its own, without a word.
  if (!refused || id.empty() || part_->viewOnly || state(id).hidden) return false;
  if (req != request::Insert && view_ && view_->empty()) return false;
  std::optional<WarningLines> lines;
  if (req == request::Delete && entry_) lines = deleteAccess(program_, entry_);
  // A level that may insert but not change (2) ends with four points.
  const bool two = req == request::Change && !no.insert;
  if (!lines)
    lines = warningLines("NO TIENE ACCESO A ESTE PROGRAMA", "VERIFIQUE SUS ACCESOS AL SISTEMA",
                         two ? "CON Ok CONTINUA...." : "CON Ok CONTINUA...");
  host_->warn(*lines);
  return true;
}

void BrowseProcedure::rowDoubleClicked(int row) {
  if (!selecting() && view_ && !view_->empty()) {
    part_->select(row);
    if (toldRefused(request::Change)) return listChanged();
  }
  part_->rowDoubleClicked(row);
}

void BrowseProcedure::popupChosen(const std::string& caption) {
  if (caption == "Alta" && toldRefused(request::Insert)) return;
  if (caption == "Cambia" && toldRefused(request::Change)) return;
  if (caption == "Borra" && toldRefused(request::Delete)) return;
  part_->popupChosen(caption);
}

void BrowseProcedure::keyPressed(Key key) {
  if (key == Key::Insert && toldRefused(request::Insert)) return;
  if (key == Key::CtrlEnter && toldRefused(request::Change)) return;
  if (key == Key::Delete && toldRefused(request::Delete)) return;
  if (!part_->keyPressed(key)) Procedure::keyPressed(key);
}

std::string BrowseProcedure::cell(int row, int column) const {
  return part_->ListPart::cell(row, column);
}

CellColours BrowseProcedure::colours(int row, int column) const {
  return part_->ListPart::colours(row, column);
}

}  // namespace velmora
