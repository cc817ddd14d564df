// Carrier records, ATR matching, type names and the direct APDU readers of every family.
#include "carriers/identify.h"

#include <gtest/gtest.h>

#include <fstream>

#include "config/deployment_config.h"
#include "fake_pcsc.h"
#include "support/scripted_ui.h"
#include "text/text.h"

namespace orvane::carriers {
namespace {

using test::Bytes;
using test::FakePcsc;
using test::ScriptedCard;
namespace pcsc = platform::pcsc;

std::string U8(const std::optional<std::u16string>& s) {
  return s ? text::ToUtf8(*s) : std::string("<none>");
}

// --- tokenInfo and helpers ---

TEST(TokenInfo, NewRecordHasNothingAndTypeMinusOne) {
  tokenInfo t;
  EXPECT_FALSE(t.reader || t.label || t.model || t.serial || t.serialRaw);
  EXPECT_EQ(t.totalMemory, 0);
  EXPECT_EQ(t.freeMemory, 0);
  EXPECT_EQ(t.type, -1);
}

TEST(TokenInfo, DisplayIsModelAndSerialInUpperCase) {
  tokenInfo t;
  t.model = u"eToken PRO 72k";
  t.serial = u"00abcdef";
  t.reader = u"Reader 0";
  t.BuildDisplay();
  EXPECT_EQ(text::ToUtf8(t.display), "ETOKEN PRO 72K 00ABCDEF");
}

TEST(TokenInfo, DisplayRaisesOnlyLatinLetters) {
  tokenInfo t;
  t.model = u"Рутокен ecp";
  t.serial = u"x1";
  t.BuildDisplay();
  EXPECT_EQ(text::ToUtf8(t.display), "Рутокен ECP X1");
}

TEST(TokenInfo, DisplayWithoutSerialIsReaderAndWithoutModelStartsWithBlank) {
  tokenInfo t;
  t.model = u"JaCarta LT";
  t.reader = u"Virtual PCD 00 01";
  t.BuildDisplay();
  EXPECT_EQ(text::ToUtf8(t.display), "Virtual PCD 00 01");
  t.model.reset();
  t.serial = u"12";
  t.BuildDisplay();
  EXPECT_EQ(text::ToUtf8(t.display), " 12");
}

TEST(TokenInfo, CopyIsDeep) {
  tokenInfo t;
  t.label = u"a";
  t.serial = u"1";
  t.freeMemory = 5;
  t.type = 4;
  tokenInfo copy = t;
  t.label->append(u"bc");
  t.serial.reset();
  EXPECT_EQ(U8(copy.label), "a");
  EXPECT_EQ(U8(copy.serial), "1");
  EXPECT_EQ(copy.freeMemory, 5);
  EXPECT_EQ(copy.type, 4);
}

TEST(TokenInfo, NamesCompareIgnoringLatinAndCyrillicCase) {
  EXPECT_TRUE(text::EqualsIgnoreCase(u"Virtual PCD 00 00", u"VIRTUAL pcd 00 00"));
  EXPECT_TRUE(text::EqualsIgnoreCase(u"Считыватель Ё", u"считыватель ё"));
  EXPECT_FALSE(text::EqualsIgnoreCase(u"Reader 0", u"Reader 1"));
  EXPECT_FALSE(text::EqualsIgnoreCase(u"Reader", u"Reader "));
}

TEST(TokenInfo, HexBytes) {
  const std::uint8_t b[] = {0x3B, 0x0A, 0xFF};
  EXPECT_EQ(text::HexUpper(b, 3, " "), "3B 0A FF");
  EXPECT_EQ(text::HexUpper(b, 0, " "), "");
}

// --- ATR table ---

TEST(MatchAtr, EveryRowMatchesItselfInOrder) {
  int rows = 0;
  for (const knownAtr* row = knownAtrs; row->atr != nullptr; ++row, ++rows) {
    const auto bytes = AtrBytes(row->atr);
    const knownAtr* found = MatchAtr(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    ASSERT_NE(found, nullptr) << row->name;
    EXPECT_EQ(found->type, row->type);
  }
  EXPECT_EQ(rows, 12);
}

TEST(MatchAtr, ETokenRevBIsTypeOne) {
  const Bytes atr = {0x3b, 0xd5, 0x18, 0x00, 0x81, 0x31, 0x3a, 0x7d, 0x80, 0x73, 0xc8, 0x21, 0x10, 0x30};
  const knownAtr* row = MatchAtr(atr.data(), static_cast<std::uint32_t>(atr.size()));
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->type, 1);
  EXPECT_STREQ(row->name, "eToken PRO Java 72k rev.B");
}

TEST(MatchAtr, BothRutokenEcp2mAtrsAreTypeFour) {
  const Bytes longAtr = {0x3B, 0x1A, 0x96, 0x72, 0x75, 0x74, 0x6F, 0x6B, 0x65, 0x6E, 0x6D, 0x73, 0x63};
  const Bytes shortAtr(longAtr.begin(), longAtr.begin() + 11);
  ASSERT_NE(MatchAtr(longAtr.data(), 13), nullptr);
  ASSERT_NE(MatchAtr(shortAtr.data(), 11), nullptr);
  EXPECT_EQ(MatchAtr(longAtr.data(), 13)->type, 4);
  EXPECT_EQ(MatchAtr(shortAtr.data(), 11)->type, 4);
  // The first 11 bytes of the long ATR with length 11 are the short one; length 12 is nothing.
  EXPECT_EQ(MatchAtr(longAtr.data(), 12), nullptr);
}

TEST(MatchAtr, LengthAndBytesMustBothAgree) {
  auto atr = AtrBytes(knownAtrs[4].atr);  // Rutoken ECP
  EXPECT_NE(MatchAtr(atr.data(), static_cast<std::uint32_t>(atr.size())), nullptr);
  atr.back() ^= 1;
  EXPECT_EQ(MatchAtr(atr.data(), static_cast<std::uint32_t>(atr.size())), nullptr);
  EXPECT_EQ(MatchAtr(nullptr, 0), nullptr);
  EXPECT_EQ(MatchAtr(nullptr, 5), nullptr);
}

TEST(MatchAtr, AtrTextReadsEitherCaseAndKeepsLowByte) {
  EXPECT_EQ(AtrBytes("3b,FF,1a0"), (Bytes{0x3B, 0xFF, 0xA0}));
  EXPECT_EQ(AtrBytes("3B,6F,00"), (Bytes{0x3B, 0x6F, 0x00}));
}

// --- type names ---

TEST(CarrierTypeNames, NamesAndTypesBothWays) {
  EXPECT_EQ(CarrierTypeFromName(u"SCARD_TYPE_RUTOKEN_ECP"), 4);
  EXPECT_EQ(CarrierTypeFromName(u"scard_type_etoken_java"), 1);
  EXPECT_EQ(CarrierTypeFromName(u"SCARD_TYPE_JACARTA_PRO"), 7);
  EXPECT_EQ(CarrierTypeFromName(u"SCARD_TYPE_USER"), std::nullopt);
  EXPECT_EQ(CarrierTypeFromName(std::nullopt), std::nullopt);
  EXPECT_EQ(CarrierTypeFromName(u""), std::nullopt);
  EXPECT_EQ(CarrierTypeFromName(u"SCARD_TYPE_RUTOKEN_EC"), std::nullopt);
  EXPECT_EQ(text::ToUtf8(CarrierTypeName(5)), "SCARD_TYPE_RUTOKEN_LITE");
  EXPECT_EQ(text::ToUtf8(CarrierTypeName(6)), "SCARD_TYPE_JACARTA_LT");
  for (int type : {2, 8, 9, -1, 0, 42}) EXPECT_EQ(text::ToUtf8(CarrierTypeName(type)), "SCARD_TYPE_USER") << type;
}

// --- direct readers ---

class DirectReader : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.AddReader(reader);
    ASSERT_EQ(fake.EstablishContext(pcsc::kScopeUser, &context), pcsc::kSuccess);
  }
  void TearDown() override {
    fake.ReleaseContext(context);
    EXPECT_EQ(fake.openCards(), 0) << "every card connection is closed";
  }
  std::shared_ptr<ScriptedCard> Scripted(const char* atrText) {
    auto card = std::make_shared<ScriptedCard>(AtrBytes(atrText));
    fake.Insert(reader, card);
    return card;
  }

  FakePcsc fake;
  std::u16string reader = u"Reader 0";
  platform::PcscContextHandle context = 0;
};

const Bytes kEcpSelect = {0x00, 0xA4, 0x08, 0x00, 0x06, 0x10, 0x00, 0x10, 0x00, 0x10, 0x00, 0x00};
const Bytes kEcpRead = {0x00, 0xB0, 0x00, 0x00, 0x00};
const Bytes kFree = {0x00, 0xCA, 0x01, 0x8A, 0x04};
const Bytes kSerial = {0x00, 0xCA, 0x01, 0x81, 0x08};

TEST_F(DirectReader, ETokenSerialAndDisplay) {
  vtoken::CardOptions o;
  o.serial = 0x00ABCDEF;
  o.label = "  Signing key ";
  o.freeMemory = 40000;
  fake.Insert(reader, test::Card("etoken-java", o));
  const auto t = ReadETokenJava(fake, context, reader);
  ASSERT_TRUE(t);
  EXPECT_EQ(U8(t->serial), "00abcdef");
  EXPECT_EQ(text::ToUtf8(t->display), "ETOKEN PRO 72K 00ABCDEF");
  EXPECT_EQ(U8(t->label), "Signing key");
  EXPECT_EQ(U8(t->model), "eToken PRO 72k");
  EXPECT_EQ(t->totalMemory, 73728);
  EXPECT_EQ(t->freeMemory, 40000);
  EXPECT_EQ(U8(t->reader), "Reader 0");
  EXPECT_EQ(fake.commands().size(), 6u);
  EXPECT_EQ(fake.shareModes(), std::vector<std::uint32_t>{pcsc::kShareShared});
  EXPECT_EQ(fake.dispositions(), std::vector<std::uint32_t>{pcsc::kLeaveCard});
}

TEST_F(DirectReader, AllBitsSetIsMemoryNotReported) {
  vtoken::CardOptions o;
  o.freeMemory = 0xFFFFFFFF;
  fake.Insert(reader, test::Card("etoken-java", o));
  const auto etoken = ReadETokenJava(fake, context, reader);
  ASSERT_TRUE(etoken);
  EXPECT_EQ(etoken->freeMemory, -1);
  fake.Insert(reader, test::Card("rutoken-ecp", o));
  const auto rutoken = ReadRutokenEcp(fake, context, reader, 4);
  ASSERT_TRUE(rutoken);
  EXPECT_EQ(rutoken->freeMemory, -1);
}

TEST_F(DirectReader, ETokenShortSerialAnswerGivesNoSerial) {
  auto card = Scripted(knownAtrs[0].atr);
  for (const Bytes& c : {Bytes{0x00, 0xA4, 0x04, 0x00, 0x07, 0xA0, 0x00, 0x00, 0x03, 0x12, 0x02, 0x02, 0x00},
                         Bytes{0x00, 0xA4, 0x08, 0x0C, 0x06, 0x66, 0x66, 0x50, 0x00, 0x00, 0x02, 0x00}}) {
    card->answers[c] = {0x90, 0x00};
  }
  card->answers[{0x80, 0x18, 0x00, 0x00, 0x04, 0x0E, 0x02, 0x00, 0x00, 0x00}] = {0x90, 0x00};
  card->answers[{0x00, 0xCA, 0x01, 0x07, 0x00}] = {0x01, 0x07, 0x00, 0x90, 0x00};
  const auto t = ReadETokenJava(fake, context, reader);
  ASSERT_TRUE(t);
  EXPECT_EQ(U8(t->label), "");
  EXPECT_FALSE(t->serial);
  EXPECT_EQ(t->freeMemory, -1) << "a figure the card did not send is not reported";
  EXPECT_EQ(text::ToUtf8(t->display), "Reader 0");
}

TEST_F(DirectReader, RutokenEcpEightByteSerialUsesBytesFourToSeven) {
  vtoken::CardOptions o;
  o.serial = 1234567;
  o.serialAnswerBytes = 8;
  o.label = "Мой";  // bytes are characters of the same codes
  fake.Insert(reader, test::Card("rutoken-ecp", o));
  const auto t = ReadRutokenEcp(fake, context, reader, 4);
  ASSERT_TRUE(t);
  EXPECT_EQ(U8(t->serial), "0001234567") << "seven digits get three leading zeros";
  EXPECT_EQ(text::ToUtf8(t->display), "RUTOKEN ECP 0001234567");
  EXPECT_EQ(t->totalMemory, 32768);
  EXPECT_EQ(t->freeMemory, 20000);
  EXPECT_EQ(t->label->size(), std::string("Мой").size());
}

TEST_F(DirectReader, RutokenEcpFourByteSerialUsesBytesZeroToThree) {
  vtoken::CardOptions o;
  o.serial = 4000000000u;
  o.serialAnswerBytes = 4;
  fake.Insert(reader, test::Card("rutoken-ecp", o));
  const auto t = ReadRutokenEcp(fake, context, reader, 4);
  ASSERT_TRUE(t);
  EXPECT_EQ(U8(t->serial), "4000000000");
}

TEST_F(DirectReader, RutokenLabelFileMissingStillReadsMemoryAndSerial) {
  vtoken::CardOptions o;
  o.labelFile = false;
  o.serial = 77;
  fake.Insert(reader, test::Card("rutoken-lite", o));
  const auto t = ReadRutokenEcp(fake, context, reader, 5);
  ASSERT_TRUE(t);
  EXPECT_EQ(U8(t->label), "");
  EXPECT_EQ(U8(t->model), "Rutoken Lite");
  EXPECT_EQ(U8(t->serial), "0000000077");
  const auto sent = fake.commands();
  ASSERT_EQ(sent.size(), 3u) << "the read of the label is skipped";
  EXPECT_EQ(sent[1], kFree);
  EXPECT_EQ(sent[2], kSerial);
}

TEST_F(DirectReader, RutokenLabelShorterThanTenBytesIsEmpty) {
  auto card = Scripted(knownAtrs[4].atr);
  card->answers[kEcpSelect] = {0x90, 0x00};
  card->answers[kEcpRead] = {1, 2, 3, 4, 5, 6, 7, 0x90, 0x00};
  card->answers[kFree] = {0x00, 0x00, 0x10, 0x00, 0x90, 0x00};
  card->answers[kSerial] = {0x00, 0x00, 0x00, 0x2A, 0x90, 0x00};
  const auto t = ReadRutokenEcp(fake, context, reader, 9);
  ASSERT_TRUE(t);
  EXPECT_EQ(U8(t->label), "");
  EXPECT_EQ(U8(t->model), "Rutoken");
  EXPECT_EQ(t->freeMemory, 4096);
  EXPECT_EQ(U8(t->serial), "0000000042");
}

TEST_F(DirectReader, RutokenLabelStopsAtZeroByteAndIsTrimmed) {
  auto card = Scripted(knownAtrs[4].atr);
  card->answers[kEcpSelect] = {0x90, 0x00};
  card->answers[kEcpRead] = {0, 0, 0, 0, 0, 0, 0, 0, ' ', 'A', 'b', ' ', 0, 'Z', 0x90, 0x00};
  card->answers[kFree] = {0x00, 0x00, 0x10, 0x00, 0x90, 0x00};
  card->answers[kSerial] = {0x00, 0x00, 0x00, 0x01, 0x90, 0x00};
  const auto t = ReadRutokenEcp(fake, context, reader, 4);
  ASSERT_TRUE(t);
  EXPECT_EQ(U8(t->label), "Ab");
}

TEST_F(DirectReader, RutokenSReadsLittleEndian) {
  vtoken::CardOptions o;
  o.serial = 0x01020304;
  o.freeMemory = 0x00001234;
  fake.Insert(reader, test::Card("rutoken-s", o), pcsc::kProtocolT0);
  const auto t = ReadRutokenS(fake, context, reader);
  ASSERT_TRUE(t);
  EXPECT_EQ(U8(t->serial), "0016909060");
  EXPECT_EQ(t->freeMemory, 0x1234);
  EXPECT_EQ(U8(t->label), "");
  EXPECT_EQ(U8(t->model), "Rutoken S");
}

TEST_F(DirectReader, SameCommandsBigEndianForEcpLittleEndianForS) {
  auto card = Scripted(knownAtrs[3].atr);
  card->answers[kFree] = {0x01, 0x00, 0x00, 0x00, 0x90, 0x00};
  card->answers[kSerial] = {0x02, 0x00, 0x00, 0x00, 0x90, 0x00};
  const auto s = ReadRutokenS(fake, context, reader);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->freeMemory, 1);
  EXPECT_EQ(U8(s->serial), "0000000002");
  card->answers[kEcpSelect] = {0x6A, 0x82};
  const auto e = ReadRutokenEcp(fake, context, reader, 4);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->freeMemory, 0x01000000);
  EXPECT_EQ(U8(e->serial), "0033554432");
}

TEST_F(DirectReader, JaCartaFullInformationGivesSerial) {
  vtoken::CardOptions o;
  o.serial = 0xDEADBEEF;
  o.freeMemory = 0x1234;
  o.label = "JC token";
  fake.Insert(reader, test::Card("jacarta-lt", o));
  const auto t = ReadJaCartaLT(fake, context, reader);
  ASSERT_TRUE(t);
  EXPECT_EQ(U8(t->serial), "4A430000DEADBEEF");
  EXPECT_EQ(U8(t->label), "JC token");
  EXPECT_EQ(t->totalMemory, 65535);
  EXPECT_EQ(t->freeMemory, 0x1234);
  EXPECT_EQ(text::ToUtf8(t->display), "JACARTA LT 4A430000DEADBEEF");
}

TEST_F(DirectReader, JaCartaErrorStatusListsWithoutSerial) {
  vtoken::CardOptions o;
  o.jacartaInfo = "error";
  fake.Insert(reader, test::Card("jacarta-lt", o));
  const auto t = ReadJaCartaLT(fake, context, reader);
  ASSERT_TRUE(t);
  EXPECT_FALSE(t->serial);
  EXPECT_EQ(t->totalMemory, 0);
  EXPECT_EQ(t->freeMemory, 0);
  EXPECT_EQ(U8(t->model), "JaCarta LT");
  EXPECT_EQ(text::ToUtf8(t->display), "Reader 0");
}

TEST_F(DirectReader, JaCartaSerialNeverComesFromEarlierAnswers) {
  // The label answer (32 bytes) fills the buffer first; the information block has only the
  // 24 bytes asked for, so bytes 22-29 were never sent in it.
  vtoken::CardOptions o;
  o.jacartaInfo = "short";
  o.label = std::string(32, 'L');
  fake.Insert(reader, test::Card("jacarta-lt", o));
  const auto t = ReadJaCartaLT(fake, context, reader);
  ASSERT_TRUE(t);
  EXPECT_FALSE(t->serial);
  EXPECT_EQ(t->totalMemory, 65535);
  EXPECT_EQ(text::ToUtf8(t->display), "Reader 0");
}

TEST_F(DirectReader, JaCartaLabelWithErrorStatusFails) {
  auto card = Scripted(knownAtrs[6].atr);
  card->answers[{0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00, 0x00, 0x04, 0x48, 0x00, 0x03, 0x01}] = {0x90, 0x00};
  card->answers[{0x80, 0x30, 0x10, 0x00, 0x20}] = {'A', 0x69, 0x82};
  EXPECT_FALSE(ReadJaCartaLT(fake, context, reader));
  card->answers[{0x80, 0x30, 0x10, 0x00, 0x20}] = {0x90};
  EXPECT_FALSE(ReadJaCartaLT(fake, context, reader)) << "an answer shorter than 2 bytes";
}

TEST_F(DirectReader, TransmitFailureDropsThePartialRecord) {
  fake.Insert(reader, test::Card("rutoken-ecp"));
  for (int n = 0; n < 4; ++n) {
    fake.FailTransmitAt(n);
    EXPECT_FALSE(ReadRutokenEcp(fake, context, reader, 4)) << n;
  }
  fake.FailTransmitAt(2);  // the information block of JaCarta may fail
  fake.Insert(reader, test::Card("jacarta-lt"));
  const auto t = ReadJaCartaLT(fake, context, reader);
  ASSERT_TRUE(t);
  EXPECT_FALSE(t->serial);
}

TEST_F(DirectReader, DisconnectFailureGivesNone) {
  fake.Insert(reader, test::Card("etoken-java"));
  fake.SetDisconnectFails(true);
  EXPECT_FALSE(ReadETokenJava(fake, context, reader));
}

TEST_F(DirectReader, OtherProtocolSendsNothing) {
  fake.Insert(reader, test::Card("rutoken-ecp"), pcsc::kProtocolRaw);
  EXPECT_FALSE(ReadRutokenEcp(fake, context, reader, 4));
  EXPECT_TRUE(fake.commands().empty());
}

TEST_F(DirectReader, NoCardOrConnectFailureGivesNone) {
  EXPECT_FALSE(ReadRutokenS(fake, context, reader));
  fake.Insert(reader, test::Card("rutoken-s"));
  fake.SetConnectFails(true);
  EXPECT_FALSE(ReadRutokenS(fake, context, reader));
}

// --- IdentifyCarrier without PKCS#11 modules ---

class Identify : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.AddReader(reader);
    services.pcsc = &fake;
    services.pkcs11 = &noModules;
    services.ui = &ui;
    services.downloads.etoken64 = "http://ca.example/64.msi";
    services.downloads.etoken32 = "http://ca.example/32.msi";
    services.downloads.rutoken64 = "http://rt.example/?fid=3";
    services.downloads.rutoken32 = "http://rt.example/?fid=2";
    services.downloads.jacarta = "http://jc.example/?ID=42120";
  }
  SCardItem Item(const std::shared_ptr<vtoken::VirtualCard>& card) {
    fake.Insert(reader, card);
    SCardItem item;
    item.reader = reader;
    item.cardPresent = true;
    const auto atr = card->Atr();
    item.atrLength = static_cast<std::uint32_t>(atr.size());
    std::copy(atr.begin(), atr.end(), item.atr.begin());
    return item;
  }

  FakePcsc fake;
  test::ScriptedUi ui;
  platform::Pkcs11ModuleLoader noModules{"/nonexistent-orvane-module-dir"};
  CarrierServices services;
  std::u16string reader = u"Reader 0";
};

TEST_F(Identify, RutokenEcpByApdu) {
  vtoken::CardOptions o;
  o.serial = 305419896;
  auto item = Item(test::Card("rutoken-ecp", o));
  const auto t = IdentifyCarrier(&item, services);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->type, 4);
  EXPECT_EQ(text::ToUtf8(t->display), "RUTOKEN ECP 0305419896");
  EXPECT_EQ(fake.openContexts(), 0) << "the reading context is released";
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Identify, EveryReadableFamily) {
  const std::pair<const char*, int> families[] = {{"etoken-java", 1},  {"etoken-java-b", 1}, {"rutoken-s", 3},
                                                  {"rutoken-ecp", 4},  {"rutoken-ecp2m", 4}, {"rutoken-ecp2m-short", 4},
                                                  {"rutoken-lite", 5}, {"jacarta-lt", 6}};
  for (const auto& [family, type] : families) {
    auto item = Item(test::Card(family));
    const auto t = IdentifyCarrier(&item, services);
    ASSERT_TRUE(t) << family;
    EXPECT_EQ(t->type, type) << family;
    EXPECT_TRUE(t->serial) << family;
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Identify, UnknownAtrGivesNoneWithoutPrompt) {
  auto item = Item(test::Card("unknown"));
  EXPECT_FALSE(IdentifyCarrier(&item, services));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(fake.connects(), 0);
}

TEST_F(Identify, NoItemOrNoCardGivesNone) {
  EXPECT_FALSE(IdentifyCarrier(nullptr, services));
  auto item = Item(test::Card("rutoken-ecp"));
  item.cardPresent = false;
  EXPECT_FALSE(IdentifyCarrier(&item, services));
}

TEST_F(Identify, FamiliesWithoutDirectReadingOfferTheirDriver) {
  auto item = Item(test::Card("jacarta-pro"));
  ui.answers = {true};
  EXPECT_FALSE(IdentifyCarrier(&item, services));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, MessageKind::ErrorYesNo);
  EXPECT_EQ(ui.messages[0].owner, nullptr);
  EXPECT_EQ(ui.messages[0].Utf8(), "Необходимо установить Единый клиент JaCarta. Начать загрузку?");
  EXPECT_EQ(ui.openedUrls, std::vector<std::string>{"http://jc.example/?ID=42120"});

  for (const char* family : {"esmart-64k", "esmart-gost"}) {
    auto esmart = Item(test::Card(family));
    EXPECT_FALSE(IdentifyCarrier(&esmart, services));
  }
  EXPECT_EQ(ui.messages.size(), 1u) << "ESMART families have no prompt";
}

TEST_F(Identify, UnreadableCardOffersDriverAndNoAnswerOpensNothing) {
  auto item = Item(test::Card("etoken-java"));
  fake.FailTransmitAt(0);
  ui.answers = {false};
  EXPECT_FALSE(IdentifyCarrier(&item, services));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].Utf8(), "Необходимо установить eToken PKI Client. Начать загрузку?");
  EXPECT_TRUE(ui.openedUrls.empty());
}

TEST_F(Identify, NoContextOffersDriver) {
  auto item = Item(test::Card("rutoken-s"));
  fake.SetEstablishFails(true);
  services.downloads.is64BitSystem = false;
  EXPECT_FALSE(IdentifyCarrier(&item, services));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].Utf8(), "Необходимо установить драйверы ruToken. Начать загрузку?");
  EXPECT_EQ(ui.openedUrls, std::vector<std::string>{"http://rt.example/?fid=2"});
}

TEST_F(Identify, DeferredOffersAreCollectedOncePerType) {
  std::vector<std::int32_t> offers;
  services.driverOffers = &offers;
  auto a = Item(test::Card("etoken-32k"));
  EXPECT_FALSE(IdentifyCarrier(&a, services));
  EXPECT_FALSE(IdentifyCarrier(&a, services));
  auto b = Item(test::Card("esmart-gost"));
  EXPECT_FALSE(IdentifyCarrier(&b, services));
  EXPECT_EQ(offers, std::vector<std::int32_t>{2});
  EXPECT_TRUE(ui.messages.empty()) << "deferred offers are not shown here";
}

TEST(DriverDownload, AddressChoiceByWordSize) {
  DriverDownloads d;
  d.etoken64 = "e64";
  d.etoken32 = "e32";
  d.rutoken64 = "r64";
  d.rutoken32 = "r32";
  d.jacarta = "jc";
  d.is64BitSystem = true;
  EXPECT_EQ(DriverDownloadUrl(1, d), "e64");
  EXPECT_EQ(DriverDownloadUrl(2, d), "e64");
  EXPECT_EQ(DriverDownloadUrl(5, d), "r64");
  EXPECT_EQ(DriverDownloadUrl(7, d), "jc");
  d.is64BitSystem = false;
  EXPECT_EQ(DriverDownloadUrl(1, d), "e32");
  EXPECT_EQ(DriverDownloadUrl(3, d), "r32");
  EXPECT_EQ(DriverDownloadUrl(6, d), "jc");
  EXPECT_EQ(DriverDownloadUrl(8, d), std::nullopt);
  EXPECT_EQ(DriverDownloadUrl(-1, d), std::nullopt);
  EXPECT_FALSE(DriverPromptText(9));
}

TEST(DriverDownload, DefaultsArePlainHttpAddresses) {
  const auto d = DriverDownloadsFrom(config::BuiltInDefaults());
  for (const auto* url : {&d.etoken64, &d.etoken32, &d.rutoken64, &d.rutoken32, &d.jacarta}) {
    EXPECT_EQ(url->rfind("http://", 0), 0u) << *url;
  }
  EXPECT_NE(d.etoken64.find("/cp-workspace-install/64bit/PKIClient_x64_5.1_SP1.msi"), std::string::npos);
  EXPECT_NE(d.etoken32.find("/cp-workspace-install/32bit/PKIClient_x32_5.1_SP1.msi"), std::string::npos);
  EXPECT_NE(d.rutoken64.find("/support/download/get/?fid=3"), std::string::npos);
  EXPECT_NE(d.rutoken32.find("/support/download/get/?fid=2"), std::string::npos);
  EXPECT_NE(d.jacarta.find("/support/downloads/get?ID=42120"), std::string::npos);
}

TEST(DriverDownload, AddressesComeFromTheConfigurationFile) {
  const std::string path = ::testing::TempDir() + "orvane-drivers-test.conf";
  {
    std::ofstream out(path);
    out << "[drivers]\njacarta = http://mirror.example/jc\nrutoken_32 = http://mirror.example/rt32\n";
  }
  config::DeploymentConfig config = config::BuiltInDefaults();
  std::vector<std::string> errors;
  ASSERT_TRUE(config::ApplyConfigFile(path, config, errors));
  std::remove(path.c_str());
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(config.driverJaCarta, "http://mirror.example/jc");
  EXPECT_EQ(config.driverRutoken32, "http://mirror.example/rt32");
  EXPECT_EQ(config.driverEToken64, config::BuiltInDefaults().driverEToken64);
}

}  // namespace
}  // namespace orvane::carriers
