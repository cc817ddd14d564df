#include "text/text.h"

#include <gtest/gtest.h>

#include "text/tokenizer.h"

using namespace orvane::text;

namespace {
std::vector<std::uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}
}  // namespace

TEST(Utf16ToUtf8, EncodesEachUnitOnItsOwn) {
  EXPECT_EQ(Utf16ToUtf8(u"A\u0416\u20AC"), std::string("A\xD0\x96\xE2\x82\xAC"));
  // A surrogate pair gives two three-byte sequences, not one four-byte sequence.
  const std::u16string pair = u"\U0001F600";
  ASSERT_EQ(pair.size(), 2u);
  const auto out = Utf16ToUtf8(pair);
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, std::string("\xED\xA0\xBD\xED\xB8\x80"));
  EXPECT_FALSE(Utf16ToUtf8(nullptr, 3));
  EXPECT_FALSE(Utf16ToUtf8(u"abc", 0));
}

TEST(Utf8ToUtf16, DecodesAndStopsAtATruncatedSequence) {
  EXPECT_EQ(Utf8ToUtf16("A\xD0\x96\xE2\x82\xAC", 0), u"A\u0416\u20AC");
  // Ends with the lead byte of a two-byte sequence: the output stops before it.
  EXPECT_EQ(Utf8ToUtf16("ab\xD0", 3), u"ab");
  EXPECT_EQ(Utf8ToUtf16("ab\xE2\x82", 4), u"ab");
  // Length 0 reads up to the NUL; an explicit length reads past it.
  EXPECT_EQ(Utf8ToUtf16("ab\0cd", 0), u"ab");
  EXPECT_EQ(Utf8ToUtf16("ab\0cd", 5)->size(), 5u);
  EXPECT_FALSE(Utf8ToUtf16(nullptr, 0));
  // Round trip of every BMP unit that is not a surrogate.
  std::u16string all;
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<char16_t>(c));
  }
  EXPECT_EQ(Utf8ToUtf16(*Utf16ToUtf8(all)), all);
}

TEST(Cp1251, WideToCp1251Rules) {
  EXPECT_EQ(WideToCp1251(u"\u0410\u044F\u0401\u2116"), std::string("\xC0\xFF\xA8\xB9"));
  EXPECT_EQ(WideToCp1251(u"\u4E2D"), std::string("?"));  // not in the code page
  // A Latin-1 letter is written as the byte of the same number (shown as Cyrillic in 1251).
  EXPECT_EQ(WideToCp1251(u"\u00E9"), std::string("\xE9"));
  EXPECT_EQ(WideToCp1251(u"\uFFFD"), std::string("\x98"));
  // Exactly count bytes, NUL units included.
  EXPECT_EQ(WideToCp1251(std::u16string_view(u"a\0b", 3))->size(), 3u);
  EXPECT_FALSE(WideToCp1251(u"x", 0));
  const std::uint8_t bmp[] = {0x04, 0x10, 0x00, 0x41};
  EXPECT_EQ(BmpStringToCp1251(bmp, 2), std::string("\xC0"
                                                   "A"));
}

TEST(Cp1251, ToWideCoversTheTable) {
  EXPECT_EQ(Cp1251ToWide("\xC0"), u"\u0410");
  EXPECT_EQ(Cp1251ToWide("Az09"), u"Az09");
  EXPECT_EQ(Cp1251ToWide("\x98")->at(0), u'\uFFFD');
  EXPECT_FALSE(Cp1251ToWide(""));
  EXPECT_FALSE(Cp1251ToWide(static_cast<const char*>(nullptr)));
  // Every defined byte survives the round trip.
  for (int b = 0x80; b <= 0xFF; ++b) {
    const char c = static_cast<char>(b);
    const auto wide = Cp1251ToWide(std::string_view(&c, 1));
    EXPECT_EQ(WideToCp1251(*wide), std::string(1, c)) << b;
  }
}

TEST(TrimSpaces, BlanksAndInnerSpaces) {
  EXPECT_EQ(TrimSpaces(u"  \t"), u"");
  EXPECT_EQ(TrimSpaces(u" a b "), u"a b");
  EXPECT_EQ(TrimSpaces(u"\r\nvalue\x01"), u"value");
  EXPECT_EQ(TrimSpaces(std::string_view(" x \0 y", 6)), "x");
}

TEST(Base64, EncodeAndDecode) {
  EXPECT_EQ(Base64Encode(Bytes("")), "");
  EXPECT_EQ(Base64Encode(Bytes("f")), "Zg==");
  EXPECT_EQ(Base64Encode(Bytes("fo")), "Zm8=");
  EXPECT_EQ(Base64Encode(Bytes("foobar")), "Zm9vYmFy");
  EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy"), Bytes("foobar"));
  EXPECT_EQ(Base64Decode("Zm\r\n9vYg=="), Bytes("foob"));  // CR LF inside a group
  EXPECT_EQ(Base64Decode("Zm9vYmE"), Bytes("fooba"));      // no padding
  EXPECT_EQ(Base64Decode("Zm9vY"), Bytes("foo"));          // a lone character gives nothing
  EXPECT_EQ(Base64Decode("===="), Bytes(""));
  EXPECT_FALSE(Base64Decode(""));
  EXPECT_FALSE(Base64Decode(static_cast<const char*>(nullptr)));
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(PercentDecode, KeepsLonePercentAndPlus) {
  EXPECT_EQ(PercentDecode("a%20b%2fc%2Fd"), "a b/c/d");
  EXPECT_EQ(PercentDecode("100%"), "100%");
  EXPECT_EQ(PercentDecode("%4"), "%4");
  EXPECT_EQ(PercentDecode("%zz%41"), "%zzA");
  EXPECT_EQ(PercentDecode("a+b"), "a+b");
  EXPECT_FALSE(PercentDecode(nullptr));
}

TEST(StartsWith, AbsentAndShort) {
  EXPECT_TRUE(StartsWith("abc", "ab"));
  EXPECT_FALSE(StartsWith("a", "ab"));
  EXPECT_FALSE(StartsWith(static_cast<const char*>(nullptr), "a"));
  EXPECT_FALSE(StartsWith(u"Abc", u"ab"));
}

TEST(Tokenizer, QuotesAndSeparators) {
  Tokenizer t("a,\"b,c\",d", ",", '"', 1);
  EXPECT_EQ(t.NextToken(), "a");
  EXPECT_EQ(t.NextToken(), "\"b,c\"");
  EXPECT_EQ(t.NextToken(), "d");
  EXPECT_FALSE(t.NextToken());

  Tokenizer empty("", ",", '"', 1);
  EXPECT_EQ(empty.NextToken(), "");
  EXPECT_FALSE(empty.NextToken());

  // A doubled quote is an escaped quote: the state stays "inside".
  WideTokenizer w(u"CN=\"a\"\",b\",O=x", u",", u'"', 1);
  EXPECT_EQ(w.NextToken(), u"CN=\"a\"\",b\"");
  EXPECT_EQ(w.NextToken(), u"O=x");
  EXPECT_FALSE(w.NextToken());

  // Without quoting the quotes split like any other character; a trailing separator ends it.
  Tokenizer plain("a,\"b,c\",", ",", 0, 1);
  EXPECT_EQ(plain.NextToken(), "a");
  EXPECT_EQ(plain.NextToken(), "\"b");
  EXPECT_EQ(plain.NextToken(), "c\"");
  EXPECT_FALSE(plain.NextToken());

  // A longer skip passes over the blank after the separator.
  Tokenizer skip("a, b", ",", 0, 2);
  EXPECT_EQ(skip.NextToken(), "a");
  EXPECT_EQ(skip.NextToken(), "b");
}

TEST(Text, Utf8Validity) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("Иванов, ИНН=7712345678 \xF0\x9F\x94\x91"));
  for (const char* bad :
       {"\xD0", "\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\xFFz", "\xD0\xD0"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
  }
}
