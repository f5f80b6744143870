#pragma once

// The ledger as both programs post to it: five-level account numbers, the
// monthly totals of an account and its parents, and the rule that keeps an
// account with movements from being deleted before the yearly closing.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/decimal.h"
#include "dictionary/storage.h"

namespace velmora::accounting {

// An account number; trailing zero levels name a parent account.
struct AccountNumber {
  std::array<std::int16_t, 5> levels{};
  bool operator==(const AccountNumber&) const = default;
  bool blank() const { return levels[0] == 0; }
  std::string text() const;  // "1101-2-0-0-0"
};

AccountNumber accountOf(const CUE& r);
AccountNumber accountOf(const BAN& r);
// A slot of the work's settings keeps longs; only their low 16 bits are levels.
AccountNumber accountOf(const OBR::CONTA_t& slot);
void putAccount(CUE& r, const AccountNumber& a);
void putAccount(BAN& r, const AccountNumber& a);
void putAccount(DEA& r, const AccountNumber& a);

// 'C' (cargo, debit) and 'A' (abono, credit), as DEA:CARG stores them.
enum class Side : char { Debit = 'C', Credit = 'A' };

// Reads the account into the buffer of `cuen` by CUE:CTA_KEY.
Status readAccount(db::Table& cuen, const AccountNumber& a);

// The accounts a posting is about to check and roll up, with their parents,
// read and held at once inside its transaction where that saves asking one
// by one (on a database server); the reads that follow find them.
Status holdAccounts(db::Table& cuen, const std::vector<AccountNumber>& accounts);

// Adds `amount` to the totals of month `month` (1-12) of the account and of
// each of its parents on file, each exactly once: the debits for a debit,
// the credits for a credit. A parent missing from the chart is passed over;
// the account itself must exist. `updated` counts the records written.
Status rollUp(db::Table& cuen, const AccountNumber& a, Decimal amount, Side side, int month,
              int* updated = nullptr);

// An account may be deleted while none of its 13 monthly debit or credit
// totals is beyond a cent either way.
bool mayDeleteAccount(const CUE& r);

// An amount of the ledger's REAL fields, to the cent.
Decimal cents(double v);

}  // namespace velmora::accounting
