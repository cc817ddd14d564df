#include "render/oid_tables.h"

#include "render/document_text.h"

#include <string>
#include <vector>

namespace orvane::render {
namespace {

// Shared descriptions of other organisations' application systems.
constexpr const char* kTrading = "Работа участника электронных торгов на электронной торговой площадке";
constexpr const char* kTradingCustomer = "Работа заказчика на электронной торговой площадке";
constexpr const char* kGovSystem = "Работа в государственной информационной системе";
constexpr const char* kRegistry = "Работа в федеральной информационной системе государственных реестров и учёта";
constexpr const char* kReporting = "Представление отчётности в электронном виде в контролирующие органы";
constexpr const char* kCaInternal = "Работа в информационных системах Удостоверяющего центра ООО «Talvik»";

std::string MonthsWord(int n) {
  const int tens = n % 100;
  const int ones = n % 10;
  if (ones == 1 && tens != 11) return "месяц";
  if (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14)) return "месяца";
  return "месяцев";
}

std::vector<OidText> BuildOidLabels() {
  std::vector<OidText> t = {
      {"2.5.4.3", "CN"},
      {"2.5.4.4", "SN"},
      {"2.5.4.6", "C"},
      {"2.5.4.7", "L"},
      {"2.5.4.8", "S"},
      {"2.5.4.9", "STREET"},
      {"2.5.4.10", "O"},
      {"2.5.4.11", "OU"},
      {"2.5.4.12", "T"},
      {"2.5.4.42", "G"},
      {"1.2.840.113549.1.9.1", "E"},
      {"1.2.840.113549.1.9.2", "UN"},
      {"1.2.643.3.131.1.1", "ИНН"},
      {"1.2.643.3.141.1.1", "РНС ФСС"},
      {"1.2.643.3.141.1.2", "КП ФСС"},
      {"1.2.643.100.1", "ОГРН"},
      {"1.2.643.100.3", "СНИЛС"},
      {"1.2.643.100.4", "ИНН ЮЛ"},
      {"1.2.643.100.5", "ОГРНИП"},
      {"1.3.6.1.5.5.7.3.1", "Проверка подлинности сервера"},
      {"1.3.6.1.5.5.7.3.2", "Проверка подлинности клиента"},
      {"1.3.6.1.5.5.7.3.3", "Подписывание кода"},
      {"1.3.6.1.5.5.7.3.4", "Защищенная электронная почта"},
      {"1.2.643.2.2.34.6", "Пользователь Центра Регистрации, HTTP, TLS client"},
      {"1.2.643.2.2.34.25", "Пользователь Службы штампов времени"},
      {"1.2.643.2.2.34.26", "Пользователь Службы актуальных статусов"},
      {"1.2.643.100.113.1", "Класс средства ЭП КС1"},
      {"1.2.643.100.113.2", "Класс средства ЭП КС2"},
      {"1.2.643.100.113.3", "Класс средства ЭП КС3"},
      {"1.2.643.100.113.4", "Класс средства ЭП КВ1"},
      {"1.2.643.100.113.5", "Класс средства ЭП КВ2"},
      {"1.2.643.100.113.6", "Класс средства ЭП КА1"},
      {"1.2.643.100.111", "Средство электронной подписи владельца"},
      {"1.2.643.100.112", "Средства электронной подписи и УЦ издателя"},
      {"1.2.643.2.64.1.1.1", kTrading},
      {"1.2.643.6.7", kTrading},
  };
  for (const char* n : {"4", "6", "7", "8", "9", "11", "12", "13"}) {
    const std::string oid = std::string("1.2.643.3.215.") + n;
    t.push_back({oid, "ФТС " + oid});
  }
  const std::vector<OidText> middle = {
      {"1.2.643.5.1.31.1", kGovSystem},
      {"1.2.643.6.17.1", kTrading},
      {"1.2.643.6.3", kTrading},
      {"1.2.643.6.3.1.3.1", kTrading},
      {"1.2.643.6.3.1.2.1", kTradingCustomer},
      {"1.2.643.6.3.1.2.2", kTradingCustomer},
      {"1.2.643.6.3.1.2.3", kTradingCustomer},
      {"1.2.643.6.3.1.4.1", "Работа оператора электронной торговой площадки"},
      {"1.2.643.6.3.1.4.2", "Работа оператора электронной торговой площадки"},
      {"1.2.643.6.3.1.4.3", "Работа оператора электронной торговой площадки"},
      {"1.2.643.6.3.1.1", kTrading},
      {"1.2.643.100.2.1", "Доступ к СМЭВ уполномоченного лица органа власти (ЭП-СП)"},
      {"1.2.643.100.2.2", "Доступ к СМЭВ (орган государственной власти) (ЭП-ОВ)"},
  };
  t.insert(t.end(), middle.begin(), middle.end());
  for (const char* n : {"1.3", "1.3.1", "30", "4",  "44", "45", "5",  "15", "32", "7",  "8",  "13", "14",
                        "6",   "19",    "20", "43", "27", "29", "26", "49", "51", "52", "53", "54", "55"}) {
    t.push_back({std::string("1.2.643.5.1.24.2.") + n, kRegistry});
  }
  const std::vector<OidText> tail = {
      {"1.3.6.1.5.5.7.48.1", "Протокол определения состояния сертификата через сеть"},
      {"1.3.6.1.5.5.7.48.2", "Поставщик центра сертификации"},
      {"1.2.643.3.227.1",
       "Подписание документов в рамках внутрикорпоративных систем электронного документооборота ООО «Talvik»"},
      {"1.2.643.3.227.2", kCaInternal},
      {"1.2.643.3.8.100.1.42", kReporting},
      {"1.2.643.6.14", kTrading},
      {"1.2.643.3.241", kRegistry},
      {"1.2.643.5.1.28.2", kRegistry},
      {"1.2.643.5.1.28.3", kRegistry},
      {"1.2.643.5.1.28.4", kRegistry},
      {"1.2.643.6.15", kTrading},
      {"1.2.643.6.37.1.1", kTrading},
      {"1.2.643.6.41.1.1.1", kTrading},
      {"1.2.643.6.44.1.1.1", kTrading},
      {"1.2.643.6.32", kTrading},
      {"1.2.643.6.32.1.1", kTrading},
      {"1.2.643.6.32.1.1.1", kTrading},
      {"1.2.643.6.32.1.1.2", kTrading},
      {"1.2.643.6.32.1.1.3", kTrading},
      {"1.2.643.3.227.8.1", "Возможность внеплановой замены сертификата ЭП"},
  };
  t.insert(t.end(), tail.begin(), tail.end());
  for (const char* n : {"10", "11", "12", "13", "2", "3", "6", "7", "4"}) {
    t.push_back({std::string("1.2.643.5.1.15.2.") + n, kReporting});
  }
  const std::vector<OidText> last = {
      {"1.2.643.6.47", kTrading},
      {"1.2.643.5.1.15.2.20", kReporting},
      {"1.2.643.5.1.15.2.21", kReporting},
      {"1.2.643.6.18.1", kTrading},
      {"1.2.643.6.18.2", kTrading},
      {"1.2.643.6.53", kTrading},
      {"1.2.643.6.51", kTrading},
      {"1.2.643.6.60", kTrading},
      {"1.2.643.6.62", kTrading},
      {"1.2.643.6.48", kTrading},
      {"1.2.643.3.227.10.1", kCaInternal},
      {"1.2.643.3.4.3.3.2", kReporting},
      {"1.2.643.3.227.4.1.1", "Средство ЭП владельца «КриптоПро CSP» (версия 3.6)"},
      {"1.2.643.3.227.4.1.2", "Средство ЭП владельца «КриптоПро CSP» (версия 3.9)"},
      {"1.2.643.3.227.4.1.3", "Средство ЭП владельца «КриптоПро CSP» (версия 4.0)"},
      {"1.2.643.3.227.4.2.1", "Средство ЭП владельца «ViPNet CSP» (версия 3.2)"},
      {"1.2.643.3.227.4.2.2", "Средство ЭП владельца «ViPNet CSP» (версия 4.0)"},
      {"1.2.643.3.227.5.1", "Ограниченная лицензия КРИПТО-ПРО в Удостоверяющем центре ООО «Talvik»"},
  };
  t.insert(t.end(), last.begin(), last.end());
  for (int n = 1; n <= 36; ++n) {
    t.push_back({"1.2.643.3.227.6." + std::to_string(n),
                 "Срок действия сертификата " + std::to_string(n) + " " + MonthsWord(n)});
  }
  return t;
}

std::vector<OidText> WithCp1251(std::vector<OidText> table) {
  for (auto& row : table) row.text1251 = Cp1251(row.text);
  return table;
}

const std::vector<OidText>& OidLabels() {
  static const std::vector<OidText> table = WithCp1251(BuildOidLabels());
  return table;
}

const std::vector<OidText>& AlgorithmNames() {
  static const std::vector<OidText> table = WithCp1251({
      {"1.2.643.2.2.3", "ГОСТ Р 34.11/34.10-2001"},
      {"1.2.643.2.2.4", "ГОСТ Р 34.11/34.10-94"},
      {"1.2.643.2.2.9", "ГОСТ Р 34.11-94"},
      {"1.2.643.2.2.19", "ГОСТ Р 34.10-2001"},
      {"1.2.643.2.2.20", "ГОСТ Р 34.10-94"},
      {"1.2.643.2.2.21", "ГОСТ 28147-89"},
      {"1.2.643.2.2.98", "ГОСТ Р 34.10-2001 DH"},
      {"1.2.643.2.2.99", "ГОСТ Р 34.10-94 DH"},
      {"1.2.643.7.1.1.1.1", "ГОСТ Р 34.10-2012-256"},
      {"1.2.643.7.1.1.1.2", "ГОСТ Р 34.10-2012-512"},
      {"1.2.643.7.1.1.3.2", "ГОСТ Р 34.11/34.10-2012-256"},
      {"1.2.643.7.1.1.3.3", "ГОСТ Р 34.11/34.10-2012-512"},
      {"1.2.643.7.1.1.6.1", "ГОСТ Р 34.10-2012-256 DH"},
      {"1.2.643.7.1.1.6.2", "ГОСТ Р 34.10-2012-512 DH"},
  });
  return table;
}

const std::vector<OidText>& ExtensionNames() {
  static const std::vector<OidText> table = WithCp1251({
      {"2.5.29.15", "Использование ключа"},
      {"2.5.29.37", "Улучшенный ключ"},
      {"2.5.29.14", "Идентификатор ключа субъекта"},
      {"2.5.29.35", "Идентификатор ключа центра сертификатов"},
      {"2.5.29.31", "Точки распространения списков отзыва (CRL)"},
      {"1.3.6.1.5.5.7.1.1", "Доступ к информации о центрах сертификации"},
      {"2.5.29.16", "Период использования закрытого ключа"},
      {"2.5.29.32", "Политики сертификата"},
      {"1.2.643.100.111", "Средство электронной подписи владельца"},
      {"1.2.643.100.112", "Средства электронной подписи и УЦ издателя"},
      {"1.2.643.100.114", "Тип идентификации при выдаче сертификата"},
      {"1.2.643.2.2.49.2", "Ограниченная лицензия КРИПТО-ПРО"},
      {"1.3.6.1.4.1.311.21.7", "Шаблон сертификата"},
      {"1.3.6.1.4.1.311.13.2.1", "Дополнительные параметры запроса"},
      {"2.5.29.17", "Дополнительное имя субъекта"},
  });
  return table;
}

const OidText* FindRow(const std::vector<OidText>& table, std::string_view oid) {
  for (const auto& row : table) {
    if (row.oid == oid) return &row;
  }
  return nullptr;
}

const char* Find(const std::vector<OidText>& table, std::string_view oid) {
  const OidText* row = FindRow(table, oid);
  return row != nullptr ? row->text.c_str() : nullptr;
}

const std::string* Find1251(const std::vector<OidText>& table, std::string_view oid) {
  const OidText* row = FindRow(table, oid);
  return row != nullptr ? &row->text1251 : nullptr;
}

}  // namespace

std::span<const OidText> OidLabelTable() {
  return OidLabels();
}
std::span<const OidText> AlgorithmNameTable() {
  return AlgorithmNames();
}
std::span<const OidText> ExtensionNameTable() {
  return ExtensionNames();
}

const char* LookupOidLabel(std::string_view oid) {
  return Find(OidLabels(), oid);
}

const char* LookupAlgorithmName(std::string_view oid) {
  return Find(AlgorithmNames(), oid);
}

std::string LookupExtensionName(std::string_view oid) {
  const char* name = Find(ExtensionNames(), oid);
  return name != nullptr ? std::string(name) : std::string(oid);
}

const std::string* LookupOidLabel1251(std::string_view oid) {
  return Find1251(OidLabels(), oid);
}

const std::string* LookupAlgorithmName1251(std::string_view oid) {
  return Find1251(AlgorithmNames(), oid);
}

std::string LookupExtensionName1251(std::string_view oid) {
  const std::string* name = Find1251(ExtensionNames(), oid);
  return name != nullptr ? *name : std::string(oid);
}

}  // namespace orvane::render
