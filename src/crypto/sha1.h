// SHA-1 (FIPS 180-1), our own implementation: the subject key identifier of requests, the
// integrity digest of request data and certificate thumbprints. One object per digest: made,
// fed, finished.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace orvane::crypto {

class CPSha1 {
 public:
  static constexpr std::size_t kDigestSize = 20;
  using Digest = std::array<std::uint8_t, kDigestSize>;

  CPSha1();
  virtual ~CPSha1();
  CPSha1(const CPSha1&) = delete;
  CPSha1& operator=(const CPSha1&) = delete;

  // Ignored when bytes is null or length is 0.
  void Update(const void* bytes, std::size_t length);
  // Writes the 20-byte digest (ignored when out is null) and wipes the state.
  void Final(std::uint8_t* out);
  Digest Final();

  static Digest Of(const void* bytes, std::size_t length);

 private:
  struct Context {
    std::uint32_t state[5];
    std::uint32_t count[2];  // message length in bits, low word first
    std::uint8_t buffer[64];
  };
  void Transform(const std::uint8_t block[64]);

  std::unique_ptr<Context> context_;
  std::unique_ptr<std::uint8_t[]> workspace_;  // 64 bytes: each block is copied here first
};

}  // namespace orvane::crypto
