// velmora envia / recibe between two copies of the demo company, as the
// offices would run them, with the tables compared through velmora dump.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "exchange/office.h"
#include "exchange/transfer.h"
#include "framework/program.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

const char* const kWork = "HOSP01";
const char* const kTables[] = {"CONT", "POLI", "DPOL", "PART", "CONC"};

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

struct Office {
  fs::path dir;
  std::string work;
  db::Storage storage;

  Office(fs::path d, std::string w) : dir(std::move(d)), work(std::move(w)) {
    storage.setFileName(OBR::info(), (dir / "DATA1.TPS").string());
    db::useWorkFiles(storage, db::workFiles({dir.string(), work, "", dates::today()}));
  }
  std::string file(const dict::TableInfo& t) { return storage.fileName(t); }
  // The table's records as sorted CSV lines: record positions may differ.
  std::vector<std::string> dump(const char* label) {
    auto r = test::runVelmora("dump " + q(file(*dict::findTable(label))) + " " + label);
    EXPECT_EQ(r.status, 0) << r.out;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    std::sort(lines.begin(), lines.end());
    return lines;
  }
  std::vector<std::vector<std::string>> dumps() {
    std::vector<std::vector<std::string>> all;
    for (const char* t : kTables) all.push_back(dump(t));
    return all;
  }
  // The estimate of a folio, as on file.
  POL estimate(int folio) {
    db::Context ctx(storage);
    db::Table& poli = ctx.table<POL>();
    EXPECT_TRUE(poli.open().ok());
    poli.rec<POL>().CTA = std::int16_t(folio);
    EXPECT_TRUE(poli.get("POL:CTA_KEY").ok());
    return poli.rec<POL>();
  }
  test::CommandResult receive(const fs::path& from, const std::string& extra = "") {
    return test::runVelmora("recibe " + q(dir) + " " + work + " " + q(from) + extra);
  }
};

// Deletes the estimate and its lines (or only its lines).
void dropEstimate(db::Storage& s, int folio, bool header = true) {
  db::Context ctx(s);
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
  if (header) {
    ASSERT_TRUE(poli.get("POL:CTA_KEY").ok());
    ASSERT_TRUE(poli.remove().ok());
  }
}

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto r = test::runVelmora("demo " + q(root.path() / "central") + " --size 40");
    ASSERT_EQ(r.status, 0) << r.out;
    fs::copy(root.path() / "central", root.path() / "campo", fs::copy_options::recursive);
    fs::create_directory(root.path() / "envio");
  }
  std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  test::TempFolder root;
  fs::path out = root.path() / "envio";
};

TEST_F(ExchangeTest, RoundTripFillsTheMissingEstimatesAndAgainChangesNothing) {
  Office site(root.path() / "campo", kWork), central(root.path() / "central", kWork);
  for (int folio : {3, 4}) dropEstimate(central.storage, folio);
  auto before = central.dumps();
  const auto wanted = site.dumps();
  ASSERT_FALSE(before == wanted);

  auto r = test::runVelmora("envia " + q(site.dir) + " " + kWork + " " + q(out));
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* f : {"ENVIO1.DAT", "ENVIO5.DAT", "ENVIO.TXT"}) EXPECT_TRUE(fs::exists(out / f));
  EXPECT_FALSE(fs::exists(out / "ENVIO1.DAT.tmp"));

  r = central.receive(out);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Estimaciones: 2 agregadas"), std::string::npos) << r.out;
  EXPECT_TRUE(central.dumps() == wanted);

  // Again, in this process: nothing added, nothing rewritten, and naming
  // the transfer files leaves the work's own file names as they were.
  std::vector<std::string> names;
  for (const char* t : kTables) names.push_back(central.file(*dict::findTable(t)));
  exchange::SendSummary sent;
  ASSERT_TRUE(exchange::sendWork(central.storage, {kWork, ""}, out.string(), sent).ok());
  exchange::ReceiveSummary got;
  ASSERT_TRUE(exchange::receiveWork(central.storage, {kWork, ""}, out.string(), false, got).ok());
  EXPECT_EQ(got.estimatesAdded + got.linesAdded + got.contractors.added + got.items.added +
                got.concepts.added + got.contractors.rewritten + got.items.rewritten +
                got.concepts.rewritten,
            0);
  EXPECT_EQ(got.estimatesSkipped, int(sent.files[1].records));
  for (std::size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(central.file(*dict::findTable(kTables[i])), names[i]) << kTables[i];
  EXPECT_TRUE(central.dumps() == wanted);

  // The audit of the receiving office comes to the sending office's totals.
  for (Office* o : {&site, &central})
    ASSERT_EQ(test::runVelmora("auditoria " + q(o->dir) + " " + kWork).status, 0);
  EXPECT_TRUE(central.dumps() == site.dumps());

  // An estimate the central office already has, even posted there, keeps
  // its own header and lines.
  ASSERT_TRUE(exchange::sendWork(site.storage, {kWork, ""}, out.string(), sent).ok());
  dropEstimate(central.storage, 5, false);
  {
    db::Context ctx(central.storage);
    db::Table& poli = ctx.table<POL>();
    ASSERT_TRUE(poli.open().ok());
    poli.rec<POL>().CTA = 6;
    ASSERT_TRUE(poli.get("POL:CTA_KEY").ok());
    poli.rec<POL>().NOPO = 77;
    ASSERT_TRUE(poli.put().ok());
  }
  before = central.dumps();
  r = central.receive(out);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(central.dumps() == before);
  EXPECT_EQ(central.estimate(6).NOPO, 77);
}

TEST_F(ExchangeTest, DamagedOrForeignFilesMergeNothing) {
  Office site(root.path() / "campo", kWork), central(root.path() / "central", kWork);
  for (int folio : {3, 4}) dropEstimate(central.storage, folio);
  const auto before = central.dumps();
  ASSERT_EQ(test::runVelmora("envia " + q(site.dir) + " " + kWork + " " + q(out)).status, 0);
  const fs::path lines = out / "ENVIO3.DAT", manifest = out / "ENVIO.TXT";
  auto readText = [&] {
    std::ifstream in(manifest);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  auto asOtherWork = [&] {
    std::string other = readText();
    other.replace(other.find("OBRA: ") + 6, std::string(kWork).size(), "999");
    std::ofstream(manifest, std::ios::trunc) << other;
  };
  const std::string text = readText();

  // Another work's files: refused naming both, taken when confirmed.
  asOtherWork();
  auto r = central.receive(out);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("de la obra 999"), std::string::npos) << r.out;
  EXPECT_TRUE(central.dumps() == before);

  // Truncated lines: the manifest catches it; without one, the file itself.
  std::ofstream(manifest, std::ios::trunc) << text;
  fs::resize_file(lines, fs::file_size(lines) / 2);
  r = central.receive(out);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("no es el que se envió"), std::string::npos) << r.out;
  fs::remove(manifest);
  r = central.receive(out);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("está dañado"), std::string::npos) << r.out;
  // A file of another table under the right name.
  fs::copy_file(out / "ENVIO1.DAT", lines, fs::copy_options::overwrite_existing);
  r = central.receive(out);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(central.dumps() == before);

  // Confirmed other work, sound files: received.
  ASSERT_EQ(test::runVelmora("envia " + q(site.dir) + " " + kWork + " " + q(out)).status, 0);
  asOtherWork();
  r = central.receive(out, " --otra-obra");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(central.dumps() == site.dumps());
}

TEST_F(ExchangeTest, BadFoldersAndAMediumLostHalfWayLeaveOlderFilesWhole) {
  Office site(root.path() / "campo", kWork), central(root.path() / "central", kWork);
  exchange::SendSummary sent;
  exchange::ReceiveSummary got;
  const exchange::WorkId work{kWork, ""};
  const fs::path empty = root.path() / "vacio";
  fs::create_directory(empty);
  Status st = exchange::receiveWork(central.storage, work, empty.string(), false, got);
  EXPECT_NE(st.text.find("Falta el archivo"), std::string::npos) << st.text;
  st = exchange::receiveWork(central.storage, work, (root.path() / "no").string(), false, got);
  EXPECT_NE(st.text.find("No existe el directorio"), std::string::npos) << st.text;

  ASSERT_TRUE(exchange::sendWork(site.storage, work, out.string(), sent).ok());
  std::vector<std::string> older;
  for (const std::string& f : exchange::transferFiles()) older.push_back(slurp(out / f));
  older.push_back(slurp(out / exchange::kManifest));
  auto unchanged = [&] {
    std::size_t i = 0;
    for (const std::string& f : exchange::transferFiles())
      EXPECT_EQ(slurp(out / f), older[i++]) << f;
    EXPECT_EQ(slurp(out / exchange::kManifest), older[i]);
  };
  dropEstimate(site.storage, 3);

  fs::permissions(out, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  st = exchange::sendWork(site.storage, work, out.string(), sent);
  EXPECT_NE(st.text.find("No se puede escribir en el directorio"), std::string::npos) << st.text;
  fs::permissions(out, fs::perms::owner_write, fs::perm_options::add);
  unchanged();

  // The medium turns read-only after two files: the older send stays whole
  // and is still received.
  {
    exchange::SendJob job(site.storage, work, out.string());
    ASSERT_TRUE(job.step());
    ASSERT_TRUE(job.step());
    fs::permissions(out, fs::perms::owner_write, fs::perm_options::remove);
    while (job.step()) {
    }
    EXPECT_FALSE(job.finished());
    EXPECT_NE(job.status().text.find("ENVIO3.DAT"), std::string::npos) << job.status().text;
    fs::permissions(out, fs::perms::owner_write, fs::perm_options::add);
  }
  unchanged();
  ASSERT_TRUE(exchange::receiveWork(central.storage, work, out.string(), false, got).ok());
  EXPECT_EQ(got.estimatesAdded, 0);
  EXPECT_GT(got.estimatesSkipped, 0);

  // A send dropped half way (the window closed) leaves no temporary files.
  {
    exchange::SendJob job(site.storage, work, out.string());
    ASSERT_TRUE(job.step());
  }
  for (const auto& e : fs::directory_iterator(out))
    EXPECT_NE(e.path().extension(), ".tmp") << e.path();
  unchanged();
}

// A receiving station killed at any moment leaves the work as it was or
// with the whole receive, never in between.
TEST_F(ExchangeTest, AReceiveKilledAnywhereIsAllOrNothing) {
  Office site(root.path() / "campo", kWork), central(root.path() / "central", kWork);
  for (int folio : {3, 4}) dropEstimate(central.storage, folio);
  const fs::path pristine = root.path() / "copia";
  fs::copy(central.dir / kWork, pristine, fs::copy_options::recursive);
  const auto before = central.dumps(), wanted = site.dumps();
  ASSERT_EQ(test::runVelmora("envia " + q(site.dir) + " " + kWork + " " + q(out)).status, 0);

  std::mt19937 rng(std::random_device{}());
  int killed = 0;
  for (int round = 0; round < 6; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      Office station(central.dir, kWork);
      exchange::ReceiveJob job(station.storage, {kWork, ""}, out.string(), false);
      // The first round stops with the estimates merged, the rest anywhere.
      if (round == 0) {
        while (job.step() && job.caption() != "INCLUYENDO LOS CONTRATISTAS") {
        }
        (void)!write(ready[1], "1", 1);
        pause();
      }
      (void)!write(ready[1], "1", 1);
      runToEnd(job);
      _exit(job.finished() ? 0 : 3);
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    if (round > 0)
      std::this_thread::sleep_for(
          std::chrono::microseconds(std::uniform_int_distribution<int>(0, 30000)(rng)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    killed += WIFSIGNALED(status);
    ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << WEXITSTATUS(status);
    const auto now = central.dumps();
    if (round == 0) {
      EXPECT_TRUE(now == before);
    }
    EXPECT_TRUE(now == before || now == wanted) << "round " << round;
    if (now == wanted) {
      fs::remove_all(central.dir / kWork);
      fs::copy(pristine, central.dir / kWork, fs::copy_options::recursive);
    }
  }
  EXPECT_GE(killed, 2) << "the receive ended before it could be killed";
}

TEST_F(ExchangeTest, OficinaAsksForTheFolderConfirmsAndShowsEachStep) {
  Office site(root.path() / "campo", kWork), central(root.path() / "central", kWork);
  for (int folio : {3, 4}) dropEstimate(central.storage, folio);
  const auto before = central.dumps();
  MessageService messages;
  test::TestHost host;
  messages.setHost(&host);
  auto oficina = [&](Office& office, const char* work) {
    Program program("DUDORE", office.storage, messages, (office.dir / "DUDORE.INI").string());
    program.declare("GLO:OBRA", std::string(work));
    program.declare("GLO:NOMBRE_OBRA", std::string("HOSPITAL"));
    exchange::addOfficeProcedures(program);
    db::Context ctx(office.storage);
    host.log.clear(), host.boxes.clear(), host.jobRunner.captions.clear();
    return program.make(exchange::kOfficeName, ctx)->run(host);
  };
  auto logged = [&](const std::string& line) {
    return std::find(host.log.begin(), host.log.end(), line) != host.log.end();
  };

  // No folder yet: told so and sent back to the folder button.
  host.press("?ENVIA");
  host.press("?CANCEL");
  EXPECT_EQ(oficina(site, kWork), response::Cancelled);
  EXPECT_TRUE(
      logged("aviso: NO HA INDICADO EN DONDE / ESTAN LOS ARCHIVOS... / "
             "SELECCIONE EL DIRECTORIO"));
  EXPECT_EQ(host.focused, "?ELIGE");

  host.documentRunner.files.push_back(out.string());
  host.press("?ELIGE");
  host.press("?ENVIA");
  EXPECT_EQ(oficina(site, "OTRA"), response::Completed);
  EXPECT_TRUE(
      logged("aviso: PREPARE EL DRIVE SELECCIONADO / PARA RECIBIR LOS ARCHIVOS / "
             "Y DIGITE ENTER"));
  EXPECT_EQ(host.jobRunner.captions,
            (std::vector<std::string>{"COPIANDO CONTRATISTAS", "COPIANDO ESTIMACIONES",
                                      "COPIANDO MOVIMIENTOS", "COPIANDO PARTIDAS",
                                      "COPIANDO CONCEPTOS"}));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find("ENVIO3.DAT"), std::string::npos) << host.boxes[0].text;

  // Sent as work "OTRA": the receiving office is asked, naming both works;
  // a no receives nothing.
  host.choices.push_back(false);
  host.documentRunner.files.push_back(out.string());
  host.press("?ELIGE");
  host.press("?RECIBE");
  host.press("?CANCEL");
  EXPECT_EQ(oficina(central, kWork), response::Cancelled);
  EXPECT_TRUE(logged("opcion: LOS ARCHIVOS SON DE LA OBRA OTRA / Y ESTA ES LA OBRA " +
                     std::string(kWork) + " / ¿DESEA RECIBIRLOS EN ESTA OBRA? -> no"));
  EXPECT_TRUE(central.dumps() == before);

  host.documentRunner.files.push_back(out.string());
  host.press("?ELIGE");
  host.press("?RECIBE");
  EXPECT_EQ(oficina(central, kWork), response::Completed);
  EXPECT_EQ(host.jobRunner.captions,
            (std::vector<std::string>{"REVISANDO LOS ARCHIVOS", "INCLUYENDO LAS ESTIMACIONES",
                                      "INCLUYENDO LOS CONTRATISTAS", "INCLUYENDO LOS PARTIDAS",
                                      "INCLUYENDO LOS CONCEPTOS"}));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find("Estimaciones: 2 agregadas"), std::string::npos)
      << host.boxes[0].text;
  EXPECT_TRUE(central.dumps() == site.dumps());

  // A refusal is shown and the window stays, with the folder as chosen.
  fs::resize_file(out / "ENVIO4.DAT", 100);
  host.documentRunner.files.push_back(out.string());
  host.press("?ELIGE");
  host.press("?RECIBE");
  host.actions.push_back([&](Procedure& p) { EXPECT_EQ(p.display("?DIRECTORIO"), out.string()); });
  host.press("?CANCEL");
  EXPECT_EQ(oficina(central, "OTRA"), response::Cancelled);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find("no es el que se envió"), std::string::npos)
      << host.boxes[0].text;
}

}  // namespace
}  // namespace velmora
