#pragma once

// The accounts VOROVID's policies take from the work's settings, and the
// check that tells every missing one before anything is written.

#include <string>
#include <vector>

#include "accounting/estimate_policy.h"
#include "accounting/ledger.h"

namespace velmora::accounting {

// Element `element` (from 1) of the work's account slots OBR:CONTA.
AccountNumber slotAccount(const OBR& work, int element);

struct NeededAccount {
  AccountNumber account;
  std::string missing;  // second line of its warning: "NO ENCONTRE LA CTA DE IVA EN"
  std::string define = "DEBE DEFINIRSE LA CTA";  // third line
};

// Reads each account in order. Each one missing from the chart adds "ERROR "
// with the file's text and its two lines to `messages`; one with
// sub-accounts (it takes no entries) is told likewise. `complete` is false
// when any was told. A failed read other than "not found" is returned.
Status checkAccounts(db::Table& cuen, const std::vector<NeededAccount>& needed,
                     std::vector<Lines3>& messages, bool& complete);

// The closing notice of a policy left out for missing accounts.
Lines3 policyLeftOut();

}  // namespace velmora::accounting
