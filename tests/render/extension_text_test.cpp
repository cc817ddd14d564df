#include "render/extension_text.h"

#include <gtest/gtest.h>

#include "crypto/der.h"
#include "text/text.h"

using namespace orvane;
using namespace orvane::render;
namespace der = orvane::crypto::der;

namespace {

std::span<const std::uint8_t> Ascii(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The text as UTF-8, for comparison with the literals here.
std::string Render(const std::string& oid, const der::Bytes& value) {
  const auto text = RenderExtensionText(oid, value);
  if (!text) return "<none>";
  return text->empty() ? std::string() : text::ToUtf8(*text::Cp1251ToWide(*text));
}

der::Bytes Oid(const char* dotted) {
  return *der::Oid(dotted);
}

der::Bytes Uri(std::string_view url) {
  return der::Tlv(0x86, Ascii(url));
}

der::Bytes Name(const std::vector<std::pair<const char*, std::string>>& attributes) {
  std::vector<der::Bytes> rdns;
  for (const auto& [oid, value] : attributes) {
    rdns.push_back(der::Set({der::Sequence({Oid(oid), der::Utf8String(value)})}));
  }
  return der::Sequence(rdns);
}

der::Bytes KeyUsage(std::uint8_t bits) {
  const std::uint8_t contents[] = {0x00, bits};
  return der::Tlv(der::tag::kBitString, contents);
}

}  // namespace

TEST(ExtensionText, MissingInputsGiveNoText) {
  EXPECT_FALSE(RenderExtensionText("", KeyUsage(0xF0)));
  EXPECT_FALSE(RenderExtensionText("2.5.29.15", {}));
}

TEST(ExtensionText, KeyUsageNamesAndByte) {
  EXPECT_EQ(Render("2.5.29.15", KeyUsage(0xF0)),
            "Цифровая подпись, Неотрекаемость, Шифрование ключей, Шифрование данных (f0)");
  EXPECT_EQ(Render("2.5.29.15", KeyUsage(0xC0)), "Цифровая подпись, Неотрекаемость (c0)");
  EXPECT_EQ(Render("2.5.29.15", KeyUsage(0x06)), " (06)");
  EXPECT_EQ(Render("2.5.29.15", KeyUsage(0x30)), "Шифрование ключей, Шифрование данных (30)");
  const std::uint8_t empty[] = {0x03, 0x01, 0x00};
  EXPECT_EQ(Render("2.5.29.15", der::Bytes(std::begin(empty), std::end(empty))), " (00)");
  EXPECT_EQ(Render("2.5.29.15", der::OctetString(Ascii("x"))), "");
}

TEST(ExtensionText, ExtendedKeyUsageWithLabelsAndOids) {
  EXPECT_EQ(Render("2.5.29.37", der::Sequence({Oid("1.3.6.1.5.5.7.3.2")})),
            "Проверка подлинности клиента (1.3.6.1.5.5.7.3.2) ");
  EXPECT_EQ(Render("2.5.29.37", der::Sequence({Oid("1.2.3.4")})), "1.2.3.4 (1.2.3.4) ");
  EXPECT_EQ(Render("2.5.29.37", der::Sequence({Oid("1.3.6.1.5.5.7.3.4"), Oid("1.2.643.2.2.34.6")})),
            "Защищенная электронная почта (1.3.6.1.5.5.7.3.4) "
            "Пользователь Центра Регистрации, HTTP, TLS client (1.2.643.2.2.34.6) ");
}

TEST(ExtensionText, KeyIdentifiers) {
  const std::uint8_t id[] = {0x0A, 0xBC, 0xFF};
  EXPECT_EQ(Render("2.5.29.14", der::OctetString(id)), "0a bc ff");
  const auto aki = der::Sequence(
      {der::Tlv(0x80, id),
       der::ContextConstructed(1, {der::ContextConstructed(4, {Name({{"2.5.4.3", "УЦ"}, {"2.5.4.6", "RU"}})})}),
       der::Tlv(0x82, std::vector<std::uint8_t>{0x01, 0x02, 0x03, 0x04, 0x05})});
  EXPECT_EQ(Render("2.5.29.35", aki),
            "Идентификатор ключа=0a bc ff Поставщик сертификата: CN=УЦ C=RU Серийный номер сертификата=0203 0405");
  const auto onlySerial = der::Sequence({der::Tlv(0x82, std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78})});
  EXPECT_EQ(Render("2.5.29.35", onlySerial), "Идентификатор ключа= Серийный номер сертификата=1234 5678");
}

TEST(ExtensionText, CrlPointsNumbered) {
  auto point = [](std::string_view url) {
    return der::Sequence({der::ContextConstructed(0, {der::ContextConstructed(0, {Uri(url)})})});
  };
  EXPECT_EQ(Render("2.5.29.31", der::Sequence({point("http://a.example/1.crl"), point("http://b.example/2.crl")})),
            "[1]URL=http://a.example/1.crl [2]URL=http://b.example/2.crl ");
}

TEST(ExtensionText, AuthorityInformationAccessNumbered) {
  const auto aia = der::Sequence({der::Sequence({Oid("1.3.6.1.5.5.7.48.1"), Uri("http://ocsp.example/")}),
                                  der::Sequence({Oid("1.3.6.1.5.5.7.48.2"), Uri("http://ca.example/ca.crt")})});
  EXPECT_EQ(Render("1.3.6.1.5.5.7.1.1", aia),
            "[1]Метод доступа=Протокол определения состояния сертификата через сеть URL=http://ocsp.example/ "
            "[2]Метод доступа=Поставщик центра сертификации URL=http://ca.example/ca.crt ");
}

TEST(ExtensionText, PrivateKeyUsagePeriodDecodedDirectly) {
  const auto both = der::Sequence({der::Tlv(0x80, Ascii("20240305093000Z")), der::Tlv(0x81, Ascii("20251231235959Z"))});
  EXPECT_EQ(Render("2.5.29.16", both),
            "Действителен с 5 марта 2024 г. 09:30:00 UTC по 31 декабря 2025 г. 23:59:59 UTC");
  const auto onlyEnd = der::Sequence({der::Tlv(0x81, Ascii("20251231235959Z"))});
  EXPECT_EQ(Render("2.5.29.16", onlyEnd), "Действителен с  по 31 декабря 2025 г. 23:59:59 UTC");
  EXPECT_EQ(Render("2.5.29.16", der::Sequence({der::Tlv(0x80, Ascii("garbage"))})), "");
}

TEST(ExtensionText, PoliciesNumbered) {
  const auto policies = der::Sequence({der::Sequence({Oid("1.2.643.100.113.1")}),
                                       der::Sequence({Oid("1.2.643.100.113.2")}), der::Sequence({Oid("1.2.3")})});
  EXPECT_EQ(Render("2.5.29.32", policies),
            "[1]Идентификатор политики=Класс средства ЭП КС1 [2]Идентификатор политики=Класс средства ЭП КС2 "
            "[3]Идентификатор политики=1.2.3 ");
}

TEST(ExtensionText, SignatureTools) {
  EXPECT_EQ(Render("1.2.643.100.111", der::Utf8String("\"КриптоПро CSP\" (версия 4.0)")),
            "\"КриптоПро CSP\" (версия 4.0)");
  EXPECT_EQ(Render("1.2.643.100.111", der::Integer(5)), "");
  const auto four =
      der::Sequence({der::Utf8String("СЭП"), der::Utf8String("СУЦ"), der::Utf8String("ЗЭП"), der::Utf8String("ЗУЦ")});
  EXPECT_EQ(Render("1.2.643.100.112", four),
            "Средство электронной подписи: СЭП Заключение на средство ЭП: ЗЭП Средство УЦ: СУЦ "
            "Заключение на средство УЦ: ЗУЦ");
  EXPECT_EQ(Render("1.2.643.100.112", der::Sequence({der::Utf8String("СЭП"), der::Utf8String("СУЦ")})),
            "Средство электронной подписи: СЭП Средство УЦ: СУЦ ");
  EXPECT_EQ(Render("1.2.643.100.112", der::Sequence(std::vector<der::Bytes>{})), "Средство электронной подписи:  ");
}

TEST(ExtensionText, IdentificationKindAndRawFallback) {
  EXPECT_EQ(Render("1.2.643.100.114", der::Integer(0)), "При личном присутствии");
  EXPECT_EQ(Render("1.2.643.100.114", der::Integer(3)),
            "Без личного присутствия с использованием сведений из ЕСИА и ЕБС");
  EXPECT_EQ(Render("1.2.643.100.114", der::Integer(7)), "\x07");
  EXPECT_EQ(Render("1.2.643.100.114", der::Utf8String("особый")), "особый");
  EXPECT_EQ(Render("1.2.643.100.114", der::Integer(4)), "\x04");
}

TEST(ExtensionText, LicenceTemplateAndUnknown) {
  EXPECT_EQ(Render("1.2.643.2.2.49.2",
                   der::Sequence({der::Utf8String("http://licence.example/"), der::Utf8String("Система")})),
            "Ограниченная лицензия на Крипто-Про CSP для использования с закрытым ключом данного сертификата в "
            "рамках системы \"Система\", полный текст доступен по адресу http://licence.example/");
  EXPECT_EQ(Render("1.3.6.1.4.1.311.21.7", der::Sequence({Oid("1.2.643.3.227.7.5"), der::Integer(1)})),
            "Идентификатор шаблона = 1.2.643.3.227.7.5 ");
  const std::uint8_t basic[] = {0x30, 0x03, 0x01, 0x01, 0xFF};
  EXPECT_EQ(Render("2.5.29.19", der::Bytes(std::begin(basic), std::end(basic))), "30 03 01 01 ff");
}

TEST(ExtensionText, AlternativeNameCountsSkippedEntries) {
  const auto names = der::Sequence({der::Tlv(0x81, Ascii("user@example.ru")), der::Tlv(0x82, Ascii("host.example"))});
  EXPECT_EQ(Render("2.5.29.17", names), "[2]DNS имя: host.example ");
  const auto dir = der::Sequence({der::ContextConstructed(4, {Name({{"2.5.4.10", "Рога & Копыта"}})})});
  EXPECT_EQ(Render("2.5.29.17", dir), "[1]Имя каталога: O=Рога & Копыта ");
}

TEST(ExtensionText, HostileValuesGiveEmptyTexts) {
  const std::uint8_t truncated[] = {0x30, 0x10, 0x06, 0x03};
  const std::uint8_t longLength[] = {0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  for (const char* oid :
       {"2.5.29.15", "2.5.29.37", "2.5.29.14", "2.5.29.35", "2.5.29.31", "1.3.6.1.5.5.7.1.1", "2.5.29.16", "2.5.29.32",
        "1.2.643.100.111", "1.2.643.100.112", "1.2.643.2.2.49.2", "1.3.6.1.4.1.311.21.7", "2.5.29.17"}) {
    SCOPED_TRACE(oid);
    EXPECT_EQ(Render(oid, der::Bytes(std::begin(truncated), std::end(truncated))), "");
    EXPECT_EQ(Render(oid, der::Bytes(std::begin(longLength), std::end(longLength))), "");
    // A valid value followed by trailing bytes is not one value.
    auto trailing = der::Sequence({Oid("1.2.3")});
    trailing.push_back(0x00);
    EXPECT_EQ(Render(oid, trailing), "");
  }
  EXPECT_EQ(Render("1.2.643.100.114", der::Bytes(std::begin(truncated), std::end(truncated))), "");
  EXPECT_EQ(Render("9.9", der::Bytes(std::begin(truncated), std::end(truncated))), "30 10 06 03");
}

TEST(ExtensionText, NameOneLine) {
  const NameAttributes attrs = {{"2.5.4.3", u"Иванов"}, {"2.5.4.65", u"x"}, {"1.2.643.100.3", u"123"}};
  EXPECT_EQ(text::ToUtf8(*text::Cp1251ToWide(RenderNameOneLine(attrs))), "CN=Иванов 2.5.4.65=x СНИЛС=123");
  EXPECT_EQ(RenderNameOneLine({}), "");
}
