// Access to the GOST algorithms of OpenSSL's gost engine. The engine is loaded in code (no
// OPENSSL_CONF needed) once per process and made the default for its algorithms. All use of
// the deprecated ENGINE API is kept in gost_engine.cpp.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <span>
#include <vector>

#include "crypto/ossl.h"

namespace orvane::csp::gost {

enum class Algorithm { Gost2001, Gost2012_256, Gost2012_512 };

// Loads and initialises the engine (first call only). False when it is not installed.
bool EnsureEngine();

// The digest that goes with the algorithm: GOST R 34.11-94 for 2001, Streebog 256/512 for
// 2012. Null when the engine is missing.
const EVP_MD* DigestFor(Algorithm algorithm);

// A fresh key pair with parameter set A. Null on failure.
ossl::PkeyPtr GenerateKey(Algorithm algorithm);

// The algorithm of a GOST key, or false for any other key.
bool AlgorithmOf(const EVP_PKEY* key, Algorithm& algorithm);

// Signature and hash sizes in bytes: 64/64/128 and 32/32/64.
std::size_t SignatureSize(Algorithm algorithm);
std::size_t HashSize(Algorithm algorithm);

}  // namespace orvane::csp::gost
