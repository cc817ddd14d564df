#include "crypto/sha1.h"

#include <cstring>

namespace orvane::crypto {
namespace {

constexpr std::uint32_t Rol(std::uint32_t v, int n) {
  return (v << n) | (v >> (32 - n));
}

// Zeroing that the optimiser may not drop.
void SecureZero(void* p, std::size_t n) {
  volatile std::uint8_t* v = static_cast<volatile std::uint8_t*>(p);
  while (n--) *v++ = 0;
}

}  // namespace

CPSha1::CPSha1() : context_(std::make_unique<Context>()), workspace_(std::make_unique<std::uint8_t[]>(64)) {
  context_->state[0] = 0x67452301;
  context_->state[1] = 0xEFCDAB89;
  context_->state[2] = 0x98BADCFE;
  context_->state[3] = 0x10325476;
  context_->state[4] = 0xC3D2E1F0;
  context_->count[0] = context_->count[1] = 0;
  std::memset(context_->buffer, 0, sizeof context_->buffer);
}

CPSha1::~CPSha1() {
  SecureZero(context_.get(), sizeof(Context));
  SecureZero(workspace_.get(), 64);
}

void CPSha1::Transform(const std::uint8_t block[64]) {
  std::memcpy(workspace_.get(), block, 64);
  const std::uint8_t* b = workspace_.get();
  std::uint32_t w[80];
  for (int i = 0; i < 16; ++i) {
    w[i] = (static_cast<std::uint32_t>(b[4 * i]) << 24) | (static_cast<std::uint32_t>(b[4 * i + 1]) << 16) |
           (static_cast<std::uint32_t>(b[4 * i + 2]) << 8) | static_cast<std::uint32_t>(b[4 * i + 3]);
  }
  for (int i = 16; i < 80; ++i) w[i] = Rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  std::uint32_t a = context_->state[0], bb = context_->state[1], c = context_->state[2], d = context_->state[3],
                e = context_->state[4];
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f, k;
    if (i < 20) {
      f = (bb & c) | (~bb & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = bb ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (bb & c) | (bb & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = bb ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const std::uint32_t t = Rol(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = Rol(bb, 30);
    bb = a;
    a = t;
  }
  context_->state[0] += a;
  context_->state[1] += bb;
  context_->state[2] += c;
  context_->state[3] += d;
  context_->state[4] += e;
  SecureZero(w, sizeof w);
}

void CPSha1::Update(const void* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0) return;
  const auto* data = static_cast<const std::uint8_t*>(bytes);
  std::size_t used = (context_->count[0] >> 3) & 63;
  // 64-bit bit counter in two words.
  const std::uint64_t bits = (static_cast<std::uint64_t>(context_->count[1]) << 32 | context_->count[0]) +
                             (static_cast<std::uint64_t>(length) << 3);
  context_->count[0] = static_cast<std::uint32_t>(bits);
  context_->count[1] = static_cast<std::uint32_t>(bits >> 32);
  std::size_t i = 0;
  if (used + length >= 64) {
    i = 64 - used;
    std::memcpy(context_->buffer + used, data, i);
    Transform(context_->buffer);
    for (; i + 63 < length; i += 64) Transform(data + i);
    used = 0;
  }
  std::memcpy(context_->buffer + used, data + i, length - i);
}

void CPSha1::Final(std::uint8_t* out) {
  if (out == nullptr) return;
  std::uint8_t length[8];
  for (int i = 0; i < 4; ++i) {
    length[i] = static_cast<std::uint8_t>(context_->count[1] >> (24 - 8 * i));
    length[4 + i] = static_cast<std::uint8_t>(context_->count[0] >> (24 - 8 * i));
  }
  const std::uint8_t pad80 = 0x80;
  const std::uint8_t zero = 0;
  Update(&pad80, 1);
  while (((context_->count[0] >> 3) & 63) != 56) Update(&zero, 1);
  Update(length, 8);
  for (int i = 0; i < 20; ++i) out[i] = static_cast<std::uint8_t>(context_->state[i >> 2] >> (24 - 8 * (i & 3)));
  SecureZero(context_.get(), sizeof(Context));
  SecureZero(workspace_.get(), 64);
}

CPSha1::Digest CPSha1::Final() {
  Digest d{};
  Final(d.data());
  return d;
}

CPSha1::Digest CPSha1::Of(const void* bytes, std::size_t length) {
  CPSha1 sha;
  sha.Update(bytes, length);
  return sha.Final();
}

}  // namespace orvane::crypto
