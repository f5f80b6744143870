#pragma once

// POL_PAG: the estimates not yet posted, with the sums of their amounts;
// "Genera Póliza" posts the highlighted one on the bank the operator
// chooses, says which policy and cheque it wrote and prints the cheque;
// "Reimprime Cheque" prints the cheque of a posted estimate again, chosen
// in POL_CHEQ. PREP_CHEQUE is the cheque's data window ("Preparando el
// Reporte"), opened after the posting is on file.

#include <cstdint>
#include <memory>
#include <string>

#include "framework/browse.h"

namespace velmora::accounting {

struct ChequeDraft {
  std::string bankName;     // BAN:NOMB
  std::string bankAccount;  // BAN:CUE
  std::int32_t date = 0;
  std::string payee;          // 65 characters
  std::string message;        // 60
  std::string policyConcept;  // 80; the policy's concept when not blank
  bool reprint = false;       // the policy is on file as it is: its concept is only shown
};

std::unique_ptr<Procedure> makePolPag(Program& program, db::Context& ctx);
std::unique_ptr<Procedure> makePolCheq(Program& program, db::Context& ctx);
std::unique_ptr<Procedure> makePrepCheque(Program& program, db::Context& ctx, ChequeDraft* draft);

}  // namespace velmora::accounting
