// The cryptographic provider layer: the CryptoAPI-shaped operations the wizard relies on,
// the provider registry that enumerates installed providers and opens contexts, and the two
// small interfaces a provider needs from the rest of the program (carrier presence and the
// PIN prompt). Every failing call returns false (or null) and sets the calling thread's last
// error, read with GetLastError(); 0 means that an input was simply missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "types/certificate.h"
#include "types/types.h"

namespace orvane::csp {

using orvane::Bytes;
using orvane::CertificateContext;
using orvane::CertificatePtr;
using orvane::KeyProvInfo;

// ---- Error codes (the platform's values, so that flows word them the same way) ----
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;  // ERROR_NO_MORE_ITEMS
inline constexpr std::uint32_t NTE_BAD_HASH = 0x80090002;
inline constexpr std::uint32_t NTE_BAD_KEY = 0x80090003;
inline constexpr std::uint32_t NTE_BAD_LEN = 0x80090004;
inline constexpr std::uint32_t NTE_BAD_DATA = 0x80090005;
inline constexpr std::uint32_t NTE_BAD_ALGID = 0x80090008;
inline constexpr std::uint32_t NTE_BAD_FLAGS = 0x80090009;
inline constexpr std::uint32_t NTE_BAD_TYPE = 0x8009000A;
inline constexpr std::uint32_t NTE_BAD_KEY_STATE = 0x8009000B;
inline constexpr std::uint32_t NTE_NO_KEY = 0x8009000D;
inline constexpr std::uint32_t NTE_EXISTS = 0x8009000F;
inline constexpr std::uint32_t NTE_PERM = 0x80090010;
inline constexpr std::uint32_t NTE_BAD_KEYSET = 0x80090016;
inline constexpr std::uint32_t NTE_PROV_TYPE_NOT_DEF = 0x80090017;
inline constexpr std::uint32_t NTE_KEYSET_NOT_DEF = 0x80090019;
inline constexpr std::uint32_t NTE_PROV_TYPE_NO_MATCH = 0x8009001B;
inline constexpr std::uint32_t NTE_FAIL = 0x80090020;
inline constexpr std::uint32_t NTE_SILENT_CONTEXT = 0x80090022;
inline constexpr std::uint32_t SCARD_E_NO_SMARTCARD = 0x8010000C;
inline constexpr std::uint32_t SCARD_W_REMOVED_CARD = 0x80100069;
inline constexpr std::uint32_t SCARD_W_WRONG_CHV = 0x8010006B;    // wrong carrier PIN
inline constexpr std::uint32_t SCARD_W_CHV_BLOCKED = 0x8010006C;  // carrier blocked after wrong PINs
inline constexpr std::uint32_t SCARD_W_CANCELLED_BY_USER = 0x8010006E;
// Encoder errors for subject values outside their string type's alphabet.
inline constexpr std::uint32_t CRYPT_E_INVALID_NUMERIC_STRING = 0x80092020;
inline constexpr std::uint32_t CRYPT_E_INVALID_PRINTABLE_STRING = 0x80092021;
inline constexpr std::uint32_t CRYPT_E_INVALID_IA5_STRING = 0x80092022;
inline constexpr std::uint32_t E_INVALIDARG = 0x80070057;  // malformed input (an OID text, a name)

// ---- Provider types ----
inline constexpr std::uint32_t PROV_RSA_FULL = 1;
inline constexpr std::uint32_t kProvVipnet2001 = 2;
inline constexpr std::uint32_t kProvCryptoPro2001 = 75;
inline constexpr std::uint32_t kProvVipnet2012_256 = 77;
inline constexpr std::uint32_t kProvVipnet2012_512 = 78;
inline constexpr std::uint32_t kProvCryptoPro2012_256 = 80;
inline constexpr std::uint32_t kProvCryptoPro2012_512 = 81;

// ---- Context flags ----
inline constexpr std::uint32_t CRYPT_NEWKEYSET = 0x00000008;
inline constexpr std::uint32_t CRYPT_DELETEKEYSET = 0x00000010;
inline constexpr std::uint32_t CRYPT_SILENT = 0x00000040;
inline constexpr std::uint32_t CRYPT_VERIFYCONTEXT = 0xF0000000;

// ---- Provider parameters ----
inline constexpr std::uint32_t PP_CLIENT_HWND = 1;
inline constexpr std::uint32_t PP_ENUMCONTAINERS = 2;
inline constexpr std::uint32_t PP_NAME = 4;
inline constexpr std::uint32_t PP_VERSION = 5;
inline constexpr std::uint32_t PP_CONTAINER = 6;
inline constexpr std::uint32_t kPPAuthenticate = 8;  // set with no data: authenticate to the container
inline constexpr std::uint32_t PP_PROVTYPE = 16;
inline constexpr std::uint32_t PP_UNIQUE_CONTAINER = 36;
inline constexpr std::uint32_t PP_SMARTCARD_READER = 43;
inline constexpr std::uint32_t kPPAuthInfo = 109;   // queried: authenticates, data not used by callers
inline constexpr std::uint32_t kPPBuildInfo = 138;  // 20 bytes, build number in the first word
inline constexpr std::uint32_t CRYPT_FIRST = 1;     // PP_ENUMCONTAINERS: restart the enumeration
inline constexpr std::uint32_t CRYPT_FQCN = 0x10;   // PP_ENUMCONTAINERS: "\\.\reader\name" form

// ---- Keys ----
inline constexpr std::uint32_t AT_KEYEXCHANGE = 1;
inline constexpr std::uint32_t AT_SIGNATURE = 2;
inline constexpr std::uint32_t CRYPT_EXPORTABLE = 0x00000001;
inline constexpr std::uint32_t KP_PERMISSIONS = 6;
inline constexpr std::uint32_t KP_CERTIFICATE = 26;
inline constexpr std::uint32_t CRYPT_EXPORT = 0x0004;  // KP_PERMISSIONS bit

// ---- Hash algorithms ----
inline constexpr std::uint32_t CALG_GR3411 = 0x801E;
inline constexpr std::uint32_t CALG_GR3411_2012_256 = 0x8021;
inline constexpr std::uint32_t CALG_GR3411_2012_512 = 0x8022;

// The calling thread's last error.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);

// ---- What a provider needs from the carrier layer and the user interface ----

// Which carriers (smart-card readers with a card inserted) are present now. The carrier
// layer implements it; a container is visible only while its carrier is present.
class CarrierPresence {
 public:
  virtual ~CarrierPresence() = default;
  virtual std::vector<std::u16string> PresentReaders() = 0;
  // The carrier the user selected: a new container named without a reader goes there.
  virtual std::optional<std::u16string> SelectedReader() { return std::nullopt; }
};

struct PinRequest {
  std::u16string readerName;
  std::u16string containerName;
  int attempt = 1;          // 1, 2 or 3
  bool newCarrier = false;  // the carrier has no PIN yet: the answer becomes its PIN
};

// Asks the user for a carrier PIN. Returns none when the user cancels.
class PinPrompt {
 public:
  virtual ~PinPrompt() = default;
  virtual std::optional<std::string> AskPin(WindowHandle owner, const PinRequest& request) = 0;
};

// ---- Contexts and providers ----

// An open provider context (HCRYPTPROV), with the key container it was opened on, if any.
// Released when destroyed.
class CryptContext {
 public:
  virtual ~CryptContext() = default;

  // CryptGetProvParam. Names come back as single-byte (Windows-1251) text without a NUL;
  // PP_VERSION and PP_PROVTYPE as a 4-byte little-endian word. PP_ENUMCONTAINERS gives one
  // name per call (CRYPT_FIRST restarts) and fails with ERROR_NO_MORE_ITEMS at the end.
  virtual bool GetProvParam(std::uint32_t param, Bytes& data, std::uint32_t flags = 0) = 0;
  // CryptSetProvParam on this context.
  virtual bool SetProvParam(std::uint32_t param, std::span<const std::uint8_t> data) = 0;

  // CryptGenKey: a key pair of the context's type in its container.
  virtual bool GenKey(std::uint32_t keySpec, std::uint32_t flags) = 0;
  // CryptGetUserKey: does the container hold a key pair of this kind (AT_KEYEXCHANGE, AT_SIGNATURE)?
  virtual bool HasUserKey(std::uint32_t keySpec) = 0;
  // CryptExportPublicKeyInfo: the DER SubjectPublicKeyInfo.
  virtual bool ExportPublicKeyInfo(std::uint32_t keySpec, Bytes& spki) = 0;
  // CryptExportKey of the private key (PKCS#8 DER); only for keys made exportable.
  virtual bool ExportPrivateKey(std::uint32_t keySpec, Bytes& pkcs8) = 0;
  // CryptGetKeyParam / CryptSetKeyParam: KP_CERTIFICATE (DER), KP_PERMISSIONS (4 bytes).
  virtual bool GetKeyParam(std::uint32_t keySpec, std::uint32_t param, Bytes& data) = 0;
  virtual bool SetKeyParam(std::uint32_t keySpec, std::uint32_t param, std::span<const std::uint8_t> data) = 0;

  // CryptSignCertificate: signs the DER to-be-signed bytes with the algorithm named by its
  // OID; the signature is in the layout that goes into an X.509 or PKCS#10 BIT STRING.
  virtual bool SignCertificate(std::uint32_t keySpec, std::span<const std::uint8_t> toBeSigned,
                               const std::string& signatureOid, Bytes& signature) = 0;
  // CryptCreateHash + CryptHashData + CryptGetHashParam(HP_HASHVAL).
  virtual bool HashData(std::uint32_t hashAlg, std::span<const std::uint8_t> data, Bytes& hash) = 0;
  // CryptCreateHash + CryptSetHashParam(HP_HASHVAL) + CryptSignHash: a raw signature of the
  // given hash value in the platform provider's byte order (the reverse of the X.509 layout).
  virtual bool SignHash(std::uint32_t keySpec, std::uint32_t hashAlg, std::span<const std::uint8_t> hash,
                        Bytes& signature) = 0;
  // CryptGenRandom.
  virtual bool GenRandom(std::span<std::uint8_t> out) = 0;
};

class CryptProvider {
 public:
  virtual ~CryptProvider() = default;
  virtual std::uint32_t Type() const = 0;
  virtual std::u16string Name() const = 0;
  // CryptAcquireContext for this provider; null with the last error on failure.
  virtual std::unique_ptr<CryptContext> Acquire(const std::optional<std::u16string>& container,
                                                std::uint32_t flags) = 0;
  // PP_CLIENT_HWND set without a context: the owner of the provider's own dialogs.
  virtual void SetOwnerWindow(WindowHandle /*owner*/) {}
};

// The installed providers in enumeration order.
class ProviderRegistry {
 public:
  void Register(std::shared_ptr<CryptProvider> provider);
  void Clear();
  std::size_t Size() const { return providers_.size(); }

  // CryptEnumProviders: type and name of the provider at index; false with
  // ERROR_NO_MORE_ITEMS past the end.
  bool EnumProviders(std::uint32_t index, std::uint32_t& type, std::u16string& name) const;

  // CryptAcquireContext: the provider is the one named (its type must match) or, without a
  // name, the first of the type. Null with the last error on failure.
  std::unique_ptr<CryptContext> AcquireContext(const std::optional<std::u16string>& container,
                                               const std::optional<std::u16string>& providerName, std::uint32_t type,
                                               std::uint32_t flags) const;

  // CryptSetProvParam(PP_CLIENT_HWND) with no context: handed to every provider.
  void SetOwnerWindow(WindowHandle owner) const;

 private:
  std::vector<std::shared_ptr<CryptProvider>> providers_;
};

// Reads a text parameter (PP_NAME, PP_CONTAINER, ...) as a string; none on failure.
std::optional<std::string> GetProvParamText(CryptContext& context, std::uint32_t param, std::uint32_t flags = 0);
// Reads a 4-byte parameter (PP_VERSION, PP_PROVTYPE) as a word; none on failure.
std::optional<std::uint32_t> GetProvParamWord(CryptContext& context, std::uint32_t param);

}  // namespace orvane::csp
