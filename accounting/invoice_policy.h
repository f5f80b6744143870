#pragma once

// The accounting policy of an equipment invoice ("FACTURA A REVISION"): the
// warehouse is debited with the invoice total, the IVA and the supplier are
// credited. writeInvoicePolicy() runs inside the caller's transaction (the
// invoice's save), so the policy goes to file with the invoice or not at all;
// its number is taken there, under the write lock.

#include <cstdint>
#include <vector>

#include "accounting/estimate_policy.h"
#include "accounting/ledger.h"

namespace velmora::accounting {

// The accounts of the work's settings an invoice reaches.
struct InvoiceAccounts {
  AccountNumber iva;        // slot 4
  AccountNumber suppliers;  // slot 2
  AccountNumber warehouse;  // slot 10
};
InvoiceAccounts invoiceAccounts(const OBR& work);

// The lines to write, in order: the warehouse for the total, the IVA, the
// supplier for the rest. Amounts to the cent; lines without account or
// amount left out. The supplier line takes what the other two leave, so the
// policy balances to the cent whatever the invoice's fractions.
std::vector<PolicyLine> invoicePolicyLines(const FAM& invoice, const InvoiceAccounts& accounts);

enum class InvoicePolicyResult {
  Off,      // the work's equipment policies are switched off
  Missing,  // an account is missing: nothing written, `messages` say which
  Written
};

struct InvoicePolicyOutcome {
  InvoicePolicyResult result = InvoicePolicyResult::Off;
  std::vector<Lines3> messages;  // the warnings to show, in order
  // A line that could not be written: its two message lines, after the
  // file error's text.
  Lines3 failure{};
  POA policy{};  // the header as written
  std::vector<PolicyLine> lines;
};

// Checks the accounts and, when all are there, writes the header, the lines
// and their monthly totals (the month of `today`). Missing accounts are not
// a failure: the outcome says so and nothing is written. A failed write
// returns its status; the caller's transaction then holds a part of the
// policy and must be rolled back. POLMES, DETMES and CUEN must be in the
// caller's transaction.
Status writeInvoicePolicy(db::Context& ctx, const FAM& invoice, const OBR& work, std::int32_t today,
                          std::int32_t now, InvoicePolicyOutcome* outcome);

}  // namespace velmora::accounting
