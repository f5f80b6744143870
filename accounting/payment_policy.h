#pragma once

// The accounting policy of a supplier payment in VOROVID ("PAGO EQ.") or of
// an advance ("ANTICIPO EQ."): suppliers debited with the amount applied,
// advances credited with what they cover (debited for a new advance), the
// bank credited with the cash. The caller's transaction holds POLMES, DETMES
// and CUEN: the policy is written whole or the caller rolls it back.

#include <cstdint>
#include <string>
#include <vector>

#include "accounting/estimate_policy.h"

namespace velmora::accounting {

struct PaymentAccounts {
  AccountNumber suppliers;  // slot 2
  AccountNumber advances;   // slot 3
  AccountNumber bank;       // the paying bank's
};
PaymentAccounts paymentAccounts(const OBR& work, const BAN& bank);

// An advance is a payment tied to no invoice.
inline bool isAdvance(const PGM& p) { return p.FACT == 0; }

std::string paymentPolicyConcept(const PGM& p);
// Lines 1-3 in order, without those of no account or no amount; `row` is
// the line of the policy's table, for its messages.
std::vector<PolicyLine> paymentPolicyLines(const PGM& p, const PaymentAccounts& accounts);

// Looks every account up; each one missing (or a parent account) adds its
// three lines to `messages`, then the closing notice. False: no policy.
// A file error other than a missing record is returned as it is.
Status checkPaymentAccounts(db::Table& cuen, const PaymentAccounts& accounts,
                            std::vector<Lines3>& messages, bool& complete);

// The last policy number plus one, 1 on an empty file.
Status nextPolicyNumber(db::Table& polmes, std::int32_t& number);

struct WrittenPolicy {
  POA header{};
  std::vector<PolicyLine> lines;
  Lines3 failure;  // the file error and the failed line's two lines
};

// Numbers and writes the header, writes each line and rolls it into the
// month of `today`. On a failure the caller must roll back.
Status writePaymentPolicy(db::Context& ctx, const PGM& p, const PaymentAccounts& accounts,
                          std::int32_t today, std::int32_t now, WrittenPolicy& out);

}  // namespace velmora::accounting
