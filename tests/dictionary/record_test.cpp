// Record buffers: typed and by-name access, and the exact stored layout.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dictionary/record.h"

namespace velmora {
namespace {

std::vector<unsigned char> stored(const Record& r, std::string* memo = nullptr) {
  std::vector<unsigned char> bytes(r.table().recordLength);
  Status st = encode(r, bytes, memo);
  EXPECT_TRUE(st.ok()) << st.text;
  return bytes;
}

// A distinct, field-dependent value for every element of every field.
void fill(Record& r) {
  const auto& t = r.table();
  int n = 1;
  for (const auto& f : t.fields) {
    if (f.type == dict::Type::Group) continue;
    FieldRef ref = resolve(t, f.name);
    for (int e = 1; e <= ref.elements(); ++e, ++n) {
      ref.element = e;
      Value v;
      switch (f.type) {
        case dict::Type::Byte: v = std::int64_t(n % 250 + 1); break;
        case dict::Type::Short: v = std::int64_t(-n * 7); break;
        case dict::Type::Long: v = std::int64_t(n * 100003); break;
        case dict::Type::Real: v = n * 1.25 - 0.1; break;
        case dict::Type::Decimal: v = Decimal::fromCents(n * 101 - 5000); break;
        default: v = std::string("Ñandú ") + std::to_string(n) + " áé€"; break;
      }
      ASSERT_TRUE(r.set(ref, v).ok()) << f.name;
    }
  }
}

TEST(Record, EveryTableRoundTripsThroughItsStoredLayout) {
  for (const auto& t : dict::tables()) {
    Record r(t);
    fill(r);
    std::string memo;
    auto bytes = stored(r, &memo);
    Record back(t);
    ASSERT_TRUE(decode(bytes, memo, back).ok()) << t.label;
    // Texts may be cut to their width on the way; a second trip must change nothing.
    auto again = stored(back);
    EXPECT_EQ(bytes, again) << t.label;
    Record third(t);
    ASSERT_TRUE(decode(again, memo, third).ok());
    EXPECT_TRUE(back == third) << t.label;
  }
}

TEST(Record, ExactBytesOfEachType) {
  INO ino;
  ino.CTA = Decimal::fromCents(10125);  // 101.25
  ino.MATE = -2;
  ino.CATE = 200;
  ino.TOTA = 1.5;
  std::vector<unsigned char> b(30);
  ASSERT_TRUE(encode(ino, b).ok());
  // DECIMAL(9,2): sign nibble, nine BCD digits: 0 000010125.
  const unsigned char dec[5] = {0x00, 0x00, 0x01, 0x01, 0x25};
  EXPECT_EQ(std::memcmp(b.data(), dec, 5), 0);
  const unsigned char lng[4] = {0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(b.data() + 5, lng, 4), 0);
  EXPECT_EQ(b[9], 200);
  double tota;
  std::memcpy(&tota, b.data() + 10, 8);
  EXPECT_EQ(tota, 1.5);

  INO back;
  ASSERT_TRUE(decode(b, {}, back).ok());
  EXPECT_EQ(back.CTA.toString(), "101.25");  // exact, not 101.2499...
  EXPECT_TRUE(back == ino);

  ino.CTA = Decimal::fromCents(-5);
  ASSERT_TRUE(encode(ino, b).ok());
  EXPECT_EQ(b[0] & 0xF0, 0xF0);

  // A damaged decimal is reported, not read as a number.
  b[2] = 0xAB;
  Status st = decode(b, {}, back);
  EXPECT_EQ(st.code, err::InvalidRecord);
  EXPECT_NE(st.text.find("INO:CTA"), std::string::npos);
  EXPECT_EQ(decode(std::span<const unsigned char>(b.data(), 29), {}, back).code,
            err::InvalidRecord);
}

TEST(Record, TextsAreWindows1252CutAndPadded) {
  CTR c;
  c.NOMB = "PEÑA Y ASOCIADOS, S.A. DE C.V. — OBRAS";  // 38 characters for a 30-wide field
  std::vector<unsigned char> b(144);
  ASSERT_TRUE(encode(c, b).ok());
  // NOMB follows CTA (SHORT): 30 single-byte characters, Ñ as 0xD1.
  EXPECT_EQ(b[2 + 2], 0xD1);
  CTR back;
  ASSERT_TRUE(decode(b, {}, back).ok());
  EXPECT_EQ(back.NOMB, "PEÑA Y ASOCIADOS, S.A. DE C.V.");

  c.NOMB = "AB";
  ASSERT_TRUE(encode(c, b).ok());
  EXPECT_EQ(std::string(b.begin() + 2, b.begin() + 32), "AB" + std::string(28, ' '));

  // A character with no Windows-1252 form is refused with the field's name.
  c.NOMB = "OBRA 漢";
  Status st = encode(c, b);
  EXPECT_EQ(st.code, err::ValueRefused);
  EXPECT_NE(st.text.find("CTR:NOMB"), std::string::npos);
  EXPECT_NE(st.text.find("漢"), std::string::npos);

  Record r(CTR::info());
  r.as<CTR>().NOMB = "ANTES";
  st = r.set("CTR:NOMB", std::string("🙂"));
  EXPECT_FALSE(st.ok());
  EXPECT_EQ(std::get<std::string>(r.get("CTR:NOMB")), "ANTES");  // nothing lost
  ASSERT_TRUE(r.set("CTR:NOMB", std::string(40, 'x')).ok());
  EXPECT_EQ(std::get<std::string>(r.get("CTR:NOMB")).size(), 30u);

  // The memo lives outside the fixed record, cut to its length.
  COE k;
  k.TEX1 = std::string(750, 'a');
  std::string memo;
  std::vector<unsigned char> kb(114);
  ASSERT_TRUE(encode(k, kb, &memo).ok());
  EXPECT_EQ(memo.size(), 700u);
}

TEST(Record, ArraysAndGroupsByElement) {
  Record obra(OBR::info());
  FieldRef cc7 = resolve(obra.table(), "OBR:CC", 7);
  ASSERT_TRUE(cc7);
  EXPECT_EQ(cc7.elements(), 15);
  ASSERT_TRUE(obra.set(cc7, std::int64_t(1105)).ok());
  EXPECT_EQ(obra.as<OBR>().CONTA[6].CC, 1105);
  EXPECT_EQ(std::get<std::int64_t>(obra.get("OBR:CC[7]")), 1105);
  ASSERT_TRUE(obra.set("OBR:SSSSCC[15]", std::int64_t(-3)).ok());
  EXPECT_EQ(obra.as<OBR>().CONTA[14].SSSSCC, -3);

  auto bytes = stored(obra);
  const auto& cc = *obra.table().field("OBR:CC");
  std::int32_t v;
  std::memcpy(&v, bytes.data() + cc.offset + 6 * 20, 4);
  EXPECT_EQ(v, 1105);

  EXPECT_FALSE(resolve(obra.table(), "OBR:CC", 16));
  EXPECT_FALSE(resolve(obra.table(), "OBR:CC[0]"));
  EXPECT_FALSE(resolve(obra.table(), "OBR:CONTA"));  // a group has no single value
  EXPECT_FALSE(resolve(obra.table(), "OBR:CTA[2]"));

  Record pers(PER::info());
  ASSERT_TRUE(pers.set("PER:ESTI[20]", std::int64_t(3)).ok());
  EXPECT_EQ(pers.as<PER>().ESTI[19], 3);
  ASSERT_TRUE(pers.set("PER:EQUI[2]", std::string("SI")).ok());
  EXPECT_EQ(pers.as<PER>().EQUI[1], "S");
}

TEST(Record, NumbersAreCheckedAgainstTheField) {
  Record r(PER::info());
  EXPECT_FALSE(r.set("PER:ESTI[1]", std::int64_t(256)).ok());
  EXPECT_FALSE(r.set("PER:ESTI[1]", std::int64_t(-1)).ok());
  EXPECT_TRUE(r.set("PER:ESTI[1]", std::int64_t(255)).ok());
  EXPECT_FALSE(r.set("PER:CTA", 3e9).ok());
  EXPECT_TRUE(r.set("PER:CTA", 12.9).ok());  // the whole part, as an assignment does
  EXPECT_EQ(std::get<std::int64_t>(r.get("PER:CTA")), 12);
  EXPECT_TRUE(r.set("PER:CTA", std::string(" 42 ")).ok());
  EXPECT_EQ(std::get<std::int64_t>(r.get("PER:CTA")), 42);
  Status st = r.set("PER:CTA", std::string("cuarenta"));
  EXPECT_EQ(st.code, err::ValueRefused);
  EXPECT_NE(st.text.find("no es un número"), std::string::npos);
  EXPECT_EQ(std::get<std::int64_t>(r.get("PER:CTA")), 42);
  EXPECT_FALSE(r.set("PER:NOPE", std::int64_t(1)).ok());

  Record part(PAR::info());
  EXPECT_FALSE(part.set("PAR:PEST", std::numeric_limits<double>::quiet_NaN()).ok());
  EXPECT_FALSE(part.set("PAR:CONT", std::int64_t(40000)).ok());  // SHORT

  Record ino(INO::info());
  ASSERT_TRUE(ino.set("INO:CTA", std::string("101.25")).ok());
  EXPECT_EQ(std::get<Decimal>(ino.get("INO:CTA")).cents(), 10125);
  ASSERT_TRUE(ino.set("INO:CTA", 0.1 + 0.2).ok());
  EXPECT_EQ(std::get<Decimal>(ino.get("INO:CTA")).cents(), 30);
  ASSERT_TRUE(ino.set("INO:CTA", 9999999.99).ok());
  const Status tooBig = ino.set("INO:CTA", 10000000.0);
  EXPECT_NE(tooBig.text.find("el valor 10000000 (fuera de rango)"), std::string::npos)
      << tooBig.text;
  EXPECT_EQ(std::get<Decimal>(ino.get("INO:CTA")).cents(), 999999999);
  INO big;
  big.CTA = Decimal::fromCents(1000000000);
  std::vector<unsigned char> b(30);
  EXPECT_EQ(encode(big, b).code, err::ValueRefused);
}

TEST(Record, ClearCopyCompareAndTypedViews) {
  Record a(PAR::info());
  a.as<PAR>().CONC = 12.01;
  a.as<PAR>().TEXT = "EXCAVACION";
  Record b = a;
  EXPECT_TRUE(a == b);
  b.as<PAR>().TEXT = "EXCAVACIÓN";
  EXPECT_FALSE(a == b);
  b = a;
  EXPECT_TRUE(a == b);
  a.clear();
  EXPECT_EQ(a.as<PAR>().CONC, 0);
  EXPECT_EQ(a.as<PAR>().TEXT, "");
  EXPECT_FALSE(a == b);

  // An alias shares its base's struct, so records copy across directly.
  Record apar(*dict::findTable("APAR"));
  apar.as<PAR>() = b.as<PAR>();
  EXPECT_EQ(std::get<double>(apar.get("APAR:CONC")), 12.01);
  EXPECT_THROW(apar.as<CTR>(), std::logic_error);
  EXPECT_FALSE(apar == b);  // same values, but another table
}

}  // namespace
}  // namespace velmora
