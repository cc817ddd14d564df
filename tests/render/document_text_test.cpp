#include "render/document_text.h"

#include <gtest/gtest.h>

#include "crypto/der.h"
#include "text/text.h"

using namespace orvane;
using namespace orvane::render;
namespace der = orvane::crypto::der;

namespace {

std::string Utf8(const std::string& cp1251) {
  return cp1251.empty() ? std::string() : text::ToUtf8(*text::Cp1251ToWide(std::string_view(cp1251)));
}

}  // namespace

TEST(DocumentText, EscapingUsesHexCharacterReferences) {
  EXPECT_EQ(EscapeXmlText("a<b>&\"c'"), "a&#x3C;b&#x3E;&#x26;&#x22;c&#x27;");
  EXPECT_EQ(EscapeXmlText(Cp1251("Рога & Копыта")), Cp1251("Рога &#x26; Копыта"));
  EXPECT_EQ(EscapeXmlText("tab\tline\ncr\r"), "tab\tline\ncr\r");
}

TEST(DocumentText, EscapingReplacesBytesXmlCannotCarry) {
  EXPECT_EQ(EscapeXmlText(std::string("a\x01z\x07", 4)), "a?z?");
  EXPECT_EQ(EscapeXmlText(std::string("\0", 1)), "?");
  EXPECT_EQ(EscapeXmlText("\x98"), "?");
  EXPECT_EQ(EscapeXmlText("\xC0\xFF"), "\xC0\xFF");
}

TEST(DocumentText, HexRenderings) {
  const std::uint8_t two[] = {0x04, 0x02, 0xAB, 0xCD};
  EXPECT_EQ(HexDumpLower(two), "04 02 ab cd");
  const std::uint8_t four[] = {0x04, 0x04, 0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(HexPairsUpper(four), "0404 0102 0304");
  const std::uint8_t odd[] = {0x04, 0x03, 0x01, 0x02, 0x03};
  EXPECT_EQ(HexPairsUpper(odd), "0403 0102");
  const std::uint8_t empty[] = {0x05, 0x00};
  EXPECT_EQ(HexDumpLower(empty), "05 00");
  // A length above 255 is written in full.
  der::Bytes big = der::OctetString(std::vector<std::uint8_t>(300, 0x11));
  EXPECT_EQ(HexDumpLower(big).substr(0, 10), "04 12c 11 ");
  // Not one DER element: dumped byte by byte, never read past the end.
  const std::uint8_t truncated[] = {0x30, 0x7F, 0x01};
  EXPECT_EQ(HexDumpLower(truncated), "30 7f 01");
  EXPECT_EQ(HexPairsUpper(truncated), "");
}

TEST(DocumentText, SignatureRenderingReversesTheLast64Bytes) {
  std::vector<std::uint8_t> contents = {0x00};
  for (int i = 1; i <= 64; ++i) contents.push_back(static_cast<std::uint8_t>(i));
  const std::string h3 = SignatureHex(contents);
  EXPECT_EQ(h3.substr(0, 10), "403F 3E3D ");
  EXPECT_EQ(h3.substr(h3.size() - 10), "0403 0201 ");
  EXPECT_EQ(h3.size(), 32u * 5u);

  std::vector<std::uint8_t> long512 = {0x00};
  for (int i = 0; i < 128; ++i) long512.push_back(static_cast<std::uint8_t>(i));
  const std::string h512 = SignatureHex(long512);
  EXPECT_EQ(h512.size(), 32u * 5u);  // only 64 of the 128 bytes
  EXPECT_EQ(h512.substr(0, 5), "7F7E ");
  EXPECT_EQ(h512.substr(h512.size() - 5), "4140 ");

  const std::uint8_t shortSig[] = {0x00, 0x01, 0x02};
  EXPECT_EQ(SignatureHex(shortSig), "0201 00 ");
  EXPECT_EQ(SignatureHex({}), "");
}

TEST(DocumentText, CertificateTimes) {
  EXPECT_EQ(Utf8(*FormatCertificateTime(UtcTime{2025, 12, 31, 23, 59, 59})), "31 декабря 2025 г. 23:59:59 UTC");
  EXPECT_EQ(Utf8(*FormatCertificateTime(UtcTime{2024, 3, 5, 9, 30, 0})), "5 марта 2024 г. 09:30:00 UTC");
  const char* months[] = {"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                          "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
  for (int m = 1; m <= 12; ++m) {
    EXPECT_EQ(Utf8(*FormatCertificateTime(UtcTime{2030, m, 1, 0, 0, 0})),
              std::string("1 ") + months[m - 1] + " 2030 г. 00:00:00 UTC");
  }
  EXPECT_FALSE(FormatCertificateTime(std::nullopt));
  EXPECT_FALSE(FormatCertificateTime(UtcTime{2030, 13, 1, 0, 0, 0}));
  EXPECT_FALSE(FormatCertificateTime(UtcTime{2030, 0, 1, 0, 0, 0}));
}

TEST(DocumentText, NameAttributesInEncodedOrderWithTheirStringTypes) {
  const std::uint8_t bmp[] = {0x04, 0x1F, 0x04, 0x40};  // "Пр"
  const auto name = der::Sequence({
      der::Set({der::Sequence({*der::Oid("2.5.4.6"), *der::PrintableString(u"RU")})}),
      der::Set({der::Sequence({*der::Oid("2.5.4.3"), der::Utf8String("Иванов, \"ИП\"")}),
                der::Sequence({*der::Oid("2.5.4.4"), der::Tlv(der::tag::kBmpString, bmp)})}),
      der::Set({der::Sequence({*der::Oid("1.2.643.100.3"), *der::NumericString(u"12345678901")})}),
      der::Set({der::Sequence({*der::Oid("2.5.4.65"), der::Tlv(0x1C, std::vector<std::uint8_t>{0, 0, 0x04, 0x10})})}),
  });
  const auto attrs = ReadNameAttributes(name);
  ASSERT_TRUE(attrs);
  ASSERT_EQ(attrs->size(), 5u);
  EXPECT_EQ((*attrs)[0].oid, "2.5.4.6");
  EXPECT_EQ((*attrs)[0].value, u"RU");
  EXPECT_EQ((*attrs)[1].value, u"Иванов, \"ИП\"");
  EXPECT_EQ((*attrs)[2].oid, "2.5.4.4");
  EXPECT_EQ((*attrs)[2].value, u"Пр");
  EXPECT_EQ((*attrs)[3].value, u"12345678901");
  EXPECT_EQ((*attrs)[4].value, u"А");
}

TEST(DocumentText, MalformedNamesAreRefused) {
  EXPECT_FALSE(ReadNameAttributes({}));
  const std::uint8_t truncated[] = {0x30, 0x0A, 0x31, 0x08};
  EXPECT_FALSE(ReadNameAttributes(truncated));
  const auto notASet = der::Sequence({der::Sequence({*der::Oid("2.5.4.3"), der::Utf8String("x")})});
  EXPECT_FALSE(ReadNameAttributes(notASet));
  const auto noValue = der::Sequence({der::Set({der::Sequence({*der::Oid("2.5.4.3")})})});
  EXPECT_FALSE(ReadNameAttributes(noValue));
  // Odd string lengths are cut to whole characters, never read past the end.
  const std::uint8_t oddBmp[] = {0x04, 0x1F, 0x04};
  EXPECT_EQ(StringValueText(der::tag::kBmpString, oddBmp), u"П");
  const std::uint8_t badUtf8[] = {0xD0};
  EXPECT_NO_FATAL_FAILURE(StringValueText(der::tag::kUtf8String, badUtf8));
  const std::uint8_t astral[] = {0x00, 0x01, 0xF6, 0x00};
  EXPECT_EQ(StringValueText(0x1C, astral), u"?");
}
