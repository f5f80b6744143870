#include "estimates/audit_engine.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dictionary/records.h"

namespace velmora::estimates {

namespace {

// The order of the work. The steps of the status line start at Keys, Open,
// Contractors, Items, Lines, ContractorValues and ItemTotals; the other
// phases go on with the step before them.
enum class Phase {
  Keys,
  Open,
  Contractors,
  Items,
  Lines,
  Estimates,
  ContractorValues,
  ItemTotals,
  MissingItems,
  ItemValues,
  LineValues,
  Finished,
  Stopped,
};

// A budget item by the components of PAR:CTA_KEY.
struct ItemKey {
  double conc = 0;
  std::int32_t proc = 0;
  std::int32_t fren = 0;
  bool operator==(const ItemKey&) const = default;
};

ItemKey itemKey(double conc, std::int32_t proc, std::int32_t fren) {
  return {conc == 0 ? 0.0 : conc, proc, fren};  // one zero, whatever its sign
}

bool keyBefore(const ItemKey& a, const ItemKey& b) {
  if (a.conc != b.conc) return a.conc < b.conc;
  if (a.proc != b.proc) return a.proc < b.proc;
  return a.fren < b.fren;
}

struct ItemKeyHash {
  std::size_t operator()(const ItemKey& k) const noexcept {
    std::uint64_t bits;
    std::memcpy(&bits, &k.conc, sizeof bits);
    std::uint64_t h = bits * 0x9E3779B97F4A7C15ULL;
    h ^= (std::uint64_t(std::uint32_t(k.proc)) << 32 | std::uint32_t(k.fren)) +
         0x632BE59BD9B4E019ULL + (h << 6) + (h >> 2);
    return std::size_t(h);
  }
};

// A contractor of the work: as read from CONT, and the totals its estimates
// and budget items give it.
struct Contractor {
  bool onFile = false;
  std::int64_t row = 0;
  CTR stored;
  double budget = 0;
  double ANTI = 0, AAMO = 0, TPAG = 0, TIVA = 0, GAAC = 0, PRES = 0, NOAC = 0;
  std::int32_t UEST = 0, UFEC = 0;
};

void setTotals(CTR& r, const Contractor& c) {
  r.ICON = c.budget;
  r.ANTI = c.ANTI;
  r.AAMO = c.AAMO;
  r.TPAG = c.TPAG;
  r.TIVA = c.TIVA;
  r.GAAC = c.GAAC;
  r.UEST = c.UEST;
  r.UFEC = c.UFEC;
  r.PRES = c.PRES;
  r.NOAC = c.NOAC;
}

// What the lines of one budget item say about it.
struct Estimated {
  double paid = 0;      // PAR:TPAG
  double progress = 0;  // PAR:AVAN
  std::int32_t first = 0, last = 0;
};

// A budget item as read from PART, and its values once the lines are known.
struct Item {
  ItemKey key;
  std::int64_t row = 0;
  double COST = 0, TPAG = 0, AVAN = 0;
  std::int32_t FECHAI = 0, FECHAU = 0;
  bool estimated = false;
  Estimated values;
};

void setValues(PAR& r, bool estimated, const Estimated& v) {
  r.COST = 0;
  r.TPAG = estimated ? v.paid : 0;
  r.AVAN = estimated ? v.progress : 0;
  if (estimated) {
    r.FECHAI = v.first;
    r.FECHAU = v.last;
  }
}

struct Line {
  ItemKey key;
  std::int64_t row = 0;
  double TANT = 0, TACT = 0, PANT = 0, PACT = 0;
  std::int16_t folio = 0;
  bool orphan = false;  // its budget item is gone: deleted, never written
};

// The lines of one budget item in the line list whose item is not on file.
struct MissingItem {
  std::size_t begin = 0, end = 0;  // in the line list
  Estimated values;
};

struct LineChange {
  std::int64_t row;
  std::int16_t folio;
  ItemKey key;
  double TANT, PANT;
};

constexpr std::size_t kFolios = 65536;
std::size_t folioIndex(std::int16_t folio) { return std::size_t(int(folio) + 32768); }

Status changedElsewhere(const db::Table& t) {
  return Status::error(err::RecordChanged, db::errorText(err::RecordChanged)).on(t.info().label);
}

}  // namespace

struct AuditRun::State {
  State(db::Context& c, AuditEvents e)
      : events(std::move(e)),
        part(c.table<PAR>()),
        cont(c.table<CTR>()),
        poli(c.table<POL>()),
        dpol(c.table<DPO>()),
        folioOrder(kFolios, -1),
        folioDate(kFolios, 0) {}

  AuditEvents events;
  db::Table& part;
  db::Table& cont;
  db::Table& poli;
  db::Table& dpol;

  Phase phase = Phase::Keys;
  bool reading = false;  // the scan of the current phase has begun
  std::size_t cursor = 0;
  std::vector<db::Table*> opened;
  Status failure;
  FileAction failureAction = FileAction::Open;
  AuditCounts counts;

  std::map<std::int16_t, Contractor> contractors;
  std::vector<Item> items;  // in record order
  std::unordered_map<ItemKey, std::size_t, ItemKeyHash> itemAt;
  std::vector<Line> lines;
  // By folio: when step 5 read the estimate (-1: never), and its date.
  std::vector<std::int32_t> folioOrder;
  std::vector<std::int32_t> folioDate;
  std::int32_t estimatesRead = 0;

  // The running values of step 5.
  std::int16_t previous = 0;
  std::int32_t counter = 0;
  double accumulated = 0, fund = 0;

  std::vector<std::uint32_t> order;  // the line list: concept, process, front, estimate
  std::vector<MissingItem> missing;
  std::vector<std::int16_t> contractorWrites;
  std::vector<std::size_t> itemWrites;
  std::vector<LineChange> lineWrites;

  std::array<db::Table*, 4> tables() { return {&part, &cont, &poli, &dpol}; }

  void enter(Phase p) {
    phase = p;
    reading = false;
    cursor = 0;
    const char* caption = nullptr;
    switch (p) {
      case Phase::Keys: caption = audit_caption::kKeys; break;
      case Phase::Open: caption = audit_caption::kOpen; break;
      case Phase::Contractors: caption = audit_caption::kContractors; break;
      case Phase::Items: caption = audit_caption::kItems; break;
      case Phase::Lines: caption = audit_caption::kEstimates; break;
      case Phase::ContractorValues: caption = audit_caption::kContractorValues; break;
      case Phase::ItemTotals: caption = audit_caption::kItemValues; break;
      default: break;
    }
    if (caption && events.caption) events.caption(caption);
  }

  void release() {
    for (db::Table* t : opened) t->close();
    opened.clear();
  }

  void stop(const Status& st, FileAction action) {
    failure = st;
    failureAction = action;
    phase = Phase::Stopped;
    release();
  }

  void error(const Status& st, FileAction action) {
    ++counts.storageErrors;
    if (events.storageError) events.storageError(st, action);
  }

  // Reads the next record of a scan; false at its end or on a failure,
  // which stops the run.
  bool next(db::Table& t, bool& end) {
    Status st = t.next();
    end = st.code == err::NoRecord;
    if (st || end) return st.ok();
    stop(st, FileAction::Read);
    return false;
  }

  // One transaction of writes to `t`; `write(i)` writes the i-th change of
  // the batch and says whether it did. Returns how many were committed.
  // The records at `rows` are read at once, inside the transaction, rather
  // than one statement per record.
  template <class Write>
  int batch(db::Table& t, std::size_t count, Write&& write, std::vector<std::int64_t> rows = {}) {
    if (count == 0) return 0;
    Status st = t.stream();
    if (st) st = t.prefetch(std::move(rows));
    if (!st) {
      (void)t.flush();
      error(st, FileAction::Transaction);
      return 0;
    }
    int written = 0;
    for (std::size_t i = 0; i < count; ++i)
      if (write(i)) ++written;
    st = t.flush();
    if (!st) {
      error(st, FileAction::Transaction);
      return 0;
    }
    return written;
  }

  // Reads the record at `row` again (from what the batch read ahead),
  // checks that it is still the one the audit read (`same`), applies
  // `change` and writes it when that changed it.
  template <class R, class Same, class Change>
  bool rewrite(db::Table& t, std::int64_t row, Same&& same, Change&& change) {
    Status st = t.getByPosition(row);
    if (!st) {
      error(st.code == err::RecordNotFound ? changedElsewhere(t) : st, FileAction::Change);
      return false;
    }
    R& r = t.rec<R>();
    if (!same(r)) {
      error(changedElsewhere(t), FileAction::Change);
      return false;
    }
    const R before = r;
    change(r);
    if (r == before) return false;
    st = t.put();
    if (!st) {
      error(st, FileAction::Change);
      return false;
    }
    return true;
  }

  bool step();
  void rebuildKeys();
  void openTables();
  void readContractors();
  void readItems();
  void readLines();
  void readEstimates();
  void estimate(POL& e);
  Contractor& contractorOf(const POL& e);
  void writeContractors();
  void totalItems();
  void resolveMissingItems();
  void writeItems();
  void writeLines();
};

// 1. The keys of the four files, one file per step. A file that another
// procedure of this context holds open is rebuilt where it is.
void AuditRun::State::rebuildKeys() {
  db::Table& t = *tables()[cursor];
  Status st;
  if (t.isOpen()) {
    st = t.buildKeys();
  } else {
    st = t.openForRebuild();
    if (st) t.close();
  }
  if (!st) return stop(st, FileAction::BuildKeys);
  if (++cursor == tables().size()) enter(Phase::Open);
}

// 2. The four files again, read-write and shared.
void AuditRun::State::openTables() {
  for (db::Table* t : tables()) {
    Status st = t->open();
    if (!st) return stop(st, FileAction::Open);
    opened.push_back(t);
  }
  enter(Phase::Contractors);
}

// 3. Every contractor on file has an entry, its totals starting at zero.
// Its record is written once, in step 6, with the totals it ends with.
void AuditRun::State::readContractors() {
  if (!reading) {
    Status st = cont.setStart(nullptr);
    if (!st) return stop(st, FileAction::Read);
    reading = true;
  }
  for (int n = 0; n < kReadBatch; ++n) {
    bool end = false;
    if (!next(cont, end)) {
      if (end) enter(Phase::Items);
      return;
    }
    const CTR& r = cont.rec<CTR>();
    Contractor& c = contractors[r.CTA];
    c.onFile = true;
    ++counts.contractorsRead;
    c.row = cont.position();
    c.stored = r;
  }
}

// 4. The budget of every item adds to its contractor's. The items' own
// values are written in step 7, zero for the items without lines.
void AuditRun::State::readItems() {
  if (!reading) {
    Status st = part.setStart(nullptr);
    if (!st) return stop(st, FileAction::Read);
    reading = true;
  }
  for (int n = 0; n < kReadBatch; ++n) {
    bool end = false;
    if (!next(part, end)) {
      if (end) enter(Phase::Lines);
      return;
    }
    const PAR& r = part.rec<PAR>();
    Item it;
    it.key = itemKey(r.CONC, r.PROC, r.FREN);
    it.row = part.position();
    it.COST = r.COST;
    it.TPAG = r.TPAG;
    it.AVAN = r.AVAN;
    it.FECHAI = r.FECHAI;
    it.FECHAU = r.FECHAU;
    itemAt.emplace(it.key, items.size());
    items.push_back(it);
    ++counts.itemsRead;
    if (r.CONT > 0) contractors[r.CONT].budget += r.PRES + r.VPRE;
  }
}

// 5, first half: every estimate line, read once in DPO:CTA_KEY order; each
// estimate finds its own by its folio. Only the lines of the estimates that
// step 5 reads make the line list.
void AuditRun::State::readLines() {
  const dict::KeyInfo* key = dpol.info().key("DPO:CTA_KEY");
  if (!reading) {
    Status st = dpol.setStart(key);
    if (!st) return stop(st, FileAction::Read);
    reading = true;
  }
  for (int n = 0; n < kReadBatch; ++n) {
    bool end = false;
    if (!next(dpol, end)) {
      if (end) enter(Phase::Estimates);
      return;
    }
    const DPO& r = dpol.rec<DPO>();
    Line l;
    l.key = itemKey(r.PART, r.PROC, r.FREN);
    l.row = dpol.position();
    l.TANT = r.TANT;
    l.TACT = r.TACT;
    l.PANT = r.PANT;
    l.PACT = r.PACT;
    l.folio = r.CTA;
    lines.push_back(l);
    ++counts.linesRead;
  }
}

// The entry of the estimate's contractor. A contractor that is not on file
// is warned about at every estimate of his; his entry gets the totals all
// the same, and step 6 gives them a record.
Contractor& AuditRun::State::contractorOf(const POL& e) {
  auto it = contractors.try_emplace(e.CONT).first;
  if (!it->second.onFile) {
    ++counts.warnings;
    if (events.warning) {
      auto position = std::distance(contractors.begin(), it) + 1;
      events.warning(
          {"ERROR EN CONTRATISTA " + std::to_string(e.CONT) + "   " + std::to_string(position),
           "EN POLIZA No " + std::to_string(e.CTA), ""});
    }
  }
  return it->second;
}

// One estimate, in POL:CON_KEY order (contractor, date, then record order).
void AuditRun::State::estimate(POL& e) {
  if (e.CONT != previous) {
    counter = 0;
    accumulated = 0;
    fund = 0;
  }
  // Each contractor's progress estimates are numbered 1, 2, 3 ...; advances
  // (-1) and fund returns (-3) keep their codes and take no number, as when
  // the estimate form saves them.
  const bool progress = e.ESTI >= 0 && e.UFEC != 1;
  const bool numbered = progress && e.ESTI <= kLastConsecutive;
  if (numbered) e.ESTI = ++counter;
  if (e.UFEC != 1) {
    e.TACU = accumulated;
    e.SFON = fund + e.PFON;
    accumulated = e.TACU + e.CANT;
  } else {
    e.TACU = 0;
    e.SFON = 0;
  }
  previous = e.CONT;
  fund += e.PFON;

  Contractor& c = contractorOf(e);
  if (e.ESTI < 0) {
    c.ANTI -= e.PANT;
  } else {
    c.AAMO += e.PANT;
    // The last estimate's number and date, as saving leaves them.
    if (numbered) {
      c.UEST = e.ESTI;
      c.UFEC = e.FECH;
    }
    if (e.UFEC != 1) c.TPAG += e.CANT;
    c.TIVA += e.IVA;
    c.PRES += e.PRES - e.PPRE;
  }
  c.GAAC += e.PFON;
  c.NOAC += e.NOMI;

  const std::size_t f = folioIndex(e.CTA);
  folioOrder[f] = estimatesRead++;
  ++counts.estimatesRead;
  folioDate[f] = e.FECH;
}

// 5. The estimates: their numbers and accumulated amounts are written in
// one transaction per batch read.
void AuditRun::State::readEstimates() {
  if (!reading) {
    Status st = poli.setStart(poli.info().key("POL:CON_KEY"));
    if (!st) return stop(st, FileAction::Read);
    reading = true;
  }
  struct Change {
    std::int64_t row;
    std::int16_t folio;
    POL values;
  };
  std::vector<Change> changes;
  bool end = false;
  for (int n = 0; n < kReadBatch; ++n) {
    if (!next(poli, end)) {
      if (!end) return;
      break;
    }
    POL e = poli.rec<POL>();
    const POL before = e;
    estimate(e);
    if (!(e == before)) changes.push_back({poli.position(), e.CTA, e});
  }
  std::vector<std::int64_t> rows;
  for (const Change& c : changes) rows.push_back(c.row);
  counts.estimatesWritten += batch(
      poli, changes.size(),
      [&](std::size_t i) {
        const Change& c = changes[i];
        return rewrite<POL>(
            poli, c.row, [&](const POL& r) { return r.CTA == c.folio && r.CONT == c.values.CONT; },
            [&](POL& r) {
              r.ESTI = c.values.ESTI;
              r.TACU = c.values.TACU;
              r.SFON = c.values.SFON;
            });
      },
      std::move(rows));
  if (end) enter(Phase::ContractorValues);
}

// 6. Every contractor's totals; a contractor no longer on file is created.
void AuditRun::State::writeContractors() {
  if (!reading) {
    for (auto& [number, c] : contractors) {
      if (c.onFile) {
        CTR r = c.stored;
        setTotals(r, c);
        if (r == c.stored) continue;
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
              [&](CTR& r) { setTotals(r, c); });
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
    Estimated v;
    v.paid = lines[order[end - 1]].TACT;
    // The latest line is the one step 5 read last.
    std::pair<std::int32_t, std::int64_t> latest{-1, 0};
    for (std::size_t i = begin; i < end; ++i) {
      const Line& l = lines[order[i]];
      const std::int32_t date = folioDate[folioIndex(l.folio)];
      std::pair<std::int32_t, std::int64_t> read{folioOrder[folioIndex(l.folio)], l.row};
      if (read > latest) {
        latest = read;
        v.progress = l.PACT;
        v.last = date;
      }
      if (i == begin || date < v.first) v.first = date;
    }
    auto found = itemAt.find(key);
    if (found == itemAt.end()) {
      missing.push_back({begin, end, v});
    } else {
      Item& it = items[found->second];
      it.estimated = true;
      it.values = v;
    }
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    const Item& it = items[i];
    PAR now;
    now.COST = it.COST, now.TPAG = it.TPAG, now.AVAN = it.AVAN;
    now.FECHAI = it.FECHAI, now.FECHAU = it.FECHAU;
    PAR then = now;
    setValues(then, it.estimated, it.values);
    if (!(then == now)) itemWrites.push_back(i);
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
            [&](PAR& r) { setValues(r, it.estimated, it.values); });
      },
      std::move(rows));
  cursor += count;
  if (cursor < itemWrites.size()) return;
  // 8. Each line's previous amount and percentage are those of the line
  // before it of the same item.
  lineWrites.clear();
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
            [&](DPO& r) {
              r.TANT = c.TANT;
              r.PANT = c.PANT;
            });
      },
      std::move(rows));
  cursor += count;
  if (cursor >= lineWrites.size()) {
    release();
    phase = Phase::Finished;
  }
}

bool AuditRun::State::step() {
  switch (phase) {
    case Phase::Keys: rebuildKeys(); break;
    case Phase::Open: openTables(); break;
    case Phase::Contractors: readContractors(); break;
    case Phase::Items: readItems(); break;
    case Phase::Lines: readLines(); break;
    case Phase::Estimates: readEstimates(); break;
    case Phase::ContractorValues: writeContractors(); break;
    case Phase::ItemTotals: totalItems(); break;
    case Phase::MissingItems: resolveMissingItems(); break;
    case Phase::ItemValues: writeItems(); break;
    case Phase::LineValues: writeLines(); break;
    case Phase::Finished:
    case Phase::Stopped: return false;
  }
  return phase != Phase::Finished && phase != Phase::Stopped;
}

AuditRun::AuditRun(db::Context& ctx, AuditEvents events)
    : s_(std::make_unique<State>(ctx, std::move(events))) {
  s_->enter(Phase::Keys);
}

AuditRun::~AuditRun() { s_->release(); }

bool AuditRun::step() { return s_->step(); }
bool AuditRun::finished() const { return s_->phase == Phase::Finished; }
bool AuditRun::stopped() const { return s_->phase == Phase::Stopped; }
const Status& AuditRun::failure() const { return s_->failure; }
FileAction AuditRun::failureAction() const { return s_->failureAction; }
const AuditCounts& AuditRun::counts() const { return s_->counts; }

}  // namespace velmora::estimates
