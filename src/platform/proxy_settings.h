// The user's proxy settings and per-address proxy discovery.
// Linux: a proxy named in the environment (https_proxy, HTTPS_PROXY, all_proxy, ALL_PROXY)
// with no_proxy/NO_PROXY as its bypass list is the user's static proxy. Without one, the
// desktop settings, PAC scripts and WPAD are consulted per address through libproxy: that is
// "automatic detection".
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace orvane::platform {

struct UserProxySettings {
  bool autoDetect = false;
  std::optional<std::string> proxy;   // "host:port" or "scheme://host:port"
  std::optional<std::string> bypass;  // comma-separated host list
};

class ProxyResolver {
 public:
  virtual ~ProxyResolver() = default;
  // The user's settings; none when they cannot be read.
  virtual std::optional<UserProxySettings> ReadUserSettings() = 0;
  // Discovery for one address: "" for a direct connection, a proxy URL otherwise; none when
  // discovery failed.
  virtual std::optional<std::string> Discover(const std::string& url) = 0;
};

// The system's resolver (environment + libproxy), shared by every client.
std::shared_ptr<ProxyResolver> SystemProxyResolver();

}  // namespace orvane::platform
