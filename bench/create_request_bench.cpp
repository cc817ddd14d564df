// From "Данные верны" to the request preview shown: key pair, PKCS#10 request, form
// rendering, against the reference request system on loopback with the software provider.
// Prints the time per run and our share outside key generation, the PIN key derivation
// (and sealing) and libxslt.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "csp/catalogue.h"
#include "csp/software_provider.h"
#include "server.h"
#include "support/scripted_ui.h"
#include "support/tls_test_server.h"
#include "text/text.h"
#include "wizard/create_request.h"
#include "wizard/document_preview.h"

using namespace orvane;
using Clock = std::chrono::steady_clock;

namespace {

class Present : public csp::CarrierPresence {
 public:
  std::vector<std::u16string> PresentReaders() override { return {u"Bench Reader"}; }
};

class FixedPin : public csp::PinPrompt {
 public:
  std::optional<std::string> AskPin(WindowHandle, const csp::PinRequest&) override { return std::string("1234"); }
};

class NoCodes : public wizard::SmsCodeSource {
 public:
  std::optional<std::u16string> SmsCode(WindowHandle, const std::u16string&, const std::u16string&) override {
    return std::nullopt;
  }
};

// Times the stretch between the confirmed data dialog and the preview, then leaves the
// preview without sending.
class TimingDialogs : public wizard::FlowUi {
 public:
  bool RunRequestProperties(WindowHandle, request::RequestPropertiesModel& model) override {
    model.Initialise();
    confirmed = Clock::now();
    return true;
  }
  bool RunDocumentPreview(WindowHandle, const std::u16string&, wizard::DocumentPreview&) override {
    shown = Clock::now();
    return false;
  }
  int RunFinish(WindowHandle) override { return wizard::kFinishDone; }
  std::unique_ptr<wizard::ProgressWindow> OpenAutoEnrollProgress(WindowHandle) override { return nullptr; }
  Clock::time_point confirmed, shown;
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  test::TempDir dir;
  std::ofstream(dir.Path() + "/seed.ini") << "[application.bench]\ntoken = BENCH\nrequest_id = 1\n"
                                             "subject = 2.5.4.3=\"Иванов Иван Иванович\",2.5.4.6=RU,2.5.4.7=Москва,"
                                             "1.2.643.3.131.1.1=771234567890,1.2.643.100.3=12345678901\n"
                                             "eku = 1.3.6.1.5.5.7.3.2,1.3.6.1.5.5.7.3.4\ngeneration = gost2012-256\n";
  refsys::Server server;
  refsys::ServerOptions options;
  options.stateDir = dir.Path() + "/state";
  options.seedFile = dir.Path() + "/seed.ini";
  std::string error;
  if (!server.Start(options, error)) {
    std::fprintf(stderr, "reference request system: %s\n", error.c_str());
    return 1;
  }
  std::thread serving([&] { server.Run(); });

  test::ScriptedUi ui;
  csp::ProviderRegistry registry;
  csp::RegisterSoftwareProviders(registry,
                                 {dir.Path() + "/data", std::make_shared<Present>(), std::make_shared<FixedPin>()});
  csp::providerCatalogue catalogue;
  csp::EnumerateGostProviders(&catalogue, registry);
  net::RequestSystem requestSystem(ui, "127.0.0.1", static_cast<std::uint16_t>(server.Port()), nullptr,
                                   server.TlsCaFile());
  const render::FormRenderer forms({"Москва", "8 800 000-00-00"});
  TimingDialogs dialogs;
  NoCodes codes;
  carriers::tokenInfo carrier;
  carrier.reader = u"Bench Reader";
  carrier.model = u"Rutoken ECP";
  carrier.serial = u"0000000001";
  carrier.type = 4;

  std::vector<double> totals, ours;
  for (int i = 0; i < rounds; ++i) {
    wizard::WizardState state;
    state.accessToken = u"BENCH";
    state.carrier = std::make_shared<const carriers::tokenInfo>(carrier);
    csp::ThreadTimings() = {};
    wizard::CreateRequestFlow flow({ui, dialogs, requestSystem, registry, catalogue, forms, codes});
    flow.Run(nullptr, state, {});
    if (!state.requestBlob) {
      std::fprintf(stderr, "no request: %s\n", ui.messages.empty() ? "" : ui.messages.back().Utf8().c_str());
      break;
    }
    const double total = std::chrono::duration<double>(dialogs.shown - dialogs.confirmed).count();
    const auto provider = csp::ThreadTimings();
    // libxslt's part of the form, measured on the same request.
    render::RenderTimings render;
    const auto der = state.requestBlob->ReadAll();
    forms.RenderRequestHtml(ui, nullptr, *der, &render);
    const double excluded = provider.keyGeneration + provider.protection + provider.signing + render.transform;
    if (getenv("BENCH_DETAIL"))
      std::fprintf(stderr, "total %.2f keygen %.2f prot %.2f sign %.2f xslt %.2f dec %.2f doc %.2f out %.2f\n",
                   total * 1000, provider.keyGeneration * 1000, provider.protection * 1000, provider.signing * 1000,
                   render.transform * 1000, render.decoding * 1000, render.document * 1000, render.output * 1000);
    totals.push_back(total);
    ours.push_back(std::max(0.0, total - excluded));
  }
  server.Stop();
  serving.join();
  if (totals.empty()) return 1;
  std::sort(totals.begin(), totals.end());
  std::sort(ours.begin(), ours.end());
  const double total = totals[totals.size() / 2], own = ours[ours.size() / 2];
  std::printf("data confirmed -> preview shown: median %.1f ms over %zu runs\n", total * 1000, totals.size());
  std::printf("our share outside key generation, PIN key derivation and libxslt: %.2f ms (%.1f %%, goal < 10 %%)\n",
              own * 1000, 100.0 * own / total);
  return 0;
}
