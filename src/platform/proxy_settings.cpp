#include "platform/proxy_settings.h"

#include <proxy.h>

#include <cstdlib>
#include <mutex>

namespace orvane::platform {
namespace {

std::optional<std::string> FirstEnv(std::initializer_list<const char*> names) {
  for (const char* n : names) {
    const char* v = std::getenv(n);
    if (v != nullptr && *v != '\0') return std::string(v);
  }
  return std::nullopt;
}

struct ProxiesDeleter {
  void operator()(char** proxies) const { px_proxy_factory_free_proxies(proxies); }
};

struct FactoryDeleter {
  void operator()(pxProxyFactory* f) const { px_proxy_factory_free(f); }
};

class LibproxyResolver final : public ProxyResolver {
 public:
  LibproxyResolver() : factory_(px_proxy_factory_new()) {}

  std::optional<UserProxySettings> ReadUserSettings() override {
    UserProxySettings s;
    s.proxy = FirstEnv({"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"});
    if (s.proxy) {
      s.bypass = FirstEnv({"no_proxy", "NO_PROXY"});
      return s;
    }
    if (factory_ == nullptr) return std::nullopt;
    s.autoDetect = true;
    return s;
  }

  std::optional<std::string> Discover(const std::string& url) override {
    if (factory_ == nullptr) return std::nullopt;
    std::lock_guard lock(mutex_);
    std::unique_ptr<char*, ProxiesDeleter> proxies(px_proxy_factory_get_proxies(factory_.get(), url.c_str()));
    if (!proxies || proxies.get()[0] == nullptr) return std::nullopt;
    const std::string first = proxies.get()[0];
    if (first == "direct://") return std::string();
    return first;
  }

 private:
  std::mutex mutex_;
  std::unique_ptr<pxProxyFactory, FactoryDeleter> factory_;
};

}  // namespace

std::shared_ptr<ProxyResolver> SystemProxyResolver() {
  static std::shared_ptr<ProxyResolver> resolver = std::make_shared<LibproxyResolver>();
  return resolver;
}

}  // namespace orvane::platform
