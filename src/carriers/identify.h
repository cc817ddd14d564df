// Carrier identification: the ATR decides the family and carrier type; the family's PKCS#11
// module, when installed, reads the record; otherwise the card is read with the family's own
// command APDUs. Also the carrier type numbers and the symbolic names the request system
// uses for them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "carriers/pkcs11_probe.h"
#include "carriers/token_info.h"
#include "platform/pcsc_api.h"
#include "platform/pkcs11_module.h"

namespace orvane::carriers {

// Carrier types.
inline constexpr std::int32_t kTypeETokenJava = 1;
inline constexpr std::int32_t kTypeEToken32k = 2;
inline constexpr std::int32_t kTypeRutokenS = 3;
inline constexpr std::int32_t kTypeRutokenEcp = 4;
inline constexpr std::int32_t kTypeRutokenLite = 5;
inline constexpr std::int32_t kTypeJaCartaLT = 6;
inline constexpr std::int32_t kTypeJaCartaPro = 7;
inline constexpr std::int32_t kTypeEsmart64k = 8;
inline constexpr std::int32_t kTypeEsmartGost = 9;
inline constexpr std::int32_t kTypeUser = -1;

// One row of the ATR table.
struct knownAtr {
  const char* atr;   // comma-separated hexadecimal bytes; null ends the table
  const char* name;  // descriptive (UTF-8)
  std::int32_t type;
};

// The ATR table in search order, ended by a row with no ATR and type -1.
extern const knownAtr knownAtrs[];

// The first row whose ATR equals the `length` bytes at `atr`, or null.
const knownAtr* MatchAtr(const std::uint8_t* atr, std::uint32_t length);

// The ATR text of a row as bytes (each piece read as hexadecimal, its low byte kept).
std::vector<std::uint8_t> AtrBytes(const char* text);

// One row of the symbolic-name table.
struct carrierTypeName {
  std::int32_t type;
  const char* name;
};
// The symbolic names in order; the row of type -1 ("SCARD_TYPE_USER") ends the table.
extern const carrierTypeName carrierTypeNames[];

// The type of a symbolic name (ASCII case ignored), or none; "SCARD_TYPE_USER" gives none.
std::optional<std::int32_t> CarrierTypeFromName(std::optional<std::u16string_view> name);
// The symbolic name of a type; "SCARD_TYPE_USER" for a type without one.
std::u16string CarrierTypeName(std::int32_t type);

// What identification needs from its surroundings.
struct CarrierServices {
  platform::PcscApi* pcsc = nullptr;
  const platform::Pkcs11ModuleLoader* pkcs11 = nullptr;
  // Driver prompts: when `driverOffers` is set, the types whose driver should be offered are
  // appended to it (the caller offers them later, outside any lock, on the UI thread);
  // otherwise, with a `ui`, the prompt is shown at once.
  std::vector<std::int32_t>* driverOffers = nullptr;
  WizardUi* ui = nullptr;
  DriverDownloads downloads;
};

// The direct APDU readers: one card exchange each, with a context of the caller's.
std::optional<tokenInfo> ReadETokenJava(platform::PcscApi& pcsc, platform::PcscContextHandle context,
                                        const std::u16string& reader);
std::optional<tokenInfo> ReadRutokenS(platform::PcscApi& pcsc, platform::PcscContextHandle context,
                                      const std::u16string& reader);
std::optional<tokenInfo> ReadRutokenEcp(platform::PcscApi& pcsc, platform::PcscContextHandle context,
                                        const std::u16string& reader, std::int32_t type);
std::optional<tokenInfo> ReadJaCartaLT(platform::PcscApi& pcsc, platform::PcscContextHandle context,
                                       const std::u16string& reader);

// Identifies the carrier in an item's reader; none when no card is present, the ATR is not
// a known carrier, or the carrier could not be read (then its driver is offered).
std::optional<tokenInfo> IdentifyCarrier(const SCardItem* item, const CarrierServices& services);

}  // namespace orvane::carriers
