// Owning holders for OpenSSL handles, one vocabulary for the whole program: Ptr<T, FreeFn>
// frees with the library's own function, and the handles used in more than one place have
// their names.
#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

namespace orvane::ossl {

template <auto FreeFn>
struct Deleter {
  template <typename T>
  void operator()(T* p) const {
    FreeFn(p);
  }
};
template <typename T, auto FreeFn>
using Ptr = std::unique_ptr<T, Deleter<FreeFn>>;

using PkeyPtr = Ptr<EVP_PKEY, EVP_PKEY_free>;
using PkeyCtxPtr = Ptr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using MdCtxPtr = Ptr<EVP_MD_CTX, EVP_MD_CTX_free>;
using CipherCtxPtr = Ptr<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>;
using BioPtr = Ptr<BIO, BIO_free_all>;
using X509Ptr = Ptr<X509, X509_free>;
using X509ReqPtr = Ptr<X509_REQ, X509_REQ_free>;
using Pkcs8Ptr = Ptr<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>;

}  // namespace orvane::ossl
