#pragma once

// CAP_PART and UP_PART: the budget items of the work (one per concept,
// process and front) with their contractor. From the list, "C&ontratistas"
// assigns the contractor (UP_DEOB) and "Cambia Contratista" hands part of an
// item to another contractor as a sub-item (CAM_CONT).

#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>

#include "framework/browse.h"
#include "framework/form.h"

namespace velmora::estimates {

std::unique_ptr<Procedure> makeCapPart(Program& program, db::Context& ctx);
std::unique_ptr<Procedure> makeUpPart(Program& program, db::Context& ctx);

// The list's own buttons.
inline constexpr const char* kAssignButton = "?CONTRATISTAS";
inline constexpr const char* kTransferButton = "?CAMBIA_CONTRATISTA";

// Item numbers are reals holding hundredths: C is a main item, C + 0.01 ...
// C + 0.99 its sub-items. They are compared in whole hundredths, never as
// binary fractions.
inline std::int64_t hundredths(double v) { return std::llround(v * 100.0); }
inline bool isSubItem(double conc) { return hundredths(conc) % 100 != 0; }
// The concept (COE:CTA) an item belongs to: the whole part of its number.
inline std::int64_t conceptOf(double conc) { return hundredths(conc) / 100; }
// The item number of `hundredths`, the same double a typed "12.03" gives.
inline double itemNumber(std::int64_t h) { return double(h) / 100.0; }

// A window variable or field as a number: 0 for text that is none.
double number(const Value& v);

// Reads the record of table `label` whose `field` holds `value` (by `key`)
// into its buffer, left blank when there is none or the value is 0: the text
// a window shows beside a number.
void showRelated(Procedure& p, std::string_view label, std::string_view field, std::string_view key,
                 std::int64_t value);

}  // namespace velmora::estimates
