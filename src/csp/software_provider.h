// The built-in software GOST provider: providers of the CryptoPro-compatible types 75/80/81
// and the ViPNet-compatible types 2/77/78 on OpenSSL + the gost engine, plus a type-1
// provider that only gives random bytes. For development and tests; a vendor provider takes
// its place through the registry.
//
// Key containers are kept per user under <dataDir>/containers, one folder per carrier
// (reader name) and one file per container; see docs/crypto.md for the format. A container
// is visible only while CarrierPresence lists its reader. Private keys are sealed with
// AES-256-GCM under a key derived from the carrier PIN (PBKDF2-HMAC-SHA256); the PIN is asked
// through PinPrompt once per open context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "csp/provider.h"

namespace orvane::csp {

// Version reported by the software providers of the CryptoPro-compatible types (5.0, build
// kSoftwareBuild) and of the ViPNet-compatible types (4.4).
inline constexpr std::uint32_t kSoftwareCryptoProVersion = 0x0500;
inline constexpr std::uint32_t kSoftwareVipnetVersion = 0x0404;
inline constexpr std::uint32_t kSoftwareBuild = 12000;
// Wrong PINs one implicit authentication accepts before failing with SCARD_W_WRONG_CHV.
inline constexpr int kPinAttempts = 3;
inline constexpr std::uint32_t kPinKdfIterations = 100000;

// Registers the seven software providers (types 75, 80, 81, 2, 77, 78 and 1) in that order.
void RegisterSoftwareProviders(ProviderRegistry& registry);

// The provider of one type; the registry normally creates them.
std::shared_ptr<CryptProvider> MakeSoftwareProvider(std::uint32_t type);

// Where the software providers learn which carriers are present and how they ask for PINs.
// Without a presence source no carrier is present; without a prompt every PIN request is
// treated as cancelled.
void SetCarrierPresence(std::shared_ptr<CarrierPresence> presence);
void SetPinPrompt(std::shared_ptr<PinPrompt> prompt);

// The folder that holds the containers of one carrier (created on demand).
std::string CarrierFolder(const std::u16string& reader);

// Time spent by the calling thread inside the software providers, for the benchmark:
// key-pair generation, and PIN derivation + sealing + writing the container.
struct SoftwareProviderTimings {
  double keyGeneration = 0;  // seconds
  double protection = 0;     // seconds
  double signing = 0;        // seconds
};
SoftwareProviderTimings& ThreadTimings();

}  // namespace orvane::csp
