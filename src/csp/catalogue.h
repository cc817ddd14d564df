// The catalogue of installed GOST providers (built once at start-up, read-only afterwards),
// the family x generation -> provider type mapping every key-container operation uses, the
// family list of the main window as toolkit-free functions, and the lookup of the reader
// and container that hold a certificate's key.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crypto/gost.h"
#include "csp/provider.h"
#include "types/certificate.h"

namespace orvane::csp {

// Provider family: 1 CryptoPro CSP, 2 ViPNet CSP.
using ProviderKind = std::int32_t;
inline constexpr ProviderKind kKindCryptoPro = 1;
inline constexpr ProviderKind kKindVipnet = 2;

// GOST algorithm generation (crypto/gost.h).
using crypto::GostGeneration;
using crypto::kGost2001;
using crypto::kGost2012_256;
using crypto::kGost2012_512;
using crypto::kGostNone;

struct cryptoProviderData {
  std::uint32_t type = 0;
  std::u16string name;
  std::int32_t major = 0;
  std::int32_t minor = 0;
  std::int32_t build = 0;  // CryptoPro entries only
  ProviderKind kind = 0;
};

using providerCatalogue = std::vector<std::shared_ptr<const cryptoProviderData>>;

// Appends every GOST provider of the registry that can be opened without a container and
// reports its version; returns the number added. 0 when catalogue is null.
int EnumerateGostProviders(providerCatalogue* catalogue, const ProviderRegistry& registry);

// 75/80/81 for kind 1, 2/77/78 for kind 2, -1 otherwise.
std::int32_t ProviderTypeFor(ProviderKind kind, GostGeneration generation);

// The family of a provider type, or 0 when the type belongs to neither.
ProviderKind KindOfProviderType(std::uint32_t type);

// Name of the first entry of the type; none when there is none or it has no name.
std::optional<std::u16string> FindProviderName(std::uint32_t type, const providerCatalogue& catalogue);

// The first entry of a family, or null.
std::shared_ptr<const cryptoProviderData> FirstOfKind(ProviderKind kind, const providerCatalogue& catalogue);

// "КриптоПро CSP" for 1, "ViPNet CSP" for 2, none otherwise.
std::optional<std::u16string> KindDisplayName(ProviderKind kind);

// The provider list of the main window: one item per family present, in the order of first
// occurrence; CryptoPro selected whenever present, else the first item.
struct ProviderComboItem {
  std::u16string text;
  ProviderKind kind = 0;  // item data
};
struct ProviderComboModel {
  std::vector<ProviderComboItem> items;
  int selection = -1;  // -1: no selection
};
// Fills model from the catalogue; leaves it untouched when the catalogue is null or empty.
void FillProviderCombo(ProviderComboModel& model, const providerCatalogue* catalogue);
// The item data of the selection, or 1 when nothing is selected.
ProviderKind SelectedProviderKind(const ProviderComboModel& model);

// Where the key of a certificate lives.
struct keyLocation {
  std::u16string readerName;
  std::u16string containerName;
};
std::optional<keyLocation> LocateCertificateKey(const CertificateContext* certificate,
                                                const ProviderRegistry& registry);

}  // namespace orvane::csp
