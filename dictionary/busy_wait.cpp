#include "dictionary/busy_wait.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace velmora::db {

namespace {

using Clock = std::chrono::steady_clock;

int busy(void* data, int attempts) {
  // A connection waits on the thread that uses it, one lock at a time, so
  // the start of the current wait can live with the thread.
  thread_local Clock::time_point started;
  const auto limit = std::chrono::milliseconds(reinterpret_cast<std::intptr_t>(data));
  const auto now = Clock::now();
  if (attempts == 0) started = now;
  if (now - started >= limit) return 0;
  // Short sleeps first catch a lock released quickly; the interval never
  // grows past a few milliseconds, so a waiter is never left far behind.
  std::this_thread::sleep_for(std::chrono::microseconds(attempts < 10 ? 500 : 2000));
  return 1;
}

}  // namespace

void installBusyWait(sqlite3* db, int milliseconds) {
  sqlite3_busy_handler(db, busy, reinterpret_cast<void*>(std::intptr_t(milliseconds)));
}

void yieldToWaiters() { std::this_thread::sleep_for(std::chrono::milliseconds(3)); }

}  // namespace velmora::db
