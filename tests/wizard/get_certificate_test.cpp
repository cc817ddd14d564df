// The get-certificate flow after a sent request, against the reference request system and
// the software provider: the certificate in the container and in "MY", the finish choices,
// a missing carrier, the ViPNet family, an already confirmed form, an operator's signature;
// and printing a certificate from a file.
#include "wizard/get_certificate.h"

#include <openssl/x509.h>

#include "crypto/gost.h"
#include "crypto/ossl.h"
#include "flow_fixture.h"

using namespace orvane;

namespace {

using orvane::test::Carrier;

class GetCertificate : public orvane::test::FlowTest {
 protected:
  bool Get() {
    wizard::GetCertificateFlow flow(Services(), stores);
    const bool done = flow.Run(nullptr, state, hooks);
    certificate = flow.Certificate();
    return done;
  }
  // The request of an application issued at once, on the carrier.
  void Send(const std::u16string& token, csp::ProviderKind family, const std::u16string& reader) {
    ASSERT_TRUE(Run(token, family, Carrier(reader, carriers::kTypeRutokenEcp))) << Messages().back();
  }
  bool TokenStillWorks() {
    int lastError = 0;
    return requestSystem->GetRequestData(nullptr, state.accessToken, nullptr, lastError) != nullptr;
  }

  const platform::CertStoreOpener stores = platform::FileStores(dir.Path() + "/ROOT", dir.Path() + "/MY");
  Bytes certificate;
};

Bytes SubjectPublicKeyInfo(const Bytes& der) {
  const unsigned char* p = der.data();
  ossl::X509Ptr x509(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  if (!x509) return {};
  unsigned char* out = nullptr;
  const int n = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(x509.get()), &out);
  Bytes spki(out, out + std::max(n, 0));
  OPENSSL_free(out);
  return spki;
}

}  // namespace

TEST_F(GetCertificate, IntoTheContainerAndTheStoreBoundToIt) {
  Send(u"T-PLAIN", csp::kKindCryptoPro, u"Reader A");
  const std::u16string container = state.containerName;
  ASSERT_TRUE(Get()) << Messages().back();
  EXPECT_EQ(dialogs.previewModes.back(), wizard::PreviewMode::Certificate);
  EXPECT_EQ(Messages().back(), "Сертификат успешно установлен в хранилище \"Личные\" текущего пользователя.");

  // The container holds the certificate of its own key.
  const auto record = env.store->LoadContainer(u"Reader A", container);
  ASSERT_TRUE(record && record->certificate);
  EXPECT_EQ(*record->certificate, certificate);
  EXPECT_EQ(SubjectPublicKeyInfo(certificate), record->publicKey);

  // "MY" has it, bound through the container's unique name.
  std::uint32_t error = 0;
  auto my = stores("MY", platform::StoreLocation::CurrentUser, true, error);
  ASSERT_TRUE(my);
  const auto stored = my->Find(platform::ThumbprintOf(certificate));
  ASSERT_TRUE(stored && stored->keyProvInfo);
  EXPECT_EQ(stored->keyProvInfo->containerName, u"\\\\.\\Reader A\\" + container);
  EXPECT_EQ(stored->keyProvInfo->provType, csp::kProvCryptoPro2012_256);
  EXPECT_FALSE(TokenStillWorks()) << "the token is invalidated at the end";
}

TEST_F(GetCertificate, FinishingWithoutTheStoreStillInvalidatesTheToken) {
  Send(u"T-PLAIN", csp::kKindCryptoPro, u"Reader A");
  dialogs.finishAnswer = wizard::kFinishDone;
  const std::size_t before = ui.messages.size();
  ASSERT_TRUE(Get());
  EXPECT_EQ(ui.messages.size(), before) << "no success message";
  std::uint32_t error = 0;
  auto my = stores("MY", platform::StoreLocation::CurrentUser, false, error);
  ASSERT_TRUE(my);
  EXPECT_TRUE(my->List().empty());
  EXPECT_FALSE(TokenStillWorks());
}

TEST_F(GetCertificate, AContainerOnAMissingCarrierEndsBeforeTheForm) {
  Send(u"T-PLAIN", csp::kKindCryptoPro, u"Reader B");
  env.presence->readers = {u"Reader A"};  // the carrier with the key is gone
  EXPECT_FALSE(Get());
  EXPECT_EQ(Messages().back(),
            "Ключевой контейнер, соответствующий сертификату, не обнаружен.\n"
            "Вставьте требуемый ключевой носитель и повторите операцию.");
  EXPECT_EQ(dialogs.previewModes.size(), 1u) << "only the request's preview was shown";
  EXPECT_TRUE(TokenStillWorks());
}

TEST_F(GetCertificate, TheViPNetFamilyWritesThroughItsOwnProviderType) {
  env.presence->selected = u"Reader A";
  Send(u"T-ANY", csp::kKindVipnet, u"Reader A");
  ASSERT_TRUE(Get()) << Messages().back();
  const auto record = env.store->LoadContainer(u"Reader A", state.containerName);
  ASSERT_TRUE(record && record->certificate);
  EXPECT_EQ(record->type, csp::kProvVipnet2012_256);
}

TEST_F(GetCertificate, AnAlreadyConfirmedFormIsOnlyWritten) {
  Send(u"T-PLAIN", csp::kKindCryptoPro, u"Reader A");
  // Confirmed earlier, e.g. in a run that ended before writing.
  ASSERT_TRUE(requestSystem->GetCertificate(nullptr, state.accessToken, nullptr));
  const auto code = codes->SmsCode(nullptr, state.accessToken, u"8001");
  ASSERT_TRUE(code && requestSystem->ConfirmCertificate(nullptr, state.accessToken, *code));
  const int asked = codes->asked;
  ASSERT_TRUE(Get()) << Messages().back();
  EXPECT_FALSE(dialogs.openingButtons.signEnabled);
  EXPECT_TRUE(dialogs.openingButtons.writeEnabled);
  EXPECT_TRUE(dialogs.openingButtons.printEnabled);
  EXPECT_EQ(codes->asked, asked) << "no second SMS code";
}

TEST_F(GetCertificate, AnOperatorSignsTheCertificateForm) {
  ASSERT_TRUE(LogInAnOperator()) << Messages().back();
  Send(u"T-ANY", csp::kKindCryptoPro, u"Reader A");
  ASSERT_TRUE(Get()) << Messages().back();  // the reference system checked the document signature
  EXPECT_EQ(codes->asked, 0);
  EXPECT_FALSE(certificate.empty());
}

TEST_F(GetCertificate, PrintingACertificateFile) {
  const std::string data = ORVANE_TEST_DATA_DIR "/head-ca/rootA.cer";
  const auto der = test::ReadBinary(data);
  const std::string b64 = text::Base64Encode(der);
  std::string pem = "-----BEGIN CERTIFICATE-----\n";
  for (std::size_t i = 0; i < b64.size(); i += 64) pem += b64.substr(i, 64) + "\n";
  pem += "-----END CERTIFICATE-----\n";
  std::ofstream(dir.Path() + "/a.pem") << pem;
  std::ofstream(dir.Path() + "/a.b64") << b64;
  std::ofstream(dir.Path() + "/notes.txt") << "not a certificate\n";
  for (const std::string& file : {data, dir.Path() + "/a.pem", dir.Path() + "/a.b64"}) {
    SCOPED_TRACE(file);
    const std::size_t shown = dialogs.previewModes.size();
    wizard::PrintCertificateFile(Services(), nullptr, file);
    ASSERT_EQ(dialogs.previewModes.size(), shown + 1);
    EXPECT_EQ(dialogs.previewModes.back(), wizard::PreviewMode::PrintOnly);
    EXPECT_FALSE(dialogs.openingButtons.signVisible);
    EXPECT_FALSE(std::filesystem::exists(dialogs.formPath));
  }
  EXPECT_TRUE(ui.messages.empty());
  wizard::PrintCertificateFile(Services(), nullptr, dir.Path() + "/notes.txt");
  EXPECT_EQ(Messages().back(), "Не удается прочитать файл сертификата");
  wizard::PrintCertificateFile(Services(), nullptr, dir.Path() + "/missing.cer");
  EXPECT_EQ(Messages().back(), "Невозможно открыть файл сертификата");
  EXPECT_EQ(ui.messages.size(), 2u);
}

TEST_F(GetCertificate, TheContainerIsFoundWhateverTheLetterCase) {
  // A request whose container the request system names in lower case.
  keys::KeyRequestInputs in;
  in.subject = request::ParseAttributeList(std::u16string(u"2.5.4.3=Иванов,2.5.4.6=RU"));
  in.eku = std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2"};
  in.containerPath = u"\\\\.\\Reader A\\TVK-CASE-1";
  in.providerName = csp::FindProviderName(csp::kProvCryptoPro2012_256, env.catalogue);
  const auto made = keys::CreateKeyAndRequest(in, env.catalogue, env.registry);
  ASSERT_TRUE(made.der);
  int lastError = 0;
  state.requestData = requestSystem->GetRequestData(nullptr, u"T-PLAIN", nullptr, lastError);
  ASSERT_TRUE(state.requestData);
  net::PendingRequest pending;
  pending.carrierModel = u"Rutoken ECP";
  pending.carrierSerial = u"1";
  pending.container = u"tvk-case-1";
  pending.der = std::make_shared<io::ASVariableBuffer>();
  pending.der->Append(made.der->data(), static_cast<std::int64_t>(made.der->size()));
  const auto code = codes->SmsCode(nullptr, u"T-PLAIN", u"8001");
  ASSERT_TRUE(code && requestSystem->SubmitRequest(nullptr, *code, u"T-PLAIN", &pending, nullptr).ok);

  state.accessToken = u"T-PLAIN";
  state.family = csp::kKindCryptoPro;
  state.carrier = Carrier(u"Reader A", carriers::kTypeRutokenEcp);
  ASSERT_TRUE(Get()) << (ui.messages.empty() ? "" : Messages().back());
  const auto record = env.store->LoadContainer(u"Reader A", u"TVK-CASE-1");
  ASSERT_TRUE(record && record->certificate);
}
