#include "operator/agent_settings.h"

#include <gtest/gtest.h>

#include "crypto/gost.h"
#include "support/fake_certificate.h"
#include "text/text.h"

using namespace orvane;

namespace {

std::string Utf8(const std::u16string& s) {
  return text::ToUtf8(s);
}

struct Rights {
  int checks = 0;
  bool grant = true;
  op::RightsCheck Check() {
    return [this](const CertificatePtr& c) -> std::shared_ptr<op::verifyClientResult> {
      ++checks;
      if (!grant || !c) return nullptr;
      auto r = std::make_shared<op::verifyClientResult>();
      r->agentMode = true;
      return r;
    };
  }
};

std::vector<std::uint8_t> Sha1Of(const CertificatePtr& c) {
  const auto t = *crypto::CertificateSha1(c.get());
  return {t.begin(), t.end()};
}

}  // namespace

TEST(AgentSettings, OperatorCertificates) {
  test::FakeCertificate f;
  EXPECT_TRUE(op::IsOperatorCertificate(*f.Make()));

  auto clientOnly = f;
  clientOnly.usages = {test::kClientAuth, "1.3.6.1.5.5.7.3.1"};
  EXPECT_FALSE(op::IsOperatorCertificate(*clientOnly.Make()));

  auto gost2001 = f;
  gost2001.signatureOid = test::kGost2001Signature;
  EXPECT_FALSE(op::IsOperatorCertificate(*gost2001.Make()));

  auto noKey = f;
  noKey.withKey = false;
  EXPECT_FALSE(op::IsOperatorCertificate(*noKey.Make()));

  auto noUsage = f;
  noUsage.usages.clear();
  EXPECT_FALSE(op::IsOperatorCertificate(*noUsage.Make()));
}

TEST(AgentSettings, OwnerAndValidityLines) {
  EXPECT_EQ(Utf8(op::OwnerLine(nullptr)), "Сертификат не выбран");
  EXPECT_EQ(Utf8(op::ValidityLine(nullptr)), "");

  test::FakeCertificate f;
  f.subject = {{"2.5.4.4", "Иванов"},
               {"2.5.4.42", "Иван Иванович"},
               {"2.5.4.3", "Иванов Иван Иванович"},
               {"2.5.4.10", "ООО Лютик"},
               {"2.5.4.10", "ООО Ромашка"}};
  const auto full = f.Make();
  EXPECT_EQ(Utf8(op::OwnerLine(full.get())), "Владелец: Иванов Иван Иванович, ООО Ромашка");
  EXPECT_EQ(Utf8(op::ValidityLine(full.get())),
            "Действителен с 5 марта 2024 г. 09:30:00 UTC по 31 декабря 2025 г. 23:59:59 UTC");

  f.subject = {{"2.5.4.42", "Пётр"}, {"2.5.4.3", "Пётр Петров"}, {"2.5.4.10", "ООО Ромашка"}};
  EXPECT_EQ(Utf8(op::OwnerLine(f.Make().get())), "Владелец: Пётр Петров, ООО Ромашка");
  f.subject = {{"2.5.4.3", "Пётр Петров"}};
  EXPECT_EQ(Utf8(op::OwnerLine(f.Make().get())), "Владелец: Пётр Петров");

  const auto row = op::CertificateListRow(*full);
  EXPECT_EQ(Utf8(row.owner), "Иванов Иван Иванович");
  EXPECT_EQ(Utf8(row.issuer), "Тестовый УЦ");
  EXPECT_EQ(Utf8(row.notBefore), "05.03.2024");
  EXPECT_EQ(Utf8(row.notAfter), "31.12.2025");
}

TEST(AgentSettings, RefusedRightsChangeNothing) {
  const auto current = test::FakeCertificate{}.Make();
  test::FakeCertificate other;
  other.serial = 2;
  op::AgentCertModel model(current, true);
  EXPECT_TRUE(model.ViewEnabled());
  EXPECT_FALSE(model.ApplyEnabled());

  model.Select(other.Make());
  EXPECT_TRUE(model.ApplyEnabled());
  Rights rights;
  rights.grant = false;
  platform::MemorySettingsStore settings;
  EXPECT_FALSE(model.Apply(rights.Check(), settings));
  EXPECT_EQ(rights.checks, 1);
  EXPECT_EQ(model.Current(), current);
  EXPECT_TRUE(model.modified);
  EXPECT_FALSE(model.applied);
  EXPECT_TRUE(settings.binaries.empty());
  EXPECT_TRUE(settings.numbers.empty());
}

TEST(AgentSettings, CancelledChoiceLeavesNoSelectionUnmodified) {
  op::AgentCertModel model(test::FakeCertificate{}.Make(), false);
  model.Select(nullptr);
  EXPECT_FALSE(model.Selected());
  EXPECT_FALSE(model.modified);
  EXPECT_FALSE(model.ViewEnabled());
  EXPECT_FALSE(model.ClearEnabled());
  EXPECT_TRUE(model.SelectEnabled());
}

TEST(AgentSettings, ClearedCertificateIsStoredAsOneZeroByte) {
  op::AgentCertModel model(test::FakeCertificate{}.Make(), true);
  model.saveSettings = false;  // clearing is written regardless
  model.Clear();
  EXPECT_TRUE(model.ApplyEnabled());
  Rights rights;
  platform::MemorySettingsStore settings;
  settings.numbers["blockCarrier"] = 7;
  EXPECT_TRUE(model.Apply(rights.Check(), settings));
  EXPECT_EQ(rights.checks, 0);
  EXPECT_FALSE(model.Current());
  EXPECT_FALSE(model.Rights());
  EXPECT_TRUE(model.applied);
  EXPECT_FALSE(model.modified);
  EXPECT_EQ(settings.binaries["agentCertificate"], std::vector<std::uint8_t>{0});
  EXPECT_EQ(settings.numbers["blockCarrier"], 7u);

  // Read back at the next start: no operator certificate.
  auto none = op::LoadOperatorSettings(
      settings, [](const std::string&, platform::StoreLocation, bool, std::uint32_t&) { return nullptr; },
      rights.Check());
  EXPECT_FALSE(none.certificate);
}

TEST(AgentSettings, UncheckedSaveWritesNothing) {
  op::AgentCertModel model(nullptr, false);
  model.Select(test::FakeCertificate{}.Make());
  model.saveSettings = false;
  Rights rights;
  platform::MemorySettingsStore settings;
  EXPECT_TRUE(model.Apply(rights.Check(), settings));
  EXPECT_EQ(model.Current(), model.Selected());
  ASSERT_TRUE(model.Rights());
  EXPECT_TRUE(settings.binaries.empty());
  EXPECT_TRUE(settings.numbers.empty());
}

TEST(AgentSettings, BlockChangeRepeatsTheCheckAndSaves) {
  const auto current = test::FakeCertificate{}.Make();
  op::AgentCertModel model(current, false);
  Rights rights;
  platform::MemorySettingsStore settings;
  EXPECT_FALSE(model.Apply(rights.Check(), settings));  // nothing changed
  EXPECT_EQ(rights.checks, 0);

  model.ToggleBlock(true);
  EXPECT_TRUE(model.Apply(rights.Check(), settings));
  EXPECT_EQ(rights.checks, 1);
  EXPECT_EQ(settings.binaries["agentCertificate"], Sha1Of(current));
  EXPECT_EQ(settings.numbers["blockCarrier"], 1u);

  // Settings that cannot be opened: the change still takes effect.
  platform::MemorySettingsStore closed;
  closed.available = false;
  model.ToggleBlock(false);
  EXPECT_TRUE(model.Apply(rights.Check(), closed));
  EXPECT_EQ(rights.checks, 2);
  EXPECT_FALSE(model.blockCarrier);
  EXPECT_TRUE(model.applied);
  EXPECT_TRUE(closed.binaries.empty());
}
