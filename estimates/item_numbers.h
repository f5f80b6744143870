#pragma once

// Budget item numbers (PAR:CONC) are reals holding hundredths: C is a main
// item, C + 0.01 ... C + 0.99 its sub-items, and C is also the concept
// (COE:CTA) the item belongs to. They are compared in whole hundredths, never
// as binary fractions.

#include <cmath>
#include <cstdint>

namespace velmora::estimates {

inline std::int64_t hundredths(double v) { return std::llround(v * 100.0); }
inline bool isSubItem(double conc) { return hundredths(conc) % 100 != 0; }
// The concept an item belongs to: the whole part of its number.
inline std::int64_t conceptOf(double conc) { return hundredths(conc) / 100; }
// The item number of `hundredths`, the same double a typed "12.03" gives.
inline double itemNumber(std::int64_t h) { return double(h) / 100.0; }

}  // namespace velmora::estimates
