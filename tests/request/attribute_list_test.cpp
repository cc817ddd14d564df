#include "request/attribute_list.h"

#include <gtest/gtest.h>

using namespace orvane::request;

namespace {
AttributeList Parse(const std::u16string& s) {
  auto list = ParseAttributeList(s);
  EXPECT_TRUE(list);
  return list ? *list : AttributeList{};
}
}  // namespace

TEST(ParseAttributeList, AbsentTextGivesNoList) {
  EXPECT_FALSE(ParseAttributeList(std::nullopt));
  EXPECT_TRUE(Parse(u"").empty());
}

TEST(ParseAttributeList, CommaInsideQuotesDoesNotSplit) {
  const auto list = Parse(u"2.5.4.3=\"ООО \"\"Ромашка\"\", филиал\",2.5.4.6=RU");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->oid, u"2.5.4.3");
  EXPECT_EQ(list[0]->value, u"ООО \"Ромашка\", филиал");
  EXPECT_EQ(list[0]->display, list[0]->value);
  EXPECT_EQ(list[1]->oid, u"2.5.4.6");
  EXPECT_EQ(list[1]->value, u"RU");
  EXPECT_EQ(list[1]->display, u"RU");
}

TEST(ParseAttributeList, SkipsTokensWithoutEqualsAndTrims) {
  const auto list = Parse(u"2.5.4.9, 2.5.4.7 =  Москва ,2.5.4.11=a=b");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->oid, u"2.5.4.7");
  EXPECT_EQ(list[0]->value, u"Москва");
  EXPECT_EQ(list[1]->value, u"a=b") << "split at the first =";
}

TEST(ParseAttributeList, KeepsDuplicatesInOrder) {
  const auto list = Parse(u"2.5.4.11=A,2.5.4.11=B");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->value, u"A");
  EXPECT_EQ(list[1]->value, u"B");
}

TEST(ParseAttributeList, LoneQuoteIsNotStripped) {
  const auto list = Parse(u"2.5.4.3=\"");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->value, u"\"");
}

TEST(ParseAttributeList, HexUnstructuredNameIsDecoded) {
  const auto list = Parse(u"1.2.840.113549.1.9.2=#0C03616263,2.5.4.3=#0C03616263");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->value, u"#0C03616263");
  EXPECT_EQ(list[0]->display, u"abc");
  EXPECT_EQ(list[1]->display, u"#0C03616263") << "only the unstructured name is decoded";
}

TEST(ParseAttributeList, HexValuesThatDecodeToNothingHaveNoDisplay) {
  for (const char16_t* text :
       {u"1.2.840.113549.1.9.2=#", u"1.2.840.113549.1.9.2=#0C00", u"1.2.840.113549.1.9.2=#0C0561",
        u"1.2.840.113549.1.9.2=#0C8101", u"1.2.840.113549.1.9.2=#zz"}) {
    const auto list = Parse(text);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_FALSE(list[0]->display) << "declared lengths never run past the bytes given";
  }
  const auto longForm = Parse(u"1.2.840.113549.1.9.2=#0C8104D096D0");
  EXPECT_FALSE(longForm[0]->display);
  const auto ok = Parse(u"1.2.840.113549.1.9.2=#0C8102D096");
  EXPECT_EQ(ok[0]->display, u"Ж");
}
