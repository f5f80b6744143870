#include "estimates/audit_engine.h"

#include "estimates/audit_engine_state.h"

namespace velmora::estimates {

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
    reserveFor(part, items);
    itemAt.reserve(items.capacity());
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
    if (r.CONT > 0) contractors[r.CONT].budget += figure(r.PRES).cents() + figure(r.VPRE).cents();
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
    reserveFor(dpol, lines);
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
  contractorOf(e).tally.add(e);
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
              return assign(r.ESTI, c.values.ESTI) | assign(r.TACU, c.values.TACU) |
                     assign(r.SFON, c.values.SFON);
            });
      },
      std::move(rows));
  if (end) enter(Phase::ContractorValues);
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
