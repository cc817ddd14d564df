#include "render/oid_tables.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace orvane::render;

namespace {

std::vector<std::string> Keys(std::span<const OidText> table) {
  std::vector<std::string> out;
  for (const auto& row : table) out.push_back(row.oid);
  return out;
}

}  // namespace

TEST(OidTables, OidLabelKeysInTableOrder) {
  std::vector<std::string> expected = {"2.5.4.3",
                                       "2.5.4.4",
                                       "2.5.4.6",
                                       "2.5.4.7",
                                       "2.5.4.8",
                                       "2.5.4.9",
                                       "2.5.4.10",
                                       "2.5.4.11",
                                       "2.5.4.12",
                                       "2.5.4.42",
                                       "1.2.840.113549.1.9.1",
                                       "1.2.840.113549.1.9.2",
                                       "1.2.643.3.131.1.1",
                                       "1.2.643.3.141.1.1",
                                       "1.2.643.3.141.1.2",
                                       "1.2.643.100.1",
                                       "1.2.643.100.3",
                                       "1.2.643.100.4",
                                       "1.2.643.100.5",
                                       "1.3.6.1.5.5.7.3.1",
                                       "1.3.6.1.5.5.7.3.2",
                                       "1.3.6.1.5.5.7.3.3",
                                       "1.3.6.1.5.5.7.3.4",
                                       "1.2.643.2.2.34.6",
                                       "1.2.643.2.2.34.25",
                                       "1.2.643.2.2.34.26",
                                       "1.2.643.100.113.1",
                                       "1.2.643.100.113.2",
                                       "1.2.643.100.113.3",
                                       "1.2.643.100.113.4",
                                       "1.2.643.100.113.5",
                                       "1.2.643.100.113.6",
                                       "1.2.643.100.111",
                                       "1.2.643.100.112",
                                       "1.2.643.2.64.1.1.1",
                                       "1.2.643.6.7",
                                       "1.2.643.3.215.4",
                                       "1.2.643.3.215.6",
                                       "1.2.643.3.215.7",
                                       "1.2.643.3.215.8",
                                       "1.2.643.3.215.9",
                                       "1.2.643.3.215.11",
                                       "1.2.643.3.215.12",
                                       "1.2.643.3.215.13",
                                       "1.2.643.5.1.31.1",
                                       "1.2.643.6.17.1",
                                       "1.2.643.6.3",
                                       "1.2.643.6.3.1.3.1",
                                       "1.2.643.6.3.1.2.1",
                                       "1.2.643.6.3.1.2.2",
                                       "1.2.643.6.3.1.2.3",
                                       "1.2.643.6.3.1.4.1",
                                       "1.2.643.6.3.1.4.2",
                                       "1.2.643.6.3.1.4.3",
                                       "1.2.643.6.3.1.1",
                                       "1.2.643.100.2.1",
                                       "1.2.643.100.2.2",
                                       "1.2.643.5.1.24.2.1.3",
                                       "1.2.643.5.1.24.2.1.3.1",
                                       "1.2.643.5.1.24.2.30",
                                       "1.2.643.5.1.24.2.4",
                                       "1.2.643.5.1.24.2.44",
                                       "1.2.643.5.1.24.2.45",
                                       "1.2.643.5.1.24.2.5",
                                       "1.2.643.5.1.24.2.15",
                                       "1.2.643.5.1.24.2.32",
                                       "1.2.643.5.1.24.2.7",
                                       "1.2.643.5.1.24.2.8",
                                       "1.2.643.5.1.24.2.13",
                                       "1.2.643.5.1.24.2.14",
                                       "1.2.643.5.1.24.2.6",
                                       "1.2.643.5.1.24.2.19",
                                       "1.2.643.5.1.24.2.20",
                                       "1.2.643.5.1.24.2.43",
                                       "1.2.643.5.1.24.2.27",
                                       "1.2.643.5.1.24.2.29",
                                       "1.2.643.5.1.24.2.26",
                                       "1.2.643.5.1.24.2.49",
                                       "1.2.643.5.1.24.2.51",
                                       "1.2.643.5.1.24.2.52",
                                       "1.2.643.5.1.24.2.53",
                                       "1.2.643.5.1.24.2.54",
                                       "1.2.643.5.1.24.2.55",
                                       "1.3.6.1.5.5.7.48.1",
                                       "1.3.6.1.5.5.7.48.2",
                                       "1.2.643.3.227.1",
                                       "1.2.643.3.227.2",
                                       "1.2.643.3.8.100.1.42",
                                       "1.2.643.6.14",
                                       "1.2.643.3.241",
                                       "1.2.643.5.1.28.2",
                                       "1.2.643.5.1.28.3",
                                       "1.2.643.5.1.28.4",
                                       "1.2.643.6.15",
                                       "1.2.643.6.37.1.1",
                                       "1.2.643.6.41.1.1.1",
                                       "1.2.643.6.44.1.1.1",
                                       "1.2.643.6.32",
                                       "1.2.643.6.32.1.1",
                                       "1.2.643.6.32.1.1.1",
                                       "1.2.643.6.32.1.1.2",
                                       "1.2.643.6.32.1.1.3",
                                       "1.2.643.3.227.8.1",
                                       "1.2.643.5.1.15.2.10",
                                       "1.2.643.5.1.15.2.11",
                                       "1.2.643.5.1.15.2.12",
                                       "1.2.643.5.1.15.2.13",
                                       "1.2.643.5.1.15.2.2",
                                       "1.2.643.5.1.15.2.3",
                                       "1.2.643.5.1.15.2.6",
                                       "1.2.643.5.1.15.2.7",
                                       "1.2.643.5.1.15.2.4",
                                       "1.2.643.6.47",
                                       "1.2.643.5.1.15.2.20",
                                       "1.2.643.5.1.15.2.21",
                                       "1.2.643.6.18.1",
                                       "1.2.643.6.18.2",
                                       "1.2.643.6.53",
                                       "1.2.643.6.51",
                                       "1.2.643.6.60",
                                       "1.2.643.6.62",
                                       "1.2.643.6.48",
                                       "1.2.643.3.227.10.1",
                                       "1.2.643.3.4.3.3.2",
                                       "1.2.643.3.227.4.1.1",
                                       "1.2.643.3.227.4.1.2",
                                       "1.2.643.3.227.4.1.3",
                                       "1.2.643.3.227.4.2.1",
                                       "1.2.643.3.227.4.2.2",
                                       "1.2.643.3.227.5.1"};
  for (int n = 1; n <= 36; ++n) expected.push_back("1.2.643.3.227.6." + std::to_string(n));
  ASSERT_EQ(expected.size(), 166u);
  EXPECT_EQ(Keys(OidLabelTable()), expected);
}

TEST(OidTables, EveryRowHasATextAndNoHostName) {
  for (const auto& row : OidLabelTable()) {
    EXPECT_FALSE(row.text.empty()) << row.oid;
    for (const char* host : {".ru", ".com", "www.", "http"}) {
      EXPECT_EQ(row.text.find(host), std::string::npos) << row.oid << ": " << row.text;
    }
  }
}

TEST(OidTables, LabelsOfNamesUsagesAndTools) {
  EXPECT_STREQ(LookupOidLabel("2.5.4.3"), "CN");
  EXPECT_STREQ(LookupOidLabel("2.5.4.8"), "S");
  EXPECT_STREQ(LookupOidLabel("1.2.840.113549.1.9.2"), "UN");
  EXPECT_STREQ(LookupOidLabel("1.2.643.100.3"), "СНИЛС");
  EXPECT_STREQ(LookupOidLabel("1.2.643.100.4"), "ИНН ЮЛ");
  EXPECT_STREQ(LookupOidLabel("1.3.6.1.5.5.7.3.2"), "Проверка подлинности клиента");
  EXPECT_STREQ(LookupOidLabel("1.2.643.100.113.4"), "Класс средства ЭП КВ1");
  EXPECT_STREQ(LookupOidLabel("1.2.643.100.113.6"), "Класс средства ЭП КА1");
  EXPECT_STREQ(LookupOidLabel("1.2.643.3.215.11"), "ФТС 1.2.643.3.215.11");
  EXPECT_STREQ(LookupOidLabel("1.3.6.1.5.5.7.48.1"), "Протокол определения состояния сертификата через сеть");
  EXPECT_STREQ(LookupOidLabel("1.2.643.3.227.4.2.1"), "Средство ЭП владельца «ViPNet CSP» (версия 3.2)");
  EXPECT_STREQ(LookupOidLabel("1.2.643.3.227.8.1"), "Возможность внеплановой замены сертификата ЭП");
}

TEST(OidTables, ValidityMonthsAgreeWithTheNumber) {
  EXPECT_STREQ(LookupOidLabel("1.2.643.3.227.6.12"), "Срок действия сертификата 12 месяцев");
  EXPECT_STREQ(LookupOidLabel("1.2.643.3.227.6.22"), "Срок действия сертификата 22 месяца");
  const std::set<int> singular = {1, 21, 31};
  const std::set<int> few = {2, 3, 4, 22, 23, 24, 32, 33, 34};
  for (int n = 1; n <= 36; ++n) {
    const char* label = LookupOidLabel("1.2.643.3.227.6." + std::to_string(n));
    ASSERT_NE(label, nullptr) << n;
    const std::string word = singular.count(n) ? " месяц" : few.count(n) ? " месяца" : " месяцев";
    EXPECT_EQ(std::string(label), "Срок действия сертификата " + std::to_string(n) + word);
  }
  EXPECT_EQ(LookupOidLabel("1.2.643.3.227.6.37"), nullptr);
}

TEST(OidTables, LookupsAreExactComparisons) {
  EXPECT_EQ(LookupOidLabel("2.5.4.65"), nullptr);
  EXPECT_EQ(LookupOidLabel("2.5.4.3 "), nullptr);
  EXPECT_EQ(LookupOidLabel("02.5.4.3"), nullptr);
  EXPECT_EQ(LookupOidLabel(""), nullptr);
  EXPECT_EQ(LookupAlgorithmName("1.2.643.2.2"), nullptr);
  EXPECT_EQ(LookupExtensionName("2.5.29.19"), "2.5.29.19");
  EXPECT_EQ(LookupExtensionName(""), "");
}

TEST(OidTables, AlgorithmNamesInOrder) {
  ASSERT_EQ(AlgorithmNameTable().size(), 14u);
  EXPECT_EQ(AlgorithmNameTable()[0].oid, "1.2.643.2.2.3");
  EXPECT_EQ(AlgorithmNameTable()[13].oid, "1.2.643.7.1.1.6.2");
  EXPECT_STREQ(LookupAlgorithmName("1.2.643.2.2.19"), "ГОСТ Р 34.10-2001");
  EXPECT_STREQ(LookupAlgorithmName("1.2.643.7.1.1.1.2"), "ГОСТ Р 34.10-2012-512");
  EXPECT_STREQ(LookupAlgorithmName("1.2.643.7.1.1.3.2"), "ГОСТ Р 34.11/34.10-2012-256");
  EXPECT_STREQ(LookupAlgorithmName("1.2.643.2.2.98"), "ГОСТ Р 34.10-2001 DH");
}

TEST(OidTables, ExtensionNamesInOrder) {
  const std::vector<std::string> expected = {"2.5.29.15",
                                             "2.5.29.37",
                                             "2.5.29.14",
                                             "2.5.29.35",
                                             "2.5.29.31",
                                             "1.3.6.1.5.5.7.1.1",
                                             "2.5.29.16",
                                             "2.5.29.32",
                                             "1.2.643.100.111",
                                             "1.2.643.100.112",
                                             "1.2.643.100.114",
                                             "1.2.643.2.2.49.2",
                                             "1.3.6.1.4.1.311.21.7",
                                             "1.3.6.1.4.1.311.13.2.1",
                                             "2.5.29.17"};
  EXPECT_EQ(Keys(ExtensionNameTable()), expected);
  EXPECT_EQ(LookupExtensionName("2.5.29.37"), "Улучшенный ключ");
  EXPECT_EQ(LookupExtensionName("1.3.6.1.5.5.7.1.1"), "Доступ к информации о центрах сертификации");
  EXPECT_EQ(LookupExtensionName("2.5.29.17"), "Дополнительное имя субъекта");
}
