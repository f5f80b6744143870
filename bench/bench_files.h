#pragma once

// The large table files the benchmarks read, made once and kept between runs
// in VELMORA_BENCH_DIR (default /tmp/velmora-bench).

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "dictionary/storage.h"

namespace velmora::bench {

inline const dict::TableInfo& frenInfo() { return *dict::findTable("FREN"); }

inline std::string frenFile(int rows) {
  namespace fs = std::filesystem;
  const char* env = std::getenv("VELMORA_BENCH_DIR");
  fs::path dir = env ? env : "/tmp/velmora-bench";
  fs::create_directories(dir);
  std::string path = (dir / ("FREN-" + std::to_string(rows) + ".TPS")).string();
  if (fs::exists(path)) return path;
  db::Storage s;
  s.setFileName(frenInfo(), path + ".tmp");
  db::Context c(s);
  db::Table& t = c.table(frenInfo());
  (void)t.open();
  (void)t.stream();
  std::mt19937 rng(5);
  const char* words[] = {"NORTE", "SUR", "PUENTE", "CASETA", "TUNEL", "ÑANDÚ", "ACCESO", "ZANJA"};
  for (int i = 1; i <= rows; ++i) {
    t.clear();
    t.rec<FRE>().CTA = i;
    t.rec<FRE>().NOMB = std::string(words[rng() % 8]) + " " + std::to_string(rng() % 1000000);
    (void)t.add();
    if (i % 100000 == 0) (void)t.flush(), (void)t.stream();
  }
  (void)t.flush();
  t.close();
  fs::rename(path + ".tmp", path);
  return path;
}

}  // namespace velmora::bench
