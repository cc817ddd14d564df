// The reference request system's own parts: the seed reader and the GOST test CA.
#include <gtest/gtest.h>
#include <openssl/x509v3.h>

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "csp/catalogue.h"
#include "csp/csp_test_env.h"
#include "keys/pkcs10.h"
#include "request/attribute_list.h"
#include "seed.h"
#include "server.h"
#include "support/tls_test_server.h"
#include "test_ca.h"

using namespace orvane;

TEST(Seed, ApplicationsOperatorsFaultsAndErrors) {
  test::TempDir dir;
  const std::string path = dir.Path() + "/seed.ini";
  std::ofstream(path) << "[application.a]\ntoken = T1\nsubject = 2.5.4.3=A\nsubject = 2.5.4.6=RU\n"
                         "eku = 1.2.3, 1.2.4\neku = 1.2.5\nexport = yes\nauto_enroll = refuse\n"
                         "faults = get_subject:403:Текст отказа; get_pincode:malformed\n"
                         "[operator.o]\ncommon_name = Оператор\nclient_allowed = 0\n";
  std::vector<std::string> errors;
  const auto seed = refsys::LoadSeed(path, errors);
  ASSERT_TRUE(seed);
  EXPECT_TRUE(errors.empty());
  ASSERT_EQ(seed->applications.size(), 1u);
  const auto& a = seed->applications[0];
  EXPECT_EQ(a.subject, "2.5.4.3=A,2.5.4.6=RU");
  EXPECT_EQ(a.eku, (std::vector<std::string>{"1.2.3", "1.2.4", "1.2.5"}));
  EXPECT_TRUE(a.exportable);
  EXPECT_EQ(a.autoEnroll, "refuse");
  EXPECT_EQ(a.faults.at("get_subject").mode, "403");
  EXPECT_EQ(a.faults.at("get_subject").body, "Текст отказа");
  EXPECT_EQ(a.faults.at("get_pincode").mode, "malformed");
  ASSERT_EQ(seed->operators.size(), 1u);
  EXPECT_FALSE(seed->operators[0].clientAllowed);

  std::ofstream(path) << "[application.b]\ntoken = T2\nbogus = 1\n";
  errors.clear();
  EXPECT_FALSE(refsys::LoadSeed(path, errors));  // no subject, no eku
  EXPECT_EQ(errors.size(), 2u);
  EXPECT_FALSE(refsys::LoadSeed(dir.Path() + "/missing.ini", errors));
}

TEST(TestCa, IssuesFromRequestsWithValidityAndExtensions) {
  test::ProviderEnvironment env;
  std::string error;
  auto ca = refsys::TestCa::Open(env.dir + "/ca", error);
  ASSERT_TRUE(ca) << error;
  // Opening again loads the same roots instead of making new ones.
  auto again = refsys::TestCa::Open(env.dir + "/ca", error);
  ASSERT_TRUE(again);
  EXPECT_EQ(X509_cmp(ca->Root(csp::gost::Algorithm::Gost2012_256), again->Root(csp::gost::Algorithm::Gost2012_256)), 0);

  keys::KeyRequestInputs in;
  in.generation = csp::kGost2012_512;
  in.subject = request::ParseAttributeList(std::u16string(u"2.5.4.3=Тест,2.5.4.6=RU"));
  in.eku = std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2"};
  in.startDate = "2026-01-10 10:00:00+03:00";
  in.period = "2 Years";
  in.containerPath = u"\\\\.\\Reader A\\ca-test";
  in.providerName = csp::FindProviderName(81, env.catalogue);
  const auto req = keys::CreateKeyAndRequest(in, env.catalogue, env.registry);
  ASSERT_TRUE(req.der) << std::hex << req.error;

  refsys::IssueOptions options{"http://127.0.0.1/crl", "http://127.0.0.1/ca.cer"};
  const auto der = ca->Issue(*req.der, options, error);
  ASSERT_TRUE(der) << error;
  const unsigned char* p = der->data();
  ossl::X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der->size())));
  ASSERT_TRUE(cert);
  EXPECT_TRUE(ca->IssuedByUs(cert.get()));
  EXPECT_EQ(X509_verify(cert.get(), X509_get0_pubkey(ca->Root(csp::gost::Algorithm::Gost2012_512))), 1);
  // 2026-01-10 07:00:00 UTC, two years on.
  EXPECT_EQ(ASN1_TIME_cmp_time_t(X509_get0_notBefore(cert.get()), 1768028400), 0);
  EXPECT_EQ(ASN1_TIME_cmp_time_t(X509_get0_notAfter(cert.get()), 1768028400 + 730L * 86400), 0);
  for (const char* oid : {"2.5.29.35", "2.5.29.31", "1.3.6.1.5.5.7.1.1", "1.2.643.100.112", "2.5.29.37"}) {
    ASN1_OBJECT* obj = OBJ_txt2obj(oid, 1);
    EXPECT_GE(X509_get_ext_by_OBJ(cert.get(), obj, -1), 0) << oid;
    ASN1_OBJECT_free(obj);
  }

  // A request whose signature does not match is not issued.
  auto bad = *req.der;
  bad[bad.size() - 3] ^= 1;
  EXPECT_FALSE(ca->Issue(bad, options, error));
  EXPECT_EQ(error, "подпись запроса на сертификат неверна");
  const refsys::Bytes junk{0x30, 0x03, 0x02, 0x01};
  EXPECT_FALSE(ca->Issue(junk, options, error));
}

TEST(TestCa, ReversedHashSignatures) {
  test::ProviderEnvironment env;
  ASSERT_TRUE(csp::gost::EnsureEngine());
  auto key = csp::gost::GenerateKey(csp::gost::Algorithm::Gost2012_256);
  ASSERT_TRUE(key);
  const refsys::Bytes data{1, 2, 3};
  const auto hash = refsys::GostDigest(key.get(), data);
  ASSERT_TRUE(hash);
  EXPECT_EQ(hash->size(), 32u);
  ossl::PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  ASSERT_EQ(EVP_PKEY_sign_init(ctx.get()), 1);
  std::size_t len = 0;
  EVP_PKEY_sign(ctx.get(), nullptr, &len, hash->data(), hash->size());
  refsys::Bytes sig(len);
  ASSERT_EQ(EVP_PKEY_sign(ctx.get(), sig.data(), &len, hash->data(), hash->size()), 1);
  refsys::Bytes reversed(sig.rbegin(), sig.rend());
  EXPECT_TRUE(refsys::VerifyReversedHashSignature(key.get(), *hash, reversed));
  EXPECT_FALSE(refsys::VerifyReversedHashSignature(key.get(), *hash, sig));
}

namespace {

// The reference system started in process over a small seed, and a plain HTTPS client that
// sends exactly what a test tells it to.
class StrictPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir.Path() + "/seed.ini")
        << "[application.a]\ntoken = T1\nrequest_id = ../../escape\nsubject = 2.5.4.3=A\neku = 1.2.3\n"
           "[application.silent]\ntoken = T2\nsubject = 2.5.4.3=B\neku = 1.2.3\nfaults = get_subject:nobody403\n"
           "[application.broken]\ntoken = T3\nsubject = 2.5.4.3=C\neku = 1.2.3\nfaults = get_subject:drop\n";
    refsys::ServerOptions o;
    o.stateDir = dir.Path() + "/state";
    o.seedFile = dir.Path() + "/seed.ini";
    std::string error;
    ASSERT_TRUE(server.Start(o, error)) << error;
    serving = std::thread([this] { server.Run(); });
  }
  void TearDown() override {
    server.Stop();
    if (serving.joinable()) serving.join();
  }
  httplib::Result Post(const std::string& path, const std::string& body, bool passthru = true) {
    httplib::SSLClient client("127.0.0.1", server.Port());
    client.set_ca_cert_path(server.TlsCaFile().c_str());
    client.enable_server_certificate_verification(true);
    httplib::Headers headers;
    if (passthru) headers.emplace("X-Mutual-Passthru", "enable");
    return client.Post(path.c_str(), headers, body, "application/x-www-form-urlencoded");
  }

  test::TempDir dir;
  refsys::Server server;
  std::thread serving;
};

}  // namespace

TEST_F(StrictPeer, RefusesWhatTheClientNeverSends) {
  auto plain = Post("/a/get_subject", "marker=T1");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->status, 200);
  auto noPassthru = Post("/a/get_subject", "marker=T1", false);
  ASSERT_TRUE(noPassthru);
  EXPECT_EQ(noPassthru->status, 400);
  for (const std::string body : {"marker=T+1", "marker=T\xD0\x96", "marker=T%2", "marker=T 1"}) {
    SCOPED_TRACE(body);
    auto loose = Post("/a/get_subject", body);
    ASSERT_TRUE(loose);
    EXPECT_EQ(loose->status, 400);
  }
  auto huge = Post("/a/get_subject", "marker=" + std::string(5 << 20, 'A'));
  EXPECT_TRUE(!huge || huge->status == 413);
}

TEST_F(StrictPeer, FaultModesAndFilesInsideTheStateFolder) {
  auto silent = Post("/a/get_subject", "marker=T2");
  ASSERT_TRUE(silent);
  EXPECT_EQ(silent->status, 403);
  EXPECT_TRUE(silent->body.empty());
  auto broken = Post("/a/get_subject", "marker=T3");
  EXPECT_TRUE(!broken || broken->body.size() < 1000) << "the reply breaks off";

  // A request number that climbs out of the folder stays inside it as a file name.
  auto sent = Post("/a/set_request", "marker=T1&code=&request=MAA%3D");
  ASSERT_TRUE(sent);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/escape.p10"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/state/escape.p10"));
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path())) {
    EXPECT_EQ(e.path().filename().string().find("escape"), std::string::npos) << e.path();
  }
}
