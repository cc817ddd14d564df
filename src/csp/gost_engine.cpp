// The one place that uses OpenSSL's (deprecated) ENGINE API: the gost engine 3.0.1 offers
// GOST key generation and signatures only as an engine. Compiled with
// -Wno-deprecated-declarations (csp/module.cmake).
#include "csp/gost_engine.h"

#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include <mutex>

namespace orvane::csp::gost {
namespace {

struct EngineHolder {
  ENGINE* engine = nullptr;  // functional reference, kept for the life of the process
  EngineHolder() {
    ENGINE_load_builtin_engines();
    ENGINE* e = ENGINE_by_id("gost");
    if (e == nullptr) {
      ERR_clear_error();
      return;
    }
    if (ENGINE_init(e) != 1) {
      ENGINE_free(e);
      ERR_clear_error();
      return;
    }
    ENGINE_set_default(e, ENGINE_METHOD_ALL);
    ENGINE_free(e);  // drop the structural reference; the functional one stays
    engine = e;
    ERR_clear_error();
  }
  ~EngineHolder() {
    if (engine != nullptr) ENGINE_finish(engine);
  }
};

EngineHolder& Holder() {
  static EngineHolder holder;
  return holder;
}

int NidOf(Algorithm algorithm) {
  switch (algorithm) {
    case Algorithm::Gost2001:
      return NID_id_GostR3410_2001;
    case Algorithm::Gost2012_256:
      return NID_id_GostR3410_2012_256;
    case Algorithm::Gost2012_512:
      return NID_id_GostR3410_2012_512;
  }
  return NID_undef;
}

}  // namespace

bool EnsureEngine() {
  return Holder().engine != nullptr;
}

const EVP_MD* DigestFor(Algorithm algorithm) {
  if (!EnsureEngine()) return nullptr;
  switch (algorithm) {
    case Algorithm::Gost2001:
      return EVP_get_digestbyname("md_gost94");
    case Algorithm::Gost2012_256:
      return EVP_get_digestbyname("md_gost12_256");
    case Algorithm::Gost2012_512:
      return EVP_get_digestbyname("md_gost12_512");
  }
  return nullptr;
}

ossl::PkeyPtr GenerateKey(Algorithm algorithm) {
  if (!EnsureEngine()) return nullptr;
  ossl::PkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(NidOf(algorithm), Holder().engine));
  if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "A") <= 0) {
    ERR_clear_error();
    return nullptr;
  }
  EVP_PKEY* raw = nullptr;
  if (EVP_PKEY_keygen(ctx.get(), &raw) != 1) {
    ERR_clear_error();
    return nullptr;
  }
  return ossl::PkeyPtr(raw);
}

bool AlgorithmOf(const EVP_PKEY* key, Algorithm& algorithm) {
  if (key == nullptr) return false;
  switch (EVP_PKEY_get_base_id(key)) {
    case NID_id_GostR3410_2001:
      algorithm = Algorithm::Gost2001;
      return true;
    case NID_id_GostR3410_2012_256:
      algorithm = Algorithm::Gost2012_256;
      return true;
    case NID_id_GostR3410_2012_512:
      algorithm = Algorithm::Gost2012_512;
      return true;
    default:
      return false;
  }
}

std::size_t SignatureSize(Algorithm algorithm) {
  return algorithm == Algorithm::Gost2012_512 ? 128 : 64;
}
std::size_t HashSize(Algorithm algorithm) {
  return algorithm == Algorithm::Gost2012_512 ? 64 : 32;
}

}  // namespace orvane::csp::gost
