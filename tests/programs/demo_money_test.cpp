// The demo company holds only what a clerk's capture would save: amounts
// in whole cents, estimates the sum of their lines, totals that agree, so
// that the audit finds nothing to correct on a fresh demo.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <type_traits>
#include <vector>

#include "dictionary/storage.h"
#include "tests/programs/demo_files.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

using test::q;
using test::readAll;
namespace fs = std::filesystem;

// A stored real that is a whole number of cents, as every amount a
// program saves is.
bool inCents(double v) {
  const auto d = Decimal::fromDouble(v);
  return d && d->toDouble() == v;
}

std::int64_t cents(double v) { return std::llround(v * 100); }

// The amount fields of a record that are not in whole cents, by name.
template <class R>
std::vector<std::pair<const char*, double>> notInCents(const R& r) {
  std::vector<std::pair<const char*, double>> fields;
  if constexpr (std::is_same_v<R, POL>)
    fields = {{"CANT", r.CANT}, {"PANT", r.PANT}, {"PFON", r.PFON}, {"PPRE", r.PPRE},
              {"PRES", r.PRES}, {"IVA", r.IVA},   {"TACU", r.TACU}, {"NOMI", r.NOMI},
              {"SANT", r.SANT}, {"SFON", r.SFON}};
  else if constexpr (std::is_same_v<R, DPO>)
    fields = {{"TANT", r.TANT}, {"TACT", r.TACT}};
  else if constexpr (std::is_same_v<R, PAR>)
    fields = {{"PRES", r.PRES}, {"PREI", r.PREI}, {"VPRE", r.VPRE}, {"TPAG", r.TPAG},
              {"MATE", r.MATE}, {"MATI", r.MATI}, {"VMAT", r.VMAT}, {"COST", r.COST},
              {"EQUI", r.EQUI}, {"EQII", r.EQII}, {"VEQU", r.VEQU}, {"TEQU", r.TEQU},
              {"UNIT", r.UNIT}};
  else
    fields = {{"ICON", r.ICON}, {"PRES", r.PRES}, {"TPAG", r.TPAG}, {"TIVA", r.TIVA},
              {"ANTI", r.ANTI}, {"AAMO", r.AAMO}, {"GAAC", r.GAAC}, {"NOAC", r.NOAC}};
  std::erase_if(fields, [](const auto& f) { return inCents(f.second); });
  return fields;
}

// One failure per table, naming the first fields found.
template <class R>
void expectCents(const std::vector<R>& records, const char* label) {
  int found = 0;
  std::string first;
  for (std::size_t i = 0; i < records.size(); ++i)
    for (const auto& [field, value] : notInCents(records[i]))
      if (++found <= 3)
        first += "\n  record " + std::to_string(i + 1) + " " + field + " " +
                 testing::PrintToString(value);
  EXPECT_EQ(found, 0) << label << " amounts not in cents:" << first;
}

// How many records differ between two reads of a table (a record added or
// taken away counts too).
template <class R>
std::size_t changed(const std::vector<R>& before, const std::vector<R>& after) {
  std::size_t n =
      before.size() > after.size() ? before.size() - after.size() : after.size() - before.size();
  for (std::size_t i = 0; i < std::min(before.size(), after.size()); ++i)
    n += !(before[i] == after[i]);
  return n;
}

// VOROVID's running totals are the sums of its invoices and payments.
void expectEquipmentTotals(const fs::path& work) {
  const auto invoices = readAll<FAM>(work / "OBRA20.TPS");
  const auto payments = readAll<PGM>(work / "OBRA21.TPS");
  const auto suppliers = readAll<PRV>(work / "MATE1.TPS");
  const auto banks = readAll<BAN>(work / "PAGO3.TPS");
  const auto items = readAll<PAR>(work / "OBRA10.TPS");
  std::map<std::int32_t, std::int64_t> invoiced, paid, advanced, applied, byInvoice, cashOut;
  std::map<std::tuple<double, int, int>, std::int64_t> equipment;
  for (const FAM& f : invoices) {
    for (double v : {f.IMPO, f.IVA, f.PAGO}) EXPECT_TRUE(inCents(v)) << "FAM " << f.CTA << " " << v;
    invoiced[f.PROV] += cents(f.IMPO) + cents(f.IVA);
    equipment[{f.CONC, f.PROC, f.FREN}] += cents(f.IMPO);
  }
  for (const PGM& p : payments) {
    EXPECT_TRUE(inCents(p.CANT) && inCents(p.ANTI)) << p.CANT << " " << p.ANTI;
    if (p.TIPO == "A") {
      advanced[p.PROV] += cents(p.ANTI);
      cashOut[p.BANK] += cents(p.ANTI);
    } else {
      paid[p.PROV] += cents(p.CANT);
      applied[p.PROV] += cents(p.ANTI);
      byInvoice[p.FACT] += cents(p.CANT);
      cashOut[p.BANK] += cents(p.CANT) - cents(p.ANTI);
    }
  }
  EXPECT_FALSE(invoices.empty());
  EXPECT_FALSE(paid.empty()) << "the demo pays an invoice";
  for (const FAM& f : invoices) EXPECT_EQ(cents(f.PAGO), byInvoice[f.CTA]) << "FAM " << f.CTA;
  for (const PRV& s : suppliers) {
    for (double v : {s.ANTI, s.AAMO, s.TREC, s.TPAG, s.TFAC})
      EXPECT_TRUE(inCents(v)) << s.NOMB << " " << v;
    EXPECT_EQ(cents(s.TFAC), invoiced[s.CTA]) << s.NOMB;
    EXPECT_EQ(cents(s.TPAG), paid[s.CTA]) << s.NOMB;
    EXPECT_EQ(cents(s.ANTI), advanced[s.CTA]) << s.NOMB;
    EXPECT_EQ(cents(s.AAMO), applied[s.CTA]) << s.NOMB;
  }
  for (const BAN& b : banks) {
    EXPECT_TRUE(inCents(b.SAIN) && inCents(b.SALD)) << b.NOMB;
    EXPECT_EQ(cents(b.SAIN) - cents(b.SALD), cashOut[b.CTA]) << b.NOMB;
  }
  for (const PAR& p : items) {
    const std::int64_t charged = equipment[{p.CONC, p.PROC, p.FREN}];
    EXPECT_EQ(cents(p.TEQU), charged) << p.CONC << "/" << p.PROC << "/" << p.FREN;
  }
}

TEST(Demo, HoldsOnlyWhatCaptureWouldSaveSoTheAuditFindsNothingToCorrect) {
  test::TempFolder folder;
  const fs::path dir = folder.path() / "empresa";
  // The company a newcomer gets: advances, loans, payroll and fund returns.
  auto r = test::runVelmora("demo " + q(dir));
  ASSERT_EQ(r.status, 0) << r.out;
  bool advance = false, fundReturn = false, payroll = false, loan = false;
  for (const OBR& w : readAll<OBR>(dir / "DATA1.TPS")) {
    SCOPED_TRACE(w.CTA);
    const fs::path work = dir / w.CTA;
    const auto items = readAll<PAR>(work / "OBRA10.TPS");
    const auto contractors = readAll<CTR>(work / "OBRA12.TPS");
    const auto estimates = readAll<POL>(work / "OBRA13.TPS");
    const auto lines = readAll<DPO>(work / "OBRA14.TPS");
    ASSERT_FALSE(lines.empty());
    expectCents(items, "PART");
    expectCents(contractors, "CONT");
    expectCents(estimates, "POLI");
    expectCents(lines, "DPOL");

    // An estimate's amount is what its lines add up to, the amount its list
    // row, its form and its printout all show.
    std::map<std::int16_t, std::int64_t> ofLines;
    for (const DPO& d : lines) {
      EXPECT_GT(cents(d.TACT), cents(d.TANT)) << "folio " << d.CTA;
      ofLines[d.CTA] += cents(d.TACT) - cents(d.TANT);
    }
    for (const POL& p : estimates) {
      advance |= p.ESTI == -1;
      fundReturn |= p.ESTI == -3;
      payroll |= p.NOMI > 0;
      loan |= p.PRES > 0;
      if (p.ESTI < 0) {
        EXPECT_EQ(ofLines.count(p.CTA), 0u) << "an advance or a return has lines: " << p.CTA;
        continue;
      }
      EXPECT_EQ(cents(p.CANT), ofLines[p.CTA]) << "folio " << p.CTA;
      // The final amounts as the window figures them, to the cent.
      const CTR* c = nullptr;
      for (const CTR& k : contractors) c = k.CTA == p.CONT ? &k : c;
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(cents(p.PFON), std::llround(double(cents(p.CANT)) * c->PGAR / 100)) << p.CTA;
      EXPECT_EQ(cents(p.IVA), std::llround(double(cents(p.CANT) - cents(p.NOMI)) * c->IVA / 100))
          << p.CTA;
    }

    // The audit rebuilds every running total from the estimates and finds
    // each one as it was.
    r = test::runVelmora("auditoria " + q(dir) + " " + w.CTA);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("AUDITORIA TERMINADA: 0 estimaciones, 0 contratistas (0 nuevos), 0 "
                         "partidas y 0 renglones corregidos; 0 renglones borrados"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(changed(items, readAll<PAR>(work / "OBRA10.TPS")), 0u) << "PART";
    EXPECT_EQ(changed(contractors, readAll<CTR>(work / "OBRA12.TPS")), 0u) << "CONT";
    EXPECT_EQ(changed(estimates, readAll<POL>(work / "OBRA13.TPS")), 0u) << "POLI";
    EXPECT_EQ(changed(lines, readAll<DPO>(work / "OBRA14.TPS")), 0u) << "DPOL";
    // VOROVID's totals and the month's policies hold as well.
    r = test::runVelmora("verifica " + q(dir) + " " + w.CTA);
    EXPECT_EQ(r.status, 0) << r.out;
    r = test::runVelmora("auditoria " + q(dir) + " " + w.CTA + " --vorovid");
    EXPECT_NE(r.out.find("AUDITORIA TERMINADA: 0 proveedores, 0 facturas, 0 partidas y 0 equipos "
                         "corregidos"),
              std::string::npos)
        << r.out;
  }
  EXPECT_TRUE(advance && fundReturn && payroll && loan)
      << advance << fundReturn << payroll << loan << ": every kind of entry is there";
  expectEquipmentTotals(dir / "HOSP01");
}

}  // namespace
}  // namespace velmora
