#include "config/deployment_config.h"

#include <ini.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "config/build_defaults.h"

namespace orvane::config {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return (v != nullptr && *v != '\0') ? std::string(v) : fallback;
}

std::string HomeDir() {
  return EnvOr("HOME", "/tmp");
}

std::string XdgConfigHome() {
  return EnvOr("XDG_CONFIG_HOME", HomeDir() + "/.config");
}

std::string XdgDataHome() {
  return EnvOr("XDG_DATA_HOME", HomeDir() + "/.local/share");
}

struct Field {
  const char* key;  // "section.name"
  std::function<std::string(const DeploymentConfig&)> get;
  std::function<bool(DeploymentConfig&, const std::string&)> set;
};

Field Text(const char* key, std::string DeploymentConfig::*member) {
  return {key, [member](const DeploymentConfig& c) { return c.*member; },
          [member](DeploymentConfig& c, const std::string& v) {
            c.*member = v;
            return true;
          }};
}

Field Port(const char* key, std::uint16_t DeploymentConfig::*member) {
  return {key, [member](const DeploymentConfig& c) { return std::to_string(c.*member); },
          [member](DeploymentConfig& c, const std::string& v) {
            unsigned value = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
            if (ec != std::errc() || end != v.data() + v.size() || value == 0 || value > 65535) return false;
            c.*member = static_cast<std::uint16_t>(value);
            return true;
          }};
}

const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = {
      Text("request_system.host", &DeploymentConfig::requestHost),
      Port("request_system.port", &DeploymentConfig::requestPort),
      Text("auth.host", &DeploymentConfig::authHost),
      Port("auth.port", &DeploymentConfig::authPort),
      Text("auth.client_secret", &DeploymentConfig::clientSecret),
      Text("download.site", &DeploymentConfig::downloadSite),
      Text("ca.web_site", &DeploymentConfig::caWebSite),
      Text("ca.phone", &DeploymentConfig::caPhone),
      Text("ca.address", &DeploymentConfig::caAddress),
      Text("hosts.edoc", &DeploymentConfig::edocHost),
      Text("hosts.public_services", &DeploymentConfig::publicServicesHost),
      Text("hosts.maker", &DeploymentConfig::makerHost),
      Text("tls.extra_ca_file", &DeploymentConfig::extraCaFile),
      Text("paths.data_dir", &DeploymentConfig::dataDir),
      Text("paths.root_store", &DeploymentConfig::rootStoreDir),
      Text("paths.my_store", &DeploymentConfig::myStoreDir),
      Text("drivers.etoken_64", &DeploymentConfig::driverEToken64),
      Text("drivers.etoken_32", &DeploymentConfig::driverEToken32),
      Text("drivers.rutoken_64", &DeploymentConfig::driverRutoken64),
      Text("drivers.rutoken_32", &DeploymentConfig::driverRutoken32),
      Text("drivers.jacarta", &DeploymentConfig::driverJaCarta),
  };
  return fields;
}

struct ParseState {
  DeploymentConfig* config;
  std::vector<std::string>* errors;
  std::string path;
};

int OnIniValue(void* user, const char* section, const char* name, const char* value) {
  auto* state = static_cast<ParseState*>(user);
  const std::string key = std::string(section) + "." + name;
  for (const Field& f : Fields()) {
    if (key == f.key) {
      if (!f.set(*state->config, value)) {
        state->errors->push_back(state->path + ": недопустимое значение параметра " + key + ": \"" + value + "\"");
      }
      return 1;
    }
  }
  state->errors->push_back(state->path + ": неизвестный параметр " + key);
  return 1;
}

}  // namespace

DeploymentConfig BuiltInDefaults() {
  DeploymentConfig c;
  c.requestHost = ORVANE_DEFAULT_REQUEST_HOST;
  c.requestPort = ORVANE_DEFAULT_REQUEST_PORT;
  c.authHost = ORVANE_DEFAULT_AUTH_HOST;
  c.authPort = ORVANE_DEFAULT_AUTH_PORT;
  c.downloadSite = ORVANE_DEFAULT_DOWNLOAD_SITE;
  c.caWebSite = ORVANE_DEFAULT_CA_WEB_SITE;
  c.caPhone = ORVANE_DEFAULT_CA_PHONE;
  c.caAddress = ORVANE_DEFAULT_CA_ADDRESS;
  c.edocHost = ORVANE_DEFAULT_EDOC_HOST;
  c.publicServicesHost = ORVANE_DEFAULT_PUBLIC_SERVICES_HOST;
  c.makerHost = ORVANE_DEFAULT_MAKER_HOST;
  c.clientSecret = ORVANE_DEFAULT_CLIENT_SECRET;
  c.extraCaFile = ORVANE_DEFAULT_EXTRA_CA_FILE;
  c.dataDir = XdgDataHome() + "/orvane";
  c.rootStoreDir = "/var/lib/orvane/stores/ROOT";
  c.driverEToken64 = ORVANE_DEFAULT_DRIVER_ETOKEN_64;
  c.driverEToken32 = ORVANE_DEFAULT_DRIVER_ETOKEN_32;
  c.driverRutoken64 = ORVANE_DEFAULT_DRIVER_RUTOKEN_64;
  c.driverRutoken32 = ORVANE_DEFAULT_DRIVER_RUTOKEN_32;
  c.driverJaCarta = ORVANE_DEFAULT_DRIVER_JACARTA;
  DeriveLocations(c);
  return c;
}

void DeriveLocations(DeploymentConfig& config) {
  if (config.myStoreDir.empty()) config.myStoreDir = config.dataDir + "/stores/MY";
}

bool ApplyConfigFile(const std::string& path, DeploymentConfig& config, std::vector<std::string>& errors) {
  ParseState state{&config, &errors, path};
  const int rc = ini_parse(path.c_str(), OnIniValue, &state);
  if (rc < 0) return false;
  if (rc > 0) errors.push_back(path + ": ошибка синтаксиса в строке " + std::to_string(rc));
  return true;
}

ConfigLoadResult LoadDeploymentConfig() {
  ConfigLoadResult result;
  result.config = BuiltInDefaults();
  // The "MY" store follows the data folder unless a file names it: it is derived again once
  // every file has been read.
  result.config.myStoreDir.clear();
  std::vector<std::string> candidates;
  const char* explicitFile = std::getenv("ORVANE_CONFIG");
  if (explicitFile != nullptr && *explicitFile != '\0') {
    candidates.emplace_back(explicitFile);
  } else {
    candidates.emplace_back(ORVANE_DEFAULT_SYSTEM_CONFIG);
    candidates.push_back(XdgConfigHome() + "/orvane/orvane.conf");
  }
  for (const std::string& path : candidates) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
      if (explicitFile != nullptr && *explicitFile != '\0') {
        result.errors.push_back(path + ": файл конфигурации не найден");
      }
      continue;
    }
    if (ApplyConfigFile(path, result.config, result.errors)) {
      result.filesRead.push_back(path);
    } else {
      result.errors.push_back(path + ": не удалось открыть файл конфигурации");
    }
  }
  DeriveLocations(result.config);
  return result;
}

std::vector<std::pair<std::string, std::string>> DescribeConfig(const DeploymentConfig& config) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const Field& f : Fields()) out.emplace_back(f.key, f.get(config));
  return out;
}

}  // namespace orvane::config
