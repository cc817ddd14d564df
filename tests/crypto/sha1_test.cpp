#include "crypto/sha1.h"

#include <gtest/gtest.h>

#include <string>

#include "csp/csp_test_env.h"
#include "keys/signing.h"
#include "text/text.h"

using namespace orvane;
using orvane::crypto::CPSha1;

namespace {

std::string Hex(const CPSha1::Digest& d) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (auto b : d) {
    out.push_back(hex[b >> 4]);
    out.push_back(hex[b & 15]);
  }
  return out;
}

std::string Sha1Hex(const std::string& s) {
  return Hex(CPSha1::Of(s.data(), s.size()));
}

csp::CertificateContext LoadDer(const std::string& file) {
  csp::CertificateContext c;
  c.der = test::ReadBinary(std::string(ORVANE_TEST_DATA_DIR) + "/" + file);
  return c;
}

csp::CertificateContext LoadPem(const std::string& file) {
  const auto bytes = test::ReadBinary(std::string(ORVANE_TEST_DATA_DIR) + "/" + file);
  std::string pem(bytes.begin(), bytes.end());
  const auto begin = pem.find("-----BEGIN CERTIFICATE-----");
  const auto end = pem.find("-----END CERTIFICATE-----");
  csp::CertificateContext c;
  if (begin == std::string::npos || end == std::string::npos) return c;
  c.der = *text::Base64Decode(std::string_view(pem).substr(begin + 27, end - begin - 27));
  return c;
}

}  // namespace

TEST(CPSha1, ReproducesTheFips180Vectors) {
  EXPECT_EQ(Sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  CPSha1 empty;
  EXPECT_EQ(Hex(empty.Final()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(CPSha1, MillionAsFedInUnevenChunks) {
  CPSha1 sha;
  const std::string chunk(997, 'a');
  std::size_t left = 1000000;
  while (left > 0) {
    const std::size_t n = std::min(left, chunk.size());
    sha.Update(chunk.data(), n);
    left -= n;
  }
  EXPECT_EQ(Hex(sha.Final()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(CPSha1, BlockBoundariesAndIgnoredInputs) {
  // Lengths around the padding boundaries (55/56 bytes and whole blocks).
  EXPECT_EQ(Sha1Hex(std::string(55, 'x')), "cef734ba81a024479e09eb5a75b6ddae62e6abf1");
  EXPECT_EQ(Sha1Hex(std::string(56, 'x')), "901305367c259952f4e7af8323f480d59f81335b");
  EXPECT_EQ(Sha1Hex(std::string(63, 'x')), "0ddc4e0cccd9a12850deb5abb0853a4425559fec");
  EXPECT_EQ(Sha1Hex(std::string(64, 'x')), "bb2fa3ee7afb9f54c6dfb5d021f14b1ffe40c163");
  EXPECT_EQ(Sha1Hex(std::string(65, 'x')), "78c741ddc482e4cdf8c474a0876347a0905b6233");
  EXPECT_EQ(Sha1Hex(std::string(120, 'x')), "ceb2821639c4b6dcb10bce0e522ca2e608ce056d");
  // Byte-by-byte feeding gives the same digest as one call.
  CPSha1 sha;
  const std::string s(119, 'x');
  for (char c : s) sha.Update(&c, 1);
  sha.Update(nullptr, 5);
  sha.Update("x", 0);
  EXPECT_EQ(Hex(sha.Final()), "4300320394f7ee239bcdce7d3b8bcee173a0cd5c");
  CPSha1 unused;
  unused.Final(nullptr);  // ignored
}

TEST(CertificateThumbprint, MatchesThePublishedHeadCaThumbprints) {
  const auto a = LoadDer("head-ca/rootA.cer");
  const auto b = LoadDer("head-ca/rootB.cer");
  ASSERT_EQ(a.der.size(), 1309u);
  EXPECT_EQ(crypto::CertificateThumbprint(&a), "8CAE88BBFD404A7A53630864F9033606E1DC45E2");
  EXPECT_EQ(crypto::CertificateThumbprint(&b), "4BC6DC14D97010C41A26E058AD851F81C842415A");
  const auto raw = crypto::CertificateSha1(&a);
  ASSERT_TRUE(raw);
  EXPECT_EQ((*raw)[0], 0x8C);
  EXPECT_EQ((*raw)[19], 0xE2);
  EXPECT_FALSE(crypto::CertificateThumbprint(nullptr));
  EXPECT_FALSE(crypto::CertificateSha1(nullptr));
}

TEST(CertificateGeneration, JudgesTheSignatureAlgorithm) {
  const auto a = LoadDer("head-ca/rootA.cer");
  const auto b = LoadDer("head-ca/rootB.cer");
  const auto e256 = LoadPem("gost-examples/example-2012-256.pem");
  const auto e512 = LoadPem("gost-examples/example-2012-512.pem");
  EXPECT_EQ(crypto::CertificateGeneration(&a), 0);
  EXPECT_EQ(crypto::CertificateGeneration(&b), 1);
  EXPECT_EQ(crypto::CertificateGeneration(&e256), 1);
  EXPECT_EQ(crypto::CertificateGeneration(&e512), 2);
  EXPECT_EQ(crypto::CertificateGeneration(static_cast<const csp::CertificateContext*>(nullptr)), -1);
  csp::CertificateContext garbage;
  garbage.der = {0x30, 0x03, 0x02, 0x01, 0x00};
  EXPECT_EQ(crypto::CertificateGeneration(&garbage), -1);
}
