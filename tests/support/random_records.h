#pragma once

// Records of any table filled with few distinct values, so that keys tie
// on their leading components: small numbers, and short texts of letters
// in both cases with and without accents, blanks and digits.

#include <cstdint>
#include <random>
#include <string>

#include "dictionary/decimal.h"
#include "dictionary/record.h"
#include "dictionary/schema.h"

namespace velmora::test {

inline void fillRandom(Record& r, std::mt19937& random) {
  static const char* const kPieces[] = {"A", "a", "Ñ", "ñ", "É", "e", " ", "B", "1"};
  const dict::TableInfo& t = r.table();
  for (const db::schema::Column& c : db::schema::columns(dict::table(t.storage))) {
    void* p = t.ops->address(r.data(), c.field, c.element);
    const int small = int(random() % 4);
    switch (c.type) {
      case dict::Type::Byte: *static_cast<std::uint8_t*>(p) = std::uint8_t(small); break;
      case dict::Type::Short: *static_cast<std::int16_t*>(p) = std::int16_t(small - 1); break;
      case dict::Type::Long: *static_cast<std::int32_t*>(p) = small * 1000 - 1; break;
      case dict::Type::Real: *static_cast<double*>(p) = small * 0.5; break;
      case dict::Type::Decimal:
        *static_cast<Decimal*>(p) = Decimal::fromCents(small * 125 - 125);
        break;
      case dict::Type::String:
      case dict::Type::Memo: {
        const auto& f = t.fields[std::size_t(c.field)];
        std::string text;
        for (int n = int(random() % 4); n > 0 && int(text.size()) + 2 <= int(f.size); --n)
          text += kPieces[random() % std::size(kPieces)];
        *static_cast<std::string*>(p) = text;
        break;
      }
      case dict::Type::Group: break;
    }
  }
}

}  // namespace velmora::test
