// The system audit on works built by hand in a folder of their own: what it
// recomputes, deletes and creates, its window, the headless command, and
// runs cut short by a killed process.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlcipher/sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>

#include "dictionary/dates.h"
#include "dictionary/work_files.h"
#include "estimates/audit.h"
#include "estimates/audit_engine.h"
#include "estimates/registry.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"
#include "ui/script/script_host.h"

namespace velmora::estimates {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kDay = 80000;

CTR ctr(std::int16_t n) {
  CTR c;
  c.CTA = n, c.NOMB = "C" + std::to_string(n), c.PANT = 10, c.PGAR = 5, c.IVA = 16;
  return c;
}
PAR par(double conc, std::int16_t contractor, double pres, double vpre = 0) {
  PAR r;
  r.CONC = conc, r.PROC = 1, r.FREN = 1, r.CONT = contractor, r.PRES = pres, r.VPRE = vpre;
  return r;
}
POL pol(std::int16_t folio, std::int16_t contractor, std::int32_t date, std::int32_t number,
        double amount, std::int32_t ufec = 0) {
  POL p;
  p.CTA = folio, p.CONT = contractor, p.FECH = date, p.ESTI = number, p.CANT = amount;
  p.UFEC = ufec;
  if (ufec == 1) p.PANT = -amount;  // an advance
  if (ufec == 3) p.PFON = -amount;  // a fund return
  return p;
}
DPO dpo(std::int16_t folio, const PAR& item, double before, double after, double pact) {
  DPO d;
  d.CTA = folio, d.PART = item.CONC, d.PROC = item.PROC, d.FREN = item.FREN;
  d.TANT = before, d.TACT = after, d.PACT = pact;
  return d;
}

std::string fmt(double v) {
  std::ostringstream o;
  o << v;
  return o.str();
}
std::string fmt(double a, double b) { return fmt(a) + "/" + fmt(b) + " "; }

struct Work {
  std::vector<CTR> contractors;
  std::vector<PAR> items;
  std::vector<POL> estimates;
  std::vector<DPO> lines;
  bool operator==(const Work&) const = default;
};

// A work as the estimate form leaves it: rounds of estimates saved one by
// one, an advance first for some contractors, two estimates on one day for
// others, a fund return at the end for a few.
// The work as saving leaves it: every amount to the cent, every total summed
// in cents.
double r2(double v) { return Decimal::fromDouble(v)->toDouble(); }

Work savedWork(int count, int rounds, unsigned seed) {
  std::mt19937 rng(seed);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Work w;
  const int people = std::max(2, count / 10);
  for (int c = 1; c <= people; ++c) w.contractors.push_back(ctr(std::int16_t(c)));
  for (int i = 0; i < count; ++i) {
    PAR r = par((i + 1) + 0.01 * (i % 3), std::int16_t(1 + i % people), 1000 + 0.25 * i,
                i % 5 ? 0 : 100.1);
    r.FECHAI = r.FECHAU = i % 7 ? 0 : kDay - 3;  // dates of the budget itself
    CTR& his = w.contractors[std::size_t(r.CONT - 1)];
    his.ICON = r2(his.ICON + r2(r.PRES) + r2(r.VPRE));
    w.items.push_back(r);
  }
  std::int16_t folio = 0;
  auto save = [&](CTR& c, std::int32_t date) {
    POL p = pol(++folio, c.CTA, date, 0, 0);
    for (PAR& it : w.items) {
      if (it.CONT != c.CTA || it.AVAN >= 100 || uniform(0, 9) < 4) continue;
      DPO l = dpo(p.CTA, it, it.TPAG, r2(it.TPAG + uniform(1000, 50000) / 100.0),
                  std::min(100.0, it.AVAN + uniform(5, 40)));
      l.PANT = it.AVAN;
      p.CANT = r2(p.CANT + r2(l.TACT - l.TANT));
      it.TPAG = l.TACT, it.AVAN = l.PACT, it.FECHAU = date;
      if (it.FECHAI == 0 || it.FECHAI == kDay - 3) it.FECHAI = date;
      w.lines.push_back(l);
    }
    const double balance = r2(c.ANTI - c.AAMO);
    p.PANT = balance > 0 ? std::min(balance, r2(c.PANT * p.CANT / 100)) : 0;
    p.PFON = r2(p.CANT * c.PGAR / 100), p.PPRE = c.PRES, p.NOMI = c.CTA % 4 ? 0 : 100;
    p.IVA = r2(c.IVA * (p.CANT - p.NOMI) / 100), p.PRES = uniform(0, 5) ? 0 : 500;
    p.UFEC = c.UFEC, p.SANT = r2(c.ANTI - c.AAMO - p.PANT), p.SFON = r2(c.GAAC + p.PFON);
    p.TACU = c.TPAG, p.ESTI = ++c.UEST;
    c.TPAG = r2(c.TPAG + p.CANT), c.UFEC = p.FECH, c.AAMO = r2(c.AAMO + p.PANT);
    c.GAAC = r2(c.GAAC + p.PFON), c.PRES = p.PRES;
    c.TIVA = r2(c.TIVA + p.IVA), c.NOAC = r2(c.NOAC + p.NOMI);
    w.estimates.push_back(p);
  };
  std::vector<std::size_t> turn(w.contractors.size());
  for (std::size_t i = 0; i < turn.size(); ++i) turn[i] = i;
  for (int round = 0; round < rounds; ++round) {
    std::shuffle(turn.begin(), turn.end(), rng);
    for (std::size_t k : turn) {
      CTR& c = w.contractors[k];
      const std::int32_t date = kDay + 14 * round + int(k % 5);
      if (round == 0 && c.CTA % 3 == 0) {
        w.estimates.push_back(pol(++folio, c.CTA, date - 2, -1, 2000, 1));
        c.ANTI += 2000;
      }
      save(c, date);
      if (c.CTA % 7 == 0 && round == 1) save(c, date);
    }
  }
  for (CTR& c : w.contractors)
    if (c.CTA % 4 == 1 && c.GAAC > 0) {
      // Saving leaves a fund return's accumulated amount at 0; the audit
      // gives it what was paid before it, as to every entry but an advance.
      POL f = pol(++folio, c.CTA, kDay + 14 * rounds, -3, c.GAAC, 3);
      f.TACU = c.TPAG;
      c.GAAC = 0;
      w.estimates.push_back(f);
    }
  return w;
}

// Every running value of the work, scrambled.
void scramble(Work& w, unsigned seed) {
  std::mt19937 rng(seed);
  auto any = [&] { return std::uniform_int_distribution<int>(-9999, 99999)(rng) / 100.0; };
  for (CTR& c : w.contractors) {
    c.ICON = any(), c.ANTI = any(), c.AAMO = any(), c.TPAG = any(), c.TIVA = any();
    c.GAAC = any(), c.PRES = any(), c.NOAC = any(), c.UEST = 7, c.UFEC = 9;
  }
  for (PAR& p : w.items) {
    p.COST = any(), p.TPAG = any(), p.AVAN = any();
    if (p.FECHAU >= kDay) p.FECHAI = 5, p.FECHAU = 0;
  }
  for (POL& p : w.estimates) {
    if (p.ESTI >= 0) p.ESTI = std::int32_t(rng() % 40);
    p.TACU = any(), p.SFON = any();
  }
  for (DPO& d : w.lines) d.TANT = any(), d.PANT = any();
}

// Runs SQL on a work file behind the table layer's back, to damage it.
int behindTheBack(db::Storage& storage, const dict::TableInfo& t, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(db::withDefaultExtension(storage.fileName(t)).c_str(), &db);
  std::string key = storage.rawKey(t.password, db::Storage::saltFor(t.password));
  int rc =
      sqlite3_exec(db, ("PRAGMA key=\"" + key + "\";PRAGMA cipher_page_size=4096;" + sql).c_str(),
                   nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return rc;
}

class Audit : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder.path() / "OBRA1");
    db::useWorkFiles(storage,
                     db::workFiles({folder.path().string(), "OBRA1", "CONTA", dates::today()}));
    storage.setFileName(OBR::info(), folder.file("DATA1.TPS"));
    messages.setHost(&host);
    addAuditProcedures(program);
    OBR o;
    o.CTA = "OBRA1";
    add(o);
  }

  template <class R>
  std::int64_t add(const R& r) {
    db::Context c(storage, 9);
    db::Table& t = c.table<R>();
    EXPECT_TRUE(t.open().ok());
    t.rec<R>() = r;
    EXPECT_TRUE(t.add().ok());
    return t.position();
  }
  template <class R>
  void addAll(const std::vector<R>& records) {
    db::Context c(storage, 9);
    db::Table& t = c.table<R>();
    ASSERT_TRUE(t.open().ok() && t.stream().ok());
    for (const R& r : records) {
      t.rec<R>() = r;
      ASSERT_TRUE(t.add().ok());
    }
    ASSERT_TRUE(t.flush().ok());
  }
  void write(const Work& w) {
    addAll(w.contractors), addAll(w.items), addAll(w.estimates), addAll(w.lines);
  }

  template <class R>
  std::vector<R> records() {
    db::Context c(storage, 8);
    db::Table& t = c.table<R>();
    std::vector<R> out;
    EXPECT_TRUE(t.open().ok() && t.setStart(nullptr).ok());
    while (t.next()) out.push_back(t.rec<R>());
    return out;
  }
  Work work() { return {records<CTR>(), records<PAR>(), records<POL>(), records<DPO>()}; }
  // A contractor or an estimate by its number.
  template <class R>
  R find(int number) {
    for (const R& r : records<R>())
      if (r.CTA == number) return r;
    return {};
  }
  CTR contractor(int n) { return find<CTR>(n); }
  POL estimate(int folio) { return find<POL>(folio); }

  struct Outcome {
    std::vector<std::string> captions;
    std::vector<std::array<std::string, 3>> warnings;
    std::vector<std::pair<Status, FileAction>> errors;
    AuditCounts counts;
  };
  // Runs the audit to the end; `during` is called at each caption.
  Outcome audit(std::function<void(const std::string&)> during = {}) {
    Outcome o;
    db::Context c(storage, 1);
    AuditRun run(c, {[&](const std::string& caption) {
                       o.captions.push_back(caption);
                       if (during) during(caption);
                     },
                     [&](const std::array<std::string, 3>& l) { o.warnings.push_back(l); },
                     [&](const Status& st, FileAction a) { o.errors.emplace_back(st, a); }});
    run.run();
    EXPECT_TRUE(run.finished()) << run.failure().text;
    o.counts = run.counts();
    return o;
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  test::TestHost host;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
};

TEST_F(Audit, AWorkWithoutEstimatesZeroesTheTotalsAndSumsTheBudgets) {
  CTR one = ctr(1);
  one.ICON = 5, one.TPAG = 700, one.ANTI = 30, one.AAMO = 20, one.GAAC = 9, one.PRES = 50;
  one.NOAC = 4, one.TIVA = 8, one.UEST = 6, one.UFEC = kDay;
  add(one);
  add(ctr(2));
  PAR a = par(1, 1, 1000, 200);
  a.TPAG = 300, a.AVAN = 30, a.COST = 12, a.FECHAI = kDay, a.FECHAU = kDay + 5;
  add(a);
  add(par(2, 1, 500.5));
  add(par(3, 2, 40));
  add(par(4, 0, 999));  // nobody's
  add(par(5, 9, 70));   // of a contractor no longer on file

  Outcome o = audit();
  EXPECT_EQ(o.captions,
            (std::vector<std::string>{"RECONSTRUYENDO LLAVES", "PREPARANDO CONCEPTOS",
                                      "PREPARANDO CONTRATISTAS DE OBRA",
                                      "PREPARANDO PARTIDAS DE OBRA", "PREPARANDO DE ESTIMACIONES",
                                      "VALORES A CONTRATISTAS", "VALORES A CONCEPTOS"}));
  CTR expected = ctr(1);
  expected.ICON = 1700.5;
  EXPECT_EQ(contractor(1), expected);  // every total zero, the terms kept
  EXPECT_EQ(contractor(2).ICON, 40);
  EXPECT_EQ(contractor(9).NOMB, "***** DADO DE BAJA ***** 9");
  EXPECT_EQ(contractor(9).ICON, 70);
  EXPECT_TRUE(o.warnings.empty());
  for (const PAR& p : records<PAR>()) EXPECT_EQ(p.TPAG + p.AVAN + p.COST, 0);
  EXPECT_EQ(records<PAR>()[0].FECHAI, kDay);  // dates come only from lines
}

TEST_F(Audit, EstimatesAreNumberedPerContractorAndMoveTheTotals) {
  add(ctr(1));
  // Contractor 2 already bears the name the audit would give contractor 7.
  CTR two = ctr(2);
  two.NOMB = "***** DADO DE BAJA ***** 7";
  add(two);
  // Contractor 1: two estimates on one day are numbered in record order.
  add(pol(5, 1, kDay, 9, 100));
  add(pol(3, 1, kDay, 9, 200));
  add(pol(1, 1, kDay - 20, 4, 50));
  // Contractor 2 starts with an advance; it keeps -1, takes no number and
  // does not carry on contractor 1's count.
  add(pol(2, 2, kDay - 40, -1, 10000, 1));
  POL first = pol(4, 2, kDay, 0, 50000, kDay - 100);
  first.PANT = 5000, first.PFON = 2500, first.IVA = 8000, first.NOMI = 1000, first.PRES = 3000;
  add(first);
  add(pol(6, 2, kDay + 1, 50001, 20));  // kept apart from the numbering
  POL second = pol(7, 2, kDay + 2, 2, 30000, kDay);
  second.PANT = 3000, second.PFON = 1500, second.IVA = 4800, second.PPRE = 3000;
  add(second);
  add(pol(9, 2, kDay + 50, -3, 4000, 3));
  // Contractor 7 was deleted: a warning at each of his estimates, and a
  // contractor to hold his totals.
  add(pol(11, 7, kDay, 1, 100));
  add(pol(12, 7, kDay + 14, 2, 50));

  Outcome o = audit();
  ASSERT_EQ(o.warnings.size(), 2u);
  EXPECT_EQ(o.warnings[0],
            (std::array<std::string, 3>{"ERROR EN CONTRATISTA 7   3", "EN POLIZA No 11", ""}));
  EXPECT_EQ(o.warnings[1][1], "EN POLIZA No 12");
  EXPECT_EQ(contractor(7).NOMB, "***** DADO DE BAJA ***** 7 2");
  EXPECT_EQ(contractor(7).TPAG, 150);
  EXPECT_EQ(records<CTR>().size(), 3u);

  std::string numbers;  // folio:number in record order
  for (const POL& p : records<POL>()) numbers += fmt(p.CTA) + ":" + fmt(p.ESTI) + " ";
  EXPECT_EQ(numbers, "5:2 3:3 1:1 2:-1 4:1 6:50001 7:2 9:-3 11:1 12:2 ");
  EXPECT_EQ(estimate(3).TACU, 150);
  CTR c = contractor(2);
  EXPECT_EQ(c.ANTI, 10000);
  EXPECT_EQ(c.AAMO, 8000);
  EXPECT_EQ(c.TPAG, 80020);
  EXPECT_EQ(c.TIVA, 12800);
  EXPECT_EQ(c.GAAC, 0);
  EXPECT_EQ(c.PRES, 0);  // lent with the first, repaid with the second
  EXPECT_EQ(c.NOAC, 1000);
  EXPECT_EQ(c.UEST, 2);  // the last number and its date, as saving leaves them
  EXPECT_EQ(c.UFEC, kDay + 2);
  std::string balances;  // accumulated amount and fund balance of 2, 4, 6, 7, 9
  for (int folio : {2, 4, 6, 7, 9}) balances += fmt(estimate(folio).TACU, estimate(folio).SFON);
  EXPECT_EQ(balances, "0/0 0/2500 50000/2500 50020/4000 80020/0 ");

  // Everyone is on file now: a second run neither warns nor changes anything.
  Work before = work();
  o = audit();
  EXPECT_TRUE(o.warnings.empty());
  EXPECT_TRUE(o.counts.changedNothing());
  EXPECT_TRUE(work() == before);
}

TEST_F(Audit, ItemsTakeTheirValuesFromTheirLinesAndEveryLineOfAGoneItemIsDeleted) {
  add(ctr(1));
  const PAR kept = par(10.5, 1, 5000), gone = par(11, 1, 5000), other = par(12, 1, 10);
  add(kept);
  add(other);
  for (std::int16_t f : {1, 2, 3}) add(pol(f, 1, kDay + 14 * f, f, 0));
  // Previous amounts out of step, as a hand correction leaves them.
  add(dpo(1, kept, 5, 100, 10));
  const std::int64_t taken = add(dpo(1, gone, 0, 40, 20));
  add(dpo(3, kept, 999, 350, 35));
  add(dpo(2, gone, 40, 90, 45));
  add(dpo(3, gone, 90, 95, 50));
  add(dpo(2, kept, 0, 180, 18));
  add(dpo(2, other, 0, 10, 5));
  // Another station deletes one of the gone item's lines meanwhile: it is
  // reported and the run goes on.
  Outcome o = audit([&](const std::string& caption) {
    if (caption != audit_caption::kContractorValues) return;
    db::Context c(storage, 7);
    ASSERT_TRUE(c.table<DPO>().open().ok() && c.table<DPO>().removeByPosition(taken).ok());
  });
  ASSERT_EQ(o.errors.size(), 1u);
  EXPECT_EQ(o.errors[0].first.code, err::RecordNotFound);
  EXPECT_EQ(o.errors[0].second, FileAction::Delete);
  EXPECT_EQ(o.counts.linesDeleted, 2);

  std::string lines;  // folio, item: previous amount/percentage
  for (const DPO& d : records<DPO>())
    lines += fmt(d.CTA) + "," + fmt(d.PART) + ":" + fmt(d.TANT, d.PANT);
  EXPECT_EQ(lines, "1,10.5:0/0 3,10.5:180/18 2,10.5:100/10 2,12:0/0 ");
  PAR p = records<PAR>()[0];
  EXPECT_EQ(p.TPAG, 350);  // after its last line, whatever the stored previous amounts said
  EXPECT_EQ(p.AVAN, 35);
  EXPECT_EQ(p.FECHAI, kDay + 14);
  EXPECT_EQ(p.FECHAU, kDay + 42);

  Work before = work();
  EXPECT_TRUE(audit().counts.changedNothing());
  EXPECT_TRUE(work() == before);
}

TEST_F(Audit, AWorkAsSavingLeavesItStaysAndEveryScrambledValueIsRebuilt) {
  const Work saved = savedWork(400, 5, 11);
  Work w = saved;
  scramble(w, 3);
  write(w);
  // A damaged key is rebuilt before anything is read through it.
  EXPECT_EQ(behindTheBack(storage, DPO::info(), "DROP INDEX \"DPO:CTA_KEY\""), SQLITE_OK);

  Outcome o = audit();
  EXPECT_TRUE(o.errors.empty());
  EXPECT_TRUE(o.warnings.empty());
  EXPECT_TRUE(work() == saved);
  EXPECT_TRUE(audit().counts.changedNothing());
}

// More items and lines than one transaction writes: each batch takes up
// where the one before it stopped, none skipped and none written twice.
TEST_F(Audit, AWorkOfSeveralWriteBatchesIsRebuiltWhole) {
  const Work saved = savedWork(AuditRun::kWriteBatch + 700, 3, 12);
  Work w = saved;
  scramble(w, 5);
  write(w);

  Outcome o = audit();
  EXPECT_TRUE(o.errors.empty());
  EXPECT_GT(o.counts.itemsWritten, AuditRun::kWriteBatch);
  EXPECT_GT(o.counts.linesWritten, 2 * AuditRun::kWriteBatch);
  EXPECT_EQ(o.counts.linesWritten, int(saved.lines.size()));
  EXPECT_TRUE(work() == saved);
  EXPECT_TRUE(audit().counts.changedNothing());
}

// --- the window ---------------------------------------------------------------

TEST_F(Audit, TheWindowRunsOnOkOrByItselfAndCierraDoesNothing) {
  CTR c = ctr(1);
  c.TPAG = 999;
  add(c);
  add(pol(1, 1, kDay, 1, 100));
  db::Context ctx(storage, 2);
  auto toolbar = [&] { return program.make(Auditoria::kName, ctx)->run(host); };

  host.press("?CLOSE");
  EXPECT_EQ(toolbar(), response::Cancelled);
  EXPECT_EQ(contractor(1).TPAG, 999);
  EXPECT_TRUE(host.boxes.empty());
  host.key(Key::Enter);  // OK is the default button
  EXPECT_EQ(toolbar(), response::Completed);
  EXPECT_EQ(contractor(1).TPAG, 100);
  // Started by hand, it says what it checked and corrected.
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Auditoría del Sistema");
  EXPECT_EQ(host.boxes[0].text,
            "La auditoría del sistema terminó.|Revisados: 1 contratista, 0 conceptos de obra, "
            "1 estimación y 0 renglones.|Corregidos: 1 contratista.");
  EXPECT_EQ(toText(program.var(kAuditStatus)), "VALORES A CONCEPTOS");
  EXPECT_EQ(host.jobRunner.captions.size(), 7u);

  // As the estimate windows start it: on a thread of its own, no key needed.
  add(pol(2, 5, kDay, 1, 10));
  Procedure caller(program, ctx, WindowDescription{"CAP_EST", "Estimaciones", {}});
  host.actions.push_back([](Procedure& p) { startAutomaticAudit(p); });
  caller.run(host);
  ASSERT_EQ(host.started.size(), 1u);
  EXPECT_EQ(host.started[0]->wm().response, response::Completed);
  EXPECT_EQ(contractor(5).TPAG, 10);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0][1], "EN POLIZA No 2");
  EXPECT_EQ(host.boxes.size(), 1u);  // run by itself it says nothing
  EXPECT_EQ(toText(program.var(kAutoRunFlag)), "");

  // The flag was cleared: the next start from the toolbar waits for OK.
  EXPECT_EQ(toolbar(), response::Cancelled);
  EXPECT_EQ(std::count(host.log.begin(), host.log.end(), "sin acciones: AUDITORIA"), 1);
  // The automatic run showed its window too: four openings in all.
  EXPECT_EQ(std::count(host.log.begin(), host.log.end(), "abre AUDITORIA"), 4);

  // A script sees every step of the run.
  std::istringstream script("inicia AUDITORIA\npulsa ?OK\n");
  std::ostringstream transcript;
  ScriptHost scripted(program, script, transcript);
  EXPECT_EQ(scripted.run(), 0);
  EXPECT_EQ(transcript.str(),
            "ABRE AUDITORIA \"Auditoría del Sistema\"\nPASO: RECONSTRUYENDO LLAVES\nPASO: "
            "PREPARANDO CONCEPTOS\n"
            "PASO: PREPARANDO CONTRATISTAS DE OBRA\nPASO: PREPARANDO PARTIDAS DE OBRA\n"
            "PASO: PREPARANDO DE ESTIMACIONES\nPASO: VALORES A CONTRATISTAS\n"
            "PASO: VALORES A CONCEPTOS\nMENSAJE: Auditoría del Sistema: La auditoría del "
            "sistema terminó.|Revisados: 2 contratistas, 0 conceptos de obra, 2 estimaciones y "
            "0 renglones.|No hubo nada que corregir. [ok] -> ok\nCIERRA AUDITORIA respuesta 1\n");
}

// --- velmora auditoria -------------------------------------------------------------

TEST_F(Audit, TheCommandPrintsTheStepsAndWarningsAndSaysHowItEnded) {
  add(ctr(1));
  add(pol(1, 4, kDay, 1, 100));
  const std::string dir = folder.path().string();
  test::CommandResult r = test::runVelmora("auditoria " + dir + " OBRA1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("RECONSTRUYENDO LLAVES\nPREPARANDO CONCEPTOS\n"), std::string::npos);
  EXPECT_NE(r.out.find("AVISO: ERROR EN CONTRATISTA 4   2 / EN POLIZA No 1"), std::string::npos);
  EXPECT_EQ(contractor(4).TPAG, 100);
  EXPECT_EQ(test::runVelmora("auditoria " + dir + " NOHAY").status, 2);

  // Two estimates with one folio: the unique key cannot be rebuilt, the run
  // stops there.
  EXPECT_EQ(behindTheBack(storage, POL::info(),
                          "DROP INDEX \"POL:CTA_KEY\";INSERT INTO POLI SELECT * FROM POLI"),
            SQLITE_OK);
  r = test::runVelmora("auditoria " + dir + " OBRA1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("se detuvo"), std::string::npos) << r.out;
}

// --- interrupted runs ------------------------------------------------------------

// Starts `velmora auditoria` and kills it after `delay`; true when it was
// still running.
bool killedAfter(const std::string& dir, std::chrono::microseconds delay) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execl(VELMORA_EXE, VELMORA_EXE, "auditoria", dir.c_str(), "OBRA1", nullptr);
    _exit(127);
  }
  std::this_thread::sleep_for(delay);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFSIGNALED(status);
}

TEST_F(Audit, ARunKilledAnywhereAndRunAgainEndsAsAnUninterruptedOne) {
  Work w = savedWork(1500, 5, 21);
  scramble(w, 4);
  const PAR gone = par(99999, 1, 10);
  for (std::int16_t folio : {1, 5, 9}) w.lines.push_back(dpo(folio, gone, 0, folio, 10));
  w.estimates.push_back(pol(std::int16_t(w.estimates.size() + 1), 999, kDay, 1, 10));
  write(w);
  const fs::path files = folder.path() / "OBRA1", pristine = folder.path() / "original";
  fs::copy(files, pristine, fs::copy_options::recursive);
  auto restore = [&] {
    fs::remove_all(files);
    fs::copy(pristine, files, fs::copy_options::recursive);
  };
  const std::string dir = folder.path().string();

  auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(test::runVelmora("auditoria " + dir + " OBRA1").status, 0);
  auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  const Work expected = work();

  std::mt19937 rng(std::random_device{}());
  int interrupted = 0;
  for (double share : {0.15, 0.3, 0.45, 0.6, 0.75, 0.9}) {
    restore();
    share += std::uniform_real_distribution<double>(-0.05, 0.05)(rng);
    auto delay = std::chrono::microseconds(std::int64_t(double(whole.count()) * share));
    interrupted += killedAfter(dir, delay);
    ASSERT_EQ(test::runVelmora("auditoria " + dir + " OBRA1").status, 0);
    EXPECT_TRUE(work() == expected) << "killed after " << delay.count() << " us";
  }
  EXPECT_GE(interrupted, 3) << "the runs ended before they could be killed";
}

}  // namespace
}  // namespace velmora::estimates
