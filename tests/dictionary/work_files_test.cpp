// The files of a chosen work: the work and accounting folders, the monthly
// policy files, and the two ways of naming them that reach the same files.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "dictionary/dates.h"
#include "dictionary/work_files.h"
#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

namespace fs = std::filesystem;

WorkLocation location(std::string folder, std::string code, std::string accounting,
                      char separator = '/', NameStyle style = NameStyle::WithExtension,
                      std::int32_t today = dates::dateOf(4, 15, 2026)) {
  WorkLocation w;
  w.programFolder = std::move(folder);
  w.code = std::move(code);
  w.accounting = std::move(accounting);
  w.today = today;
  w.style = style;
  w.separator = separator;
  return w;
}

std::string pathOf(const WorkFiles& files, std::string_view label) {
  std::string found = "<sin nombre>";
  int times = 0;
  for (const WorkFileName& n : files.names)
    if (n.table->label == label) found = n.path, ++times;
  return times == 1 ? found : "<" + std::to_string(times) + " nombres>";
}

TEST(WorkFiles, FoldersTrimTheCodeAndKeepOneSeparator) {
  // A code shorter than its field comes padded with blanks: the folder is
  // the bare code.
  WorkFiles f = workFiles(location("/srv/obras", "OB1     ", "CONTA1"));
  EXPECT_EQ(f.workFolder, "/srv/obras/OB1");
  EXPECT_EQ(f.accountingFolder, "/srv/obras/CONTA1");
  EXPECT_EQ(pathOf(f, "PART"), "/srv/obras/OB1/OBRA10.TPS");
  EXPECT_EQ(pathOf(f, "PROV"), "/srv/obras/OB1/MATE1.TPS");
  EXPECT_EQ(pathOf(f, "CUEN"), "/srv/obras/CONTA1/CUENTAS.TPS");
  EXPECT_EQ(pathOf(f, "TIPO"), "/srv/obras/CONTA1/TIPOS.TPS");
  // April: the monthly files are the "ABR" ones.
  EXPECT_EQ(pathOf(f, "POLMES"), "/srv/obras/CONTA1/POLABR.TPS");
  EXPECT_EQ(pathOf(f, "DETMES"), "/srv/obras/CONTA1/DETABR.TPS");

  // A program folder given with its separator, or the root itself: one
  // separator between folder and name, never two.
  WorkFiles slash = workFiles(location("/srv/obras/", "OB1", "CONTA1"));
  EXPECT_EQ(slash.workFolder, "/srv/obras/OB1");
  EXPECT_EQ(pathOf(slash, "PART"), "/srv/obras/OB1/OBRA10.TPS");
  WorkFiles root = workFiles(location("/", "OB1     ", "CONTA1"));
  EXPECT_EQ(root.workFolder, "/OB1");
  EXPECT_EQ(pathOf(root, "PART"), "/OB1/OBRA10.TPS");
  EXPECT_EQ(pathOf(root, "POLMES"), "/CONTA1/POLABR.TPS");

  // Windows names: backslashes throughout, a drive root keeps one.
  WorkFiles drive = workFiles(location("C:\\", "OB1     ", "CONTA1", '\\'));
  EXPECT_EQ(drive.workFolder, "C:\\OB1");
  EXPECT_EQ(pathOf(drive, "PART"), "C:\\OB1\\OBRA10.TPS");
  EXPECT_EQ(pathOf(drive, "DETMES"), "C:\\CONTA1\\DETABR.TPS");
  WorkFiles win = workFiles(location("C:\\VELMORA", "OB1", "CONTA1", '\\'));
  EXPECT_EQ(pathOf(win, "PART"), "C:\\VELMORA\\OB1\\OBRA10.TPS");
  EXPECT_EQ(pathOf(win, "CUEN"), "C:\\VELMORA\\CONTA1\\CUENTAS.TPS");
  for (const WorkFileName& n : win.names) EXPECT_EQ(n.path.find('/'), std::string::npos) << n.path;
}

TEST(WorkFiles, MonthlyFilesFollowTheMonthOfTheChoice) {
  const char* months[] = {"ENE", "FEB", "MAR", "ABR", "MAY", "JUN",
                          "JUL", "AGO", "SEP", "OCT", "NOV", "DIC"};
  for (int m = 1; m <= 12; ++m) {
    EXPECT_EQ(monthAbbreviation(m), months[m - 1]);
    // The last day of the month still belongs to it.
    std::int32_t lastDay = dates::dateOf(m + 1, 0, 2025);
    WorkFiles f = workFiles(location("/w", "A", "C", '/', NameStyle::WithExtension, lastDay));
    EXPECT_EQ(pathOf(f, "POLMES"), std::string("/w/C/POL") + months[m - 1] + ".TPS");
    EXPECT_EQ(pathOf(f, "DETMES"), std::string("/w/C/DET") + months[m - 1] + ".TPS");
  }
  EXPECT_EQ(monthAbbreviation(0), "");
  EXPECT_EQ(monthAbbreviation(13), "");
}

TEST(WorkFiles, EveryWorkAndAccountingTableIsNamedAndBothStylesAgree) {
  WorkFiles with = workFiles(location("/w", "OB1", "CONTA1"));
  WorkFiles without = workFiles(location("/w", "OB1", "CONTA1", '/', NameStyle::WithoutExtension));
  std::set<std::string_view> named;
  for (const WorkFileName& n : with.names) {
    EXPECT_TRUE(named.insert(n.table->label).second) << "dos nombres para " << n.table->label;
  }
  for (const dict::TableInfo& t : dict::tables()) {
    bool ours = t.kind == dict::Kind::Table &&
                (t.place == dict::Place::WorkFolder || t.place == dict::Place::AccountingFolder ||
                 t.place == dict::Place::MonthlyPolicy || t.place == dict::Place::MonthlyDetail);
    EXPECT_EQ(named.count(t.label), ours ? 1u : 0u) << t.label;
    if (t.kind != dict::Kind::Table) continue;
    if (t.place == dict::Place::WorkFolder) {
      EXPECT_EQ(pathOf(with, t.label), "/w/OB1/" + std::string(t.fileName));
    } else if (t.place == dict::Place::AccountingFolder) {
      EXPECT_EQ(pathOf(with, t.label), "/w/CONTA1/" + std::string(t.fileName));
    }
  }
  // The catalogue files stay where they are.
  EXPECT_EQ(named.count("OBRA"), 0u);
  EXPECT_EQ(named.count("PERS"), 0u);

  // Without the extension the storage completes each name to the very same
  // file.
  ASSERT_EQ(without.names.size(), with.names.size());
  for (std::size_t i = 0; i < with.names.size(); ++i) {
    const std::string& bare = without.names[i].path;
    EXPECT_EQ(without.names[i].table, with.names[i].table);
    EXPECT_FALSE(bare.ends_with(".TPS")) << bare;
    EXPECT_EQ(withDefaultExtension(bare), with.names[i].path);
  }
  EXPECT_EQ(pathOf(without, "PART"), "/w/OB1/OBRA10");
  EXPECT_EQ(pathOf(without, "POLMES"), "/w/CONTA1/POLABR");
}

TEST(WorkFiles, BothStylesOpenTheSameFiles) {
  test::TempFolder folder;
  const std::string base = folder.path().string();
  fs::create_directories(folder.path() / "OB1");
  fs::create_directories(folder.path() / "CONTA1");
  const auto april = dates::dateOf(4, 15, 2026);

  // One station names the files without extension and writes ...
  Storage bare;
  useWorkFiles(bare, workFiles(location(base, "OB1     ", "CONTA1", '/',
                                        NameStyle::WithoutExtension, april)));
  EXPECT_EQ(bare.fileName(*dict::findTable("FREN")), base + "/OB1/OBRA8");
  {
    Context ctx(bare);
    Table& fren = ctx.table("FREN");
    ASSERT_TRUE(fren.open().ok());
    EXPECT_EQ(fren.path(), base + "/OB1/OBRA8.TPS");
    fren.rec<FRE>().CTA = 7;
    fren.rec<FRE>().NOMB = "CIMENTACION";
    ASSERT_TRUE(fren.add().ok());
    Table& pol = ctx.table("POLMES");
    ASSERT_TRUE(pol.open().ok());
    pol.rec<POA>().NUM = 3;
    pol.rec<POA>().DESC = "PAGO DE ESTIMACION";
    ASSERT_TRUE(pol.add().ok());
  }
  EXPECT_TRUE(fs::exists(folder.path() / "OB1" / "OBRA8.TPS"));
  EXPECT_TRUE(fs::exists(folder.path() / "CONTA1" / "POLABR.TPS"));
  EXPECT_FALSE(fs::exists(folder.path() / "OB1" / "OBRA8"));
  EXPECT_FALSE(fs::exists(folder.path() / "CONTA1" / "POLABR"));

  // ... the other names them with ".TPS" and reads what the first wrote.
  Storage full;
  useWorkFiles(full,
               workFiles(location(base, "OB1", "CONTA1", '/', NameStyle::WithExtension, april)));
  Context ctx(full);
  Table& fren = ctx.table("FREN");
  ASSERT_TRUE(fren.open().ok());
  fren.rec<FRE>().CTA = 7;
  ASSERT_TRUE(fren.get("FRE:CTA_KEY").ok());
  EXPECT_EQ(fren.rec<FRE>().NOMB, "CIMENTACION");
  Table& pol = ctx.table("POLMES");
  ASSERT_TRUE(pol.open().ok());
  pol.rec<POA>().NUM = 3;
  ASSERT_TRUE(pol.get("POA:NUM_KEY").ok());
  EXPECT_EQ(pol.rec<POA>().DESC, "PAGO DE ESTIMACION");
  std::int64_t count = 0;
  ASSERT_TRUE(fren.records(count).ok());
  EXPECT_EQ(count, 1);
}

}  // namespace
}  // namespace velmora::db
