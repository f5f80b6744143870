#pragma once

// The prints of a supplier payment: CHEQUE, the cheque of a payment from
// the payments list, and IMP_DOS, the cheque-voucher printed right after a
// payment's policy is written: the cheque for the bank line of the policy,
// then the policy with its signature boxes. Both ask payee and legend in
// REDIR11 ("Preparando el Reporte") first.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "accounting/cheque.h"
#include "framework/procedure.h"

namespace velmora::accounting {

inline constexpr const char* kChequeLegend = "PARA ABONO EN CUENTA DEL BENEFICIARIO";

struct ChequeQuestion {
  std::string bankName;     // BAN:NOMB
  std::string bankAccount;  // BAN:CUE
  std::int32_t date = 0;
  std::string payee;                    // 65 characters
  std::string message = kChequeLegend;  // 60
  int payeeWidth = 0;                   // leaving the payee cuts it to this; <= 0: no cut
};

// The payee cut to the room the bank's cheque gives it; a layout with no
// room left keeps the whole name rather than printing none.
std::string cutPayee(const std::string& payee, int width);

// The 20 lines of VOROVID's cheque: as chequeLines(), except that amount
// words needing two lines start one row above the bank's row for them, so
// the second line falls on that row.
Status paymentChequeLines(const BAN& bank, const ChequeData& data, std::vector<std::string>& lines);

std::unique_ptr<Procedure> makeRedir11(Program& program, db::Context& ctx, ChequeQuestion* q);

// The bank whose ledger account is that of the policy's last line, read
// from the first bank on, and that line's amount. 35 on BANC when no bank
// has that account; a read that fails returns its own error.
Status findPolicyBank(db::Context& ctx, std::int32_t policy, BAN& bank, Decimal& amount);

// The three lines that tell why the voucher could not read its policy or
// bank, when the reason is the file's and not a missing bank.
std::array<std::string, 3> voucherReadFailure(const Status& st);

// The voucher as a report of the policy's lines; `cheque` are the 20 lines
// of chequeLines(), `chequeNumber` PGM:CHEC.
std::unique_ptr<reports::Report> makeImpDos(db::Context& ctx, const POA& policy, const BAN& bank,
                                            std::vector<std::string> cheque,
                                            std::int32_t chequeNumber);

// CHEQUE: the payment's cheque on its bank's layout, for `amount`.
int printPaymentCheque(Procedure& caller, std::int32_t bank, const std::string& payee,
                       Decimal amount, std::int32_t today);
// IMP_DOS for the policy just written.
int printChequeVoucher(Procedure& caller, const POA& policy, std::int32_t chequeNumber,
                       const std::string& payee, std::int32_t today);

}  // namespace velmora::accounting
