// The dictionary against an independent list of record lengths and keys, the
// lookups by name, and the velmora tables command that shows it.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dictionary/records.h"
#include "dictionary/tables.h"

namespace velmora::dict {
namespace {

std::vector<std::vector<std::string>> readTsv(const std::string& name) {
  std::ifstream in(std::string(VELMORA_TEST_DATA) + "/dictionary/data/" + name);
  EXPECT_TRUE(in) << name;
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> cells;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

struct CommandResult {
  int status;
  std::string out;
};

CommandResult run(const std::string& args) {
  std::string cmd = std::string(VELMORA_EXE) + " " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int st = pclose(p);
  return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

TEST(Dictionary, EveryTableHasItsRecordLengthAndPrefix) {
  auto expected = readTsv("tables.txt");
  ASSERT_EQ(expected.size(), 54u);
  int own = 0;
  for (const TableInfo& t : tables()) own += t.kind == Kind::Table;
  EXPECT_EQ(own, 54);  // 53 and the version file
  // Plus four aliases, two transfer tables and 54 stored layouts.
  EXPECT_EQ(tables().size(), 114u);
  for (const auto& row : expected) {
    const TableInfo* t = findTable(row[0]);
    ASSERT_NE(t, nullptr) << row[0];
    EXPECT_EQ(t->kind, Kind::Table) << row[0];
    EXPECT_EQ(t->prefix, row[1]) << row[0];
    EXPECT_EQ(t->recordLength, std::stoul(row[2])) << row[0];
    // The layout has no gaps or overlaps: each top-level field starts where the last ended.
    std::uint32_t at = 0;
    for (const FieldInfo& f : t->fields) {
      if (f.group >= 0 || f.type == Type::Memo) continue;
      EXPECT_EQ(f.offset, at) << f.name;
      at += f.storedWidth();
    }
    EXPECT_EQ(at, t->recordLength) << row[0];
  }
}

TEST(Dictionary, EveryKeyHasItsComponentsAndAttributes) {
  auto expected = readTsv("keys.txt");
  std::set<std::string> seen;
  for (const auto& row : expected) {
    const TableInfo* owner = nullptr;
    const KeyInfo* k = findKey(row[0], &owner);
    ASSERT_NE(k, nullptr) << row[0];
    std::string comps;
    for (auto c : k->components)
      comps += (comps.empty() ? "" : ",") + std::string(owner->fields[std::size_t(c)].name);
    EXPECT_EQ(comps, row[1]) << row[0];
    std::string attrs = k->unique ? "unique" : "dup";
    if (k->noCase) attrs += ",nocase";
    if (k->excludeNulls) attrs += ",nozero";
    if (k->primary) attrs += ",primary";
    if (k->autoNumber) attrs += ",auto";
    EXPECT_EQ(attrs, row[2]) << row[0];
    seen.insert(row[0]);
  }
  // No table of the dictionary declares a key the list does not have.
  std::size_t declared = 0;
  for (const TableInfo& t : tables())
    if (t.kind == Kind::Table) declared += t.keys.size();
  EXPECT_EQ(declared, seen.size());
}

TEST(Dictionary, AnswersByName) {
  const TableInfo* owner = nullptr;
  const FieldInfo* conc = findField("PAR:CONC", &owner);
  ASSERT_NE(conc, nullptr);
  EXPECT_EQ(owner->label, "PART");
  EXPECT_EQ(conc->type, Type::Real);
  ASSERT_EQ(conc->pictures.size(), 3u);
  EXPECT_EQ(conc->pictures[1], "@n_6");
  EXPECT_EQ(conc->prompts[0], "CONCEPTO:");
  EXPECT_EQ(findField("par:conc"), conc);  // names are case-insensitive

  const KeyInfo* key = findKey("PAR:CTA_KEY");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->components.size(), 3u);
  EXPECT_NE(findKey("PRO:AGE:KEY"), nullptr);  // a key name with a colon of its own
  EXPECT_NE(findKey("PGE:AGE_CTA"), nullptr);

  // OBR:CC is the first member of group OBR:CONTA, 15 elements of 5 LONGs.
  const TableInfo& obra = *findTable("OBRA");
  const FieldInfo* cc = obra.field("OBR:CC");
  ASSERT_NE(cc, nullptr);
  ASSERT_GE(cc->group, 0);
  const FieldInfo& conta = obra.fields[std::size_t(cc->group)];
  EXPECT_EQ(conta.name, "OBR:CONTA");
  EXPECT_EQ(conta.dim, 15);
  EXPECT_EQ(conta.size, 20);
  EXPECT_EQ(obra.field("OBR:SSSSCC")->offset, cc->offset + 16);

  EXPECT_EQ(findTable("par"), findTable("PART"));
  EXPECT_EQ(findField("PAR:NOPE"), nullptr);
  EXPECT_EQ(findField("CONC"), nullptr);
  EXPECT_EQ(findTable("NOPE"), nullptr);
}

TEST(Dictionary, FilesAndPasswords) {
  const std::set<std::string> accounting = {"CUEN", "POLMES", "DETMES", "TIPO", "PAPR"};
  for (const TableInfo& t : tables()) {
    const TableInfo& named = t.kind == Kind::Layout ? table(t.base) : t;
    EXPECT_EQ(t.password, accounting.count(std::string(named.label)) ? "QARTO" : "482719")
        << t.label;
  }

  auto place = [](const char* l) { return findTable(l)->place; };
  EXPECT_EQ(place("OBRA"), Place::ProgramFolder);
  EXPECT_EQ(findTable("OBRA")->fileName, "DATA1");
  EXPECT_EQ(place("PART"), Place::WorkFolder);
  EXPECT_EQ(findTable("PART")->fileName, "OBRA10.TPS");
  EXPECT_EQ(place("CUEN"), Place::AccountingFolder);
  EXPECT_EQ(place("POLMES"), Place::MonthlyPolicy);
  EXPECT_EQ(place("DETMES"), Place::MonthlyDetail);
  EXPECT_EQ(place("PROP"), Place::NotSet);
  EXPECT_EQ(place("ACOE"), Place::SetByProcedure);
  EXPECT_EQ(findTable("ADPO")->fileName, "ENVIO3.DAT");
  EXPECT_EQ(findTable("APOL")->fileName, "ENVIO2.DAT");
  // Two tables over one file.
  EXPECT_EQ(findTable("COBA")->fileName, findTable("COBT")->fileName);
  EXPECT_EQ(findTable("INCO")->fileName, "DATA6");
  EXPECT_EQ(findTable("INCT")->fileName, "DATA6");
}

TEST(Dictionary, AliasAndTransferTablesRepeatTheirBase) {
  struct Case {
    const char* alias;
    const char* base;
    std::size_t keys;
  };
  for (Case c : {Case{"ACOE", "CONC", 3}, Case{"APAR", "PART", 4}, Case{"ACTR", "CONT", 2},
                 Case{"COT", "COBR", 3}, Case{"ADPO", "DPOL", 1}, Case{"APOL", "POLI", 0}}) {
    const TableInfo& a = *findTable(c.alias);
    const TableInfo& b = *findTable(c.base);
    EXPECT_EQ(a.base, b.index) << c.alias;
    EXPECT_EQ(a.ops, b.ops) << c.alias;
    EXPECT_EQ(a.recordLength, b.recordLength) << c.alias;
    ASSERT_EQ(a.fields.size(), b.fields.size()) << c.alias;
    for (std::size_t i = 0; i < a.fields.size(); ++i) {
      EXPECT_EQ(std::string(a.fields[i].name),
                std::string(c.alias) + ":" + std::string(b.fields[i].shortName));
      EXPECT_EQ(a.fields[i].offset, b.fields[i].offset);
    }
    EXPECT_EQ(a.keys.size(), c.keys) << c.alias;
  }
  EXPECT_NE(findKey("ACOE:CLA_KEY"), nullptr);
  EXPECT_NE(findKey("ADPO:CTA_KEY"), nullptr);
  EXPECT_EQ(findTable("COT")->field("COT:TEX1")->type, Type::Memo);
}

TEST(Dictionary, StoredLayoutsByVersion) {
  int layouts = 0;
  for (const TableInfo& t : tables()) {
    if (t.kind != Kind::Table || t.label == "L_UPG") continue;
    const TableInfo* v1 = layoutOf(t, 1);
    ASSERT_NE(v1, nullptr) << t.label;
    EXPECT_EQ(v1->label, "V1_" + std::string(t.label));
    EXPECT_EQ(v1->keys.size(), t.keys.size()) << t.label;
    EXPECT_EQ(t.version, t.label == "OBRA" ? 2 : 1) << t.label;
    if (t.label != "OBRA") {
      EXPECT_EQ(v1->ops, t.ops) << t.label;
    }
  }
  for (const TableInfo& t : tables()) layouts += t.kind == Kind::Layout;
  EXPECT_EQ(layouts, 54);
  EXPECT_NE(findField("V1_PGM:CANT"), nullptr);
  const TableInfo& obra = *findTable("OBRA");
  const TableInfo& v1 = *layoutOf(obra, 1);
  EXPECT_EQ(v1.recordLength, 776u);
  EXPECT_EQ(v1.field("POMO"), nullptr);
  EXPECT_EQ(v1.field("LIST")->offset, obra.field("LIST")->offset - 16);
  EXPECT_NE(v1.ops, obra.ops);
  EXPECT_EQ(layoutOf(obra, 2)->ops, obra.ops);
  EXPECT_EQ(layoutOf(obra, 3), nullptr);
}

TEST(Dictionary, RelationsAsDeclared) {
  ASSERT_EQ(relations().size(), 10u);
  std::map<std::string, const RelationInfo*> byPair;
  for (const RelationInfo& r : relations())
    byPair[std::string(table(r.parent).label) + ">" + std::string(table(r.child).label)] = &r;
  const RelationInfo* esti = byPair.at("ESTI>DEST");
  EXPECT_EQ(esti->onUpdate, Rule::Cascade);
  EXPECT_EQ(esti->onDelete, Rule::Cascade);
  EXPECT_EQ(table(esti->child).keys[std::size_t(esti->childKey)].name, "DES:CTA_KEY");
  EXPECT_EQ(byPair.at("POLI>DPOL")->onDelete, Rule::Procedures);
  EXPECT_EQ(byPair.at("AGEN>PAGE")->onDelete, Rule::Restrict);
  EXPECT_EQ(byPair.at("CLIE>PAPR")->onDelete, Rule::Restrict);
  const RelationInfo* fact = byPair.at("FACT>DREM");
  ASSERT_EQ(fact->links.size(), 2u);
  EXPECT_EQ(table(fact->parent).fields[std::size_t(fact->links[1].parentField)].name, "FAC:FOLIO");
  EXPECT_EQ(table(fact->child).fields[std::size_t(fact->links[1].childField)].name, "DRE:NFAC");
  EXPECT_EQ(fact->onDelete, Rule::None);
}

TEST(Dictionary, TablesCommandListsAndDescribes) {
  CommandResult all = run("tables");
  ASSERT_EQ(all.status, 0) << all.out;
  std::stringstream ss(all.out);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(ss, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 114u);
  EXPECT_EQ(lines[1], "PART\tPAR\tOBRA10.TPS\t265\t36\t4");
  EXPECT_NE(all.out.find("OBRA\tOBR\tDATA1\t792\t"), std::string::npos);
  EXPECT_NE(all.out.find("POLMES\tPOA\tPOL<MES>.TPS\t67\t12\t1\n"), std::string::npos);

  CommandResult part = run("tables par");
  ASSERT_EQ(part.status, 0) << part.out;
  EXPECT_NE(part.out.find("PAR:TEXT\tSTRING(30)\t30\t16\n"), std::string::npos) << part.out;
  EXPECT_NE(part.out.find("PAR:CTA_KEY\tPAR:CONC,PAR:PROC,PAR:FREN\tunique\n"), std::string::npos);
  CommandResult obra = run("tables OBRA");
  EXPECT_NE(obra.out.find("OBR:CONTA\tGROUP[15]\t300\t"), std::string::npos) << obra.out;
  EXPECT_NE(obra.out.find("  OBR:CC\tLONG\t4\t"), std::string::npos);

  CommandResult unknown = run("tables NOPE");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.out.find("No existe la tabla NOPE"), std::string::npos);
}

}  // namespace
}  // namespace velmora::dict
