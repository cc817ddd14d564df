#include "csp/software_provider.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "crypto/gost.h"
#include "csp/container_store.h"
#include "csp/gost_engine.h"
#include "text/text.h"

namespace orvane::csp {
namespace {

using gost::Algorithm;

// What the seven providers of one registration share: the user's container store, the
// carrier-presence source and the PIN prompt.
struct Environment {
  explicit Environment(const SoftwareProviderEnvironment& e)
      : store(e.dataDir), presence(e.presence), pinPrompt(e.pinPrompt) {}

  std::vector<std::u16string> PresentReaders() const {
    return presence ? presence->PresentReaders() : std::vector<std::u16string>();
  }
  bool ReaderPresent(const std::u16string& reader) const {
    const auto readers = PresentReaders();
    return std::find(readers.begin(), readers.end(), reader) != readers.end();
  }

  store::ContainerStore store;
  std::shared_ptr<CarrierPresence> presence;
  std::shared_ptr<PinPrompt> pinPrompt;
};

// The platform's code for a container file that cannot be stored, by its cause: a name too
// long, a full disk, no permission, a missing folder; never the random-source code NTE_FAIL,
// which users are told means a broken random source.
std::uint32_t StorageError(int err) {
  switch (err) {
    case ENAMETOOLONG:
      return 0x800700CE;  // ERROR_FILENAME_EXCED_RANGE
    case ENOSPC:
    case EDQUOT:
      return 0x80070070;  // ERROR_DISK_FULL
    case EACCES:
    case EPERM:
    case EROFS:
      return 0x80070005;  // ERROR_ACCESS_DENIED
    case ENOENT:
    case ENOTDIR:
      return 0x80070003;  // ERROR_PATH_NOT_FOUND
    default:
      return 0x8007001F;  // ERROR_GEN_FAILURE
  }
}

bool IsCryptoProType(std::uint32_t t) {
  return t == kProvCryptoPro2001 || t == kProvCryptoPro2012_256 || t == kProvCryptoPro2012_512;
}

std::optional<Algorithm> AlgorithmForType(std::uint32_t t) {
  switch (t) {
    case kProvCryptoPro2001:
    case kProvVipnet2001:
      return Algorithm::Gost2001;
    case kProvCryptoPro2012_256:
    case kProvVipnet2012_256:
      return Algorithm::Gost2012_256;
    case kProvCryptoPro2012_512:
    case kProvVipnet2012_512:
      return Algorithm::Gost2012_512;
    default:
      return std::nullopt;
  }
}

const char* AlgorithmName(Algorithm a) {
  switch (a) {
    case Algorithm::Gost2001:
      return "gost2001";
    case Algorithm::Gost2012_256:
      return "gost2012-256";
    case Algorithm::Gost2012_512:
      return "gost2012-512";
  }
  return "";
}

std::optional<Algorithm> AlgorithmFromName(const std::string& s) {
  if (s == "gost2001") return Algorithm::Gost2001;
  if (s == "gost2012-256") return Algorithm::Gost2012_256;
  if (s == "gost2012-512") return Algorithm::Gost2012_512;
  return std::nullopt;
}

// Signature algorithm OID of a key algorithm (the one table in crypto/gost.h).
std::string SignatureOidFor(Algorithm a) {
  switch (a) {
    case Algorithm::Gost2001:
      return *crypto::SignatureOidFor(crypto::kGost2001);
    case Algorithm::Gost2012_256:
      return *crypto::SignatureOidFor(crypto::kGost2012_256);
    case Algorithm::Gost2012_512:
      return *crypto::SignatureOidFor(crypto::kGost2012_512);
  }
  return "";
}

std::optional<Algorithm> AlgorithmForHash(std::uint32_t alg) {
  switch (alg) {
    case CALG_GR3411:
      return Algorithm::Gost2001;
    case CALG_GR3411_2012_256:
      return Algorithm::Gost2012_256;
    case CALG_GR3411_2012_512:
      return Algorithm::Gost2012_512;
    default:
      return std::nullopt;
  }
}

std::u16string NameForType(std::uint32_t t) {
  switch (t) {
    case kProvCryptoPro2001:
      return u"Orvane Software GOST R 34.10-2001 Provider (CryptoPro-type, for development and tests)";
    case kProvCryptoPro2012_256:
      return u"Orvane Software GOST R 34.10-2012 256 Provider (CryptoPro-type, for development and tests)";
    case kProvCryptoPro2012_512:
      return u"Orvane Software GOST R 34.10-2012 512 Provider (CryptoPro-type, for development and tests)";
    case kProvVipnet2001:
      return u"Orvane Software GOST R 34.10-2001 Provider (ViPNet-type, for development and tests)";
    case kProvVipnet2012_256:
      return u"Orvane Software GOST R 34.10-2012 256 Provider (ViPNet-type, for development and tests)";
    case kProvVipnet2012_512:
      return u"Orvane Software GOST R 34.10-2012 512 Provider (ViPNet-type, for development and tests)";
    case PROV_RSA_FULL:
      return u"Orvane Software Random Source (random bytes only, for development and tests)";
    default:
      return u"";
  }
}

Bytes Word(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

Bytes Narrow(const std::u16string& s) {
  if (s.empty()) return {};
  const auto n = text::WideToCp1251(s);
  return n ? Bytes(n->begin(), n->end()) : Bytes();
}

std::u16string FullPath(const std::u16string& reader, const std::u16string& name) {
  return u"\\\\.\\" + reader + u"\\" + name;
}

// "\\.\reader\name" or a bare name.
struct Location {
  std::optional<std::u16string> reader;
  std::u16string name;
};

std::optional<Location> ParseLocation(const std::u16string& path) {
  Location loc;
  static const std::u16string prefix = u"\\\\.\\";
  if (path.starts_with(prefix)) {
    const std::u16string rest = path.substr(prefix.size());
    const auto sep = rest.find(u'\\');
    if (sep == std::u16string::npos || sep == 0) return std::nullopt;
    loc.reader = rest.substr(0, sep);
    loc.name = rest.substr(sep + 1);
  } else {
    loc.name = path;
  }
  if (loc.name.empty() || loc.name.find(u'\\') != std::u16string::npos || loc.name.find(u'\0') != std::u16string::npos)
    return std::nullopt;
  return loc;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

class SoftwareProvider;

class SoftwareContext : public CryptContext {
 public:
  SoftwareContext(std::shared_ptr<const SoftwareProvider> provider, std::uint32_t flags)
      : provider_(std::move(provider)), flags_(flags) {}
  ~SoftwareContext() override {
    store::Wipe(master_);
    store::Wipe(pin_);
  }

  // A pending container is one just created: its file is written once the PIN is verified,
  // so that a wrong or cancelled PIN leaves nothing on the carrier.
  void AttachContainer(store::ContainerRecord record, bool pending = false) {
    record_ = std::move(record);
    pending_ = pending;
  }

  bool GetProvParam(std::uint32_t param, Bytes& data, std::uint32_t flags) override;
  bool SetProvParam(std::uint32_t param, std::span<const std::uint8_t> data) override;
  bool GenKey(std::uint32_t keySpec, std::uint32_t flags) override;
  bool HasUserKey(std::uint32_t keySpec) override;
  bool ExportPublicKeyInfo(std::uint32_t keySpec, Bytes& spki) override;
  bool ExportPrivateKey(std::uint32_t keySpec, Bytes& pkcs8) override;
  bool GetKeyParam(std::uint32_t keySpec, std::uint32_t param, Bytes& data) override;
  bool SetKeyParam(std::uint32_t keySpec, std::uint32_t param, std::span<const std::uint8_t> data) override;
  bool SignCertificate(std::uint32_t keySpec, std::span<const std::uint8_t> toBeSigned, const std::string& signatureOid,
                       Bytes& signature) override;
  bool HashData(std::uint32_t hashAlg, std::span<const std::uint8_t> data, Bytes& hash) override;
  bool SignHash(std::uint32_t keySpec, std::uint32_t hashAlg, std::span<const std::uint8_t> hash,
                Bytes& signature) override;
  bool GenRandom(std::span<std::uint8_t> out) override;

 private:
  bool Fail(std::uint32_t code) {
    SetLastError(code);
    return false;
  }
  bool Ok() {
    SetLastError(kErrorSuccess);
    return true;
  }
  // The container must be open and its carrier present.
  bool RequireContainer();
  // The key of keySpec must exist.
  bool RequireKey(std::uint32_t keySpec);
  // Asks for the PIN (at most `attempts` times in this call) unless this context already
  // holds the PIN-derived key.
  bool Authenticate(int attempts);
  bool CheckPin(int attempts);
  // Writes the file of a pending container.
  bool Materialise();
  // The private key, unsealed once per context.
  EVP_PKEY* PrivateKey();

  std::shared_ptr<const SoftwareProvider> provider_;  // kept alive by its contexts
  std::uint32_t flags_;
  std::optional<store::ContainerRecord> record_;
  bool pending_ = false;
  Bytes master_;     // PIN-derived master key, kept for the life of the context
  std::string pin_;  // never stored; cleared right after derivation
  int wrongPins_ = 0;
  ossl::PkeyPtr key_;
  std::vector<std::u16string> enumeration_;
  std::size_t enumPos_ = 0;
  bool enumStarted_ = false;
  WindowHandle owner_ = nullptr;
};

class SoftwareProvider : public CryptProvider, public std::enable_shared_from_this<SoftwareProvider> {
 public:
  SoftwareProvider(std::uint32_t type, std::shared_ptr<const Environment> environment, PinKdfCost cost)
      : type_(type), name_(NameForType(type)), environment_(std::move(environment)), cost_(cost) {}
  const PinKdfCost& Cost() const { return cost_; }
  const Environment& Env() const { return *environment_; }
  std::uint32_t Type() const override { return type_; }
  std::u16string Name() const override { return name_; }
  std::uint32_t Version() const {
    if (type_ == PROV_RSA_FULL) return 0x0100;
    return IsCryptoProType(type_) ? kSoftwareCryptoProVersion : kSoftwareVipnetVersion;
  }
  void SetOwnerWindow(WindowHandle owner) override {
    std::lock_guard<std::mutex> lock(ownerMutex_);
    owner_ = owner;
  }
  WindowHandle Owner() const {
    std::lock_guard<std::mutex> lock(ownerMutex_);
    return owner_;
  }

  std::unique_ptr<CryptContext> Acquire(const std::optional<std::u16string>& container, std::uint32_t flags) override;

 private:
  std::unique_ptr<CryptContext> Fail(std::uint32_t code) {
    SetLastError(code);
    return nullptr;
  }

  std::uint32_t type_;
  std::u16string name_;
  std::shared_ptr<const Environment> environment_;
  PinKdfCost cost_;
  mutable std::mutex ownerMutex_;
  WindowHandle owner_ = nullptr;
};

std::unique_ptr<CryptContext> SoftwareProvider::Acquire(const std::optional<std::u16string>& container,
                                                        std::uint32_t flags) {
  constexpr std::uint32_t known = CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_SILENT;
  if ((flags & ~known) != 0) return Fail(NTE_BAD_FLAGS);
  const bool verify = (flags & CRYPT_VERIFYCONTEXT) == CRYPT_VERIFYCONTEXT;
  const bool create = (flags & CRYPT_NEWKEYSET) != 0;
  if (verify && create) return Fail(NTE_BAD_FLAGS);
  const bool named = container && !container->empty();
  if (!gost::EnsureEngine() && type_ != PROV_RSA_FULL) return Fail(NTE_FAIL);

  auto context = std::make_unique<SoftwareContext>(shared_from_this(), flags);
  if (!named) {
    if (create) return Fail(NTE_BAD_KEYSET);
    return context;
  }
  if (type_ == PROV_RSA_FULL) return Fail(NTE_BAD_KEYSET);  // random source only

  const auto loc = ParseLocation(*container);
  if (!loc) return Fail(NTE_BAD_KEYSET);

  if (create) {
    std::u16string reader;
    if (loc->reader) {
      reader = *loc->reader;
      if (!Env().ReaderPresent(reader)) return Fail(SCARD_E_NO_SMARTCARD);
    } else {
      // A bare name goes on the carrier the user selected; with nothing selected, only a
      // single present carrier is unambiguous.
      const auto readers = Env().PresentReaders();
      const auto selected = Env().presence ? Env().presence->SelectedReader() : std::nullopt;
      if (selected) {
        if (std::find(readers.begin(), readers.end(), *selected) == readers.end()) return Fail(SCARD_E_NO_SMARTCARD);
        reader = *selected;
      } else {
        if (readers.size() != 1) return Fail(SCARD_E_NO_SMARTCARD);
        reader = readers.front();
      }
    }
    store::ContainerRecord record;
    record.reader = reader;
    record.name = loc->name;
    record.type = type_;
    if (Env().store.ContainerExists(reader, record.name)) return Fail(NTE_EXISTS);
    if (int err = 0; !Env().store.NameStorable(reader, record.name, &err)) return Fail(StorageError(err));
    context->AttachContainer(std::move(record), /*pending=*/true);
    return context;
  }

  std::vector<std::u16string> candidates;
  if (loc->reader) {
    if (Env().ReaderPresent(*loc->reader)) candidates.push_back(*loc->reader);
  } else {
    candidates = Env().PresentReaders();
  }
  // Container names are matched regardless of letter case, as carriers store them.
  for (const auto& reader : candidates) {
    std::optional<std::u16string> name;
    if (Env().store.ContainerExists(reader, loc->name)) {
      name = loc->name;
    } else {
      for (const auto& stored : Env().store.ListContainers(reader)) {
        if (text::EqualsIgnoreCase(stored, loc->name)) name = stored;
      }
    }
    if (!name) continue;
    auto record = Env().store.LoadContainer(reader, *name);
    if (!record) return Fail(NTE_BAD_KEYSET);
    context->AttachContainer(std::move(*record));
    return context;
  }
  return Fail(NTE_BAD_KEYSET);
}

bool SoftwareContext::RequireContainer() {
  if (!record_) return Fail(NTE_BAD_KEYSET);
  if (!provider_->Env().ReaderPresent(record_->reader)) return Fail(SCARD_W_REMOVED_CARD);
  return true;
}

bool SoftwareContext::RequireKey(std::uint32_t keySpec) {
  if (!RequireContainer()) return false;
  if (!record_->hasKey || record_->keySpec != keySpec) return Fail(NTE_NO_KEY);
  return true;
}

bool SoftwareContext::Authenticate(int attempts) {
  if (!master_.empty()) return Materialise();
  return CheckPin(attempts) && Materialise();
}

bool SoftwareContext::Materialise() {
  if (!pending_) return Ok();
  bool existed = false;
  int err = 0;
  if (!provider_->Env().store.CreateContainer(*record_, existed, &err)) {
    return Fail(existed ? NTE_EXISTS : StorageError(err));
  }
  pending_ = false;
  return Ok();
}

bool SoftwareContext::CheckPin(int attempts) {
  if (!RequireContainer()) return false;
  if ((flags_ & CRYPT_SILENT) != 0) return Fail(NTE_SILENT_CONTEXT);
  auto prompt = provider_->Env().pinPrompt;
  if (!prompt) return Fail(SCARD_W_CANCELLED_BY_USER);
  const auto& store = provider_->Env().store;
  auto carrier = store.LoadCarrier(record_->reader);
  const WindowHandle owner = owner_ != nullptr ? owner_ : provider_->Owner();
  for (int i = 0; i < attempts; ++i) {
    // The count of wrong PINs is re-read before each one: other contexts and runs add to it.
    const int wrongBefore = carrier ? store.LoadWrongPins(record_->reader, kPinTriesBeforeBlock) : 0;
    if (wrongBefore >= kPinTriesBeforeBlock) return Fail(SCARD_W_CHV_BLOCKED);
    PinRequest request;
    request.readerName = record_->reader;
    request.containerName = record_->name;
    request.attempt = std::min(wrongPins_, kPinAttempts - 1) + 1;
    request.newCarrier = !carrier.has_value();
    auto answer = prompt->AskPin(owner, request);
    if (!answer) return Fail(SCARD_W_CANCELLED_BY_USER);
    pin_ = std::move(*answer);
    store::Wipe(*answer);
    if (pin_.empty()) {
      ++wrongPins_;  // not a guess: not counted against the carrier
      continue;
    }
    if (!carrier) {
      // First use of this carrier: the PIN given becomes its PIN.
      store::CarrierRecord fresh;
      fresh.kdf = store::PinKdf::Scrypt;
      fresh.pinSalt = store::RandomBytes(16);
      fresh.scryptN = provider_->Cost().n;
      fresh.scryptR = provider_->Cost().r;
      fresh.scryptP = provider_->Cost().p;
      const auto derived = std::chrono::steady_clock::now();
      Bytes master = fresh.pinSalt.empty() ? Bytes() : store::DeriveMaster(pin_, fresh);
      ThreadTimings().protection += Seconds(derived);
      store::Wipe(pin_);
      if (master.empty()) return Fail(NTE_FAIL);
      fresh.verifier = store::Verifier(master);
      bool existed = false;
      if (store.CreateCarrier(record_->reader, fresh, existed)) {
        master_ = std::move(master);
        return Ok();
      }
      store::Wipe(master);
      if (!existed) return Fail(NTE_FAIL);
      carrier = store.LoadCarrier(record_->reader);  // made meanwhile by another context
      if (!carrier) return Fail(NTE_FAIL);
      --i;  // the answer was not checked against a PIN: ask again without counting it
      continue;
    }
    const auto derived = std::chrono::steady_clock::now();
    Bytes master = store::DeriveMaster(pin_, *carrier);
    ThreadTimings().protection += Seconds(derived);
    store::Wipe(pin_);
    if (master.empty()) return Fail(NTE_FAIL);
    const Bytes verifier = store::Verifier(master);
    if (verifier.size() == carrier->verifier.size() &&
        CRYPTO_memcmp(verifier.data(), carrier->verifier.data(), verifier.size()) == 0) {
      master_ = std::move(master);
      wrongPins_ = 0;
      if (wrongBefore > 0) store.SaveWrongPins(record_->reader, 0);
      return Ok();
    }
    store::Wipe(master);
    ++wrongPins_;
    const int wrongAfter = store.LoadWrongPins(record_->reader, kPinTriesBeforeBlock) + 1;
    store.SaveWrongPins(record_->reader, wrongAfter);
    if (wrongAfter >= kPinTriesBeforeBlock) return Fail(SCARD_W_CHV_BLOCKED);
  }
  return Fail(SCARD_W_WRONG_CHV);
}

EVP_PKEY* SoftwareContext::PrivateKey() {
  if (key_) return key_.get();
  if (!Authenticate(kPinAttempts)) return nullptr;
  auto plain = store::Unseal(master_, *record_);
  if (!plain) {
    // The carrier PIN was right but does not open this key (the container was sealed under
    // another PIN or altered).
    SetLastError(NTE_BAD_KEYSET);
    return nullptr;
  }
  const unsigned char* p = plain->data();
  ossl::Pkcs8Ptr p8(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, static_cast<long>(plain->size())));
  store::Wipe(*plain);
  if (p8) key_.reset(EVP_PKCS82PKEY(p8.get()));
  ERR_clear_error();
  if (!key_) SetLastError(NTE_BAD_KEYSET);
  return key_.get();
}

bool SoftwareContext::GetProvParam(std::uint32_t param, Bytes& data, std::uint32_t flags) {
  switch (param) {
    case PP_NAME:
      data = Narrow(provider_->Name());
      return Ok();
    case PP_VERSION:
      data = Word(provider_->Version());
      return Ok();
    case PP_PROVTYPE:
      data = Word(provider_->Type());
      return Ok();
    case kPPBuildInfo:
      if (!IsCryptoProType(provider_->Type())) return Fail(NTE_BAD_TYPE);
      data.assign(20, 0);
      std::copy_n(Word(kSoftwareBuild).begin(), 4, data.begin());
      return Ok();
    case PP_CONTAINER:
      if (!record_) return Fail(NTE_BAD_KEYSET);
      data = Narrow(record_->name);
      return Ok();
    case PP_SMARTCARD_READER:
      if (!record_) return Fail(NTE_BAD_KEYSET);
      data = Narrow(record_->reader);
      return Ok();
    case PP_UNIQUE_CONTAINER:
      if (!record_) return Fail(NTE_BAD_KEYSET);
      data = Narrow(FullPath(record_->reader, record_->name));
      return Ok();
    case PP_ENUMCONTAINERS: {
      if (provider_->Type() == PROV_RSA_FULL) return Fail(NTE_BAD_TYPE);
      if ((flags & CRYPT_FIRST) != 0 || !enumStarted_) {
        enumeration_.clear();
        enumPos_ = 0;
        enumStarted_ = true;
        for (const auto& reader : provider_->Env().PresentReaders()) {
          for (const auto& name : provider_->Env().store.ListContainers(reader)) {
            enumeration_.push_back((flags & CRYPT_FQCN) != 0 ? FullPath(reader, name) : name);
          }
        }
      }
      if (enumPos_ >= enumeration_.size()) return Fail(kErrorNoMoreItems);
      data = Narrow(enumeration_[enumPos_++]);
      return Ok();
    }
    case kPPAuthInfo:
      if (!Authenticate(kPinAttempts)) return false;
      data = Word(0);
      return Ok();
    default:
      return Fail(NTE_BAD_TYPE);
  }
}

bool SoftwareContext::SetProvParam(std::uint32_t param, std::span<const std::uint8_t> data) {
  switch (param) {
    case PP_CLIENT_HWND: {
      WindowHandle owner = nullptr;
      if (data.size() == sizeof owner) std::memcpy(&owner, data.data(), sizeof owner);
      owner_ = owner;
      return Ok();
    }
    case kPPAuthenticate:
      // One PIN entry per call; the caller decides whether to try again.
      if (!Authenticate(1)) return false;
      return Ok();
    default:
      return Fail(NTE_BAD_TYPE);
  }
}

bool SoftwareContext::GenKey(std::uint32_t keySpec, std::uint32_t flags) {
  if (keySpec != AT_KEYEXCHANGE && keySpec != AT_SIGNATURE) return Fail(NTE_BAD_ALGID);
  const auto algorithm = AlgorithmForType(provider_->Type());
  if (!algorithm) return Fail(NTE_BAD_ALGID);
  const std::uint32_t keyBits = flags >> 16;
  const std::uint32_t nominalBits = *algorithm == Algorithm::Gost2012_512 ? 512 : 256;
  if ((flags & 0xFFFF & ~CRYPT_EXPORTABLE) != 0 || (keyBits != 0 && keyBits != nominalBits)) {
    return Fail(NTE_BAD_FLAGS);
  }
  if (!RequireContainer()) return false;
  if ((flags_ & CRYPT_VERIFYCONTEXT) == CRYPT_VERIFYCONTEXT) return Fail(NTE_PERM);
  if (record_->hasKey) return Fail(NTE_EXISTS);  // a container holds one key pair; never overwritten
  if (!Authenticate(kPinAttempts)) return false;

  auto started = std::chrono::steady_clock::now();
  ossl::PkeyPtr key = gost::GenerateKey(*algorithm);
  if (!key) return Fail(NTE_FAIL);
  unsigned char* spki = nullptr;
  const int spkiLen = i2d_PUBKEY(key.get(), &spki);
  ossl::Pkcs8Ptr p8(EVP_PKEY2PKCS8(key.get()));
  unsigned char* priv = nullptr;
  const int privLen = p8 ? i2d_PKCS8_PRIV_KEY_INFO(p8.get(), &priv) : -1;
  ThreadTimings().keyGeneration += Seconds(started);
  if (spkiLen <= 0 || privLen <= 0) {
    OPENSSL_free(spki);
    if (priv != nullptr) OPENSSL_clear_free(priv, static_cast<std::size_t>(std::max(privLen, 0)));
    ERR_clear_error();
    return Fail(NTE_FAIL);
  }
  started = std::chrono::steady_clock::now();
  store::ContainerRecord updated = *record_;
  updated.hasKey = true;
  updated.keySpec = keySpec;
  updated.algorithm = AlgorithmName(*algorithm);
  updated.exportable = (flags & CRYPT_EXPORTABLE) != 0;
  updated.publicKey.assign(spki, spki + spkiLen);
  Bytes plain(priv, priv + privLen);
  OPENSSL_free(spki);
  OPENSSL_clear_free(priv, static_cast<std::size_t>(privLen));
  const bool sealed = store::Seal(master_, updated, plain);
  store::Wipe(plain);
  int err = 0;
  if (!sealed || !provider_->Env().store.SaveContainer(updated, &err)) {
    ThreadTimings().protection += Seconds(started);
    return Fail(sealed ? StorageError(err) : NTE_FAIL);
  }
  ThreadTimings().protection += Seconds(started);
  record_ = std::move(updated);
  key_ = std::move(key);
  return Ok();
}

bool SoftwareContext::HasUserKey(std::uint32_t keySpec) {
  return RequireKey(keySpec) && Ok();
}

bool SoftwareContext::ExportPublicKeyInfo(std::uint32_t keySpec, Bytes& spki) {
  if (!RequireKey(keySpec)) return false;
  spki = record_->publicKey;
  return Ok();
}

bool SoftwareContext::ExportPrivateKey(std::uint32_t keySpec, Bytes& pkcs8) {
  if (!RequireKey(keySpec)) return false;
  if (!record_->exportable) return Fail(NTE_BAD_KEY_STATE);
  if (!Authenticate(kPinAttempts)) return false;
  auto plain = store::Unseal(master_, *record_);
  if (!plain) return Fail(NTE_BAD_KEYSET);
  pkcs8 = std::move(*plain);
  return Ok();
}

bool SoftwareContext::GetKeyParam(std::uint32_t keySpec, std::uint32_t param, Bytes& data) {
  if (!RequireKey(keySpec)) return false;
  switch (param) {
    case KP_CERTIFICATE:
      if (!record_->certificate) return Fail(0x8010002C);  // SCARD_E_NO_SUCH_CERTIFICATE
      data = *record_->certificate;
      return Ok();
    case KP_PERMISSIONS:
      // CRYPT_ENCRYPT | CRYPT_DECRYPT | CRYPT_READ | CRYPT_WRITE | CRYPT_MAC, plus CRYPT_EXPORT.
      data = Word(0x3B | (record_->exportable ? CRYPT_EXPORT : 0));
      return Ok();
    default:
      return Fail(NTE_BAD_TYPE);
  }
}

bool SoftwareContext::SetKeyParam(std::uint32_t keySpec, std::uint32_t param, std::span<const std::uint8_t> data) {
  if (!RequireKey(keySpec)) return false;
  if (param != KP_CERTIFICATE) return Fail(NTE_BAD_TYPE);
  if (data.empty()) return Fail(NTE_BAD_DATA);
  // Only a certificate of this container's key is stored beside it.
  const unsigned char* p = data.data();
  ossl::X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(data.size())));
  if (!cert || p != data.data() + data.size()) {
    ERR_clear_error();
    return Fail(NTE_BAD_DATA);
  }
  unsigned char* spki = nullptr;
  const int n = i2d_PUBKEY(X509_get0_pubkey(cert.get()), &spki);
  const bool same = n > 0 && static_cast<std::size_t>(n) == record_->publicKey.size() &&
                    std::equal(record_->publicKey.begin(), record_->publicKey.end(), spki);
  OPENSSL_free(spki);
  ERR_clear_error();
  if (!same) return Fail(NTE_BAD_DATA);
  if (!Authenticate(kPinAttempts)) return false;  // writing to the carrier needs its PIN
  store::ContainerRecord updated = *record_;
  updated.certificate = Bytes(data.begin(), data.end());
  int err = 0;
  if (!provider_->Env().store.SaveContainer(updated, &err)) return Fail(StorageError(err));
  record_ = std::move(updated);
  return Ok();
}

bool SoftwareContext::SignCertificate(std::uint32_t keySpec, std::span<const std::uint8_t> toBeSigned,
                                      const std::string& signatureOid, Bytes& signature) {
  if (!RequireKey(keySpec)) return false;
  const auto algorithm = AlgorithmFromName(record_->algorithm);
  if (!algorithm) return Fail(NTE_BAD_KEY);
  if (signatureOid != SignatureOidFor(*algorithm)) return Fail(NTE_BAD_ALGID);
  EVP_PKEY* key = PrivateKey();
  if (key == nullptr) return false;
  const auto started = std::chrono::steady_clock::now();
  ossl::MdCtxPtr md(EVP_MD_CTX_new());
  std::size_t len = gost::SignatureSize(*algorithm);
  Bytes out(len);
  const bool ok = md && EVP_DigestSignInit(md.get(), nullptr, gost::DigestFor(*algorithm), nullptr, key) == 1 &&
                  EVP_DigestSign(md.get(), out.data(), &len, toBeSigned.data(), toBeSigned.size()) == 1;
  ThreadTimings().signing += Seconds(started);
  ERR_clear_error();
  if (!ok) return Fail(NTE_FAIL);
  out.resize(len);
  signature = std::move(out);
  return Ok();
}

bool SoftwareContext::HashData(std::uint32_t hashAlg, std::span<const std::uint8_t> data, Bytes& hash) {
  const auto algorithm = AlgorithmForHash(hashAlg);
  if (!algorithm) return Fail(NTE_BAD_ALGID);
  const EVP_MD* md = gost::DigestFor(*algorithm);
  if (md == nullptr) return Fail(NTE_FAIL);
  Bytes out(static_cast<std::size_t>(EVP_MD_get_size(md)));
  unsigned int len = 0;
  if (EVP_Digest(data.data(), data.size(), out.data(), &len, md, nullptr) != 1) {
    ERR_clear_error();
    return Fail(NTE_FAIL);
  }
  out.resize(len);
  hash = std::move(out);
  return Ok();
}

bool SoftwareContext::SignHash(std::uint32_t keySpec, std::uint32_t hashAlg, std::span<const std::uint8_t> hash,
                               Bytes& signature) {
  const auto hashAlgorithm = AlgorithmForHash(hashAlg);
  if (!hashAlgorithm) return Fail(NTE_BAD_ALGID);
  if (hash.size() != gost::HashSize(*hashAlgorithm)) return Fail(NTE_BAD_HASH);
  if (!RequireKey(keySpec)) return false;
  const auto algorithm = AlgorithmFromName(record_->algorithm);
  if (!algorithm) return Fail(NTE_BAD_KEY);
  if (*algorithm != *hashAlgorithm) return Fail(NTE_BAD_ALGID);  // hash and key generation go together
  EVP_PKEY* key = PrivateKey();
  if (key == nullptr) return false;
  const auto started = std::chrono::steady_clock::now();
  ossl::PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
  std::size_t len = gost::SignatureSize(*algorithm);
  Bytes out(len);
  const bool ok = ctx && EVP_PKEY_sign_init(ctx.get()) == 1 &&
                  EVP_PKEY_sign(ctx.get(), out.data(), &len, hash.data(), hash.size()) == 1;
  ThreadTimings().signing += Seconds(started);
  ERR_clear_error();
  if (!ok) return Fail(NTE_FAIL);
  out.resize(len);
  // The platform provider returns the signature reversed relative to the X.509 layout.
  std::reverse(out.begin(), out.end());
  signature = std::move(out);
  return Ok();
}

bool SoftwareContext::GenRandom(std::span<std::uint8_t> out) {
  if (out.empty()) return Ok();
  if (RAND_bytes(out.data(), static_cast<int>(out.size())) != 1) {
    ERR_clear_error();
    return Fail(NTE_FAIL);
  }
  return Ok();
}

}  // namespace

std::shared_ptr<CryptProvider> MakeSoftwareProvider(std::uint32_t type, const SoftwareProviderEnvironment& environment,
                                                    PinKdfCost cost) {
  if (NameForType(type).empty()) return nullptr;
  return std::make_shared<SoftwareProvider>(type, std::make_shared<const Environment>(environment), cost);
}

void RegisterSoftwareProviders(ProviderRegistry& registry, const SoftwareProviderEnvironment& environment,
                               PinKdfCost cost) {
  const auto shared = std::make_shared<const Environment>(environment);
  for (std::uint32_t type : {kProvCryptoPro2001, kProvCryptoPro2012_256, kProvCryptoPro2012_512, kProvVipnet2001,
                             kProvVipnet2012_256, kProvVipnet2012_512, PROV_RSA_FULL}) {
    registry.Register(std::make_shared<SoftwareProvider>(type, shared, cost));
  }
}

SoftwareProviderTimings& ThreadTimings() {
  thread_local SoftwareProviderTimings timings;
  return timings;
}

}  // namespace orvane::csp
