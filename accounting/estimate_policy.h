#pragma once

// The accounting policy of an estimate, without a window. postEstimate()
// checks the work's settings and accounts, takes the posting flag of the
// control record and writes the header, the lines, the account totals, the
// bank balance and the links of the estimate and its contractor in one
// transaction: all of it or nothing. POL_PAG chooses the bank, shows the
// messages and prints the cheque afterwards.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "accounting/ledger.h"
#include "framework/file_errors.h"

namespace velmora::accounting {

using Lines3 = std::array<std::string, 3>;

// The accounts an estimate's policy reaches.
struct EstimateAccounts {
  AccountNumber payroll;   // slot 11
  AccountNumber cost;      // slot 13, piece-work cost
  AccountNumber iva;       // slot 4
  AccountNumber advances;  // slot 6
  AccountNumber loans;     // slot 7
  AccountNumber funds;     // slot 8, guarantee funds
  AccountNumber bank;      // the paying bank's
};
EstimateAccounts estimateAccounts(const OBR& work, const BAN& bank);

struct PolicyLine {
  int row = 0;  // 1..8, the line of the policy's table, for its messages
  Side side = Side::Debit;
  AccountNumber account;
  Decimal amount;  // >= 0, to the cent
  std::string description;
};

// The lines to write, in order: signs turned into sides, amounts rounded to
// the cent, lines without account or amount left out. The bank line is what
// balances the others, so the policy's debits equal its credits to the cent;
// it is the estimate's amount to pay within the rounding of the lines.
std::vector<PolicyLine> estimatePolicyLines(const POL& estimate, const CTR& contractor,
                                            const EstimateAccounts& accounts);

// What the estimate's cheque pays: the amount its policy's bank line takes,
// negative when that line would be a debit. A policy is written only with
// every account on file, so no line is left out for want of one and the
// amount depends on the estimate alone.
Decimal chequeAmount(const POL& estimate);

// "$90,914.39", as the messages name an amount.
std::string amountText(Decimal amount);

// The warning when an estimate pays nothing or less: no policy and no
// cheque for it. `outcome` is the third line.
Lines3 nothingToPay(std::int16_t folio, Decimal amount, const std::string& outcome);

struct PostingInput {
  std::int16_t estimate = 0;  // POL:CTA
  std::int32_t bank = 0;      // BAN:CTA
  std::string work;           // OBR:CTA of the current work
  std::int32_t today = 0;     // date of the posting: day of the lines, month of the totals
  std::int32_t now = 0;
  std::int32_t user = 0;  // who posts: named to a station the flag turns away
  // Leaves the posting flag set for the cheque that follows; the caller
  // clears it with releasePostingLock() on every way out.
  bool holdLock = false;
};

enum class PostingStep {
  Begin,
  Read,             // the estimate, its contractor, the work or the bank
  Posted,           // the estimate has its policy already
  Disabled,         // automatic policies are off for the work
  MissingAccounts,  // every missing account told, then the closing notice
  NothingToPay,     // the amount to pay is not positive
  Busy,             // another station holds the posting flag
  Write,
  Commit,
  Done
};

struct PostingOutcome {
  PostingStep step = PostingStep::Begin;
  // The warnings to show, in order (three lines each).
  std::vector<Lines3> messages;
  FileAction action = FileAction::Transaction;
  POA policy{};  // the header as written
  std::vector<PolicyLine> lines;
  Decimal paid;  // the bank line
};

Status postEstimate(db::Context& ctx, const PostingInput& input, PostingOutcome* outcome);

// Clears the posting flag of the control record.
Status releasePostingLock(db::Context& ctx);

// The cheque of a posted estimate as its posting paid it, from the
// estimate's policy in the month's policy file the context reaches: the
// bank whose ledger account its bank line reaches (the first such bank) and
// that line's amount. `found` is false when the policy is not in that file
// (it was posted in another month) or no bank has its account any more.
struct PostedCheque {
  bool found = false;
  POA policy{};
  BAN bank{};
  Decimal amount;
};
Status findPostedCheque(db::Context& ctx, const POL& estimate, PostedCheque& cheque);

// The policy's concept as the operator gave it for the cheque (its first 30
// characters); a blank one leaves the concept as it was.
Status renamePolicy(db::Context& ctx, std::int32_t policy, const std::string& policyConcept);

}  // namespace velmora::accounting
