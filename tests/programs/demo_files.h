#pragma once

// The demo company's files read back through the real storage, for the
// tests that run `velmora demo`.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/storage.h"

namespace velmora::test {

namespace fs = std::filesystem;

// Every record of a table file, opened read-only under the dictionary's
// password: a file made under any other key does not open.
template <class R>
std::vector<R> readAll(const fs::path& file) {
  db::Storage storage;
  storage.setFileName(R::info(), file.string());
  db::Context ctx(storage);
  db::Table& t = ctx.table<R>();
  Status st = t.openReadOnly();
  EXPECT_TRUE(st.ok()) << file << ": " << st.text;
  std::vector<R> out;
  if (!st) return out;
  (void)t.setStart(nullptr);
  while (t.next().ok()) out.push_back(t.rec<R>());
  return out;
}

inline std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

}  // namespace velmora::test
