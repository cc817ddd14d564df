#include "request/request_data.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <map>

#include "io/reply_reader.h"
#include "text/text.h"

using namespace orvane;
using request::ReadRequestData;

namespace {

std::shared_ptr<request::remoteRequestData> Read(const std::string& xml) {
  io::ASVariableBuffer body;
  body.Append(xml);
  return ReadRequestData(body);
}

std::string Hex(const unsigned char* d, std::size_t n) {
  static const char* k = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s.push_back(k[d[i] >> 4]);
    s.push_back(k[d[i] & 15]);
  }
  return s;
}

std::string Sha1Hex(const std::string& s) {
  unsigned char d[20];
  SHA1(reinterpret_cast<const unsigned char*>(s.data()), s.size(), d);
  return Hex(d, 20);
}

}  // namespace

TEST(RequestData, FieldsAndConversions) {
  const std::string subject = "2.5.4.3=Иванов Иван,2.5.4.6=RU";
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<response><request_id>Заявка-7</request_id>"
      "<TEMPLATE>Квалифицированная</TEMPLATE><subject_quoted>" +
      subject +
      "</subject_quoted><eku><oid>1.3.6.1.5.5.7.3.2</oid><oid>1.3.6.1.5.5.7.3.4</oid></eku>"
      "<oid>9.9.9</oid><export>2</export><egais>true</egais><license>yes</license>"
      "<cryptoStandart>GOST2012-512</cryptoStandart><cryptoProvider>ViPNet</cryptoProvider>"
      "<ord>12abc</ord><identificationKind></identificationKind><token_type>SCARD_TYPE_USER"
      "</token_type><certPeriod>P1Y</certPeriod><hash_quoted>" +
      Sha1Hex(subject + "1.3.6.1.5.5.7.3.2" + "1.3.6.1.5.5.7.3.4" + "2") + "</hash_quoted></response>";
  const auto r = Read(xml);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->request_id, u"Заявка-7");
  EXPECT_EQ(r->template_, u"Квалифицированная");
  EXPECT_EQ(r->subject_quoted, text::FromUtf8(subject));
  ASSERT_TRUE(r->eku);
  EXPECT_EQ(*r->eku, (std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2", u"1.3.6.1.5.5.7.3.4"}));
  EXPECT_FALSE(r->export_);  // "2" is not truthy, but entered the digest
  EXPECT_TRUE(r->egais);
  EXPECT_TRUE(r->license);
  EXPECT_EQ(r->cryptoStandart, 2);
  EXPECT_EQ(r->cryptoProvider, 2);
  EXPECT_EQ(r->ord, 12u);
  EXPECT_FALSE(r->identificationKind);
  EXPECT_EQ(r->token_type, "SCARD_TYPE_USER");
  EXPECT_EQ(r->certPeriod, "P1Y");
  EXPECT_EQ(r->hashLength, 20);
  EXPECT_TRUE(r->HasRequiredFields());
  EXPECT_TRUE(r->DigestMatches());
}

TEST(RequestData, DigestCatchesChangedData) {
  const std::string good = Sha1Hex(
      "CN=a"
      "1.2.3"
      "0");
  auto doc = [&](const std::string& subject, const std::string& exp, const std::string& hash) {
    return "<r><subject_quoted>" + subject +
           "</subject_quoted><request_id>1</request_id><eku><oid>1.2.3</oid>"
           "</eku><export>" +
           exp + "</export><hash_quoted>" + hash + "</hash_quoted></r>";
  };
  EXPECT_TRUE(Read(doc("CN=a", "0", good))->DigestMatches());
  EXPECT_TRUE(Read(doc(
                       "CN=a", "0",
                       good.substr(0, 0) +
                           [&] {
                             std::string lower = good;
                             for (char& c : lower) c = static_cast<char>(std::tolower(c));
                             return lower;
                           }()))
                  ->DigestMatches());
  EXPECT_FALSE(Read(doc("CN=b", "0", good))->DigestMatches());                // subject changed
  EXPECT_FALSE(Read(doc("CN=a", "1", good))->DigestMatches());                // export 0 -> 1
  EXPECT_FALSE(Read(doc("CN=a", "0", good.substr(0, 38)))->DigestMatches());  // 19 bytes
  const auto odd = Read(doc("CN=a", "0", good + "A"));                        // 41 characters
  EXPECT_FALSE(odd->hash_quoted);
  EXPECT_EQ(odd->hashLength, 0);
  EXPECT_FALSE(odd->DigestMatches());
}

TEST(RequestData, EnumsFlagsAndNumbers) {
  auto r = Read(
      "<r><cryptoStandart>gost2015</cryptoStandart><cryptoProvider></cryptoProvider>"
      "<export>YES</export><ord></ord><identificationKind>x</identificationKind></r>");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->cryptoStandart, 1);
  EXPECT_EQ(r->cryptoProvider, 0);
  EXPECT_TRUE(r->export_);
  EXPECT_EQ(r->ord, 0u);
  EXPECT_EQ(r->identificationKind, 0u);  // text present, no digits
  EXPECT_FALSE(r->HasRequiredFields());
  r = Read(
      "<r><cryptoStandart>gost2001</cryptoStandart><cryptoProvider>CryptoPro</cryptoProvider>"
      "<identificationKind>3</identificationKind><ord>99999999999</ord></r>");
  EXPECT_EQ(r->cryptoStandart, 0);
  EXPECT_EQ(r->cryptoProvider, 1);
  EXPECT_EQ(r->identificationKind, 3u);
  EXPECT_EQ(r->ord, 0xFFFFFFFFu);  // saturates instead of wrapping
}

TEST(RequestData, MissingOidAndMalformedDocuments) {
  auto r = Read("<r><request_id>1</request_id><subject_quoted>CN=a</subject_quoted><eku></eku><oid>1.2</oid></r>");
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->eku);
  EXPECT_FALSE(r->HasRequiredFields());
  EXPECT_FALSE(Read("<r><request_id>1</request_id>"));
  EXPECT_FALSE(Read(""));
  EXPECT_FALSE(Read("not xml at all"));
  EXPECT_FALSE(Read("<r>&undefined;</r>"));
  // Entity expansion bombs are refused by the parser, not expanded.
  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">";
  for (int i = 1; i < 10; ++i) {
    bomb += "<!ENTITY " + std::string(1, char('a' + i)) + " \"";
    for (int k = 0; k < 10; ++k) bomb += "&" + std::string(1, char('a' + i - 1)) + ";";
    bomb += "\">";
  }
  bomb += "]><r><subject_quoted>&j;</subject_quoted></r>";
  EXPECT_FALSE(Read(bomb));
}

TEST(ReplyReader, NamesCaseNamespacesLastOccurrenceAndChildText) {
  io::ASVariableBuffer body;
  body.Append(
      std::string("<x:reply xmlns:x=\"urn:r\"><X:CERT>first</X:CERT><cert>second</cert>"
                  "<container>a<b>inner</b>tail</container><undeclared:signer_name>S</undeclared:signer_name>"
                  "</x:reply>"));
  std::map<std::string, std::string> seen;
  // An undeclared prefix is not a namespace error for this reader.
  ASSERT_TRUE(io::ReadReplyDocument(
      body, {"cert", "container", "signer_name"},
      [&](const std::string& n, io::ASVariableBuffer& t) { seen[n] = t.ReadAllText().value_or("?"); }));
  EXPECT_EQ(seen["cert"], "second");
  EXPECT_EQ(seen["container"], "inner");  // only the text after the last child's start
  EXPECT_EQ(seen["signer_name"], "S");
}

TEST(ReplyReader, LargeDocumentAcrossChunksAndWindows1251) {
  io::ASVariableBuffer body;
  const std::string filler(100000, 'z');
  body.Append("<r><pad>" + filler + "</pad><cert>" + std::string(70000, 'Q') + "</cert></r>");
  std::string cert;
  ASSERT_TRUE(io::ReadReplyDocument(
      body, {"cert"}, [&](const std::string&, io::ASVariableBuffer& t) { cert = t.ReadAllText().value_or(""); }));
  EXPECT_EQ(cert, std::string(70000, 'Q'));

  io::ASVariableBuffer cp;
  cp.Append(
      std::string("<?xml version=\"1.0\" encoding=\"windows-1251\"?><r><request_id>\xC7\xE0\xFF\xE2\xEA\xE0"
                  "</request_id></r>"));
  const auto r = ReadRequestData(cp);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->request_id, u"Заявка");
}

TEST(ReplyReader, TruthyAndNumbers) {
  EXPECT_TRUE(io::IsTruthy("TRUE"));
  EXPECT_TRUE(io::IsTruthy("Yes"));
  EXPECT_TRUE(io::IsTruthy("1"));
  EXPECT_FALSE(io::IsTruthy(" 1"));
  EXPECT_FALSE(io::IsTruthy(""));
  EXPECT_EQ(io::LeadingNumber("42x"), 42u);
  EXPECT_EQ(io::LeadingNumber("x42"), 0u);
}
