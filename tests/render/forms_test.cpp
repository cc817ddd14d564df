// The forms end to end: real head-CA roots and requests made by the cryptographic core become
// XML documents and HTML forms; the HTML itself is parsed and its content checked.
#include "render/form_render.h"

#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "crypto/der.h"
#include "csp/catalogue.h"
#include "csp/csp_test_env.h"
#include "keys/pkcs10.h"
#include "render/stylesheets.h"
#include "render/xml_documents.h"
#include "support/scripted_ui.h"
#include "text/text.h"

using namespace orvane;
using namespace orvane::render;
namespace der = orvane::crypto::der;

namespace {

const FormContacts kContacts{"Удостоверяющий центр для проверки, а/я 1, Москва", "8 800 555-00-11"};
const FormRenderer kForms(kContacts);

struct DocFree {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

std::string Utf8(std::string_view cp1251) {
  return cp1251.empty() ? std::string() : text::ToUtf8(*text::Cp1251ToWide(cp1251));
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> DataFile(const std::string& name) {
  return ReadFile(std::string(ORVANE_TEST_DATA_DIR) + "/" + name);
}

// The parsed HTML: the title, the text of every paragraph and heading in document order, and
// the class attributes seen.
struct Html {
  std::string title;
  std::vector<std::string> blocks;
  std::vector<std::string> classes;
  std::string all;

  bool HasBlock(const std::string& text) const { return std::find(blocks.begin(), blocks.end(), text) != blocks.end(); }
  bool Contains(const std::string& text) const { return all.find(text) != std::string::npos; }
  // Position of the first block that starts with the text, or -1.
  int IndexOf(const std::string& prefix) const {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      if (blocks[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    }
    return -1;
  }
};

std::string Content(xmlNode* node) {
  xmlChar* c = xmlNodeGetContent(node);
  std::string out = c != nullptr ? reinterpret_cast<const char*>(c) : "";
  xmlFree(c);
  return out;
}

void Walk(xmlNode* node, Html& html) {
  for (; node != nullptr; node = node->next) {
    if (node->type == XML_ELEMENT_NODE) {
      const std::string name = reinterpret_cast<const char*>(node->name);
      if (name == "title") html.title = Content(node);
      if (name == "p" || name == "h1" || name == "h2") html.blocks.push_back(Content(node));
      if (xmlChar* cls = xmlGetProp(node, reinterpret_cast<const xmlChar*>("class"))) {
        html.classes.push_back(reinterpret_cast<const char*>(cls));
        xmlFree(cls);
      }
      Walk(node->children, html);
    }
  }
}

Html ParseHtml(const std::string& bytes) {
  Html html;
  std::unique_ptr<xmlDoc, DocFree> doc(htmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                                      "windows-1251",
                                                      HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET));
  if (!doc) return html;
  Walk(xmlDocGetRootElement(doc.get()), html);
  html.all = Content(xmlDocGetRootElement(doc.get()));
  return html;
}

bool WellFormed(const std::string& xml) {
  std::unique_ptr<xmlDoc, DocFree> doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  return doc != nullptr;
}

std::string ReadText(const std::u16string& path) {
  const auto bytes = ReadFile(text::ToUtf8(path));
  return std::string(bytes.begin(), bytes.end());
}

std::span<const std::uint8_t> Ascii(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

const std::string kQualified =
    "С информацией, содержащейся в квалифицированном сертификате, ознакомлен, руководство по обеспечению "
    "безопасности использования квалифицированной ЭП и средств квалифицированной ЭП получил:";
const std::string kNonQualified =
    "С информацией, содержащейся в сертификате, ознакомлен, руководство по обеспечению безопасности использования "
    "ЭП и средств ЭП получил:";

// A certificate made with our DER writer: the public key of root B, a made-up signature
// (nothing here verifies it).
struct CertFields {
  der::Bytes serial = {0x01};
  der::Bytes issuer;
  der::Bytes notBefore = der::Tlv(0x17, Ascii("240305093000Z"));
  der::Bytes notAfter = der::Tlv(0x18, Ascii("20251231235959Z"));
  std::vector<der::Bytes> extensions;
};

der::Bytes CnName(const std::string& cn, const std::string& org = "Организация") {
  std::vector<der::Bytes> rdns = {der::Set({der::Sequence({*der::Oid("2.5.4.10"), der::Utf8String(org)})})};
  if (!cn.empty()) rdns.push_back(der::Set({der::Sequence({*der::Oid("2.5.4.3"), der::Utf8String(cn)})}));
  return der::Sequence(rdns);
}

der::Bytes MakeCertificate(const CertFields& fields) {
  const auto rootB = DataFile("head-ca/rootB.cer");
  const auto top = der::Read(rootB);
  const auto tbsKids = der::Children((*der::Children(*top))[0]);
  const der::Bytes spki((*tbsKids)[6].whole.begin(), (*tbsKids)[6].whole.end());
  const auto alg = der::Sequence({*der::Oid("1.2.643.7.1.1.3.2")});
  std::vector<der::Bytes> tbs = {der::ContextExplicit(0, der::Integer(2)),
                                 der::Tlv(der::tag::kInteger, fields.serial),
                                 alg,
                                 fields.issuer.empty() ? CnName("Тестовый УЦ") : fields.issuer,
                                 der::Sequence({fields.notBefore, fields.notAfter}),
                                 CnName("Иванов Иван Иванович"),
                                 spki};
  if (!fields.extensions.empty()) tbs.push_back(der::ContextExplicit(3, der::Sequence(fields.extensions)));
  std::vector<std::uint8_t> signature(64);
  for (std::size_t i = 0; i < signature.size(); ++i) signature[i] = static_cast<std::uint8_t>(i);
  return der::Sequence({der::Sequence(tbs), alg, der::BitString(signature)});
}

der::Bytes Extension(const char* oid, const der::Bytes& value, bool critical = false) {
  if (critical) return der::Sequence({*der::Oid(oid), der::Boolean(true), der::OctetString(value)});
  return der::Sequence({*der::Oid(oid), der::OctetString(value)});
}

std::string CertificateXml(const der::Bytes& certificate) {
  X509Certificate cert(certificate);
  EXPECT_TRUE(cert.Decoded());
  return Utf8(cert.BuildCertificateXml().value_or(""));
}

class FormsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const auto& p : made) std::filesystem::remove(text::ToUtf8(p));
  }
  std::optional<std::u16string> Certificate(std::span<const std::uint8_t> bytes) {
    auto path = kForms.RenderCertificateForm(ui, nullptr, bytes);
    if (path) made.push_back(*path);
    return path;
  }
  std::optional<std::u16string> Request(std::span<const std::uint8_t> bytes) {
    auto path = kForms.RenderRequestForm(ui, nullptr, bytes);
    if (path) made.push_back(*path);
    return path;
  }

  test::ScriptedUi ui;
  std::vector<std::u16string> made;
};

}  // namespace

// ---- Certificates ----

TEST_F(FormsTest, HeadCaRootAIsAQualifiedCertificateForm) {
  const auto path = Certificate(DataFile("head-ca/rootA.cer"));
  ASSERT_TRUE(path);
  EXPECT_TRUE(ui.messages.empty());
  struct stat st {};
  ASSERT_EQ(::stat(text::ToUtf8(*path).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(text::ToUtf8(*path).ends_with(".html"));
  EXPECT_NE(text::ToUtf8(*path).find("/TVK-"), std::string::npos);

  const std::string bytes = ReadText(*path);
  EXPECT_NE(bytes.find("charset=windows-1251"), std::string::npos);
  EXPECT_NE(bytes.find(Cp1251("Серийный номер")), std::string::npos);  // written in windows-1251
  const Html html = ParseHtml(bytes);
  EXPECT_EQ(html.title, "Информация, содержащаяся в сертификате ключа проверки электронной подписи");
  EXPECT_TRUE(html.HasBlock("Удостоверяющий центр ООО «Talvik»"));
  EXPECT_TRUE(html.HasBlock("Кому выдан: Головной удостоверяющий центр"));
  EXPECT_TRUE(html.HasBlock("Кем выдан: Головной удостоверяющий центр"));
  EXPECT_TRUE(html.HasBlock("Серийный номер: 34 68 1E 40 CB 41 EF 33 A9 A0 B7 C8 76 92 9A 29"));
  EXPECT_TRUE(
      html.HasBlock("Срок действия: Действителен с 20 июля 2012 г. 12:31:14 UTC по 17 июля 2027 г. 12:31:14 UTC"));
  EXPECT_TRUE(html.HasBlock("4. Расширение 2.5.29.15 (критическое)"));
  EXPECT_TRUE(html.HasBlock(" (06)"));
  EXPECT_TRUE(
      html.Contains("[1]Идентификатор политики=Класс средства ЭП КС1 [2]Идентификатор политики=Класс "
                    "средства ЭП КС2"));
  EXPECT_TRUE(html.HasBlock("Название: ГОСТ Р 34.10-2001, идентификатор: 1.2.643.2.2.19"));
  EXPECT_TRUE(html.HasBlock("Подпись Удостоверяющего центра:"));
  EXPECT_TRUE(html.HasBlock(kQualified));
  EXPECT_FALSE(html.HasBlock(kNonQualified));
  EXPECT_TRUE(html.HasBlock("УЦ Talvik: ____________________________/__________________________________"));
  EXPECT_TRUE(html.HasBlock("\"_____\" _____________________________ 20____ г."));
  // The version element is not shown.
  EXPECT_EQ(html.IndexOf("Версия"), -1);
}

TEST_F(FormsTest, CertificateFormCarriesTheGuideAfterAPageBreak) {
  const auto path = Certificate(DataFile("head-ca/rootA.cer"));
  ASSERT_TRUE(path);
  const Html html = ParseHtml(ReadText(*path));
  EXPECT_NE(std::find(html.classes.begin(), html.classes.end(), "more"), html.classes.end());
  const int heading = html.IndexOf(
      "Руководство по обеспечению безопасности использования электронной подписи и средств электронной подписи.");
  ASSERT_GT(heading, html.IndexOf(kQualified));
  const char* sections[] = {"1.\tОбщие рекомендации.",
                            "2.\tУсловия и порядок использования электронной подписи и средств электронной подписи.",
                            "3.\tМеры, необходимые для обеспечения безопасности ключа электронной подписи",
                            "4.\tДействия при компрометации или подозрении на компрометацию ключевой информации",
                            "5.\tРиски, связанные с использованием электронной подписи.",
                            "6.\tЗаключительные положения."};
  int last = heading;
  for (const char* s : sections) {
    const int at = html.IndexOf(s);
    EXPECT_GT(at, last) << s;
    last = at;
  }
  EXPECT_GT(html.IndexOf("6.6. "), html.IndexOf("6.5. "));
  EXPECT_GT(html.IndexOf("1.1. "), heading);
}

TEST_F(FormsTest, HeadCaRootBFromBase64) {
  const auto path = Certificate(DataFile("head-ca/rootB.b64"));
  ASSERT_TRUE(path);
  const Html html = ParseHtml(ReadText(*path));
  EXPECT_TRUE(html.HasBlock("Серийный номер: 4E 6D 47 8B 26 F2 7D 65 7F 76 8E 02 5C E3 D3 93"));
  EXPECT_TRUE(
      html.HasBlock("Срок действия: Действителен с 6 июля 2018 г. 12:18:06 UTC по 1 июля 2036 г. 12:18:06 UTC"));
  EXPECT_TRUE(html.HasBlock("Кому выдан: Минкомсвязь России"));
  EXPECT_TRUE(html.HasBlock(kQualified));
  EXPECT_TRUE(html.HasBlock("Название: ГОСТ Р 34.11/34.10-2012-256, идентификатор: 1.2.643.7.1.1.3.2"));
}

TEST_F(FormsTest, DerPemAndBase64GiveTheSameCertificateForm) {
  const auto derBytes = DataFile("head-ca/rootB.cer");
  const std::string b64 = text::Base64Encode(derBytes);
  std::string pem = "-----BEGIN CERTIFICATE-----\r\n";
  for (std::size_t i = 0; i < b64.size(); i += 64) pem += b64.substr(i, 64) + "\r\n";
  pem += "-----END CERTIFICATE-----\r\n";
  const auto a = kForms.RenderCertificateHtml(ui, nullptr, derBytes);
  const auto b = kForms.RenderCertificateHtml(ui, nullptr, Ascii(pem));
  const auto c = kForms.RenderCertificateHtml(ui, nullptr, Ascii(b64));
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(*a, *b);
  EXPECT_EQ(*a, *c);
}

TEST_F(FormsTest, CertificateDocumentConventions) {
  CertFields fields;
  fields.serial = {0x03, 0x02, 0x01};
  fields.issuer = CnName("Test CA", "Рога & Копыта");
  const std::string xml = CertificateXml(MakeCertificate(fields));
  EXPECT_TRUE(xml.starts_with("<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\n<certificate xmlns=\""));
  EXPECT_NE(xml.find(std::string("xmlns=\"") + kDocumentNamespace + "\" xmlns:pki=\"" + kDocumentNamespace + "\">"),
            std::string::npos);
  EXPECT_NE(xml.find("<version pki:value=\"2\">3</version>\n"), std::string::npos);
  EXPECT_NE(xml.find("<serial-number>03 02 01</serial-number>\n"), std::string::npos);
  EXPECT_NE(xml.find("<value>Рога &#x26; Копыта</value>"), std::string::npos);
  EXPECT_NE(xml.find("<notBefore>5 марта 2024 г. 09:30:00 UTC</notBefore>"), std::string::npos);
  EXPECT_NE(xml.find("<notAfter>31 декабря 2025 г. 23:59:59 UTC</notAfter>"), std::string::npos);
  EXPECT_NE(xml.find("<qualified pki:value=\"no\" />"), std::string::npos);
  EXPECT_NE(xml.find("<extensions>\n</extensions>\n"), std::string::npos);
  EXPECT_TRUE(xml.ends_with("</attributes>\n</certificate>\n"));

  const auto html = kForms.RenderCertificateHtml(ui, nullptr, MakeCertificate(fields));
  ASSERT_TRUE(html);
  const Html parsed = ParseHtml(*html);
  EXPECT_TRUE(parsed.HasBlock(kNonQualified));
  EXPECT_TRUE(parsed.HasBlock("Издатель сертификата: O=Рога & Копыта, CN=Test CA"));
  EXPECT_TRUE(parsed.HasBlock("Кем выдан: Test CA"));
}

TEST_F(FormsTest, QualifiedFlagFollowsTheIssuerCommonName) {
  auto flag = [&](const der::Bytes& issuer) {
    CertFields fields;
    fields.issuer = issuer;
    const std::string xml = CertificateXml(MakeCertificate(fields));
    return xml.find("<qualified pki:value=\"yes\" />") != std::string::npos;
  };
  EXPECT_TRUE(flag(CnName("УЦ № 1, «Тест»")));
  EXPECT_FALSE(flag(CnName("Test CA")));
  EXPECT_FALSE(flag(CnName("УЦ z")));
  EXPECT_FALSE(flag(CnName("")));  // no common name at all
}

TEST_F(FormsTest, TwelveExtensionsInCertificateOrder) {
  CertFields fields;
  for (int i = 1; i <= 12; ++i) {
    fields.extensions.push_back(Extension(("1.2.3." + std::to_string(i)).c_str(), der::Integer(i), i == 5));
  }
  const std::string xml = CertificateXml(MakeCertificate(fields));
  std::size_t pos = 0;
  for (int i = 1; i <= 12; ++i) {
    const std::string entry = "<extension pki:order=\"" + std::to_string(i) + "\" pki:id=\"1.2.3." + std::to_string(i) +
                              "\" pki:critical=\"" + (i == 5 ? "yes" : "no") + "\">\n";
    const std::size_t at = xml.find(entry, pos);
    ASSERT_NE(at, std::string::npos) << entry;
    pos = at;
  }
}

TEST_F(FormsTest, ExtensionTextsReachTheFormEscaped) {
  CertFields fields;
  const auto dirName = der::Sequence({der::ContextConstructed(
      4, {der::Sequence({der::Set({der::Sequence({*der::Oid("2.5.4.10"), der::Utf8String("A<B & C>")})})})})});
  fields.extensions.push_back(Extension("2.5.29.17", dirName));
  fields.extensions.push_back(Extension("1.2.643.100.114", der::Integer(0x1F)));  // raw control byte
  const der::Bytes cert = MakeCertificate(fields);
  const std::string xml = CertificateXml(cert);
  EXPECT_NE(xml.find("<value>[1]Имя каталога: O=A&#x3C;B &#x26; C&#x3E; </value>"), std::string::npos);
  EXPECT_NE(xml.find("<name>Тип идентификации при выдаче сертификата</name><value>?</value>"), std::string::npos);
  const auto html = kForms.RenderCertificateHtml(ui, nullptr, cert);
  ASSERT_TRUE(html);
  EXPECT_TRUE(ParseHtml(*html).HasBlock("[1]Имя каталога: O=A<B & C> "));
}

TEST_F(FormsTest, SubjectAttributesOfACertificate) {
  X509Certificate cert(DataFile("head-ca/rootA.cer"));
  const auto attrs = cert.SubjectAttributes();
  ASSERT_TRUE(attrs);
  ASSERT_EQ(attrs->size(), 9u);
  EXPECT_EQ(attrs->back().oid, "2.5.4.3");
  EXPECT_EQ(attrs->back().value, u"Головной удостоверяющий центр");
  EXPECT_FALSE(X509Certificate(Ascii("junk")).SubjectAttributes());
}

// ---- Hostile input ----

TEST_F(FormsTest, EveryTruncationOfACertificateFailsCleanly) {
  const auto cert = DataFile("head-ca/rootA.cer");
  for (std::size_t n = 1; n < cert.size(); n += 7) {
    const std::span<const std::uint8_t> prefix(cert.data(), n);
    EXPECT_FALSE(X509Certificate(prefix).Decoded()) << n;
  }
  test::ScriptedUi local;
  EXPECT_FALSE(
      kForms.RenderCertificateHtml(local, nullptr, std::span<const std::uint8_t>(cert.data(), cert.size() / 2)));
  ASSERT_EQ(local.messages.size(), 1u);
  EXPECT_EQ(local.messages[0].Utf8(), "Ошибка создания XML файла");
  EXPECT_EQ(local.messages[0].kind, MessageKind::Error);
}

TEST_F(FormsTest, EveryDecodableMutationGivesAWellFormedDocument) {
  const auto original = DataFile("head-ca/rootB.cer");
  int decoded = 0;
  for (std::size_t i = 0; i < original.size(); ++i) {
    for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
      auto bytes = original;
      bytes[i] ^= flip;
      X509Certificate cert(bytes);
      if (!cert.Decoded()) continue;
      ++decoded;
      const auto xml = cert.BuildCertificateXml();
      ASSERT_TRUE(xml);
      ASSERT_TRUE(WellFormed(*xml)) << "byte " << i << " ^ " << int(flip);
    }
  }
  EXPECT_GT(decoded, 100);
}

TEST_F(FormsTest, OddStringTypesInNamesStayWellFormed) {
  const std::uint8_t chinese[] = {0x4E, 0x2D, 0x04, 0x10};  // no windows-1251 form, then "А"
  const std::uint8_t control[] = {'a', 0x00, 0x01, 0x98, '<'};
  const auto issuer = der::Sequence({
      der::Set({der::Sequence({*der::Oid("2.5.4.3"), der::Tlv(der::tag::kBmpString, chinese)})}),
      der::Set({der::Sequence({*der::Oid("2.5.4.10"), der::Tlv(0x14, control)})}),  // T61String
  });
  CertFields fields;
  fields.issuer = issuer;
  X509Certificate cert(MakeCertificate(fields));
  ASSERT_TRUE(cert.Decoded());
  const auto xml = cert.BuildCertificateXml();
  ASSERT_TRUE(xml);
  EXPECT_TRUE(WellFormed(*xml));
  EXPECT_NE(xml->find("<value>?\xC0</value>"), std::string::npos);
  EXPECT_NE(xml->find("<value>a???&#x3C;</value>"), std::string::npos);
  const auto html = kForms.RenderCertificateHtml(ui, nullptr, MakeCertificate(fields));
  ASSERT_TRUE(html);
  EXPECT_TRUE(ParseHtml(*html).HasBlock("Кем выдан: ?А"));
  // Malformed BMP and Universal strings are refused by the decoder, never read past their end.
  const std::uint8_t oddBmp[] = {0x04, 0x1F, 0x00};
  fields.issuer =
      der::Sequence({der::Set({der::Sequence({*der::Oid("2.5.4.3"), der::Tlv(der::tag::kBmpString, oddBmp)})})});
  X509Certificate odd(MakeCertificate(fields));
  if (odd.Decoded()) {
    EXPECT_TRUE(WellFormed(*odd.BuildCertificateXml()));
  }
}

TEST_F(FormsTest, FailuresAndTheirMessages) {
  EXPECT_FALSE(kForms.RenderCertificateForm(ui, nullptr, {}));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(kForms.RenderRequestForm(ui, nullptr, static_cast<io::ASVariableBuffer*>(nullptr)));
  EXPECT_TRUE(ui.messages.empty());

  io::ASVariableBuffer empty;
  EXPECT_FALSE(kForms.RenderRequestForm(ui, nullptr, &empty));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].Utf8(), "Неизвестная ошибка");

  EXPECT_FALSE(kForms.RenderRequestForm(ui, nullptr, Ascii("not a request")));
  EXPECT_FALSE(kForms.RenderCertificateForm(ui, nullptr, DataFile("head-ca/README.md")));
  const std::vector<std::uint8_t> huge(kMaxObjectSize + 1, 'A');
  EXPECT_FALSE(kForms.RenderCertificateForm(ui, nullptr, huge));
  // A certificate is not a request and a request is not a certificate.
  EXPECT_FALSE(kForms.RenderRequestForm(ui, nullptr, DataFile("head-ca/rootA.cer")));
  ASSERT_EQ(ui.messages.size(), 5u);
  for (std::size_t i = 1; i < ui.messages.size(); ++i) {
    EXPECT_EQ(ui.messages[i].Utf8(), "Ошибка создания XML файла") << i;
  }
}

TEST_F(FormsTest, AnHtmlFileThatCannotBeWrittenIsAFailure) {
  const char* saved = std::getenv("TMPDIR");
  const std::string keep = saved != nullptr ? saved : "";
  ::setenv("TMPDIR", "/nonexistent/orvane-forms", 1);
  const auto path = kForms.RenderCertificateForm(ui, nullptr, DataFile("head-ca/rootA.cer"));
  if (saved != nullptr) {
    ::setenv("TMPDIR", keep.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  EXPECT_FALSE(path);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].Utf8(), "Ошибка записи HTML файла");
}

// ---- Transformation ----

TEST_F(FormsTest, TransformHonoursTheOutputDeclarationAndForbidsFiles) {
  const std::string xml = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\n<a>" + Cp1251("Жук") + "</a>";
  const std::string html = R"(<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" encoding="windows-1251"/>
<xsl:param name="p" select="'-'"/>
<xsl:template match="/"><html><head><title>t</title></head><body><p><xsl:value-of select="a"/>/<xsl:value-of select="$p"/></p></body></html></xsl:template>
</xsl:stylesheet>)";
  const auto out = TransformXml(xml, Ascii(html), {{"p", "it's \"quoted\""}});
  ASSERT_TRUE(out);
  EXPECT_NE(out->find("<p>" + Cp1251("Жук") + "/it's \"quoted\"</p>"), std::string::npos) << *out;
  EXPECT_NE(out->find("charset=windows-1251"), std::string::npos);

  const std::string reader = R"X(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="text"/>
<xsl:template match="/">[<xsl:value-of select="document('/etc/passwd')"/>]</xsl:template>
</xsl:stylesheet>)X";
  const auto leaked = TransformXml(xml, Ascii(reader));
  EXPECT_TRUE(!leaked || leaked->find("root") == std::string::npos);

  EXPECT_FALSE(TransformXml("<a>", Ascii(html)));
  EXPECT_FALSE(TransformXml(xml, Ascii("<not-xslt/>")));
  EXPECT_FALSE(TransformXml("", Ascii(html)));
}

TEST_F(FormsTest, StylesheetsAreWindows1251AndBindTheDocumentNamespace) {
  for (const auto sheet : {RequestStylesheet(), CertificateStylesheet()}) {
    const std::string s(sheet.begin(), sheet.end());
    EXPECT_TRUE(s.starts_with("<?xml version=\"1.0\" encoding=\"windows-1251\"?>"));
    EXPECT_NE(s.find(std::string("xmlns:pki=\"") + kDocumentNamespace + "\""), std::string::npos);
    EXPECT_NE(s.find("media-type=\"text/html;charset=windows-1251\""), std::string::npos);
    EXPECT_EQ(s.find("\xD0\x90"), std::string::npos);  // no UTF-8 left
  }
}

// ---- Requests ----

namespace {

class RequestFormsTest : public FormsTest {
 protected:
  void SetUp() override { csp::EnumerateGostProviders(&catalogue, env.registry); }

  der::Bytes MakeRequest(csp::GostGeneration generation, const std::u16string& name, bool withPairs) {
    keys::KeyRequestInputs in;
    in.family = csp::kKindCryptoPro;
    in.generation = generation;
    in.providerName =
        csp::FindProviderName(static_cast<std::uint32_t>(csp::ProviderTypeFor(in.family, generation)), catalogue);
    in.subject = *request::ParseAttributeList(
        std::u16string(u"2.5.4.3=\"Иванов Иван, ИП\",2.5.4.10=\"Рога & Копыта\",2.5.4.6=RU,1.2.643.100.3=12345678901,"
                       u"2.5.4.65=x"));
    in.eku = std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2", u"1.2.3.4"};
    in.containerPath = u"\\\\.\\Reader A\\" + name;
    if (withPairs) {
      in.period = "12 Months";
      in.policyLevel = "KC2";
      in.identificationKind = 3;
      in.altName = *request::ParseAttributeList(std::u16string(u"2.5.4.10=\"ООО Рога & Копыта\""));
    }
    const auto result = keys::CreateKeyAndRequest(in, catalogue, env.registry);
    EXPECT_TRUE(result.der) << std::hex << result.error;
    return result.der.value_or(der::Bytes{});
  }

  test::ProviderEnvironment env;
  csp::providerCatalogue catalogue;
};

std::string RequestXml(const der::Bytes& request) {
  X509Request req(request);
  EXPECT_TRUE(req.Decoded());
  return Utf8(req.BuildRequestXml().value_or(""));
}

std::size_t Count(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST_F(RequestFormsTest, RequestDocumentHasThreeAttributeBlocksInOrder) {
  const std::string xml = RequestXml(MakeRequest(csp::kGost2012_256, u"forms-doc", true));
  EXPECT_TRUE(xml.starts_with("<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\n<request xmlns=\""));
  EXPECT_NE(xml.find("<version pki:value=\"0\">1</version>\n"), std::string::npos);
  const std::size_t a1 = xml.find("<attribute pki:order=\"1\" pki:id=\"1.3.6.1.4.1.311.13.2.2\">");
  const std::size_t a2 = xml.find("<attribute pki:order=\"2\" pki:id=\"1.3.6.1.4.1.311.2.1.14\">");
  const std::size_t a3 = xml.find("<attribute pki:order=\"3\" pki:id=\"1.3.6.1.4.1.311.13.2.1\">");
  ASSERT_NE(a1, std::string::npos);
  ASSERT_NE(a2, std::string::npos);
  ASSERT_NE(a3, std::string::npos);
  EXPECT_LT(a1, a2);
  EXPECT_LT(a2, a3);
  EXPECT_EQ(Count(xml, "<attribute "), 3u);
  EXPECT_NE(xml.find("<key-spec><value>AT_KEYEXCHANGE</value></key-spec><csp-name><value>"), std::string::npos);
  EXPECT_NE(xml.find("<csp-signature></csp-signature>"), std::string::npos);
  EXPECT_NE(xml.find("<name>CN</name><value>Иванов Иван, ИП</value>"), std::string::npos);
  EXPECT_NE(xml.find("<name>O</name><value>Рога &#x26; Копыта</value>"), std::string::npos);
  EXPECT_NE(xml.find("<name>СНИЛС</name><value>12345678901</value>"), std::string::npos);
  EXPECT_NE(xml.find("<rdn-attr pki:id=\"2.5.4.65\"><name>2.5.4.65</name>"), std::string::npos);
  EXPECT_NE(xml.find("<extension pki:order=\"1\" pki:id=\"2.5.29.15\" pki:critical=\"yes\"><name>Использование "
                     "ключа</name><value>Цифровая подпись, Неотрекаемость, Шифрование ключей, Шифрование данных "
                     "(f0)</value></extension>"),
            std::string::npos);
  EXPECT_EQ(Count(xml, "pki:critical=\"yes\""), 1u);
  EXPECT_EQ(Count(xml, "pki:critical=\"no\""), 6u);
  EXPECT_NE(xml.find("Проверка подлинности клиента (1.3.6.1.5.5.7.3.2) 1.2.3.4 (1.2.3.4) "), std::string::npos);
  EXPECT_NE(xml.find("[1]Имя каталога: O=ООО Рога &#x26; Копыта </value>"), std::string::npos);
  EXPECT_NE(xml.find("Без личного присутствия с использованием сведений из ЕСИА и ЕБС"), std::string::npos);
  EXPECT_NE(xml.find("<name-value-pair pki:order=\"1\">\n<name>CpRaCertPeriod</name><value>12</value>"),
            std::string::npos);
  EXPECT_NE(xml.find("<name-value-pair pki:order=\"2\">\n<name>CpRaCertPeriodUnits</name><value>Months</value>"),
            std::string::npos);
  EXPECT_NE(xml.find("<signature-algorithm><name>ГОСТ Р 34.11/34.10-2012-256</name></signature-algorithm>\n"),
            std::string::npos);
  EXPECT_TRUE(xml.ends_with("</signed-content>\n</request>\n"));
  EXPECT_TRUE(WellFormed(*X509Request(MakeRequest(csp::kGost2012_256, u"forms-doc2", true)).BuildRequestXml()));
}

TEST_F(RequestFormsTest, RequestFormHtml) {
  const auto path = Request(MakeRequest(csp::kGost2012_256, u"forms-html", true));
  ASSERT_TRUE(path);
  EXPECT_TRUE(ui.messages.empty());
  const Html html = ParseHtml(ReadText(*path));
  EXPECT_EQ(html.title, "Запрос на сертификат X.509");
  EXPECT_TRUE(html.HasBlock("Запрос на сертификат ключа проверки электронной подписи"));
  EXPECT_TRUE(html.HasBlock("Удостоверяющий центр ООО «Talvik»"));
  EXPECT_TRUE(html.HasBlock("Кем выпущен: Иванов Иван, ИП"));
  EXPECT_TRUE(html.HasBlock("Версия: 1 (0x0)"));
  EXPECT_TRUE(html.HasBlock(
      "Субьект запроса на сертификат: CN=Иванов Иван, ИП, O=Рога & Копыта, C=RU, СНИЛС=12345678901, 2.5.4.65=x"));
  const int a1 = html.IndexOf("1. Атрибут 1.3.6.1.4.1.311.13.2.2");
  const int a2 = html.IndexOf("2. Атрибут 1.3.6.1.4.1.311.2.1.14");
  const int a3 = html.IndexOf("3. Атрибут 1.3.6.1.4.1.311.13.2.1");
  EXPECT_GE(a1, 0);
  EXPECT_GT(a2, a1);
  EXPECT_GT(a3, a2);
  EXPECT_TRUE(html.HasBlock("Назначение ключа : ОБМЕН"));
  EXPECT_GE(html.IndexOf("Название провайдера : "), 0);
  EXPECT_TRUE(html.HasBlock("Подпись провайдера : "));
  EXPECT_TRUE(html.HasBlock("1. Расширение 2.5.29.15 (критическое)"));
  EXPECT_TRUE(html.HasBlock("2. Расширение 2.5.29.37"));
  EXPECT_TRUE(html.HasBlock("1. CpRaCertPeriod"));
  EXPECT_TRUE(html.HasBlock("Значение: Months"));
  EXPECT_TRUE(html.HasBlock("Алгоритм подписи: ГОСТ Р 34.11/34.10-2012-256"));
  EXPECT_TRUE(html.HasBlock("Подпись владельца запроса на сертификат: ___________/_______________"));
  EXPECT_TRUE(html.HasBlock("\"___\" ________ 20__ г."));
  EXPECT_TRUE(html.HasBlock("М. П."));
  EXPECT_TRUE(html.HasBlock(
      "Подписанный запрос на сертификат ключа проверки электронной подписи следует переслать по адресу:"));
  EXPECT_TRUE(html.Contains(kContacts.caAddress));
  EXPECT_TRUE(html.Contains(kContacts.caPhone));
}

TEST_F(RequestFormsTest, PemAndBufferRenderTheSameFormAsDer) {
  const auto request = MakeRequest(csp::kGost2012_512, u"forms-pem", false);
  const std::string b64 = text::Base64Encode(request);
  std::string pem = "-----BEGIN CERTIFICATE REQUEST-----\n";
  for (std::size_t i = 0; i < b64.size(); i += 64) pem += b64.substr(i, 64) + "\n";
  pem += "-----END CERTIFICATE REQUEST-----\n";
  const auto fromDer = kForms.RenderRequestHtml(ui, nullptr, request);
  const auto fromPem = kForms.RenderRequestHtml(ui, nullptr, Ascii(pem));
  ASSERT_TRUE(fromDer && fromPem);
  EXPECT_EQ(*fromDer, *fromPem);

  io::ASVariableBuffer buffer;
  ASSERT_TRUE(buffer.Append(pem));
  const auto path = kForms.RenderRequestForm(ui, nullptr, &buffer);
  ASSERT_TRUE(path);
  made.push_back(*path);
  EXPECT_EQ(ReadText(*path), *fromDer);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RequestFormsTest, SignatureValueShowsAtMost64Bytes) {
  auto signatureGroups = [](const std::string& xml) {
    const std::size_t at = xml.find("<signature-value><value>");
    const std::size_t end = xml.find("</value>", at);
    return Count(xml.substr(at, end - at), " ");
  };
  EXPECT_EQ(signatureGroups(RequestXml(MakeRequest(csp::kGost2012_512, u"forms-512", false))), 32u);
  EXPECT_EQ(signatureGroups(RequestXml(MakeRequest(csp::kGost2001, u"forms-2001", false))), 32u);
  const std::string xml = RequestXml(MakeRequest(csp::kGost2012_512, u"forms-512b", false));
  EXPECT_EQ(Count(xml, "<attribute "), 2u);
  EXPECT_NE(xml.find("<name>ГОСТ Р 34.10-2012-512</name><parameters>30 "), std::string::npos);
}

TEST_F(RequestFormsTest, RenderingTwiceGivesTwoFiles) {
  const auto request = MakeRequest(csp::kGost2012_256, u"forms-twice", false);
  const auto a = Request(request);
  const auto b = Request(request);
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_EQ(ReadText(*a), ReadText(*b));
}

TEST_F(RequestFormsTest, EveryTruncationOfARequestFailsCleanly) {
  const auto request = MakeRequest(csp::kGost2012_256, u"forms-cut", true);
  for (std::size_t n = 1; n < request.size(); ++n) {
    EXPECT_FALSE(X509Request(std::span<const std::uint8_t>(request.data(), n)).Decoded()) << n;
  }
  int decoded = 0;
  for (std::size_t i = 0; i < request.size(); ++i) {
    auto bytes = request;
    bytes[i] ^= 0x01;
    X509Request req(bytes);
    if (!req.Decoded()) continue;
    ++decoded;
    const auto xml = req.BuildRequestXml();
    ASSERT_TRUE(xml);
    ASSERT_TRUE(WellFormed(*xml)) << i;
  }
  EXPECT_GT(decoded, 50);
}

// ---- The command-line front ----

TEST(FormsTool, RenderCertAndRequestCommands) {
  char dirTemplate[] = "/tmp/orvane-forms-tool-XXXXXX";
  ASSERT_NE(::mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  const std::string tool = std::string(ORVANE_BINARY_DIR) + "/src/orvane-tool";
  const std::string out = dir + "/rootA.html";
  const std::string cert = std::string(ORVANE_TEST_DATA_DIR) + "/head-ca/rootA.cer";
  EXPECT_EQ(std::system((tool + " render-cert " + cert + " -o " + out + " >/dev/null 2>&1").c_str()), 0);
  const auto bytes = ReadFile(out);
  const Html html = ParseHtml(std::string(bytes.begin(), bytes.end()));
  EXPECT_TRUE(html.HasBlock("Серийный номер: 34 68 1E 40 CB 41 EF 33 A9 A0 B7 C8 76 92 9A 29"));

  const std::string xml = dir + "/rootB.xml";
  const std::string b64 = std::string(ORVANE_TEST_DATA_DIR) + "/head-ca/rootB.b64";
  EXPECT_EQ(std::system((tool + " render-cert " + b64 + " --xml > " + xml + " 2>/dev/null").c_str()), 0);
  const auto xmlBytes = ReadFile(xml);
  EXPECT_TRUE(
      std::string(xmlBytes.begin(), xmlBytes.end()).starts_with("<?xml version=\"1.0\" encoding=\"windows-1251\""));

  EXPECT_NE(std::system((tool + " render-request " + cert + " -o " + dir + "/x.html >/dev/null 2>&1").c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(dir + "/x.html"));
  EXPECT_NE(std::system((tool + " render-cert >/dev/null 2>&1").c_str()), 0);
  EXPECT_NE(std::system((tool + " render-cert " + cert + " --xml -o " + out + " >/dev/null 2>&1").c_str()), 0);
  std::filesystem::remove_all(dir);
}

TEST_F(FormsTest, DerWhoseTextHoldsAPemHeaderIsReadAsDer) {
  CertFields fields;
  fields.issuer = CnName("-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----", "Ловушка");
  const auto der = MakeCertificate(fields);
  const auto decoded = DecodeObjectText(der);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, der);
  test::ScriptedUi local;
  EXPECT_TRUE(kForms.RenderCertificateHtml(local, nullptr, der));
  EXPECT_TRUE(local.messages.empty());
}
