// Throw-away TLS material for loopback peers: a CA and a server certificate for 127.0.0.1 and
// localhost signed by it (EC P-256), written as PEM files. Used by the reference request
// system and by the tests' servers; clients trust the CA through the extra-CA setting.
#pragma once

#include <openssl/x509.h>

#include <string>

namespace orvane::tools {

struct LoopbackTlsFiles {
  std::string caFile;
  std::string certFile;
  std::string keyFile;
};

// Adds an extension given in OpenSSL's configuration syntax ("critical,CA:TRUE",
// "keyid:always", ...) to cert, issued by issuer. False when OpenSSL rejects it.
bool AddX509Extension(X509* cert, X509* issuer, int nid, const char* value);

// Writes <dir>/<prefix>-ca.pem, -cert.pem and -key.pem (the key mode 0600). Empty paths on
// failure. Without subjectAltName the server certificate names "localhost" in its common
// name only (for clients that must refuse such a certificate).
LoopbackTlsFiles MakeLoopbackTls(const std::string& dir, const std::string& prefix, bool subjectAltName = true);

}  // namespace orvane::tools
