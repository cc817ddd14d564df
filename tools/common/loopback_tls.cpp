#include "loopback_tls.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

namespace orvane::tools {
namespace {

struct PkeyDel {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct X509Del {
  void operator()(X509* x) const { X509_free(x); }
};
struct FileDel {
  void operator()(FILE* f) const { std::fclose(f); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDel>;
using X509Ptr = std::unique_ptr<X509, X509Del>;

X509Ptr NewCert(const char* cn, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, long serial, bool ca,
                bool subjectAltName = true) {
  X509Ptr cert(X509_new());
  if (!cert) return nullptr;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400L * 365);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
  X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name);
  X509* iss = issuer != nullptr ? issuer : cert.get();
  const bool extsOk = ca ? AddX509Extension(cert.get(), iss, NID_basic_constraints, "critical,CA:TRUE") &&
                               AddX509Extension(cert.get(), iss, NID_key_usage, "critical,keyCertSign,cRLSign")
                         : AddX509Extension(cert.get(), iss, NID_basic_constraints, "critical,CA:FALSE") &&
                               (!subjectAltName || AddX509Extension(cert.get(), iss, NID_subject_alt_name,
                                                                    "IP:127.0.0.1,DNS:localhost")) &&
                               AddX509Extension(cert.get(), iss, NID_ext_key_usage, "serverAuth");
  if (!extsOk || X509_sign(cert.get(), issuerKey, EVP_sha256()) <= 0) return nullptr;
  return cert;
}

bool WritePem(const std::string& path, X509* cert, EVP_PKEY* key) {
  std::unique_ptr<FILE, FileDel> f(std::fopen(path.c_str(), "w"));
  if (!f) return false;
  if (key != nullptr) fchmod(fileno(f.get()), 0600);
  if (cert != nullptr && PEM_write_X509(f.get(), cert) != 1) return false;
  if (key != nullptr && PEM_write_PrivateKey(f.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) return false;
  return true;
}

}  // namespace

bool AddX509Extension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

LoopbackTlsFiles MakeLoopbackTls(const std::string& dir, const std::string& prefix, bool subjectAltName) {
  PkeyPtr caKey(EVP_EC_gen("P-256"));
  PkeyPtr key(EVP_EC_gen("P-256"));
  if (!caKey || !key) return {};
  X509Ptr ca = NewCert("Orvane Loopback TLS CA", caKey.get(), nullptr, caKey.get(), 1, true);
  if (!ca) return {};
  X509Ptr cert =
      NewCert(subjectAltName ? "127.0.0.1" : "localhost", key.get(), ca.get(), caKey.get(), 2, false, subjectAltName);
  if (!cert) return {};
  LoopbackTlsFiles out{dir + "/" + prefix + "-ca.pem", dir + "/" + prefix + "-cert.pem",
                       dir + "/" + prefix + "-key.pem"};
  if (!WritePem(out.caFile, ca.get(), nullptr) || !WritePem(out.certFile, cert.get(), nullptr) ||
      !WritePem(out.keyFile, nullptr, key.get())) {
    return {};
  }
  return out;
}

}  // namespace orvane::tools
