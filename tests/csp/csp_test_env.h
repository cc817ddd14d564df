// Test environment for the provider layer: a temporary data folder for the key containers,
// a carrier-presence double, a scripted PIN prompt, the openssl command line with the gost
// engine, and a self-signed certificate made through the provider.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "crypto/der.h"
#include "csp/catalogue.h"
#include "csp/container_store.h"
#include "csp/provider.h"
#include "csp/software_provider.h"

namespace orvane::test {

class FakePresence : public csp::CarrierPresence {
 public:
  std::vector<std::u16string> PresentReaders() override { return readers; }
  std::optional<std::u16string> SelectedReader() override { return selected; }
  std::vector<std::u16string> readers;
  std::optional<std::u16string> selected;
};

class ScriptedPin : public csp::PinPrompt {
 public:
  std::optional<std::string> AskPin(WindowHandle owner, const csp::PinRequest& request) override {
    requests.push_back(request);
    owners.push_back(owner);
    if (answers.empty()) return fallback;
    auto a = answers.front();
    answers.pop_front();
    return a;
  }
  std::deque<std::optional<std::string>> answers;
  std::optional<std::string> fallback = std::string("1234");
  std::vector<csp::PinRequest> requests;
  std::vector<WindowHandle> owners;
};

// A fresh data folder, the software providers registered over it with the presence and PIN
// doubles, and their catalogue; the folder is removed on destruction.
class ProviderEnvironment {
 public:
  ProviderEnvironment() : presence(std::make_shared<FakePresence>()), pin(std::make_shared<ScriptedPin>()) {
    char templ[] = "/tmp/orvane-csp-test-XXXXXX";
    const char* made = ::mkdtemp(templ);
    if (made != nullptr) dir = made;
    presence->readers = {u"Reader A", u"Reader B"};
    store = std::make_unique<csp::store::ContainerStore>(DataDir());
    csp::RegisterSoftwareProviders(registry, Environment(), csp::PinKdfCost::Cheap());
    csp::EnumerateGostProviders(&catalogue, registry);
  }
  ~ProviderEnvironment() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
  ProviderEnvironment(const ProviderEnvironment&) = delete;
  ProviderEnvironment& operator=(const ProviderEnvironment&) = delete;

  std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // The openssl command line with the gost engine configured; returns the exit status and
  // fills output with stdout and stderr.
  int OpenSsl(const std::string& arguments, std::string* output = nullptr) const {
    const std::string conf = dir + "/openssl-gost.cnf";
    if (!std::filesystem::exists(conf)) {
      std::ofstream(conf) << "openssl_conf = openssl_def\n[openssl_def]\nengines = engine_section\n"
                             "[engine_section]\ngost = gost_section\n[gost_section]\nengine_id = gost\n"
                             "default_algorithms = ALL\n";
    }
    const std::string command = "OPENSSL_CONF=" + conf + " openssl " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    const int status = ::pclose(pipe);
    if (output != nullptr) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string DataDir() const { return dir + "/data"; }
  csp::SoftwareProviderEnvironment Environment() const { return {DataDir(), presence, pin}; }

  std::string dir;
  std::shared_ptr<FakePresence> presence;
  std::shared_ptr<ScriptedPin> pin;
  csp::ProviderRegistry registry;
  csp::providerCatalogue catalogue;
  std::unique_ptr<csp::store::ContainerStore> store;
};

inline std::string SignatureOidForType(std::uint32_t type) {
  switch (type) {
    case 80:
    case 77:
      return "1.2.643.7.1.1.3.2";
    case 81:
    case 78:
      return "1.2.643.7.1.1.3.3";
    default:
      return "1.2.643.2.2.3";
  }
}

// A self-signed certificate for the context's key, made with our DER writer and the
// provider's signature.
inline std::vector<std::uint8_t> SelfSignedCertificate(csp::CryptContext& context, std::uint32_t type,
                                                       const std::string& commonName = "Orvane test") {
  namespace der = crypto::der;
  std::vector<std::uint8_t> spki;
  if (!context.ExportPublicKeyInfo(csp::AT_KEYEXCHANGE, spki)) return {};
  const std::string sigOid = SignatureOidForType(type);
  const auto name = der::Sequence({der::Set({der::Sequence({*der::Oid("2.5.4.3"), der::Utf8String(commonName)})})});
  auto time = [](const char* t) {
    return der::Tlv(0x17, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(t), 13));
  };
  const auto tbs = der::Sequence({der::ContextExplicit(0, der::Integer(2)), der::Integer(0x1234567),
                                  der::Sequence({*der::Oid(sigOid)}), name,
                                  der::Sequence({time("250101000000Z"), time("350101000000Z")}), name, spki});
  std::vector<std::uint8_t> signature;
  if (!context.SignCertificate(csp::AT_KEYEXCHANGE, tbs, sigOid, signature)) return {};
  return der::Sequence({tbs, der::Sequence({*der::Oid(sigOid)}), der::BitString(signature)});
}

inline std::vector<std::uint8_t> ReadBinary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace orvane::test
