// Deployment configuration as a value: hosts and ports, CA contacts, download addresses, the
// client secret, an extra trusted CA file and the store/data locations. Built-in defaults
// come from the build; INI files override them key by key: the file named by ORVANE_CONFIG
// if set, otherwise the system file and then the user's file
// ($XDG_CONFIG_HOME/orvane/orvane.conf). The program loads it once, at its composition root,
// and hands each module the part it needs; problems go back to the caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::config {

struct DeploymentConfig {
  std::string requestHost;
  std::uint16_t requestPort = 443;
  std::string authHost;
  std::uint16_t authPort = 443;
  std::string downloadSite;
  std::string caWebSite;
  std::string caPhone;
  std::string caAddress;
  std::string edocHost;
  std::string publicServicesHost;
  std::string makerHost;
  std::string clientSecret;
  std::string extraCaFile;   // empty: the system trust store only
  std::string dataDir;       // per-user data (key containers, settings)
  std::string rootStoreDir;  // machine "ROOT" store
  std::string myStoreDir;    // current user's "MY" store; empty: <dataDir>/stores/MY
  // Driver packages offered for key carriers that cannot be read.
  std::string driverEToken64;
  std::string driverEToken32;
  std::string driverRutoken64;
  std::string driverRutoken32;
  std::string driverJaCarta;
};

struct ConfigLoadResult {
  DeploymentConfig config;
  std::vector<std::string> filesRead;  // in the order applied
  std::vector<std::string> errors;     // Russian texts, one per problem (file, line, key)
};

// The built-in defaults, with locations derived from the environment (XDG_DATA_HOME, HOME).
DeploymentConfig BuiltInDefaults();

// Defaults overridden by the configuration files found (see above), then the derived paths
// filled in (DeriveLocations). Never fails: a file that cannot be parsed or a bad value is
// reported in errors and the previous value is kept.
ConfigLoadResult LoadDeploymentConfig();

// Applies one INI file on top of config. Returns false when the file cannot be opened.
bool ApplyConfigFile(const std::string& path, DeploymentConfig& config, std::vector<std::string>& errors);

// Fills the locations derived from others once every file has been read: an empty
// myStoreDir becomes <dataDir>/stores/MY.
void DeriveLocations(DeploymentConfig& config);

// "section.key" = value lines for every setting, in a fixed order (for `orvane-tool config`).
std::vector<std::pair<std::string, std::string>> DescribeConfig(const DeploymentConfig& config);

}  // namespace orvane::config
