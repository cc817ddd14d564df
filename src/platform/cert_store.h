// Certificate stores: the machine's trusted roots ("ROOT") and the current user's personal
// certificates ("MY"). On Linux a store is a directory of DER files named by their SHA-1
// thumbprint ("<40 hex>.cer") with an optional property sidecar ("<40 hex>.prop") holding the
// key-provider information. The machine store lives where only administrators may write;
// a write refused by the file system reports access denied, as on the platform it replaces.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "types/certificate.h"

namespace orvane::platform {

// The platform's last-error values the callers word.
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNotFound = 2;
inline constexpr std::uint32_t kErrorWriteFault = 29;

enum class StoreLocation { LocalMachine, CurrentUser };

using Sha1 = std::array<std::uint8_t, 20>;

class CertStore {
 public:
  virtual ~CertStore() = default;
  virtual bool Contains(const Sha1& thumbprint) = 0;
  // The certificate with the thumbprint and its properties, or none.
  virtual CertificatePtr Find(const Sha1& thumbprint) = 0;
  virtual std::vector<CertificatePtr> List() = 0;
  // Adds (replacing a copy of the same certificate) with its key-provider property, if any.
  // False with error set (kErrorAccessDenied when the store may not be written).
  virtual bool Add(const CertificateContext& certificate, std::uint32_t& error) = 0;
};

// Opens "ROOT" or "MY" of a location. existingOnly: fail when the store does not exist
// (otherwise it is created). None with error set.
using CertStoreOpener = std::function<std::unique_ptr<CertStore>(const std::string& name, StoreLocation location,
                                                                 bool existingOnly, std::uint32_t& error)>;

// The file stores in the given folders: the machine's "ROOT" and the user's "MY" (the
// deployment's paths.root_store and paths.my_store).
CertStoreOpener FileStores(std::string rootStoreDir, std::string myStoreDir);
// A file store in an explicit directory.
std::unique_ptr<CertStore> OpenFileStoreAt(const std::string& directory, bool existingOnly, std::uint32_t& error);

Sha1 ThumbprintOf(const std::vector<std::uint8_t>& der);
std::string HexThumbprint(const Sha1& thumbprint);

}  // namespace orvane::platform
