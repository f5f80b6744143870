#pragma once

// Converting a table file written in an older stored layout into the
// current one, and the version file ("File_Upg", table L_UPG) that records
// the layout each file has reached.
//
// The old file is never touched while the new one is built: the records go
// into a file beside it, whose keys are then built and whose record count
// is checked, and only then does it replace the old file in one rename,
// the old one kept as a backup ("DATA1.V1"). A stop at any moment leaves
// either file complete under the table's name, and running the upgrade
// again finishes the job.

#include <cstdint>
#include <memory>
#include <string>

#include "dictionary/storage.h"

namespace velmora::db {

namespace server {
class TableConversion;
}

struct UpgradeResult {
  enum class Outcome {
    Missing,   // no file: opening it creates it in the current layout
    Kept,      // already in the current layout
    Upgraded,  // converted from `from` to `to`
    Refused,   // left as it was; `title` and `message` say why
  };
  Outcome outcome = Outcome::Kept;
  int from = 0;
  int to = 0;
  // The message box of a refusal, or of a version that could not be
  // recorded after an upgrade. '|' starts a new line.
  std::string title;
  std::string message;
  Status status;  // the storage error behind a refusal
};

// Where the upgrade of the files of a program folder records versions.
std::string versionFilePath(const std::string& programFolder);

// Backup name of a file replaced by its upgrade from `version`.
std::string backupPath(const std::string& path, int version);

class FileUpgrade {
 public:
  // `path`: the table's file as its name variable gives it (the name the
  // version file records, in upper case). `versionFile`: the File_Upg path.
  FileUpgrade(Storage& storage, const dict::TableInfo& table, std::string path,
              std::string versionFile);
  ~FileUpgrade();
  FileUpgrade(const FileUpgrade&) = delete;
  FileUpgrade& operator=(const FileUpgrade&) = delete;

  // Converts into the layout of another version of the table instead of
  // the current one, recording nothing (a version-1 file for trying the
  // upgrade). Before start().
  void convertTo(int version);

  // Works out what the file needs. True when there is a conversion to run
  // with step(); otherwise result() says what became of the file.
  bool start();
  // Copies up to `batch` records; once all are copied, builds the keys
  // and replaces the file. False when finished (see result()).
  bool step(int batch = 5000);

  enum class Phase { Idle, Copying, Keys, Done };
  Phase phase() const { return phase_; }
  std::int64_t copied() const { return copied_; }
  std::int64_t total() const { return total_; }
  const UpgradeResult& result() const { return result_; }
  // The file's name as the version file records it and messages show it.
  const std::string& name() const { return name_; }

 private:
  struct Work;
  bool refuse(const std::string& title, const std::string& message, Status st = {});
  bool refuseUnrecoverable(const std::string& file, const Status& st);
  bool detect(int& version, Status& st);
  bool readVersion(int& stored, bool& found);
  bool writeVersion(int version);
  bool prepare(int from);
  bool finish();
  void discard();
  // A company on a database server: the table is converted there, in one
  // transaction of the server's.
  bool prepareOnServer(int from, const std::string& schema, const std::string& table);
  bool stepOnServer(int batch);
  bool finishOnServer();

  Storage& storage_;
  const dict::TableInfo& table_;
  std::string path_;
  std::string versionFile_;
  std::string name_;
  const dict::TableInfo* target_;
  int targetVersion_;
  Phase phase_ = Phase::Idle;
  std::int64_t copied_ = 0;
  std::int64_t total_ = 0;
  UpgradeResult result_;
  std::unique_ptr<Work> work_;
  std::unique_ptr<server::TableConversion> onServer_;
};

// Runs the whole upgrade of one file at once.
UpgradeResult upgradeFile(Storage& storage, const dict::TableInfo& table, const std::string& path,
                          const std::string& versionFile);

// Rewrites a file in the layout of another version of its table, keeping
// every field both layouts have; the old file stays as a backup.
UpgradeResult convertFile(Storage& storage, const dict::TableInfo& table, const std::string& path,
                          int version);

// The version of the stored layout a file of `table` is written in; 0
// when it holds none of them (or cannot be read).
int layoutVersion(Storage& storage, const dict::TableInfo& table, const std::string& path);

// Whether a failed open means the file is in another stored layout (the
// case the upgrade takes).
bool layoutMismatch(const Status& st);

// The title of the upgrade's messages about a file it cannot write.
inline constexpr const char* kFileUpgradeError = "File Upgrade Error";

}  // namespace velmora::db
