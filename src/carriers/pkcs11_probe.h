// PKCS#11 probing of a carrier through its vendor's module, and the driver-download prompt
// shown when a carrier cannot be read at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "carriers/token_info.h"
#include "config/deployment_config.h"
#include "platform/pkcs11_module.h"
#include "platform/wizard_ui.h"

namespace orvane::carriers {

// The vendor's PKCS#11 module file of a carrier type (Linux names; docs/carriers.md), or
// null for a type without one.
const char* Pkcs11ModuleFor(std::int32_t type);

struct Pkcs11ProbeResult {
  // False: the module could not be loaded or gave no function list; the caller reads the
  // card itself. True: `token` is the final answer (a record, or none).
  bool moduleUsable = false;
  std::optional<tokenInfo> token;
};

// Loads `module` (by file name through `loader`), finds the slot whose description equals
// `reader` ignoring case and builds a record from its token information. The module is
// finalised and unloaded before the function returns.
Pkcs11ProbeResult ProbePkcs11(const platform::Pkcs11ModuleLoader& loader, const char* module,
                              const std::u16string& reader, std::int32_t type);

// A PKCS#11 serial number text read as a hexadecimal number and written as ten decimal
// digits ("0a1b2c3d" -> "0169552957"). None when the text does not start with a hexadecimal
// digit or the number does not fit 32 bits.
std::optional<std::u16string> RutokenSerialFromHex(std::u16string_view raw);

// A PKCS#11 memory figure as a signed 32-bit number: CK_UNAVAILABLE_INFORMATION is -1,
// larger figures are capped at INT32_MAX.
std::int32_t MemoryFigure(platform::cryptoki::CK_ULONG value);

// Where the driver packages are downloaded (deployment configuration).
struct DriverDownloads {
  std::string etoken64;
  std::string etoken32;
  std::string rutoken64;
  std::string rutoken32;
  std::string jacarta;
  bool is64BitSystem = true;  // chooses the 64-bit eToken and Rutoken packages
};

// The addresses of the deployment configuration and this machine's word size.
DriverDownloads DriverDownloadsFrom(const config::DeploymentConfig& deployment);

// The question asked for a carrier type, or none for a type without a driver prompt.
std::optional<std::u16string> DriverPromptText(std::int32_t type);
// The page opened on Yes, or none.
std::optional<std::string> DriverDownloadUrl(std::int32_t type, const DriverDownloads& downloads);

// Asks the driver question (error box with Yes/No, no owner) and on Yes opens the page.
void OfferDriverDownload(std::int32_t type, WizardUi& ui, const DriverDownloads& downloads);

}  // namespace orvane::carriers
