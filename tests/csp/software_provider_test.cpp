#include "csp/software_provider.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "csp/container_store.h"
#include "csp/csp_test_env.h"
#include "csp/gost_engine.h"
#include "text/text.h"

using namespace orvane;
using namespace orvane::csp;
using orvane::test::ProviderEnvironment;

namespace {

std::optional<std::u16string> NameOf(std::uint32_t type) {
  ProviderRegistry registry;
  RegisterSoftwareProviders(registry, {});
  std::uint32_t t = 0;
  std::u16string name;
  for (std::uint32_t i = 0; registry.EnumProviders(i, t, name); ++i) {
    if (t == type) return name;
  }
  return std::nullopt;
}

std::unique_ptr<CryptContext> NewContainer(ProviderEnvironment& env, const std::u16string& path,
                                           std::uint32_t type = 80) {
  return env.registry.AcquireContext(path, std::nullopt, type, CRYPT_NEWKEYSET);
}

// A new container whose carrier PIN has been given, so that its file exists.
std::unique_ptr<CryptContext> StoredContainer(ProviderEnvironment& env, const std::u16string& path,
                                              std::uint32_t type = 80) {
  auto ctx = NewContainer(env, path, type);
  if (ctx && !ctx->SetProvParam(kPPAuthenticate, {})) return nullptr;
  return ctx;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string FileText(const std::string& path) {
  const auto bytes = test::ReadBinary(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(ProviderRegistry, EnumeratesTheSoftwareProvidersInOrder) {
  ProviderRegistry registry;
  RegisterSoftwareProviders(registry, {});
  std::vector<std::uint32_t> types;
  std::uint32_t type = 0;
  std::u16string name;
  std::uint32_t i = 0;
  for (; registry.EnumProviders(i, type, name); ++i) {
    types.push_back(type);
    EXPECT_NE(text::ToUtf8(name).find("Orvane Software"), std::string::npos);
    EXPECT_NE(text::ToUtf8(name).find("for development and tests"), std::string::npos);
  }
  EXPECT_EQ(types, (std::vector<std::uint32_t>{75, 80, 81, 2, 77, 78, 1}));
  EXPECT_FALSE(registry.EnumProviders(i, type, name));
  EXPECT_EQ(GetLastError(), kErrorNoMoreItems);
}

TEST(ProviderRegistry, OpensByNameOrTypeAndRejectsMismatches) {
  ProviderEnvironment env;
  ProviderRegistry registry;
  RegisterSoftwareProviders(registry, {});
  auto byType = registry.AcquireContext(std::nullopt, std::nullopt, 81, CRYPT_VERIFYCONTEXT);
  ASSERT_TRUE(byType);
  EXPECT_EQ(GetProvParamWord(*byType, PP_PROVTYPE), 81u);
  EXPECT_EQ(GetProvParamWord(*byType, PP_VERSION), kSoftwareCryptoProVersion);

  EXPECT_FALSE(registry.AcquireContext(std::nullopt, NameOf(80), 81, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(GetLastError(), NTE_PROV_TYPE_NO_MATCH);
  EXPECT_FALSE(registry.AcquireContext(std::nullopt, u"No such provider", 80, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(GetLastError(), NTE_KEYSET_NOT_DEF);
  EXPECT_FALSE(registry.AcquireContext(std::nullopt, std::nullopt, 24, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(GetLastError(), NTE_PROV_TYPE_NOT_DEF);
  EXPECT_FALSE(registry.AcquireContext(u"x", std::nullopt, 80, CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET));
  EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
}

TEST(SoftwareProvider, ReportsVersionBuildAndNames) {
  ProviderEnvironment env;
  auto cp = env.registry.AcquireContext(std::nullopt, std::nullopt, 80, CRYPT_VERIFYCONTEXT);
  ASSERT_TRUE(cp);
  Bytes build;
  ASSERT_TRUE(cp->GetProvParam(kPPBuildInfo, build));
  ASSERT_EQ(build.size(), 20u);
  EXPECT_EQ(build[0] | (build[1] << 8), static_cast<int>(kSoftwareBuild));
  EXPECT_EQ(text::Cp1251ToWide(*GetProvParamText(*cp, PP_NAME)), NameOf(80));

  auto vip = env.registry.AcquireContext(std::nullopt, std::nullopt, 77, CRYPT_VERIFYCONTEXT);
  ASSERT_TRUE(vip);
  EXPECT_FALSE(vip->GetProvParam(kPPBuildInfo, build));
  EXPECT_EQ(GetProvParamWord(*vip, PP_VERSION), kSoftwareVipnetVersion);
  // No container on a verify context.
  EXPECT_FALSE(GetProvParamText(*vip, PP_CONTAINER));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
}

TEST(SoftwareProvider, GeneratesKeysOfAllThreeGenerationsWithStandardPublicKeys) {
  ProviderEnvironment env;
  const std::pair<std::uint32_t, std::size_t> cases[] = {{75, 101}, {80, 104}, {81, 173},
                                                         {2, 101},  {77, 104}, {78, 173}};
  int n = 0;
  for (const auto& [type, spkiSize] : cases) {
    SCOPED_TRACE(type);
    const std::u16string path = u"\\\\.\\Reader A\\gen-" + text::FromUtf8(std::to_string(n++));
    auto ctx = NewContainer(env, path, type);
    ASSERT_TRUE(ctx) << std::hex << GetLastError();
    ASSERT_TRUE(ctx->GenKey(AT_KEYEXCHANGE, 0)) << std::hex << GetLastError();
    Bytes spki;
    ASSERT_TRUE(ctx->ExportPublicKeyInfo(AT_KEYEXCHANGE, spki));
    EXPECT_EQ(spki.size(), spkiSize);
    ASSERT_TRUE(gost::EnsureEngine());
    const unsigned char* p = spki.data();
    ossl::PkeyPtr key(d2i_PUBKEY(nullptr, &p, static_cast<long>(spki.size())));
    EXPECT_TRUE(key);
  }
}

TEST(SoftwareProvider, NewKeysetRefusesAnExistingContainer) {
  ProviderEnvironment env;
  ASSERT_TRUE(StoredContainer(env, u"\\\\.\\Reader A\\twice"));
  EXPECT_FALSE(NewContainer(env, u"\\\\.\\Reader A\\twice"));
  EXPECT_EQ(GetLastError(), NTE_EXISTS);
  // The same name on another carrier is another container.
  EXPECT_TRUE(StoredContainer(env, u"\\\\.\\Reader B\\twice"));

  // Two contexts creating one name at once: the second to get its PIN finds the first's file.
  auto one = NewContainer(env, u"\\\\.\\Reader A\\race");
  auto other = NewContainer(env, u"\\\\.\\Reader A\\race");
  ASSERT_TRUE(one && other);
  EXPECT_TRUE(one->SetProvParam(kPPAuthenticate, {}));
  EXPECT_FALSE(other->GenKey(AT_KEYEXCHANGE, 0));
  EXPECT_EQ(GetLastError(), NTE_EXISTS);
}

TEST(SoftwareProvider, ContainersAreVisibleOnlyWhileTheirCarrierIsPresent) {
  ProviderEnvironment env;
  {
    auto ctx = NewContainer(env, u"\\\\.\\Reader A\\visible");
    ASSERT_TRUE(ctx);
    ASSERT_TRUE(ctx->GenKey(AT_KEYEXCHANGE, 0));
  }
  EXPECT_FALSE(NewContainer(env, u"\\\\.\\Reader C\\absent"));
  EXPECT_EQ(GetLastError(), SCARD_E_NO_SMARTCARD);

  auto open = env.registry.AcquireContext(u"\\\\.\\Reader A\\visible", std::nullopt, 80, 0);
  ASSERT_TRUE(open);
  EXPECT_TRUE(env.registry.AcquireContext(u"visible", std::nullopt, 77, 0)) << "bare name finds it";

  env.presence->readers = {u"Reader B"};
  EXPECT_FALSE(env.registry.AcquireContext(u"\\\\.\\Reader A\\visible", std::nullopt, 80, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
  Bytes spki;
  EXPECT_FALSE(open->ExportPublicKeyInfo(AT_KEYEXCHANGE, spki)) << "card removed under an open context";
  EXPECT_EQ(GetLastError(), SCARD_W_REMOVED_CARD);

  auto verify = env.registry.AcquireContext(std::nullopt, std::nullopt, 80, CRYPT_VERIFYCONTEXT);
  Bytes name;
  EXPECT_FALSE(verify->GetProvParam(PP_ENUMCONTAINERS, name, CRYPT_FIRST));
  EXPECT_EQ(GetLastError(), kErrorNoMoreItems);
}

TEST(SoftwareProvider, EnumeratesContainersAndReportsTheirNames) {
  ProviderEnvironment env;
  ASSERT_TRUE(StoredContainer(env, u"\\\\.\\Reader A\\one"));
  ASSERT_TRUE(StoredContainer(env, u"\\\\.\\Reader B\\two"));
  auto ctx = env.registry.AcquireContext(std::nullopt, std::nullopt, 80, CRYPT_VERIFYCONTEXT);
  std::vector<std::string> names;
  Bytes data;
  for (std::uint32_t flags = CRYPT_FIRST; ctx->GetProvParam(PP_ENUMCONTAINERS, data, flags); flags = 0) {
    names.emplace_back(data.begin(), data.end());
  }
  EXPECT_EQ(GetLastError(), kErrorNoMoreItems);
  EXPECT_EQ(names, (std::vector<std::string>{"one", "two"}));
  ASSERT_TRUE(ctx->GetProvParam(PP_ENUMCONTAINERS, data, CRYPT_FIRST | CRYPT_FQCN));
  EXPECT_EQ(std::string(data.begin(), data.end()), "\\\\.\\Reader A\\one");

  auto two = env.registry.AcquireContext(u"two", std::nullopt, 2, 0);
  ASSERT_TRUE(two);
  EXPECT_EQ(GetProvParamText(*two, PP_CONTAINER), "two");
  EXPECT_EQ(GetProvParamText(*two, PP_SMARTCARD_READER), "Reader B");
  EXPECT_EQ(GetProvParamText(*two, PP_UNIQUE_CONTAINER), "\\\\.\\Reader B\\two");
}

TEST(SoftwareProvider, OnePinEntryServesTheOpenContext) {
  ProviderEnvironment env;
  auto ctx = NewContainer(env, u"\\\\.\\Reader A\\pin-once");
  ASSERT_TRUE(ctx);
  ASSERT_TRUE(ctx->SetProvParam(kPPAuthenticate, {}));
  ASSERT_TRUE(ctx->GenKey(AT_KEYEXCHANGE, 0));
  Bytes hash(32, 7), sig;
  ASSERT_TRUE(ctx->SignHash(AT_KEYEXCHANGE, CALG_GR3411_2012_256, hash, sig));
  EXPECT_EQ(env.pin->requests.size(), 1u);
  EXPECT_TRUE(env.pin->requests[0].newCarrier);
  EXPECT_EQ(env.pin->requests[0].readerName, u"Reader A");
  EXPECT_EQ(env.pin->requests[0].containerName, u"pin-once");

  // A new context asks again, this time against the carrier's PIN.
  auto again = env.registry.AcquireContext(u"\\\\.\\Reader A\\pin-once", std::nullopt, 80, 0);
  ASSERT_TRUE(again);
  ASSERT_TRUE(again->SignHash(AT_KEYEXCHANGE, CALG_GR3411_2012_256, hash, sig));
  ASSERT_EQ(env.pin->requests.size(), 2u);
  EXPECT_FALSE(env.pin->requests[1].newCarrier);
}

TEST(SoftwareProvider, ThreeWrongPinsFailWithWrongChvAndLeaveNoContainer) {
  ProviderEnvironment env;
  {
    auto first = NewContainer(env, u"\\\\.\\Reader A\\first");
    ASSERT_TRUE(first && first->GenKey(AT_KEYEXCHANGE, 0));  // sets the carrier PIN 1234
  }
  env.pin->answers = {std::string("0000"), std::string("1111"), std::string("2222")};
  auto ctx = NewContainer(env, u"\\\\.\\Reader A\\second");
  ASSERT_TRUE(ctx);
  EXPECT_FALSE(ctx->GenKey(AT_KEYEXCHANGE, 0));
  EXPECT_EQ(GetLastError(), SCARD_W_WRONG_CHV);
  EXPECT_EQ(env.pin->requests.size(), 4u);
  EXPECT_EQ(env.pin->requests.back().attempt, 3);
  EXPECT_FALSE(env.store->ContainerExists(u"Reader A", u"second")) << "written only once the PIN is right";
  EXPECT_FALSE(ctx->HasUserKey(AT_KEYEXCHANGE));

  // The next right PIN works on the same context.
  EXPECT_TRUE(ctx->GenKey(AT_KEYEXCHANGE, 0));
  EXPECT_TRUE(env.store->ContainerExists(u"Reader A", u"second"));
}

TEST(SoftwareProvider, AuthenticateParameterAsksOncePerCall) {
  ProviderEnvironment env;
  { ASSERT_TRUE(NewContainer(env, u"\\\\.\\Reader A\\a")->GenKey(AT_KEYEXCHANGE, 0)); }
  env.pin->answers = {std::string("bad")};
  auto ctx = NewContainer(env, u"\\\\.\\Reader A\\b");
  EXPECT_FALSE(ctx->SetProvParam(kPPAuthenticate, {}));
  EXPECT_EQ(GetLastError(), SCARD_W_WRONG_CHV);
  EXPECT_TRUE(ctx->SetProvParam(kPPAuthenticate, {}));
  EXPECT_EQ(env.pin->requests.back().attempt, 2);
}

TEST(SoftwareProvider, CancelledPinAndSilentContextsFail) {
  ProviderEnvironment env;
  env.pin->answers = {std::nullopt};
  auto ctx = NewContainer(env, u"\\\\.\\Reader A\\cancel");
  EXPECT_FALSE(ctx->GenKey(AT_KEYEXCHANGE, 0));
  EXPECT_EQ(GetLastError(), SCARD_W_CANCELLED_BY_USER);
  auto silent =
      env.registry.AcquireContext(u"\\\\.\\Reader A\\silent", std::nullopt, 80, CRYPT_NEWKEYSET | CRYPT_SILENT);
  ASSERT_TRUE(silent);
  EXPECT_FALSE(silent->GenKey(AT_KEYEXCHANGE, 0));
  EXPECT_EQ(GetLastError(), NTE_SILENT_CONTEXT);
}

TEST(SoftwareProvider, PrivateKeysAreSealedAtRestAndFilesArePrivate) {
  ProviderEnvironment env;
  auto ctx = NewContainer(env, u"\\\\.\\Reader A\\sealed");
  ASSERT_TRUE(ctx->GenKey(AT_KEYEXCHANGE, CRYPT_EXPORTABLE));
  Bytes pkcs8;
  ASSERT_TRUE(ctx->ExportPrivateKey(AT_KEYEXCHANGE, pkcs8));
  const std::string file = env.store->ContainerFile(u"Reader A", u"sealed");
  const std::string content = FileText(file);
  // Neither the PKCS#8 bytes nor their Base64 appear in the file; nor does the PIN.
  EXPECT_EQ(content.find(std::string(pkcs8.begin(), pkcs8.end())), std::string::npos);
  EXPECT_EQ(content.find(text::Base64Encode(pkcs8)), std::string::npos);
  EXPECT_EQ(FileText(env.store->CarrierDir(u"Reader A") + "/carrier.pin").find("1234"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(env.store->CarrierDir(u"Reader A").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // No temporary files are left beside the container.
  for (const auto& e : std::filesystem::directory_iterator(env.store->CarrierDir(u"Reader A"))) {
    EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos);
  }
}

TEST(SoftwareProvider, ExportableFlagIsRecordedAndEnforced) {
  ProviderEnvironment env;
  auto ctx = NewContainer(env, u"\\\\.\\Reader A\\locked");
  ASSERT_TRUE(ctx->GenKey(AT_KEYEXCHANGE, 0));
  Bytes out;
  EXPECT_FALSE(ctx->ExportPrivateKey(AT_KEYEXCHANGE, out));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEY_STATE);
  ASSERT_TRUE(ctx->GetKeyParam(AT_KEYEXCHANGE, KP_PERMISSIONS, out));
  EXPECT_EQ(out[0] & CRYPT_EXPORT, 0);

  // Flipping the flag in the file does not make the key exportable: the key no longer opens.
  const std::string file = env.store->ContainerFile(u"Reader A", u"locked");
  std::string content = FileText(file);
  const auto pos = content.find("key-exportable 0");
  ASSERT_NE(pos, std::string::npos);
  content[pos + 15] = '1';
  std::ofstream(file, std::ios::binary) << content;
  auto reopened = env.registry.AcquireContext(u"\\\\.\\Reader A\\locked", std::nullopt, 80, 0);
  ASSERT_TRUE(reopened);
  EXPECT_FALSE(reopened->ExportPrivateKey(AT_KEYEXCHANGE, out));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
}

TEST(SoftwareProvider, AKeyIsNeverOverwritten) {
  ProviderEnvironment env;
  auto ctx = NewContainer(env, u"\\\\.\\Reader A\\once");
  ASSERT_TRUE(ctx->GenKey(AT_KEYEXCHANGE, 0));
  EXPECT_FALSE(ctx->GenKey(AT_KEYEXCHANGE, 0));
  EXPECT_EQ(GetLastError(), NTE_EXISTS);
  EXPECT_FALSE(ctx->GenKey(AT_KEYEXCHANGE, 0x12340000));
  EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
}

TEST(SoftwareProvider, StoresTheCertificateOfItsOwnKeyOnly) {
  ProviderEnvironment env;
  auto ctx = NewContainer(env, u"\\\\.\\Reader A\\cert");
  ASSERT_TRUE(ctx->GenKey(AT_KEYEXCHANGE, 0));
  const auto cert = test::SelfSignedCertificate(*ctx, 80);
  ASSERT_FALSE(cert.empty());
  Bytes out;
  EXPECT_FALSE(ctx->GetKeyParam(AT_KEYEXCHANGE, KP_CERTIFICATE, out));
  ASSERT_TRUE(ctx->SetKeyParam(AT_KEYEXCHANGE, KP_CERTIFICATE, cert));

  auto other = NewContainer(env, u"\\\\.\\Reader A\\other");
  ASSERT_TRUE(other->GenKey(AT_KEYEXCHANGE, 0));
  EXPECT_FALSE(other->SetKeyParam(AT_KEYEXCHANGE, KP_CERTIFICATE, cert));
  EXPECT_EQ(GetLastError(), NTE_BAD_DATA);
  EXPECT_FALSE(other->SetKeyParam(AT_KEYEXCHANGE, KP_CERTIFICATE, Bytes{0x30, 0x03, 1, 2, 3}));

  auto reopened = env.registry.AcquireContext(u"cert", std::nullopt, 80, 0);
  ASSERT_TRUE(reopened->GetKeyParam(AT_KEYEXCHANGE, KP_CERTIFICATE, out));
  EXPECT_EQ(out, cert);
}

TEST(SoftwareProvider, SignHashChecksAlgorithmAndLength) {
  ProviderEnvironment env;
  auto ctx = NewContainer(env, u"\\\\.\\Reader A\\sig", 81);
  ASSERT_TRUE(ctx->GenKey(AT_KEYEXCHANGE, 0));
  Bytes sig;
  EXPECT_FALSE(ctx->SignHash(AT_KEYEXCHANGE, CALG_GR3411_2012_512, Bytes(32, 1), sig));
  EXPECT_EQ(GetLastError(), NTE_BAD_HASH);
  EXPECT_FALSE(ctx->SignHash(AT_KEYEXCHANGE, CALG_GR3411_2012_256, Bytes(32, 1), sig));
  EXPECT_EQ(GetLastError(), NTE_BAD_ALGID);
  ASSERT_TRUE(ctx->SignHash(AT_KEYEXCHANGE, CALG_GR3411_2012_512, Bytes(64, 1), sig));
  EXPECT_EQ(sig.size(), 128u);
  EXPECT_FALSE(ctx->SignCertificate(AT_KEYEXCHANGE, Bytes{1, 2, 3}, "1.2.643.7.1.1.3.2", sig));
  EXPECT_EQ(GetLastError(), NTE_BAD_ALGID);
}

TEST(SoftwareProvider, HashesAndRandomBytes) {
  ProviderEnvironment env;
  auto random = env.registry.AcquireContext(std::nullopt, std::nullopt, PROV_RSA_FULL, 0);
  ASSERT_TRUE(random);
  std::array<std::uint8_t, 256> a{}, b{};
  ASSERT_TRUE(random->GenRandom(a));
  ASSERT_TRUE(random->GenRandom(b));
  EXPECT_NE(a, b);
  EXPECT_FALSE(env.registry.AcquireContext(u"x", std::nullopt, PROV_RSA_FULL, 0));

  auto ctx = env.registry.AcquireContext(std::nullopt, std::nullopt, 80, CRYPT_VERIFYCONTEXT);
  Bytes hash;
  const std::string msg = "012345678901234567890123456789012345678901234567890123456789012";
  ASSERT_TRUE(ctx->HashData(CALG_GR3411_2012_256, Bytes(msg.begin(), msg.end()), hash));
  // GOST R 34.11-2012 example 1 (256-bit), digest as OpenSSL prints it.
  std::string hex;
  for (auto c : hash) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02x", c);
    hex += buf;
  }
  EXPECT_EQ(hex, "9d151eefd8590b89daa6ba6cb74af9275dd051026bb149a452fd84e5e57b5500");
  EXPECT_FALSE(ctx->HashData(0x8003, Bytes{1}, hash));
  EXPECT_EQ(GetLastError(), NTE_BAD_ALGID);
}

TEST(SoftwareProvider, ABareNameGoesOnTheSelectedCarrier) {
  ProviderEnvironment env;  // "Reader A" and "Reader B" present
  for (const std::uint32_t type : {80u, 77u}) {
    const std::u16string name = u"bare-" + text::FromUtf8(std::to_string(type));
    env.presence->selected.reset();
    EXPECT_FALSE(env.registry.AcquireContext(name, std::nullopt, type, CRYPT_NEWKEYSET)) << "two carriers, none chosen";
    EXPECT_EQ(GetLastError(), SCARD_E_NO_SMARTCARD);
    env.presence->selected = u"Reader B";
    auto ctx = env.registry.AcquireContext(name, std::nullopt, type, CRYPT_NEWKEYSET);
    ASSERT_TRUE(ctx) << std::hex << GetLastError();
    ASSERT_TRUE(ctx->SetProvParam(kPPAuthenticate, {}));
    EXPECT_TRUE(env.store->ContainerExists(u"Reader B", name));
    EXPECT_FALSE(env.store->ContainerExists(u"Reader A", name));
  }
  env.presence->selected = u"Reader C";  // selected, but its card is gone
  EXPECT_FALSE(env.registry.AcquireContext(u"bare-gone", std::nullopt, 80, CRYPT_NEWKEYSET));
}

TEST(SoftwareProvider, AContainerThatCannotBeStoredSaysWhyNotTheRandomSource) {
  ProviderEnvironment env;
  const std::u16string longName = u"TVK-" + std::u16string(250, u'7') + u"-Иванов";
  EXPECT_FALSE(NewContainer(env, u"\\\\.\\Reader A\\" + longName));
  EXPECT_EQ(GetLastError(), 0x800700CEu) << "a name too long for the carrier's storage";
  EXPECT_NE(GetLastError(), NTE_FAIL);
}

TEST(SoftwareProvider, TenWrongPinsInARowBlockTheCarrierAcrossRuns) {
  ProviderEnvironment env;
  { ASSERT_TRUE(StoredContainer(env, u"\\\\.\\Reader A\\key")); }  // carrier PIN 1234
  env.pin->fallback = std::string("0000");
  // Nine wrong PINs, spread over several contexts (as over several runs), then the right one
  // clears the count.
  for (int i = 0; i < 3; ++i) {
    auto ctx = env.registry.AcquireContext(u"key", std::nullopt, 80, 0);
    ASSERT_TRUE(ctx);
    Bytes info;
    EXPECT_FALSE(ctx->GetProvParam(kPPAuthInfo, info, 0));
    EXPECT_EQ(GetLastError(), SCARD_W_WRONG_CHV);
  }
  env.pin->answers = {std::string("1234")};
  {
    auto ctx = env.registry.AcquireContext(u"key", std::nullopt, 80, 0);
    ASSERT_TRUE(ctx && ctx->SetProvParam(kPPAuthenticate, {}));
  }
  // Ten in a row block it: the tenth answers "blocked", and later contexts are refused
  // without asking, even for the right PIN.
  for (int i = 0; i < 3; ++i) {
    auto ctx = env.registry.AcquireContext(u"key", std::nullopt, 80, 0);
    ASSERT_TRUE(ctx);
    Bytes info;
    EXPECT_FALSE(ctx->GetProvParam(kPPAuthInfo, info, 0));
    EXPECT_EQ(GetLastError(), SCARD_W_WRONG_CHV);
  }
  auto tenth = env.registry.AcquireContext(u"key", std::nullopt, 80, 0);
  ASSERT_TRUE(tenth);
  EXPECT_FALSE(tenth->SetProvParam(kPPAuthenticate, {}));
  EXPECT_EQ(GetLastError(), SCARD_W_CHV_BLOCKED);
  env.pin->answers = {std::string("1234")};
  const auto asked = env.pin->requests.size();
  auto later = env.registry.AcquireContext(u"key", std::nullopt, 80, 0);
  ASSERT_TRUE(later);
  EXPECT_FALSE(later->SetProvParam(kPPAuthenticate, {}));
  EXPECT_EQ(GetLastError(), SCARD_W_CHV_BLOCKED);
  EXPECT_EQ(env.pin->requests.size(), asked) << "a blocked carrier does not ask";
  EXPECT_FALSE(NewContainer(env, u"\\\\.\\Reader A\\more") &&
               NewContainer(env, u"\\\\.\\Reader A\\more")->SetProvParam(kPPAuthenticate, {}));
  // Another carrier is not affected.
  EXPECT_TRUE(StoredContainer(env, u"\\\\.\\Reader B\\key"));
}

TEST(SoftwareProvider, NewCarriersUseScryptAndOldPbkdf2CarriersStillOpen) {
  ProviderEnvironment env;
  { ASSERT_TRUE(StoredContainer(env, u"\\\\.\\Reader A\\new")); }
  const auto made = env.store->LoadCarrier(u"Reader A");
  ASSERT_TRUE(made);
  EXPECT_EQ(made->kdf, store::PinKdf::Scrypt);
  EXPECT_EQ(made->scryptN, PinKdfCost::Cheap().n);
  const std::string record = FileText(env.store->CarrierDir(u"Reader A") + "/carrier.pin");
  EXPECT_NE(record.find("pin-kdf scrypt\n"), std::string::npos) << record;
  EXPECT_EQ(PinKdfCost().n * 128 * PinKdfCost().r, 64u << 20) << "the standard cost takes 64 MiB per guess";

  // A carrier record of the first format: PBKDF2 with its iteration count.
  store::CarrierRecord old;
  old.kdf = store::PinKdf::Pbkdf2;
  old.pinSalt = Bytes(16, 0x5A);
  old.iterations = 1000;
  const Bytes master = store::DeriveMaster("4321", old);
  ASSERT_EQ(master.size(), 32u);
  const std::string dir = env.store->CarrierDir(u"Reader B");
  std::filesystem::create_directories(dir);
  WriteText(dir + "/carrier.pin", "orvane-carrier 1\npin-salt " + text::Base64Encode(old.pinSalt.data(), 16) +
                                      "\npin-iterations 1000\npin-verifier " +
                                      text::Base64Encode(store::Verifier(master).data(), 32) + "\n");
  env.pin->answers = {std::string("1234"), std::string("4321")};
  auto ctx = NewContainer(env, u"\\\\.\\Reader B\\old");
  ASSERT_TRUE(ctx);
  EXPECT_FALSE(ctx->SetProvParam(kPPAuthenticate, {})) << "the old carrier keeps its own PIN";
  EXPECT_TRUE(ctx->SetProvParam(kPPAuthenticate, {}));
  EXPECT_TRUE(ctx->GenKey(AT_KEYEXCHANGE, 0));

  // A record asking for an absurd scrypt cost is refused, not derived.
  WriteText(dir + "/carrier.pin", "orvane-carrier 2\npin-salt " + text::Base64Encode(old.pinSalt.data(), 16) +
                                      "\npin-kdf scrypt\npin-scrypt-n 1073741824\npin-scrypt-r 8\n"
                                      "pin-scrypt-p 1\npin-verifier " +
                                      text::Base64Encode(store::Verifier(master).data(), 32) + "\n");
  EXPECT_FALSE(env.store->LoadCarrier(u"Reader B"));
}
