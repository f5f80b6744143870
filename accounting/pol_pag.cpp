#include "accounting/pol_pag.h"

#include <array>
#include <optional>

#include "accounting/accounting.h"
#include "accounting/cheque.h"
#include "accounting/estimate_policy.h"
#include "dictionary/dates.h"
#include "framework/access.h"
#include "framework/describe.h"
#include "reports/report_windows.h"

namespace velmora::accounting {

namespace {

// The amount columns and the window variable that sums each.
constexpr std::array<std::pair<const char*, const char*>, 6> kSums = {{
    {"POL:PANT", "SUMA_PANT"},
    {"POL:PFON", "SUMA_PFON"},
    {"POL:PRES", "SUMA_PRES"},
    {"POL:PPRE", "SUMA_PPRE"},
    {"POL:CANT", "SUMA_CANT"},
    {"POL:IVA", "SUMA_IVA"},
}};

// The column of what each cheque pays, and the variable that sums it.
constexpr const char* kToPay = "A_PAGAR";
constexpr const char* kToPaySum = "SUMA_PAGA";

bool unposted(const Record& r) { return r.as<POL>().NOPO == 0; }
bool posted(const Record& r) { return r.as<POL>().NOPO > 0; }

BrowseTab tab(std::string key, std::string locator = {}, bool (*filter)(const Record&) = unposted) {
  BrowseTab t = sortTab(std::move(key), std::move(locator));
  t.filter = filter;
  return t;
}

std::string var(Program& program, const char* name) {
  return program.hasVar(name) ? toText(program.var(name)) : std::string();
}

// Whatever way posting ends after the flag was taken, the flag is cleared.
class PostingLock {
 public:
  explicit PostingLock(db::Context& ctx) : ctx_(ctx) {}
  ~PostingLock() { (void)releasePostingLock(ctx_); }
  PostingLock(const PostingLock&) = delete;
  PostingLock& operator=(const PostingLock&) = delete;

 private:
  db::Context& ctx_;
};

// Posting and printing a cheque change the estimate: level 3 at its entry.
std::optional<WarningLines> refusedToPost(const Program& program) {
  return formAccess(program, entry::kEstimatePolicies, request::Change);
}

class PolPag : public BrowseProcedure {
 public:
  PolPag(Program& program, db::Context& ctx)
      : BrowseProcedure(program, ctx, window(), "POLI", "UP_ESTI",
                        {tab(keys::POL_CTA_KEY, "POL:CTA"), tab(keys::POL_CON_KEY)},
                        entry::kEstimatePolicies) {
    for (auto [field, sum] : kSums) setLocal(sum, Decimal());
    setLocal(kToPaySum, Decimal());
    for (const char* label : {"CONT", "BANC"}) uses(label);
    // What each estimate's cheque pays, beside its figures.
    listPart().computed(kToPay, [](const Record& r) { return Value(chequeAmount(r.as<POL>())); });
  }

 protected:
  bool init() override {
    if (!BrowseProcedure::init()) return false;
    // What the user's level refuses is not offered.
    if (refusedToPost(program_))
      for (const char* b : {"?GENERA", "?REIMPRIME"}) disable(b);
    addUp();
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?GENERA")) {
      if (mayPost()) generate();
    } else if (dict::sameName(control, "?REIMPRIME")) {
      if (mayPost()) reprint();
    } else {
      BrowseProcedure::onAccepted(control);
      if (control.rfind("?DELETE", 0) == 0) addUp();
    }
  }

 private:
  bool mayPost() {
    if (auto refused = refusedToPost(program_)) {
      host_->warn(*refused);
      return false;
    }
    return true;
  }

  // The sums over every estimate the list shows, not only the page.
  void addUp() {
    std::array<std::int64_t, kSums.size()> cents{};
    std::int64_t toPay = 0;
    db::Table& poli = table("POLI");
    const Record shown = poli.buffer();
    Status st = poli.setStart(poli.info().key("POL:CTA_KEY"));
    while (st && (st = poli.next())) {
      if (!unposted(poli.buffer())) continue;
      for (std::size_t i = 0; i < kSums.size(); ++i)
        cents[i] += Decimal::fromDouble(number(poli.buffer().get(kSums[i].first)))
                        .value_or(Decimal())
                        .cents();
      toPay += chequeAmount(poli.rec<POL>()).cents();
    }
    if (st.code != err::NoRecord) fileError(st, FileAction::Read);
    poli.buffer() = shown;
    for (std::size_t i = 0; i < kSums.size(); ++i)
      setLocal(kSums[i].second, Decimal::fromCents(cents[i]));
    setLocal(kToPaySum, Decimal::fromCents(toPay));
    listChanged();
  }

  std::int32_t today() {
    const std::int32_t d =
        program_.hasVar("GLO:HOY") ? std::int32_t(number(program_.var("GLO:HOY"))) : 0;
    return d ? d : dates::today();
  }

  // A cheque pays something: told before anything is asked.
  bool pays(const POL& estimate, Decimal amount, const char* outcome) {
    if (amount.cents() > 0) return true;
    const Lines3 m = nothingToPay(estimate.CTA, amount, outcome);
    warn(m[0], m[1], m[2]);
    return false;
  }

  void generate() {
    if (!view_->readSelected()) return;
    const POL estimate = table("POLI").rec<POL>();
    if (!pays(estimate, chequeAmount(estimate), "NO SE GENERA LA POLIZA NI EL CHEQUE")) return;
    table("BANC").clear();
    if (call("CAP_BAN", request::Select) != response::Completed) return;
    const BAN bank = table("BANC").rec<BAN>();

    PostingInput in;
    in.estimate = estimate.CTA;
    in.bank = bank.CTA;
    in.work = var(program_, "GLO:OBRA");
    in.today = today();
    in.now = dates::clockTime();
    in.user = std::max(program_.rights.user, 0);
    in.holdLock = true;
    PostingOutcome out;
    Status st = postEstimate(context(), in, &out);
    for (const Lines3& m : out.messages) warn(m[0], m[1], m[2]);
    if (!st) {
      if (out.messages.empty()) fileError(st, out.action);
      reloadList();
      return;
    }
    {
      PostingLock lock(context());
      // Said before the cheque is asked for: whatever becomes of the
      // cheque, the operator knows what is on file and what it pays.
      warn("POLIZA CONTABLE No " + std::to_string(out.policy.NUM) + " REGISTRADA",
           "DE LA ESTIMACION FOLIO " + std::to_string(estimate.CTA),
           "CHEQUE POR " + amountText(out.paid));
      ChequeDraft draft = draftFor(bank, estimate, in.today);
      if (call(makePrepCheque(program_, context(), &draft), request::Process) ==
          response::Completed) {
        if (Status renamed = renamePolicy(context(), out.policy.NUM, draft.policyConcept); !renamed)
          fileError(renamed, FileAction::Change);
        printCheque(bank.CTA, estimate, out.policy.NUM, out.paid, draft);
      }
    }
    reloadList();
  }

  // The cheque of a posted estimate, for what its posting paid.
  void reprint() {
    db::Table& poli = table("POLI");
    poli.clear();
    const int chosen = call("POL_CHEQ", request::Select);
    const POL estimate = poli.rec<POL>();
    reloadList();
    if (chosen != response::Completed || estimate.NOPO <= 0) return;

    PostedCheque posted;
    if (Status st = findPostedCheque(context(), estimate, posted); !st) {
      fileError(st, FileAction::Read);
      return;
    }
    // Posted in another month, or its bank is gone: the estimate says what
    // its policy paid, the operator on which bank.
    if (!posted.found) posted.amount = chequeAmount(estimate);
    if (!pays(estimate, posted.amount, "NO SE IMPRIME EL CHEQUE")) return;
    if (!posted.found) {
      table("BANC").clear();
      if (call("CAP_BAN", request::Select) != response::Completed) return;
      posted.bank = table("BANC").rec<BAN>();
    }
    ChequeDraft draft = draftFor(posted.bank, estimate, today());
    draft.reprint = true;
    draft.policyConcept = posted.found ? posted.policy.DESC : std::string();
    if (call(makePrepCheque(program_, context(), &draft), request::Process) != response::Completed)
      return;
    printCheque(posted.bank.CTA, estimate, estimate.NOPO, posted.amount, draft);
  }

  ChequeDraft draftFor(const BAN& bank, const POL& estimate, std::int32_t date) {
    ChequeDraft draft;
    draft.bankName = bank.NOMB;
    draft.bankAccount = bank.CUE;
    draft.date = date;
    db::Table& cont = table("CONT");
    cont.clear();
    cont.rec<CTR>().CTA = estimate.CONT;
    if (cont.get("CTR:CTA_KEY")) draft.payee = cont.rec<CTR>().NOMB;
    return draft;
  }

  void printCheque(std::int32_t bankNumber, const POL& estimate, std::int32_t policy,
                   Decimal amount, const ChequeDraft& draft) {
    if (!pays(estimate, amount, "NO SE IMPRIME EL CHEQUE")) return;
    // The bank is read again: it may have gone since it was chosen.
    db::Table& banc = table("BANC");
    banc.clear();
    banc.rec<BAN>().CTA = bankNumber;
    if (!banc.get("BAN:KEYCTA")) {
      warn("NO ENCONTRE EL BANCO", "VERIFIQUE SI FUE DADO DE ALTA");
      return;
    }
    std::vector<std::string> lines;
    ChequeData data{draft.date, draft.payee, amount, draft.message};
    if (Status st = chequeLines(banc.rec<BAN>(), data, lines); !st) {
      warn("EL IMPORTE NO SE PUEDE ESCRIBIR", "CON LETRA; LA POLIZA " + std::to_string(policy),
           "YA QUEDO REGISTRADA...");
      return;
    }
    std::unique_ptr<reports::Report> report = makeChequeReport(bankNumber, std::move(lines));
    reports::RunSettings settings;
    settings.heading.date = draft.date;
    (void)reports::printReport(*this, *report, settings);
  }

  void reloadList() {
    (void)view_->reload();
    applyRules();
    listChanged();
    addUp();
  }

  static WindowDescription window() {
    Describe d("POL_PAG", "Actualizando Pólizas Contables de Pago por Mano de Obra");
    auto money = [](const char* header, const char* field, const char* total) {
      ListColumn c{header, field, "@n-14.2", 11, 'R', true};
      c.total = total;
      return c;
    };
    ListColumn esti{"ESTIMACION", "POL:ESTI", "@n_4B", 10, 'R', true};
    esti.words = {{"-1", "ANTICIPO"}, {"-3", "DEV.FONDO"}};
    ListColumn name = nameColumn("CONTRATISTA", "POL:CONT", "CTR:CTA_KEY", "CTR:NOMB", 24);
    name.coloured = true;
    d.list({{"FOLIO", "POL:CTA", "@n_5", 5, 'R', true},
            esti,
            {"FECHA", "POL:FECH", "@D6", 10, 'L', true},
            {"CONT", "POL:CONT", "@n-7", 4, 'R', true},
            name,
            money("P/ANTI", "POL:PANT", "SUMA_PANT"),
            money("P/FOND", "POL:PFON", "SUMA_PFON"),
            money("PREST", "POL:PRES", "SUMA_PRES"),
            money("P/PREST", "POL:PPRE", "SUMA_PPRE"),
            money("IMPORTE", "POL:CANT", "SUMA_CANT"),
            money("IVA", "POL:IVA", "SUMA_IVA"),
            money("A PAGAR", kToPay, "SUMA_PAGA")});
    d.tabs({"x Número", "x Contratista"});
    d.button("?GENERA", "Genera Póliza", true);
    d.button("?REIMPRIME", "Reimprime C&heque");
    d.button("?DELETE:3", "&Borra");
    d.button("?CLOSE", "C&ierra");
    return d.done();
  }
};

// POL_CHEQ: the posted estimates with their policy numbers, to choose the
// one whose cheque is printed again.
class PolCheq : public BrowseProcedure {
 public:
  PolCheq(Program& program, db::Context& ctx)
      : BrowseProcedure(
            program, ctx, window(), "POLI", "",
            {tab(keys::POL_CTA_KEY, "POL:CTA", posted), tab(keys::POL_CON_KEY, {}, posted)}) {}

 private:
  static WindowDescription window() {
    return Describe("POL_CHEQ", "Cheques de Pólizas Contables de Pago por Mano de Obra")
        .list({{"FOLIO", "POL:CTA", "@n_5", 5, 'R', true},
               {"ESTIMACION", "POL:ESTI", "@n_4B", 4, 'R', true},
               {"FECHA", "POL:FECH", "@D6", 10, 'L', true},
               {"CONT", "POL:CONT", "@n-7", 7, 'R', true},
               {"POLIZA", "POL:NOPO", "@n_7", 7, 'R', true},
               {"IMPORTE", "POL:CANT", "@n-14.2", 14, 'R', true}})
        .tabs({"x Número", "x Contratista"})
        .button("?SELECT:2", "&Selecciona")
        .button("?CLOSE", "C&ierra")
        .done();
  }
};

class PrepCheque : public Procedure {
 public:
  PrepCheque(Program& program, db::Context& ctx, ChequeDraft* draft)
      : Procedure(program, ctx, window()), draft_(draft ? draft : &own_) {
    setLocal("BANCO", draft_->bankName);
    setLocal("CUENTA", draft_->bankAccount);
    setLocal("FECHA_CHEQUE", std::int64_t(draft_->date));
    setLocal("NOMBRE_CHEQUE", draft_->payee);
    setLocal("MENSAJE_CHEQUE", draft_->message);
    setLocal("EN_POLIZA", draft_->policyConcept);
  }

 protected:
  bool init() override {
    if (!Procedure::init()) return false;
    if (draft_->reprint) disable("?EN_POLIZA");
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?OK")) {
      draft_->date = std::int32_t(number(value("FECHA_CHEQUE")));
      draft_->payee = toText(value("NOMBRE_CHEQUE"));
      draft_->message = toText(value("MENSAJE_CHEQUE"));
      draft_->policyConcept = toText(value("EN_POLIZA"));
      close(response::Completed);
    } else if (dict::sameName(control, "?CANCEL")) {
      close(response::Cancelled);
    }
  }

 private:
  static WindowDescription window() {
    return Describe("PREP_CHEQUE", "Preparando el Reporte")
        .text("COLOQUE EL CHEQUE DE:", "BANCO", "@s30")
        .text("CUENTA No:", "CUENTA", "@s15")
        .field("FECHA:", "FECHA_CHEQUE", "@d6")
        .calendarButton()
        .field("A NOMBRE DE:", "NOMBRE_CHEQUE", "@s65", "CHEQUE A NOMBRE")
        .field("MENSAJE:", "MENSAJE_CHEQUE", "@s60")
        .field("EN POLIZA:", "EN_POLIZA", "@s80")
        .formButtons()
        .done();
  }

  ChequeDraft own_;
  ChequeDraft* draft_;
};

}  // namespace

std::unique_ptr<Procedure> makePolPag(Program& program, db::Context& ctx) {
  return std::make_unique<PolPag>(program, ctx);
}

std::unique_ptr<Procedure> makePolCheq(Program& program, db::Context& ctx) {
  return std::make_unique<PolCheq>(program, ctx);
}

std::unique_ptr<Procedure> makePrepCheque(Program& program, db::Context& ctx, ChequeDraft* draft) {
  return std::make_unique<PrepCheque>(program, ctx, draft);
}

}  // namespace velmora::accounting
