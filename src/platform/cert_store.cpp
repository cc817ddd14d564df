#include "platform/cert_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "crypto/sha1.h"
#include "platform/file_write.h"
#include "text/text.h"

namespace orvane::platform {
namespace {

namespace fs = std::filesystem;

std::uint32_t FromErrno(int e) {
  if (e == EACCES || e == EPERM || e == EROFS) return kErrorAccessDenied;
  if (e == ENOENT || e == ENOTDIR) return kErrorNotFound;
  return kErrorWriteFault;
}

std::optional<std::vector<std::uint8_t>> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Writes through a temporary file and a rename, so a reader never sees half a file.
bool WriteFile(const fs::path& path, const std::string& bytes, std::uint32_t& error) {
  int err = 0;
  if (ReplaceFile(path.string(), bytes, 0644, &err)) return true;
  error = FromErrno(err);
  return false;
}

std::string PropertiesText(const KeyProvInfo& k) {
  std::ostringstream out;
  out << "container=" << text::ToUtf8(k.containerName) << "\n"
      << "provider=" << text::ToUtf8(k.providerName) << "\n"
      << "type=" << k.provType << "\n"
      << "flags=" << k.flags << "\n"
      << "keyspec=" << k.keySpec << "\n";
  return out.str();
}

std::optional<KeyProvInfo> ParseProperties(const std::string& textIn) {
  KeyProvInfo k;
  bool any = false;
  std::istringstream in(textIn);
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    any = true;
    if (key == "container") k.containerName = text::FromUtf8(value);
    if (key == "provider") k.providerName = text::FromUtf8(value);
    if (key == "type") k.provType = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    if (key == "flags") k.flags = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    if (key == "keyspec") k.keySpec = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
  }
  if (!any) return std::nullopt;
  return k;
}

class FileStore final : public CertStore {
 public:
  explicit FileStore(fs::path dir) : dir_(std::move(dir)) {}

  bool Contains(const Sha1& t) override {
    std::error_code ec;
    return fs::is_regular_file(CertPath(t), ec);
  }

  CertificatePtr Find(const Sha1& t) override {
    const auto der = ReadFile(CertPath(t));
    // A file whose content does not match its name is not that certificate.
    if (!der || der->empty() || ThumbprintOf(*der) != t) return nullptr;
    auto cert = std::make_shared<CertificateContext>();
    cert->der = *der;
    if (const auto props = ReadFile(PropPath(t))) {
      cert->keyProvInfo = ParseProperties(std::string(props->begin(), props->end()));
    }
    return cert;
  }

  std::vector<CertificatePtr> List() override {
    std::vector<CertificatePtr> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir_, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.size() != 44 || !name.ends_with(".cer")) continue;
      Sha1 t{};
      bool ok = true;
      for (int i = 0; i < 20 && ok; ++i) {
        const std::string pair = name.substr(static_cast<std::size_t>(2 * i), 2);
        char* end = nullptr;
        t[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::strtoul(pair.c_str(), &end, 16));
        ok = end == pair.c_str() + 2;
      }
      if (!ok) continue;
      if (auto cert = Find(t)) out.push_back(std::move(cert));
    }
    return out;
  }

  bool Add(const CertificateContext& certificate, std::uint32_t& error) override {
    if (certificate.der.empty()) {
      error = kErrorWriteFault;
      return false;
    }
    const Sha1 t = ThumbprintOf(certificate.der);
    if (!WriteFile(CertPath(t), std::string(certificate.der.begin(), certificate.der.end()), error)) return false;
    if (certificate.keyProvInfo) return WriteFile(PropPath(t), PropertiesText(*certificate.keyProvInfo), error);
    std::error_code ec;
    fs::remove(PropPath(t), ec);
    return true;
  }

 private:
  fs::path CertPath(const Sha1& t) const { return dir_ / (HexThumbprint(t) + ".cer"); }
  fs::path PropPath(const Sha1& t) const { return dir_ / (HexThumbprint(t) + ".prop"); }
  fs::path dir_;
};

}  // namespace

Sha1 ThumbprintOf(const std::vector<std::uint8_t>& der) {
  return crypto::CPSha1::Of(der.data(), der.size());
}

std::string HexThumbprint(const Sha1& t) {
  return text::HexUpper(t.data(), t.size());
}

std::unique_ptr<CertStore> OpenFileStoreAt(const std::string& directory, bool existingOnly, std::uint32_t& error) {
  std::error_code ec;
  if (!fs::is_directory(directory, ec)) {
    if (existingOnly) {
      error = kErrorNotFound;
      return nullptr;
    }
    fs::create_directories(directory, ec);
    if (ec) {
      error = FromErrno(ec.value());
      return nullptr;
    }
    ::chmod(directory.c_str(), 0755);
  }
  return std::make_unique<FileStore>(directory);
}

CertStoreOpener FileStores(std::string rootStoreDir, std::string myStoreDir) {
  return [rootStoreDir = std::move(rootStoreDir), myStoreDir = std::move(myStoreDir)](
             const std::string& name, StoreLocation location, bool existingOnly,
             std::uint32_t& error) -> std::unique_ptr<CertStore> {
    if (name == "ROOT" && location == StoreLocation::LocalMachine) {
      return OpenFileStoreAt(rootStoreDir, existingOnly, error);
    }
    if (name == "MY" && location == StoreLocation::CurrentUser) return OpenFileStoreAt(myStoreDir, existingOnly, error);
    error = kErrorNotFound;
    return nullptr;
  };
}

}  // namespace orvane::platform
