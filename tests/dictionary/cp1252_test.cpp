#include "dictionary/cp1252.h"

#include <gtest/gtest.h>

namespace cp = velmora::cp1252;

TEST(Cp1252, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = cp::toUtf8(all);
  EXPECT_EQ(cp::utf8Length(utf8), 256u);
  const cp::Encoded back = cp::fromUtf8(utf8);
  ASSERT_TRUE(back.ok) << back.bad;
  EXPECT_EQ(back.bytes, all);

  EXPECT_EQ(cp::toUtf8("\x80"), "€");
  EXPECT_EQ(cp::toUtf8("\x9F"), "Ÿ");
  EXPECT_EQ(cp::toUtf8("\xF1"), "ñ");
  EXPECT_EQ(cp::fromUnicode(U'€'), 0x80);
  // U+0080 would collide with € on the way back.
  EXPECT_EQ(cp::fromUnicode(0x80), -1);
  EXPECT_EQ(cp::fromUnicode(0x8D), 0x8D);
}

TEST(Cp1252, RefusesWhatItCannotHold) {
  for (const std::string s : {"漢", "😀"}) {
    const cp::Encoded e = cp::fromUtf8("ab" + s + "c");
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(e.bad, s);
    EXPECT_TRUE(e.bytes.empty());
  }
  const char* malformed[] = {
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong
      "\xED\xA0\x80",      // surrogate
      "\xC3",              // truncated ñ
      "a\xE2\x82",         // truncated €
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\x80",              // stray continuation
      "\xFF",
  };
  for (const char* m : malformed) {
    const cp::Encoded e = cp::fromUtf8(m);
    EXPECT_FALSE(e.ok) << m;
    EXPECT_EQ(e.bad, "secuencia UTF-8 inválida");
  }
}

TEST(Cp1252, CaseFolding) {
  const std::pair<unsigned char, unsigned char> pairs[] = {{'a', 'A'},   {0xF1, 0xD1}, {0xE9, 0xC9},
                                                           {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E},
                                                           {0xFF, 0x9F}, {0xFE, 0xDE}};
  for (auto [lo, up] : pairs) {
    EXPECT_EQ(cp::upper(lo), up);
    EXPECT_EQ(cp::lower(up), lo);
  }
  for (unsigned char fixed : {0xF7, 0xD7, 0xDF, 0xB5, 0x80, 0x31}) {
    EXPECT_EQ(cp::upper(fixed), fixed);
    EXPECT_EQ(cp::lower(fixed), fixed);
  }
  EXPECT_EQ(cp::upperUtf8("año ñandú €5 šž ÿ ß µ 漢 ÷"), "AÑO ÑANDÚ €5 ŠŽ Ÿ ß µ 漢 ÷");
  EXPECT_EQ(cp::upperUtf8("x\xC3"), "X\xC3");
}

TEST(Cp1252, PrefixNeverSplitsACharacter) {
  EXPECT_EQ(cp::utf8Length("año"), 3u);
  EXPECT_EQ(cp::utf8Prefix("año", 2), "añ");
  EXPECT_EQ(cp::utf8Prefix("ñ", 1), "ñ");
  EXPECT_EQ(cp::utf8Prefix("ñ", 0), "");
  EXPECT_EQ(cp::utf8Prefix("año", 10), "año");
  EXPECT_EQ(cp::utf8Prefix("€😀x", 2), "€😀");
}
