#pragma once

// The office transfer: the estimate tables of a work written as five
// standalone files ("ENVIO1.DAT" ... "ENVIO5.DAT") plus a manifest, and
// such files merged back into a work at another office.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/storage.h"
#include "framework/job.h"

namespace velmora::exchange {

struct WorkId {
  std::string code;  // OBR:CTA
  std::string name;  // OBR:OBRA
};

struct SentFile {
  std::string name;  // "ENVIO1.DAT"
  std::int64_t records = 0;
  std::string sha256;  // hex
};

struct SendSummary {
  std::vector<SentFile> files;
};

struct MergeCount {
  int added = 0;
  int rewritten = 0;  // existing records whose values changed
  int unchanged = 0;
};

// A received record that kept its number but not its name: another record
// here already had the name, and a unique key allows it once. The name
// gets a counter (" 2", " 3", ...), as the audit does for the contractors
// it recreates.
struct Renamed {
  std::string file;         // "ENVIO1.DAT"
  std::string record;       // "contratista 6"
  std::string field;        // "CTR:NOMB"
  std::string from, to;     // the name as sent, as stored here
  std::string clashesWith;  // "el contratista 7": the one that has the name here
};

struct ReceiveSummary {
  int estimatesAdded = 0;
  int estimatesSkipped = 0;  // the folio exists here: ours kept, with its lines
  int linesAdded = 0;
  MergeCount contractors, items, concepts;
  std::vector<Renamed> renamed;
  bool manifest = false;  // the files came with "ENVIO.TXT"
};

// One line per rename, for the clerk: "Contratista 6 «PEDRO RAMIREZ» de
// ENVIO1.DAT: ese nombre ya lo tiene el contratista 7 de esta obra; se
// guardó como «PEDRO RAMIREZ 2»".
std::string describeRename(const Renamed& r);

// Whether a manifest's work is this one: the same code and, when both are
// known, the same name (two offices may give one code to different works).
bool sameWork(const WorkId& sent, const WorkId& here);

// The transfer file names in sending order.
const std::vector<std::string>& transferFiles();
inline constexpr const char* kManifest = "ENVIO.TXT";

// The work a manifest in `dir` says the files come from; nothing when there
// is no readable manifest.
std::optional<WorkId> sentFrom(const std::string& dir);

// Send as a job, one table per step. The five tables are read inside one
// engine transaction, so that estimates and their lines agree; each is
// written under a temporary name, and the files replace older ones only once
// all five and the manifest are complete. A send that stops early (refused,
// cancelled, the job dropped) removes its temporary files and leaves the
// older ones as they were.
class SendJob : public Job {
 public:
  SendJob(db::Storage& storage, WorkId work, std::string dir);
  ~SendJob() override;
  bool step() override;
  // Why the send stopped; success when it finished or is still running.
  const Status& status() const { return status_; }
  bool finished() const { return finished_; }
  const SendSummary& summary() const { return summary_; }

 private:
  bool stop(Status st);
  Status begin();
  Status finish();
  void discard();

  db::Storage& storage_;
  WorkId work_;
  std::string dir_;
  std::unique_ptr<db::Context> source_;
  std::size_t next_ = 0;
  std::vector<std::string> temps_;
  std::string manifest_;
  Status status_;
  bool finished_ = false;
  bool stopped_ = false;
  SendSummary summary_;
};

// Receive as a job: the files are checked and read (one per step), then
// merged into the work a batch at a time inside one transaction that
// commits at the end. Every file is checked first (and against the manifest
// when there is one); files sent from another work are refused unless
// `otherWork`. A refusal, a failure, a cancel or dropping the job merges
// nothing. Every file is read once, from a private copy made while its
// fingerprint is taken, so what is checked is what is merged; the copies go
// with the job. A record whose name another record here already has is
// received under the name with a counter (see Renamed); any other failure
// refuses the whole receive, naming the file and the record.
class ReceiveJob : public Job {
 public:
  ReceiveJob(db::Storage& storage, WorkId work, std::string dir, bool otherWork);
  ~ReceiveJob() override;
  bool step() override;
  const Status& status() const { return status_; }
  bool finished() const { return finished_; }
  const ReceiveSummary& summary() const { return summary_; }

 private:
  enum class Stage { Check, Estimates, Contractors, Items, Concepts, Done };
  bool stop(Status st);
  Status checkManifest();
  Status load(std::size_t file);
  Status validate(std::size_t file) const;
  Status begin();
  Status mergeBatch();
  Status merge(std::size_t file, const Record& rec, const char* key, MergeCount& count);
  Status restoreNames();
  Status failed(const Status& st, const std::string& what) const;
  Status lockFailure(const Status& st, const std::string& what) const;
  void enter(Stage stage);
  void dropCopies();

  db::Storage& storage_;
  WorkId work_;
  std::string dir_;
  bool otherWork_;
  Stage stage_ = Stage::Check;
  std::size_t file_ = 0;  // next file to read
  std::size_t row_ = 0;   // next record of the stage to merge
  std::vector<std::vector<Record>> in_;
  std::vector<std::int64_t> expected_;  // records by file, per the manifest
  std::vector<std::string> hashes_;     // sha256 by file, per the manifest
  std::string copies_;                  // private folder of the files as read
  std::size_t renamedBefore_ = 0;       // renames of earlier stages
  struct RenamedFrom {
    const Record* record;  // as received
    std::size_t file;
    const char* key;  // the one it was merged by
  };
  std::vector<RenamedFrom> renamedFrom_;  // one per rename of the summary
  std::multimap<std::int64_t, const Record*> lines_;
  std::int64_t total_ = 0, done_ = 0;
  std::unique_ptr<db::Context> target_;
  Status status_;
  bool finished_ = false;
  ReceiveSummary summary_;
};

// Both run to their end at once (the command line, scheduled jobs).
Status sendWork(db::Storage& storage, const WorkId& work, const std::string& dir,
                SendSummary& summary);
Status receiveWork(db::Storage& storage, const WorkId& work, const std::string& dir, bool otherWork,
                   ReceiveSummary& summary);

}  // namespace velmora::exchange
