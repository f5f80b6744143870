#pragma once

// Another station holding the posting flag, as one with its cheque window
// open does: a child process that takes the flag and waits to be killed.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>

#include "dictionary/posting_flag.h"
#include "dictionary/unit_of_work.h"

namespace velmora::test {

// The child's process number once it holds the flag; -1 when it could not.
inline pid_t stationHoldingThePostingFlag(db::Storage& storage, std::int64_t user) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    db::Context c(storage, 95);
    db::Table& control = c.table("CONTROL");
    db::Transaction tx(c, {&control});
    bool busy = true;
    db::Table::FlagHolder holder;
    if (!tx.status() || !db::readPostingFlag(control, busy, holder) || busy) _exit(2);
    if (!db::takePostingFlag(control, user) || !tx.commit()) _exit(3);
    char b = 1;
    if (write(ready[1], &b, 1) != 1) _exit(4);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char b = 0;
  const bool held = pid > 0 && ::read(ready[0], &b, 1) == 1;
  close(ready[0]);
  if (!held && pid > 0) waitpid(pid, nullptr, 0);
  return held ? pid : -1;
}

// Waits until no running station holds the posting flag. A server ends the
// session of a station that died a moment after its process, not at once.
inline bool postingFlagFreed(db::Storage& storage) {
  db::Context c(storage, 96);
  db::Table& control = c.table("CONTROL");
  if (!control.open()) return false;
  for (int tries = 0; tries < 200; ++tries) {
    db::Table::FlagHolder holder;
    if (!control.flagHolder(db::kPostingFlag, holder)) return false;
    if (!holder.held) return true;
    usleep(50'000);
  }
  return false;
}

// Kills it as a power cut would, and waits until its flag is free.
inline bool killStation(db::Storage& storage, pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return postingFlagFreed(storage);
}

}  // namespace velmora::test
