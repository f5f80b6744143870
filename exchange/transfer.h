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

struct ReceiveSummary {
  int estimatesAdded = 0;
  int estimatesSkipped = 0;  // the folio exists here: ours kept, with its lines
  int linesAdded = 0;
  MergeCount contractors, items, concepts;
  bool manifest = false;  // the files came with "ENVIO.TXT"
};

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
// nothing.
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
  Status begin();
  Status mergeBatch();
  void enter(Stage stage);

  db::Storage& storage_;
  WorkId work_;
  std::string dir_;
  bool otherWork_;
  Stage stage_ = Stage::Check;
  std::size_t file_ = 0;  // next file to read
  std::size_t row_ = 0;   // next record of the stage to merge
  std::vector<std::vector<Record>> in_;
  std::vector<std::int64_t> expected_;  // records by file, per the manifest
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
