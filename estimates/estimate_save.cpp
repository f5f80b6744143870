#include "estimates/estimate_save.h"

#include <cstdint>

#include "dictionary/unit_of_work.h"
#include "estimates/estimate_messages.h"
#include "estimates/item_numbers.h"

namespace velmora::estimates {

namespace msg = estimate_message;

namespace {

double real(Decimal d) { return d.toDouble(); }

void stamp(std::int32_t& usua, std::int32_t& acfe, std::int32_t& acho, const Stamp& s) {
  usua = s.user, acfe = s.date, acho = s.time;
}

// Reports `st` as a failure at `step`, with the error's text above the
// estimate's own two lines when it has them.
Status fail(SaveOutcome& out, SaveStep step, Status st,
            const std::array<const char*, 2>* lines = nullptr,
            FileAction action = FileAction::Transaction) {
  out.step = step;
  out.action = action;
  if (lines) out.message = {st.text, (*lines)[0], (*lines)[1]};
  return st;
}

Status refuse(SaveOutcome& out, const msg::Lines& lines) {
  out.step = SaveStep::Refused;
  out.message = {lines[0], lines[1], lines[2]};
  return Status::error(err::ValueRefused, lines[0]).on("POLI");
}

// The folio of a new estimate: one more than the last, read inside the
// transaction that adds it.
Status nextFolio(db::Table& poli, std::int16_t& folio) {
  const dict::KeyInfo* key = poli.info().key("POL:CTA_KEY");
  Status st = poli.setStart(key);
  if (st) st = poli.previous();
  if (st.code == err::NoRecord) {
    folio = 1;
    return Status::success();
  }
  if (!st) return st;
  if (poli.rec<POL>().CTA >= INT16_MAX)
    return Status::error(err::ValueRefused, "No quedan folios de pólizas libres").on("POLI");
  folio = static_cast<std::int16_t>(poli.rec<POL>().CTA + 1);
  return Status::success();
}

// Positions the header: a free folio for an insert, the estimate as it was
// read for a change. The buffer then holds what is to be written over.
Status placeHeader(db::Table& poli, const EstimateHeader& h, SaveOutcome& out) {
  if (h.insert) {
    std::int16_t folio = 0;
    Status st = nextFolio(poli, folio);
    if (!st) return fail(out, SaveStep::ReadEstimate, st, nullptr, FileAction::Read);
    poli.clear();
    poli.rec<POL>().CTA = folio;
    return Status::success();
  }
  if (!h.read)
    return fail(out, SaveStep::ReadEstimate,
                Status::error(err::RecordNotFound, db::errorText(err::RecordNotFound)).on("POLI"),
                nullptr, FileAction::Read);
  poli.clear();
  poli.rec<POL>().CTA = h.read->CTA;
  Status st = poli.get("POL:CTA_KEY");
  if (!st) return fail(out, SaveStep::ReadEstimate, st.on("POLI"), nullptr, FileAction::Read);
  Record was(POL::info());
  was.as<POL>() = *h.read;
  if (!(poli.buffer() == was))
    return fail(out, SaveStep::ReadEstimate,
                Status::error(err::RecordChanged, db::errorText(err::RecordChanged)).on("POLI"),
                nullptr, FileAction::Change);
  return Status::success();
}

Status removeLines(db::Table& dpol, std::int16_t folio) {
  std::vector<std::int64_t> rows;
  dpol.clear();
  dpol.rec<DPO>().CTA = folio;
  Status st = dpol.set(dpol.info().key("DPO:CTA_KEY"), 1);
  while (st && (st = dpol.next()) && dpol.rec<DPO>().CTA == folio) rows.push_back(dpol.position());
  if (!st && st.code != err::NoRecord) return st;
  for (std::int64_t row : rows)
    if (!(st = dpol.removeByPosition(row))) return st;
  return Status::success();
}

Status readContractor(db::Table& cont, std::int16_t number) {
  cont.clear();
  cont.rec<CTR>().CTA = number;
  return cont.get("CTR:CTA_KEY").on("CONT");
}

Status writeHeader(db::Table& poli, const EstimateHeader& h, SaveOutcome& out) {
  POL& p = poli.rec<POL>();
  stamp(p.USUA, p.ACFE, p.ACHO, h.stamp);
  Status st = h.insert ? poli.add() : poli.put();
  if (!st)
    return fail(out, SaveStep::WriteEstimate, st.on("POLI"), nullptr,
                h.insert ? FileAction::Add : FileAction::Change);
  out.saved = p;
  return Status::success();
}

Status committed(db::Transaction& tx, SaveOutcome& out) {
  Status st = tx.commit();
  if (!st) return fail(out, SaveStep::Commit, st);
  return st;
}

}  // namespace

Status saveProgressEstimate(db::Context& ctx, const ProgressEstimate& in, SaveOutcome* result) {
  SaveOutcome ignored;
  SaveOutcome& out = result ? *result : ignored;
  out = {};
  db::Table& poli = ctx.table("POLI");
  db::Table& dpol = ctx.table("DPOL");
  db::Table& part = ctx.table("PART");
  db::Table& cont = ctx.table("CONT");
  db::Transaction tx(ctx, {&poli, &dpol, &part, &cont});
  if (!tx.status()) return fail(out, SaveStep::Begin, tx.status());
  const EstimateHeader& h = in.header;
  Status st = placeHeader(poli, h, out);
  if (!st) return st;
  POL& p = poli.rec<POL>();
  p.CONT = h.contractor;
  p.FECH = h.date;
  p.REFE = h.reference;
  p.NOPO = h.policy;
  if (!(st = removeLines(dpol, p.CTA)))
    return fail(out, SaveStep::RemoveLines, st.on("DPOL"), nullptr, FileAction::Delete);

  p.PANT = real(in.finals.amortisation);
  p.PFON = real(in.finals.fund);
  p.IVA = real(in.finals.iva);
  p.PPRE = real(in.finals.previousLoan);
  p.PRES = real(in.finals.loan);
  p.NOMI = real(in.finals.payroll);
  p.TACU = 0;
  Decimal amount;
  for (const EstimateLine& line : in.lines) {
    if (line.quantity.cents() == 0) continue;
    part.clear();
    PAR& item = part.rec<PAR>();
    item.CONC = line.conc, item.PROC = line.process, item.FREN = line.front;
    if (!(st = part.get("PAR:CTA_KEY").on("PART")))
      return fail(out, SaveStep::ReadItem, st, &msg::kReadItem);
    dpol.clear();
    DPO& d = dpol.rec<DPO>();
    d.CTA = p.CTA, d.PART = line.conc, d.PROC = line.process, d.FREN = line.front;
    const Decimal before = figure(item.TPAG);
    const Decimal after = Decimal::fromCents(before.cents() + line.amount.cents());
    d.TANT = real(before);
    d.TACT = real(after);
    d.PANT = item.AVAN;
    d.PACT = real(line.percent);
    stamp(d.USUA, d.ACFE, d.ACHO, h.stamp);
    amount = Decimal::fromCents(amount.cents() + line.amount.cents());
    item.TPAG = d.TACT;
    item.AVAN = d.PACT;
    stamp(item.USUA, item.ACFE, item.ACHO, h.stamp);
    if (!(st = part.put().on("PART"))) return fail(out, SaveStep::WriteItem, st, &msg::kWriteItem);
    if (!(st = dpol.add().on("DPOL"))) return fail(out, SaveStep::AddLine, st, &msg::kAddLine);
  }
  p.CANT = real(amount);

  if (!(st = readContractor(cont, h.contractor)))
    return fail(out, SaveStep::ReadContractor, st, &msg::kReadContractor);
  CTR& c = cont.rec<CTR>();
  const Decimal pant = in.finals.amortisation, pfon = in.finals.fund;
  p.UFEC = c.UFEC;
  p.SANT = real(Decimal::fromCents(figure(c.ANTI).cents() - figure(c.AAMO).cents() - pant.cents()));
  p.SFON = real(Decimal::fromCents(figure(c.GAAC).cents() + pfon.cents()));
  p.TACU = c.TPAG;
  if (h.insert) ++c.UEST;
  c.TPAG = real(Decimal::fromCents(figure(c.TPAG).cents() + amount.cents()));
  p.ESTI = c.UEST;
  c.UFEC = p.FECH;
  c.AAMO = real(Decimal::fromCents(figure(c.AAMO).cents() + pant.cents()));
  c.GAAC = real(Decimal::fromCents(figure(c.GAAC).cents() + pfon.cents()));
  c.PRES = p.PRES;
  c.TIVA = real(Decimal::fromCents(figure(c.TIVA).cents() + in.finals.iva.cents()));
  // A change leaves the contractor to the audit that follows it.
  if (h.insert) {
    stamp(c.USUA, c.ACFE, c.ACHO, h.stamp);
    if (!(st = cont.put().on("CONT")))
      return fail(out, SaveStep::WriteContractor, st, &msg::kWriteContractor);
  }
  if (!(st = writeHeader(poli, h, out))) return st;
  return committed(tx, out);
}

Status saveAdvance(db::Context& ctx, const AdvanceEntry& in, SaveOutcome* result) {
  SaveOutcome ignored;
  SaveOutcome& out = result ? *result : ignored;
  out = {};
  if (in.amount.cents() <= 0 || (in.type != '1' && in.type != '3'))
    return refuse(out, msg::kNoAmount);
  db::Table& poli = ctx.table("POLI");
  db::Table& dpol = ctx.table("DPOL");
  db::Table& cont = ctx.table("CONT");
  db::Transaction tx(ctx, {&poli, &dpol, &cont});
  if (!tx.status()) return fail(out, SaveStep::Begin, tx.status());
  const EstimateHeader& h = in.header;
  Status st = placeHeader(poli, h, out);
  if (!st) return st;
  POL& p = poli.rec<POL>();
  if (!(st = removeLines(dpol, p.CTA)))
    return fail(out, SaveStep::RemoveLines, st.on("DPOL"), nullptr, FileAction::Delete);
  p.CONT = h.contractor;
  p.FECH = h.date;
  p.CANT = p.PPRE = p.PRES = p.IVA = p.TACU = p.NOMI = p.SANT = p.SFON = 0;
  p.REFE = 0, p.NOPO = 0;
  if (!(st = readContractor(cont, h.contractor)))
    return fail(out, SaveStep::ReadContractor, st, &msg::kReadContractor);
  CTR& c = cont.rec<CTR>();
  // Checked again on the contractor as he is now: another station may have
  // moved his balances since the window showed them. A change finds its own
  // amount already in them, and is left to the audit that follows it.
  Decimal amount = in.amount;
  const double value = real(amount);
  if (in.type == '1') {
    if (h.insert && capAdvance(c, amount)) return refuse(out, msg::kAdvanceTooBig);
    p.ESTI = -1, p.UFEC = 1;
    p.CANT = value, p.PANT = -value, p.PFON = 0;
    c.ANTI = real(Decimal::fromCents(figure(c.ANTI).cents() + in.amount.cents()));
  } else {
    if (h.insert && capFundReturn(c, amount)) return refuse(out, msg::kFundTooBig);
    p.ESTI = -3, p.UFEC = 3;
    p.CANT = value, p.PFON = -value, p.PANT = 0;
    c.GAAC = real(Decimal::fromCents(figure(c.GAAC).cents() - in.amount.cents()));
  }
  stamp(c.USUA, c.ACFE, c.ACHO, h.stamp);
  if (!(st = cont.put().on("CONT")))
    return fail(out, SaveStep::WriteContractor, st, &msg::kWriteContractor);
  if (!(st = writeHeader(poli, h, out))) return st;
  return committed(tx, out);
}

Status deleteEstimate(db::Context& ctx, std::int16_t folio, SaveOutcome* result) {
  SaveOutcome ignored;
  SaveOutcome& out = result ? *result : ignored;
  out = {};
  db::Table& poli = ctx.table("POLI");
  db::Table& dpol = ctx.table("DPOL");
  db::Table& cont = ctx.table("CONT");
  db::Transaction tx(ctx, {&poli, &dpol, &cont});
  if (!tx.status()) return fail(out, SaveStep::Begin, tx.status());
  poli.clear();
  poli.rec<POL>().CTA = folio;
  Status st = poli.get("POL:CTA_KEY");
  if (!st) return fail(out, SaveStep::ReadEstimate, st.on("POLI"), nullptr, FileAction::Read);
  const POL p = poli.rec<POL>();
  if (p.NOPO > 0) return refuse(out, msg::kPostedNoDelete);
  if (!(st = readContractor(cont, p.CONT)))
    return fail(out, SaveStep::ReadContractor, st, &msg::kReadContractor);
  if (cont.rec<CTR>().UEST != p.ESTI && p.UFEC != 1) return refuse(out, msg::kOnlyLastDelete);
  // The lines go with their header: a later estimate may take the folio.
  if (!(st = removeLines(dpol, folio)))
    return fail(out, SaveStep::RemoveLines, st.on("DPOL"), nullptr, FileAction::Delete);
  poli.clear();
  poli.rec<POL>().CTA = folio;
  if (!(st = poli.get("POL:CTA_KEY")) || !(st = poli.remove()))
    return fail(out, SaveStep::WriteEstimate, st.on("POLI"), nullptr, FileAction::Delete);
  out.saved = p;
  return committed(tx, out);
}

Status readEstimateLines(db::Context& ctx, std::int16_t folio, bool rollBack, const Stamp& s,
                         std::vector<EstimateLine>& lines) {
  lines.clear();
  db::Table& dpol = ctx.table("DPOL");
  db::Table& part = ctx.table("PART");
  db::Transaction tx(ctx, {&dpol, &part});
  Status st = tx.status();
  if (!st) return st;
  std::vector<DPO> stored;
  dpol.clear();
  dpol.rec<DPO>().CTA = folio;
  st = dpol.set(dpol.info().key("DPO:CTA_KEY"), 1);
  while (st && (st = dpol.next()) && dpol.rec<DPO>().CTA == folio)
    stored.push_back(dpol.rec<DPO>());
  if (!st && st.code != err::NoRecord) return st.on("DPOL");
  for (const DPO& d : stored) {
    part.clear();
    PAR& item = part.rec<PAR>();
    item.CONC = d.PART, item.PROC = d.PROC, item.FREN = d.FREN;
    st = part.get("PAR:CTA_KEY");
    if (!st && st.code != err::RecordNotFound) return st.on("PART");
    EstimateLine line;
    line.conc = d.PART, line.process = d.PROC, line.front = d.FREN;
    if (st) line.text = item.TEXT, line.unit = item.UNID;
    line.paidBefore = figure(d.PANT);
    line.quantity = figure(d.PACT);
    line.amount = Decimal::fromCents(figure(d.TACT).cents() - figure(d.TANT).cents());
    line.percent = figure(d.PACT);
    if (st && rollBack) {
      item.TPAG = d.TANT;
      item.AVAN = d.PANT;
      item.FECHAU = item.FECHAI;
      stamp(item.USUA, item.ACFE, item.ACHO, s);
      if (!(st = part.put())) return st.on("PART");
    }
    lines.push_back(std::move(line));
  }
  return tx.commit();
}

}  // namespace velmora::estimates
