#include "app/head_ca_roots.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "config/deployment_config.h"
#include "support/scripted_ui.h"
#include "support/tls_test_server.h"
#include "text/text.h"

using namespace orvane;
using platform::CertStore;
using platform::Sha1;

namespace {

// A store that records additions and can refuse them.
class RecordingStore : public CertStore {
 public:
  struct State {
    std::vector<Sha1> present;
    std::vector<Sha1> added;
    std::uint32_t refuse = 0;  // error of Add, 0 to accept
  };
  explicit RecordingStore(State& s) : s_(s) {}
  bool Contains(const Sha1& t) override {
    return std::find(s_.present.begin(), s_.present.end(), t) != s_.present.end();
  }
  CertificatePtr Find(const Sha1&) override { return nullptr; }
  std::vector<CertificatePtr> List() override { return {}; }
  bool Add(const CertificateContext& c, std::uint32_t& error) override {
    if (s_.refuse != 0) {
      error = s_.refuse;
      return false;
    }
    s_.added.push_back(platform::ThumbprintOf(c.der));
    s_.present.push_back(s_.added.back());
    return true;
  }

 private:
  State& s_;
};

platform::CertStoreOpener Opener(RecordingStore::State& state, std::uint32_t openError = 0) {
  return [&state, openError](const std::string& name, platform::StoreLocation, bool,
                             std::uint32_t& error) -> std::unique_ptr<CertStore> {
    EXPECT_EQ(name, "ROOT");
    if (openError != 0) {
      error = openError;
      return nullptr;
    }
    return std::make_unique<RecordingStore>(state);
  };
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(HeadCaRoots, EmbeddedCertificatesAreThePublishedOnes) {
  for (const auto* root : {&app::HeadCaRootA(), &app::HeadCaRootB()}) {
    const auto der = text::Base64Decode(std::string(root->base64));
    ASSERT_TRUE(der);
    EXPECT_EQ(platform::ThumbprintOf(*der), root->thumbprint);
  }
  EXPECT_EQ(app::HeadCaRootA().base64.size(), 1748u);
  EXPECT_EQ(app::HeadCaRootB().base64.size(), 1740u);
  EXPECT_EQ(std::string(app::HeadCaRootA().base64), ReadText(std::string(ORVANE_TEST_DATA_DIR) + "/head-ca/rootA.b64"));
  EXPECT_EQ(platform::HexThumbprint(app::HeadCaRootB().thumbprint), "4BC6DC14D97010C41A26E058AD851F81C842415A");
}

TEST(HeadCaRoots, PresentMissingDeclinedDenied) {
  test::ScriptedUi ui;
  RecordingStore::State both{{app::HeadCaRootA().thumbprint, app::HeadCaRootB().thumbprint}, {}, 0};
  EXPECT_TRUE(app::EnsureHeadCaRoots(ui, Opener(both)));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(both.added.empty());

  RecordingStore::State onlyA{{app::HeadCaRootA().thumbprint}, {}, 0};
  EXPECT_TRUE(app::EnsureHeadCaRoots(ui, Opener(onlyA)));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, MessageKind::YesNo);
  EXPECT_EQ(ui.messages[0].Utf8(), "Требуется установить корневой сертификат Минкомсвязи России. Продолжить?");
  EXPECT_EQ(onlyA.added, std::vector<Sha1>{app::HeadCaRootB().thumbprint});

  RecordingStore::State none;
  EXPECT_TRUE(app::EnsureHeadCaRoots(ui, Opener(none)));
  EXPECT_EQ(none.added, (std::vector<Sha1>{app::HeadCaRootA().thumbprint, app::HeadCaRootB().thumbprint}));

  ui.messages.clear();
  ui.answers = {false};
  RecordingStore::State declined;
  EXPECT_FALSE(app::EnsureHeadCaRoots(ui, Opener(declined)));
  EXPECT_EQ(ui.messages.size(), 1u);  // the question only
  EXPECT_TRUE(declined.added.empty());

  ui.messages.clear();
  RecordingStore::State denied{{}, {}, platform::kErrorAccessDenied};
  EXPECT_FALSE(app::EnsureHeadCaRoots(ui, Opener(denied)));
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[1].kind, MessageKind::Error);
  EXPECT_EQ(ui.messages[1].Utf8(), "Запуск программы невозможен.\nТребуются права администратора.");

  // The store cannot be opened at all: both count as missing; the failure is not access denied.
  ui.messages.clear();
  RecordingStore::State unopenable;
  EXPECT_FALSE(app::EnsureHeadCaRoots(ui, Opener(unopenable, platform::kErrorWriteFault)));
  EXPECT_EQ(ui.messages.back().Utf8(), "Запуск программы невозможен.\nНевозможно установить корневой сертификат.");
}

TEST(HeadCaRoots, InstallRejectsWhatIsNotACertificate) {
  RecordingStore::State s;
  std::uint32_t error = 0;
  EXPECT_FALSE(app::InstallRootCertificate("", Opener(s), error));
  EXPECT_FALSE(app::InstallRootCertificate("bm90IGEgY2VydGlmaWNhdGU=", Opener(s), error));
  EXPECT_TRUE(s.added.empty());
  const std::string pem = "-----BEGIN CERTIFICATE-----\n" + std::string(app::HeadCaRootB().base64.substr(0, 64)) +
                          "\n" + std::string(app::HeadCaRootB().base64.substr(64)) + "\n-----END CERTIFICATE-----\n";
  EXPECT_TRUE(app::InstallRootCertificate(pem, Opener(s), error));
  EXPECT_EQ(s.added, std::vector<Sha1>{app::HeadCaRootB().thumbprint});
}

TEST(FileCertStore, AddFindListWithProperties) {
  test::TempDir dir;
  std::uint32_t error = 0;
  EXPECT_FALSE(platform::OpenFileStoreAt(dir.Path() + "/MY", true, error));
  EXPECT_EQ(error, platform::kErrorNotFound);
  auto store = platform::OpenFileStoreAt(dir.Path() + "/MY", false, error);
  ASSERT_TRUE(store);
  CertificateContext cert;
  cert.der = *text::Base64Decode(std::string(app::HeadCaRootA().base64));
  cert.keyProvInfo = KeyProvInfo{u"\\\\.\\Reader A\\TVK-1", u"Провайдер", 80, 0, 1};
  ASSERT_TRUE(store->Add(cert, error));
  EXPECT_TRUE(store->Contains(app::HeadCaRootA().thumbprint));
  auto found = store->Find(app::HeadCaRootA().thumbprint);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->der, cert.der);
  ASSERT_TRUE(found->keyProvInfo);
  EXPECT_EQ(found->keyProvInfo->containerName, u"\\\\.\\Reader A\\TVK-1");
  EXPECT_EQ(found->keyProvInfo->providerName, u"Провайдер");
  EXPECT_EQ(found->keyProvInfo->provType, 80u);
  EXPECT_EQ(store->List().size(), 1u);

  // A file whose content is not the certificate its name says is not listed.
  std::ofstream(dir.Path() + "/MY/" + platform::HexThumbprint(app::HeadCaRootB().thumbprint) + ".cer") << "junk";
  EXPECT_FALSE(store->Find(app::HeadCaRootB().thumbprint));
  EXPECT_EQ(store->List().size(), 1u);
}

TEST(FileCertStore, ReadOnlyStoreIsAccessDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
  test::TempDir dir;
  std::uint32_t error = 0;
  auto store = platform::OpenFileStoreAt(dir.Path() + "/ROOT", false, error);
  ASSERT_TRUE(store);
  std::filesystem::permissions(dir.Path() + "/ROOT",
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  CertificateContext cert;
  cert.der = *text::Base64Decode(std::string(app::HeadCaRootA().base64));
  EXPECT_FALSE(store->Add(cert, error));
  EXPECT_EQ(error, platform::kErrorAccessDenied);
  std::filesystem::permissions(dir.Path() + "/ROOT", std::filesystem::perms::owner_all);
}
