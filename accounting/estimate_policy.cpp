#include "accounting/estimate_policy.h"

#include <cmath>
#include <optional>

#include "dictionary/cp1252.h"
#include "dictionary/dates.h"
#include "dictionary/posting_flag.h"
#include "dictionary/unit_of_work.h"
#include "framework/picture.h"

namespace velmora::accounting {

namespace {

// The lines' own two lines of a failed write, by their row.
constexpr std::array<std::array<const char*, 2>, 8> kLineErrors = {{
    {"ERROR AL ACTUALIZAR CTA", "NOMINA"},
    {"ERROR AL ACTUALIZAR CTA", "SUELDOS x PAGAR"},
    {"ERROR AL ACTUALIZAR EL", "COSTO DE OBRA"},
    {"ERROR AL ACTUALIZAR LA", "CUENTA DEL IVA"},
    {"ERROR AL ACTUALIZAR LA", "CUENTA DEL ANTICIPOS"},
    {"ERROR AL ACTUALIZAR LA CTA", "DE FONDO DE GARANTIA"},
    {"ERROR AL ACTUALIZAR LA CTA", "DE PRESTAMOS EN DESTAJOS"},
    {"ERROR AL ACTUALIAR EL", "CUENTA BANCARIA"},
}};

// Every account of the policy, in the order they are looked up, with the
// two lines telling that one is missing and the name it goes by.
struct Needed {
  AccountNumber EstimateAccounts::*account;
  const char* missing;
  const char* define;
  const char* name;
};
constexpr std::array<Needed, 7> kNeeded = {{
    {&EstimateAccounts::bank, "NO ENCONTRE LA CTA DEL BANCO", "DE OBRA, DEBE DEFINIRSE LA CTA",
     "DEL BANCO"},
    {&EstimateAccounts::payroll, "NO ENCONTRE CTA DE NOMINA", "DE OBRA, DEBE DEFINIRSE LA CTA",
     "DE NOMINA"},
    {&EstimateAccounts::cost, "NO ENCONTRE LA CTA DE DESTAJOS", "OBRA, DEBE DEFINIRSE LA CTA",
     "DE DESTAJOS"},
    {&EstimateAccounts::advances, "NO ENCONTRE LA CTA DE ANTICIPOS",
     "DE DESTAJOS, DEBE DEFINIRSE LA CTA", "DE ANTICIPOS"},
    {&EstimateAccounts::loans, "NO ENCONTRE LA CTA DE PRESTAMOS",
     "DE DESTAJOS, DEBE DEFINIRSE LA CTA", "DE PRESTAMOS"},
    {&EstimateAccounts::funds, "NO ENCONTRE LA CTA DE FONDOS DE", "GARANTIA, DEBE DEFINIRSE LA CTA",
     "DE FONDOS"},
    {&EstimateAccounts::iva, "NO ENCONTRE LA CTA DE IVA EN", "DEBE DEFINIRSE LA CTA", "DE IVA"},
}};

// The amount of the estimate's REAL figures to the cent, half away from
// zero as the decimal figure reads: a difference of two doubles is taken
// in millionths first, so 1234.565 never turns into 1234.5649999.
std::int64_t micros(double v) { return std::llround(v * 1e6); }
Decimal rounded(std::int64_t micro) {
  const std::int64_t half = micro >= 0 ? 5000 : -5000;
  return Decimal::fromCents((micro + half) / 10000);
}

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

PolicyLine line(int row, Side side, const AccountNumber& account, std::int64_t micro,
                std::string description) {
  PolicyLine l;
  l.row = row;
  l.account = account;
  // The sign rule: a negative amount is the other side's.
  l.side = micro >= 0 ? side : (side == Side::Debit ? Side::Credit : Side::Debit);
  l.amount = rounded(micro >= 0 ? micro : -micro);
  l.description = cp1252::utf8Prefix(description, 30);
  return l;
}

}  // namespace

EstimateAccounts estimateAccounts(const OBR& work, const BAN& bank) {
  EstimateAccounts a;
  a.payroll = accountOf(work.CONTA[10]);
  a.cost = accountOf(work.CONTA[12]);
  a.iva = accountOf(work.CONTA[3]);
  a.advances = accountOf(work.CONTA[5]);
  a.loans = accountOf(work.CONTA[6]);
  a.funds = accountOf(work.CONTA[7]);
  a.bank = accountOf(bank);
  return a;
}

std::vector<PolicyLine> estimatePolicyLines(const POL& p, const CTR& c, const EstimateAccounts& a) {
  const std::string number = std::to_string(c.CTA);
  const std::string name = trimmed(c.NOMB);
  std::vector<PolicyLine> all = {
      line(1, Side::Debit, a.payroll, micros(p.NOMI), "NOMINA C/" + number),
      line(2, Side::Credit, a.payroll, micros(p.NOMI), "NOMINA C/" + number),
      line(3, Side::Debit, a.cost, p.ESTI > 0 ? micros(p.CANT) - micros(p.NOMI) : 0,
           "DESTAJO " + name),
      line(4, Side::Debit, a.iva, micros(p.IVA), "IVA DESTAJO C/" + number),
      line(5, Side::Credit, a.advances, micros(p.PANT), "ANTICIPO C/" + name),
      line(6, Side::Credit, a.funds, micros(p.PFON), "FONDO GTIA C/" + name),
      line(7, Side::Debit, a.loans, micros(p.PRES) - micros(p.PPRE), "PRESTAMOS C/" + name),
  };
  std::vector<PolicyLine> lines;
  std::int64_t balance = 0;  // debits less credits, in cents
  for (PolicyLine& l : all) {
    if (l.account.levels[0] <= 0 || l.amount.cents() == 0) continue;
    balance += l.side == Side::Debit ? l.amount.cents() : -l.amount.cents();
    lines.push_back(std::move(l));
  }
  // The bank pays what the other lines leave: the amount to pay, with the
  // cent or two the rounding of the separate lines left over. Should the
  // others credit more than they debit, the bank is debited rather than
  // given a negative amount.
  PolicyLine bank;
  bank.row = 8;
  bank.account = a.bank;
  bank.side = balance >= 0 ? Side::Credit : Side::Debit;
  bank.amount = Decimal::fromCents(balance >= 0 ? balance : -balance);
  bank.description = cp1252::utf8Prefix("PAGO ESTIMACION " + std::to_string(p.CTA), 30);
  lines.push_back(std::move(bank));
  return lines;
}

namespace {

// The bank line's amount as the cheque pays it: a debit takes money in.
Decimal paidBy(const PolicyLine& bank) {
  return Decimal::fromCents(bank.side == Side::Credit ? bank.amount.cents() : -bank.amount.cents());
}

}  // namespace

Decimal chequeAmount(const POL& estimate) {
  EstimateAccounts every;
  for (AccountNumber* a : {&every.payroll, &every.cost, &every.iva, &every.advances, &every.loans,
                           &every.funds, &every.bank})
    a->levels[0] = 1;
  return paidBy(estimatePolicyLines(estimate, CTR{}, every).back());
}

std::string amountText(Decimal amount) {
  std::string text = formatPicture("@n-20.2", Value(amount));
  text.erase(0, text.find_first_not_of(' '));
  return "$" + text;
}

Lines3 nothingToPay(std::int16_t folio, Decimal amount, const std::string& outcome) {
  return {"EL IMPORTE A PAGAR DEBE SER MAYOR A CERO",
          "ESTIMACION " + std::to_string(folio) + ": " + amountText(amount), outcome};
}

namespace {

class Posting {
 public:
  Posting(db::Context& ctx, const PostingInput& in, PostingOutcome& out)
      : ctx_(ctx), in_(in), out_(out) {}

  Status run();

 private:
  Status fail(PostingStep step, Status st, FileAction action) {
    out_.step = step;
    out_.action = action;
    return st;
  }
  Status tell(PostingStep step, Lines3 lines) {
    out_.step = step;
    out_.messages.push_back(lines);
    return Status::error(err::ValueRefused, lines[0]).on("POLI");
  }
  Status readWork(OBR& work);
  Status checkAccounts(const EstimateAccounts& accounts);
  Status takeLock();
  Status writeLines();
  Status writeLinks();

  db::Context& ctx_;
  const PostingInput& in_;
  PostingOutcome& out_;
  db::Table& polmes_ = ctx_.table("POLMES");
  db::Table& detmes_ = ctx_.table("DETMES");
  db::Table& cuen_ = ctx_.table("CUEN");
  db::Table& banc_ = ctx_.table("BANC");
  db::Table& poli_ = ctx_.table("POLI");
  db::Table& cont_ = ctx_.table("CONT");
  db::Table& control_ = ctx_.table("CONTROL");
};

Status Posting::readWork(OBR& work) {
  db::Table& obra = ctx_.table("OBRA");
  const bool wasOpen = obra.isOpen();
  Status st = wasOpen ? Status::success() : obra.open();
  if (st) {
    obra.clear();
    obra.rec<OBR>().CTA = in_.work;
    st = obra.get("OBR:CTA_KEY").on("OBRA");
    if (st) work = obra.rec<OBR>();
  }
  if (!wasOpen) obra.close();
  return st;
}

Status Posting::checkAccounts(const EstimateAccounts& accounts) {
  std::vector<AccountNumber> needed;
  for (const Needed& n : kNeeded) needed.push_back(accounts.*n.account);
  if (Status st = holdAccounts(cuen_, needed); !st) return st;
  bool missing = false;
  for (const Needed& n : kNeeded) {
    Status st = readAccount(cuen_, accounts.*n.account);
    if (!st) {
      if (st.code != err::RecordNotFound && st.code != err::NoRecord)
        return fail(PostingStep::Read, st, FileAction::Read);
      out_.messages.push_back({"ERROR " + st.text, n.missing, n.define});
      missing = true;
    } else if (cuen_.rec<CUE>().ULNI == "N") {
      // A parent account takes no entries of its own.
      out_.messages.push_back({std::string("LA CTA ") + n.name + " " + (accounts.*n.account).text(),
                               "NO ES DE ULTIMO NIVEL,", "DEBE DEFINIRSE LA CTA"});
      missing = true;
    }
  }
  if (!missing) return Status::success();
  return tell(PostingStep::MissingAccounts,
              {"LA POLIZA CONTABLE NO SERA INCLUIDA", "AUTOMATICAMENTE PORQUE FALTA DEFINIR",
               "LAS CUENTAS PARA POLIZAS AUTOMATICAS"});
}

// Read and set inside the posting's own write transaction, so no other
// station can take the flag between the two.
Status Posting::takeLock() {
  bool busy = false;
  db::Table::FlagHolder holder;
  Status st = db::readPostingFlag(control_, busy, holder);
  if (!st)
    return tell(PostingStep::Busy, {"ACTUALIZANDO ARCHIVOS EN OTRA",
                                    "TERMINAL... INTENTE NUEVAMENTE", "CON Ok CONTINUA ..."});
  if (busy) return tell(PostingStep::Busy, db::postingBusyLines(holder));
  if (!in_.holdLock) return Status::success();
  if (!(st = db::takePostingFlag(control_, in_.user).on("CONTROL")))
    return fail(PostingStep::Write, st, FileAction::Change);
  return st;
}

Status Posting::writeLines() {
  POA& h = polmes_.rec<POA>();
  const int month = dates::monthOf(in_.today);
  for (const PolicyLine& l : out_.lines) {
    detmes_.clear();
    DEA& d = detmes_.rec<DEA>();
    d.NUM = h.NUM;
    d.DIA = static_cast<std::uint8_t>(dates::dayOf(in_.today));
    d.USER = h.USER, d.HOUS = in_.now, d.FEUS = in_.today;
    d.CARG = std::string(1, char(l.side));
    putAccount(d, l.account);
    d.CANT = l.amount.toDouble();
    d.DESC = l.description;
    Status st = detmes_.add().on("DETMES");
    if (st) st = rollUp(cuen_, l.account, l.amount, l.side, month);
    if (!st) {
      const auto& why = kLineErrors[std::size_t(l.row - 1)];
      out_.messages.push_back({st.text, why[0], why[1]});
      return fail(PostingStep::Write, st, FileAction::Add);
    }
    if (l.side == Side::Debit)
      h.CANT = Decimal::fromCents(cents(h.CANT).cents() + l.amount.cents()).toDouble();
  }
  return Status::success();
}

Status Posting::writeLinks() {
  POA& h = polmes_.rec<POA>();
  Status st = polmes_.put().on("POLMES");
  if (!st) return fail(PostingStep::Write, st, FileAction::Change);
  out_.policy = h;
  BAN& b = banc_.rec<BAN>();
  const std::int64_t paid = out_.paid.cents();
  b.SALD = Decimal::fromCents(cents(b.SALD).cents() - paid).toDouble();
  if (!(st = banc_.put().on("BANC"))) return fail(PostingStep::Write, st, FileAction::Change);
  POL& p = poli_.rec<POL>();
  p.NOPO = h.NUM;
  p.ACHO = in_.now, p.ACFE = in_.today;
  if (!(st = poli_.put().on("POLI"))) return fail(PostingStep::Write, st, FileAction::Change);
  cont_.rec<CTR>().UCON = h.NUM;
  if (!(st = cont_.put().on("CONT"))) return fail(PostingStep::Write, st, FileAction::Change);
  return st;
}

Status Posting::run() {
  OBR work{};
  if (Status st = readWork(work); !st) return fail(PostingStep::Read, st, FileAction::Read);
  db::Transaction tx(ctx_, {&polmes_, &detmes_, &cuen_, &banc_, &poli_, &cont_, &control_});
  if (!tx.status()) return fail(PostingStep::Begin, tx.status(), FileAction::Transaction);

  poli_.clear();
  poli_.rec<POL>().CTA = in_.estimate;
  Status st = poli_.get("POL:CTA_KEY").on("POLI");
  if (!st) return fail(PostingStep::Read, st, FileAction::Read);
  const POL estimate = poli_.rec<POL>();
  // Another station may have posted it since the list was shown.
  if (estimate.NOPO != 0)
    return tell(PostingStep::Posted,
                {"LA ESTIMACION YA TIENE POLIZA", "CONTABLE No " + std::to_string(estimate.NOPO),
                 "NO SE GENERA OTRA..."});
  // Nothing to pay, or money into the bank: neither is a cheque.
  if (const Decimal pay = chequeAmount(estimate); pay.cents() <= 0)
    return tell(PostingStep::NothingToPay,
                nothingToPay(estimate.CTA, pay, "NO SE GENERA LA POLIZA NI EL CHEQUE"));
  cont_.clear();
  cont_.rec<CTR>().CTA = estimate.CONT;
  if (!(st = cont_.get("CTR:CTA_KEY").on("CONT")))
    return fail(PostingStep::Read, st, FileAction::Read);
  banc_.clear();
  banc_.rec<BAN>().CTA = in_.bank;
  if (!(st = banc_.get("BAN:KEYCTA").on("BANC")))
    return tell(PostingStep::Read, {"NO ENCONTRE EL BANCO", "VERIFIQUE SI FUE DADO DE ALTA", ""});

  if (work.POAU[0] == 0)
    return tell(PostingStep::Disabled,
                {"NO ESTA HABILITADO EL MODULO", "DE CONTABILIDAD AUTOMATICA EN",
                 "EL SISTEMA DE PRESUPUESTOS"});
  const EstimateAccounts accounts = estimateAccounts(work, banc_.rec<BAN>());
  if (!(st = checkAccounts(accounts))) return st;
  if (!(st = takeLock())) return st;

  // The number: one more than the last policy of the month.
  std::int32_t number = 1;
  st = polmes_.setStart(polmes_.info().key("POA:NUM_KEY"));
  if (st) st = polmes_.previous();
  if (st)
    number = polmes_.rec<POA>().NUM + 1;
  else if (st.code != err::NoRecord)
    return fail(PostingStep::Read, st.on("POLMES"), FileAction::Read);
  polmes_.clear();
  POA& h = polmes_.rec<POA>();
  h.NUM = number;
  h.DESC = "ESTIMACION x M/OBRA " + formatPicture("@n_6", double(estimate.CTA));
  h.FECH = estimate.FECH;
  h.REFE = estimate.CTA;
  h.HOUS = in_.now, h.FEUS = in_.today;
  if (!(st = polmes_.add().on("POLMES"))) return fail(PostingStep::Write, st, FileAction::Add);

  out_.lines = estimatePolicyLines(estimate, cont_.rec<CTR>(), accounts);
  out_.paid = paidBy(out_.lines.back());
  if (!(st = writeLines())) return st;
  if (!(st = writeLinks())) return st;
  out_.step = PostingStep::Commit;
  if (!(st = tx.commit())) return fail(PostingStep::Commit, st, FileAction::Transaction);
  out_.step = PostingStep::Done;
  return st;
}

}  // namespace

Status postEstimate(db::Context& ctx, const PostingInput& input, PostingOutcome* outcome) {
  PostingOutcome ignored;
  PostingOutcome& out = outcome ? *outcome : ignored;
  out = {};
  return Posting(ctx, input, out).run();
}

Status releasePostingLock(db::Context& ctx) {
  return db::clearPostingFlag(ctx, /*onlyIfDead=*/false);
}

Status findPostedCheque(db::Context& ctx, const POL& estimate, PostedCheque& cheque) {
  cheque = {};
  db::Table& polmes = ctx.table("POLMES");
  db::Table& detmes = ctx.table("DETMES");
  db::Table& banc = ctx.table("BANC");
  db::Transaction tx(ctx, {&polmes, &detmes, &banc});
  if (!tx.status()) return tx.status();
  auto missing = [](const Status& st) {
    return st.code == err::RecordNotFound || st.code == err::NoRecord;
  };
  polmes.clear();
  polmes.rec<POA>().NUM = estimate.NOPO;
  Status st = polmes.get("POA:NUM_KEY");
  if (!st) return missing(st) ? Status::success() : st.on("POLMES");
  // Numbers start again every month: the policy of that number in this
  // month's file may belong to another estimate, or to VOROVID.
  const POA head = polmes.rec<POA>();
  if (head.REFE != estimate.CTA) return Status::success();

  const std::string bankLine =
      cp1252::utf8Prefix("PAGO ESTIMACION " + std::to_string(estimate.CTA), 30);
  std::optional<DEA> line;
  detmes.clear();
  detmes.rec<DEA>().NUM = head.NUM;
  st = detmes.set(detmes.info().key("DEA:NUM_KEY"));
  while (st && (st = detmes.next()) && detmes.rec<DEA>().NUM == head.NUM)
    if (trimmed(detmes.rec<DEA>().DESC) == bankLine) line = detmes.rec<DEA>();
  if (!st && st.code != err::NoRecord) return st.on("DETMES");
  if (!line) return Status::success();
  const AccountNumber account{{line->CTA, line->SCTA, line->SSCTA, line->SSSCTA, line->SSSSCTA}};
  const std::int64_t amount = cents(line->CANT).cents();

  st = banc.setStart(nullptr);
  while (st && (st = banc.next())) {
    if (!(accountOf(banc.rec<BAN>()) == account)) continue;
    cheque.found = true;
    cheque.policy = head;
    cheque.bank = banc.rec<BAN>();
    cheque.amount = Decimal::fromCents(line->CARG == "A" ? amount : -amount);
    return Status::success();
  }
  return st.code == err::NoRecord ? Status::success() : st.on("BANC");
}

Status renamePolicy(db::Context& ctx, std::int32_t policy, const std::string& policyConcept) {
  if (trimmed(policyConcept).empty()) return Status::success();
  db::Table& polmes = ctx.table("POLMES");
  db::Transaction tx(ctx, {&polmes});
  Status st = tx.status();
  if (st) {
    polmes.clear();
    polmes.rec<POA>().NUM = policy;
    st = polmes.get("POA:NUM_KEY");
  }
  if (st) {
    polmes.rec<POA>().DESC = cp1252::utf8Prefix(policyConcept, 30);
    st = polmes.put();
  }
  if (st) st = tx.commit();
  return st.on("POLMES");
}

}  // namespace velmora::accounting
