#include "keys/container_name.h"

#include <gtest/gtest.h>

#include <regex>

#include "csp/csp_test_env.h"
#include "text/text.h"

using namespace orvane;
using namespace orvane::crypto;
using namespace orvane::keys;
using request::AttributeList;
using request::tripleValueWide;

namespace {

std::tm Moment() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 2;  // March
  t.tm_mday = 7;
  t.tm_hour = 9;
  t.tm_min = 5;
  return t;
}

AttributeList Subject(std::initializer_list<std::pair<std::u16string, std::optional<std::u16string>>> items) {
  AttributeList list;
  for (const auto& [oid, display] : items) {
    list.push_back(std::make_shared<tripleValueWide>(tripleValueWide{oid, display.value_or(u""), display}));
  }
  return list;
}

}  // namespace

TEST(MakeContainerName, StandardFormWithAllFields) {
  const auto subject = Subject({{u"1.2.643.3.131.1.1", u"771234567890"}, {u"1.2.643.100.3", u"12345678901"}});
  const auto name = MakeContainerName(u"1234", 1, subject, Moment(), 0x0A);
  ASSERT_TRUE(name);
  EXPECT_EQ(*name, u"TVK-001234-001-260307-0905-771234567890-12345678901-0A000000");
  EXPECT_EQ(name->size(), 60u);
}

TEST(MakeContainerName, LegalEntityNumberWinsWhateverTheOrder) {
  for (bool legalFirst : {true, false}) {
    const auto subject = legalFirst ? Subject({{u"1.2.643.100.4", u"7700000001"}, {u"1.2.643.3.131.1.1", u"5"}})
                                    : Subject({{u"1.2.643.3.131.1.1", u"5"}, {u"1.2.643.100.4", u"7700000001"}});
    const auto name = MakeContainerName(u"1", 2, subject, Moment(), 0);
    EXPECT_NE(name->find(u"-7700000001-"), std::u16string::npos) << text::ToUtf8(*name);
  }
}

TEST(MakeContainerName, ZerosStandInForMissingNumbers) {
  const auto name = MakeContainerName(std::nullopt, 0, Subject({{u"2.5.4.3", u"Иванов"}}), Moment(), 0x12345678);
  EXPECT_EQ(*name, u"TVK-000000-000-260307-0905-000000000000-00000000000-78563412");
  // An entry without a display value clears an earlier one.
  const auto cleared =
      MakeContainerName(u"7", 0, Subject({{u"1.2.643.100.3", u"111"}, {u"1.2.643.100.3", std::nullopt}}), Moment(), 0);
  EXPECT_NE(cleared->find(u"-00000000000-"), std::u16string::npos);
}

TEST(MakeContainerName, LongFieldsLengthenTheName) {
  const auto seven = MakeContainerName(u"1234567", 1, Subject({}), Moment(), 0);
  EXPECT_EQ(seven->substr(0, 15), u"TVK-1234567-001");
  EXPECT_EQ(seven->size(), 61u);
  // Far longer than the 64 characters a fixed buffer would hold.
  const std::u16string longInn(200, u'9');
  const auto huge = MakeContainerName(u"  42abc", 123456, Subject({{u"1.2.643.3.131.1.1", longInn}}), Moment(), 0);
  EXPECT_EQ(huge->substr(0, 18), u"TVK-000042-123456-");
  EXPECT_NE(huge->find(longInn), std::u16string::npos);
  EXPECT_GT(huge->size(), 250u);
}

TEST(MakeContainerName, RequestNumberPrintsAsSigned32Bit) {
  EXPECT_EQ(RequestNumber(u"2147483648"), -2147483647 - 1);
  EXPECT_EQ(RequestNumber(u"abc"), 0);
  EXPECT_EQ(RequestNumber(u" \t17x"), 17);
  const auto name = MakeContainerName(u"4294967295", 0, Subject({}), Moment(), 0);
  EXPECT_EQ(name->substr(0, 11), u"TVK--00001-");
}

TEST(MakeContainerName, NoSubjectListNoName) {
  EXPECT_FALSE(MakeContainerName(u"1", 1, std::nullopt, Moment(), 0));
  EXPECT_FALSE(MakeContainerName(u"1", 1, std::nullopt, csp::ProviderRegistry{}));
}

TEST(MakeContainerName, NowUsesTheLocalClockAndARandomSuffix) {
  test::ProviderEnvironment env;
  const auto a = MakeContainerName(u"1", 1, Subject({}), env.registry);
  const auto b = MakeContainerName(u"1", 1, Subject({}), env.registry);
  ASSERT_TRUE(a && b);
  const std::regex form("TVK-000001-001-[0-9]{6}-[0-9]{4}-0{12}-0{11}-[0-9A-F]{8}");
  EXPECT_TRUE(std::regex_match(text::ToUtf8(*a), form)) << text::ToUtf8(*a);
  EXPECT_NE(a->substr(52), b->substr(52));
}

TEST(RandomSuffix, CrcEqualsZlibCrcContinuedFromDeadbeef) {
  // zlib crc32 over 256 zero bytes continued from 0xDEADBEEF; checked with Python's zlib.
  const std::uint8_t zeros[256] = {};
  EXPECT_EQ(SuffixCrc(zeros, 256), 0xE62C5159u);
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(SuffixCrc(abc, 3), 0x45BB8AE2u);
  // Without a type-1 provider the zero buffer is hashed.
  csp::ProviderRegistry empty;
  EXPECT_EQ(RandomSuffix(empty), 0xE62C5159u);
  EXPECT_EQ(SuffixText(0x0000000A), u"0A000000");
  EXPECT_EQ(SuffixText(0xA1B2C3D4), u"D4C3B2A1");
}

TEST(ContainerPathFor, CryptoProPathAndViPNetBareName) {
  EXPECT_EQ(ContainerPathFor(1, u"Aktiv Rutoken ECP 00 00", u"TVK-1"), u"\\\\.\\Aktiv Rutoken ECP 00 00\\TVK-1");
  EXPECT_EQ(ContainerPathFor(2, u"Aktiv Rutoken ECP 00 00", u"TVK-1"), u"TVK-1");
}

TEST(UuidContainerName, EsmartCarriersGetAFreshUuid) {
  EXPECT_TRUE(UsesUuidContainerName(8));
  EXPECT_TRUE(UsesUuidContainerName(9));
  EXPECT_FALSE(UsesUuidContainerName(1));
  const auto a = MakeUuidContainerName();
  const auto b = MakeUuidContainerName();
  ASSERT_TRUE(a && b);
  const std::regex form("TVK-[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  EXPECT_TRUE(std::regex_match(text::ToUtf8(*a), form)) << text::ToUtf8(*a);
  EXPECT_EQ(a->size(), 40u);
  EXPECT_NE(*a, *b);
}
