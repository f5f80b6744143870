#pragma once

// The system audit of a work, without a window: it rebuilds the keys of
// PART, CONT, POLI and DPOL and recomputes every running total that saving
// an estimate keeps (contractors, budget items, estimate numbers and
// accumulated amounts, the previous amounts of each line) from the
// estimates and their lines.
//
// Its steps, each announced by its caption:
//   1 the keys of the four files are rebuilt;  2 the files are opened again;
//   3 the contractors and  4 the budget items are read, budgets summed per
//   contractor;  5 the estimates, in contractor and date order, are numbered
//   and accumulated, their lines read;  6 every contractor's totals are
//   written (a contractor no longer on file is created);  7 every item's
//   values are written, and the lines of items no longer on file deleted;
//   8 each line's previous amount and percentage are those of the line
//   before it of the same item.
//
// The run advances one bounded batch per step(), so that a window keeps its
// status line alive and a command runs it to the end with a plain loop.
// Every batch of writes to a table is one transaction. Every value written
// depends only on data the audit never changes (the estimates' amounts and
// dates, the lines' current amounts, the budgets), so a run cut short at any
// moment and started again ends exactly where an uninterrupted run ends,
// and a second run changes nothing.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "dictionary/storage.h"
#include "framework/file_errors.h"

namespace velmora::estimates {

// The captions of the steps, in order, as the status line shows them.
namespace audit_caption {
inline constexpr const char* kKeys = "RECONSTRUYENDO LLAVES";
inline constexpr const char* kOpen = "PREPARANDO CONCEPTOS";
inline constexpr const char* kContractors = "PREPARANDO CONTRATISTAS DE OBRA";
inline constexpr const char* kItems = "PREPARANDO PARTIDAS DE OBRA";
inline constexpr const char* kEstimates = "PREPARANDO DE ESTIMACIONES";
inline constexpr const char* kContractorValues = "VALORES A CONTRATISTAS";
inline constexpr const char* kItemValues = "VALORES A CONCEPTOS";
}  // namespace audit_caption

// The name given to a contractor that estimates or budget items still name
// but that is no longer on file, followed by its number.
inline constexpr const char* kDroppedContractor = "***** DADO DE BAJA ***** ";

struct AuditEvents {
  // A step begins; its caption.
  std::function<void(const std::string&)> caption;
  // The three lines of a warning: an estimate of a contractor not on file.
  std::function<void(const std::array<std::string, 3>&)> warning;
  // A record that could not be written or deleted; the run goes on.
  std::function<void(const Status&, FileAction)> storageError;
};

// What a run read, and what it changed.
struct AuditCounts {
  int contractorsRead = 0;
  int itemsRead = 0;
  int estimatesRead = 0;
  int linesRead = 0;
  int estimatesWritten = 0;
  int contractorsWritten = 0;
  int contractorsCreated = 0;
  int itemsWritten = 0;
  int linesWritten = 0;
  int linesDeleted = 0;
  int warnings = 0;
  int storageErrors = 0;
  bool changedNothing() const {
    return estimatesWritten + contractorsWritten + contractorsCreated + itemsWritten +
               linesWritten + linesDeleted ==
           0;
  }
};

class AuditRun {
 public:
  // Records read per step, and changed records written per transaction.
  static constexpr int kReadBatch = 4096;
  static constexpr int kWriteBatch = 4096;
  // Estimate numbers above this one stand apart from the consecutive
  // numbering: they are kept as they are, take no place in the count and
  // never become the contractor's last number; their amounts count as any
  // other estimate's.
  static constexpr std::int32_t kLastConsecutive = 50000;

  // Works on the four tables of `ctx` at their current file names.
  explicit AuditRun(db::Context& ctx, AuditEvents events = {});
  ~AuditRun();
  AuditRun(const AuditRun&) = delete;
  AuditRun& operator=(const AuditRun&) = delete;

  // One batch of work. False when nothing is left: the run finished or
  // stopped.
  bool step();
  // All the steps.
  void run() {
    while (step()) {
    }
  }

  bool finished() const;
  // A table could not be opened, its keys rebuilt or its records read: the
  // run stopped there. What failed, and how.
  bool stopped() const;
  const Status& failure() const;
  FileAction failureAction() const;

  const AuditCounts& counts() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace velmora::estimates
