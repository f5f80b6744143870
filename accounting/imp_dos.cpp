#include "accounting/imp_dos.h"

#include <map>
#include <optional>

#include "accounting/ledger.h"
#include "dictionary/cp1252.h"
#include "dictionary/unit_of_work.h"
#include "framework/describe.h"
#include "reports/amount_words.h"
#include "reports/report_windows.h"

namespace velmora::accounting {

namespace {

// Letter, portrait: the cheque's lines on top, the policy below them.
constexpr int kLeft = 50, kLine = 40, kFont = 30;
constexpr int kPolicyTop = kChequeLines * kLine + 30;
constexpr int kDescAt = 560, kTextAt = 1110, kDebitEnd = 1800, kCreditEnd = 2100;
constexpr const char* kMoney = "@n-15.2B";

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

class Redir11 : public Procedure {
 public:
  Redir11(Program& program, db::Context& ctx, ChequeQuestion* q)
      : Procedure(program, ctx, window()), q_(q ? q : &own_) {
    setLocal("BANCO", q_->bankName);
    setLocal("CUENTA", q_->bankAccount);
    setLocal("FECHA_CHEQUE", std::int64_t(q_->date));
    setLocal("TITU2", cutPayee(q_->payee, q_->payeeWidth));
    setLocal("TITULO", q_->message);
  }

 protected:
  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?TITU2")) {
      setLocal("TITU2", cutPayee(toText(value("TITU2")), q_->payeeWidth));
      refresh("?TITU2");
    } else if (dict::sameName(control, "?OK")) {
      q_->payee = cutPayee(toText(value("TITU2")), q_->payeeWidth);
      q_->message = toText(value("TITULO"));
      close(response::Completed);
    } else if (dict::sameName(control, "?CANCEL")) {
      close(response::Cancelled);
    }
  }

 private:
  static WindowDescription window() {
    return Describe("REDIR11", "Preparando el Reporte")
        .text("COLOQUE EL CHEQUE DE:", "BANCO", "@s30")
        .text("CUENTA No:", "CUENTA", "@s15")
        .text("FECHA:", "FECHA_CHEQUE", "@d6")
        .field("A NOMBRE DE:", "TITU2", "@s65", "CHEQUE A NOMBRE")
        .field("MENSAJE:", "TITULO", "@s60")
        .formButtons()
        .done();
  }

  ChequeQuestion own_;
  ChequeQuestion* q_;
};

class ImpDos : public reports::Report {
 public:
  ImpDos(std::map<AccountNumber, std::string, bool (*)(const AccountNumber&, const AccountNumber&)>
             names,
         const POA& policy, const BAN& bank, std::vector<std::string> cheque, std::int32_t number)
      : names_(std::move(names)),
        policy_(policy),
        bank_(bank),
        cheque_(std::move(cheque)),
        number_(number) {
    describe();
  }

  const reports::ReportDescription& description() const override { return d_; }
  void range(Record& primary) override { primary.as<DEA>().NUM = policy_.NUM; }
  bool include(const Record& primary) override {
    const DEA& d = primary.as<DEA>();
    const auto found = names_.find({{d.CTA, d.SCTA, d.SSCTA, d.SSSCTA, d.SSSSCTA}});
    name_ = found == names_.end() ? std::string() : found->second;
    const Decimal amount = Decimal::fromDouble(d.CANT).value_or(Decimal());
    debit_ = d.CARG == "C" ? amount : Decimal();
    credit_ = d.CARG == "C" ? Decimal() : amount;
    return true;
  }
  std::optional<Value> value(std::string_view source) const override {
    for (int i = 0; i < kChequeLines; ++i)
      if (source == "RENGLON" + std::to_string(i + 1))
        return Value(std::size_t(i) < cheque_.size() ? trimmed(cheque_[std::size_t(i)])
                                                     : std::string());
    if (source == "POLIZA") return Value(std::int64_t(policy_.NUM));
    if (source == "FECHA_POLIZA") return Value(std::int64_t(policy_.FECH));
    if (source == "CONCEPTO") return Value(policy_.DESC);
    if (source == "BANCO") return Value(trimmed(bank_.NOMB) + "  " + trimmed(bank_.CUE));
    if (source == "CHEQUE") return Value(std::int64_t(number_));
    if (source == "CUENTA_DESC") return Value(name_);
    if (source == "CARGO") return Value(debit_);
    if (source == "ABONO") return Value(credit_);
    return std::nullopt;
  }

 private:
  void describe() {
    using reports::field;
    using reports::label;
    d_.procedure = "IMP_DOS";
    d_.title = "CHEQUE POLIZA";
    d_.table = "DETMES";
    d_.key = "DEA:NUM_KEY";
    d_.rangeComponents = 1;
    d_.fontHeight = kFont;
    reports::Band& h = d_.pageHeader;
    for (int i = 0; i < kChequeLines; ++i)
      h.items.push_back(field("RENGLON" + std::to_string(i + 1), "", kLeft, i * kLine));
    const int y = kPolicyTop;
    h.lines.push_back({kLeft, y, kCreditEnd, y});
    h.items.push_back(label("POLIZA No", kLeft, y + 20));
    h.items.push_back(field("POLIZA", "@n_6", kLeft + 190, y + 20));
    h.items.push_back(label("FECHA:", 1500, y + 20));
    h.items.push_back(field("FECHA_POLIZA", "@d6", 1640, y + 20));
    h.items.push_back(field("CONCEPTO", "@s30", kLeft, y + 65));
    h.items.push_back(label("BANCO:", kLeft, y + 110));
    h.items.push_back(field("BANCO", "@s50", kLeft + 130, y + 110));
    h.items.push_back(label("REFERENCIA/No CHEQUE:", 1200, y + 110));
    h.items.push_back(field("CHEQUE", "@n_7", 1640, y + 110));
    const int heads = y + 170;
    h.lines.push_back({kLeft, heads - 10, kCreditEnd, heads - 10});
    int x = kLeft;
    for (const char* level : {"Cta", "Scta", "Sscta", "Sssct", "Ssss"}) {
      h.items.push_back(label(level, x, heads));
      x += 100;
    }
    h.items.push_back(label("CUENTA", kDescAt, heads));
    h.items.push_back(label("CONCEPTO", kTextAt, heads));
    h.items.push_back(label("Cargos", kDebitEnd, heads, true));
    h.items.push_back(label("Abonos", kCreditEnd, heads, true));
    h.lines.push_back({kLeft, heads + 45, kCreditEnd, heads + 45});
    h.height = heads + 60;

    reports::Band& line = d_.detail;
    x = kLeft;
    for (const char* level : {"DEA:CTA", "DEA:SCTA", "DEA:SSCTA", "DEA:SSSCTA", "DEA:SSSSCTA"}) {
      line.items.push_back(field(level, "@n_4", x, 0));
      x += 100;
    }
    line.items.push_back(field("CUENTA_DESC", "@s30", kDescAt, 0));
    line.items.push_back(field("DEA:DESC", "@s20", kTextAt, 0));
    line.items.push_back(field("CARGO", kMoney, kDebitEnd, 0, true));
    line.items.push_back(field("ABONO", kMoney, kCreditEnd, 0, true));
    line.height = 42;

    reports::Band& sums = d_.totals;
    sums.lines.push_back({kDebitEnd - 300, 5, kCreditEnd, 5});
    sums.items.push_back(label("SUMAS DE CARGOS Y ABONOS:", kTextAt - 200, 20));
    for (auto [source, end] : {std::pair{"CARGO", kDebitEnd}, {"ABONO", kCreditEnd}}) {
      reports::BandItem total = field(source, kMoney, end, 20, true);
      total.total = true;
      sums.items.push_back(total);
    }
    // Three signature boxes side by side.
    const int top = 120, bottom = 330, width = (kCreditEnd - kLeft) / 3;
    const char* boxes[] = {"AUTORIZO", "REVISO", "RECIBE CHEQUE"};
    for (int i = 0; i < 3; ++i) {
      const int x1 = kLeft + i * width, x2 = x1 + width - 20;
      sums.lines.push_back({x1, top, x2, top});
      sums.lines.push_back({x1, bottom, x2, bottom});
      sums.lines.push_back({x1, top, x1, bottom});
      sums.lines.push_back({x2, top, x2, bottom});
      sums.items.push_back(label(boxes[i], x1 + 20, top + 15));
    }
    sums.height = bottom + 20;
  }

  std::map<AccountNumber, std::string, bool (*)(const AccountNumber&, const AccountNumber&)> names_;
  POA policy_;
  BAN bank_;
  std::vector<std::string> cheque_;
  std::int32_t number_;
  reports::ReportDescription d_;
  std::string name_;
  Decimal debit_, credit_;
};

bool accountLess(const AccountNumber& a, const AccountNumber& b) { return a.levels < b.levels; }

int print(Procedure& caller, reports::Report& report, std::int32_t today) {
  reports::RunSettings settings;
  settings.heading.date = today;
  return reports::printReport(caller, report, settings);
}

// REDIR11, then the 20 lines; 0 when the operator went back or the amount
// cannot be written in words (told).
bool askAndLay(Procedure& caller, const BAN& bank, ChequeQuestion& q, Decimal amount,
               std::vector<std::string>& lines) {
  q.bankName = bank.NOMB;
  q.bankAccount = bank.CUE;
  if (caller.call(makeRedir11(caller.program(), caller.context(), &q), request::Process) !=
      response::Completed)
    return false;
  if (!paymentChequeLines(bank, {q.date, q.payee, amount, q.message}, lines)) {
    caller.warn("EL IMPORTE NO SE PUEDE ESCRIBIR", "CON LETRA", "CON Ok CONTINUA ...");
    return false;
  }
  return true;
}

}  // namespace

std::string cutPayee(const std::string& payee, int width) {
  if (width <= 0) return payee;
  return cp1252::utf8Prefix(payee, std::size_t(width));
}

Status paymentChequeLines(const BAN& bank, const ChequeData& data,
                          std::vector<std::string>& lines) {
  std::string words;
  if (Status st = amountInWords(data.amount.toDouble(), words); !st) return st;
  BAN raised = bank;
  if (splitWords(words).size() > 1 && raised.ROW[2] > 1) --raised.ROW[2];
  return chequeLines(raised, data, lines);
}

std::array<std::string, 3> voucherReadFailure(const Status& st) {
  return {st.table == "BANC" ? "NO SE PUDO LEER EL BANCO DEL CHEQUE"
                             : "NO SE PUDO LEER LA POLIZA DEL CHEQUE",
          cp1252::utf8Prefix(st.text, 40), "IMPRIMALO CON EL BOTON CHEQUE"};
}

std::unique_ptr<Procedure> makeRedir11(Program& program, db::Context& ctx, ChequeQuestion* q) {
  return std::make_unique<Redir11>(program, ctx, q);
}

// Plain reads, each waiting for a lock like any other: a write transaction
// here would hold DETMES while waiting for BANC, the opposite order of a
// posting's, and two such stations wait for each other until one gives up.
Status findPolicyBank(db::Context& ctx, std::int32_t policy, BAN& bank, Decimal& amount) {
  db::Table& detmes = ctx.table("DETMES");
  db::Table& banc = ctx.table("BANC");
  const bool detmesOpen = detmes.isOpen(), bancOpen = banc.isOpen();
  struct Closer {
    db::Table& t;
    bool keep;
    ~Closer() {
      if (!keep) t.close();
    }
  } closeDetmes{detmes, detmesOpen}, closeBanc{banc, bancOpen};
  Status st = detmesOpen ? Status::success() : detmes.open();
  if (!st) return st.on("DETMES");
  if (!bancOpen && !(st = banc.open())) return st.on("BANC");

  detmes.clear();
  detmes.rec<DEA>().NUM = policy;
  st = detmes.set(detmes.info().key("DEA:NUM_KEY"));
  std::optional<DEA> last;
  while (st && (st = detmes.next()) && detmes.rec<DEA>().NUM == policy) last = detmes.rec<DEA>();
  if (!st && st.code != err::NoRecord) return st.on("DETMES");
  if (!last) return Status::error(err::RecordNotFound, "Póliza sin renglones").on("DETMES");
  const DEA& d = *last;
  const AccountNumber account{{d.CTA, d.SCTA, d.SSCTA, d.SSSCTA, d.SSSSCTA}};
  amount = Decimal::fromDouble(d.CANT).value_or(Decimal());
  st = banc.setStart(nullptr);
  while (st && (st = banc.next()))
    if (accountOf(banc.rec<BAN>()) == account) {
      bank = banc.rec<BAN>();
      return Status::success();
    }
  if (st.code != err::NoRecord) return st.on("BANC");
  return Status::error(err::RecordNotFound, "Banco de la póliza").on("BANC");
}

std::unique_ptr<reports::Report> makeImpDos(db::Context& ctx, const POA& policy, const BAN& bank,
                                            std::vector<std::string> cheque,
                                            std::int32_t chequeNumber) {
  std::map<AccountNumber, std::string, bool (*)(const AccountNumber&, const AccountNumber&)> names(
      accountLess);
  db::Table& detmes = ctx.table("DETMES");
  db::Table& cuen = ctx.table("CUEN");
  db::Transaction tx(ctx, {&detmes, &cuen});
  if (tx.status()) {
    detmes.clear();
    detmes.rec<DEA>().NUM = policy.NUM;
    Status st = detmes.set(detmes.info().key("DEA:NUM_KEY"));
    std::vector<AccountNumber> accounts;
    while (st && (st = detmes.next()) && detmes.rec<DEA>().NUM == policy.NUM) {
      const DEA& d = detmes.rec<DEA>();
      accounts.push_back({{d.CTA, d.SCTA, d.SSCTA, d.SSSCTA, d.SSSSCTA}});
    }
    for (const AccountNumber& a : accounts)
      if (readAccount(cuen, a)) names[a] = trimmed(cuen.rec<CUE>().DESC);
  }
  return std::make_unique<ImpDos>(std::move(names), policy, bank, std::move(cheque), chequeNumber);
}

int printPaymentCheque(Procedure& caller, std::int32_t bankNumber, const std::string& payee,
                       Decimal amount, std::int32_t today) {
  db::Table& banc = caller.table("BANC");
  BAN bank{};
  {
    db::Transaction tx(caller.context(), {&banc});
    banc.clear();
    banc.rec<BAN>().CTA = bankNumber;
    if (!tx.status() || !banc.get("BAN:KEYCTA")) {
      caller.warn("NO ENCONTRE EL BANCO", "VERIFIQUE SI FUE DADO DE ALTA", "CON Ok CONTINUA ...");
      return response::Cancelled;
    }
    bank = banc.rec<BAN>();
  }
  ChequeQuestion q;
  q.date = today;
  q.payee = payee;
  q.payeeWidth = int(bank.COL[3]) - int(bank.COL[1]);
  std::vector<std::string> lines;
  if (!askAndLay(caller, bank, q, amount, lines)) return response::Cancelled;
  std::unique_ptr<reports::Report> report = makeChequeReport(bank.CTA, std::move(lines));
  return print(caller, *report, today);
}

int printChequeVoucher(Procedure& caller, const POA& policy, std::int32_t chequeNumber,
                       const std::string& payee, std::int32_t today) {
  BAN bank{};
  Decimal amount;
  if (Status st = findPolicyBank(caller.context(), policy.NUM, bank, amount); !st) {
    // Only a bank that is really missing is told as missing; anything else
    // is named by the file's own error. The payment is posted either way,
    // and its cheque is printed again from the payments list.
    if (st.code == err::RecordNotFound && st.table == "BANC")
      caller.warn("NO ENCONTRE EL BANCO", "VERIFIQUE SI FUE DADO DE ALTA", "CON Ok CONTINUA ...");
    else
      caller.warn(voucherReadFailure(st)[0], voucherReadFailure(st)[1], voucherReadFailure(st)[2]);
    return response::Cancelled;
  }
  ChequeQuestion q;
  q.date = today;
  q.payee = payee;
  q.payeeWidth = int(bank.COL[3]) - int(bank.COL[1]) - 2;
  std::vector<std::string> lines;
  if (!askAndLay(caller, bank, q, amount, lines)) return response::Cancelled;
  std::unique_ptr<reports::Report> report =
      makeImpDos(caller.context(), policy, bank, std::move(lines), chequeNumber);
  return print(caller, *report, today);
}

}  // namespace velmora::accounting
