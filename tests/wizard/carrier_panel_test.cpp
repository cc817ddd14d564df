#include "wizard/carrier_panel.h"

#include <gtest/gtest.h>

#include <tuple>

#include "text/text.h"

using namespace orvane;
using carriers::SCardItem;
using wizard::CarrierPanel;

namespace {

std::shared_ptr<SCardItem> Reader(const std::u16string& name, bool present, std::optional<std::int32_t> freeMemory,
                                  const std::u16string& serial = u"0012AB") {
  auto item = std::make_shared<SCardItem>();
  item->reader = name;
  item->cardPresent = present;
  if (freeMemory) {
    carriers::tokenInfo t;
    t.reader = name;
    t.model = u"Rutoken ECP";
    t.label = u"Иванов";
    t.serial = serial;
    t.freeMemory = *freeMemory;
    t.BuildDisplay();
    item->token = t;
  }
  return item;
}

std::string Line(const CarrierPanel& p, int i) {
  return text::ToUtf8(p.lines[static_cast<std::size_t>(i)].text);
}

}  // namespace

TEST(CarrierPanel, NoCarrierAsksForOne) {
  std::vector<std::shared_ptr<SCardItem>> readers{Reader(u"Reader 0", false, std::nullopt),
                                                  Reader(u"Reader 1", true, std::nullopt)};  // unidentified card
  CarrierPanel panel;
  panel.FillCarrierList(&readers, std::nullopt, false, std::nullopt);
  EXPECT_TRUE(panel.items.empty());
  EXPECT_EQ(panel.selection, -1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Line(panel, i), "");
  EXPECT_EQ(Line(panel, 4), "Вставьте ключевой носитель");
  EXPECT_EQ(panel.lines[4].colour, wizard::kPanelRed);
  EXPECT_FALSE(panel.createEnabled);
  EXPECT_FALSE(panel.getEnabled);
  EXPECT_FALSE(panel.carrier);
}

TEST(CarrierPanel, MemoryThresholdsAndUnreportedMemory) {
  for (const auto& [free, ok, memoryLine] :
       {std::tuple{4096, true, "Доступная память: 4096 байт"}, std::tuple{4095, false, "Доступная память: 4095 байт"},
        std::tuple{-1, true, "Доступная память: неизвестно"}, std::tuple{0, false, "Доступная память: 0 байт"}}) {
    std::vector<std::shared_ptr<SCardItem>> readers{Reader(u"Reader 0", true, free)};
    CarrierPanel panel;
    panel.FillCarrierList(&readers, std::nullopt, false, std::nullopt);
    ASSERT_EQ(panel.selection, 0);
    EXPECT_EQ(Line(panel, 0), "Тип: Rutoken ECP");
    EXPECT_EQ(Line(panel, 1), "Метка: Иванов");
    EXPECT_EQ(Line(panel, 2), "Серийный номер: 0012AB");
    EXPECT_EQ(Line(panel, 3), memoryLine);
    EXPECT_EQ(Line(panel, 4), ok ? "Состояние: ОК" : "Недостаточно памяти");
    EXPECT_EQ(panel.lines[4].colour, ok ? wizard::kPanelGrey : wizard::kPanelRed);
    EXPECT_EQ(panel.lines[3].colour, ok ? wizard::kPanelGrey : wizard::kPanelRed);
    EXPECT_EQ(panel.createEnabled, ok) << free;
    EXPECT_TRUE(panel.getEnabled);
  }
}

TEST(CarrierPanel, PreferredReaderBlockedOperatorCarrierAndOwnCopy) {
  std::vector<std::shared_ptr<SCardItem>> readers{Reader(u"Reader 0", true, 30000, u"01"),
                                                  Reader(u"Reader 1", true, 30000, u"02")};
  CarrierPanel panel;
  panel.FillCarrierList(&readers, std::u16string(u"Reader 1"), false, std::nullopt);
  EXPECT_EQ(panel.items.size(), 2u);
  EXPECT_EQ(panel.selection, 1);
  EXPECT_EQ(Line(panel, 2), "Серийный номер: 02");

  // The operator's key sits in "reader 0" (names compared ignoring case): blocked, not listed.
  const csp::keyLocation key{u"READER 0", u"op"};
  panel.FillCarrierList(&readers, std::nullopt, true, key);
  ASSERT_EQ(panel.items.size(), 1u);
  EXPECT_EQ(panel.items[0], u"RUTOKEN ECP 02");
  panel.FillCarrierList(&readers, std::nullopt, false, key);
  EXPECT_EQ(panel.items.size(), 2u);
  EXPECT_EQ(panel.selection, 0);

  // The selected record is the panel's own copy: the monitor may replace the list's one.
  ASSERT_TRUE(panel.carrier);
  readers[0]->token->serial = u"changed";
  EXPECT_EQ(panel.carrier->serial, u"01");

  // Without a reader list the lines keep their text.
  panel.ShowCarrier(nullptr, 0);
  EXPECT_FALSE(panel.carrier);
  EXPECT_EQ(Line(panel, 2), "Серийный номер: 01");
}
