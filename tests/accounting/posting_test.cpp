// Posting an estimate: what is written, what is refused, and that a
// posting is whole or absent.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "dictionary/posting_flag.h"
#include "tests/accounting/accounting_fixture.h"
#include "tests/support/posting_flag_station.h"

namespace velmora::accounting::test {
namespace {

// On the table files and on a company kept on the server.
class LedgerOn : public velmora::test::OnBackEnd<Ledger> {};

TEST_P(LedgerOn, PostingWritesTheWholePolicy) {
  books();
  add("POLI", estimate(1, 100000, 15000, 20000, 5000));
  add("POLI", estimate(2, 1234.565, 0, 0, 0));
  PostingOutcome out;
  ASSERT_TRUE(postEstimate(ctx, input(1), &out).ok()) << out.messages.size();
  EXPECT_EQ(out.step, PostingStep::Done);
  ASSERT_TRUE(postEstimate(ctx, input(2), &out).ok());

  const auto heads = all<POA>("POLMES");
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_EQ(heads[0].NUM, 1);
  EXPECT_EQ(heads[1].NUM, 2);
  EXPECT_DOUBLE_EQ(heads[0].CANT, 115000);
  EXPECT_DOUBLE_EQ(heads[1].CANT, 1234.57);
  EXPECT_EQ(heads[0].DESC, "ESTIMACION x M/OBRA      1");
  EXPECT_EQ(heads[0].REFE, 1);
  const auto lines = all<DEA>("DETMES");
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[4].CARG, "A");
  EXPECT_DOUBLE_EQ(lines[4].CANT, 90000);
  EXPECT_EQ(lines[4].DIA, 15);
  EXPECT_EQ(lines[4].NUM, 1);

  // March's totals of the accounts and of all their parents.
  EXPECT_DOUBLE_EQ(read(bank).ABONOS[2], 90000 + 1234.57);
  EXPECT_DOUBLE_EQ(read(acct(1102)).ABONOS[2], 90000 + 1234.57);
  EXPECT_DOUBLE_EQ(read(acct(5102)).CARGOS[2], 101234.57);
  EXPECT_DOUBLE_EQ(read(advances).ABONOS[2], 20000);
  EXPECT_DOUBLE_EQ(all<BAN>("BANC")[0].SALD, 500000 - 91234.57);
  const auto estimates = all<POL>("POLI");
  EXPECT_EQ(estimates[0].NOPO, 1);
  EXPECT_EQ(estimates[1].NOPO, 2);
  EXPECT_EQ(all<CTR>("CONT")[0].UCON, 2);
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);

  // Posted once: a second posting of it is refused.
  EXPECT_FALSE(postEstimate(ctx, input(1), &out).ok());
  EXPECT_EQ(out.step, PostingStep::Posted);
  EXPECT_EQ(all<POA>("POLMES").size(), 2u);
}

TEST_P(LedgerOn, RefusedPostingsWriteNothing) {
  books(false);
  add("POLI", estimate(1, 1000, 150, 0, 0));
  PostingOutcome out;
  EXPECT_FALSE(postEstimate(ctx, input(1), &out).ok());
  EXPECT_EQ(out.step, PostingStep::Disabled);
  EXPECT_EQ(out.messages.at(0)[0], "NO ESTA HABILITADO EL MODULO");

  // Every missing account is told, then the closing notice.
  db::Context c(storage, 92);
  db::Table& obra = c.table("OBRA");
  ASSERT_TRUE(obra.open().ok() && obra.setStart(nullptr).ok() && obra.next().ok());
  obra.rec<OBR>().POAU[0] = 1;
  obra.rec<OBR>().CONTA[12].CC = 9999;  // piece-work cost
  obra.rec<OBR>().CONTA[3] = {};        // IVA
  obra.rec<OBR>().CONTA[7].SCC = 0;     // funds: a parent account
  ASSERT_TRUE(obra.put().ok());
  obra.close();
  EXPECT_FALSE(postEstimate(ctx, input(1), &out).ok());
  EXPECT_EQ(out.step, PostingStep::MissingAccounts);
  ASSERT_EQ(out.messages.size(), 4u);
  EXPECT_EQ(out.messages[0][1], "NO ENCONTRE LA CTA DE DESTAJOS");
  EXPECT_EQ(out.messages[1][1], "NO ES DE ULTIMO NIVEL,");
  EXPECT_EQ(out.messages[2][1], "NO ENCONTRE LA CTA DE IVA EN");
  EXPECT_EQ(out.messages[3][0], "LA POLIZA CONTABLE NO SERA INCLUIDA");

  EXPECT_TRUE(all<POA>("POLMES").empty());
  EXPECT_TRUE(all<DEA>("DETMES").empty());
  EXPECT_EQ(all<POL>("POLI")[0].NOPO, 0);
  EXPECT_DOUBLE_EQ(all<BAN>("BANC")[0].SALD, 500000);
}

TEST_P(LedgerOn, TheLockExcludesAndIsReleased) {
  books();
  add("POLI", estimate(1, 1000, 150, 0, 0));
  add("POLI", estimate(2, 1000, 150, 0, 0));
  PostingInput in = input(1);
  in.holdLock = true;
  PostingOutcome out;
  ASSERT_TRUE(postEstimate(ctx, in, &out).ok());
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 1);
  // Another station, while the cheque of the first is being printed.
  db::Context other(storage, 5);
  EXPECT_FALSE(postEstimate(other, input(2), &out).ok());
  EXPECT_EQ(out.step, PostingStep::Busy);
  EXPECT_EQ(out.messages.at(0)[1], "TERMINAL... INTENTE NUEVAMENTE");
  ASSERT_TRUE(releasePostingLock(ctx).ok());
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);
  EXPECT_TRUE(postEstimate(other, input(2), &out).ok());
  ASSERT_TRUE(renamePolicy(ctx, 2, "PAGO A PEREZ POR MURO DE CONTENCION NORTE").ok());
  EXPECT_EQ(all<POA>("POLMES")[1].DESC, "PAGO A PEREZ POR MURO DE CONTE");
}

// Accounts a posting holds at once (with their parents) stay held until it
// ends: another station cannot write them meanwhile, and the posting's own
// reads and roll-ups see them as they are, an account not in the chart
// included.
TEST_P(LedgerOn, AccountsHeldAtOnceStayHeldAndReadAsTheyAre) {
  books();
  db::Table& cuen = ctx.table("CUEN");
  ASSERT_TRUE(cuen.open().ok());
  {
    db::Transaction tx(ctx, {&cuen});
    ASSERT_TRUE(tx.status().ok());
    ASSERT_TRUE(holdAccounts(cuen, {iva, bank, acct(9999, 1)}).ok());
    db::Storage other;
    name(other);
    other.setBusyTimeout(300);
    db::Context theirs(other, 5);
    db::Table& t = theirs.table("CUEN");
    ASSERT_TRUE(t.open().ok());
    ASSERT_TRUE(readAccount(t, acct(1102, 1, 2)).ok());
    t.rec<CUE>().DESC = "OTRA";
    EXPECT_EQ(t.put().code, err::FileLocked);

    ASSERT_TRUE(readAccount(cuen, bank).ok());
    EXPECT_EQ(cuen.rec<CUE>().DESC, "CUENTA " + bank.text());
    EXPECT_EQ(readAccount(cuen, acct(9999, 1)).code, err::RecordNotFound);
    ASSERT_TRUE(rollUp(cuen, bank, *Decimal::parse("12.50"), Side::Credit, 3).ok());
    ASSERT_TRUE(rollUp(cuen, iva, *Decimal::parse("1.25"), Side::Debit, 3).ok());
    ASSERT_TRUE(tx.commit().ok());
  }
  EXPECT_EQ(read(acct(1102, 1, 2)).ABONOS[2], 12.5);
  EXPECT_EQ(read(acct(1102)).ABONOS[2], 12.5);
  EXPECT_EQ(read(bank).ABONOS[2], 12.5);
  EXPECT_EQ(read(acct(1190)).CARGOS[2], 1.25);
  EXPECT_EQ(read(acct(1102, 1, 2)).DESC, "CUENTA " + acct(1102, 1, 2).text());
}

// The flag names the station holding it while that station runs; a station
// killed with its cheque window open leaves a flag nobody holds.
TEST_P(LedgerOn, AFlagOutlivesNoStation) {
  books();
  add("POLI", estimate(1, 1000, 150, 0, 0));
  add("POLI", estimate(2, 1000, 150, 0, 0));
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t pid = fork();
  if (pid == 0) {
    db::Storage st;
    name(st);
    db::Context c(st, 3);
    PostingInput in = input(1);
    in.holdLock = true;
    in.user = 7;
    if (!postEstimate(c, in, nullptr)) _exit(2);
    char b = 1;
    if (write(ready[1], &b, 1) != 1) _exit(3);
    pause();
    _exit(0);
  }
  char b = 0;
  ASSERT_EQ(::read(ready[0], &b, 1), 1);
  PostingOutcome out;
  EXPECT_FALSE(postEstimate(ctx, input(2), &out).ok());
  EXPECT_EQ(out.step, PostingStep::Busy);
  ASSERT_EQ(out.messages.size(), 1u);
  EXPECT_EQ(out.messages[0][0], "ACTUALIZANDO ARCHIVOS EN OTRA");
  EXPECT_EQ(out.messages[0][2].rfind("LA OCUPA ", 0), 0u) << out.messages[0][2];
  EXPECT_NE(out.messages[0][2].find(" USUARIO 7 "), std::string::npos) << out.messages[0][2];

  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(ready[0]), close(ready[1]);
  ASSERT_TRUE(::velmora::test::postingFlagFreed(storage));
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 1) << "the record still says so";
  ASSERT_TRUE(postEstimate(ctx, input(2), &out).ok());
  EXPECT_EQ(all<POA>("POLMES").size(), 2u);
  // A program starting now clears it; one starting while a station holds it
  // leaves it to that station.
  ASSERT_TRUE(db::clearPostingFlag(ctx, /*onlyIfDead=*/true).ok());
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);
}

// A failure at the last line (a damaged parent of the bank's account)
// takes back the header, the lines before it and their totals.
TEST_P(LedgerOn, AFailedWriteUndoesThePosting) {
  books();
  add("POLI", estimate(1, 1000, 150, 0, 0));
  refuseAccountWrites("\"CTA\"=1102 AND \"SCTA\"=0");
  PostingOutcome out;
  const Status st = postEstimate(ctx, input(1), &out);
  EXPECT_FALSE(st.ok());
  if (GetParam() == velmora::test::BackEnd::Files) {
    EXPECT_EQ(st.table, "CUEN");
    EXPECT_EQ(out.step, PostingStep::Write);
    ASSERT_EQ(out.messages.size(), 1u);
    EXPECT_EQ(out.messages[0][2], "CUENTA BANCARIA");
  } else {
    // The server answers a write over a row the posting holds with the
    // posting's next statement: the refusal is told, naming the table.
    EXPECT_NE(st.text.find("prueba_rechazo"), std::string::npos) << st.text;
    EXPECT_NE(st.text.find("CUEN"), std::string::npos) << st.text;
  }
  allowAccountWrites();
  EXPECT_TRUE(all<POA>("POLMES").empty());
  EXPECT_TRUE(all<DEA>("DETMES").empty());
  EXPECT_DOUBLE_EQ(read(bank).ABONOS[2], 0);
  EXPECT_DOUBLE_EQ(read(cost).CARGOS[2], 0);
  EXPECT_DOUBLE_EQ(all<BAN>("BANC")[0].SALD, 500000);
  EXPECT_EQ(all<POL>("POLI")[0].NOPO, 0);
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);
}

// Stations posting at once, and one killed at any moment: numbers without
// gap or double, every policy whole, the totals equal to its lines.
TEST_P(LedgerOn, ConcurrentAndKilledPostersLeaveWholePolicies) {
  books();
  constexpr int kEach = 12, kStations = 4;
  for (int i = 1; i <= kEach * kStations; ++i)
    add("POLI", estimate(std::int16_t(i), 1000.005, 160, 100, 50));
  std::mt19937 rng(std::random_device{}());
  std::vector<pid_t> pids;
  for (int s = 0; s < kStations; ++s) {
    pid_t pid = fork();
    if (pid == 0) {
      db::Storage st;
      name(st);
      db::Context c(st, s + 1);
      for (int i = 1; i <= kEach; ++i) {
        PostingInput in = input(std::int16_t(s * kEach + i));
        // A busy flag is the other station's cheque: try again.
        for (int tries = 0; tries < 200; ++tries) {
          PostingOutcome out;
          const Status st = postEstimate(c, in, &out);
          if (st) break;
          if (out.step != PostingStep::Busy) {
            // Said, so that a failure names its cause.
            fprintf(stderr, "station %d step %d: %s\n", s, int(out.step), st.text.c_str());
            _exit(3);
          }
        }
      }
      _exit(0);
    }
    pids.push_back(pid);
  }
  std::this_thread::sleep_for(
      std::chrono::microseconds(std::uniform_int_distribution<int>(20000, 300000)(rng)));
  kill(pids.back(), SIGKILL);
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
  }

  const auto heads = all<POA>("POLMES");
  const auto lines = all<DEA>("DETMES");
  std::int64_t debit = 0, credit = 0;
  for (std::size_t i = 0; i < heads.size(); ++i) EXPECT_EQ(heads[i].NUM, std::int32_t(i + 1));
  for (const DEA& l : lines) (l.CARG == "C" ? debit : credit) += cents(l.CANT).cents();
  EXPECT_EQ(lines.size(), heads.size() * 5);
  EXPECT_EQ(debit, credit);
  std::size_t posted = 0;
  for (const POL& p : all<POL>("POLI")) posted += p.NOPO != 0;
  EXPECT_EQ(posted, heads.size());
  EXPECT_EQ(cents(read(acct(1102)).ABONOS[2]).cents(),
            50000000 - cents(all<BAN>("BANC")[0].SALD).cents());
  EXPECT_EQ(cents(read(cost).CARGOS[2]).cents(), std::int64_t(heads.size()) * 100001);
}

}  // namespace
}  // namespace velmora::accounting::test

namespace velmora::accounting::test {
namespace {

TEST_P(LedgerOn, VerifyFindsWhatDoesNotAddUp) {
  books();
  add("POLI", estimate(1, 1000, 150, 0, 0));
  add("POLI", estimate(2, 500, 0, 0, 0));
  ASSERT_TRUE(postEstimate(ctx, input(1), nullptr).ok());
  ASSERT_TRUE(postEstimate(ctx, input(2), nullptr).ok());
  std::vector<std::string> found;
  {
    db::Context c(storage, 93);
    ASSERT_TRUE(checkLedger(c, 3, 2026, found).ok());
  }
  EXPECT_TRUE(found.empty()) << found.front();
  sql("DETMES", "UPDATE \"DETMES\" SET \"CANT\"=\"CANT\"+1 WHERE \"NUM\"=1 AND \"CARG\"='A'");
  sql("POLI", "UPDATE \"POLI\" SET \"NOPO\"=1 WHERE \"CTA\"=2");
  {
    db::Context c(storage, 93);
    ASSERT_TRUE(checkLedger(c, 3, 2026, found).ok());
  }
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], "Póliza 1: cargos 1150.00 y abonos 1151.00 no cuadran");
  EXPECT_EQ(found[1], "Estimación 2: su póliza 1 es de la estimación 1");
}

INSTANTIATE_TEST_SUITE_P(, LedgerOn,
                         ::testing::Values(velmora::test::BackEnd::Files,
                                           velmora::test::BackEnd::Server),
                         velmora::test::backEndName);

}  // namespace
}  // namespace velmora::accounting::test
