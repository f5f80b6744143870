// velmora demo, usuario and empresa, run as a user would, and their files
// read back through the real storage.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <tuple>
#include <type_traits>

#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "framework/settings.h"
#include "tests/programs/demo_files.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::q;
using test::readAll;

std::string month() { return std::string(db::monthAbbreviation(dates::monthOf(dates::today()))); }

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// Every automatic-entry slot of both programs.
const int kSlots[] = {2, 3, 4, 6, 7, 8, 10, 11, 13};

void expectUsers(const fs::path& dir) {
  std::map<std::int32_t, PER> users;
  for (const PER& p : readAll<PER>(dir / "DATA7.TPS")) users[p.CTA] = p;
  ASSERT_EQ(users.size(), 3u);
  for (int k = 0; k < 20; ++k) {
    EXPECT_EQ(users[1].ESTI[std::size_t(k)], 5);
    EXPECT_EQ(users[1].MATE[std::size_t(k)], 5);
    EXPECT_EQ(users[2].ESTI[std::size_t(k)], 1);
    EXPECT_EQ(users[2].MATE[std::size_t(k)], 1);
  }
  // Refused at the door of both programs, whatever its other entries say.
  EXPECT_EQ(users[3].ESTI[0], 0);
  EXPECT_EQ(users[3].MATE[8], 0);
  EXPECT_GT(users[3].ESTI[1], 0);
}

// The accounting set-up: every slot and every bank names an account of the
// chart that takes entries.
void expectAccounting(const fs::path& dir, const OBR& work, const std::vector<BAN>& banks) {
  const fs::path acc = dir / work.DICO;
  for (const char* f : {"CUENTAS.TPS", "TIPOS.TPS"}) EXPECT_TRUE(fs::exists(acc / f)) << f;
  // The month's policies are the demo's equipment invoices (three lines
  // each) and supplier payments: all balanced, and the bank lines are what
  // the banks' balances fell by.
  const std::size_t invoices = readAll<FAM>(dir / work.CTA / "OBRA20.TPS").size();
  std::size_t invoicePolicies = 0;
  for (const POA& p : readAll<POA>(acc / ("POL" + month() + ".TPS"))) {
    const bool invoice = p.DESC.rfind("FACTURA A REVISION", 0) == 0;
    invoicePolicies += invoice;
    EXPECT_TRUE(invoice || p.DESC.rfind("ANTICIPO EQ.", 0) == 0 || p.DESC.rfind("PAGO EQ.", 0) == 0)
        << p.DESC;
  }
  EXPECT_EQ(invoicePolicies, invoices);
  long long balance = 0, banked = 0, fell = 0;
  for (const DEA& d : readAll<DEA>(acc / ("DET" + month() + ".TPS"))) {
    const long long c = std::llround(d.CANT * 100);
    balance += d.CARG == "C" ? c : -c;
    for (const BAN& b : banks)
      if (d.CARG == "A" && std::array<int, 5>{d.CTA, d.SCTA, d.SSCTA, d.SSSCTA, d.SSSSCTA} ==
                               std::array<int, 5>{b.CT, b.SCT, b.SSC, b.SSSC, b.SSSS})
        banked += c;
  }
  for (const BAN& b : banks) fell += std::llround((b.SAIN - b.SALD) * 100);
  EXPECT_EQ(balance, 0);
  EXPECT_EQ(banked, fell);
  EXPECT_EQ(readAll<TIP>(acc / "TIPOS.TPS").size(), 3u);
  std::map<std::array<int, 5>, CUE> chart;
  for (const CUE& c : readAll<CUE>(acc / "CUENTAS.TPS"))
    chart[{c.CTA, c.SCTA, c.SSCTA, c.SSSCTA, c.SSSSCTA}] = c;
  auto lastLevel = [&](std::array<int, 5> a) {
    auto it = chart.find(a);
    return it != chart.end() && it->second.ULNI != "N";
  };
  EXPECT_EQ(work.POAU[0], 1);
  EXPECT_EQ(work.POAU[1], 1);
  for (int s : kSlots) {
    const OBR::CONTA_t& c = work.CONTA[std::size_t(s - 1)];
    EXPECT_TRUE(lastLevel({c.CC, c.SCC, c.SSCC, c.SSSCC, c.SSSSCC})) << "slot " << s;
  }
  ASSERT_FALSE(banks.empty());
  for (const BAN& b : banks) {
    EXPECT_TRUE(lastLevel({b.CT, b.SCT, b.SSC, b.SSSC, b.SSSS})) << b.NOMB;
    EXPECT_GT(b.ROW[0], 0);
  }
}

// The budget, the contractors and the estimates agree with each other as
// the estimate form and the budget import leave them.
void expectCoherentWork(const fs::path& dir, const OBR& work) {
  const fs::path w = dir / work.CTA;
  const auto rows = readAll<COO>(w / "OBRA1.TPS");
  const auto concepts = readAll<COE>(w / "OBRA9.TPS");
  const auto items = readAll<PAR>(w / "OBRA10.TPS");
  const auto contractors = readAll<CTR>(w / "OBRA12.TPS");
  const auto estimates = readAll<POL>(w / "OBRA13.TPS");
  const auto lines = readAll<DPO>(w / "OBRA14.TPS");
  const auto fronts = readAll<FRE>(w / "OBRA8.TPS");
  const auto processes = readAll<PRB>(w / "OBRA22.TPS");
  const auto machines = readAll<MAQ>(w / "OBRA19.TPS");
  const auto hours = readAll<HOR>(w / "OBRA5.TPS");
  ASSERT_FALSE(items.empty());
  ASSERT_FALSE(estimates.empty());
  ASSERT_FALSE(machines.empty());
  EXPECT_FALSE(readAll<IOB>(w / "OBRA2.TPS").empty());
  EXPECT_FALSE(readAll<INO>(w / "OBRA3.TPS").empty());
  EXPECT_GE(readAll<PRV>(w / "MATE1.TPS").size(), 2u);
  expectAccounting(dir, work, readAll<BAN>(w / "PAGO3.TPS"));

  // The work's totals are those of its budget rows.
  double labour = 0, direct = 0;
  std::set<std::string> kinds;
  for (const COO& r : rows) {
    kinds.insert(r.TIPO);
    if (r.TIPO == "C") labour += r.TOB1, direct += r.IMPO;
  }
  EXPECT_EQ(kinds, (std::set<std::string>{"C", "S", "T"}));
  EXPECT_NEAR(work.TOBR, labour, 0.005);
  EXPECT_NEAR(work.TOBR + work.TMAT + work.TCOS + work.TPOR, direct, 0.01 * double(rows.size()));

  // The items share out the concepts' quantities and the budget's materials
  // and equipment.
  std::map<int, double> quantity;
  double materials = 0, equipment = 0;
  std::set<int> processNumbers;
  for (const PRB& p : processes) processNumbers.insert(p.CTA);
  for (const PAR& p : items) {
    quantity[int(p.CONC)] += p.CANT;
    materials += p.MATE;
    equipment += p.EQUI;
    EXPECT_TRUE(processNumbers.count(p.PROC)) << p.PROC;
    EXPECT_GE(p.FREN, 1);
    EXPECT_LE(p.FREN, int(fronts.size()));
  }
  for (const COE& c : concepts) EXPECT_NEAR(quantity[c.CTA], c.TCANT, 0.001) << c.CTA;
  EXPECT_NEAR(materials, work.TMAT + work.TPOR, 0.01 * double(items.size()));
  EXPECT_NEAR(equipment, work.TCOS, 0.01 * double(items.size()));

  // Estimate lines add up to what each item has been paid, never beyond
  // its estimable budget, and to what each contractor has been paid.
  std::map<std::tuple<double, int, int>, const PAR*> itemOf;
  for (const PAR& p : items) itemOf[{p.CONC, p.PROC, p.FREN}] = &p;
  std::map<int, const POL*> folio;
  for (const POL& p : estimates) folio[p.CTA] = &p;
  std::map<const PAR*, double> paid;
  for (const DPO& d : lines) {
    ASSERT_TRUE(folio.count(d.CTA)) << d.CTA;
    const PAR* p = itemOf[{d.PART, d.PROC, d.FREN}];
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->CONT, folio[d.CTA]->CONT);
    paid[p] += d.TACT - d.TANT;
  }
  for (const PAR& p : items) {
    EXPECT_NEAR(paid[&p], p.TPAG, 0.001);
    EXPECT_LE(p.TPAG, (p.PRES + p.VPRE) * p.PEST / 100 + 0.001);
    EXPECT_LE(p.AVAN, 100);
  }

  std::map<int, CTR> expected;
  for (const PAR& p : items)
    if (p.CONT > 0) expected[p.CONT].ICON += p.PRES + p.VPRE;
  for (const POL& p : estimates) {
    EXPECT_EQ(p.NOPO, 0);
    CTR& c = expected[p.CONT];
    if (p.ESTI > 0) {
      c.TPAG += p.CANT;
      c.AAMO += p.PANT;
      c.TIVA += p.IVA;
      c.UEST = std::max(c.UEST, p.ESTI);
    } else {
      c.ANTI -= p.PANT;
    }
    c.GAAC += p.PFON;
  }
  ASSERT_EQ(contractors.size(), expected.size());
  for (const CTR& c : contractors) {
    const CTR& e = expected[c.CTA];
    EXPECT_NEAR(c.ICON, e.ICON, 0.01) << c.CTA;
    EXPECT_NEAR(c.TPAG, e.TPAG, 0.001) << c.CTA;
    EXPECT_NEAR(c.ANTI, e.ANTI, 0.001) << c.CTA;
    EXPECT_NEAR(c.AAMO, e.AAMO, 0.001) << c.CTA;
    EXPECT_NEAR(c.TIVA, e.TIVA, 0.001) << c.CTA;
    EXPECT_NEAR(c.GAAC, e.GAAC, 0.001) << c.CTA;
    EXPECT_EQ(c.UEST, e.UEST) << c.CTA;
    EXPECT_LE(c.AAMO, c.ANTI + 0.001) << "amortised more than advanced: " << c.CTA;
  }

  // Each front's equipment budget is its equipment's hours at their price.
  std::map<int, double> frontEquipment, frontLabour;
  for (const MAQ& m : machines) {
    frontEquipment[m.FREN] += m.REQU * m.PRRE;
    EXPECT_TRUE(processNumbers.count(m.PROC)) << m.CTA;
  }
  for (const PAR& p : items) frontLabour[p.FREN] += p.PRES;
  for (const FRE& f : fronts) {
    EXPECT_NEAR(f.EQRE, frontEquipment[f.CTA], 0.01) << f.NOMB;
    EXPECT_NEAR(f.TPRES, frontLabour[f.CTA], 0.01) << f.NOMB;
  }
  std::set<std::string> processTexts;
  for (const PRB& p : processes) processTexts.insert(p.TEXT);
  for (const HOR& h : hours) EXPECT_TRUE(processTexts.count(h.DPRO)) << h.DPRO;
}

TEST(Demo, MakesACompanyThatOpensAndAddsUp) {
  test::TempFolder folder;
  const fs::path dir = folder.path() / "empresa";  // made by the command
  auto r = test::runVelmora("demo " + q(dir));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("HOSP01"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("PUENTE2"), std::string::npos);

  // Nothing of the build is left behind, and the files are encrypted.
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_NE(e.path().filename().string().front(), '.') << e.path();
  std::ifstream raw(dir / "DATA1.TPS", std::ios::binary);
  std::string head(16, '\0');
  raw.read(head.data(), 16);
  EXPECT_NE(head, std::string("SQLite format 3\0", 16));

  std::vector<CTL> control = readAll<CTL>(dir / "DATA0.TPS");
  ASSERT_EQ(control.size(), 5u);
  for (std::size_t i = 0; i < control.size(); ++i) {
    EXPECT_EQ(control[i].CTA, i + 1);
    EXPECT_FALSE(control[i].ZONA.empty());
    EXPECT_EQ(control[i].OCUP, 0);
  }
  expectUsers(dir);
  EXPECT_EQ(SettingsFile(dir / "VELMORA.INI").get("Empresa", "Nombre").value_or(""),
            "CONSTRUCTORA SIERRA ALTA, S.A. DE C.V.");

  std::vector<OBR> works = readAll<OBR>(dir / "DATA1.TPS");
  ASSERT_EQ(works.size(), 2u);
  EXPECT_NE(works[0].DICO, works[1].DICO);
  for (const OBR& w : works) {
    SCOPED_TRACE(w.CTA);
    EXPECT_FALSE(w.OBRA.empty());
    EXPECT_GE(w.LIST, 1);
    EXPECT_LE(w.LIST, 5);
    // Every file of the work's database is there, the empty ones too.
    for (const db::WorkFileName& n :
         db::workFiles({dir.string(), w.CTA, w.DICO, dates::today()}).names)
      EXPECT_TRUE(fs::exists(n.path)) << n.path;
    expectCoherentWork(dir, w);
  }
  EXPECT_EQ(readAll<PAR>(dir / "HOSP01" / "OBRA10.TPS").size(), 240u);

  // A report option that names nothing on file says so and fails, rather
  // than print an empty report and pass.
  r = test::runVelmora("reporte " + q(dir) + " HOSP01 REP_ESC --opcion CONTRATISTA=99 --texto " +
                       q(folder.path() / "rep_esc.txt"));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("No está en el catálogo el contratista 99"), std::string::npos) << r.out;
  r = test::runVelmora("reporte " + q(dir) + " HOSP01 REP_ESC --opcion CONTRATISTA=1 --texto " +
                       q(folder.path() / "rep_esc.txt"));
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST(Demo, SizeScalesTheFirstWorkAndKeepsTheCompanyName) {
  test::TempFolder folder;
  const fs::path dir = folder.path();  // exists, holds only the company name
  ASSERT_EQ(test::runVelmora("empresa " + q(dir) + " 'OBRAS DEL NORTE'").status, 0);
  auto r = test::runVelmora("demo " + q(dir) + " --size 1234");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(SettingsFile(dir / "VELMORA.INI").get("Empresa", "Nombre").value_or(""),
            "OBRAS DEL NORTE");

  std::vector<PAR> items = readAll<PAR>(dir / "HOSP01" / "OBRA10.TPS");
  EXPECT_EQ(items.size(), 1234u);
  std::vector<CTR> contractors = readAll<CTR>(dir / "HOSP01" / "OBRA12.TPS");
  EXPECT_EQ(contractors.size(), 1234u / 50);
  std::set<int> working;
  for (const PAR& p : items) working.insert(p.CONT);
  for (const CTR& c : contractors) EXPECT_TRUE(working.count(c.CTA)) << "idle: " << c.NOMB;
  std::set<std::string> names;
  for (const CTR& c : contractors) names.insert(c.NOMB);
  EXPECT_EQ(names.size(), contractors.size());
  // The second work keeps its own size.
  EXPECT_EQ(readAll<PAR>(dir / "PUENTE2" / "OBRA10.TPS").size(), 48u);
}

TEST(Demo, NeverOverwritesAndRefusesBadArguments) {
  test::TempFolder folder;
  const fs::path dir = folder.path();
  std::ofstream(dir / "DATA1.TPS") << "datos del cliente";
  auto r = test::runVelmora("demo " + q(dir));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("Ya hay una empresa"), std::string::npos) << r.out;
  EXPECT_EQ(entries(dir), (std::set<std::string>{"DATA1.TPS"}));
  std::ifstream in(dir / "DATA1.TPS");
  std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(kept, "datos del cliente");

  // Any file or folder the demo would write stops it before it starts.
  const fs::path other = dir / "otra";
  fs::create_directories(other / "PUENTE2");
  r = test::runVelmora("demo " + q(other));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("PUENTE2"), std::string::npos) << r.out;
  EXPECT_EQ(entries(other), (std::set<std::string>{"PUENTE2"}));

  r = test::runVelmora("demo " + q(dir / "falta" / "empresa"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("No existe la carpeta"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir / "falta"));

  // A missing argument is named; the help names the kinds of values in
  // Spanish.
  r = test::runVelmora("demo");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("falta el argumento DIR (Carpeta del programa; se crea si no existe) de "
                       "«velmora demo»"),
            std::string::npos)
      << r.out;
  for (const char* command : {"demo", "importa", "browse", "usuario", "letra"}) {
    r = test::runVelmora(std::string(command) + " --help");
    EXPECT_EQ(r.status, 0);
    for (const char* english : {"FLOAT", "INT", "TEXT ", "POSITIVE", " in [", "FILE", "TABLE"})
      EXPECT_EQ(r.out.find(english), std::string::npos) << command << ": " << english << r.out;
  }
  EXPECT_NE(test::runVelmora("demo --help").out.find("--version ENTERO de 1 a 2"),
            std::string::npos);
  EXPECT_NE(test::runVelmora("letra --help").out.find("IMPORTE NUMERO"), std::string::npos);

  for (std::string size : {"0", "-3", "500001", "mil"}) {
    r = test::runVelmora("demo " + q(dir / "nueva") + " --size " + size);
    EXPECT_EQ(r.status, 2) << size;
    EXPECT_NE(r.out.find("El tamaño debe ser"), std::string::npos) << r.out;
  }
  EXPECT_FALSE(fs::exists(dir / "nueva"));
}

TEST(Demo, ARunKilledWhileMovingLeavesNoCompanyAndTheNextRunFinishes) {
  test::TempFolder folder;
  const fs::path dir = folder.path() / "empresa";
  // What a run killed half-way through the move leaves: its note, some of
  // what it moved (never DATA1.TPS, which moves last), and the staging
  // folder of another dead run.
  fs::create_directories(dir / ".demo-999999");
  std::ofstream(dir / ".demo-999999" / "DATA0.TPS") << "a medias";
  std::ofstream(dir / ".demo-moviendo") << "999999\n";
  std::ofstream(dir / "DATA0.TPS") << "a medias";
  fs::create_directories(dir / "PUENTE2");
  std::ofstream(dir / "notas.txt") << "del usuario";
  EXPECT_FALSE(fs::exists(dir / "DATA1.TPS"));

  auto r = test::runVelmora("demo " + q(dir));
  ASSERT_EQ(r.status, 0) << r.out;
  const std::set<std::string> expected = {"DATA0.TPS", "DATA1.TPS",   "DATA7.TPS",
                                          "HOSP01",    "PUENTE2",     "CONTA01",
                                          "CONTA02",   "VELMORA.INI", "notas.txt"};
  EXPECT_EQ(entries(dir), expected);

  // A live run at work in the folder is left alone.
  const fs::path busy = folder.path() / "ocupada";
  fs::create_directories(busy);
  std::ofstream(busy / ".demo-moviendo") << ::getpid() << "\n";
  r = test::runVelmora("demo " + q(busy));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("Otra ejecución"), std::string::npos) << r.out;
}

TEST(Usuario, CreatesUsersSetsLevelsAndRefusesOutOfRange) {
  test::TempFolder folder;
  const std::string dir = q(folder.path());
  auto r =
      test::runVelmora("usuario " + dir + " 12 --nombre 'LUZ PEÑA' --programa vorovid --todos 3");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Usuario 12  LUZ PEÑA  (nuevo)"), std::string::npos) << r.out;
  r = test::runVelmora("usuario " + dir + " 12 --programa DUDORE --entrada 20 --nivel 5");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("VOROVID   3  3"), std::string::npos) << r.out;

  auto user = [&] {
    std::vector<PER> all = readAll<PER>(folder.path() / "DATA7.TPS");
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? PER{} : all.front();
  };
  PER p = user();
  EXPECT_EQ(p.CTA, 12);
  EXPECT_EQ(p.NOMB, "LUZ PEÑA");
  for (int k = 0; k < 19; ++k) EXPECT_EQ(p.ESTI[std::size_t(k)], 0);
  EXPECT_EQ(p.ESTI[19], 5);
  for (std::uint8_t l : p.MATE) EXPECT_EQ(l, 3);

  struct Case {
    std::string args, message;
  };
  const Case refused[] = {
      {"12 --programa dudore --entrada 0 --nivel 1", "La entrada debe ser un número entre 1 y 20"},
      {"12 --programa dudore --entrada 21 --nivel 1", "La entrada debe ser un número entre 1 y 20"},
      {"12 --programa dudore --entrada 2 --nivel 6", "El nivel debe ser un número entre 0 y 5"},
      {"12 --programa dudore --entrada 2 --nivel=-1", "El nivel debe ser un número entre 0 y 5"},
      {"12 --programa vorovid --todos alto", "El nivel debe ser un número entre 0 y 5"},
      {"12 --programa vorovid --entrada 2", "--entrada y --nivel van juntos"},
      {"12 --todos 2", "Indique con --programa"},
      {"12 --programa estima --todos 2", "Programa desconocido"},
      {"12 --programa dudore --todos 2 --entrada 3 --nivel 1", "--todos no se combina"},
      {"0 --nombre NADIE", "El número de usuario debe ser un entero"},
      {"12 --nombre 'ABCDEFGHIJKLMNOPQRSTUVWXYZ12345'", "tiene 31 caracteres; el máximo es 30"},
  };
  for (const Case& c : refused) {
    r = test::runVelmora("usuario " + dir + " " + c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
  }
  EXPECT_EQ(user(), p) << "a refused change must leave the user as it was";

  r = test::runVelmora("usuario " + q(folder.path() / "falta") + " 1");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("No existe la carpeta"), std::string::npos);
}

TEST(Empresa, StoresPrintsAndRefusesLongNames) {
  test::TempFolder folder;
  const std::string dir = q(folder.path());
  auto r = test::runVelmora("empresa " + dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("No hay nombre de empresa"), std::string::npos) << r.out;

  const std::string fifty = "CONSTRUCCIONES Y PAVIMENTOS DE LA PEÑA, S.A. DE CV";
  ASSERT_EQ(fifty.size(), 51u);  // 50 characters, Ñ takes two bytes in UTF-8
  r = test::runVelmora("empresa " + dir + " '" + fifty + "'");
  ASSERT_EQ(r.status, 0) << r.out;
  r = test::runVelmora("empresa " + dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, fifty + "\n");
  EXPECT_EQ(SettingsFile(folder.path() / "VELMORA.INI").get("Empresa", "Nombre"), fifty);

  r = test::runVelmora("empresa " + dir + " '" + fifty + ".'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("tiene 51 caracteres; el máximo es 50"), std::string::npos) << r.out;
  for (std::string bad : {"'   '", "'OBRAS 日本'"}) {
    r = test::runVelmora("empresa " + dir + " " + bad);
    EXPECT_EQ(r.status, 2) << bad;
  }
  EXPECT_EQ(test::runVelmora("empresa " + dir).out, fifty + "\n") << "refusals keep the name";

  r = test::runVelmora("empresa " + q(folder.path() / "falta") + " NUEVA");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("No existe la carpeta"), std::string::npos);
}

}  // namespace
}  // namespace velmora
