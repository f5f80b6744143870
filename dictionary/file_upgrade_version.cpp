// The upgrade's record of the version each file is in (File_Upg), and the
// stored layout a file is found in.

#include <filesystem>
#include <string>

#include "dictionary/cp1252.h"
#include "dictionary/file_upgrade.h"
#include "dictionary/records.h"
#include "dictionary/table_internal.h"

namespace velmora::db {

namespace fs = std::filesystem;

std::string versionFilePath(const std::string& programFolder) {
  if (programFolder.empty()) return withDefaultExtension("File_Upg");
  return withDefaultExtension((fs::path(programFolder) / "File_Upg").string());
}

namespace {

// The layout the file is written in: the newest whose table it holds.
bool detectLayout(Storage& storage, const dict::TableInfo& table, const std::string& path,
                  int& version, Status& st) {
  Context ctx(storage);
  for (int v = table.version; v >= 1; --v) {
    const dict::TableInfo* layout = dict::layoutOf(table, v);
    if (!layout) continue;
    storage.setFileName(*layout, path);
    Table& t = ctx.table(*layout);
    st = t.openReadOnly();
    t.close();
    if (st || st.code == err::KeysNeedRebuilding) {
      version = v;
      st = {};
      return true;
    }
    if (!layoutMismatch(st)) return false;
  }
  return false;
}

}  // namespace

int layoutVersion(Storage& storage, const dict::TableInfo& table, const std::string& path) {
  int version = 0;
  Status st;
  return detectLayout(storage, table, path, version, st) ? version : 0;
}

bool FileUpgrade::detect(int& version, Status& st) {
  return detectLayout(storage_, table_, path_, version, st);
}

bool FileUpgrade::readVersion(int& stored, bool& found) {
  const dict::TableInfo& info = L_UPG::info();
  storage_.setFileName(info, versionFile_);
  Context ctx(storage_);
  Table& t = ctx.table(info);
  Status st = t.open();
  if (st.code == err::KeysNeedRebuilding) st = t.openForRebuild();
  if (!st) return refuseUnrecoverable(versionFile_, st);
  t.clear();
  t.rec<L_UPG>().FILELABEL = cp1252::upperUtf8(table_.label);
  t.rec<L_UPG>().FILENAME = name_;
  st = t.get(keys::L_UPG_KEYFILELABELNAME);
  found = bool(st);
  stored = found ? t.rec<L_UPG>().FILEVERSION : 0;
  t.close();
  if (!st && st.code != err::RecordNotFound) return refuseUnrecoverable(versionFile_, st);
  return true;
}

bool FileUpgrade::writeVersion(int version) {
  const dict::TableInfo& info = L_UPG::info();
  storage_.setFileName(info, versionFile_);
  Context ctx(storage_);
  Table& t = ctx.table(info);
  Status st = t.open();
  auto failed = [&] {
    t.close();
    result_.title = kFileUpgradeError;
    result_.message = "It was not posible to write the upgrade-version to the version file.";
    result_.status = st;
    return false;
  };
  if (!st) return failed();
  auto fill = [&] {
    t.clear();
    t.rec<L_UPG>().FILELABEL = cp1252::upperUtf8(table_.label);
    t.rec<L_UPG>().FILENAME = name_;
  };
  // Another station may add the same record meanwhile: then it is there to change.
  for (int attempt = 0; attempt < 2; ++attempt) {
    fill();
    st = t.get(keys::L_UPG_KEYFILELABELNAME);
    if (st) {
      t.rec<L_UPG>().FILEVERSION = version;
      st = t.put();
    } else if (st.code == err::RecordNotFound) {
      fill();
      t.rec<L_UPG>().FILEVERSION = version;
      st = t.add();
    }
    if (st.code != err::DuplicateKey && st.code != err::RecordChanged) break;
  }
  if (!st) return failed();
  // Read back: only a record found on file counts as written.
  fill();
  st = t.get(keys::L_UPG_KEYFILELABELNAME);
  if (!st || t.rec<L_UPG>().FILEVERSION != version) return failed();
  t.close();
  return true;
}

}  // namespace velmora::db
