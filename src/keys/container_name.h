// Names of new key containers and the paths handed to the provider.
//   standard form: TVK-<request>-<ord>-<yymmdd>-<hhmm>-<taxpayer>-<insurance>-<suffix>
//   ESMART carriers: TVK-<uuid>
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "csp/catalogue.h"
#include "csp/provider.h"
#include "request/attribute_list.h"

namespace orvane::keys {

// The name from the request number (request_id), the order number (ord) and the subject
// list, at the local time now, with a fresh RandomSuffix from the registry's random source.
// None without a subject list.
std::optional<std::u16string> MakeContainerName(const std::optional<std::u16string>& requestId, std::uint32_t ord,
                                                const std::optional<request::AttributeList>& subject,
                                                const csp::ProviderRegistry& registry);
// The same with the moment and the suffix given (the parts the wall clock and the random
// source would supply).
std::optional<std::u16string> MakeContainerName(const std::optional<std::u16string>& requestId, std::uint32_t ord,
                                                const std::optional<request::AttributeList>& subject,
                                                const std::tm& localTime, std::uint32_t suffix);

// CRC-32 (reflected 0xEDB88320, register preset 0x21524110, result complemented) over 256
// random bytes from the registry's type-1 provider; the zero-filled buffer is hashed when the
// provider cannot be opened.
std::uint32_t RandomSuffix(const csp::ProviderRegistry& registry);
// The CRC itself, exposed for tests.
std::uint32_t SuffixCrc(const std::uint8_t* bytes, std::size_t count);
// Eight upper-case hexadecimal digits, least-significant byte first.
std::u16string SuffixText(std::uint32_t suffix);

// The request number as the name prints it: leading blanks skipped, decimal digits up to the
// first other character (0 when none), taken modulo 2^32 as an unsigned 32-bit value and
// printed as signed.
std::int32_t RequestNumber(const std::optional<std::u16string>& requestId);

// "\\.\reader\name" for the CryptoPro family, the bare name otherwise.
std::u16string ContainerPathFor(csp::ProviderKind family, const std::u16string& reader, const std::u16string& name);

// ESMART carriers (carrier kinds 8 and 9) get the UUID form.
bool UsesUuidContainerName(int carrierKind);
// "TVK-" and a fresh random (version 4) UUID in lower-case 8-4-4-4-12 form; none when no
// random bytes could be had.
std::optional<std::u16string> MakeUuidContainerName();

}  // namespace orvane::keys
