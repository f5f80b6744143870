// The upgrade of a table of a company on a database server: the same steps
// and messages as a file's, the copy made by the server in one transaction
// (server_upgrade.h). There is no backup beside it: until the transaction
// commits the old table is there, whole, and after it the new one is.

#include "dictionary/file_upgrade.h"
#include "dictionary/server_upgrade.h"

namespace velmora::db {

bool FileUpgrade::prepareOnServer(int from, const std::string& schema, const std::string& table) {
  const dict::TableInfo* layout = dict::layoutOf(table_, from);
  if (!layout) layout = &table_;
  onServer_ = std::make_unique<server::TableConversion>(storage_, schema, table, *layout, *target_);
  bool stillOld = false;
  Status st = onServer_->start(total_, stillOld);
  if (!st) return refuseUnrecoverable(path_, st);
  if (!stillOld) {  // converted meanwhile by another station: look again
    onServer_.reset();
    return false;
  }
  phase_ = Phase::Copying;
  copied_ = 0;
  return true;
}

bool FileUpgrade::stepOnServer(int batch) {
  if (phase_ == Phase::Keys) return finishOnServer();
  if (phase_ != Phase::Copying) return false;
  bool more = false;
  if (Status st = onServer_->step(batch, copied_, more); !st) return refuseUnrecoverable(path_, st);
  if (!more) phase_ = Phase::Keys;
  return true;
}

bool FileUpgrade::finishOnServer() {
  if (Status st = onServer_->finish(total_); !st) return refuseUnrecoverable(path_, st);
  onServer_.reset();
  result_.outcome = UpgradeResult::Outcome::Upgraded;
  phase_ = Phase::Done;
  if (!versionFile_.empty()) writeVersion(targetVersion_);
  return false;
}

}  // namespace velmora::db
