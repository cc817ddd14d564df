#include "diag/diagnostics.h"

#include <gtest/gtest.h>

#include "config/deployment_config.h"
#include "support/tls_test_server.h"
#include "text/text.h"

using namespace orvane;
using diag::ProbeResult;
using diag::ProbeTarget;

namespace {

class FixedResolver : public platform::ProxyResolver {
 public:
  std::optional<platform::UserProxySettings> settings = platform::UserProxySettings{};
  std::optional<platform::UserProxySettings> ReadUserSettings() override { return settings; }
  std::optional<std::string> Discover(const std::string&) override { return std::string("http://wpad-proxy:8080"); }
};

class RecordingUi : public diag::DiagnosticsUi {
 public:
  void Begin(WindowHandle) override { ++begun; }
  void SetProgress(int p) override { positions.push_back(p); }
  void End() override { ++ended; }
  void ShowReport(WindowHandle, const std::u16string& t) override { reports.push_back(text::ToUtf8(t)); }
  int begun = 0, ended = 0;
  std::vector<int> positions;
  std::vector<std::string> reports;
};

diag::DiagnosticsEnvironment Env(std::vector<ProbeResult> answers, std::vector<ProbeTarget>* seen) {
  diag::DiagnosticsEnvironment env;
  env.os = platform::OsVersionRecord{"Debian GNU/Linux 12 (bookworm)", "", 6, 1, 0, true};
  auto entry = std::make_shared<csp::cryptoProviderData>();
  entry->kind = csp::kKindCryptoPro;
  entry->major = 5;
  entry->build = 12000;
  env.catalogue.push_back(entry);
  env.requestHost = "lk.example";
  env.edocHost = "ed.example";
  env.publicServicesHost = "gu.example";
  env.makerHost = "www.example";
  auto autoDetect = std::make_shared<FixedResolver>();
  autoDetect->settings = platform::UserProxySettings{true, std::nullopt, std::nullopt};
  env.resolver = autoDetect;
  auto queue = std::make_shared<std::vector<ProbeResult>>(std::move(answers));
  env.probe = [queue, seen](const ProbeTarget& t) {
    seen->push_back(t);
    ProbeResult r = queue->front();
    queue->erase(queue->begin());
    return r;
  };
  env.resolve = [](const std::string&, std::uint16_t) {
    return std::optional<std::vector<std::string>>({"10.0.0.1:443", "10.0.0.2:443"});
  };
  return env;
}

constexpr ProbeResult kOk{true, true, 200, 0, 0};
constexpr ProbeResult kRefused{true, false, 0, 0, 7};

}  // namespace

TEST(Diagnostics, WorkingConnectionStopsAfterTheFirstProbe) {
  std::vector<ProbeTarget> seen;
  RecordingUi ui;
  diag::RunDiagnostics(nullptr, Env({kOk}, &seen), ui);
  ASSERT_EQ(ui.reports.size(), 1u);
  EXPECT_EQ(ui.reports[0],
            "Версия ОС: Debian GNU/Linux 12 (bookworm)  (6.1.0 64-bit)\n"
            "Криптопровайдер: КриптоПро CSP 5.0.12000\n"
            "Сервер ЛК: lk.example:443\n"
            "Ответ DNS-сервера: 10.0.0.1:443, 10.0.0.2:443\n"
            "HTTP прокси сервер: http://wpad-proxy:8080\n"
            "\nПроверка соединения с ЛК Talvik:\n"
            "Соединение: ОК, код ошибки: 0\n"
            "Запрос: ОК, код ошибки: 0, код HTTP: 200\n"
            "Соединение с ЛК Talvik успешно установлено.\n");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].path, "/a/get_version");
  EXPECT_TRUE(seen[0].passthru);
  EXPECT_FALSE(seen[0].direct);
  EXPECT_EQ(ui.positions, (std::vector<int>{20, 40}));
  EXPECT_EQ(ui.begun, 1);
  EXPECT_EQ(ui.ended, 1);
}

TEST(Diagnostics, ProxyAndAnAllFailingChain) {
  std::vector<ProbeTarget> seen;
  auto env = Env({kRefused, ProbeResult{false, false, 0, 87, 0}, kRefused, ProbeResult{true, true, 503, 0, 0},
                  ProbeResult{true, true, 404, 0, 0}},
                 &seen);
  auto resolver = std::make_shared<FixedResolver>();
  resolver->settings = platform::UserProxySettings{false, "proxy.corp:3128", std::nullopt};
  env.resolver = resolver;
  env.resolve = [](const std::string&, std::uint16_t) { return std::optional<std::vector<std::string>>(); };
  RecordingUi ui;
  diag::RunDiagnostics(nullptr, env, ui);
  ASSERT_EQ(ui.reports.size(), 1u);
  const std::string& r = ui.reports[0];
  EXPECT_NE(r.find("Ответ DNS-сервера: ОШИБКА\n"), std::string::npos);
  EXPECT_NE(r.find("HTTP прокси сервер: proxy.corp:3128\n"), std::string::npos);
  EXPECT_NE(r.find("\nПроверка прямого соединения с ЛК:\nСоединение: ОШИБКА, код ошибки: 87\n"
                   "Запрос: ОШИБКА, код ошибки: 0, код HTTP: 0\n"),
            std::string::npos);
  EXPECT_NE(r.find("Невозможно установить соединение с сервером ГосУслуги.\n"), std::string::npos);
  EXPECT_TRUE(
      r.ends_with("Невозможно установить соединение с сервером Talvik.\n"
                  "РЕКОМЕНДАЦИЯ: Проверьте прохождение трафика от данного ПК.\n"));
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_TRUE(seen[1].direct);
  EXPECT_FALSE(seen[2].passthru);
  EXPECT_FALSE(seen[4].secure);
  EXPECT_EQ(seen[4].port, 80);
  EXPECT_EQ(ui.positions.back(), 120);
}

TEST(Diagnostics, PublicServicesRedirectCountsAndReportIsWindows1251) {
  std::vector<ProbeTarget> seen;
  auto env = Env({kRefused, kRefused, ProbeResult{true, true, 302, 0, 0}}, &seen);
  env.os.reset();
  env.catalogue.clear();
  env.resolver = std::make_shared<FixedResolver>();
  static_cast<FixedResolver&>(*env.resolver).settings = platform::UserProxySettings{};
  auto report = diag::BuildReport(env, nullptr);
  const std::string bytes = *report->ReadAllText();
  EXPECT_EQ(bytes.rfind("\xD1\xE5\xF0\xE2\xE5\xF0 \xCB\xCA: ", 0), 0u);  // "Сервер ЛК: " in 1251, no OS line
  EXPECT_NE(bytes.find("\xCE\xCA"), std::string::npos);                  // "ОК"
  const std::string text = text::ToUtf8(diag::ReportText(*report));
  EXPECT_TRUE(text.ends_with("либо с вредоносным ПО."));  // no line break after the last message
  EXPECT_EQ(seen.size(), 3u);                             // no proxy: no direct probe
}

TEST(Diagnostics, ProbeOverLoopback) {
  test::TempDir dir;
  const auto certs = test::MakeTestCertificates(dir.Path());
  test::RawServer server([](const test::RawRequest&, test::Connection& c) { c.Send(test::HttpResponse(200, "1")); },
                         certs.certFile, certs.keyFile);
  auto direct = std::make_shared<FixedResolver>();
  const auto ok =
      diag::ProbeHttp({"127.0.0.1", server.Port(), "/a/get_version", true, true, true}, direct, certs.caFile);
  EXPECT_TRUE(ok.connected);
  EXPECT_TRUE(ok.requestDone);
  EXPECT_EQ(ok.statusCode, 200);
  const auto plain = diag::ProbeHttp({"127.0.0.1", server.Port(), "/", true, false, true}, direct, certs.caFile);
  EXPECT_EQ(plain.statusCode, 200);
  const auto reqs = server.Requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].Header("X-Mutual-Passthru"), "enable");
  EXPECT_EQ(reqs[1].Header("X-Mutual-Passthru"), "");
  server.Stop();
  const auto down = diag::ProbeHttp({"127.0.0.1", server.Port(), "/", true, false, true}, direct);
  EXPECT_TRUE(down.connected);
  EXPECT_FALSE(down.requestDone);
  EXPECT_NE(down.requestError, 0u);
}
