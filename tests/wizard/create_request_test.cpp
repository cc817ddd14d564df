// The create-request flow against the reference request system and the software provider on
// virtual carriers, with scripted dialogs: the road to a sent request, every refusal, the
// carrier the key goes on, and the auto-enrolment wait (shortened).
#include "wizard/create_request.h"

#include "carriers/identify.h"
#include "config/deployment_config.h"
#include "csp/csp_test_env.h"
#include "keys/pkcs10.h"
#include "net/http_client.h"
#include "operator/rights_check.h"
#include "request/attribute_list.h"
#include "server.h"
#include "support/scripted_ui.h"
#include "support/tls_test_server.h"
#include "text/text.h"
#include "wizard/document_preview.h"

#include "flow_fixture.h"

using namespace orvane;

namespace {

using CreateRequest = orvane::test::FlowTest;
using orvane::test::Carrier;

}  // namespace

TEST_F(CreateRequest, TheWholeRoadToASentRequest) {
  std::u16string refreshed;
  hooks.refreshCarrier = [&](const std::u16string& reader) {
    refreshed = reader;
    return Carrier(reader, carriers::kTypeRutokenEcp);
  };
  ASSERT_TRUE(Run(u"T-PLAIN", csp::kKindCryptoPro, Carrier(u"Reader A", carriers::kTypeRutokenEcp)))
      << (ui.messages.empty() ? "" : ui.messages.back().Utf8());
  EXPECT_EQ(dialogs.shownProvider, u"КриптоПро CSP");
  EXPECT_EQ(dialogs.shownCarrier, u"RUTOKEN ECP 0012345678");
  EXPECT_EQ(refreshed, u"Reader A");
  EXPECT_TRUE(dialogs.formExisted);
  EXPECT_FALSE(std::filesystem::exists(dialogs.formPath)) << "the form file is removed after the preview";
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Запрос успешно сформирован.",
                                                  "Запрос сформирован, подписан и передан в систему заявок.\n"
                                                  "Ожидайте сообщения о готовности сертификата."}));
  EXPECT_EQ(codes->asked, 1);
  EXPECT_TRUE(RequestArrived("8001"));
  ASSERT_TRUE(state.requestBlob);
  EXPECT_TRUE(state.containerName.starts_with(u"TVK-008001-002-"));
  EXPECT_TRUE(env.store->ContainerExists(u"Reader A", state.containerName));
  EXPECT_FALSE(autoEnroll);
}

TEST_F(CreateRequest, RefusalsBeforeAnyKey) {
  const auto carrier = Carrier(u"Reader A", carriers::kTypeJaCartaLT);
  EXPECT_FALSE(Run(u"", csp::kKindCryptoPro, carrier));
  EXPECT_EQ(Messages().back(), "Введите маркер доступа");

  EXPECT_FALSE(Run(u"T-EGAIS", csp::kKindCryptoPro, carrier));
  EXPECT_EQ(Messages().back(),
            "Назначение ЭП - ЕГАИС по учету алкоголя. Заявка не может быть обработана в этой программе.\n"
            "Для выполнения данной заявки воспользуйтесь программой Kelvra.");

  EXPECT_FALSE(Run(u"T-VIPNET", csp::kKindCryptoPro, carrier));
  EXPECT_EQ(Messages().back(), "Выбранный тип криптопровайдера не совпадает с указанным в заявке (ViPNet CSP)");

  // The application names a Rutoken ECP; a JaCarta is selected: the question, answered No.
  ui.answers = {false};
  EXPECT_FALSE(Run(u"T-RUTOKEN", csp::kKindCryptoPro, carrier));
  EXPECT_EQ(ui.messages.back().kind, MessageKind::WarningYesNo);
  EXPECT_EQ(Messages().back(), "Тип ключевого носителя не совпадает с указанным в заявке. Продолжить?");

  // Cancelling the data dialog.
  dialogs.confirmData = false;
  const std::size_t before = ui.messages.size();
  EXPECT_FALSE(Run(u"T-PLAIN", csp::kKindCryptoPro, carrier));
  EXPECT_EQ(ui.messages.size(), before);
  EXPECT_EQ(dialogs.propertiesShown, 1);
  EXPECT_EQ(Containers(u"Reader A"), 0u) << "no key was made";
  EXPECT_FALSE(state.requestBlob);

  // The matching carrier asks nothing.
  dialogs.confirmData = true;
  ui.messages.clear();
  EXPECT_TRUE(Run(u"T-RUTOKEN", csp::kKindCryptoPro, Carrier(u"Reader A", carriers::kTypeRutokenEcp)));
  for (const auto& m : ui.messages) EXPECT_NE(m.kind, MessageKind::WarningYesNo);
}

TEST_F(CreateRequest, EitherFamilyForAnApplicationWithoutOneAndTheKeyOnTheSelectedCarrier) {
  env.presence->selected = u"Reader B";  // the main window's selection
  ASSERT_TRUE(Run(u"T-ANY", csp::kKindVipnet, Carrier(u"Reader B", carriers::kTypeRutokenEcp))) << Messages().back();
  EXPECT_EQ(dialogs.shownProvider, u"VipNet CSP");
  EXPECT_TRUE(env.store->ContainerExists(u"Reader B", state.containerName)) << "bare name, selected carrier";
  EXPECT_EQ(Containers(u"Reader A"), 0u);
  ASSERT_TRUE(Run(u"T-ANY", csp::kKindCryptoPro, Carrier(u"Reader B", carriers::kTypeRutokenEcp))) << Messages().back();
  EXPECT_TRUE(env.store->ContainerExists(u"Reader B", state.containerName));
  EXPECT_EQ(Containers(u"Reader A"), 0u);
}

TEST_F(CreateRequest, AnEsmartCarrierGetsAUuidNameAndWrongPinsEndTheFlow) {
  ASSERT_TRUE(Run(u"T-PLAIN", csp::kKindCryptoPro, Carrier(u"Reader A", carriers::kTypeEsmartGost)));
  EXPECT_EQ(state.containerName.size(), 40u);  // "TVK-" and 36 characters
  EXPECT_TRUE(state.containerName.starts_with(u"TVK-"));

  env.pin->answers = {std::string("0000"), std::string("1111"), std::string("2222")};
  EXPECT_FALSE(Run(u"T-ANY", csp::kKindCryptoPro, Carrier(u"Reader A", carriers::kTypeRutokenEcp)));
  EXPECT_EQ(Messages().back(), "Задан неверный пароль ключевого носителя");
  EXPECT_FALSE(state.requestBlob);
  EXPECT_FALSE(env.store->ContainerExists(u"Reader A", state.containerName)) << "no keyless container is left";
  EXPECT_FALSE(RequestArrived("8002"));
}

TEST_F(CreateRequest, AutoEnrolmentIssuedRefusedOrTimedOut) {
  int fetched = 0;
  hooks.getCertificate = [&](WindowHandle) { ++fetched; };
  const auto carrier = Carrier(u"Reader A", carriers::kTypeRutokenEcp);
  const std::string warning =
      "Выпуск сертификата для этого запроса отменен.\nЗапрос сформирован, подписан и передан в систему заявок.\n"
      "Ожидайте сообщения о готовности сертификата.";

  ASSERT_TRUE(Run(u"T-AUTO", csp::kKindCryptoPro, carrier)) << Messages().back();
  EXPECT_TRUE(autoEnroll);
  EXPECT_EQ(fetched, 1) << "issued within the wait: the get-certificate flow follows";
  EXPECT_GT(dialogs.progressSteps, 2) << "the bar moved while waiting";

  const int stepsBefore = dialogs.progressSteps;
  ASSERT_TRUE(Run(u"T-REFUSED", csp::kKindCryptoPro, carrier));
  EXPECT_EQ(Messages().back(), warning);
  EXPECT_LT(dialogs.progressSteps - stepsBefore, 50) << "a 403 ends the wait at once, long before the limit";

  const auto neverFrom = std::chrono::steady_clock::now();
  ASSERT_TRUE(Run(u"T-NEVER", csp::kKindCryptoPro, carrier));
  EXPECT_EQ(Messages().back(), warning);
  EXPECT_GE(std::chrono::steady_clock::now() - neverFrom, timing.limit);
  EXPECT_EQ(fetched, 1);
}

TEST_F(CreateRequest, AnOperatorSignsInsteadOfAnSmsCode) {
  ASSERT_TRUE(LogInAnOperator()) << Messages().back();
  ASSERT_TRUE(Run(u"T-ANY", csp::kKindCryptoPro, Carrier(u"Reader A", carriers::kTypeRutokenEcp))) << Messages().back();
  EXPECT_EQ(codes->asked, 0) << "no SMS code with an operator certificate";
  EXPECT_TRUE(RequestArrived("8002"));
}
