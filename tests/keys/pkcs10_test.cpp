#include "keys/pkcs10.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <filesystem>

#include "crypto/der.h"
#include "csp/container_store.h"
#include "csp/csp_test_env.h"
#include "text/text.h"

using namespace orvane;
using namespace orvane::crypto;
using namespace orvane::keys;
using request::AttributeList;

namespace {

struct ParsedExtension {
  std::string oid;
  bool critical = false;
  Bytes value;
};

struct ParsedRequest {
  bool ok = false;
  std::string signatureOid;
  Bytes spki;
  std::vector<std::pair<std::string, std::uint8_t>> subject;  // OID, string tag
  std::vector<std::pair<std::string, std::vector<Bytes>>> attributes;
  std::vector<ParsedExtension> extensions;
};

Bytes ToBytes(std::span<const std::uint8_t> s) {
  return Bytes(s.begin(), s.end());
}

// Takes a request apart with our reader (openssl checks it independently below).
ParsedRequest Parse(const Bytes& request) {
  ParsedRequest p;
  auto top = der::Read(request);
  if (!top || top->whole.size() != request.size()) return p;
  auto parts = der::Children(*top);
  if (!parts || parts->size() != 3) return p;
  auto alg = der::Children((*parts)[1]);
  p.signatureOid = der::OidText((*alg)[0].contents).value_or("");
  auto info = der::Children((*parts)[0]);
  if (!info || info->size() != 4) return p;
  const auto rdns = der::Children((*info)[1]);
  for (const auto& rdn : *rdns) {
    const auto rdnKids = der::Children(rdn);
    auto atv = der::Children((*rdnKids)[0]);
    p.subject.emplace_back(*der::OidText((*atv)[0].contents), (*atv)[1].tag);
  }
  p.spki = ToBytes((*info)[2].whole);
  if ((*info)[3].tag != 0xA0) return p;
  const auto attrs = der::Children((*info)[3]);
  for (const auto& attr : *attrs) {
    auto kids = der::Children(attr);
    std::vector<Bytes> values;
    const auto valueSet = der::Children((*kids)[1]);
    for (const auto& v : *valueSet) values.push_back(ToBytes(v.whole));
    p.attributes.emplace_back(*der::OidText((*kids)[0].contents), values);
  }
  for (const auto& [oid, values] : p.attributes) {
    if (oid != "1.3.6.1.4.1.311.2.1.14") continue;
    auto seq = der::Read(values[0]);
    const auto exts = der::Children(*seq);
    for (const auto& ext : *exts) {
      auto k = der::Children(ext);
      ParsedExtension e;
      e.oid = *der::OidText((*k)[0].contents);
      e.critical = k->size() == 3;
      e.value = ToBytes(k->back().contents);
      p.extensions.push_back(e);
    }
  }
  p.ok = true;
  return p;
}

std::vector<std::string> ExtensionOids(const ParsedRequest& p) {
  std::vector<std::string> out;
  for (const auto& e : p.extensions) out.push_back(e.oid);
  return out;
}

const ParsedExtension* FindExtension(const ParsedRequest& p, const std::string& oid) {
  for (const auto& e : p.extensions) {
    if (e.oid == oid) return &e;
  }
  return nullptr;
}

// The name-value pairs as (name, value) texts.
std::vector<std::pair<std::u16string, std::u16string>> Pairs(const ParsedRequest& p) {
  std::vector<std::pair<std::u16string, std::u16string>> out;
  for (const auto& [oid, values] : p.attributes) {
    if (oid != "1.3.6.1.4.1.311.13.2.1") continue;
    for (const auto& v : values) {
      auto kids = der::Children(*der::Read(v));
      auto bmp = [](const der::Element& e) {
        std::u16string s;
        for (std::size_t i = 0; i + 1 < e.contents.size(); i += 2) {
          s.push_back(static_cast<char16_t>(e.contents[i] << 8 | e.contents[i + 1]));
        }
        return s;
      };
      out.emplace_back(bmp((*kids)[0]), bmp((*kids)[1]));
    }
  }
  return out;
}

AttributeList Attrs(const std::u16string& text) {
  return *request::ParseAttributeList(text);
}

class RequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    csp::EnumerateGostProviders(&catalogue, env.registry);
    ASSERT_EQ(catalogue.size(), 6u);
  }

  KeyRequestInputs Inputs(csp::ProviderKind family, csp::GostGeneration generation, const std::u16string& name) {
    KeyRequestInputs in;
    in.family = family;
    in.generation = generation;
    in.providerName =
        csp::FindProviderName(static_cast<std::uint32_t>(csp::ProviderTypeFor(family, generation)), catalogue);
    in.subject = Attrs(
        u"2.5.4.3=\"Иванов Иван, ИП\",2.5.4.6=RU,1.2.643.3.131.1.1=771234567890,1.2.643.100.3=12345678901,"
        u"1.2.840.113549.1.9.1=ivanov@example.ru,2.5.4.7=Москва");
    in.eku = std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2", u"1.3.6.1.5.5.7.3.4"};
    in.containerPath = u"\\\\.\\Reader A\\" + name;
    return in;
  }

  std::string Verify(const Bytes& request, const std::string& file) {
    const std::string path = env.WriteFile(file, request);
    std::string out;
    EXPECT_EQ(env.OpenSsl("req -inform DER -in " + path + " -verify -noout", &out), 0) << out;
    std::string text;
    EXPECT_EQ(env.OpenSsl("req -inform DER -in " + path + " -text -noout", &text), 0) << text;
    std::string asn1;
    EXPECT_EQ(env.OpenSsl("asn1parse -inform DER -in " + path, &asn1), 0) << asn1;
    return text;
  }

  test::ProviderEnvironment env;
  csp::providerCatalogue catalogue;
};

}  // namespace

TEST_F(RequestTest, EveryFamilyAndGenerationVerifiesWithOpenSsl) {
  env.presence->selected = u"Reader A";
  const std::string sigOids[] = {"1.2.643.2.2.3", "1.2.643.7.1.1.3.2", "1.2.643.7.1.1.3.3"};
  for (csp::ProviderKind family : {1, 2}) {
    for (csp::GostGeneration gen : {0, 1, 2}) {
      SCOPED_TRACE(std::to_string(family) + "/" + std::to_string(gen));
      const std::u16string name = u"req-" + text::FromUtf8(std::to_string(family * 10 + gen));
      auto in = Inputs(family, gen, family == 1 ? name : name);
      if (family == 2) in.containerPath = name;  // bare name: the selected carrier
      const auto result = CreateKeyAndRequest(in, catalogue, env.registry);
      ASSERT_TRUE(result.der) << std::hex << result.error;
      EXPECT_EQ(result.error, 0u);
      const std::string text = Verify(*result.der, text::ToUtf8(name) + ".der");
      EXPECT_NE(text.find("Key Usage: critical"), std::string::npos) << text;

      const auto p = Parse(*result.der);
      ASSERT_TRUE(p.ok);
      EXPECT_EQ(p.signatureOid, sigOids[gen]);
      EXPECT_EQ(ExtensionOids(p), (std::vector<std::string>{"2.5.29.15", "2.5.29.37", "2.5.29.14", "1.2.643.100.111"}));
      const auto record = env.store->LoadContainer(u"Reader A", name);
      ASSERT_TRUE(record);
      EXPECT_EQ(record->type, static_cast<std::uint32_t>(csp::ProviderTypeFor(family, gen)));
      EXPECT_FALSE(record->exportable);
    }
  }
}

TEST_F(RequestTest, ContentsOfTheMandatoryParts) {
  auto in = Inputs(1, 1, u"contents");
  const auto result = CreateKeyAndRequest(in, catalogue, env.registry);
  ASSERT_TRUE(result.der);
  const auto p = Parse(*result.der);
  // Subject: one attribute per RDN in list order, with the fixed string types.
  ASSERT_EQ(p.subject.size(), 6u);
  EXPECT_EQ(p.subject[0], (std::pair<std::string, std::uint8_t>{"2.5.4.3", der::tag::kUtf8String}));
  EXPECT_EQ(p.subject[1].second, der::tag::kPrintableString);
  EXPECT_EQ(p.subject[2].second, der::tag::kNumericString);
  EXPECT_EQ(p.subject[3].second, der::tag::kNumericString);
  EXPECT_EQ(p.subject[4].second, der::tag::kIa5String);
  EXPECT_EQ(p.subject[5].second, der::tag::kUtf8String);
  // Attributes: enrollment provider first, then the extensions; no pairs without validity.
  ASSERT_EQ(p.attributes.size(), 2u);
  EXPECT_EQ(p.attributes[0].first, "1.3.6.1.4.1.311.13.2.2");
  const Bytes expectedProvider = der::Sequence({der::Integer(1), der::BmpString(*in.providerName), der::BitString({})});
  EXPECT_EQ(p.attributes[0].second, std::vector<Bytes>{expectedProvider});
  EXPECT_EQ(p.attributes[1].first, "1.3.6.1.4.1.311.2.1.14");
  // Key usage 0xF0, critical; EKU in the order given.
  EXPECT_TRUE(p.extensions[0].critical);
  EXPECT_EQ(p.extensions[0].value, (Bytes{0x03, 0x02, 0x04, 0xF0}));
  EXPECT_FALSE(p.extensions[1].critical);
  EXPECT_EQ(p.extensions[1].value, der::Sequence({*der::Oid("1.3.6.1.5.5.7.3.2"), *der::Oid("1.3.6.1.5.5.7.3.4")}));
  // Subject key identifier: SHA-1 of the public key bits, computed here with OpenSSL.
  const auto bits = der::PublicKeyBits(p.spki);
  ASSERT_TRUE(bits);
  Bytes sha(20);
  SHA1(bits->data(), bits->size(), sha.data());
  EXPECT_EQ(p.extensions[2].value, der::OctetString(sha));
  // Signature tool: tag 0x0C, one length byte, the UTF-8 text.
  const std::string tool = text::ToUtf8(u"\"КриптоПро CSP\" (версия 5.0)");
  Bytes expectedTool{0x0C, static_cast<std::uint8_t>(tool.size())};
  expectedTool.insert(expectedTool.end(), tool.begin(), tool.end());
  EXPECT_EQ(p.extensions[3].value, expectedTool);
}

TEST_F(RequestTest, AllOptionalExtensionsInTheirOrder) {
  auto in = Inputs(2, 2, u"optional");
  in.templateOid = "1.2.3.4.5";
  in.nonqualified = true;
  in.policyLevel = "kc2";
  in.identificationKind = 3;
  in.altName = Attrs(u"2.5.4.3=Alt,1.2.643.100.1=1027700132195");
  in.exportable = true;
  const auto result = CreateKeyAndRequest(in, catalogue, env.registry);
  ASSERT_TRUE(result.der) << std::hex << result.error;
  const std::string text = Verify(*result.der, "optional.der");
  EXPECT_NE(text.find("DirName"), std::string::npos) << text;
  const auto p = Parse(*result.der);
  EXPECT_EQ(ExtensionOids(p),
            (std::vector<std::string>{"2.5.29.15", "2.5.29.37", "2.5.29.14", "1.2.643.100.111", "1.3.6.1.4.1.311.21.7",
                                      "2.5.29.32", "1.2.643.100.114", "2.5.29.17"}));
  EXPECT_EQ(FindExtension(p, "1.3.6.1.4.1.311.21.7")->value, der::Sequence({*der::Oid("1.2.3.4.5"), der::Integer(1)}));
  EXPECT_EQ(FindExtension(p, "2.5.29.32")->value, der::Sequence({der::Sequence({*der::Oid("1.2.643.100.113.1")}),
                                                                 der::Sequence({*der::Oid("1.2.643.100.113.2")})}));
  EXPECT_EQ(FindExtension(p, "1.2.643.100.114")->value, der::Integer(3));
  const auto alt = FindExtension(p, "2.5.29.17");
  EXPECT_EQ(alt->value, der::Sequence({der::ContextExplicit(4, *EncodeSubjectName(*in.altName).der)}));
  const std::string tool = text::ToUtf8(u"\"ViPNet CSP\" (версия 4.4)");
  EXPECT_EQ(
      Bytes(FindExtension(p, "1.2.643.100.111")->value.begin() + 2, FindExtension(p, "1.2.643.100.111")->value.end()),
      Bytes(tool.begin(), tool.end()));
  EXPECT_TRUE(env.store->LoadContainer(u"Reader A", u"optional")->exportable);
}

TEST_F(RequestTest, TemplateAndPolicyRules) {
  EXPECT_EQ(TemplateOidFor(std::nullopt, true, false), "1.2.643.3.227.7.5");
  EXPECT_EQ(TemplateOidFor(std::nullopt, true, true), "1.2.643.3.227.7.6");
  EXPECT_EQ(TemplateOidFor(std::string("1.2.3"), true, true), "1.2.3");
  EXPECT_EQ(TemplateOidFor(std::string("1.2.3"), false, false), "1.2.3");
  EXPECT_FALSE(TemplateOidFor(std::nullopt, false, true));
  EXPECT_EQ(PolicyOidsFor(std::string("KC2")), (std::vector<std::string>{"1.2.643.100.113.1", "1.2.643.100.113.2"}));
  EXPECT_EQ(PolicyOidsFor(std::string("kC2")).size(), 2u);
  EXPECT_EQ(PolicyOidsFor(std::string("KC3")), (std::vector<std::string>{"1.2.643.100.113.1"}));
  EXPECT_TRUE(PolicyOidsFor(std::nullopt).empty());

  // A template OID that is not an OID leaves the extension out, the request still builds.
  auto in = Inputs(1, 1, u"bad-template");
  in.templateOid = "not-an-oid";
  const auto result = CreateKeyAndRequest(in, catalogue, env.registry);
  ASSERT_TRUE(result.der);
  EXPECT_EQ(Parse(*result.der).extensions.size(), 4u);
}

TEST_F(RequestTest, SignatureToolText) {
  EXPECT_EQ(SignatureToolText(1, catalogue), u"\"КриптоПро CSP\" (версия 5.0)");
  EXPECT_EQ(SignatureToolText(1, csp::providerCatalogue{}), u"\"КриптоПро CSP\" (версия 4.0)");
}

TEST(ParseRequestDate, ConvertsTheRequestSystemForm) {
  EXPECT_EQ(ParseRequestDate(std::string("2025-01-31 23:59:59+03:00")), "20250131235959+03:00");
  EXPECT_EQ(ParseRequestDate(std::string("  2025-1-2 3:4:5-05:30 \n")), "20250102030405-05:30");
  EXPECT_EQ(ParseRequestDate(std::string("2025-01-31 00:00:00+5")), "20250131000000+05:00");
  EXPECT_FALSE(ParseRequestDate(std::string("2025-01-31 23:59:59"))) << "no zone";
  EXPECT_FALSE(ParseRequestDate(std::string("2025-01-31")));
  EXPECT_FALSE(ParseRequestDate(std::string("2025-00-31 23:59:59+03:00")));
  EXPECT_FALSE(ParseRequestDate(std::string("2025-01 23:59:59+03:00")));
  EXPECT_FALSE(ParseRequestDate(std::string("2025-01-31 23:59+03:00")));
  EXPECT_FALSE(ParseRequestDate(std::nullopt));
  // Absurd numbers do not overflow a fixed buffer.
  const auto big = ParseRequestDate(std::string("99999999999999-1-1 1:1:1+99999999999"));
  ASSERT_TRUE(big);
  EXPECT_GE(big->size(), 20u);
}

TEST(EncodeNameValuePairs, PeriodExpirationAndStartDate) {
  auto pairs = [](std::optional<std::string> s, std::optional<std::string> e, std::optional<std::string> p) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& v : EncodeNameValuePairs(s, e, p)) {
      auto kids = der::Children(*der::Read(v));
      auto bmp = [](const der::Element& el) {
        std::u16string t;
        for (std::size_t i = 0; i + 1 < el.contents.size(); i += 2)
          t.push_back(static_cast<char16_t>(el.contents[i] << 8 | el.contents[i + 1]));
        return text::ToUtf8(t);
      };
      out.emplace_back(bmp((*kids)[0]), bmp((*kids)[1]));
    }
    return out;
  };
  using P = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(pairs(std::nullopt, std::nullopt, std::string("12 Months")),
            (P{{"CpRaCertPeriod", "12"}, {"CpRaCertPeriodUnits", "Months"}}));
  EXPECT_EQ(pairs(std::nullopt, std::nullopt, std::string("15")),
            (P{{"CpRaCertPeriod", "15"}, {"CpRaCertPeriodUnits", "Months"}}));
  EXPECT_EQ(
      pairs(std::string("2025-03-01 10:00:00+05:00"), std::nullopt, std::string("12 Months")),
      (P{{"CpRaStartDate", "20250301100000+05:00"}, {"CpRaCertPeriod", "12"}, {"CpRaCertPeriodUnits", "Months"}}));
  EXPECT_EQ(pairs(std::nullopt, std::string("2026-03-01 23:59:59+03:00"), std::nullopt),
            (P{{"CpRaExpirationDate", "20260301235959+03:00"}}));
  EXPECT_EQ(pairs(std::string("2025-03-01 10:00:00+05:00"), std::string("2026-03-01 23:59:59+03:00"), std::string("")),
            (P{{"CpRaStartDate", "20250301100000+05:00"}, {"CpRaExpirationDate", "20260301235959+03:00"}}));
  EXPECT_TRUE(pairs(std::string("2025-03-01 10:00:00+05:00"), std::nullopt, std::nullopt).empty());
  // Unreadable dates leave their pairs out instead of sending empty values.
  EXPECT_TRUE(pairs(std::nullopt, std::string("2026-03-01 23:59:59"), std::nullopt).empty());
  EXPECT_EQ(pairs(std::string("garbage"), std::nullopt, std::string("12 Months")).size(), 2u);
}

TEST_F(RequestTest, NameValuePairsReachTheRequest) {
  auto in = Inputs(1, 0, u"pairs");
  in.startDate = "2025-03-01 10:00:00+05:00";
  in.period = "12 Months";
  const auto result = CreateKeyAndRequest(in, catalogue, env.registry);
  ASSERT_TRUE(result.der);
  Verify(*result.der, "pairs.der");
  const auto p = Parse(*result.der);
  ASSERT_EQ(p.attributes.size(), 3u);
  EXPECT_EQ(p.attributes[2].first, "1.3.6.1.4.1.311.13.2.1");
  const auto got = Pairs(p);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], (std::pair<std::u16string, std::u16string>{u"CpRaStartDate", u"20250301100000+05:00"}));
  EXPECT_EQ(got[1].first, u"CpRaCertPeriod");
  EXPECT_EQ(got[2].second, u"Months");
}

TEST(EncodeSubjectName, StringTypesAndTheirAlphabets) {
  auto tagOf = [](const std::u16string& text) -> int {
    const auto r = EncodeSubjectName(Attrs(text));
    if (!r.der) return -static_cast<int>(r.error & 0xFF);
    const auto rdns = der::Children(*der::Read(*r.der));
    const auto rdnKids = der::Children((*rdns)[0]);
    auto atv = der::Children((*rdnKids)[0]);
    return (*atv)[1].tag;
  };
  EXPECT_EQ(tagOf(u"1.2.840.113549.1.9.2=ABC-1"), der::tag::kPrintableString);
  EXPECT_EQ(tagOf(u"1.2.840.113549.1.9.2=Иванов"), der::tag::kUtf8String);
  EXPECT_EQ(tagOf(u"1.2.840.113549.1.9.2="), der::tag::kPrintableString);
  EXPECT_EQ(tagOf(u"1.2.840.113549.1.9.2=INN/KPP_1@x"), der::tag::kUtf8String)
      << "characters outside PrintableString use UTF8String instead of failing";
  EXPECT_EQ(tagOf(u"1.2.643.100.5=304500116000157"), der::tag::kNumericString);
  EXPECT_EQ(tagOf(u"2.5.4.10=ООО"), der::tag::kUtf8String);

  auto failure = [](const std::u16string& text) { return EncodeSubjectName(Attrs(text)).error; };
  EXPECT_EQ(failure(u"1.2.643.100.1=10277A"), csp::CRYPT_E_INVALID_NUMERIC_STRING);
  EXPECT_EQ(failure(u"2.5.4.6=R@"), csp::CRYPT_E_INVALID_PRINTABLE_STRING);
  EXPECT_EQ(failure(u"1.2.840.113549.1.9.1=иван@example.ru"), csp::CRYPT_E_INVALID_IA5_STRING);
  EXPECT_EQ(failure(u"x.y=1"), csp::E_INVALIDARG);
  // Astral characters are one 4-byte UTF-8 sequence.
  const auto r = EncodeSubjectName(Attrs(u"2.5.4.3=\U0001F600"));
  ASSERT_TRUE(r.der);
  EXPECT_EQ(Bytes(r.der->end() - 6, r.der->end()), (Bytes{0x0C, 0x04, 0xF0, 0x9F, 0x98, 0x80}));
}

TEST_F(RequestTest, MissingInputsCreateNothing) {
  for (int missing = 0; missing < 3; ++missing) {
    auto in = Inputs(1, 1, u"missing");
    if (missing == 0) in.subject.reset();
    if (missing == 1) in.eku.reset();
    if (missing == 2) in.providerName.reset();
    const auto result = CreateKeyAndRequest(in, catalogue, env.registry);
    EXPECT_FALSE(result.der);
    EXPECT_EQ(result.error, 0u);
  }
  EXPECT_FALSE(std::filesystem::exists(env.store->Root()));
  EXPECT_TRUE(env.pin->requests.empty());
}

TEST_F(RequestTest, BadSubjectValueFailsWithTheEncoderErrorAndCreatesNothing) {
  auto in = Inputs(1, 1, u"bad-subject");
  in.subject = Attrs(u"2.5.4.3=Test,1.2.643.3.131.1.1=77A234567890");
  const auto result = CreateKeyAndRequest(in, catalogue, env.registry);
  EXPECT_FALSE(result.der);
  EXPECT_EQ(result.error, csp::CRYPT_E_INVALID_NUMERIC_STRING);
  EXPECT_FALSE(env.store->ContainerExists(u"Reader A", u"bad-subject"));
}

TEST_F(RequestTest, ExistingContainerIsNotOverwritten) {
  auto in = Inputs(1, 1, u"exists");
  ASSERT_TRUE(CreateKeyAndRequest(in, catalogue, env.registry).der);
  const auto before = env.store->LoadContainer(u"Reader A", u"exists");
  const auto again = CreateKeyAndRequest(in, catalogue, env.registry);
  EXPECT_FALSE(again.der);
  EXPECT_EQ(again.error, csp::NTE_EXISTS);
  EXPECT_EQ(env.store->LoadContainer(u"Reader A", u"exists")->publicKey, before->publicKey);
}

TEST_F(RequestTest, ThreeWrongPinsEndWithWrongChvAndLeaveNoContainer) {
  ASSERT_TRUE(CreateKeyAndRequest(Inputs(1, 1, u"sets-pin"), catalogue, env.registry).der);
  // Version 5 entries authenticate through parameter 109; older ones through parameter 8.
  csp::providerCatalogue older = catalogue;
  auto entry = std::make_shared<csp::cryptoProviderData>(*older[0]);
  entry->major = 4;
  older[0] = entry;
  int n = 0;
  for (const auto* cat : {&catalogue, &older}) {
    env.pin->answers = {std::string("1"), std::string("2"), std::string("3")};
    const std::size_t asked = env.pin->requests.size();
    const std::u16string name = u"wrong-" + text::FromUtf8(std::to_string(n++));
    const auto result = CreateKeyAndRequest(Inputs(1, 1, name), *cat, env.registry);
    EXPECT_FALSE(result.der);
    EXPECT_EQ(result.error, csp::SCARD_W_WRONG_CHV);
    EXPECT_EQ(env.pin->requests.size() - asked, 3u);
    EXPECT_FALSE(env.store->ContainerExists(u"Reader A", name)) << "no keyless container is left behind";
  }
  // ViPNet family: the key generation asks for the PIN itself.
  env.pin->answers = {std::string("1"), std::string("2"), std::string("3")};
  auto vipnet = Inputs(2, 1, u"wrong-vipnet");
  const auto result = CreateKeyAndRequest(vipnet, catalogue, env.registry);
  EXPECT_EQ(result.error, csp::SCARD_W_WRONG_CHV);
  EXPECT_FALSE(env.store->ContainerExists(u"Reader A", u"wrong-vipnet"));
}

TEST_F(RequestTest, OwnerWindowReachesThePinPrompt) {
  auto in = Inputs(1, 2, u"owner");
  int window = 0;
  in.owner = &window;
  ASSERT_TRUE(CreateKeyAndRequest(in, catalogue, env.registry).der);
  ASSERT_FALSE(env.pin->owners.empty());
  EXPECT_EQ(env.pin->owners.back(), &window);
  env.registry.SetOwnerWindow(nullptr);
}

TEST_F(RequestTest, TimingsAddUp) {
  RequestStageTimings t;
  ASSERT_TRUE(CreateKeyAndRequest(Inputs(1, 1, u"timed"), catalogue, env.registry, &t).der);
  EXPECT_GT(t.keyGeneration, 0);
  EXPECT_GT(t.protection, 0);
  EXPECT_GT(t.signing, 0);
  EXPECT_GT(t.derBuilding, 0);
  EXPECT_LE(t.keyGeneration + t.protection + t.signing + t.derBuilding, t.total);
}
