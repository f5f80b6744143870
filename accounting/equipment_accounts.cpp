#include "accounting/equipment_accounts.h"

namespace velmora::accounting {

AccountNumber slotAccount(const OBR& work, int element) {
  if (element < 1 || element > int(work.CONTA.size())) return {};
  return accountOf(work.CONTA[std::size_t(element - 1)]);
}

Status checkAccounts(db::Table& cuen, const std::vector<NeededAccount>& needed,
                     std::vector<Lines3>& messages, bool& complete) {
  complete = true;
  for (const NeededAccount& n : needed) {
    Status st = readAccount(cuen, n.account);
    if (!st) {
      if (st.code != err::RecordNotFound && st.code != err::NoRecord) return st;
      messages.push_back({"ERROR " + st.text, n.missing, n.define});
      complete = false;
    } else if (cuen.rec<CUE>().ULNI == "N") {
      // A parent account takes no entries of its own.
      messages.push_back({"LA CTA " + n.account.text(), "NO ES DE ULTIMO NIVEL,", n.define});
      complete = false;
    }
  }
  return Status::success();
}

Lines3 policyLeftOut() {
  return {"LA POLIZA CONTABLE NO SERA INCLUIDA", "AUTOMATICAMENTE PORQUE FALTA DEFINIR",
          "LAS CUENTAS PARA POLIZAS AUTOMATICAS"};
}

}  // namespace velmora::accounting
