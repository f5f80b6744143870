#pragma once

// The work the invoice benchmarks post into: its equipment accounts, one
// supplier, one piece of equipment and the item it is charged to, in table
// files of a folder of its own; and the invoices posted.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "dictionary/records.h"
#include "dictionary/storage.h"

namespace velmora::bench {

inline constexpr std::int32_t kToday = 82526;  // a day of December

inline const char* const kLabels[] = {"OBRA", "FAMA",   "MAQU",   "PROV",
                                      "PART", "POLMES", "DETMES", "CUEN"};

inline void name(db::Storage& s, const std::filesystem::path& dir) {
  for (const char* label : kLabels)
    s.setFileName(*dict::findTable(label), (dir / (std::string(label) + ".TPS")).string());
}

inline CUE account(std::int16_t a, std::int16_t b, std::int16_t c, bool last) {
  CUE r{};
  r.CTA = a, r.SCTA = b, r.SSCTA = c, r.DESC = "CUENTA", r.ULNI = last ? "S" : "N";
  return r;
}

// A work with its equipment accounts, one supplier, one piece of equipment
// and the item it is charged to.
inline std::filesystem::path freshWork(const std::string& which) {
  const char* env = std::getenv("VELMORA_BENCH_DIR");
  const std::filesystem::path dir =
      std::filesystem::path(env ? env : "/tmp/velmora-bench") / ("invoices-" + which);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  db::Storage s;
  name(s, dir);
  db::Context c(s, 1);
  for (const char* label : kLabels) (void)c.table(label).open();
  db::Table& cuen = c.table("CUEN");
  for (const CUE& r :
       {account(1108, 0, 0, false), account(1108, 1, 0, true), account(2101, 0, 0, false),
        account(2101, 1, 0, true), account(1115, 0, 0, false), account(1115, 1, 0, false),
        account(1115, 1, 1, true)}) {
    cuen.rec<CUE>() = r;
    (void)cuen.add();
  }
  db::Table& obra = c.table("OBRA");
  obra.clear();
  OBR& w = obra.rec<OBR>();
  w.CTA = "OB1", w.POAU[1] = 1;
  w.CONTA[1].CC = 2101, w.CONTA[1].SCC = 1;
  w.CONTA[3].CC = 1108, w.CONTA[3].SCC = 1;
  w.CONTA[9].CC = 1115, w.CONTA[9].SCC = 1, w.CONTA[9].SSCC = 1;
  (void)obra.add();
  db::Table& prov = c.table("PROV");
  prov.clear();
  prov.rec<PRV>().CTA = 1, prov.rec<PRV>().NOMB = "RENTAS", prov.rec<PRV>().TIPO = 2;
  (void)prov.add();
  db::Table& maqu = c.table("MAQU");
  maqu.clear();
  maqu.rec<MAQ>().CTA = 7, maqu.rec<MAQ>().FREN = 3, maqu.rec<MAQ>().PROC = 20;
  maqu.rec<MAQ>().PRRE = 250;
  (void)maqu.add();
  db::Table& part = c.table("PART");
  part.clear();
  part.rec<PAR>().PROC = 20, part.rec<PAR>().FREN = 3, part.rec<PAR>().TEXT = "EQUIPO";
  (void)part.add();
  for (const char* label : kLabels) c.table(label).close();
  return dir;
}

inline FAM invoiceOf(int folio) {
  FAM f{};
  f.CTA = folio, f.PROV = 1, f.FACT = folio, f.FECH = kToday, f.MAQU = 7, f.AUTO = 1;
  f.CANT = 8, f.IMPO = 2000, f.IVA = 300;
  return f;
}

}  // namespace velmora::bench
