#pragma once

// Equipment invoices without a window. saveInvoice() writes a new invoice
// with everything it moves: the supplier's invoiced total, the equipment
// cost of the budget item and, when the work's equipment policies are on,
// the invoice's policy. All of it is one transaction; a folio already used
// is refused before anything is written. A policy that cannot be written
// (an account missing, a line refused by the file) leaves the invoice saved
// without it, and the outcome says why. UP_FACT gathers the fields and
// shows the outcome.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/decimal.h"
#include "dictionary/storage.h"
#include "framework/file_errors.h"

namespace velmora::equipment {

using Lines3 = std::array<std::string, 3>;

// The tax proposed on an invoice's amount, in millionths: 150 000 is 15 %.
inline constexpr std::int64_t kDefaultTaxRate = 150000;
// The program folder's setting of the rate (VELMORA.INI, "Facturas", "IVA",
// a fraction such as 0.15); the default when it is missing or not a number
// from 0 to 1.
std::int64_t taxRate(const std::filesystem::path& programFolder);
// `amount` × rate, to the cent.
Decimal proposedTax(Decimal amount, std::int64_t rate);
// Hours × price per hour, to the cent.
Decimal hoursAmount(double hours, double price);

// The field of the first required value an invoice lacks, in the order the
// form checks them ("FAM:CTA", "FAM:FACT", "FAM:FECH", "FAM:PROV",
// "FAM:AUTO", "FAM:MAQU", "FAM:IMPO"); empty when none is missing.
std::string missingInvoiceField(const FAM& invoice);

struct InvoiceInput {
  FAM invoice{};           // as typed: FAM:FREN and FAM:PROC come from the equipment
  std::string work;        // OBR:CTA of the current work
  std::int32_t today = 0;  // the policy's date and month
  std::int32_t now = 0;
  std::int32_t user = 0;
  std::int64_t reservation = 0;  // the folio the form holds, given back with the save
};

enum class InvoiceStep {
  Begin,
  Missing,    // a required value: `field` names it
  Duplicate,  // the folio is used already
  Equipment,  // the equipment is not on file
  Read,
  Write,
  Commit,
  Done
};

enum class PolicyState { None, Off, Missing, Failed, Written };

struct InvoiceOutcome {
  InvoiceStep step = InvoiceStep::Begin;
  std::string field;  // the missing field
  FileAction action = FileAction::Transaction;
  FAM saved{};  // the invoice as written
  PolicyState policy = PolicyState::None;
  std::int32_t policyNumber = 0;
  // The policy's warnings to show after the save, in order.
  std::vector<Lines3> messages;
};

Status saveInvoice(db::Context& ctx, const InvoiceInput& input, InvoiceOutcome* outcome);

}  // namespace velmora::equipment
