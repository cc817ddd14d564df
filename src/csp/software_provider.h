// The built-in software GOST provider: providers of the CryptoPro-compatible types 75/80/81
// and the ViPNet-compatible types 2/77/78 on OpenSSL + the gost engine, plus a type-1
// provider that only gives random bytes. For development and tests; a vendor provider takes
// its place through the registry.
//
// Key containers are kept per user under <dataDir>/containers, one folder per carrier
// (reader name) and one file per container; see docs/crypto.md for the format. A container
// is visible only while CarrierPresence lists its reader, and its file is written only once the
// carrier PIN has been verified. Private keys are sealed with AES-256-GCM under a key derived
// from the carrier PIN (scrypt; PBKDF2 for carriers made before it); the PIN is asked through
// PinPrompt once per open context, and a carrier is blocked after kPinTriesBeforeBlock wrong
// PINs in a row, counted across runs. See docs/crypto.md for the threat model.
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
// Consecutive wrong PINs, over all runs, after which a carrier answers SCARD_W_CHV_BLOCKED.
inline constexpr int kPinTriesBeforeBlock = 10;

// scrypt cost of the PIN derivation for new carriers. The standard cost makes one guess take
// about 0.4 s and 64 MiB; tests build the providers with a cheap one. It is a
// construction argument only, never a setting.
struct PinKdfCost {
  std::uint64_t n = 1u << 16;
  std::uint32_t r = 8;
  std::uint32_t p = 3;
  static PinKdfCost Cheap() { return {1u << 10, 8, 1}; }
};

// What the software providers need from the program: the user's data folder (containers
// live under <dataDir>/containers), which carriers are present and how a PIN is asked.
// Without a presence source no carrier is present; without a prompt every PIN request is
// treated as cancelled.
struct SoftwareProviderEnvironment {
  std::string dataDir;
  std::shared_ptr<CarrierPresence> presence;
  std::shared_ptr<PinPrompt> pinPrompt;
};

// Registers the seven software providers (types 75, 80, 81, 2, 77, 78 and 1) in that order,
// all sharing one environment.
void RegisterSoftwareProviders(ProviderRegistry& registry, const SoftwareProviderEnvironment& environment,
                               PinKdfCost cost = {});

// The provider of one type with an environment of its own; the registry normally creates them.
std::shared_ptr<CryptProvider> MakeSoftwareProvider(std::uint32_t type, const SoftwareProviderEnvironment& environment,
                                                    PinKdfCost cost = {});

// Time spent by the calling thread inside the software providers, for the benchmark:
// key-pair generation, and PIN derivation + sealing + writing the container.
struct SoftwareProviderTimings {
  double keyGeneration = 0;  // seconds
  double protection = 0;     // seconds
  double signing = 0;        // seconds
};
SoftwareProviderTimings& ThreadTimings();

}  // namespace orvane::csp
