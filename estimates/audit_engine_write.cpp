// The writing steps of an audit run: contractors, item totals, items
// and lines, each checked against changes made elsewhere meanwhile.

#include "estimates/audit_engine_state.h"

namespace velmora::estimates {

// 6. Every contractor's totals; a contractor no longer on file is created.
void AuditRun::State::writeContractors() {
  if (!reading) {
    for (auto& [number, c] : contractors) {
      if (c.onFile) {
        CTR r = c.stored;
        if (!setTotals(r, c)) continue;
      }
      contractorWrites.push_back(number);
    }
    reading = true;
  }
  const std::size_t count = std::min<std::size_t>(kWriteBatch, contractorWrites.size() - cursor);
  std::vector<std::int64_t> rows;
  for (std::size_t i = 0; i < count; ++i)
    if (const Contractor& c = contractors[contractorWrites[cursor + i]]; c.onFile)
      rows.push_back(c.row);
  int created = 0;
  counts.contractorsWritten += batch(
      cont, count,
      [&](std::size_t i) {
        const std::int16_t number = contractorWrites[cursor + i];
        const Contractor& c = contractors[number];
        if (c.onFile)
          return rewrite<CTR>(
              cont, c.row, [&](const CTR& r) { return r.CTA == number; },
              [&](CTR& r) { return setTotals(r, c); });
        // Another station may have added him since step 3.
        cont.clear();
        cont.rec<CTR>().CTA = number;
        Status st = cont.get("CTR:CTA_KEY");
        if (st) {
          setTotals(cont.rec<CTR>(), c);
          st = cont.put();
          if (!st) error(st, FileAction::Change);
          return st.ok();
        }
        if (st.code != err::RecordNotFound) {
          error(st, FileAction::Read);
          return false;
        }
        // The name is unique too: when a contractor already has it, a counter
        // follows, so the totals still find their record.
        const std::string name = kDroppedContractor + std::to_string(number);
        for (int copy = 1; copy < 100; ++copy) {
          cont.clear();
          CTR& r = cont.rec<CTR>();
          r.CTA = number;
          r.NOMB = copy == 1 ? name : name + " " + std::to_string(copy);
          setTotals(r, c);
          st = cont.add();
          if (st.code != err::DuplicateKey || !dict::sameName(st.key, "CTR:NOM_KEY")) break;
        }
        if (!st) {
          error(st, FileAction::Add);
          return false;
        }
        ++created;
        return false;
      },
      std::move(rows));
  counts.contractorsCreated += created;
  cursor += count;
  if (cursor >= contractorWrites.size()) enter(Phase::ItemTotals);
}

// 7, first half: the line list in its order, and what each budget item's
// lines give it. Its paid amount is the amount after its last line: what
// adding up each line's difference gives once step 8 has set every line's
// previous amount, so the result does not depend on the stored ones.
void AuditRun::State::totalItems() {
  order.clear();
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (folioOrder[folioIndex(lines[i].folio)] >= 0) order.push_back(std::uint32_t(i));
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const Line& x = lines[a];
    const Line& y = lines[b];
    if (!(x.key == y.key)) return keyBefore(x.key, y.key);
    if (x.folio != y.folio) return x.folio < y.folio;
    return x.row < y.row;
  });
  for (std::size_t begin = 0, end = 0; begin < order.size(); begin = end) {
    const ItemKey key = lines[order[begin]].key;
    end = begin;
    while (end < order.size() && lines[order[end]].key == key) ++end;
    // The lines of an item follow one another by folio: the last one says
    // what is paid, the progress and the last date; the first one the
    // first date.
    Estimated v;
    const Line& last = lines[order[end - 1]];
    v.paid = last.TACT;
    v.progress = last.PACT;
    v.last = folioDate[folioIndex(last.folio)];
    v.first = folioDate[folioIndex(lines[order[begin]].folio)];
    auto found = itemAt.find(key);
    if (found == itemAt.end()) {
      missing.push_back({begin, end, v});
    } else {
      Item& it = items[found->second];
      it.estimated = true;
      it.values = v;
    }
  }
  PAR now;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const Item& it = items[i];
    now.COST = it.COST, now.TPAG = it.TPAG, now.AVAN = it.AVAN;
    now.FECHAI = it.FECHAI, now.FECHAU = it.FECHAU;
    if (setValues(now, it.estimated, it.values)) itemWrites.push_back(i);
  }
  enter(Phase::MissingItems);
}

// 7. A budget item of the line list that is not on file loses every line
// of its own; a line that cannot be deleted is reported and the run goes on.
void AuditRun::State::resolveMissingItems() {
  std::vector<std::int64_t> doomed;
  while (cursor < missing.size() && doomed.size() < std::size_t(kWriteBatch)) {
    const MissingItem& m = missing[cursor++];
    const ItemKey& key = lines[order[m.begin]].key;
    part.clear();
    PAR& r = part.rec<PAR>();
    r.CONC = key.conc;
    r.PROC = key.proc;
    r.FREN = key.fren;
    Status st = part.get("PAR:CTA_KEY");
    if (st) {
      // Added by another station since step 4.
      setValues(part.rec<PAR>(), true, m.values);
      st = part.put();
      if (st)
        ++counts.itemsWritten;
      else
        error(st, FileAction::Change);
      continue;
    }
    if (st.code != err::RecordNotFound) return stop(st, FileAction::Read);
    for (std::size_t i = m.begin; i < m.end; ++i) {
      Line& l = lines[order[i]];
      l.orphan = true;
      doomed.push_back(l.row);
    }
  }
  std::sort(doomed.begin(), doomed.end());
  counts.linesDeleted += batch(dpol, doomed.size(), [&](std::size_t i) {
    Status st = dpol.removeByPosition(doomed[i]);
    if (!st) error(st, FileAction::Delete);
    return st.ok();
  });
  if (cursor >= missing.size()) enter(Phase::ItemValues);
}

// 7. The items' values: what their lines give, zero for those without.
void AuditRun::State::writeItems() {
  const std::size_t count = std::min<std::size_t>(kWriteBatch, itemWrites.size() - cursor);
  std::vector<std::int64_t> rows;
  for (std::size_t i = 0; i < count; ++i) rows.push_back(items[itemWrites[cursor + i]].row);
  counts.itemsWritten += batch(
      part, count,
      [&](std::size_t i) {
        const Item& it = items[itemWrites[cursor + i]];
        return rewrite<PAR>(
            part, it.row, [&](const PAR& r) { return itemKey(r.CONC, r.PROC, r.FREN) == it.key; },
            [&](PAR& r) { return setValues(r, it.estimated, it.values); });
      },
      std::move(rows));
  cursor += count;
  if (cursor < itemWrites.size()) return;
  // 8. Each line's previous amount and percentage are those of the line
  // before it of the same item.
  lineWrites.clear();
  lineWrites.reserve(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Line& l = lines[order[i]];
    if (l.orphan) continue;
    const bool first = i == 0 || !(lines[order[i - 1]].key == l.key);
    const double tant = first ? 0 : lines[order[i - 1]].TACT;
    const double pant = first ? 0 : lines[order[i - 1]].PACT;
    if (l.TANT != tant || l.PANT != pant) lineWrites.push_back({l.row, l.folio, l.key, tant, pant});
  }
  std::sort(lineWrites.begin(), lineWrites.end(),
            [](const LineChange& a, const LineChange& b) { return a.row < b.row; });
  enter(Phase::LineValues);
}

void AuditRun::State::writeLines() {
  const std::size_t count = std::min<std::size_t>(kWriteBatch, lineWrites.size() - cursor);
  std::vector<std::int64_t> rows;
  for (std::size_t i = 0; i < count; ++i) rows.push_back(lineWrites[cursor + i].row);
  counts.linesWritten += batch(
      dpol, count,
      [&](std::size_t i) {
        const LineChange& c = lineWrites[cursor + i];
        return rewrite<DPO>(
            dpol, c.row,
            [&](const DPO& r) {
              return r.CTA == c.folio && itemKey(r.PART, r.PROC, r.FREN) == c.key;
            },
            [&](DPO& r) { return assign(r.TANT, c.TANT) | assign(r.PANT, c.PANT); });
      },
      std::move(rows));
  cursor += count;
  if (cursor >= lineWrites.size()) {
    release();
    phase = Phase::Finished;
  }
}

}  // namespace velmora::estimates
