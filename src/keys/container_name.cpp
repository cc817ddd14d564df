#include "keys/container_name.h"

#include <openssl/err.h>
#include <openssl/rand.h>

#include <array>
#include <cstdio>
#include <vector>

#include "text/format.h"
#include "text/text.h"

namespace orvane::keys {

using text::Format;

std::int32_t RequestNumber(const std::optional<std::u16string>& requestId) {
  if (!requestId) return 0;
  std::size_t i = 0;
  while (i < requestId->size() && (*requestId)[i] != 0 && (*requestId)[i] <= 0x20) ++i;
  std::uint32_t value = 0;
  for (; i < requestId->size() && (*requestId)[i] >= u'0' && (*requestId)[i] <= u'9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>((*requestId)[i] - u'0');
  }
  return static_cast<std::int32_t>(value);
}

std::u16string SuffixText(std::uint32_t suffix) {
  std::uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(suffix >> (8 * i));
  return text::FromUtf8(text::HexUpper(bytes, 4));
}

std::optional<std::u16string> MakeContainerName(const std::optional<std::u16string>& requestId, std::uint32_t ord,
                                                const std::optional<request::AttributeList>& subject,
                                                const std::tm& localTime, std::uint32_t suffix) {
  if (!subject) return std::nullopt;
  std::optional<std::u16string> inn, snils, innLegal;
  for (const auto& entry : *subject) {
    if (!entry) continue;
    if (entry->oid == u"1.2.643.3.131.1.1") inn = entry->display;
    if (entry->oid == u"1.2.643.100.3") snils = entry->display;
    if (entry->oid == u"1.2.643.100.4") innLegal = entry->display;
  }
  const std::u16string taxpayer = innLegal ? *innLegal : inn ? *inn : u"000000000000";
  const std::u16string insurance = snils ? *snils : u"00000000000";
  const std::string head =
      Format("TVK-%06d-%03d-%02d%02d%02d-%02d%02d-", RequestNumber(requestId), static_cast<int>(ord),
             localTime.tm_year - 100, localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min);
  return text::FromUtf8(head) + taxpayer + u"-" + insurance + u"-" + SuffixText(suffix);
}

std::optional<std::u16string> MakeContainerName(const std::optional<std::u16string>& requestId, std::uint32_t ord,
                                                const std::optional<request::AttributeList>& subject,
                                                const csp::ProviderRegistry& registry) {
  if (!subject) return std::nullopt;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return MakeContainerName(requestId, ord, subject, local, RandomSuffix(registry));
}

std::uint32_t SuffixCrc(const std::uint8_t* bytes, std::size_t count) {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  std::uint32_t crc = 0x21524110u;
  for (std::size_t i = 0; i < count; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t RandomSuffix(const csp::ProviderRegistry& registry) {
  std::array<std::uint8_t, 256> buffer{};
  if (auto context = registry.AcquireContext(std::nullopt, std::nullopt, csp::PROV_RSA_FULL, 0)) {
    context->GenRandom(buffer);
  }
  return SuffixCrc(buffer.data(), buffer.size());
}

std::u16string ContainerPathFor(csp::ProviderKind family, const std::u16string& reader, const std::u16string& name) {
  if (family == csp::kKindCryptoPro) return u"\\\\.\\" + reader + u"\\" + name;
  return name;
}

bool UsesUuidContainerName(int carrierKind) {
  return carrierKind == 8 || carrierKind == 9;
}

std::optional<std::u16string> MakeUuidContainerName() {
  std::array<std::uint8_t, 16> b{};
  if (RAND_bytes(b.data(), static_cast<int>(b.size())) != 1) {
    ERR_clear_error();
    return std::nullopt;
  }
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  const std::string uuid = text::HexLower(b.data(), 4) + "-" + text::HexLower(b.data() + 4, 2) + "-" +
                           text::HexLower(b.data() + 6, 2) + "-" + text::HexLower(b.data() + 8, 2) + "-" +
                           text::HexLower(b.data() + 10, 6);
  return u"TVK-" + text::FromUtf8(uuid);
}

}  // namespace orvane::keys
