// velmora envia / recibe between two copies of the demo company, as the
// offices would run them, with the tables compared through velmora dump.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "exchange/transfer.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

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

  // An estimate the central office already has keeps its own lines.
  dropEstimate(central.storage, 5, false);
  before = central.dumps();
  ASSERT_FALSE(before == wanted);
  r = central.receive(out);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(central.dumps() == before);
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

}  // namespace
}  // namespace velmora
