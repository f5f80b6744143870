#pragma once

// Equipment invoices without a window. saveInvoice() writes a new invoice
// with everything it moves: the supplier's invoiced total, the equipment
// cost of the budget item, the hours and amount invoiced of the equipment
// and, when the work's equipment policies are on, the invoice's policy
// (its number kept in FAM:POLI). All of it is one transaction; a folio
// already used is refused before anything is written. A policy that cannot
// be written (an account missing, a line refused by the file) leaves the
// invoice saved without it, and the outcome says why.
//
// changeInvoice() and deleteInvoice() move those same totals back (and
// forward for the new values) in their own transaction, or refuse: an
// invoice with payments keeps its folio, supplier, amounts and item, and an
// invoice with a policy keeps its folio and amounts, since what was paid or
// posted can only be undone by an opposite movement. UP_FACT gathers the
// fields and shows the outcome.

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
// Hours × price per hour, multiplied exactly and rounded once to the cent.
Decimal hoursAmount(double hours, double price);
// The rate as the form shows it: "IVA propuesto: 16 %", "IVA propuesto: 15.5 %".
std::string taxRateCaption(std::int64_t rate);

// The equipment of an invoice in `maqu`'s buffer: the pair of number and
// front, or for front 0 the first front that has the number. RecordNotFound
// (buffer cleared) when there is none.
Status findInvoiceEquipment(db::Table& maqu, std::int32_t number, std::int32_t front);
// Why an invoice's equipment was refused, in three lines.
Lines3 equipmentNotFound(std::int32_t number, std::int32_t front);

// The field of the first required value an invoice lacks, in the order the
// form checks them ("FAM:CTA", "FAM:FACT", "FAM:FECH", "FAM:PROV",
// "FAM:AUTO", "FAM:MAQU", "FAM:IMPO"); empty when none is missing.
std::string missingInvoiceField(const FAM& invoice);

struct InvoiceInput {
  // As typed. The equipment is the pair FAM:MAQU, FAM:FREN; a front of 0
  // takes the first front that has the number, as the form proposes it.
  // FAM:PROC comes from the equipment.
  FAM invoice{};
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
  Equipment,  // the equipment is not on file, or not on that front
  Paid,       // refused: the invoice has payments
  Posted,     // refused: the invoice has a policy
  Changed,    // another station changed or deleted the invoice since it was read
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
  // The warnings to show, in order: the policy's after a save, the reason
  // of a refusal.
  std::vector<Lines3> messages;
};

Status saveInvoice(db::Context& ctx, const InvoiceInput& input, InvoiceOutcome* outcome);

struct InvoiceChange {
  FAM read{};     // the invoice as it was read when the form opened
  FAM invoice{};  // as typed; the equipment as InvoiceInput takes it
  std::string work;
  std::int32_t today = 0;
  std::int32_t now = 0;
  std::int32_t user = 0;
};

// Refused with RecordChanged when the invoice on file is no longer `read`,
// with ValueRefused (and the reason in the outcome's messages) when the
// change would touch what its payments or its policy fixed.
Status changeInvoice(db::Context& ctx, const InvoiceChange& input, InvoiceOutcome* outcome);
// The invoice of `folio` and what it moved; refused when it has payments or
// a policy.
Status deleteInvoice(db::Context& ctx, std::int32_t folio, std::int32_t user,
                     InvoiceOutcome* outcome);

}  // namespace velmora::equipment
