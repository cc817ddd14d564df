#include "csp/container_store.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "crypto/ossl.h"
#include "platform/file_write.h"
#include "text/text.h"

namespace orvane::csp::store {
namespace {

constexpr char kContainerMagic[] = "orvane-key-container 1";
constexpr char kCarrierMagicV1[] = "orvane-carrier 1";  // PBKDF2 only
constexpr char kCarrierMagic[] = "orvane-carrier 2";    // names its key-derivation function
constexpr char kWrongPinsMagic[] = "orvane-pin-tries 1";
constexpr char kWrongPinsFile[] = "pin.tries";
// Limits on stored scrypt parameters, so that an edited record cannot make one derivation
// ask for gigabytes.
constexpr std::uint64_t kMaxScryptN = 1u << 20;
constexpr std::uint32_t kMaxScryptR = 32;
constexpr std::uint32_t kMaxScryptP = 16;
constexpr std::uint64_t kMaxScryptMemory = 512ull << 20;
constexpr char kContainerSuffix[] = ".key";
constexpr char kCarrierFile[] = "carrier.pin";

// Readable, file-system-safe names: letters, digits, "-", "_" and "." (not leading) stay,
// everything else becomes %XX of its UTF-8 bytes.
std::string EncodeName(const std::u16string& name) {
  return text::PercentEncode(text::ToUtf8(name), [](unsigned char c, std::size_t i) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           (c == '.' && i != 0);
  });
}

std::optional<std::u16string> DecodeName(const std::string& encoded) {
  std::string utf8;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      utf8.push_back(encoded[i]);
      continue;
    }
    if (i + 2 >= encoded.size()) return std::nullopt;
    unsigned value = 0;
    if (std::sscanf(encoded.substr(i + 1, 2).c_str(), "%2X", &value) != 1) return std::nullopt;
    utf8.push_back(static_cast<char>(value));
    i += 2;
  }
  return text::FromUtf8(utf8);
}

std::string B64(const Bytes& b) {
  return text::Base64Encode(b.data(), b.size());
}

Bytes UnB64(const std::string& s) {
  auto d = text::Base64Decode(std::string_view(s));
  return d ? *d : Bytes();
}

bool EnsureDir(const std::string& path, int* err) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    if (err != nullptr) *err = ec.value();
    return false;
  }
  ::chmod(path.c_str(), 0700);
  return true;
}

bool WriteReplace(const std::string& path, const std::string& content, int* err) {
  return platform::ReplaceFile(path, content, 0600, err);
}

// Fails (existed = true) when path is already there.
bool WriteExclusive(const std::string& path, const std::string& content, bool& existed, int* err) {
  return platform::CreateNewFile(path, content, 0600, existed, err);
}

std::optional<std::map<std::string, std::string>> ReadFields(const std::string& path, const char* magic,
                                                             std::string* magicSeen = nullptr,
                                                             const char* olderMagic = nullptr) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  if (!std::getline(in, line) || (line != magic && (olderMagic == nullptr || line != olderMagic))) return std::nullopt;
  if (magicSeen != nullptr) *magicSeen = line;
  std::map<std::string, std::string> fields;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const auto sp = line.find(' ');
    if (sp == std::string::npos) return std::nullopt;
    fields[line.substr(0, sp)] = line.substr(sp + 1);
  }
  return fields;
}

bool ScryptParametersValid(std::uint64_t n, std::uint32_t r, std::uint32_t p) {
  return n >= 2 && n <= kMaxScryptN && (n & (n - 1)) == 0 && r >= 1 && r <= kMaxScryptR && p >= 1 && p <= kMaxScryptP &&
         128ull * r * (n + p + 2) <= kMaxScryptMemory;
}

bool ParseU32(const std::string& s, std::uint32_t& out) {
  if (s.empty() || s.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > 0xFFFFFFFFu) return false;
  out = static_cast<std::uint32_t>(v);
  return true;
}

std::string Serialize(const ContainerRecord& r) {
  std::ostringstream out;
  out << kContainerMagic << "\n";
  const std::string reader = text::ToUtf8(r.reader);
  const std::string name = text::ToUtf8(r.name);
  out << "reader " << B64(Bytes(reader.begin(), reader.end())) << "\n";
  out << "name " << B64(Bytes(name.begin(), name.end())) << "\n";
  out << "type " << r.type << "\n";
  if (r.hasKey) {
    out << "key-spec " << r.keySpec << "\n";
    out << "key-algorithm " << r.algorithm << "\n";
    out << "key-exportable " << (r.exportable ? 1 : 0) << "\n";
    out << "key-public " << B64(r.publicKey) << "\n";
    out << "key-salt " << B64(r.keySalt) << "\n";
    out << "key-nonce " << B64(r.nonce) << "\n";
    out << "key-sealed " << B64(r.sealed) << "\n";
  }
  if (r.certificate) out << "certificate " << B64(*r.certificate) << "\n";
  return out.str();
}

// Everything about the key that is stored in clear is bound to the sealed key as associated
// data, so that editing the file (the exportable flag, the public key) breaks the unsealing.
std::string AssociatedData(const ContainerRecord& r) {
  std::ostringstream out;
  out << "orvane-sealed-key 1\n"
      << text::ToUtf8(r.reader) << "\n"
      << text::ToUtf8(r.name) << "\n"
      << r.keySpec << "\n"
      << r.algorithm << "\n"
      << (r.exportable ? 1 : 0) << "\n"
      << B64(r.publicKey) << "\n";
  return out.str();
}

Bytes SealingKey(const Bytes& master, const Bytes& salt) {
  static const char label[] = "orvane-container-key";
  Bytes input(label, label + sizeof label - 1);
  input.insert(input.end(), salt.begin(), salt.end());
  Bytes key(32);
  unsigned int len = 0;
  HMAC(EVP_sha256(), master.data(), static_cast<int>(master.size()), input.data(), input.size(), key.data(), &len);
  key.resize(len);
  return key;
}

}  // namespace

ContainerStore::ContainerStore(std::string dataDir) : root_(dataDir + "/containers") {}

std::string ContainerStore::CarrierDir(const std::u16string& reader) const {
  return root_ + "/" + EncodeName(reader);
}

std::string ContainerStore::ContainerFile(const std::u16string& reader, const std::u16string& name) const {
  return CarrierDir(reader) + "/" + EncodeName(name) + kContainerSuffix;
}

bool ContainerStore::ContainerExists(const std::u16string& reader, const std::u16string& name) const {
  std::error_code ec;
  return std::filesystem::exists(ContainerFile(reader, name), ec);
}

bool ContainerStore::NameStorable(const std::u16string& reader, const std::u16string& name, int* err) const {
  const std::string dir = CarrierDir(reader);
  const std::string file = ContainerFile(reader, name);
  const std::size_t dirName = dir.size() - root_.size() - 1;
  const std::size_t fileName = file.size() - dir.size() - 1;
  if (dirName > NAME_MAX || fileName > NAME_MAX || file.size() >= PATH_MAX) {
    if (err != nullptr) *err = ENAMETOOLONG;
    return false;
  }
  return true;
}

std::vector<std::u16string> ContainerStore::ListContainers(const std::u16string& reader) const {
  std::vector<std::u16string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(CarrierDir(reader), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    if (file.size() <= std::strlen(kContainerSuffix) || !file.ends_with(kContainerSuffix)) continue;
    auto name = DecodeName(file.substr(0, file.size() - std::strlen(kContainerSuffix)));
    if (name) names.push_back(*name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<ContainerRecord> ContainerStore::LoadContainer(const std::u16string& reader,
                                                             const std::u16string& name) const {
  auto fields = ReadFields(ContainerFile(reader, name), kContainerMagic);
  if (!fields) return std::nullopt;
  auto& f = *fields;
  ContainerRecord r;
  const Bytes readerBytes = UnB64(f["reader"]);
  const Bytes nameBytes = UnB64(f["name"]);
  r.reader = text::FromUtf8(std::string(readerBytes.begin(), readerBytes.end()));
  r.name = text::FromUtf8(std::string(nameBytes.begin(), nameBytes.end()));
  if (r.reader != reader || r.name != name) return std::nullopt;
  if (!ParseU32(f["type"], r.type)) return std::nullopt;
  if (f.count("key-spec")) {
    r.hasKey = true;
    if (!ParseU32(f["key-spec"], r.keySpec)) return std::nullopt;
    r.algorithm = f["key-algorithm"];
    r.exportable = f["key-exportable"] == "1";
    r.publicKey = UnB64(f["key-public"]);
    r.keySalt = UnB64(f["key-salt"]);
    r.nonce = UnB64(f["key-nonce"]);
    r.sealed = UnB64(f["key-sealed"]);
    if (r.publicKey.empty() || r.keySalt.empty() || r.nonce.size() != 12 || r.sealed.size() <= 16) return std::nullopt;
  }
  if (f.count("certificate")) r.certificate = UnB64(f["certificate"]);
  return r;
}

bool ContainerStore::CreateContainer(const ContainerRecord& record, bool& existed, int* err) const {
  existed = false;
  if (!EnsureDir(root_, err) || !EnsureDir(CarrierDir(record.reader), err)) return false;
  return WriteExclusive(ContainerFile(record.reader, record.name), Serialize(record), existed, err);
}

bool ContainerStore::SaveContainer(const ContainerRecord& record, int* err) const {
  return WriteReplace(ContainerFile(record.reader, record.name), Serialize(record), err);
}

std::optional<CarrierRecord> ContainerStore::LoadCarrier(const std::u16string& reader) const {
  std::string magic;
  auto fields = ReadFields(CarrierDir(reader) + "/" + kCarrierFile, kCarrierMagic, &magic, kCarrierMagicV1);
  if (!fields) return std::nullopt;
  auto& f = *fields;
  CarrierRecord r;
  r.pinSalt = UnB64(f["pin-salt"]);
  r.verifier = UnB64(f["pin-verifier"]);
  if (r.pinSalt.empty() || r.verifier.size() != 32) return std::nullopt;
  const std::string kdf = magic == kCarrierMagicV1 ? "pbkdf2-sha256" : f["pin-kdf"];
  if (kdf == "pbkdf2-sha256") {
    r.kdf = PinKdf::Pbkdf2;
    if (!ParseU32(f["pin-iterations"], r.iterations) || r.iterations == 0) return std::nullopt;
    return r;
  }
  if (kdf == "scrypt") {
    r.kdf = PinKdf::Scrypt;
    std::uint32_t n = 0;
    if (!ParseU32(f["pin-scrypt-n"], n) || !ParseU32(f["pin-scrypt-r"], r.scryptR) ||
        !ParseU32(f["pin-scrypt-p"], r.scryptP)) {
      return std::nullopt;
    }
    r.scryptN = n;
    if (!ScryptParametersValid(r.scryptN, r.scryptR, r.scryptP)) return std::nullopt;
    return r;
  }
  return std::nullopt;
}

bool ContainerStore::CreateCarrier(const std::u16string& reader, const CarrierRecord& record, bool& existed) const {
  existed = false;
  if (!EnsureDir(root_, nullptr) || !EnsureDir(CarrierDir(reader), nullptr)) return false;
  std::ostringstream out;
  out << kCarrierMagic << "\n"
      << "pin-salt " << B64(record.pinSalt) << "\n";
  if (record.kdf == PinKdf::Pbkdf2) {
    out << "pin-kdf pbkdf2-sha256\n"
        << "pin-iterations " << record.iterations << "\n";
  } else {
    out << "pin-kdf scrypt\n"
        << "pin-scrypt-n " << record.scryptN << "\n"
        << "pin-scrypt-r " << record.scryptR << "\n"
        << "pin-scrypt-p " << record.scryptP << "\n";
  }
  out << "pin-verifier " << B64(record.verifier) << "\n";
  return WriteExclusive(CarrierDir(reader) + "/" + kCarrierFile, out.str(), existed, nullptr);
}

int ContainerStore::LoadWrongPins(const std::u16string& reader, int blockedAt) const {
  const std::string path = CarrierDir(reader) + "/" + kWrongPinsFile;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) return 0;
  auto fields = ReadFields(path, kWrongPinsMagic);
  std::uint32_t count = 0;
  if (!fields || !ParseU32((*fields)["wrong"], count)) return blockedAt;
  return count > static_cast<std::uint32_t>(blockedAt) ? blockedAt : static_cast<int>(count);
}

bool ContainerStore::SaveWrongPins(const std::u16string& reader, int count) const {
  const std::string path = CarrierDir(reader) + "/" + kWrongPinsFile;
  if (count <= 0) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return !ec;
  }
  std::ostringstream out;
  out << kWrongPinsMagic << "\n"
      << "wrong " << count << "\n";
  return WriteReplace(path, out.str(), nullptr);
}

Bytes DeriveMaster(const std::string& pin, const CarrierRecord& carrier) {
  Bytes master(32);
  int ok = 0;
  if (carrier.kdf == PinKdf::Pbkdf2) {
    if (carrier.iterations == 0 || carrier.iterations > 0x7FFFFFFFu) return {};
    ok = PKCS5_PBKDF2_HMAC(pin.data(), static_cast<int>(pin.size()), carrier.pinSalt.data(),
                           static_cast<int>(carrier.pinSalt.size()), static_cast<int>(carrier.iterations), EVP_sha256(),
                           static_cast<int>(master.size()), master.data());
  } else {
    if (!ScryptParametersValid(carrier.scryptN, carrier.scryptR, carrier.scryptP)) return {};
    // OpenSSL refuses parameters needing more than maxmem; allow what these need and a margin.
    const std::uint64_t maxmem = 128ull * carrier.scryptR * (carrier.scryptN + carrier.scryptP + 2) + (1u << 20);
    ok = EVP_PBE_scrypt(pin.data(), pin.size(), carrier.pinSalt.data(), carrier.pinSalt.size(), carrier.scryptN,
                        carrier.scryptR, carrier.scryptP, maxmem, master.data(), master.size());
  }
  if (ok != 1) {
    ERR_clear_error();
    return {};
  }
  return master;
}

Bytes Verifier(const Bytes& master) {
  static const char label[] = "orvane-pin-verifier";
  Bytes out(32);
  ossl::MdCtxPtr ctx(EVP_MD_CTX_new());
  unsigned int len = 0;
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1 ||
      EVP_DigestUpdate(ctx.get(), label, sizeof label - 1) != 1 ||
      EVP_DigestUpdate(ctx.get(), master.data(), master.size()) != 1 ||
      EVP_DigestFinal_ex(ctx.get(), out.data(), &len) != 1) {
    return {};
  }
  return out;
}

bool Seal(const Bytes& master, ContainerRecord& record, const Bytes& plain) {
  record.keySalt = RandomBytes(16);
  record.nonce = RandomBytes(12);
  if (record.keySalt.size() != 16 || record.nonce.size() != 12) return false;
  Bytes key = SealingKey(master, record.keySalt);
  const std::string aad = AssociatedData(record);
  ossl::CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  Bytes out(plain.size() + 16);
  int len = 0;
  int total = 0;
  bool ok = ctx && EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(), record.nonce.data()) == 1 &&
            EVP_EncryptUpdate(ctx.get(), nullptr, &len, reinterpret_cast<const unsigned char*>(aad.data()),
                              static_cast<int>(aad.size())) == 1 &&
            EVP_EncryptUpdate(ctx.get(), out.data(), &len, plain.data(), static_cast<int>(plain.size())) == 1;
  if (ok) {
    total = len;
    ok = EVP_EncryptFinal_ex(ctx.get(), out.data() + total, &len) == 1;
    total += len;
  }
  ok = ok && EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, 16, out.data() + total) == 1;
  Wipe(key);
  if (!ok) {
    ERR_clear_error();
    return false;
  }
  out.resize(static_cast<std::size_t>(total) + 16);
  record.sealed = std::move(out);
  return true;
}

std::optional<Bytes> Unseal(const Bytes& master, const ContainerRecord& record) {
  if (record.sealed.size() <= 16 || record.nonce.size() != 12) return std::nullopt;
  Bytes key = SealingKey(master, record.keySalt);
  const std::string aad = AssociatedData(record);
  const std::size_t n = record.sealed.size() - 16;
  Bytes tag(record.sealed.end() - 16, record.sealed.end());
  ossl::CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  Bytes out(n + 16);
  int len = 0;
  int total = 0;
  bool ok = ctx && EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(), record.nonce.data()) == 1 &&
            EVP_DecryptUpdate(ctx.get(), nullptr, &len, reinterpret_cast<const unsigned char*>(aad.data()),
                              static_cast<int>(aad.size())) == 1 &&
            EVP_DecryptUpdate(ctx.get(), out.data(), &len, record.sealed.data(), static_cast<int>(n)) == 1;
  if (ok) {
    total = len;
    ok = EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, 16, tag.data()) == 1 &&
         EVP_DecryptFinal_ex(ctx.get(), out.data() + total, &len) == 1;
    total += len;
  }
  Wipe(key);
  if (!ok) {
    Wipe(out);
    ERR_clear_error();
    return std::nullopt;
  }
  out.resize(static_cast<std::size_t>(total));
  return out;
}

Bytes RandomBytes(std::size_t n) {
  Bytes out(n);
  if (RAND_bytes(out.data(), static_cast<int>(n)) != 1) {
    ERR_clear_error();
    return {};
  }
  return out;
}

void Wipe(Bytes& bytes) {
  if (!bytes.empty()) OPENSSL_cleanse(bytes.data(), bytes.size());
  bytes.clear();
}

void Wipe(std::string& text) {
  if (!text.empty()) OPENSSL_cleanse(text.data(), text.size());
  text.clear();
}

}  // namespace orvane::csp::store
