// The reader list: rebuild, every poll case, lookup and refresh, on the fake PC/SC stack.
#include "carriers/scard_list.h"

#include <gtest/gtest.h>

#include "fake_pcsc.h"
#include "text/text.h"

namespace orvane::carriers {
namespace {

using test::FakePcsc;
namespace pcsc = platform::pcsc;

const std::u16string kR0 = u"Reader 0";
const std::u16string kR1 = u"Reader 1";
const std::u16string kR2 = u"Reader 2";

std::shared_ptr<vtoken::VirtualCard> Rutoken(std::uint32_t serial) {
  vtoken::CardOptions o;
  o.serial = serial;
  return test::Card("rutoken-ecp", o);
}

class ReaderList : public ::testing::Test {
 protected:
  ReaderList() : list(Services()) {}
  CarrierServices Services() {
    CarrierServices s;
    s.pcsc = &fake;
    s.pkcs11 = &noModules;
    return s;
  }
  void RebuildNow() {
    platform::ScopedPcscContext context(fake, pcsc::kScopeUser);
    ASSERT_TRUE(context);
    list.Rebuild(context.get());
  }
  std::string Display(const std::u16string& reader) {
    const auto item = list.Find(reader);
    if (!item || !item->token) return "<none>";
    return text::ToUtf8(item->token->display);
  }
  void TearDown() override { EXPECT_EQ(fake.openContexts(), 0) << "every context is released"; }

  FakePcsc fake;
  platform::Pkcs11ModuleLoader noModules{"/nonexistent-orvane-module-dir"};
  SCardList list;
};

TEST_F(ReaderList, ItemsAbsentUntilFirstRebuildWithReaders) {
  EXPECT_FALSE(list.items());
  list.Rebuild(0);
  EXPECT_FALSE(list.items());
  EXPECT_EQ(list.count(), 0u);
  RebuildNow();  // no readers: no list returned
  EXPECT_FALSE(list.items());
  EXPECT_EQ(list.Find(kR0), nullptr);
  EXPECT_EQ(list.Find(nullptr), nullptr);
}

TEST_F(ReaderList, RebuildKeepsReaderOrderAndIdentifiesCards) {
  fake.AddReader(kR0);
  fake.AddReader(kR1);
  fake.AddReader(kR2);
  fake.Insert(kR1, Rutoken(1));
  fake.Insert(kR2, test::Card("unknown"));
  RebuildNow();
  ASSERT_TRUE(list.items());
  ASSERT_EQ(list.items()->size(), 3u);
  EXPECT_EQ(list.count(), 3u);
  EXPECT_EQ((*list.items())[0]->reader, kR0);
  EXPECT_EQ((*list.items())[2]->reader, kR2);
  EXPECT_FALSE((*list.items())[0]->cardPresent);
  EXPECT_EQ((*list.items())[0]->atrLength, 0u);
  EXPECT_EQ(Display(kR1), "RUTOKEN ECP 0000000001");
  const auto unknown = list.Find(kR2);
  ASSERT_TRUE(unknown);
  EXPECT_TRUE(unknown->cardPresent);
  EXPECT_EQ(unknown->atrLength, 13u);
  EXPECT_FALSE(unknown->token) << "an unrecognised card stays in the list without a carrier";
  for (auto t : fake.statusTimeouts()) EXPECT_EQ(t, 0u);
}

TEST_F(ReaderList, RebuildWithoutReaderListKeepsItemsAndZeroesCount) {
  fake.AddReader(kR0);
  RebuildNow();
  fake.RemoveReader(kR0);
  RebuildNow();
  ASSERT_TRUE(list.items());
  EXPECT_EQ(list.items()->size(), 1u);
  EXPECT_EQ(list.count(), 0u);
}

TEST_F(ReaderList, RebuildSkipsReaderWhoseQueryFails) {
  fake.AddReader(kR0);
  fake.AddReader(kR1);
  fake.SetStatusFails(kR0, true);
  RebuildNow();
  ASSERT_EQ(list.items()->size(), 1u);
  EXPECT_EQ((*list.items())[0]->reader, kR1);
}

TEST_F(ReaderList, FindIsExactAndCaseSensitive) {
  fake.AddReader(kR0);
  RebuildNow();
  EXPECT_TRUE(list.Find(kR0));
  EXPECT_FALSE(list.Find(u"reader 0"));
  EXPECT_FALSE(list.Find(u"Reader 0 "));
}

TEST_F(ReaderList, NoChangeReportsNothing) {
  fake.AddReader(kR0);
  fake.AddReader(kR1);
  fake.Insert(kR0, Rutoken(5));
  RebuildNow();
  fake.ClearLog();
  EXPECT_FALSE(list.Poll());
  EXPECT_FALSE(list.Poll());
  EXPECT_EQ(fake.connects(), 0) << "nothing is identified again";
}

TEST_F(ReaderList, InsertIntoKnownReaderIdentifiesOnlyThatReader) {
  fake.AddReader(kR0);
  fake.AddReader(kR1);
  fake.Insert(kR0, Rutoken(5));
  RebuildNow();
  const auto before = list.Find(kR0);
  fake.ClearLog();
  fake.Insert(kR1, Rutoken(6));
  const auto change = list.Poll();
  ASSERT_TRUE(change);
  EXPECT_TRUE(change->changed);
  EXPECT_EQ(change->reader, kR1);
  EXPECT_EQ(fake.connects(), 1) << "only the changed reader is read";
  EXPECT_EQ(Display(kR1), "RUTOKEN ECP 0000000006");
  EXPECT_EQ(list.Find(kR0), before) << "no rebuild: the other items stay";
  EXPECT_FALSE(list.Poll());
}

TEST_F(ReaderList, ACardSwappedBetweenTwoPollsIsReadAgain) {
  fake.AddReader(kR0);
  fake.Insert(kR0, Rutoken(5));
  RebuildNow();
  // Out and another card of the same model in within one period: present before and after,
  // same ATR; the reader's event counter tells.
  fake.Eject(kR0);
  fake.Insert(kR0, Rutoken(6));
  const auto change = list.Poll();
  ASSERT_TRUE(change);
  EXPECT_EQ(change->reader, kR0);
  EXPECT_EQ(Display(kR0), "RUTOKEN ECP 0000000006");
  EXPECT_FALSE(list.Poll());
}

TEST_F(ReaderList, RemovalReportsChangeWithoutReader) {
  fake.AddReader(kR0);
  fake.Insert(kR0, Rutoken(5));
  RebuildNow();
  fake.Eject(kR0);
  const auto change = list.Poll();
  ASSERT_TRUE(change);
  EXPECT_FALSE(change->reader);
  const auto item = list.Find(kR0);
  ASSERT_TRUE(item);
  EXPECT_FALSE(item->cardPresent);
  EXPECT_EQ(item->atrLength, 0u);
  EXPECT_FALSE(item->token);
}

TEST_F(ReaderList, NewReaderWithCardRebuildsAndNamesIt) {
  fake.AddReader(kR0);
  fake.Insert(kR0, Rutoken(5));
  RebuildNow();
  const auto old = list.Find(kR0);
  fake.AddReader(kR1);
  fake.Insert(kR1, test::Card("etoken-java"));
  const auto change = list.Poll();
  ASSERT_TRUE(change);
  EXPECT_EQ(change->reader, kR1);
  EXPECT_EQ(list.count(), 2u);
  EXPECT_NE(list.Find(kR0), old) << "a full rebuild creates every item anew";
  EXPECT_EQ(Display(kR0), "RUTOKEN ECP 0000000005");
  EXPECT_NE(Display(kR1), "<none>");
}

TEST_F(ReaderList, NewReaderWithoutCardIsNotAddedUntilRebuild) {
  fake.AddReader(kR0);
  RebuildNow();
  fake.AddReader(kR1);
  EXPECT_FALSE(list.Poll());
  EXPECT_FALSE(list.Find(kR1));
  EXPECT_EQ(list.count(), 1u);
}

TEST_F(ReaderList, ReaderGoneRebuildsAndReportsNoReader) {
  fake.AddReader(kR0);
  fake.AddReader(kR1);
  fake.Insert(kR0, Rutoken(5));
  fake.Insert(kR1, Rutoken(6));
  RebuildNow();
  fake.RemoveReader(kR1);
  const auto change = list.Poll();
  ASSERT_TRUE(change);
  EXPECT_FALSE(change->reader);
  EXPECT_EQ(list.count(), 1u);
  EXPECT_FALSE(list.Find(kR1));
  EXPECT_EQ(Display(kR0), "RUTOKEN ECP 0000000005");
}

TEST_F(ReaderList, FailingQueryOfKnownReaderTriggersRebuild) {
  fake.AddReader(kR0);
  fake.AddReader(kR1);
  RebuildNow();
  fake.SetStatusFails(kR1, true);
  const auto change = list.Poll();
  ASSERT_TRUE(change);
  EXPECT_FALSE(change->reader);
  EXPECT_EQ(list.count(), 1u);
}

TEST_F(ReaderList, LastReaderUnpluggedReportsNothing) {
  fake.AddReader(kR0);
  fake.Insert(kR0, Rutoken(5));
  RebuildNow();
  fake.RemoveReader(kR0);
  EXPECT_FALSE(list.Poll());
  EXPECT_TRUE(list.Find(kR0)) << "the items stay as they were";
}

TEST_F(ReaderList, NoContextReportsNothing) {
  fake.AddReader(kR0);
  RebuildNow();
  fake.Insert(kR0, Rutoken(5));
  fake.SetEstablishFails(true);
  EXPECT_FALSE(list.Poll());
  fake.SetEstablishFails(false);
  EXPECT_TRUE(list.Poll());
}

TEST_F(ReaderList, OneChangePerCycle) {
  fake.AddReader(kR0);
  fake.AddReader(kR1);
  RebuildNow();
  fake.Insert(kR0, Rutoken(1));
  fake.Insert(kR1, Rutoken(2));
  auto first = list.Poll();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->reader, kR0);
  auto second = list.Poll();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->reader, kR1);
  EXPECT_FALSE(list.Poll());
}

TEST_F(ReaderList, UnknownAtrInsertedIsReportedButNotIdentified) {
  fake.AddReader(kR0);
  RebuildNow();
  fake.Insert(kR0, test::Card("unknown"));
  const auto change = list.Poll();
  ASSERT_TRUE(change);
  EXPECT_EQ(change->reader, kR0);
  EXPECT_FALSE(list.Find(kR0)->token);
  EXPECT_TRUE(change->driverOffers.empty());
}

TEST_F(ReaderList, UnreadableCardCarriesItsDriverOfferWithTheChange) {
  fake.AddReader(kR0);
  RebuildNow();
  fake.Insert(kR0, test::Card("jacarta-pro"));
  const auto change = list.Poll();
  ASSERT_TRUE(change);
  EXPECT_EQ(change->driverOffers, std::vector<std::int32_t>{7});
  EXPECT_TRUE(list.TakeDriverOffers().empty());
}

TEST_F(ReaderList, RebuildOffersAreTakenByTheCaller) {
  fake.AddReader(kR0);
  fake.Insert(kR0, test::Card("etoken-32k"));
  RebuildNow();
  EXPECT_EQ(list.TakeDriverOffers(), std::vector<std::int32_t>{2});
  EXPECT_TRUE(list.TakeDriverOffers().empty());
}

TEST_F(ReaderList, AtrLongerThan36BytesIsCut) {
  std::vector<std::uint8_t> atr(40);
  for (std::size_t i = 0; i < atr.size(); ++i) atr[i] = static_cast<std::uint8_t>(i + 1);
  auto card = std::make_shared<test::ScriptedCard>(atr);
  fake.AddReader(kR0);
  fake.Insert(kR0, card);
  RebuildNow();
  const auto item = list.Find(kR0);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->atrLength, 36u);
  EXPECT_EQ(item->atr[35], 36);
  EXPECT_FALSE(item->token);
}

TEST_F(ReaderList, RemovalKeepsOldAtrBytesButZeroLength) {
  fake.AddReader(kR0);
  fake.Insert(kR0, Rutoken(1));
  RebuildNow();
  const auto item = list.Find(kR0);
  const std::uint8_t first = item->atr[0];
  fake.Eject(kR0);
  ASSERT_TRUE(list.Poll());
  EXPECT_EQ(item->atrLength, 0u);
  EXPECT_EQ(item->atr[0], first);
}

TEST_F(ReaderList, RefreshReaderReadsTheCarrierAgain) {
  fake.AddReader(kR0);
  vtoken::CardOptions o;
  o.freeMemory = 1000;
  auto card = test::Card("rutoken-ecp", o);
  fake.Insert(kR0, card);
  RebuildNow();
  EXPECT_EQ(list.Find(kR0)->token->freeMemory, 1000);
  o.freeMemory = 500;  // a key was written: the card now reports less free memory
  fake.Replace(kR0, test::Card("rutoken-ecp", o));
  EXPECT_FALSE(list.Poll()) << "presence did not change";
  EXPECT_EQ(list.Find(kR0)->token->freeMemory, 1000);
  list.RefreshReader(kR0);
  EXPECT_EQ(list.Find(kR0)->token->freeMemory, 500);
}

TEST_F(ReaderList, RefreshReaderOfUnknownOrFailingReaderDoesNothing) {
  fake.AddReader(kR0);
  fake.Insert(kR0, Rutoken(1));
  RebuildNow();
  list.RefreshReader(u"Reader 9");
  fake.SetStatusFails(kR0, true);
  list.RefreshReader(kR0);
  EXPECT_TRUE(list.Find(kR0)->token);
  fake.SetStatusFails(kR0, false);
  fake.SetEstablishFails(true);
  fake.Eject(kR0);
  list.RefreshReader(kR0);
  EXPECT_TRUE(list.Find(kR0)->token);
}

TEST_F(ReaderList, HeldItemOutlivesRebuild) {
  fake.AddReader(kR0);
  fake.Insert(kR0, Rutoken(3));
  RebuildNow();
  const auto held = list.Find(kR0);
  fake.RemoveReader(kR0);
  fake.AddReader(kR1);
  RebuildNow();
  ASSERT_TRUE(held->token);
  EXPECT_EQ(text::ToUtf8(held->token->display), "RUTOKEN ECP 0000000003");
}

}  // namespace
}  // namespace orvane::carriers
