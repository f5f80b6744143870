#include "accounting/pol_pag.h"

#include <array>

#include "accounting/cheque.h"
#include "accounting/estimate_policy.h"
#include "dictionary/dates.h"
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

bool unposted(const Record& r) { return r.as<POL>().NOPO == 0; }

BrowseTab tab(std::string key, std::string locator = {}) {
  BrowseTab t = sortTab(std::move(key), std::move(locator));
  t.filter = unposted;
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

class PolPag : public BrowseProcedure {
 public:
  PolPag(Program& program, db::Context& ctx)
      : BrowseProcedure(program, ctx, window(), "POLI", "UP_ESTI",
                        {tab(keys::POL_CTA_KEY, "POL:CTA"), tab(keys::POL_CON_KEY)}) {
    for (auto [field, sum] : kSums) setLocal(sum, Decimal());
    for (const char* label : {"CONT", "BANC"}) uses(label);
  }

 protected:
  bool init() override {
    if (!BrowseProcedure::init()) return false;
    addUp();
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?GENERA")) {
      generate();
    } else {
      BrowseProcedure::onAccepted(control);
      if (control.rfind("?DELETE", 0) == 0) addUp();
    }
  }

 private:
  // The sums over every estimate the list shows, not only the page.
  void addUp() {
    std::array<std::int64_t, kSums.size()> cents{};
    db::Table& poli = table("POLI");
    const Record shown = poli.buffer();
    Status st = poli.setStart(poli.info().key("POL:CTA_KEY"));
    while (st && (st = poli.next())) {
      if (!unposted(poli.buffer())) continue;
      for (std::size_t i = 0; i < kSums.size(); ++i)
        cents[i] += Decimal::fromDouble(number(poli.buffer().get(kSums[i].first)))
                        .value_or(Decimal())
                        .cents();
    }
    if (st.code != err::NoRecord) fileError(st, FileAction::Read);
    poli.buffer() = shown;
    for (std::size_t i = 0; i < kSums.size(); ++i) {
      setLocal(kSums[i].second, Decimal::fromCents(cents[i]));
      refresh(std::string("?") + kSums[i].second);
    }
  }

  void generate() {
    if (!view_->readSelected()) return;
    const POL estimate = table("POLI").rec<POL>();
    table("BANC").clear();
    if (call("CAP_BAN", request::Select) != response::Completed) return;
    const BAN bank = table("BANC").rec<BAN>();

    PostingInput in;
    in.estimate = estimate.CTA;
    in.bank = bank.CTA;
    in.work = var(program_, "GLO:OBRA");
    in.today = program_.hasVar("GLO:HOY") ? std::int32_t(number(program_.var("GLO:HOY"))) : 0;
    if (in.today == 0) in.today = dates::today();
    in.now = dates::clockTime();
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
      cheque(out, bank, in.today);
    }
    reloadList();
  }

  void cheque(const PostingOutcome& posted, const BAN& bank, std::int32_t today) {
    ChequeDraft draft;
    draft.bankName = bank.NOMB;
    draft.bankAccount = bank.CUE;
    draft.date = today;
    db::Table& cont = table("CONT");
    cont.clear();
    cont.rec<CTR>().CTA = table("POLI").rec<POL>().CONT;
    if (cont.get("CTR:CTA_KEY")) draft.payee = cont.rec<CTR>().NOMB;
    if (call(makePrepCheque(program_, context(), &draft), request::Process) != response::Completed)
      return;
    if (Status st = renamePolicy(context(), posted.policy.NUM, draft.policyConcept); !st)
      fileError(st, FileAction::Change);

    // The bank is read again: it may have gone since it was chosen.
    db::Table& banc = table("BANC");
    banc.clear();
    banc.rec<BAN>().CTA = bank.CTA;
    if (!banc.get("BAN:KEYCTA")) {
      warn("NO ENCONTRE EL BANCO", "VERIFIQUE SI FUE DADO DE ALTA");
      return;
    }
    std::vector<std::string> lines;
    ChequeData data{draft.date, draft.payee, posted.paid, draft.message};
    if (Status st = chequeLines(banc.rec<BAN>(), data, lines); !st) {
      warn("EL IMPORTE NO SE PUEDE ESCRIBIR",
           "CON LETRA; LA POLIZA " + std::to_string(posted.policy.NUM), "YA QUEDO REGISTRADA...");
      return;
    }
    std::unique_ptr<reports::Report> report = makeChequeReport(bank.CTA, std::move(lines));
    reports::RunSettings settings;
    settings.heading.date = today;
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
    d.list({{"FOLIO", "POL:CTA", "@n_5", 5, 'R', true},
            {"ESTIMACION", "POL:ESTI", "@n_4B", 4, 'R', true},
            {"FECHA", "POL:FECH", "@D6", 10, 'L', true},
            {"CONT", "POL:CONT", "@n-7", 7, 'R', true},
            {"P/ANTI", "POL:PANT", "@n-14.2", 14, 'R', true},
            {"P/FOND", "POL:PFON", "@n-14.2", 14, 'R', true},
            {"PREST", "POL:PRES", "@n-14.2", 14, 'R', true},
            {"P/PREST", "POL:PPRE", "@n-14.2", 14, 'R', true},
            {"IMPORTE", "POL:CANT", "@n-14.2", 14, 'R', true},
            {"IVA", "POL:IVA", "@n-14.2", 14, 'R', true}});
    d.tabs({"x Número", "x Contratista"});
    const std::array<const char*, kSums.size()> prompts = {"SUMAS:  P/ANTI", "P/FOND",  "PREST",
                                                           "P/PREST",        "IMPORTE", "IVA"};
    for (std::size_t i = 0; i < kSums.size(); ++i) d.text(prompts[i], kSums[i].second, "@n-17.2");
    d.button("?GENERA", "Genera Póliza", true);
    d.button("?DELETE:3", "&Borra");
    d.button("?CLOSE", "C&ierra");
    return d.done();
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

std::unique_ptr<Procedure> makePrepCheque(Program& program, db::Context& ctx, ChequeDraft* draft) {
  return std::make_unique<PrepCheque>(program, ctx, draft);
}

}  // namespace velmora::accounting
