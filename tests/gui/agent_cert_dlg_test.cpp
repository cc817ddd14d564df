// The operator-certificate settings dialog and the certificate choice on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "gui/agent_cert_dlg.h"
#include "gui/qt_environment.h"
#include "gui/select_cert_dlg.h"
#include "support/fake_certificate.h"
#include "support/scripted_ui.h"
#include "support/tls_test_server.h"

using namespace orvane;

namespace {

[[maybe_unused]] auto* const kQt =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment("gui_agent_cert_dlg_test"));

template <typename T>
T* Child(QWidget& parent, const char* id) {
  return parent.findChild<T*>(QString::fromLatin1(id));
}

struct Env {
  test::ScriptedUi ui;
  platform::MemorySettingsStore settings;
  int checks = 0;

  gui::AgentCertServices Services(platform::CertStoreOpener stores = {}) {
    gui::AgentCertServices s;
    s.ui = &ui;
    s.settings = &settings;
    s.stores = std::move(stores);
    s.verify = [this](QWidget*, const CertificatePtr&) {
      ++checks;
      return std::make_shared<op::verifyClientResult>();
    };
    return s;
  }
};

}  // namespace

TEST(AgentCertDlg, InitialState) {
  Env env;
  op::AgentCertModel model(test::FakeCertificate{}.Make(), true);
  gui::CAgentCertDlg dlg(model, env.Services());
  EXPECT_EQ(dlg.objectName(), "137");
  EXPECT_EQ(dlg.windowTitle(), "Настройка сертификата оператора");
  EXPECT_EQ(Child<QLabel>(dlg, "1001")->text(), "Владелец: Иванов Иван Иванович");
  EXPECT_TRUE(Child<QPushButton>(dlg, "1007")->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(dlg, "1008")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>(dlg, "1015")->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(dlg, "1016")->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(dlg, "1017")->isEnabled());
  EXPECT_TRUE(Child<QCheckBox>(dlg, "1022")->isChecked());
  EXPECT_TRUE(Child<QCheckBox>(dlg, "1023")->isChecked());

  op::AgentCertModel empty(nullptr, false);
  gui::CAgentCertDlg none(empty, env.Services());
  EXPECT_EQ(Child<QLabel>(none, "1001")->text(), "Сертификат не выбран");
  EXPECT_FALSE(Child<QPushButton>(none, "1007")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>(none, "1008")->isEnabled());
  EXPECT_FALSE(Child<QCheckBox>(none, "1023")->isChecked());
}

TEST(AgentCertDlg, ClearThenApplyStoresNoCertificate) {
  Env env;
  op::AgentCertModel model(test::FakeCertificate{}.Make(), true);
  gui::CAgentCertDlg dlg(model, env.Services());
  Child<QPushButton>(dlg, "1008")->click();
  EXPECT_EQ(Child<QLabel>(dlg, "1001")->text(), "Сертификат не выбран");
  ASSERT_TRUE(Child<QPushButton>(dlg, "1015")->isEnabled());
  Child<QPushButton>(dlg, "1015")->click();
  EXPECT_EQ(env.checks, 0);
  EXPECT_TRUE(model.applied);
  EXPECT_FALSE(model.Current());
  EXPECT_EQ(env.settings.binaries["agentCertificate"], std::vector<std::uint8_t>{0});
  EXPECT_FALSE(env.settings.numbers.count("blockCarrier"));
  EXPECT_FALSE(Child<QPushButton>(dlg, "1015")->isEnabled());
}

TEST(AgentCertDlg, ChoiceListsOperatorCertificatesOnly) {
  test::TempDir dir;
  const auto stores = platform::FileStores(dir.Path() + "/ROOT", dir.Path() + "/MY");
  test::FakeCertificate first, second, notOperator;
  second.serial = 2;
  second.subject = {{"2.5.4.3", "Петров Пётр"}};
  notOperator.serial = 3;
  notOperator.usages = {test::kClientAuth};
  std::uint32_t error = 0;
  {
    auto my = stores("MY", platform::StoreLocation::CurrentUser, false, error);
    ASSERT_TRUE(my);
    for (const auto* f : {&first, &notOperator, &second}) ASSERT_TRUE(my->Add(*f->Make(), error));
  }

  Env env;
  op::AgentCertModel model(nullptr, false);
  gui::CAgentCertDlg dlg(model, env.Services(stores));
  QStringList owners;
  QTimer::singleShot(0, [&] {
    auto* choose = dlg.findChild<gui::CSelectCertificateDlg*>();
    if (choose == nullptr) return;
    auto* list = choose->findChild<QTreeWidget*>(QStringLiteral("certificates"));
    for (int i = 0; i < list->topLevelItemCount(); ++i) owners << list->topLevelItem(i)->text(0);
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      if (list->topLevelItem(i)->text(0) == "Петров Пётр") list->setCurrentItem(list->topLevelItem(i));
    }
    Child<QPushButton>(*choose, "1")->click();
  });
  Child<QPushButton>(dlg, "1017")->click();

  owners.sort();
  EXPECT_EQ(owners, QStringList({"Иванов Иван Иванович", "Петров Пётр"}));
  ASSERT_TRUE(model.Selected());
  EXPECT_EQ(model.Selected()->der, second.Der());
  EXPECT_TRUE(model.Selected()->keyProvInfo);
  EXPECT_EQ(Child<QLabel>(dlg, "1001")->text(), "Владелец: Петров Пётр");
  EXPECT_TRUE(Child<QPushButton>(dlg, "1015")->isEnabled());
}
