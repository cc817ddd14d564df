// Reads a 100 MiB reply from a loopback HTTPS server through HttpClient and compares it with
// `curl -o /dev/null` on the same reply. Prints throughput, the ratio to curl and how much the
// process's peak RSS grew over an empty run (the spill file is meant to hold the reply).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/http_client.h"
#include "support/tls_test_server.h"

using namespace orvane;

namespace {

constexpr std::size_t kReplySize = 100u * 1024 * 1024;
constexpr std::size_t kPiece = 1u << 20;

long PeakRssKiB() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main() {
  test::TempDir dir;
  const auto certs = test::MakeTestCertificates(dir.Path());
  const std::string piece(kPiece, 'x');
  test::RawServer server(
      [&](const test::RawRequest& r, test::Connection& c) {
        const std::size_t size = r.path == "/big" ? kReplySize : 16;
        std::string head =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\nConnection: close\r\n\r\n";
        if (!c.Send(head)) return;
        for (std::size_t sent = 0; sent < size;) {
          const std::size_t n = std::min(kPiece, size - sent);
          if (!c.Send(std::string_view(piece).substr(0, n))) return;
          sent += n;
        }
      },
      certs.certFile, certs.keyFile);

  auto fetch = [&](const char16_t* path) {
    net::HttpClient client;
    client.SetExtraCaFile(certs.caFile);
    client.SetDirect(true);
    client.Connect(u"127.0.0.1", server.Port());
    return client.Get(path);
  };

  // Empty run: everything set up, one small reply.
  for (int i = 0; i < 3; ++i) fetch(u"/small");
  const long baseline = PeakRssKiB();

  const auto t0 = std::chrono::steady_clock::now();
  auto reply = fetch(u"/big");
  const double ours = Seconds(std::chrono::steady_clock::now() - t0);
  if (reply.status != 200 || !reply.body || reply.body->Length() != static_cast<std::int64_t>(kReplySize)) {
    std::fprintf(stderr, "transfer failed: status %d\n", reply.status);
    return 1;
  }
  const long peak = PeakRssKiB();
  reply.body.reset();

  const std::string cmd =
      "curl -s -o /dev/null --cacert " + certs.caFile + " https://127.0.0.1:" + std::to_string(server.Port()) + "/big";
  const auto t1 = std::chrono::steady_clock::now();
  const int rc = std::system(cmd.c_str());
  const double theirs = Seconds(std::chrono::steady_clock::now() - t1);

  const double mib = static_cast<double>(kReplySize) / (1024 * 1024);
  std::printf("HttpClient: %.1f MiB in %.3f s = %.1f MiB/s\n", mib, ours, mib / ours);
  if (rc == 0) {
    std::printf("curl -o /dev/null: %.3f s = %.1f MiB/s\n", theirs, mib / theirs);
    std::printf("throughput ratio (HttpClient / curl): %.2f (goal >= 0.50)\n", theirs / ours);
  } else {
    std::printf("curl -o /dev/null: failed (exit %d)\n", rc);
  }
  const double growthMiB = static_cast<double>(peak - baseline) / 1024.0;
  std::printf("peak RSS: empty run %ld KiB, 100 MiB run %ld KiB, growth %.2f MiB (goal < 2 MiB)\n", baseline, peak,
              growthMiB);
  return 0;
}
