// The receive against transfer folders a hostile or unlucky user leaves:
// pipes and devices under the transfer names, manifests that are not one,
// values the work cannot hold, names another record already has, a file
// another station holds. Every refusal must come at once, name the file
// (and the record), and leave every file of the work as it was.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "dictionary/dates.h"
#include "dictionary/records.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "exchange/office.h"
#include "exchange/transfer.h"
#include "framework/program.h"
#include "framework/settings.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

const char* const kWork = "HOSP01";

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every file of a folder, byte for byte.
std::map<std::string, std::string> bytesOf(const fs::path& dir) {
  std::map<std::string, std::string> all;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) all[e.path().filename().string()] = slurp(e.path());
  return all;
}

// A statement straight into a table file, as another tool would write it.
void sql(const fs::path& file, const std::string& statement) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  const std::string all = "PRAGMA key='482719'; PRAGMA cipher_page_size=4096; " + statement + ";";
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, all.c_str(), nullptr, nullptr, &error), SQLITE_OK)
      << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

struct Office {
  fs::path dir;
  db::Storage storage;

  explicit Office(fs::path d) : dir(std::move(d)) {
    storage.setFileName(OBR::info(), (dir / "DATA1.TPS").string());
    db::useWorkFiles(storage, db::workFiles({dir.string(), kWork, "", dates::today()}));
  }
  fs::path work() const { return dir / kWork; }
  test::CommandResult receive(const fs::path& from, const std::string& extra = "") {
    // A receive that hangs is cut at 20 s: status 124.
    return test::runCommand("timeout 20 " + std::string(VELMORA_EXE) + " recibe " + q(dir) + " " +
                            kWork + " " + q(from) + extra + " 2>&1");
  }
  // Adds the contractor or renames the one of that number.
  void contractor(int number, const std::string& name) {
    db::Context ctx(storage);
    db::Table& cont = ctx.table<CTR>();
    ASSERT_TRUE(cont.open().ok());
    cont.clear();
    cont.rec<CTR>().CTA = std::int16_t(number);
    const bool found = cont.get("CTR:CTA_KEY").ok();
    cont.rec<CTR>().NOMB = name;
    ASSERT_TRUE((found ? cont.put() : cont.add()).ok()) << number << " " << name;
  }
  std::string nameOf(int number) {
    db::Context ctx(storage);
    db::Table& cont = ctx.table<CTR>();
    EXPECT_TRUE(cont.open().ok());
    cont.clear();
    cont.rec<CTR>().CTA = std::int16_t(number);
    if (!cont.get("CTR:CTA_KEY").ok()) return "(no existe)";
    std::string n = cont.rec<CTR>().NOMB;
    while (!n.empty() && n.back() == ' ') n.pop_back();
    return n;
  }
  void dropEstimate(int folio) {
    db::Context ctx(storage);
    db::Table& poli = ctx.table<POL>();
    db::Table& dpol = ctx.table<DPO>();
    ASSERT_TRUE(poli.open().ok());
    ASSERT_TRUE(dpol.open().ok());
    dpol.clear();
    dpol.rec<DPO>().CTA = std::int16_t(folio);
    ASSERT_TRUE(dpol.set(dict::findKey("DPO:CTA_KEY")).ok());
    std::vector<std::int64_t> rows;
    while (dpol.next().ok() && dpol.rec<DPO>().CTA == folio) rows.push_back(dpol.position());
    for (std::int64_t row : rows) ASSERT_TRUE(dpol.removeByPosition(row).ok());
    poli.clear();
    poli.rec<POL>().CTA = std::int16_t(folio);
    ASSERT_TRUE(poli.get("POL:CTA_KEY").ok());
    ASSERT_TRUE(poli.remove().ok());
  }
};

class HostileTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto r = test::runVelmora("demo " + q(root.path() / "central") + " --size 40");
    ASSERT_EQ(r.status, 0) << r.out;
    fs::copy(root.path() / "central", root.path() / "campo", fs::copy_options::recursive);
  }
  void send(Office& from, const fs::path& to) {
    fs::create_directories(to);
    auto r = test::runVelmora("envia " + q(from.dir) + " " + kWork + " " + q(to));
    ASSERT_EQ(r.status, 0) << r.out;
  }
  // A copy of a sent folder to spoil.
  fs::path spoilable(const fs::path& sent, const std::string& name) {
    const fs::path copy = root.path() / "spoilt" / name;
    fs::create_directories(copy.parent_path());
    fs::copy(sent, copy, fs::copy_options::recursive);
    return copy;
  }
  test::TempFolder root;
};

TEST_F(HostileTransferTest, PipesDevicesAndFoldersUnderTheTransferNamesAreRefusedAtOnce) {
  Office site(root.path() / "campo"), central(root.path() / "central");
  central.dropEstimate(3);
  const fs::path sent = root.path() / "envio";
  send(site, sent);
  const auto before = bytesOf(central.work());

  struct Case {
    const char* name;
    const char* file;
    std::function<void(const fs::path&)> spoil;
    const char* says;
  };
  auto fifo = [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); };
  const std::vector<Case> cases = {
      {"cero_datos", "ENVIO2.DAT", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
       "no es un archivo común: es un dispositivo"},
      {"tuberia_datos", "ENVIO2.DAT", fifo, "es una tubería"},
      {"tuberia_manifiesto", "ENVIO.TXT", fifo, "es una tubería"},
      {"cero_manifiesto", "ENVIO.TXT",
       [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, "es un dispositivo"},
      {"carpeta_manifiesto", "ENVIO.TXT", [](const fs::path& p) { fs::create_directory(p); },
       "es una carpeta"},
      {"carpeta_datos", "ENVIO3.DAT", [](const fs::path& p) { fs::create_directory(p); },
       "es una carpeta"},
      {"enlace_roto", "ENVIO4.DAT", [](const fs::path& p) { fs::create_symlink("/no/hay", p); },
       "Falta el archivo"},
      {"manifiesto_vacio", "ENVIO.TXT", [](const fs::path& p) { std::ofstream{p}; },
       "No se puede leer el manifiesto"},
      {"manifiesto_basura", "ENVIO.TXT",
       [](const fs::path& p) {
         std::ofstream out(p, std::ios::binary);
         for (int i = 0; i < 3000; ++i) out.put(char((i * 7919) % 256));
       },
       "No se puede leer el manifiesto"},
      {"manifiesto_enorme", "ENVIO.TXT",
       [](const fs::path& p) {
         std::ofstream out(p);
         out << "OBRA: " << kWork << "\n";
         for (int i = 0; i < 10000; ++i) out << "FECHA: 01/01/2026 00:00:00\n";
       },
       "es demasiado grande"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = spoilable(sent, c.name);
    fs::remove(dir / c.file);
    c.spoil(dir / c.file);
    const auto start = std::chrono::steady_clock::now();
    auto r = central.receive(dir);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.status, 1) << r.out;  // 124: it hung
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_NE(r.out.find((dir / c.file).string()), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    // The manifest's old message named a blank work.
    EXPECT_EQ(r.out.find("de la obra  "), std::string::npos) << r.out;
    EXPECT_TRUE(bytesOf(central.work()) == before);
  }

  // The window asks the manifest before the receive starts: it must not
  // wait on a pipe either (the alarm ends a hung test run).
  ::alarm(20);
  EXPECT_FALSE(exchange::sentFrom((root.path() / "spoilt" / "tuberia_manifiesto").string()));
  EXPECT_FALSE(exchange::sentFrom((root.path() / "spoilt" / "cero_manifiesto").string()));
  EXPECT_FALSE(exchange::sentFrom((root.path() / "spoilt" / "manifiesto_basura").string()));
  ::alarm(0);

  // A link to a sound file is a file like any other.
  const fs::path linked = spoilable(sent, "enlazado");
  fs::rename(linked / "ENVIO5.DAT", root.path() / "ENVIO5.DAT");
  fs::create_symlink(root.path() / "ENVIO5.DAT", linked / "ENVIO5.DAT");
  auto r = central.receive(linked);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Estimaciones: 1 agregadas"), std::string::npos) << r.out;
}

TEST_F(HostileTransferTest, ChosenSourcesAndSettingsThatAreNotFilesNeverBlock) {
  Office central(root.path() / "central");
  const fs::path pipe = root.path() / "tuberia";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  const auto before = bytesOf(central.work());

  // The budget import from a pipe or a device: refused, nothing imported.
  for (const fs::path& source : {pipe, fs::path("/dev/zero")}) {
    auto r = test::runCommand(
        "timeout 20 " + std::string(VELMORA_EXE) + " importa " + q(central.dir) + " " + kWork +
        " --frente 1 --factor 1 --porcentaje 100 --origen " + q(source) + " 2>&1");
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_NE(r.status, 124) << "the import waited on " << source;
    EXPECT_NE(r.out.find("no es un archivo común"), std::string::npos) << r.out;
    EXPECT_TRUE(bytesOf(central.work()) == before);
  }

  // Settings: a pipe or a device reads as empty and is never rewritten.
  ::alarm(20);
  for (const fs::path& file : {pipe, fs::path("/dev/zero")}) {
    SettingsFile settings(file);
    EXPECT_FALSE(settings.get("CAP_EST", "Maximize").has_value());
    EXPECT_FALSE(settings.check().ok());
    EXPECT_FALSE(settings.set("CAP_EST", "Maximize", "1").ok());
  }
  // A settings file past any sane size is not read either.
  const fs::path huge = root.path() / "ENORME.INI";
  {
    std::ofstream out(huge);
    out << "[CAP_EST]\r\nMaximize=1\r\n" << std::string(5 * 1024 * 1024, ';');
  }
  SettingsFile large(huge);
  EXPECT_FALSE(large.get("CAP_EST", "Maximize").has_value());
  const Status st = large.set("CAP_EST", "Maximize", "0");
  EXPECT_NE(st.text.find("demasiado grande"), std::string::npos) << st.text;
  ::alarm(0);
}

TEST_F(HostileTransferTest, ManifestFolioAmountAndLockRefusalsNameTheFileAndTheRecord) {
  Office site(root.path() / "campo"), central(root.path() / "central");
  central.dropEstimate(3);
  const fs::path sent = root.path() / "envio";
  send(site, sent);
  const auto before = bytesOf(central.work());

  // The same code, another work's name.
  fs::path dir = spoilable(sent, "otro_nombre");
  {
    std::string text = slurp(dir / "ENVIO.TXT");
    const auto at = text.find("NOMBRE: ") + 8;
    text.replace(at, text.find('\n', at) - at, "PRESA EL CAJON");
    std::ofstream(dir / "ENVIO.TXT", std::ios::trunc) << text;
  }
  auto r = central.receive(dir);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("Los archivos son de la obra HOSP01 PRESA EL CAJON, no de la obra HOSP01"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(bytesOf(central.work()) == before);

  // Without a manifest: an amount that is no number, and a folio the work
  // cannot hold (it used to arrive as a new estimate).
  dir = spoilable(sent, "infinito");
  fs::remove(dir / "ENVIO.TXT");
  sql(dir / "ENVIO2.DAT", "UPDATE POLI SET IVA = 9e999 WHERE CTA = 3");
  r = central.receive(dir);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find((dir / "ENVIO2.DAT").string() +
                       " trae un valor que no es un número (inf) en POL:IVA de la estimación "
                       "(folio) 3"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(bytesOf(central.work()) == before);

  dir = spoilable(sent, "folio");
  fs::remove(dir / "ENVIO.TXT");
  sql(dir / "ENVIO2.DAT", "UPDATE POLI SET CTA = -5 WHERE CTA = 3");
  r = central.receive(dir);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("trae la estimación con folio -5"), std::string::npos) << r.out;
  EXPECT_TRUE(bytesOf(central.work()) == before);

  // Another station holds the estimate lines: the message names their
  // file and table, not the first table of the transaction.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const fs::path lines = central.work() / "OBRA14.TPS";
  const pid_t holder = ::fork();
  if (holder == 0) {
    ::close(ready[0]);
    sqlite3* db = nullptr;
    sqlite3_open(lines.c_str(), &db);
    const int rc =
        sqlite3_exec(db, "PRAGMA key='482719'; PRAGMA cipher_page_size=4096; BEGIN IMMEDIATE;",
                     nullptr, nullptr, nullptr);
    (void)!::write(ready[1], rc == SQLITE_OK ? "1" : "0", 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(held, '1');
  Office station(central.dir);
  station.storage.setBusyTimeout(200);
  exchange::ReceiveSummary got;
  const Status locked =
      exchange::receiveWork(station.storage, {kWork, ""}, sent.string(), false, got);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_FALSE(locked.ok());
  EXPECT_NE(locked.text.find(lines.string() + " (lo tiene bloqueado el proceso " +
                             std::to_string(holder) + ")"),
            std::string::npos)
      << locked.text;
  EXPECT_EQ(locked.table, "DPOL");
  EXPECT_EQ(got.estimatesAdded, 0);
  EXPECT_TRUE(bytesOf(central.work()) == before);

  // Freed, the same files are received.
  ASSERT_TRUE(exchange::receiveWork(station.storage, {kWork, ""}, sent.string(), false, got).ok());
  EXPECT_EQ(got.estimatesAdded, 1);
}

// The site office sends contractor 6 "PEDRO RAMIREZ"; the central office has
// 6 "LUIS GOMEZ" and 7 "PEDRO RAMIREZ". Contractor 6 keeps his number and
// takes the name with a counter; everything else arrives.
TEST_F(HostileTransferTest, ANameClashRenamesTheReceivedRecordAndTheRestArrives) {
  Office site(root.path() / "campo"), central(root.path() / "central");
  const std::string longName = "CONSTRUCTORA DEL NORTE SA CV 1";  // the whole field
  ASSERT_EQ(longName.size(), 30u);
  site.contractor(6, "PEDRO RAMIREZ");
  site.contractor(8, longName);
  central.contractor(6, "LUIS GOMEZ");
  central.contractor(7, "PEDRO RAMIREZ");
  central.contractor(9, longName);
  for (int folio : {3, 4}) central.dropEstimate(folio);
  fs::copy(central.dir, root.path() / "central2", fs::copy_options::recursive);
  const fs::path sent = root.path() / "envio";
  send(site, sent);

  auto r = central.receive(sent);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Estimaciones: 2 agregadas"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("RENOMBRADO: Contratista 6 «PEDRO RAMIREZ» de ENVIO1.DAT: ese nombre ya lo "
                       "tiene el contratista 7 de esta obra; se guardó como «PEDRO RAMIREZ 2»"),
            std::string::npos)
      << r.out;
  // The counter fits the field; the name gives way.
  EXPECT_NE(r.out.find("RENOMBRADO: Contratista 8 «" + longName +
                       "» de ENVIO1.DAT: ese nombre ya lo tiene el contratista 9 de esta obra; se "
                       "guardó como «CONSTRUCTORA DEL NORTE SA CV 2»"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(central.nameOf(6), "PEDRO RAMIREZ 2");
  EXPECT_EQ(central.nameOf(7), "PEDRO RAMIREZ");
  EXPECT_EQ(central.nameOf(8), "CONSTRUCTORA DEL NORTE SA CV 2");
  EXPECT_EQ(central.nameOf(9), longName);

  // Again: the same renames are told, and no byte changes.
  const auto after = bytesOf(central.work());
  r = central.receive(sent);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Contratistas: 0 nuevos, 0 reescritos"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("se guardó como «PEDRO RAMIREZ 2»"), std::string::npos) << r.out;
  EXPECT_TRUE(bytesOf(central.work()) == after);

  // Two contractors whose names were swapped at the site come out as sent:
  // a name given a counter is given back once it is free.
  const std::string first = site.nameOf(1), second = site.nameOf(2);
  site.contractor(1, "INTERCAMBIO");
  site.contractor(2, first);
  site.contractor(1, second);
  send(site, sent);
  exchange::ReceiveSummary got;
  ASSERT_TRUE(exchange::receiveWork(central.storage, {kWork, ""}, sent.string(), false, got).ok());
  EXPECT_EQ(central.nameOf(1), second);
  EXPECT_EQ(central.nameOf(2), first);
  ASSERT_EQ(got.renamed.size(), 2u);  // only 6 and 8, still taken
  EXPECT_EQ(got.renamed[0].record, "contratista 6");

  // DUDORE's window tells the clerk the same.
  Office other(root.path() / "central2");
  MessageService messages;
  test::TestHost host;
  messages.setHost(&host);
  Program program("DUDORE", other.storage, messages, (other.dir / "DUDORE.INI").string());
  program.declare("GLO:OBRA", std::string(kWork));
  program.declare("GLO:NOMBRE_OBRA", std::string(""));
  exchange::addOfficeProcedures(program);
  db::Context ctx(other.storage);
  host.documentRunner.files.push_back(sent.string());
  host.press("?ELIGE");
  host.press("?RECIBE");
  EXPECT_EQ(program.make(exchange::kOfficeName, ctx)->run(host), response::Completed);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find("|Contratista 6 «PEDRO RAMIREZ» de ENVIO1.DAT: ese nombre ya "
                                    "lo tiene el contratista 7 de esta obra; se guardó como "
                                    "«PEDRO RAMIREZ 2»."),
            std::string::npos)
      << host.boxes[0].text;
}

// New records arriving one after another are added as they come; one whose
// name is taken here among them is still received under a counter, and the
// ones after it still arrive.
TEST_F(HostileTransferTest, ANameClashAmongNewRecordsIsRenamedAndTheNextOnesArrive) {
  Office site(root.path() / "campo"), central(root.path() / "central");
  for (int n : {501, 502, 503, 504, 505}) site.contractor(n, "NUEVO " + std::to_string(n));
  central.contractor(600, "NUEVO 503");
  central.contractor(505, "YA ESTABA");
  const fs::path sent = root.path() / "envio";
  send(site, sent);

  exchange::ReceiveSummary got;
  Status st = exchange::receiveWork(central.storage, {kWork, ""}, sent.string(), false, got);
  ASSERT_TRUE(st.ok()) << st.text;
  EXPECT_EQ(got.contractors.added, 4);
  EXPECT_EQ(got.contractors.rewritten, 1);
  ASSERT_EQ(got.renamed.size(), 1u);
  EXPECT_EQ(got.renamed[0].record, "contratista 503");
  EXPECT_EQ(got.renamed[0].to, "NUEVO 503 2");
  EXPECT_EQ(central.nameOf(501), "NUEVO 501");
  EXPECT_EQ(central.nameOf(502), "NUEVO 502");
  EXPECT_EQ(central.nameOf(503), "NUEVO 503 2");
  EXPECT_EQ(central.nameOf(504), "NUEVO 504");
  EXPECT_EQ(central.nameOf(505), "NUEVO 505");
  EXPECT_EQ(central.nameOf(600), "NUEVO 503");

  // Again: nothing new, nothing rewritten, the same rename told.
  got = {};
  st = exchange::receiveWork(central.storage, {kWork, ""}, sent.string(), false, got);
  ASSERT_TRUE(st.ok()) << st.text;
  EXPECT_EQ(got.contractors.added, 0);
  EXPECT_EQ(got.contractors.rewritten, 0);
  EXPECT_EQ(got.renamed.size(), 1u);
}

}  // namespace
}  // namespace velmora
