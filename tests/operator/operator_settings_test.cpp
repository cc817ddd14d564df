#include "operator/operator_settings.h"

#include <gtest/gtest.h>

#include "app/head_ca_roots.h"
#include "support/tls_test_server.h"
#include "text/text.h"

using namespace orvane;

namespace {

struct Env {
  test::TempDir dir;
  platform::MemorySettingsStore settings;
  csp::CertificateContext cert;
  int checks = 0;
  bool grant = true;

  Env() {
    cert.der = *text::Base64Decode(std::string(app::HeadCaRootB().base64));
    std::uint32_t error = 0;
    auto store = platform::OpenFileStoreAt(dir.Path() + "/MY", false, error);
    store->Add(cert, error);
  }
  platform::CertStoreOpener Stores() {
    return [this](const std::string&, platform::StoreLocation, bool existing, std::uint32_t& error) {
      return platform::OpenFileStoreAt(dir.Path() + "/MY", existing, error);
    };
  }
  op::RightsCheck Verify() {
    return [this](const csp::CertificatePtr& c) -> std::shared_ptr<op::verifyClientResult> {
      ++checks;
      if (!grant || !c) return nullptr;
      auto r = std::make_shared<op::verifyClientResult>();
      r->agentMode = true;
      return r;
    };
  }
  void Store(std::size_t size) {
    auto t = app::HeadCaRootB().thumbprint;
    settings.binaries["agentCertificate"] = std::vector<std::uint8_t>(t.begin(), t.begin() + static_cast<long>(size));
  }
};

}  // namespace

TEST(OperatorSettings, StoredCertificateWithRights) {
  Env env;
  env.Store(20);
  auto loaded = op::LoadOperatorSettings(env.settings, env.Stores(), env.Verify());
  ASSERT_TRUE(loaded.certificate);
  EXPECT_EQ(loaded.certificate->der, env.cert.der);
  ASSERT_TRUE(loaded.rights);
  EXPECT_TRUE(loaded.rights->agentMode);
  EXPECT_EQ(loaded.blockCarrier, 1u);  // not stored: blocked
  env.settings.numbers["blockCarrier"] = 0;
  EXPECT_EQ(op::LoadOperatorSettings(env.settings, env.Stores(), env.Verify()).blockCarrier, 0u);
}

TEST(OperatorSettings, NothingUsableGivesNoCertificate) {
  Env env;
  auto none = op::LoadOperatorSettings(env.settings, env.Stores(), env.Verify());
  EXPECT_FALSE(none.certificate);
  EXPECT_EQ(none.blockCarrier, 0u);  // without a stored certificate the flag is not read
  env.Store(19);
  EXPECT_FALSE(op::LoadOperatorSettings(env.settings, env.Stores(), env.Verify()).certificate);
  EXPECT_EQ(env.checks, 0);
  env.Store(20);
  env.grant = false;
  auto refused = op::LoadOperatorSettings(env.settings, env.Stores(), env.Verify());
  EXPECT_FALSE(refused.certificate);
  EXPECT_EQ(env.checks, 1);
  EXPECT_TRUE(env.settings.binaries.count("agentCertificate"));  // the stored value is kept
  env.settings.available = false;
  EXPECT_FALSE(op::LoadOperatorSettings(env.settings, env.Stores(), env.Verify()).certificate);
}
