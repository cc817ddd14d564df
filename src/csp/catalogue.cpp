#include "csp/catalogue.h"

#include <set>

#include "text/text.h"

namespace orvane::csp {

ProviderKind KindOfProviderType(std::uint32_t type) {
  switch (type) {
    case kProvVipnet2001:
    case kProvVipnet2012_256:
    case kProvVipnet2012_512:
      return kKindVipnet;
    case kProvCryptoPro2001:
    case kProvCryptoPro2012_256:
    case kProvCryptoPro2012_512:
      return kKindCryptoPro;
    default:
      return 0;
  }
}

int EnumerateGostProviders(providerCatalogue* catalogue, const ProviderRegistry& registry) {
  if (catalogue == nullptr) return 0;
  int added = 0;
  std::uint32_t type = 0;
  std::u16string name;
  for (std::uint32_t index = 0; registry.EnumProviders(index, type, name); ++index) {
    const ProviderKind kind = KindOfProviderType(type);
    if (kind == 0 || name.empty()) continue;
    auto context = registry.AcquireContext(std::nullopt, name, type, CRYPT_VERIFYCONTEXT);
    if (!context) continue;
    const auto version = GetProvParamWord(*context, PP_VERSION);
    if (!version) continue;
    auto entry = std::make_shared<cryptoProviderData>();
    entry->type = type;
    entry->name = name;
    entry->minor = static_cast<std::int32_t>(*version & 0xFF);
    entry->major = static_cast<std::int32_t>((*version >> 8) & 0xFF);
    entry->kind = kind;
    if (kind == kKindCryptoPro) {
      Bytes build;
      if (context->GetProvParam(kPPBuildInfo, build) && build.size() >= 4) {
        entry->build = static_cast<std::int32_t>(static_cast<std::uint32_t>(build[0]) | (build[1] << 8) |
                                                 (build[2] << 16) | (static_cast<std::uint32_t>(build[3]) << 24));
      }
    } else if (entry->major == 4 && entry->minor == 1) {
      entry->minor = 2;  // ViPNet CSP 4.1 reports itself as 4.2
    }
    catalogue->push_back(std::move(entry));
    ++added;
  }
  return added;
}

std::int32_t ProviderTypeFor(ProviderKind kind, GostGeneration generation) {
  static constexpr std::uint32_t cryptoPro[] = {kProvCryptoPro2001, kProvCryptoPro2012_256, kProvCryptoPro2012_512};
  static constexpr std::uint32_t vipnet[] = {kProvVipnet2001, kProvVipnet2012_256, kProvVipnet2012_512};
  if (generation < 0 || generation > 2) return -1;
  if (kind == kKindCryptoPro) return static_cast<std::int32_t>(cryptoPro[generation]);
  if (kind == kKindVipnet) return static_cast<std::int32_t>(vipnet[generation]);
  return -1;
}

std::optional<std::u16string> FindProviderName(std::uint32_t type, const providerCatalogue& catalogue) {
  for (const auto& entry : catalogue) {
    if (entry && entry->type == type) {
      if (entry->name.empty()) return std::nullopt;
      return entry->name;
    }
  }
  return std::nullopt;
}

std::shared_ptr<const cryptoProviderData> FirstOfKind(ProviderKind kind, const providerCatalogue& catalogue) {
  for (const auto& entry : catalogue) {
    if (entry && entry->kind == kind) return entry;
  }
  return nullptr;
}

std::optional<std::u16string> KindDisplayName(ProviderKind kind) {
  if (kind == kKindCryptoPro) return std::u16string(u"КриптоПро CSP");
  if (kind == kKindVipnet) return std::u16string(u"ViPNet CSP");
  return std::nullopt;
}

void FillProviderCombo(ProviderComboModel& model, const providerCatalogue* catalogue) {
  if (catalogue == nullptr || catalogue->empty()) return;
  std::set<ProviderKind> shown;
  int selection = -1;
  for (const auto& entry : *catalogue) {
    if (!entry || shown.count(entry->kind)) continue;
    const auto text = KindDisplayName(entry->kind);
    if (!text) continue;
    model.items.push_back({*text, entry->kind});
    shown.insert(entry->kind);
    if (entry->kind == kKindCryptoPro) selection = static_cast<int>(model.items.size()) - 1;
  }
  if (model.items.empty()) return;
  model.selection = selection >= 0 ? selection : 0;
}

ProviderKind SelectedProviderKind(const ProviderComboModel& model) {
  if (model.selection < 0 || static_cast<std::size_t>(model.selection) >= model.items.size()) return kKindCryptoPro;
  return model.items[static_cast<std::size_t>(model.selection)].kind;
}

std::optional<keyLocation> LocateCertificateKey(const CertificateContext* certificate,
                                                const ProviderRegistry& registry) {
  if (certificate == nullptr) return std::nullopt;
  const GostGeneration generation = crypto::CertificateGeneration(certificate);
  if (!certificate->keyProvInfo) return std::nullopt;
  const std::int32_t type = ProviderTypeFor(kKindCryptoPro, generation);
  if (type < 0) return std::nullopt;
  auto context = registry.AcquireContext(certificate->keyProvInfo->containerName, std::nullopt,
                                         static_cast<std::uint32_t>(type), CRYPT_VERIFYCONTEXT);
  if (!context) return std::nullopt;
  const auto container = GetProvParamText(*context, PP_CONTAINER);
  const auto reader = GetProvParamText(*context, PP_SMARTCARD_READER);
  if (!container || !reader) return std::nullopt;
  keyLocation location;
  location.readerName = text::Cp1251ToWide(std::string_view(*reader)).value_or(u"");
  location.containerName = text::Cp1251ToWide(std::string_view(*container)).value_or(u"");
  return location;
}

}  // namespace orvane::csp
