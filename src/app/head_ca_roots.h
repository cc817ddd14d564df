// The national head-CA roots: both must be in the machine's trusted-root store. Missing ones
// are installed after the user agrees; a refusal or a failed installation ends start-up.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/cert_store.h"
#include "platform/wizard_ui.h"

namespace orvane::app {

struct HeadCaRoot {
  std::string_view base64;  // DER without PEM armour
  platform::Sha1 thumbprint;
};

// Root A ("Головной удостоверяющий центр", GOST R 34.10-2001) and root B ("Минкомсвязь
// России", GOST R 34.10-2012 256).
const HeadCaRoot& HeadCaRootA();
const HeadCaRoot& HeadCaRootB();

// True when both roots are trusted (installing the missing ones with the user's consent).
bool EnsureHeadCaRoots(WizardUi& ui, const platform::CertStoreOpener& opener);

// Installs one certificate (Base64, PEM or DER text) into the machine's "ROOT" store; false
// with lastError set (platform::kErrorAccessDenied without administrator rights).
bool InstallRootCertificate(std::string_view text, const platform::CertStoreOpener& opener, std::uint32_t& lastError);

}  // namespace orvane::app
