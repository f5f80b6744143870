#pragma once

// Works as the version-1 programs wrote them, for the upgrade's tests on
// files and on the server; the works and the recorded versions read back.

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "dictionary/records.h"
#include "dictionary/storage.h"

namespace velmora::db {

// A work as the version-1 programs wrote it.
inline Record oldWork(int n) {
  Record r(*dict::findTable("V1_OBRA"));
  EXPECT_TRUE(r.set("V1_OBR:CTA", "OB" + std::to_string(n)).ok());
  EXPECT_TRUE(r.set("V1_OBR:OBRA", "PUENTE SEÑORÍO " + std::to_string(n)).ok());
  EXPECT_TRUE(r.set("V1_OBR:TEXT", std::string("AÑO")).ok());
  EXPECT_TRUE(r.set("V1_OBR:CARI", 12.5 + n).ok());
  EXPECT_TRUE(r.set("V1_OBR:LIST", std::int64_t(n % 3)).ok());
  EXPECT_TRUE(r.set("V1_OBR:TOBR", 1234567.89 * n).ok());
  EXPECT_TRUE(r.set("V1_OBR:DICO", std::string("CONTA") + std::to_string(n)).ok());
  EXPECT_TRUE(r.set("V1_OBR:CC[7]", std::int64_t(1100 + n)).ok());
  EXPECT_TRUE(r.set("V1_OBR:POAU[10]", std::int64_t(1)).ok());
  EXPECT_TRUE(r.set("V1_OBR:ACHO", std::int64_t(360001)).ok());
  return r;
}

// `count` works in a version-1 works file at `path`.
inline void writeOldWorks(Storage& storage, const std::string& path, int count) {
  const dict::TableInfo& v1 = *dict::findTable("V1_OBRA");
  storage.setFileName(v1, path);
  Context ctx(storage);
  Table& t = ctx.table(v1);
  ASSERT_TRUE(t.open().ok());
  ASSERT_TRUE(t.stream().ok());
  for (int n = 1; n <= count; ++n) {
    t.buffer() = oldWork(n);
    ASSERT_TRUE(t.add().ok()) << n;
  }
  ASSERT_TRUE(t.flush().ok());
  t.close();
}

inline std::vector<OBR> currentWorks(Storage& storage, const std::string& path) {
  storage.setFileName(OBR::info(), path);
  Context ctx(storage);
  Table& t = ctx.table<OBR>();
  Status st = t.openReadOnly();
  EXPECT_TRUE(st.ok()) << st.text;
  std::vector<OBR> out;
  (void)t.setStart(nullptr);
  while (t.next().ok()) out.push_back(t.rec<OBR>());
  return out;
}

inline int recordedVersion(Storage& storage, const std::string& versionFile,
                           const std::string& label, const std::string& name) {
  storage.setFileName(L_UPG::info(), versionFile);
  Context ctx(storage);
  Table& t = ctx.table<L_UPG>();
  if (!t.openReadOnly()) return -1;
  t.rec<L_UPG>().FILELABEL = label;
  t.rec<L_UPG>().FILENAME = name;
  return t.get(keys::L_UPG_KEYFILELABELNAME) ? t.rec<L_UPG>().FILEVERSION : 0;
}

inline std::string upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace velmora::db
