#include "estimates/estimate_save.h"

#include <cstdint>
#include <map>
#include <set>

#include "dictionary/unit_of_work.h"
#include "estimates/estimate_messages.h"
#include "estimates/item_numbers.h"

namespace velmora::estimates {

namespace estimate_message {

namespace {
std::string itemName(double conc, std::int32_t process, std::int32_t front) {
  const std::int64_t h = hundredths(conc);
  std::string number = std::to_string(h / 100);
  if (h % 100 != 0) number += (h % 100 < 10 ? ".0" : ".") + std::to_string(h % 100);
  return number + "/" + std::to_string(process) + "/" + std::to_string(front);
}
}  // namespace

std::array<std::string, 3> otherStationItem(double conc, std::int32_t process, std::int32_t front) {
  return {"OTRA ESTACION MODIFICO LA PARTIDA", itemName(conc, process, front) + "; REVISE LA",
          "ESTIMACION Y GRABELA DE NUEVO"};
}

std::array<std::string, 3> laterEstimateItem(double conc, std::int32_t process, std::int32_t front,
                                             std::int16_t folio) {
  return {"LA PARTIDA " + itemName(conc, process, front),
          "YA TIENE AVANCE EN LA POLIZA " + std::to_string(folio), "POSTERIOR; VERIFIQUE USTED..."};
}

}  // namespace estimate_message

namespace msg = estimate_message;

namespace {

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

Status refuse(SaveOutcome& out, const std::array<std::string, 3>& lines) {
  out.step = SaveStep::Refused;
  out.message = lines;
  return Status::error(err::ValueRefused, lines[0]).on("POLI");
}
Status refuse(SaveOutcome& out, const msg::Lines& lines) {
  return refuse(out, std::array<std::string, 3>{lines[0], lines[1], lines[2]});
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

struct StoredLine {
  std::int64_t row = 0;
  DPO line{};
};

// The lines of a folio, in key order.
Status storedLines(db::Table& dpol, std::int16_t folio, std::vector<StoredLine>& out) {
  out.clear();
  dpol.clear();
  dpol.rec<DPO>().CTA = folio;
  Status st = dpol.set(dpol.info().key("DPO:CTA_KEY"), 1);
  while (st && (st = dpol.next()) && dpol.rec<DPO>().CTA == folio)
    out.push_back({dpol.position(), dpol.rec<DPO>()});
  if (!st && st.code != err::NoRecord) return st;
  return Status::success();
}

Status removeLines(db::Table& dpol, const std::vector<StoredLine>& lines) {
  for (const StoredLine& l : lines)
    if (Status st = dpol.removeByPosition(l.row); !st) return st;
  return Status::success();
}

// A budget item by its key, compared in hundredths of its number.
struct ItemId {
  std::int64_t conc = 0;
  std::int32_t process = 0;
  std::int32_t front = 0;
  auto operator<=>(const ItemId&) const = default;
};
ItemId idOf(double conc, std::int32_t process, std::int32_t front) {
  return {hundredths(conc), process, front};
}

// The first line after `folio` that pays one of `items`: changing or
// deleting the estimate would change what that later line was figured on.
Status laterLine(db::Table& dpol, std::int16_t folio, const std::set<ItemId>& items,
                 std::optional<DPO>& found) {
  found.reset();
  if (items.empty() || folio == INT16_MAX) return Status::success();
  dpol.clear();
  dpol.rec<DPO>().CTA = static_cast<std::int16_t>(folio + 1);
  Status st = dpol.set(dpol.info().key("DPO:CTA_KEY"), 1);
  while (st && (st = dpol.next())) {
    const DPO& d = dpol.rec<DPO>();
    if (d.CTA > folio && items.count(idOf(d.PART, d.PROC, d.FREN))) {
      found = d;
      return Status::success();
    }
  }
  return st.code == err::NoRecord ? Status::success() : st;
}

// The date of the estimate whose line comes last before `folio` on each of
// `items`: what the item's last date goes back to when the line of `folio`
// is taken off. Reads back from `folio` only as far as it must.
Status previousDates(db::Table& dpol, db::Table& poli, std::int16_t folio,
                     std::map<ItemId, std::int32_t>& dates) {
  std::set<ItemId> wanted;
  for (const auto& [id, date] : dates) wanted.insert(id);
  if (wanted.empty()) return Status::success();
  std::map<std::int16_t, std::int32_t> dateOf;
  dpol.clear();
  dpol.rec<DPO>().CTA = folio;
  Status st = dpol.set(dpol.info().key("DPO:CTA_KEY"), 1);
  while (!wanted.empty() && st && (st = dpol.previous())) {
    const DPO d = dpol.rec<DPO>();
    if (d.CTA >= folio) continue;
    auto it = wanted.find(idOf(d.PART, d.PROC, d.FREN));
    if (it == wanted.end()) continue;
    if (!dateOf.count(d.CTA)) {
      poli.clear();
      poli.rec<POL>().CTA = d.CTA;
      Status got = poli.get("POL:CTA_KEY");
      if (!got && got.code != err::RecordNotFound) return got.on("POLI");
      dateOf[d.CTA] = got ? poli.rec<POL>().FECH : 0;
    }
    dates[*it] = dateOf[d.CTA];
    wanted.erase(it);
  }
  return !st && st.code != err::NoRecord ? st.on("DPOL") : Status::success();
}

// Takes the stored lines of `folio` off the items they paid: each item goes
// back to what it was before them, as its previous line left it. Refused
// when a later estimate paid one of the items.
Status takeOff(db::Context& ctx, std::int16_t folio, const std::vector<StoredLine>& lines,
               std::set<ItemId> items, const Stamp& s, SaveOutcome& out) {
  db::Table& dpol = ctx.table("DPOL");
  db::Table& part = ctx.table("PART");
  db::Table& poli = ctx.table("POLI");
  for (const StoredLine& l : lines) items.insert(idOf(l.line.PART, l.line.PROC, l.line.FREN));
  std::optional<DPO> later;
  Status st = laterLine(dpol, folio, items, later);
  if (!st) return fail(out, SaveStep::ReadItem, st.on("DPOL"), nullptr, FileAction::Read);
  if (later)
    return refuse(out, msg::laterEstimateItem(later->PART, later->PROC, later->FREN, later->CTA));
  std::map<ItemId, std::int32_t> dates;
  for (const StoredLine& l : lines)
    if (l.line.TANT != 0 || l.line.PANT != 0)
      dates[idOf(l.line.PART, l.line.PROC, l.line.FREN)] = 0;
  if (!(st = previousDates(dpol, poli, folio, dates)))
    return fail(out, SaveStep::ReadItem, st, nullptr, FileAction::Read);
  for (const StoredLine& l : lines) {
    part.clear();
    PAR& item = part.rec<PAR>();
    item.CONC = l.line.PART, item.PROC = l.line.PROC, item.FREN = l.line.FREN;
    st = part.get("PAR:CTA_KEY");
    // A line of an item no longer on file pays nothing.
    if (st.code == err::RecordNotFound) continue;
    if (!st) return fail(out, SaveStep::ReadItem, st.on("PART"), &msg::kReadItem);
    item.TPAG = l.line.TANT;
    item.AVAN = l.line.PANT;
    item.COST = 0;
    // Without an earlier line the item keeps its dates, as the audit
    // leaves an item that no line pays.
    auto d = dates.find(idOf(l.line.PART, l.line.PROC, l.line.FREN));
    if (d != dates.end()) item.FECHAU = d->second;
    stamp(item.USUA, item.ACFE, item.ACHO, s);
    if (!(st = part.put().on("PART"))) return fail(out, SaveStep::WriteItem, st, &msg::kWriteItem);
  }
  if (!(st = removeLines(dpol, lines)))
    return fail(out, SaveStep::RemoveLines, st.on("DPOL"), nullptr, FileAction::Delete);
  return Status::success();
}

// The contractor tallied again, and what he would be left with checked: an
// advance amortised past what he was given, or a fund returned past what he
// holds, is refused.
Status settle(db::Context& ctx, std::int16_t contractor, const Stamp& s, SaveOutcome& out) {
  ContractorTally tally;
  Status st = tallyContractor(ctx.table("POLI"), ctx.table("CONT"), contractor, 0, &s, tally);
  if (!st) return fail(out, SaveStep::WriteContractor, st, &msg::kWriteContractor);
  if (tally.owedAdvance().cents() < 0) return refuse(out, msg::kAdvanceAmortised);
  if (tally.GAAC.cents() < 0) return refuse(out, msg::kFundReturned);
  return Status::success();
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
  const EstimateHeader& h = in.header;
  Decimal amount;
  std::set<ItemId> items;
  for (const EstimateLine& line : in.lines) {
    if (line.quantity.isZero()) continue;
    amount = Decimal::fromCents(amount.cents() + line.amount.cents());
    items.insert(idOf(line.conc, line.process, line.front));
  }
  if (items.empty()) return refuse(out, msg::kNoLines);
  const FinalValues& fv = in.finals;
  if (fv.payroll > amount) return refuse(out, msg::kPayrollAbove);
  for (Decimal d : {fv.amortisation, fv.fund, fv.iva, fv.previousLoan, fv.loan, fv.payroll})
    if (d.cents() < 0) return refuse(out, msg::kNegative);

  // A posted estimate is frozen: its policy and cheque stand for it.
  if (!h.insert && h.read && h.read->NOPO > 0) return refuse(out, msg::kPostedNoChange);
  db::Table& poli = ctx.table("POLI");
  db::Table& dpol = ctx.table("DPOL");
  db::Table& part = ctx.table("PART");
  db::Table& cont = ctx.table("CONT");
  db::Transaction tx(ctx, {&poli, &dpol, &part, &cont});
  if (!tx.status()) return fail(out, SaveStep::Begin, tx.status());
  const std::int16_t folio = h.insert ? 0 : h.read ? h.read->CTA : 0;

  // The contractor as this estimate finds him: a change starts from his
  // other estimates. Another station may have moved him since the window
  // read him.
  CTR before{};
  Status st = contractorBefore(poli, cont, h.contractor, folio, before);
  if (!st) return fail(out, SaveStep::ReadContractor, st, &msg::kReadContractor);
  if (!h.insert && h.read) {
    cont.clear();
    cont.rec<CTR>().CTA = h.read->CONT;
    if (cont.get("CTR:CTA_KEY") && cont.rec<CTR>().UEST != h.read->ESTI)
      return refuse(out, msg::kOtherStationLast);
  }
  if (figure(before.PRES) != fv.previousLoan) return refuse(out, msg::kOtherStationLoan);
  const Decimal owed =
      Decimal::fromCents(figure(before.ANTI).cents() - figure(before.AAMO).cents());
  if (fv.amortisation > owed && fv.amortisation.cents() > 0)
    return refuse(out, msg::kAmortisationAbove);

  if (!(st = placeHeader(poli, h, out))) return st;
  std::vector<StoredLine> stored;
  if (!h.insert) {
    if (!(st = storedLines(dpol, poli.rec<POL>().CTA, stored)))
      return fail(out, SaveStep::RemoveLines, st.on("DPOL"), nullptr, FileAction::Read);
    if (!(st = takeOff(ctx, poli.rec<POL>().CTA, stored, items, h.stamp, out))) return st;
    // takeOff read other estimates through the POLI buffer.
    poli.clear();
    poli.rec<POL>().CTA = h.read->CTA;
    if (!(st = poli.get("POL:CTA_KEY")))
      return fail(out, SaveStep::ReadEstimate, st.on("POLI"), nullptr, FileAction::Read);
  }
  POL& p = poli.rec<POL>();
  p.CONT = h.contractor;
  p.FECH = h.date;
  p.REFE = h.reference;
  p.NOPO = h.policy;

  for (const EstimateLine& line : in.lines) {
    if (line.quantity.isZero()) continue;
    part.clear();
    PAR& item = part.rec<PAR>();
    item.CONC = line.conc, item.PROC = line.process, item.FREN = line.front;
    if (!(st = part.get("PAR:CTA_KEY").on("PART")))
      return fail(out, SaveStep::ReadItem, st, &msg::kReadItem);
    // The line was figured on the item as it stood then.
    if (figure(item.TPAG) != line.paidBefore ||
        !(Ratio::fromDouble(item.AVAN) == Ratio::fromDouble(line.doneBefore)))
      return refuse(out, msg::otherStationItem(line.conc, line.process, line.front));
    if (overBudget(itemBudget(item), {line.quantity, line.percent, line.amount}))
      return refuse(out, msg::kOverBudgetAtOk);
    dpol.clear();
    DPO& d = dpol.rec<DPO>();
    d.CTA = p.CTA, d.PART = line.conc, d.PROC = line.process, d.FREN = line.front;
    const Decimal paid = figure(item.TPAG);
    const bool paidBefore = paid.cents() != 0 || item.AVAN != 0;
    d.TANT = paid.toDouble();
    d.TACT = Decimal::fromCents(paid.cents() + line.amount.cents()).toDouble();
    d.PANT = item.AVAN;
    d.PACT = line.percent.toDouble();
    stamp(d.USUA, d.ACFE, d.ACHO, h.stamp);
    item.TPAG = d.TACT;
    item.AVAN = d.PACT;
    item.COST = 0;
    if (!paidBefore) item.FECHAI = h.date;
    item.FECHAU = h.date;
    stamp(item.USUA, item.ACFE, item.ACHO, h.stamp);
    if (!(st = part.put().on("PART"))) return fail(out, SaveStep::WriteItem, st, &msg::kWriteItem);
    if (!(st = dpol.add().on("DPOL"))) return fail(out, SaveStep::AddLine, st, &msg::kAddLine);
  }

  p.CANT = amount.toDouble();
  p.PANT = fv.amortisation.toDouble();
  p.PFON = fv.fund.toDouble();
  p.IVA = fv.iva.toDouble();
  p.PPRE = fv.previousLoan.toDouble();
  p.PRES = fv.loan.toDouble();
  p.NOMI = fv.payroll.toDouble();
  // What stood before this estimate: the contractor's previous date and the
  // advance he owes after it. Its number and accumulated amounts are those
  // the tally below gives it.
  p.UFEC = before.UFEC;
  p.SANT = Decimal::fromCents(owed.cents() - fv.amortisation.cents()).toDouble();
  p.ESTI = before.UEST + 1;
  p.TACU = figure(before.TPAG).toDouble();
  p.SFON = Decimal::fromCents(figure(before.GAAC).cents() + fv.fund.cents()).toDouble();
  if (!(st = writeHeader(poli, h, out))) return st;
  const POL written = out.saved;
  if (!(st = settle(ctx, h.contractor, h.stamp, out))) return st;
  if (h.read && h.read->CONT != h.contractor && !(st = settle(ctx, h.read->CONT, h.stamp, out)))
    return st;
  poli.clear();
  poli.rec<POL>().CTA = written.CTA;
  if (poli.get("POL:CTA_KEY")) out.saved = poli.rec<POL>();
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
  const EstimateHeader& h = in.header;
  if (!h.insert && h.read && h.read->NOPO > 0) return refuse(out, msg::kPostedNoChange);
  db::Transaction tx(ctx, {&poli, &dpol, &cont});
  if (!tx.status()) return fail(out, SaveStep::Begin, tx.status());
  const std::int16_t folio = h.insert ? 0 : h.read ? h.read->CTA : 0;
  // Checked on the contractor as he is now, without this entry: another
  // station may have moved his balances since the window showed them.
  CTR before{};
  Status st = contractorBefore(poli, cont, h.contractor, folio, before);
  if (!st) return fail(out, SaveStep::ReadContractor, st, &msg::kReadContractor);
  Decimal amount = in.amount;
  if (in.type == '1' ? capAdvance(before, amount) : capFundReturn(before, amount))
    return refuse(out, in.type == '1' ? msg::kAdvanceTooBig : msg::kFundTooBig);
  if (!(st = placeHeader(poli, h, out))) return st;
  POL& p = poli.rec<POL>();
  std::vector<StoredLine> stored;
  if (!(st = storedLines(dpol, p.CTA, stored)) || !(st = removeLines(dpol, stored)))
    return fail(out, SaveStep::RemoveLines, st.on("DPOL"), nullptr, FileAction::Delete);
  p.CONT = h.contractor;
  p.FECH = h.date;
  p.CANT = p.PPRE = p.PRES = p.IVA = p.TACU = p.NOMI = p.SANT = p.SFON = 0;
  p.REFE = 0, p.NOPO = 0;
  const double value = in.amount.toDouble();
  if (in.type == '1') {
    p.ESTI = -1, p.UFEC = 1;
    p.CANT = value, p.PANT = -value, p.PFON = 0;
  } else {
    p.ESTI = -3, p.UFEC = 3;
    p.CANT = value, p.PFON = -value, p.PANT = 0;
  }
  if (!(st = writeHeader(poli, h, out))) return st;
  if (!(st = settle(ctx, h.contractor, h.stamp, out))) return st;
  if (h.read && h.read->CONT != h.contractor && !(st = settle(ctx, h.read->CONT, h.stamp, out)))
    return st;
  return committed(tx, out);
}

Status deleteEstimate(db::Context& ctx, std::int16_t folio, const Stamp& s, SaveOutcome* result) {
  SaveOutcome ignored;
  SaveOutcome& out = result ? *result : ignored;
  out = {};
  db::Table& poli = ctx.table("POLI");
  db::Table& dpol = ctx.table("DPOL");
  db::Table& part = ctx.table("PART");
  db::Table& cont = ctx.table("CONT");
  db::Transaction tx(ctx, {&poli, &dpol, &part, &cont});
  if (!tx.status()) return fail(out, SaveStep::Begin, tx.status());
  poli.clear();
  poli.rec<POL>().CTA = folio;
  Status st = poli.get("POL:CTA_KEY");
  if (!st) return fail(out, SaveStep::ReadEstimate, st.on("POLI"), nullptr, FileAction::Read);
  const POL p = poli.rec<POL>();
  if (p.NOPO > 0) return refuse(out, msg::kPostedNoDelete);
  cont.clear();
  cont.rec<CTR>().CTA = p.CONT;
  st = cont.get("CTR:CTA_KEY");
  if (!st && st.code != err::RecordNotFound)
    return fail(out, SaveStep::ReadContractor, st.on("CONT"), &msg::kReadContractor);
  if (st && cont.rec<CTR>().UEST != p.ESTI && p.UFEC != 1) return refuse(out, msg::kOnlyLastDelete);
  // The lines go with their header, taken off the items they paid: a later
  // estimate may take the folio.
  std::vector<StoredLine> stored;
  if (!(st = storedLines(dpol, folio, stored)))
    return fail(out, SaveStep::RemoveLines, st.on("DPOL"), nullptr, FileAction::Read);
  if (!(st = takeOff(ctx, folio, stored, {}, s, out))) return st;
  poli.clear();
  poli.rec<POL>().CTA = folio;
  if (!(st = poli.get("POL:CTA_KEY")) || !(st = poli.remove()))
    return fail(out, SaveStep::WriteEstimate, st.on("POLI"), nullptr, FileAction::Delete);
  if (!(st = settle(ctx, p.CONT, s, out))) return st;
  out.saved = p;
  return committed(tx, out);
}

Status readEstimateLines(db::Context& ctx, std::int16_t folio, std::vector<EstimateLine>& lines,
                         std::vector<ItemBefore>* before) {
  lines.clear();
  if (before) before->clear();
  db::Table& dpol = ctx.table("DPOL");
  db::Table& part = ctx.table("PART");
  // Read in one transaction, so that the lines and the items agree; it
  // writes nothing and is never committed.
  db::Transaction tx(ctx, {&dpol, &part});
  Status st = tx.status();
  if (!st) return st;
  std::vector<StoredLine> stored;
  if (!(st = storedLines(dpol, folio, stored))) return st.on("DPOL");
  for (const StoredLine& s : stored) {
    const DPO& d = s.line;
    part.clear();
    PAR& item = part.rec<PAR>();
    item.CONC = d.PART, item.PROC = d.PROC, item.FREN = d.FREN;
    st = part.get("PAR:CTA_KEY");
    if (!st && st.code != err::RecordNotFound) return st.on("PART");
    EstimateLine line;
    line.conc = d.PART, line.process = d.PROC, line.front = d.FREN;
    const Ratio quantity = st ? Ratio::fromDouble(item.CANT) : Ratio();
    if (st) line.text = item.TEXT, line.unit = item.UNID;
    line.paidBefore = figure(d.TANT);
    line.doneBefore = d.PANT;
    line.percent = Ratio::fromDouble(d.PACT);
    line.quantity = (line.percent - Ratio::fromDouble(d.PANT)) * quantity / Ratio::of(100);
    line.executed = line.percent * quantity / Ratio::of(100);
    line.amount = Decimal::fromCents(figure(d.TACT).cents() - figure(d.TANT).cents());
    if (before) before->push_back({d.PART, d.PROC, d.FREN, d.TANT, d.PANT});
    lines.push_back(std::move(line));
  }
  return Status::success();
}

}  // namespace velmora::estimates
