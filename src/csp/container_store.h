// On-disk storage of the software provider: carrier records (PIN verifier) and key
// containers, written atomically with mode 0600 so that a failure never leaves a half-written
// file. Text files of "field value" lines; binary values in Base64.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "csp/provider.h"

namespace orvane::csp::store {

// How the master key is derived from the carrier PIN. Carriers made before scrypt keep their
// PBKDF2-HMAC-SHA256 records and still open; new carriers get scrypt.
enum class PinKdf { Pbkdf2, Scrypt };

struct CarrierRecord {
  PinKdf kdf = PinKdf::Scrypt;
  Bytes pinSalt;
  std::uint32_t iterations = 0;  // PBKDF2
  std::uint64_t scryptN = 0;     // scrypt: CPU/memory cost (a power of two), block size, lanes
  std::uint32_t scryptR = 0;
  std::uint32_t scryptP = 0;
  Bytes verifier;  // SHA-256 over a label and the PIN-derived master key
};

struct ContainerRecord {
  std::u16string reader;
  std::u16string name;
  std::uint32_t type = 0;  // provider type that created the container
  // The key pair, when generated.
  bool hasKey = false;
  std::uint32_t keySpec = 0;
  std::string algorithm;  // "gost2001", "gost2012-256", "gost2012-512"
  bool exportable = false;
  Bytes publicKey;                   // DER SubjectPublicKeyInfo
  Bytes keySalt;                     // per-container salt of the sealing key
  Bytes nonce;                       // AES-GCM nonce
  Bytes sealed;                      // AES-256-GCM ciphertext of the PKCS#8 private key, tag appended
  std::optional<Bytes> certificate;  // KP_CERTIFICATE
};

// The containers and carrier records of one user, under <dataDir>/containers.
class ContainerStore {
 public:
  explicit ContainerStore(std::string dataDir);

  const std::string& Root() const { return root_; }
  // Folder of a carrier and file of a container (names percent-encoded).
  std::string CarrierDir(const std::u16string& reader) const;
  std::string ContainerFile(const std::u16string& reader, const std::u16string& name) const;

  bool ContainerExists(const std::u16string& reader, const std::u16string& name) const;
  // Whether a container of that name fits the file system's limits on names and paths (err
  // then receives ENAMETOOLONG), before anything is written.
  bool NameStorable(const std::u16string& reader, const std::u16string& name, int* err) const;
  // Container names on a carrier, sorted.
  std::vector<std::u16string> ListContainers(const std::u16string& reader) const;

  std::optional<ContainerRecord> LoadContainer(const std::u16string& reader, const std::u16string& name) const;
  // Creates a new container file; false when it already exists or cannot be written (err
  // then receives the errno of the failure).
  bool CreateContainer(const ContainerRecord& record, bool& existed, int* err = nullptr) const;
  // Replaces an existing container file atomically.
  bool SaveContainer(const ContainerRecord& record, int* err = nullptr) const;

  std::optional<CarrierRecord> LoadCarrier(const std::u16string& reader) const;
  // Writes the carrier record unless one exists; existed tells which happened.
  bool CreateCarrier(const std::u16string& reader, const CarrierRecord& record, bool& existed) const;

  // Consecutive wrong PINs entered for a carrier, kept across runs (0 when never recorded; an
  // unreadable record counts as blocked so that damaging it does not reset the count).
  int LoadWrongPins(const std::u16string& reader, int blockedAt) const;
  bool SaveWrongPins(const std::u16string& reader, int count) const;

 private:
  std::string root_;
};

// Key derivation and sealing.
// Empty when the record's parameters are out of range or the derivation fails.
Bytes DeriveMaster(const std::string& pin, const CarrierRecord& carrier);
Bytes Verifier(const Bytes& master);
bool Seal(const Bytes& master, ContainerRecord& record, const Bytes& plain);
std::optional<Bytes> Unseal(const Bytes& master, const ContainerRecord& record);
Bytes RandomBytes(std::size_t n);
// Overwrites the bytes before they are released.
void Wipe(Bytes& bytes);
void Wipe(std::string& text);

}  // namespace orvane::csp::store
