#pragma once

// Posting a supplier payment or an advance, without a window. The supplier's
// totals, the invoice's paid amount, the policy with the bank balance and
// the PAGM record are written in one transaction: all of it or nothing.
// UP_PAGO, the demo and the benchmark post through postPayment(); its
// changes and deletes go through changePayment() and deletePayment(), which
// move back what the payment moved or refuse.

#include <cstdint>
#include <string>
#include <vector>

#include "accounting/payment_policy.h"
#include "framework/file_errors.h"

namespace velmora::equipment {

using accounting::Lines3;

struct PaymentInput {
  PGM payment{};     // as typed: supplier, type, invoice, date, cheque, bank, amounts
  std::string work;  // OBR:CTA of the current work
  std::int32_t today = 0;
  std::int32_t now = 0;
  std::int32_t user = 0;
  // Leaves the posting flag set for the voucher that follows; the caller
  // clears it with accounting::releasePostingLock() on every way out.
  bool holdLock = false;
};

enum class PaymentStep {
  Begin,
  Invalid,  // refused before anything was written; `field` names the control
  Busy,     // another station holds the posting flag
  Posted,   // the payment has a policy and moved the bank: its money stays
  Changed,  // another station changed or deleted the record since it was read
  Read,
  Write,
  Commit,
  Done
};

struct PaymentOutcome {
  PaymentStep step = PaymentStep::Begin;
  std::string field;             // "PGM:CANT": where the cursor goes after a refusal
  std::vector<Lines3> messages;  // in order, three lines each
  FileAction action = FileAction::Transaction;
  Decimal cut;  // the invoice balance an amount above it was cut to
  bool wasCut = false;
  PGM payment{};        // as stored
  bool policy = false;  // a policy was written and the bank balance lowered
  accounting::WrittenPolicy written;
};

Status postPayment(db::Context& ctx, const PaymentInput& input, PaymentOutcome* outcome);

struct PaymentChange {
  PGM read{};        // the record as read when the form opened
  PGM payment{};     // as typed
  std::string work;  // OBR:CTA of the current work
  std::int32_t today = 0;
  std::int32_t now = 0;
  std::int32_t user = 0;
};

// A payment with a policy (one that moved the bank) keeps its money fields:
// supplier, type, invoice, date, bank, amount and advance; only the cheque
// number changes. One without a policy is changed by taking back what it
// moved (PRV:TPAG, PRV:AAMO or PRV:ANTI, FAM:PAGO) and posting the new
// figures, with the checks of a new payment, in one transaction.
Status changePayment(db::Context& ctx, const PaymentChange& input, PaymentOutcome* outcome);
// The same rules for a delete: refused with a policy, otherwise what it moved
// goes back with the record. Neither may leave the supplier with more
// advances applied than given.
Status deletePayment(db::Context& ctx, const PGM& read, std::int32_t user, PaymentOutcome* outcome);

// What leaves the bank for a payment: the amount less the advance it
// applies, or the advance itself. The cheque of the payment is for this.
Decimal cashPaid(const PGM& p);
// FAM:IMPO + FAM:IVA - FAM:PAGO.
Decimal invoiceBalance(const FAM& f);
// PRV:ANTI - PRV:AAMO.
Decimal outstandingAdvances(const PRV& p);
// The sums under the payments list of a supplier: the amounts paid, and
// the advances applied on invoices less the advances given.
Status paymentSums(db::Table& pagm, std::int32_t supplier, Decimal& paid, Decimal& advances);
// An amount of a REAL field, to the cent.
Decimal money(double v);

}  // namespace velmora::equipment
