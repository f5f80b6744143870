#pragma once

// CAP_BAN, the banks, and UP_BAN, a bank's form: its ledger account (an
// account of the last level) and where each item goes on its cheques.

#include <array>
#include <cstdint>
#include <memory>

#include "framework/browse.h"
#include "framework/form.h"

namespace velmora::accounting {

// Rows and columns of date, payee, amount in words, amount and message
// that VOROVID gives a bank whose layout is all 0.
inline constexpr std::array<std::uint8_t, 5> kDefaultRows = {3, 6, 10, 6, 1};
inline constexpr std::array<std::uint8_t, 5> kDefaultColumns = {55, 3, 3, 50, 10};

std::unique_ptr<Procedure> makeCapBan(Program& program, db::Context& ctx);
// `defaultLayout`: a bank without a cheque layout opens with the default one.
std::unique_ptr<Procedure> makeUpBan(Program& program, db::Context& ctx, bool defaultLayout);

}  // namespace velmora::accounting
