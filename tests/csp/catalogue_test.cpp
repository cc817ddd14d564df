#include "csp/catalogue.h"

#include <gtest/gtest.h>

#include "csp/csp_test_env.h"
#include "text/text.h"

using namespace orvane;
using namespace orvane::csp;

namespace {

// A provider double: a type, a name, a version word, and whether it opens at all.
class FakeContext : public CryptContext {
 public:
  FakeContext(std::uint32_t version, std::optional<std::uint32_t> build) : version_(version), build_(build) {}
  bool GetProvParam(std::uint32_t param, Bytes& data, std::uint32_t) override {
    if (param == PP_VERSION) {
      data = {static_cast<std::uint8_t>(version_), static_cast<std::uint8_t>(version_ >> 8), 0, 0};
      return true;
    }
    if (param == kPPBuildInfo && build_) {
      data.assign(20, 0);
      data[0] = static_cast<std::uint8_t>(*build_);
      data[1] = static_cast<std::uint8_t>(*build_ >> 8);
      return true;
    }
    SetLastError(NTE_BAD_TYPE);
    return false;
  }
  bool SetProvParam(std::uint32_t, std::span<const std::uint8_t>) override { return false; }
  bool GenKey(std::uint32_t, std::uint32_t) override { return false; }
  bool HasUserKey(std::uint32_t) override { return false; }
  bool ExportPublicKeyInfo(std::uint32_t, Bytes&) override { return false; }
  bool ExportPrivateKey(std::uint32_t, Bytes&) override { return false; }
  bool GetKeyParam(std::uint32_t, std::uint32_t, Bytes&) override { return false; }
  bool SetKeyParam(std::uint32_t, std::uint32_t, std::span<const std::uint8_t>) override { return false; }
  bool SignCertificate(std::uint32_t, std::span<const std::uint8_t>, const std::string&, Bytes&) override {
    return false;
  }
  bool HashData(std::uint32_t, std::span<const std::uint8_t>, Bytes&) override { return false; }
  bool SignHash(std::uint32_t, std::uint32_t, std::span<const std::uint8_t>, Bytes&) override { return false; }
  bool GenRandom(std::span<std::uint8_t>) override { return false; }

 private:
  std::uint32_t version_;
  std::optional<std::uint32_t> build_;
};

class FakeProvider : public CryptProvider {
 public:
  FakeProvider(std::uint32_t type, std::u16string name, std::uint32_t version, bool opens = true,
               std::optional<std::uint32_t> build = std::nullopt)
      : type_(type), name_(std::move(name)), version_(version), opens_(opens), build_(build) {}
  std::uint32_t Type() const override { return type_; }
  std::u16string Name() const override { return name_; }
  std::unique_ptr<CryptContext> Acquire(const std::optional<std::u16string>&, std::uint32_t flags) override {
    ++opened;
    lastFlags = flags;
    if (!opens_) {
      SetLastError(0x8009001D);  // NTE_PROVIDER_DLL_FAIL
      return nullptr;
    }
    return std::make_unique<FakeContext>(version_, build_);
  }
  int opened = 0;
  std::uint32_t lastFlags = 0;

 private:
  std::uint32_t type_;
  std::u16string name_;
  std::uint32_t version_;
  bool opens_;
  std::optional<std::uint32_t> build_;
};

providerCatalogue Build(ProviderRegistry& registry) {
  providerCatalogue catalogue;
  EnumerateGostProviders(&catalogue, registry);
  return catalogue;
}

}  // namespace

TEST(EnumerateGostProviders, OnlyRsaProvidersGiveAnEmptyCatalogue) {
  ProviderRegistry registry;
  auto rsa = std::make_shared<FakeProvider>(1, u"Microsoft Base", 0x0100);
  registry.Register(rsa);
  registry.Register(std::make_shared<FakeProvider>(24, u"Microsoft AES", 0x0100));
  EXPECT_TRUE(Build(registry).empty());
  EXPECT_EQ(rsa->opened, 0) << "other types are skipped without opening them";
  EXPECT_EQ(EnumerateGostProviders(nullptr, registry), 0);
}

TEST(EnumerateGostProviders, LeavesOutProvidersThatCannotBeOpened) {
  ProviderRegistry registry;
  auto broken = std::make_shared<FakeProvider>(80, u"Broken", 0x0500, false);
  registry.Register(broken);
  registry.Register(std::make_shared<FakeProvider>(80, u"Working", 0x0500, true, 12000));
  const auto c = Build(registry);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0]->name, u"Working");
  EXPECT_EQ(broken->lastFlags, CRYPT_VERIFYCONTEXT);
}

TEST(EnumerateGostProviders, RecordsVersionBuildAndKind) {
  ProviderRegistry registry;
  registry.Register(std::make_shared<FakeProvider>(80, u"CP", 0x0400, true, 9944));
  registry.Register(std::make_shared<FakeProvider>(75, u"CP no build", 0x0306));
  registry.Register(std::make_shared<FakeProvider>(2, u"VN41", 0x0401, true, 5));
  registry.Register(std::make_shared<FakeProvider>(77, u"VN43", 0x0403));
  const auto c = Build(registry);
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[0]->kind, kKindCryptoPro);
  EXPECT_EQ(c[0]->major, 4);
  EXPECT_EQ(c[0]->minor, 0);
  EXPECT_EQ(c[0]->build, 9944);
  EXPECT_EQ(c[1]->build, 0);
  EXPECT_EQ(c[2]->kind, kKindVipnet);
  EXPECT_EQ(c[2]->minor, 2) << "ViPNet 4.1 is recorded as 4.2";
  EXPECT_EQ(c[2]->build, 0) << "no build for ViPNet";
  EXPECT_EQ(c[3]->minor, 3);
}

TEST(EnumerateGostProviders, TheSoftwareProvidersPassTheVersionCheckValues) {
  ProviderRegistry registry;
  RegisterSoftwareProviders(registry, {});
  const auto c = Build(registry);
  ASSERT_EQ(c.size(), 6u);
  for (const auto& e : c) {
    if (e->kind == kKindCryptoPro) {
      EXPECT_EQ(e->major, 5);
      EXPECT_EQ(e->build, static_cast<int>(kSoftwareBuild));
    } else {
      EXPECT_EQ(e->major, 4);
      EXPECT_EQ(e->minor, 4);
    }
  }
}

TEST(ProviderTypeFor, MapsFamilyAndGeneration) {
  EXPECT_EQ(ProviderTypeFor(1, 0), 75);
  EXPECT_EQ(ProviderTypeFor(1, 1), 80);
  EXPECT_EQ(ProviderTypeFor(1, 2), 81);
  EXPECT_EQ(ProviderTypeFor(2, 0), 2);
  EXPECT_EQ(ProviderTypeFor(2, 1), 77);
  EXPECT_EQ(ProviderTypeFor(2, 2), 78);
  EXPECT_EQ(ProviderTypeFor(1, -1), -1);
  EXPECT_EQ(ProviderTypeFor(3, 1), -1);
  EXPECT_EQ(ProviderTypeFor(1, 3), -1);
}

TEST(FindProviderName, TakesTheFirstEntryOfTheType) {
  ProviderRegistry registry;
  registry.Register(std::make_shared<FakeProvider>(80, u"First", 0x0500));
  registry.Register(std::make_shared<FakeProvider>(80, u"Second", 0x0500));
  const auto c = Build(registry);
  EXPECT_EQ(FindProviderName(80, c), u"First");
  EXPECT_FALSE(FindProviderName(81, c));
  EXPECT_FALSE(FindProviderName(80, providerCatalogue{}));
  providerCatalogue unnamed{std::make_shared<cryptoProviderData>(cryptoProviderData{81, u"", 5, 0, 0, 1})};
  EXPECT_FALSE(FindProviderName(81, unnamed));
}

TEST(KindDisplayName, NamesTheTwoFamilies) {
  EXPECT_EQ(KindDisplayName(1), u"КриптоПро CSP");
  EXPECT_EQ(KindDisplayName(2), u"ViPNet CSP");
  EXPECT_FALSE(KindDisplayName(0));
  EXPECT_FALSE(KindDisplayName(3));
}

TEST(FillProviderCombo, OneItemPerFamilyWithCryptoProSelected) {
  ProviderRegistry registry;
  registry.Register(std::make_shared<FakeProvider>(77, u"VN", 0x0404));
  registry.Register(std::make_shared<FakeProvider>(75, u"CP1", 0x0500));
  registry.Register(std::make_shared<FakeProvider>(80, u"CP2", 0x0500));
  registry.Register(std::make_shared<FakeProvider>(81, u"CP3", 0x0500));
  const auto c = Build(registry);
  ProviderComboModel model;
  FillProviderCombo(model, &c);
  ASSERT_EQ(model.items.size(), 2u);
  EXPECT_EQ(model.items[0].text, u"ViPNet CSP");
  EXPECT_EQ(model.items[1].text, u"КриптоПро CSP");
  EXPECT_EQ(model.selection, 1);
  EXPECT_EQ(SelectedProviderKind(model), 1);
  model.selection = 0;
  EXPECT_EQ(SelectedProviderKind(model), 2);
}

TEST(FillProviderCombo, WithoutCryptoProSelectsTheFirstAndEmptyStaysEmpty) {
  providerCatalogue vipnetOnly{std::make_shared<cryptoProviderData>(cryptoProviderData{78, u"VN", 4, 2, 0, 2})};
  ProviderComboModel model;
  FillProviderCombo(model, &vipnetOnly);
  ASSERT_EQ(model.items.size(), 1u);
  EXPECT_EQ(model.selection, 0);

  ProviderComboModel empty;
  FillProviderCombo(empty, nullptr);
  providerCatalogue none;
  FillProviderCombo(empty, &none);
  EXPECT_TRUE(empty.items.empty());
  EXPECT_EQ(empty.selection, -1);
  EXPECT_EQ(SelectedProviderKind(empty), 1);
}

TEST(LocateCertificateKey, FindsReaderAndContainerOfACertificateKey) {
  test::ProviderEnvironment env;
  auto ctx = env.registry.AcquireContext(u"\\\\.\\Reader B\\located", std::nullopt, 80, CRYPT_NEWKEYSET);
  ASSERT_TRUE(ctx && ctx->GenKey(AT_KEYEXCHANGE, 0));
  CertificateContext cert;
  cert.der = test::SelfSignedCertificate(*ctx, 80);
  ASSERT_FALSE(cert.der.empty());
  EXPECT_FALSE(LocateCertificateKey(&cert, env.registry)) << "no key-provider property";
  EXPECT_FALSE(LocateCertificateKey(nullptr, env.registry));
  cert.keyProvInfo = KeyProvInfo{u"\\\\.\\Reader B\\located", u"", 80, 0, AT_KEYEXCHANGE};
  const auto loc = LocateCertificateKey(&cert, env.registry);
  ASSERT_TRUE(loc);
  EXPECT_EQ(loc->readerName, u"Reader B");
  EXPECT_EQ(loc->containerName, u"located");
  env.presence->readers.clear();
  EXPECT_FALSE(LocateCertificateKey(&cert, env.registry)) << "token not inserted";
}
