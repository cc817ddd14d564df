// Renders the certificate form of a head-CA root and the request form of a request made with
// the software provider, each from DER to an HTML file, and prints seconds per form for every
// stage and our share of the total: decoding, XML building and file output, against
// libxml2/libxslt's parsing, transformation and serialisation.
//   render_bench [ROUNDS] [CERTIFICATE.der]
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "config/deployment_config.h"
#include "csp/catalogue.h"
#include "csp/software_provider.h"
#include "keys/pkcs10.h"
#include "render/form_render.h"
#include "request/attribute_list.h"
#include "text/text.h"

using namespace orvane;

namespace {

class AllPresent : public csp::CarrierPresence {
 public:
  std::vector<std::u16string> PresentReaders() override { return {u"Bench Reader"}; }
};

class FixedPin : public csp::PinPrompt {
 public:
  std::optional<std::string> AskPin(WindowHandle, const csp::PinRequest&) override { return std::string("1234"); }
};

class SilentUi : public WizardUi {
 public:
  bool Message(WindowHandle, MessageKind, const std::u16string& text) override {
    std::fprintf(stderr, "message: %s\n", text::ToUtf8(text).c_str());
    return true;
  }
  void BeginWait() override {}
  void EndWait() override {}
  void OpenUrl(const std::u16string&) override {}
};

std::vector<std::uint8_t> MakeRequest(const csp::providerCatalogue& catalogue, const csp::ProviderRegistry& registry) {
  keys::KeyRequestInputs in;
  in.family = csp::kKindCryptoPro;
  in.generation = csp::kGost2012_256;
  in.providerName =
      csp::FindProviderName(static_cast<std::uint32_t>(csp::ProviderTypeFor(in.family, in.generation)), catalogue);
  in.subject = *request::ParseAttributeList(std::u16string(
      u"2.5.4.3=\"Иванов Иван Иванович\",2.5.4.4=Иванов,2.5.4.42=Иван Иванович,2.5.4.6=RU,2.5.4.8=77 г. Москва,"
      u"2.5.4.7=Москва,1.2.643.3.131.1.1=771234567890,1.2.643.100.3=12345678901,1.2.840.113549.1.9.1=ivanov@example."
      u"ru"));
  in.eku = std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2", u"1.3.6.1.5.5.7.3.4"};
  in.period = "12 Months";
  in.policyLevel = "KC2";
  in.identificationKind = 0;
  in.containerPath = u"\\\\.\\Bench Reader\\render-bench";
  const auto result = keys::CreateKeyAndRequest(in, catalogue, registry);
  return result.der.value_or(std::vector<std::uint8_t>{});
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const std::string certPath = argc > 2 ? argv[2] : ORVANE_SOURCE_DIR "/tests/data/head-ca/rootA.cer";
  std::ifstream in(certPath, std::ios::binary);
  const std::vector<std::uint8_t> certificate((std::istreambuf_iterator<char>(in)), {});
  if (certificate.empty()) {
    std::fprintf(stderr, "cannot read %s\n", certPath.c_str());
    return 1;
  }

  char templ[] = "/tmp/orvane-render-bench-XXXXXX";
  if (::mkdtemp(templ) == nullptr) return 1;
  const std::string dir = templ;
  csp::ProviderRegistry registry;
  csp::RegisterSoftwareProviders(registry, {dir, std::make_shared<AllPresent>(), std::make_shared<FixedPin>()});
  csp::providerCatalogue catalogue;
  csp::EnumerateGostProviders(&catalogue, registry);
  const auto requestDer = MakeRequest(catalogue, registry);
  const render::FormRenderer forms({"Москва", "8 800 000-00-00"});
  if (requestDer.empty()) {
    std::fprintf(stderr, "request failed\n");
    return 1;
  }

  SilentUi ui;
  std::printf("%-12s %7s %10s %10s %10s %10s %10s %8s\n", "form", "rounds", "decoding", "document", "libxslt", "output",
              "total", "ours");
  for (const bool isCertificate : {true, false}) {
    render::RenderTimings sum;
    double total = 0;
    for (int i = 0; i < rounds; ++i) {
      render::RenderTimings t;
      const auto t0 = std::chrono::steady_clock::now();
      const auto path = isCertificate ? forms.RenderCertificateForm(ui, nullptr, certificate, &t)
                                      : forms.RenderRequestForm(ui, nullptr, requestDer, &t);
      total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      if (!path) return 1;
      std::filesystem::remove(text::ToUtf8(*path));
      sum.decoding += t.decoding;
      sum.document += t.document;
      sum.transform += t.transform;
      sum.output += t.output;
    }
    const double ours = total - sum.transform;
    std::printf("%-12s %7d %10.6f %10.6f %10.6f %10.6f %10.6f %7.2f%%\n", isCertificate ? "certificate" : "request",
                rounds, sum.decoding / rounds, sum.document / rounds, sum.transform / rounds, sum.output / rounds,
                total / rounds, 100.0 * ours / total);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
