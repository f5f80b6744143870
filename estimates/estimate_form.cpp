#include <algorithm>
#include <map>

#include "dictionary/dates.h"
#include "estimates/audit.h"
#include "estimates/contractor_totals.h"
#include "estimates/estimate_messages.h"
#include "estimates/estimate_save.h"
#include "estimates/estimate_windows.h"
#include "estimates/item_numbers.h"
#include "framework/access.h"
#include "framework/browse.h"
#include "framework/describe.h"
#include "framework/picture.h"

namespace velmora::estimates {

namespace msg = estimate_message;

namespace {

constexpr const char* kList = "?LINEAS";

void warnLines(Procedure& p, const msg::Lines& l) { p.warn(l[0], l[1], l[2]); }

// UP_ESTI: the header, type and lines of one estimate. TIES is the type:
// '2' progress, '1' advance, '3' fund return. Saving and deleting are the
// operations of estimate_save.h; this window gathers what they need.
class UpEsti : public Procedure {
 public:
  UpEsti(Program& program, db::Context& ctx) : Procedure(program, ctx, window()) {
    for (const char* label : {"POLI", "DPOL", "PART", "CONT"}) uses(label);
    lines_ = &addList(std::make_unique<MemoryListPart>(*this, kList));
    lines_->buttons.insert = "?ALTA";
    lines_->buttons.remove = "?BAJA";
    setLocal("TIES", std::string("2"));
    // The line list's columns, named as the rows of the list are.
    for (const char* v : {"ESM:CO", "ESM:PR", "ESM:FR", "ESM:AN", "ESM:AC", "ESM:IM"})
      setLocal(v, 0.0);
    for (const char* v : {"ESM:DE", "ESM:UN"}) setLocal(v, std::string());
    draft_.lines = lines_;
  }

 protected:
  bool init() override {
    if (!checkAccess(kEstimatesEntry)) return false;
    if (wm_.request == request::Delete) {
      if (auto refused = deleteAccess(program_, kEstimatesEntry)) {
        host_->warn(*refused);
        return false;
      }
      remove();
      return false;
    }
    if (!Procedure::init()) return false;
    mode_ = wm_.request == request::Insert || wm_.request == request::Change ? wm_.request
                                                                             : request::View;
    db::Table& poli = table("POLI");
    if (mode_ == request::Insert) poli.clear();
    POL& p = poli.rec<POL>();
    read_ = p;
    const bool level5 = accessLevel(program_, kEstimatesEntry) >= 5;
    if (p.NOPO > 0) {
      warnLines(*this, msg::kPostedNoChange);
      if (mode_ != request::View) disable("?OK");
    } else if (level5) {
      warnLines(*this, msg::kLevel5);
    }
    if (!level5) disable("?POL:NOPO");
    if (mode_ == request::View) disable("?OK");
    lines_->clear();
    setType('2');
    if (p.FECH != 0) {
      // A stored progress estimate opens as one: its save treats it so.
      setType(p.UFEC == 1 ? '1' : p.UFEC == 3 ? '3' : '2');
    } else {
      p.FECH = dates::today();
    }
    draft_.insert = mode_ == request::Insert;
    db::Table& cont = table("CONT");
    cont.clear();
    if (mode_ == request::Insert) {
      setType('2');
    } else {
      disable("?TIES");
      cont.rec<CTR>().CTA = p.CONT;
      (void)cont.get("CTR:CTA_KEY");
      bool last = true;
      if (p.ESTI != cont.rec<CTR>().UEST) {
        warnLines(*this, msg::kOnlyLastChange);
        disable("?OK");
        last = false;
      }
      draft_.posted = p.NOPO > 0;
      // A change figures its lines on the items and the contractor as they
      // stood before it, in memory: nothing is written until it is saved.
      draft_.change = mode_ == request::Change && !draft_.posted && last;
      std::vector<EstimateLine> stored;
      Status st = readEstimateLines(ctx_, p.CTA, stored, &draft_.itemsBefore);
      if (!st) fileError(st, FileAction::Read);
      for (const EstimateLine& l : stored) {
        lines_->add(row(l));
        draft_.exact[lineKey(l.conc, l.process, l.front)] = {l.paidBefore, l.doneBefore, l.quantity,
                                                             l.executed, l.percent};
      }
      if (draft_.change) {
        const Record shown = cont.buffer();
        if (!(st = contractorBefore(poli, cont, p.CONT, p.CTA, draft_.before)))
          draft_.change = false;
        cont.buffer() = shown;
      }
      poli.clear();
      poli.rec<POL>().CTA = read_.CTA;
      (void)poli.get("POL:CTA_KEY");
    }
    lines_->select(lines_->rowCount() > 0 ? 0 : -1);
    showTotal(mode_ != request::Insert && type() != '2');
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?POL:CONT")) {
      (void)contractor(false);
    } else if (dict::sameName(control, "?CALLLOOKUP")) {
      if (contractor(true) && mode_ == request::Change &&
          table("CONT").rec<CTR>().UEST != read_.ESTI) {
        warnLines(*this, msg::kOnlyLastCorrect);
        disable("?OK");
        close(response::Cancelled);
        return;
      }
    } else if (dict::sameName(control, "?TIES")) {
      typeChosen();
    } else if (dict::sameName(control, "?ALTA")) {
      addLine();
    } else if (dict::sameName(control, "?BAJA")) {
      lines_->remove(lines_->selected());
      linesChanged();
    } else if (dict::sameName(control, "?OK")) {
      ok();
      return;
    } else if (dict::sameName(control, "?CANCEL")) {
      close(response::Cancelled);
      return;
    }
    refreshAll();
  }

 private:
  char type() const {
    const std::string t = toText(value("TIES"));
    return t.empty() ? '2' : t[0];
  }
  void setType(char t) {
    setLocal("TIES", std::string(1, t));
    enable("?ALTA", t == '2');
    enable("?BAJA", t == '2');
  }
  std::int16_t contractorNumber() { return table("POLI").rec<POL>().CONT; }
  Stamp stamp() const {
    return {std::max(program_.rights.user, 0), dates::today(), dates::clockTime()};
  }

  void warnOutcome(const Status& st, const SaveOutcome& out) {
    if (!out.message[0].empty() || !out.message[1].empty())
      warn(out.message[0], out.message[1], out.message[2]);
    else
      (void)fileError(st, out.action);
  }

  static ListRow row(const EstimateLine& l) {
    return {l.conc,
            std::int64_t(l.process),
            std::int64_t(l.front),
            l.text,
            l.unit,
            l.paidBefore,
            l.quantity.toDouble(),
            l.amount,
            l.executed.toDouble(),
            l.percent.toDouble()};
  }

  // TOTAL is the sum of the lines, or the amount of an advance or return.
  void showTotal(bool entryAmount) {
    const Decimal total = entryAmount ? figure(table("POLI").rec<POL>().CANT) : lines_->total(kIm);
    (void)setValue("TOTAL", total.toDouble());
  }

  // The contractor must exist; when he is not found (or always, from the
  // lookup button) the contractors' list chooses him.
  bool contractor(bool always) {
    db::Table& cont = table("CONT");
    cont.clear();
    cont.rec<CTR>().CTA = contractorNumber();
    bool found = !always && contractorNumber() != 0 && bool(cont.get("CTR:CTA_KEY"));
    if (!found && call("CAP_DEST", request::Select) == response::Completed) found = true;
    if (!found) {
      // A number that names no contractor does not stay in the field.
      cont.clear();
      if (!always && contractorNumber() != 0) {
        warnLines(*this, msg::kNoContractor);
        table("POLI").rec<POL>().CONT = 0;
      }
      select("?POL:CONT");
      return false;
    }
    table("POLI").rec<POL>().CONT = cont.rec<CTR>().CTA;
    return true;
  }

  void typeChosen() {
    const char t = type();
    if (t == '2') return setType('2');
    draft_.type = t;
    draft_.contractor = contractorNumber();
    draft_.advance = draft_.fundReturn = Decimal();
    (void)call(makeCapAnti(program_, ctx_, &draft_), request::Insert);
    POL& p = table("POLI").rec<POL>();
    if (draft_.advance.cents() == 0 && draft_.fundReturn.cents() == 0) {
      setType('2');
      showTotal(false);
      return;
    }
    p.CANT = p.PANT = p.PFON = 0;
    if (draft_.advance.cents() > 0) {
      setType('1');
      p.CANT = p.PANT = draft_.advance.toDouble();
      p.UFEC = 1;
    } else {
      setType('3');
      p.CANT = p.PFON = draft_.fundReturn.toDouble();
      p.UFEC = 3;
    }
    showTotal(true);
    select("?OK");
  }

  void addLine() {
    if (contractorNumber() == 0) {
      warnLines(*this, msg::kNoContractorForLine);
      select("?POL:CONT");
      return;
    }
    disable("?TIES");
    draft_.contractor = contractorNumber();
    (void)call(makeUpAvan(program_, ctx_, &draft_), request::Insert);
    linesChanged();
  }

  void linesChanged() {
    draft_.finalsGiven = false;
    lines_->sortBy(kCo);
    showTotal(false);
  }

  EstimateHeader header() {
    const POL& p = table("POLI").rec<POL>();
    EstimateHeader h;
    h.insert = mode_ == request::Insert;
    if (!h.insert) h.read = read_;
    h.contractor = p.CONT;
    h.date = p.FECH;
    h.reference = p.REFE;
    h.policy = p.NOPO;
    h.stamp = stamp();
    return h;
  }

  std::vector<EstimateLine> lines() const {
    std::vector<EstimateLine> all;
    for (const ListRow& r : lines_->rows()) {
      EstimateLine l;
      l.conc = number(r[kCo]);
      l.process = std::int32_t(number(r[kPr]));
      l.front = std::int32_t(number(r[kFr]));
      l.amount = std::get<Decimal>(r[kIm]);
      auto exact = draft_.exact.find(lineKey(l.conc, l.process, l.front));
      if (exact != draft_.exact.end()) {
        l.paidBefore = exact->second.paidBefore;
        l.doneBefore = exact->second.doneBefore;
        l.quantity = exact->second.quantity;
        l.executed = exact->second.executed;
        l.percent = exact->second.percent;
      } else {
        l.paidBefore = std::get<Decimal>(r[kAn]);
        l.quantity = Ratio::fromDouble(number(r[kAc]));
        l.percent = Ratio::fromDouble(number(r[kFi]));
      }
      all.push_back(l);
    }
    return all;
  }

  bool hasLines() const {
    for (const ListRow& r : lines_->rows())
      if (number(r[kAc]) != 0) return true;
    return false;
  }

  void ok() {
    if (mode_ != request::Insert && mode_ != request::Change) return;
    db::Table& poli = table("POLI");
    const Record typed = poli.buffer();
    SaveOutcome out;
    Status st;
    const char t = type();
    if (t == '2') {
      if (!hasLines()) {
        warnLines(*this, msg::kNoLines);
        select(kList);
        refreshAll();
        return;
      }
      draft_.contractor = contractorNumber();
      draft_.stored = poli.rec<POL>();
      draft_.insert = mode_ == request::Insert;
      draft_.finalsGiven = false;
      showTotal(false);
      if (call(makePolfin(program_, ctx_, &draft_), request::Change) != response::Completed ||
          !draft_.finalsGiven) {
        poli.buffer() = typed;
        disable("?OK");
        select("?CANCEL");
        refreshAll();
        return;
      }
      ProgressEstimate e;
      e.header = header();
      e.finals = finalValues(draft_.finals);
      e.lines = lines();
      st = saveProgressEstimate(ctx_, e, &out);
    } else {
      AdvanceEntry a;
      a.header = header();
      a.type = t;
      const POL& p = poli.rec<POL>();
      a.amount = figure(t == '1' ? p.PANT : p.PFON);
      st = saveAdvance(ctx_, a, &out);
    }
    if (!st) {
      poli.buffer() = typed;
      warnOutcome(st, out);
      if (out.message[0] == msg::kNoAmount[0]) select("?TIES");
      refreshAll();
      return;
    }
    (void)setValue("TOTAL", 0.0);
    close(response::Completed);
  }

  void remove() {
    wm_.response = response::Cancelled;
    // The rules first, as the record was shown; the delete checks them again
    // on the files as they are then.
    const POL p = table("POLI").rec<POL>();
    if (p.NOPO > 0) return warnLines(*this, msg::kPostedNoDelete);
    db::Table& cont = table("CONT");
    cont.clear();
    cont.rec<CTR>().CTA = p.CONT;
    if (cont.get("CTR:CTA_KEY") && cont.rec<CTR>().UEST != p.ESTI && p.UFEC != 1)
      return warnLines(*this, msg::kOnlyLastDelete);
    if (program_.messages().raise(errors_, 11) != MessageService::kAnsweredYes) return;
    SaveOutcome out;
    Status st = deleteEstimate(ctx_, table("POLI").rec<POL>().CTA, stamp(), &out);
    if (!st) return warnOutcome(st, out);
    wm_.response = response::Completed;
  }

  static WindowDescription window() {
    Describe d("UP_ESTI", "Actualizando Pólizas de Mano de Obra");
    d.text("FOLIO", "POL:CTA", "@n_5")
        .field("FECHA", "POL:FECH", "@D6")
        .calendarButton()
        .field("CONTRATISTA", "POL:CONT", "@n_6")
        .lookupButton()
        .text("", "CTR:NOMB", "@s30")
        .field("No DE POLIZA", "POL:NOPO", "@n_6", "REGISTRO DEL No DE POLIZA")
        .option("TIPO DE POLIZA", "TIES", {"2", "1", "3"},
                {"AVANCE", "ANTICIPO", "DEV. FONDO GTIA"})
        .list({{"CONCEPTO", "ESM:CO", "@n_9.2", 9, 'R', true},
               {"PROC", "ESM:PR", "@n_6", 6, 'R', true},
               {"FRENTE", "ESM:FR", "@n_6", 6, 'R', true},
               {"D E S C R I P C I O N", "ESM:DE", "@s30", 30, 'L', true},
               {"UNID", "ESM:UN", "@s4", 4, 'L', true},
               // One meaning per column, captured or reopened: money paid
               // on the item before, this estimate's quantity in the item's
               // unit, and its amount.
               {"PAGADO ANTES $", "ESM:AN", "@n14.2", 14, 'R', true},
               {"CANTIDAD", "ESM:AC", "@n12.2", 12, 'R', true},
               {"IMPORTE $", "ESM:IM", "@n14.2", 14, 'R', true}});
    d.last().id = kList;
    return d.text("COSTO DIRECTO", "TOTAL", "@n14.2")
        .button("?ALTA", "&Alta")
        .button("?BAJA", "&Baja")
        .button("?OK", "&Aceptar", true)
        .button("?CANCEL", "Ca&ncela")
        .done();
  }

  MemoryListPart* lines_ = nullptr;
  EstimateDraft draft_;
  int mode_ = request::View;
  POL read_{};
};

// CAP_EST: the estimates, by folio or by contractor. The contractor's name
// comes from CONT for each row shown. When it closes the audit runs by
// itself, to bring the running totals in line with what was changed.
class CapEst : public BrowseProcedure {
 public:
  static constexpr int kName = 4;
  CapEst(Program& program, db::Context& ctx)
      : BrowseProcedure(program, ctx, window(), "POLI", "UP_ESTI",
                        {sortTab(keys::POL_CTA_KEY, "POL:CTA"), sortTab(keys::POL_CON_KEY)},
                        kEstimatesEntry) {
    uses("CONT");
  }

  std::string cell(int row, int column) const override {
    if (column == kName && row >= 0 && row < int(view_->rows().size()))
      return name(view_->rows()[std::size_t(row)].record.as<POL>().CONT);
    return BrowseProcedure::cell(row, column);
  }

 protected:
  // The operations keep every total exact; the audit on closing stays as a
  // safety net, and only for a user who may change the work.
  void kill() override {
    if (!selecting() && wm_.originalRequest != request::View && mayWrite())
      startAutomaticAudit(*this);
    BrowseProcedure::kill();
  }
  bool mayWrite() const {
    return program_.rights.user <= 0 || accessLevel(program_, kEstimatesEntry) >= 2;
  }

 private:
  std::string name(std::int16_t contractor) const {
    auto it = names_.find(contractor);
    if (it != names_.end()) return it->second;
    db::Table& cont = const_cast<CapEst*>(this)->table("CONT");
    const Record shown = cont.buffer();
    cont.clear();
    cont.rec<CTR>().CTA = contractor;
    std::string text = cont.get("CTR:CTA_KEY") ? cont.rec<CTR>().NOMB : std::string();
    cont.buffer() = shown;
    return names_[contractor] = text;
  }

  static WindowDescription window() {
    ListColumn esti{"ESTIMACION", "POL:ESTI", "@n_4B", 10, 'R', true};
    esti.words = {{"-1", "ANTICIPO"}, {"-3", "DEV.FONDO"}};
    return Describe("CAP_EST", "Actualizando Pólizas de Pago por Mano de Obra")
        .list({{"FOLIO", "POL:CTA", "@n_5", 5, 'R', true},
               esti,
               {"FECHA", "POL:FECH", "@D6", 10, 'L', true},
               {"No", "POL:CONT", "@n-7", 7, 'R', true},
               {"N O M B R E", "CTR:NOMB", "@s30", 30, 'L', true},
               {"IMPORTE", "POL:CANT", "@n13.2", 13, 'R', true}})
        .columnGroup("C O N T R A T I S T A", 3, 2)
        .tabs({"x Número", "x Contratista"})
        .browseButtons()
        .done();
  }

  mutable std::map<std::int16_t, std::string> names_;
};

}  // namespace

void addEstimateProcedures(Program& program) {
  addEstimateLineProcedures(program);
  addEstimateFinalProcedures(program);
  program.addProcedure("CAP_EST", [](Program& p, db::Context& c) -> std::unique_ptr<Procedure> {
    return std::make_unique<CapEst>(p, c);
  });
  program.addProcedure("UP_ESTI", [](Program& p, db::Context& c) -> std::unique_ptr<Procedure> {
    return std::make_unique<UpEsti>(p, c);
  });
}

}  // namespace velmora::estimates
