#include "crypto/der.h"

#include <gtest/gtest.h>

using namespace orvane::crypto;
using B = der::Bytes;

TEST(DerWriter, LengthsInShortAndLongForm) {
  EXPECT_EQ(der::OctetString(B(3, 0xAA)), (B{0x04, 0x03, 0xAA, 0xAA, 0xAA}));
  const auto l127 = der::OctetString(B(127, 0));
  EXPECT_EQ(l127[1], 127);
  const auto l128 = der::OctetString(B(128, 0));
  EXPECT_EQ(B(l128.begin(), l128.begin() + 3), (B{0x04, 0x81, 0x80}));
  const auto l300 = der::OctetString(B(300, 0));
  EXPECT_EQ(B(l300.begin(), l300.begin() + 4), (B{0x04, 0x82, 0x01, 0x2C}));
  EXPECT_EQ(l300.size(), 304u);
}

TEST(DerWriter, IntegersAreMinimalTwosComplement) {
  EXPECT_EQ(der::Integer(0), (B{0x02, 0x01, 0x00}));
  EXPECT_EQ(der::Integer(1), (B{0x02, 0x01, 0x01}));
  EXPECT_EQ(der::Integer(127), (B{0x02, 0x01, 0x7F}));
  EXPECT_EQ(der::Integer(128), (B{0x02, 0x02, 0x00, 0x80}));
  EXPECT_EQ(der::Integer(256), (B{0x02, 0x02, 0x01, 0x00}));
  EXPECT_EQ(der::Integer(-1), (B{0x02, 0x01, 0xFF}));
  EXPECT_EQ(der::Integer(-129), (B{0x02, 0x02, 0xFF, 0x7F}));
  EXPECT_EQ(der::UnsignedInteger(B{0x00, 0x00, 0x80}), (B{0x02, 0x02, 0x00, 0x80}));
  EXPECT_EQ(der::UnsignedInteger(B{}), (B{0x02, 0x01, 0x00}));
}

TEST(DerWriter, ObjectIdentifiers) {
  EXPECT_EQ(der::Oid("2.5.29.15"), (B{0x06, 0x03, 0x55, 0x1D, 0x0F}));
  EXPECT_EQ(der::Oid("1.2.840.113549.1.9.1"), (B{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01}));
  EXPECT_EQ(der::Oid("1.2.643.7.1.1.3.2"), (B{0x06, 0x08, 0x2A, 0x85, 0x03, 0x07, 0x01, 0x01, 0x03, 0x02}));
  EXPECT_EQ(der::Oid("2.999.1"), (B{0x06, 0x03, 0x88, 0x37, 0x01}));
  for (const char* bad : {"", "1", "1.", ".1", "1..2", "3.1", "1.40", "1.2.a", "1.2.-3"}) {
    EXPECT_FALSE(der::Oid(bad)) << bad;
  }
  const auto oid = der::Oid("1.2.643.100.113.1");
  auto e = der::Read(*oid);
  ASSERT_TRUE(e);
  EXPECT_EQ(der::OidText(e->contents), "1.2.643.100.113.1");
  const auto big = *der::Oid("2.999.1");
  EXPECT_EQ(der::OidText(std::span<const std::uint8_t>(big).subspan(2)), "2.999.1");
  EXPECT_FALSE(der::OidText(B{0x2A, 0x86}));  // truncated arc
}

TEST(DerWriter, StringTypesCheckTheirAlphabets) {
  EXPECT_EQ(der::NumericString(u"12 34"), (B{0x12, 0x05, '1', '2', ' ', '3', '4'}));
  EXPECT_FALSE(der::NumericString(u"12a"));
  EXPECT_EQ(der::PrintableString(u"RU"), (B{0x13, 0x02, 'R', 'U'}));
  EXPECT_FALSE(der::PrintableString(u"a@b"));
  EXPECT_FALSE(der::PrintableString(u"\u0416"));
  EXPECT_TRUE(der::PrintableString(u"A-1 (x)/y:z=?'+,."));
  EXPECT_EQ(der::Ia5String(u"a@b"), (B{0x16, 0x03, 'a', '@', 'b'}));
  EXPECT_FALSE(der::Ia5String(u"\u00E9"));
  EXPECT_EQ(der::BmpString(u"A\u0416"), (B{0x1E, 0x04, 0x00, 'A', 0x04, 0x16}));
  EXPECT_EQ(der::Utf8String("\xD0\x96"), (B{0x0C, 0x02, 0xD0, 0x96}));
}

TEST(DerWriter, ConstructedValuesKeepTheGivenOrder) {
  const auto set = der::Set({der::Integer(2), der::Integer(1)});
  EXPECT_EQ(set, (B{0x31, 0x06, 0x02, 0x01, 0x02, 0x02, 0x01, 0x01}));
  EXPECT_EQ(der::ContextExplicit(4, der::Null()), (B{0xA4, 0x02, 0x05, 0x00}));
  EXPECT_EQ(der::ContextConstructed(0, {}), (B{0xA0, 0x00}));
  EXPECT_EQ(der::BitString(B{0xF0}, 4), (B{0x03, 0x02, 0x04, 0xF0}));
  EXPECT_EQ(der::BitString(B{}), (B{0x03, 0x01, 0x00}));
  EXPECT_EQ(der::Boolean(true), (B{0x01, 0x01, 0xFF}));
}

TEST(DerReader, ReadsAndRejectsMalformedInput) {
  const auto seq = der::Sequence({der::Integer(5), der::OctetString(B(200, 1))});
  auto e = der::Read(seq);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->tag, 0x30);
  EXPECT_EQ(e->whole.size(), seq.size());
  auto kids = der::Children(*e);
  ASSERT_TRUE(kids);
  ASSERT_EQ(kids->size(), 2u);
  EXPECT_EQ((*kids)[1].contents.size(), 200u);
  EXPECT_FALSE(der::Read(B{0x30}));
  EXPECT_FALSE(der::Read(B{0x30, 0x05, 0x01}));              // runs past the end
  EXPECT_FALSE(der::Read(B{0x30, 0x89, 1, 2, 3, 4, 5, 6}));  // absurd length form
  EXPECT_FALSE(der::Read(B{0x1F, 0x01, 0x00}));              // high tag number
  const B badBytes{0x30, 0x03, 0x02, 0x05, 0x00};            // a child that runs past its parent
  auto bad = der::Read(badBytes);
  ASSERT_TRUE(bad);
  EXPECT_FALSE(der::Children(*bad));
  EXPECT_FALSE(der::PublicKeyBits(B{0x30, 0x00}));
}
