#include <algorithm>

#include "csp/provider.h"
#include "csp/software_provider.h"

namespace orvane::csp {
namespace {
thread_local std::uint32_t lastError = 0;
}  // namespace

std::uint32_t GetLastError() {
  return lastError;
}
void SetLastError(std::uint32_t code) {
  lastError = code;
}

void ProviderRegistry::Register(std::shared_ptr<CryptProvider> provider) {
  if (provider) providers_.push_back(std::move(provider));
}

void ProviderRegistry::Clear() {
  providers_.clear();
}

bool ProviderRegistry::EnumProviders(std::uint32_t index, std::uint32_t& type, std::u16string& name) const {
  if (index >= providers_.size()) {
    SetLastError(kErrorNoMoreItems);
    return false;
  }
  type = providers_[index]->Type();
  name = providers_[index]->Name();
  SetLastError(kErrorSuccess);
  return true;
}

std::unique_ptr<CryptContext> ProviderRegistry::AcquireContext(const std::optional<std::u16string>& container,
                                                               const std::optional<std::u16string>& providerName,
                                                               std::uint32_t type, std::uint32_t flags) const {
  CryptProvider* chosen = nullptr;
  if (providerName && !providerName->empty()) {
    for (const auto& p : providers_) {
      if (p->Name() == *providerName) {
        chosen = p.get();
        break;
      }
    }
    if (chosen == nullptr) {
      SetLastError(NTE_KEYSET_NOT_DEF);
      return nullptr;
    }
    if (chosen->Type() != type) {
      SetLastError(NTE_PROV_TYPE_NO_MATCH);
      return nullptr;
    }
  } else {
    for (const auto& p : providers_) {
      if (p->Type() == type) {
        chosen = p.get();
        break;
      }
    }
    if (chosen == nullptr) {
      SetLastError(NTE_PROV_TYPE_NOT_DEF);
      return nullptr;
    }
  }
  auto context = chosen->Acquire(container, flags);
  if (context) SetLastError(kErrorSuccess);
  return context;
}

void ProviderRegistry::SetOwnerWindow(WindowHandle owner) const {
  for (const auto& p : providers_) p->SetOwnerWindow(owner);
}

std::optional<std::string> GetProvParamText(CryptContext& context, std::uint32_t param, std::uint32_t flags) {
  Bytes data;
  if (!context.GetProvParam(param, data, flags)) return std::nullopt;
  return std::string(data.begin(), data.end());
}

std::optional<std::uint32_t> GetProvParamWord(CryptContext& context, std::uint32_t param) {
  Bytes data;
  if (!context.GetProvParam(param, data) || data.size() < 4) return std::nullopt;
  return static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
         (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
}

}  // namespace orvane::csp
