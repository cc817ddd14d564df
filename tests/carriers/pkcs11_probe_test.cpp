// PKCS#11 probing against the test module (tests/carriers/p11), loaded by the vendors' file
// names from a folder of the build.
#include "carriers/pkcs11_probe.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "carriers/identify.h"
#include "fake_pcsc.h"
#include "support/scripted_ui.h"
#include "text/text.h"

namespace orvane::carriers {
namespace {

namespace pcsc = platform::pcsc;

std::string U8(const std::optional<std::u16string>& s) {
  return s ? text::ToUtf8(*s) : std::string("<none>");
}

class Probe : public ::testing::Test {
 protected:
  void SetUp() override {
    logPath = ::testing::TempDir() + "orvane-p11-" + std::to_string(getpid()) + ".log";
    std::remove(logPath.c_str());
    setenv("ORVANE_TEST_P11_LOG", logPath.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("ORVANE_TEST_P11");
    unsetenv("ORVANE_TEST_P11_LOG");
    std::remove(logPath.c_str());
  }
  void Slots(const std::string& config) { setenv("ORVANE_TEST_P11", config.c_str(), 1); }
  std::vector<std::string> Calls() {
    std::ifstream in(logPath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool Loaded(const char* module) {
    void* h = dlopen((std::string(ORVANE_TEST_P11_DIR) + "/" + module).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h != nullptr) dlclose(h);
    return h != nullptr;
  }

  platform::Pkcs11ModuleLoader loader{ORVANE_TEST_P11_DIR};
  std::string logPath;
};

TEST(Pkcs11Modules, FileNamePerCarrierType) {
  EXPECT_STREQ(Pkcs11ModuleFor(1), "libeTPkcs11.so");
  EXPECT_STREQ(Pkcs11ModuleFor(2), "libeTPkcs11.so");
  EXPECT_STREQ(Pkcs11ModuleFor(3), "librtpkcs11ecp.so");
  EXPECT_STREQ(Pkcs11ModuleFor(4), "librtpkcs11ecp.so");
  EXPECT_STREQ(Pkcs11ModuleFor(5), "librtpkcs11ecp.so");
  EXPECT_STREQ(Pkcs11ModuleFor(6), "libjcPKCS11-2.so");
  EXPECT_STREQ(Pkcs11ModuleFor(7), "libjcPKCS11-2.so");
  EXPECT_STREQ(Pkcs11ModuleFor(8), "libisbc_pkcs11_main.so");
  EXPECT_STREQ(Pkcs11ModuleFor(9), "libisbc_pkcs11_main.so");
  EXPECT_EQ(Pkcs11ModuleFor(-1), nullptr);
  EXPECT_EQ(Pkcs11ModuleFor(10), nullptr);
}

TEST(Pkcs11Modules, RutokenSerialConversion) {
  EXPECT_EQ(U8(RutokenSerialFromHex(u"0a1b2c3d")), "0169552957");
  EXPECT_EQ(U8(RutokenSerialFromHex(u"0A1B2C3D")), "0169552957");
  EXPECT_EQ(U8(RutokenSerialFromHex(u"ffffffff")), "4294967295");
  EXPECT_EQ(U8(RutokenSerialFromHex(u"12 trailing")), "0000000018");
  EXPECT_FALSE(RutokenSerialFromHex(u"100000000")) << "more than 32 bits";
  EXPECT_FALSE(RutokenSerialFromHex(u"xyz"));
  EXPECT_FALSE(RutokenSerialFromHex(u""));
}

TEST(Pkcs11Modules, MemoryFigures) {
  EXPECT_EQ(MemoryFigure(platform::cryptoki::CK_UNAVAILABLE_INFORMATION), -1);
  EXPECT_EQ(MemoryFigure(0xFFFFFFFFUL), -1);
  EXPECT_EQ(MemoryFigure(65536), 65536);
  EXPECT_EQ(MemoryFigure(0x1'0000'0000UL), INT32_MAX);
}

TEST_F(Probe, MissingModuleIsNotUsable) {
  const auto r = ProbePkcs11(loader, "libnot-installed.so", u"Reader", 4);
  EXPECT_FALSE(r.moduleUsable);
  EXPECT_FALSE(ProbePkcs11(loader, nullptr, u"Reader", 4).moduleUsable);
}

TEST_F(Probe, ModuleWithoutFunctionListIsNotUsableAndUnloaded) {
  const auto r = ProbePkcs11(loader, "libisbc_pkcs11_main.so", u"Reader", 8);
  EXPECT_FALSE(r.moduleUsable);
  EXPECT_FALSE(Loaded("libisbc_pkcs11_main.so"));
}

TEST_F(Probe, FailingFunctionListIsNotUsable) {
  Slots("getlist=fail;Reader|L|M|S|1|1");
  EXPECT_FALSE(ProbePkcs11(loader, "librtpkcs11ecp.so", u"Reader", 4).moduleUsable);
  EXPECT_EQ(Calls(), std::vector<std::string>{"C_GetFunctionList"});
}

TEST_F(Probe, RutokenRecordWithSerialConversionAndCaseInsensitiveMatch) {
  Slots("Other reader|x|x|x|1|1;VIRTUAL PCD 00 00|  Мой ключ |Rutoken ECP|0a1b2c3d|65536|30000");
  const auto r = ProbePkcs11(loader, "librtpkcs11ecp.so", u"Virtual PCD 00 00", 4);
  ASSERT_TRUE(r.moduleUsable);
  ASSERT_TRUE(r.token);
  const tokenInfo& t = *r.token;
  EXPECT_EQ(U8(t.label), "Мой ключ");
  EXPECT_EQ(U8(t.model), "Rutoken ECP");
  EXPECT_EQ(U8(t.serialRaw), "0a1b2c3d");
  EXPECT_EQ(U8(t.serial), "0169552957");
  EXPECT_EQ(U8(t.reader), "Virtual PCD 00 00") << "the reader's own name, not the slot's";
  EXPECT_EQ(t.totalMemory, 65536);
  EXPECT_EQ(t.freeMemory, 30000);
  EXPECT_EQ(text::ToUtf8(t.display), "RUTOKEN ECP 0169552957");
  EXPECT_EQ(Calls(), (std::vector<std::string>{"C_GetFunctionList", "C_Initialize", "C_GetSlotList(count)",
                                               "C_GetSlotList(list)", "C_GetSlotInfo", "C_GetSlotInfo",
                                               "C_GetTokenInfo", "C_Finalize"}));
  EXPECT_FALSE(Loaded("librtpkcs11ecp.so")) << "the module is unloaded after the probe";
}

TEST_F(Probe, ETokenSerialIsTheModulesTextUnchanged) {
  Slots("Reader 1|label|eToken|0a1b2c3d|unavailable|unavailable");
  const auto r = ProbePkcs11(loader, "libeTPkcs11.so", u"Reader 1", 1);
  ASSERT_TRUE(r.token);
  EXPECT_EQ(U8(r.token->serial), "0a1b2c3d");
  EXPECT_EQ(r.token->totalMemory, -1);
  EXPECT_EQ(r.token->freeMemory, -1);
  EXPECT_EQ(text::ToUtf8(r.token->display), "ETOKEN 0A1B2C3D");
}

TEST_F(Probe, NonHexRutokenSerialKeepsTheModulesText) {
  Slots("Reader|l|Rutoken|RT-77|1|1");
  const auto r = ProbePkcs11(loader, "librtpkcs11ecp.so", u"Reader", 5);
  ASSERT_TRUE(r.token);
  EXPECT_EQ(U8(r.token->serial), "RT-77");
}

TEST_F(Probe, NoMatchingSlotIsFinalNone) {
  Slots("Reader A|l|m|s|1|1");
  const auto r = ProbePkcs11(loader, "libjcPKCS11-2.so", u"Reader B", 6);
  EXPECT_TRUE(r.moduleUsable);
  EXPECT_FALSE(r.token);
  EXPECT_EQ(Calls().back(), "C_Finalize");
}

TEST_F(Probe, NoSlotsIsFinalNone) {
  Slots("");
  const auto r = ProbePkcs11(loader, "libjcPKCS11-2.so", u"Reader", 6);
  EXPECT_TRUE(r.moduleUsable);
  EXPECT_FALSE(r.token);
}

TEST_F(Probe, FailingSlotInfoTriesTheNextSlot) {
  Slots("slotinfo=fail;Reader|first|m|1|1|1;Reader|second|m|2|1|1");
  const auto r = ProbePkcs11(loader, "libjcPKCS11-2.so", u"Reader", 6);
  ASSERT_TRUE(r.token);
  EXPECT_EQ(U8(r.token->label), "second");
}

TEST_F(Probe, FailingTokenInfoEndsTheProbe) {
  Slots("tokeninfo=fail;Reader|first|m|1|1|1;Reader|second|m|2|1|1");
  const auto r = ProbePkcs11(loader, "libjcPKCS11-2.so", u"Reader", 6);
  EXPECT_TRUE(r.moduleUsable);
  EXPECT_FALSE(r.token);
  const auto calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "C_GetTokenInfo"), 1) << "no further slot is tried";
}

TEST_F(Probe, ModuleInitialisedElsewhereIsNotFinalised) {
  Slots("init=already;Reader|l|m|s|1|1");
  const auto r = ProbePkcs11(loader, "libjcPKCS11-2.so", u"Reader", 6);
  ASSERT_TRUE(r.token);
  const auto calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "C_Finalize"), 0);
}

// --- through IdentifyCarrier ---

class ProbeIdentify : public Probe {
 protected:
  void SetUp() override {
    Probe::SetUp();
    fake.AddReader(reader);
    services.pcsc = &fake;
    services.pkcs11 = &loader;
    services.ui = &ui;
    services.downloads.rutoken64 = "http://rt.example/?fid=3";
  }
  SCardItem Item(const char* family) {
    auto card = test::Card(family);
    fake.Insert(reader, card);
    SCardItem item;
    item.reader = reader;
    item.cardPresent = true;
    const auto atr = card->Atr();
    item.atrLength = static_cast<std::uint32_t>(atr.size());
    std::copy(atr.begin(), atr.end(), item.atr.begin());
    return item;
  }

  test::FakePcsc fake;
  test::ScriptedUi ui;
  CarrierServices services;
  std::u16string reader = u"Virtual PCD 00 00";
};

TEST_F(ProbeIdentify, ModuleRecordIsFinalAndNoApduIsSent) {
  Slots("virtual pcd 00 00|From module|Rutoken ECP|00bc614e|65536|100");
  auto item = Item("rutoken-ecp");
  const auto t = IdentifyCarrier(&item, services);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->type, 4);
  EXPECT_EQ(U8(t->label), "From module");
  EXPECT_EQ(U8(t->serial), "0012345678");
  EXPECT_EQ(fake.connects(), 0);
}

TEST_F(ProbeIdentify, ModulePresentButTokenNotVisibleAsksForTheDriver) {
  Slots("Another reader|l|m|s|1|1");
  auto item = Item("rutoken-ecp");
  ui.answers = {true};
  EXPECT_FALSE(IdentifyCarrier(&item, services));
  EXPECT_EQ(fake.connects(), 0) << "the probe's answer is final";
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].Utf8(), "Необходимо установить драйверы ruToken. Начать загрузку?");
  EXPECT_EQ(ui.openedUrls, std::vector<std::string>{"http://rt.example/?fid=3"});
}

TEST_F(ProbeIdentify, UnusableModuleFallsBackToApdu) {
  Slots("getlist=fail");
  auto item = Item("rutoken-ecp");
  const auto t = IdentifyCarrier(&item, services);
  ASSERT_TRUE(t);
  EXPECT_EQ(fake.connects(), 1);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ProbeIdentify, EsmartThroughItsModuleWithoutFunctionListIsNeverListed) {
  auto item = Item("esmart-gost");
  EXPECT_FALSE(IdentifyCarrier(&item, services));
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace orvane::carriers
