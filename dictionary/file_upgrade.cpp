// The upgrade of one table: what the file (or the server's table) needs,
// the version file's record, the refusals and their messages; the copy
// itself is file_upgrade_copy.cpp's (file_upgrade_server.cpp's on a server).

#include "dictionary/file_upgrade.h"

#include <filesystem>
#include <string>

namespace velmora::db {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUpgradeError = "Upgrade Error";

}  // namespace

std::string backupPath(const std::string& path, int version) {
  return fs::path(path).replace_extension(".V" + std::to_string(version)).string();
}

bool layoutMismatch(const Status& st) {
  return st.code == err::InvalidRecord &&
         st.text.find("otro formato de registro") != std::string::npos;
}

bool FileUpgrade::refuse(const std::string& title, const std::string& message, Status st) {
  discard();
  result_.outcome = UpgradeResult::Outcome::Refused;
  result_.title = title;
  result_.message = message;
  result_.status = std::move(st);
  phase_ = Phase::Done;
  return false;
}

bool FileUpgrade::refuseUnrecoverable(const std::string& file, const Status& st) {
  std::string error = st.text;
  if (!st.fileError.empty()) error += " (" + st.fileError + ")";
  return refuse(kFileUpgradeError,
                "It is not posible to upgrade the file: " + upperFileName(file) +
                    "|Unrecoverable error :" + error,
                st);
}

bool FileUpgrade::start() {
  result_ = {};
  result_.to = targetVersion_;
  if (path_.empty())
    return refuse(kFileUpgradeError, "It was not posible to generate the name of the file.");
  if (table_.kind != dict::Kind::Table || !dict::layoutOf(table_, 1))
    return refuse(kUpgradeError,
                  "It was not posible to find any information on the file:|Label:  " +
                      std::string(table_.label) + "|Name:   " + name_);
  auto missing = [&] {
    result_.outcome = UpgradeResult::Outcome::Missing;
    phase_ = Phase::Done;
    return false;
  };
  std::string schema, table;
  const bool server = storage_.serverPlace(path_, schema, table);
  std::error_code ec;
  if (!server && !fs::exists(path_, ec)) return missing();
  // A name linked to a file shared by several stations: the shared file is
  // the one converted, in its own folder with its backup beside it, so that
  // every station sees one catalogue of the new version. The link stays.
  if (!server && fs::is_symlink(path_, ec)) {
    const fs::path target = fs::canonical(path_, ec);
    if (ec)
      return refuseUnrecoverable(
          path_, Status::error(err::FileNotFound, errorText(err::FileNotFound) + ": el enlace " +
                                                      upperFileName(path_) +
                                                      " apunta a un archivo que no existe"));
    path_ = target.string();
  }
  int stored = 0;
  bool found = false;
  if (!versionFile_.empty() && !readVersion(stored, found)) return false;
  // A station replacing the file at this moment: look again once it is done.
  for (int attempt = 0; attempt < 3; ++attempt) {
    int version = 0;
    Status st;
    if (!detect(version, st)) {
      if (server && st.code == err::FileNotFound) return missing();
      return refuseUnrecoverable(path_, st);
    }
    result_.from = version;
    if (found && stored > table_.version)
      return refuse(kFileUpgradeError, "It is not posible to upgrade the file: " + name_ +
                                           "|El archivo es de la versión " +
                                           std::to_string(stored) +
                                           ", más nueva que la de este programa (" +
                                           std::to_string(table_.version) + ").");
    if (version == targetVersion_) {
      // Recorded once; a run stopped after the replacement finishes here.
      if (!versionFile_.empty() && (!found || stored != version) && !writeVersion(version))
        return false;
      result_.outcome = UpgradeResult::Outcome::Kept;
      phase_ = Phase::Done;
      return false;
    }
    if (server ? prepareOnServer(version, schema, table) : prepare(version)) return true;
    if (phase_ == Phase::Done) return false;
  }
  return refuseUnrecoverable(path_, Status::error(err::FileLocked, errorText(err::FileLocked)));
}

void FileUpgrade::convertTo(int version) {
  if (const dict::TableInfo* layout = dict::layoutOf(table_, version)) {
    target_ = layout;
    targetVersion_ = version;
    versionFile_.clear();
  }
}

UpgradeResult convertFile(Storage& storage, const dict::TableInfo& table, const std::string& path,
                          int version) {
  FileUpgrade up(storage, table, path, {});
  up.convertTo(version);
  if (up.start())
    while (up.step()) {
    }
  return up.result();
}

UpgradeResult upgradeFile(Storage& storage, const dict::TableInfo& table, const std::string& path,
                          const std::string& versionFile) {
  FileUpgrade up(storage, table, path, versionFile);
  if (up.start())
    while (up.step()) {
    }
  return up.result();
}

}  // namespace velmora::db
