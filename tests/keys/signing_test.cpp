#include "keys/signing.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>

#include "crypto/der.h"
#include "csp/csp_test_env.h"
#include "csp/gost_engine.h"
#include "text/text.h"

using namespace orvane;
using namespace orvane::crypto;
using namespace orvane::keys;

namespace {

// A certificate with its key in a fresh container of the given type.
csp::CertificatePtr MakeCertificate(test::ProviderEnvironment& env, std::uint32_t type, const std::u16string& name) {
  const std::u16string path = u"\\\\.\\Reader A\\" + name;
  auto ctx = env.registry.AcquireContext(path, std::nullopt, type, csp::CRYPT_NEWKEYSET);
  if (!ctx || !ctx->GenKey(csp::AT_KEYEXCHANGE, 0)) return nullptr;
  auto cert = std::make_shared<csp::CertificateContext>();
  cert->der = test::SelfSignedCertificate(*ctx, type);
  cert->keyProvInfo = csp::KeyProvInfo{path, std::u16string(), type, 0, csp::AT_KEYEXCHANGE};
  return cert;
}

bool VerifyWithPublicKey(const csp::CertificateContext& cert, const Bytes& hash, const Bytes& signature) {
  const unsigned char* p = cert.der.data();
  ossl::X509Ptr x(d2i_X509(nullptr, &p, static_cast<long>(cert.der.size())));
  if (!x) return false;
  ossl::PkeyCtxPtr ctx(EVP_PKEY_CTX_new(X509_get0_pubkey(x.get()), nullptr));
  return ctx && EVP_PKEY_verify_init(ctx.get()) == 1 &&
         EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), hash.data(), hash.size()) == 1;
}

std::string Pem(const Bytes& der) {
  std::string b64 = text::Base64Encode(der);
  std::string out = "-----BEGIN CERTIFICATE-----\n";
  for (std::size_t i = 0; i < b64.size(); i += 64) out += b64.substr(i, 64) + "\n";
  return out + "-----END CERTIFICATE-----\n";
}

}  // namespace

TEST(SignMessage, VerifiesWithOpenSslCmsForEveryGeneration) {
  test::ProviderEnvironment env;
  ASSERT_TRUE(csp::gost::EnsureEngine());
  const std::string data = "Заявка 1234: данные для подписи";
  const std::uint32_t types[] = {75, 80, 81};
  for (std::uint32_t type : types) {
    SCOPED_TRACE(type);
    auto cert = MakeCertificate(env, type, u"cms-" + text::FromUtf8(std::to_string(type)));
    ASSERT_TRUE(cert && !cert->der.empty());
    const auto b64 =
        SignMessage(cert.get(), reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), env.registry);
    ASSERT_TRUE(b64);
    const auto message = text::Base64Decode(std::string_view(*b64));
    ASSERT_TRUE(message);
    const std::string msgPath = env.WriteFile("msg-" + std::to_string(type) + ".p7", *message);
    const std::string pem = Pem(cert->der);
    const std::string certPath = env.WriteFile("cert-" + std::to_string(type) + ".pem", Bytes(pem.begin(), pem.end()));
    const std::string outPath = env.dir + "/content-" + std::to_string(type);
    std::string out;
    EXPECT_EQ(env.OpenSsl("cms -verify -inform DER -in " + msgPath + " -certfile " + certPath + " -CAfile " + certPath +
                              " -out " + outPath,
                          &out),
              0)
        << out;
    const auto content = test::ReadBinary(outPath);
    EXPECT_EQ(std::string(content.begin(), content.end()), data);
    // No certificates inside the message.
    std::string printed;
    ASSERT_EQ(env.OpenSsl("cms -cmsout -print -inform DER -in " + msgPath, &printed), 0);
    EXPECT_NE(printed.find("certificates:\n      <ABSENT>"), std::string::npos) << printed;
    EXPECT_NE(printed.find("signedAttrs:\n          <ABSENT>"), std::string::npos) << printed;
  }
  // Key generation asked once per container, signing once per certificate (the context is
  // kept with the certificate).
  EXPECT_EQ(env.pin->requests.size(), 6u);
}

TEST(SignMessage, NoKeyOrNoGostGenerationGivesNothing) {
  test::ProviderEnvironment env;
  const std::uint8_t data[] = {1, 2, 3};
  EXPECT_FALSE(SignMessage(nullptr, data, 3, env.registry));
  auto cert = MakeCertificate(env, 80, u"no-prop");
  ASSERT_TRUE(cert);
  auto bare = std::make_shared<csp::CertificateContext>(*cert);
  bare->keyProvInfo.reset();
  EXPECT_FALSE(SignMessage(bare.get(), data, 3, env.registry));
  // The same bytes with an RSA signature algorithm: generation -1.
  auto rsa = std::make_shared<csp::CertificateContext>(*cert);
  const auto sigOid = *der::Oid("1.2.643.7.1.1.3.2");
  const auto rsaOid = *der::Oid("1.2.840.113549.1.1.11");
  ASSERT_EQ(sigOid.size(), rsaOid.size() - 1);
  auto it = std::search(rsa->der.begin(), rsa->der.end(), sigOid.begin(), sigOid.end());
  ASSERT_NE(it, rsa->der.end());
  EXPECT_EQ(CertificateGeneration(cert.get()), 1);
  // Rebuild the certificate with the RSA algorithm identifier.
  auto top = der::Children(*der::Read(cert->der));
  rsa->der = der::Sequence({Bytes((*top)[0].whole.begin(), (*top)[0].whole.end()), der::Sequence({rsaOid}),
                            Bytes((*top)[2].whole.begin(), (*top)[2].whole.end())});
  EXPECT_EQ(CertificateGeneration(rsa.get()), -1);
  EXPECT_FALSE(SignMessage(rsa.get(), data, 3, env.registry));
  // Card removed: no context can be opened.
  env.presence->readers.clear();
  auto fresh = std::make_shared<csp::CertificateContext>(*cert);
  fresh->keyContext.reset();
  EXPECT_FALSE(SignMessage(fresh.get(), data, 3, env.registry));
}

TEST(SignHash, ReversedSignatureVerifiesWithThePublicKey) {
  test::ProviderEnvironment env;
  ASSERT_TRUE(csp::gost::EnsureEngine());
  for (std::uint32_t type : {75u, 80u, 81u}) {
    SCOPED_TRACE(type);
    auto cert = MakeCertificate(env, type, u"hash-" + text::FromUtf8(std::to_string(type)));
    ASSERT_TRUE(cert);
    const GostGeneration gen = CertificateGeneration(cert.get());
    Bytes hash(HashLengthFor(gen));
    for (std::size_t i = 0; i < hash.size(); ++i) hash[i] = static_cast<std::uint8_t>(i * 7 + 1);
    Bytes signature;
    std::uint32_t error = 1;
    ASSERT_TRUE(SignHash(cert.get(), hash.data(), hash.size(), &signature, &error, env.registry));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(signature.size(), gen == 2 ? 128u : 64u);
    EXPECT_FALSE(VerifyWithPublicKey(*cert, hash, signature)) << "provider byte order is reversed";
    std::reverse(signature.begin(), signature.end());
    EXPECT_TRUE(VerifyWithPublicKey(*cert, hash, signature));
    EXPECT_EQ(cert->keyProvInfo->flags, CERT_SET_KEY_CONTEXT_PROP_ID);
    EXPECT_TRUE(cert->keyContext);
  }
}

TEST(SignHash, RejectsMissingInputsAndWrongLengths) {
  test::ProviderEnvironment env;
  auto cert = MakeCertificate(env, 81, u"hash-bad");
  ASSERT_TRUE(cert);
  env.pin->requests.clear();
  Bytes signature;
  std::uint32_t error = 0;
  const Bytes hash(64, 0x11);
  EXPECT_FALSE(SignHash(nullptr, hash.data(), 64, &signature, &error, env.registry));
  EXPECT_EQ(error, 0xFFFFFFFFu);
  EXPECT_FALSE(SignHash(cert.get(), nullptr, 64, &signature, &error, env.registry));
  EXPECT_EQ(error, 0xFFFFFFFFu);
  EXPECT_FALSE(SignHash(cert.get(), hash.data(), 0, &signature, &error, env.registry));
  EXPECT_FALSE(SignHash(cert.get(), hash.data(), 64, nullptr, &error, env.registry));
  EXPECT_FALSE(SignHash(cert.get(), hash.data(), 64, &signature, nullptr, env.registry));
  // A 2012-512 hash is 64 bytes: 32 is refused before anything is read.
  EXPECT_FALSE(SignHash(cert.get(), hash.data(), 32, &signature, &error, env.registry));
  EXPECT_EQ(error, csp::NTE_BAD_LEN);
  EXPECT_FALSE(SignHash(cert.get(), hash.data(), 63, &signature, &error, env.registry));
  EXPECT_EQ(error, csp::NTE_BAD_LEN);
  EXPECT_TRUE(env.pin->requests.empty());

  auto bare = std::make_shared<csp::CertificateContext>(*cert);
  bare->keyProvInfo.reset();
  EXPECT_FALSE(SignHash(bare.get(), hash.data(), 64, &signature, &error, env.registry));
  EXPECT_EQ(error, 0u);

  auto missing = std::make_shared<csp::CertificateContext>(*cert);
  missing->keyProvInfo->containerName = u"\\\\.\\Reader A\\nowhere";
  EXPECT_FALSE(SignHash(missing.get(), hash.data(), 64, &signature, &error, env.registry));
  EXPECT_EQ(error, csp::NTE_BAD_KEYSET);

  // Three wrong PINs: the provider's error reaches the caller.
  env.pin->answers = {std::string("x"), std::string("y"), std::string("z")};
  auto other = std::make_shared<csp::CertificateContext>(*cert);
  other->keyContext.reset();
  EXPECT_FALSE(SignHash(other.get(), hash.data(), 64, &signature, &error, env.registry));
  EXPECT_EQ(error, csp::SCARD_W_WRONG_CHV);
  EXPECT_TRUE(signature.empty());
}

TEST(HashTables, ByGeneration) {
  EXPECT_EQ(HashOidFor(0), "1.2.643.2.2.9");
  EXPECT_EQ(HashOidFor(1), "1.2.643.7.1.1.2.2");
  EXPECT_EQ(HashOidFor(2), "1.2.643.7.1.1.2.3");
  EXPECT_FALSE(HashOidFor(-1));
  EXPECT_EQ(HashAlgIdFor(0), 0x801Eu);
  EXPECT_EQ(HashAlgIdFor(1), 0x8021u);
  EXPECT_EQ(HashAlgIdFor(2), 0x8022u);
  EXPECT_EQ(HashAlgIdFor(-1), 0x801Eu);
}
