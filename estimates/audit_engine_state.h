#pragma once

// The state of an audit run, shared by its reading steps (audit_engine.cpp)
// and its writing steps (audit_engine_write.cpp). Internal to those files.

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dictionary/records.h"
#include "estimates/audit_engine.h"
#include "estimates/contractor_totals.h"

namespace velmora::estimates {

namespace audit_detail {

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

inline ItemKey itemKey(double conc, std::int32_t proc, std::int32_t fren) {
  return {conc == 0 ? 0.0 : conc, proc, fren};  // one zero, whatever its sign
}

inline bool keyBefore(const ItemKey& a, const ItemKey& b) {
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
  std::int64_t budget = 0;  // in cents
  ContractorTally tally;
};

// Sets a field; whether that changed it.
template <class T>
bool assign(T& field, const T& value) {
  if (field == value) return false;
  field = value;
  return true;
}

// Sets a contractor's totals; whether that changed his record.
inline bool setTotals(CTR& r, const Contractor& c) {
  const CTR before = r;
  r.ICON = Decimal::fromCents(c.budget).toDouble();
  c.tally.writeTo(r);
  return !(r == before);
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

// Sets an item's values; whether that changed them.
inline bool setValues(PAR& r, bool estimated, const Estimated& v) {
  bool changed = assign(r.COST, 0.0);
  changed |= assign(r.TPAG, estimated ? v.paid : 0.0);
  changed |= assign(r.AVAN, estimated ? v.progress : 0.0);
  if (estimated) {
    changed |= assign(r.FECHAI, v.first);
    changed |= assign(r.FECHAU, v.last);
  }
  return changed;
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

inline constexpr std::size_t kFolios = 65536;
inline std::size_t folioIndex(std::int16_t folio) { return std::size_t(int(folio) + 32768); }

inline Status changedElsewhere(const db::Table& t) {
  return Status::error(err::RecordChanged, db::errorText(err::RecordChanged)).on(t.info().label);
}

}  // namespace audit_detail

using namespace audit_detail;

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

  // Room for the records of `t` in `list`, so that the scan that fills it
  // never moves what it holds. Only a hint: a count that fails reserves
  // nothing, and records added meanwhile just grow the list.
  template <class T>
  static void reserveFor(db::Table& t, std::vector<T>& list) {
    std::int64_t count = 0;
    if (t.records(count) && count > 0) list.reserve(list.size() + std::size_t(count));
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
  // `change`, which says whether it changed a value, and writes the record
  // when it did.
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
    if (!change(r)) return false;
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

}  // namespace velmora::estimates
