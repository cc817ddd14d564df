// The certificate viewer's texts on the head-CA roots: names, validity, thumbprint, the field
// rows and their agreement with the certificate form's document.
#include "render/certificate_view.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#include <fstream>
#include <iterator>

#include "crypto/gost.h"
#include "render/xml_documents.h"
#include "text/text.h"

using namespace orvane;
using namespace orvane::render;

namespace {

std::vector<std::uint8_t> DataFile(const std::string& name) {
  std::ifstream in(std::string(ORVANE_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The (name, value) texts of the form document's extensions, still escaped.
std::vector<std::pair<std::string, std::string>> FormExtensions(const std::string& xml) {
  std::vector<std::pair<std::string, std::string>> out;
  auto Between = [&](std::size_t& at, const std::string& open, const std::string& close) {
    const std::size_t start = xml.find(open, at) + open.size();
    at = xml.find(close, start);
    return xml.substr(start, at - start);
  };
  for (std::size_t at = xml.find("<extension "); at != std::string::npos; at = xml.find("<extension ", at)) {
    std::string name = Between(at, "<name>", "</name>");
    out.emplace_back(std::move(name), Between(at, "<value>", "</value>"));
  }
  return out;
}

std::u16string Field(const CertificateView& view, std::u16string_view name) {
  for (const auto& [n, v] : view.fields) {
    if (n == name) return v;
  }
  return u"<none>";
}

struct Root {
  const char* file;
  std::u16string name;
  std::u16string from;
  std::u16string to;
};

class CertificateViewTest : public ::testing::TestWithParam<Root> {};

TEST_P(CertificateViewTest, DescribesTheRoot) {
  const Root& root = GetParam();
  const auto der = DataFile(root.file);
  const auto view = DescribeCertificate(der);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->owner, root.name);
  EXPECT_EQ(view->issuer, root.name);
  EXPECT_EQ(view->validFrom, root.from);
  EXPECT_EQ(view->validTo, root.to);
  EXPECT_EQ(view->thumbprint.size(), 40u);
  EXPECT_EQ(text::ToUtf8(view->thumbprint), crypto::ThumbprintOf(der));

  const std::vector<std::u16string> head = {u"Версия",   u"Серийный номер", u"Алгоритм подписи",
                                            u"Издатель", u"Действителен с", u"Действителен по",
                                            u"Субъект",  u"Открытый ключ"};
  const auto& rows = view->fields;
  ASSERT_GT(rows.size(), head.size() + 2);
  for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(rows[i].first, head[i]);
  EXPECT_EQ(rows[rows.size() - 2].first, u"Подпись");
  EXPECT_EQ(rows.back().first, u"Отпечаток");
  EXPECT_EQ(rows.back().second, view->thumbprint);
  EXPECT_EQ(Field(*view, u"Версия"), u"V3");
  EXPECT_EQ(Field(*view, u"Действителен с"), root.from);
  EXPECT_NE(Field(*view, u"Субъект").find(u"CN=" + root.name), std::u16string::npos);
  EXPECT_EQ(Field(*view, u"Субъект"), Field(*view, u"Издатель"));
  EXPECT_TRUE(Field(*view, u"Открытый ключ").starts_with(u"ГОСТ Р 34.10-"));
  EXPECT_TRUE(Field(*view, u"Алгоритм подписи").starts_with(u"ГОСТ Р 34.11/"));
  EXPECT_GE(Field(*view, u"Подпись").size(), 64u * 2);

  // The extension rows say what the form says.
  const auto xml = X509Certificate(der).BuildCertificateXml();
  ASSERT_TRUE(xml);
  const auto extensions = FormExtensions(*xml);
  ASSERT_FALSE(extensions.empty());
  ASSERT_EQ(rows.size(), head.size() + extensions.size() + 2);
  for (std::size_t i = 0; i < extensions.size(); ++i) {
    const auto& row = rows[head.size() + i];
    EXPECT_EQ(EscapeXmlText(ToCp1251(row.first)), extensions[i].first) << i;
    EXPECT_EQ(EscapeXmlText(ToCp1251(row.second)), extensions[i].second) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(HeadCa, CertificateViewTest,
                         ::testing::Values(Root{"head-ca/rootA.cer", u"Головной удостоверяющий центр",
                                                u"20 июля 2012 г. 12:31:14 UTC", u"17 июля 2027 г. 12:31:14 UTC"},
                                           Root{"head-ca/rootB.cer", u"Минкомсвязь России",
                                                u"6 июля 2018 г. 12:18:06 UTC", u"1 июля 2036 г. 12:18:06 UTC"}));

TEST(CertificateView, NoneForWhatIsNotACertificate) {
  auto der = DataFile("head-ca/rootA.cer");
  ASSERT_GT(der.size(), 100u);
  der.resize(der.size() - 10);
  EXPECT_FALSE(DescribeCertificate(der));
  EXPECT_FALSE(DescribeCertificate({}));
  // Nor a request or certificate document. What did not decode leaves no stale entry on the
  // thread's OpenSSL error queue (a later TLS failure would be reported with it).
  EXPECT_FALSE(X509Request(der).BuildRequestXml());
  EXPECT_FALSE(X509Certificate(der).BuildCertificateXml());
  EXPECT_EQ(ERR_peek_error(), 0ul) << ERR_error_string(ERR_peek_error(), nullptr);
}

}  // namespace
