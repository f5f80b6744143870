#pragma once

// The wait of a connection for a lock another station holds. SQLite's own
// busy timeout backs off to 100 ms between tries, while a writer takes the
// lock again within microseconds of releasing it, so with a few stations
// writing a waiter could lose every race and fail although each lock is held
// briefly. This wait polls every couple of milliseconds for the whole time
// allowed.

struct sqlite3;

namespace velmora::db {

// Installs the wait on a connection: up to `milliseconds` in total for one
// lock, then SQLITE_BUSY as before.
void installBusyWait(sqlite3* db, int milliseconds);

// For batch writers between two transactions: gives a station waiting on
// the lock the moment it needs to take it.
void yieldToWaiters();

}  // namespace velmora::db
