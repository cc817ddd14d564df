// CreateKeyAndRequest with the software provider, stage by stage, for GOST R 34.10-2012 256
// and 512. Prints seconds per request for key generation, PIN derivation + sealing + storing,
// DER building, signing, container naming, and the share of the total that is our own code
// (DER building, naming, bookkeeping).
//   request_bench [ROUNDS]
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "config/deployment_config.h"
#include "csp/catalogue.h"
#include "csp/software_provider.h"
#include "keys/container_name.h"
#include "keys/pkcs10.h"

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

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  char templ[] = "/tmp/orvane-bench-XXXXXX";
  if (::mkdtemp(templ) == nullptr) return 1;
  const std::string dir = templ;
  csp::ProviderRegistry registry;
  csp::RegisterSoftwareProviders(registry, {dir, std::make_shared<AllPresent>(), std::make_shared<FixedPin>()});
  csp::providerCatalogue catalogue;
  csp::EnumerateGostProviders(&catalogue, registry);

  const auto subject = request::ParseAttributeList(
      std::u16string(u"2.5.4.3=\"Иванов Иван Иванович\",2.5.4.4=Иванов,2.5.4.42=Иван Иванович,2.5.4.6=RU,"
                     u"2.5.4.8=77 г. Москва,2.5.4.7=Москва,1.2.643.3.131.1.1=771234567890,"
                     u"1.2.643.100.3=12345678901,1.2.840.113549.1.9.1=ivanov@example.ru"));
  std::printf("%-12s %8s %10s %10s %10s %10s %10s %10s %8s\n", "algorithm", "rounds", "keygen", "protect", "der",
              "signing", "naming", "total", "ours");
  for (csp::GostGeneration generation : {csp::kGost2012_256, csp::kGost2012_512}) {
    keys::RequestStageTimings sum;
    double naming = 0;
    for (int i = 0; i < rounds; ++i) {
      keys::KeyRequestInputs in;
      in.family = csp::kKindCryptoPro;
      in.generation = generation;
      in.providerName =
          csp::FindProviderName(static_cast<std::uint32_t>(csp::ProviderTypeFor(in.family, generation)), catalogue);
      in.subject = subject;
      in.eku = std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2", u"1.3.6.1.5.5.7.3.4"};
      in.period = "12 Months";
      in.startDate = "2025-03-01 10:00:00+03:00";
      in.policyLevel = "KC2";
      in.identificationKind = 0;
      const auto t0 = std::chrono::steady_clock::now();
      const auto name = keys::MakeContainerName(u"123456", static_cast<std::uint32_t>(i), subject, registry);
      in.containerPath =
          keys::ContainerPathFor(in.family, u"Bench Reader", *name + u"-" + std::u16string(1, u'a' + generation));
      naming += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      keys::RequestStageTimings t;
      const auto result = keys::CreateKeyAndRequest(in, catalogue, registry, &t);
      if (!result.der) {
        std::fprintf(stderr, "request failed: 0x%08x\n", result.error);
        return 1;
      }
      sum.keyGeneration += t.keyGeneration;
      sum.protection += t.protection;
      sum.derBuilding += t.derBuilding;
      sum.signing += t.signing;
      sum.total += t.total;
    }
    const double total = sum.total + naming;
    const double ours = total - sum.keyGeneration - sum.protection - sum.signing;
    std::printf("%-12s %8d %10.6f %10.6f %10.6f %10.6f %10.6f %10.6f %7.2f%%\n",
                generation == csp::kGost2012_256 ? "2012-256" : "2012-512", rounds, sum.keyGeneration / rounds,
                sum.protection / rounds, sum.derBuilding / rounds, sum.signing / rounds, naming / rounds,
                total / rounds, 100.0 * ours / total);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
