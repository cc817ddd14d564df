#include "test_ca.h"

#include <openssl/asn1t.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "crypto/der.h"
#include "loopback_tls.h"
#include "text/text.h"

namespace orvane::refsys {
namespace {

using csp::gost::Algorithm;

struct FileDel {
  void operator()(FILE* f) const { std::fclose(f); }
};
struct ReqDel {
  void operator()(X509_REQ* r) const { X509_REQ_free(r); }
};
struct ExtStackDel {
  void operator()(STACK_OF(X509_EXTENSION) * s) const { sk_X509_EXTENSION_pop_free(s, X509_EXTENSION_free); }
};
struct AnyStackDel {
  void operator()(STACK_OF(ASN1_TYPE) * s) const { sk_ASN1_TYPE_pop_free(s, ASN1_TYPE_free); }
};

const char* FileStem(Algorithm a) {
  switch (a) {
    case Algorithm::Gost2001:
      return "ca-2001";
    case Algorithm::Gost2012_256:
      return "ca-2012-256";
    case Algorithm::Gost2012_512:
      return "ca-2012-512";
  }
  return "ca";
}

const char* RootName(Algorithm a) {
  switch (a) {
    case Algorithm::Gost2001:
      return "Тестовый УЦ Orvane ГОСТ 2001";
    case Algorithm::Gost2012_256:
      return "Тестовый УЦ Orvane ГОСТ 2012-256";
    case Algorithm::Gost2012_512:
      return "Тестовый УЦ Orvane ГОСТ 2012-512";
  }
  return "";
}

void AddName(X509_NAME* name, const char* field, const char* value) {
  X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value), -1, -1, 0);
}

// An extension whose value is the given DER.
bool AddRawExt(X509* cert, const char* oid, const Bytes& der, bool critical) {
  ASN1_OBJECT* obj = OBJ_txt2obj(oid, 1);
  ASN1_OCTET_STRING* os = ASN1_OCTET_STRING_new();
  ASN1_OCTET_STRING_set(os, der.data(), static_cast<int>(der.size()));
  X509_EXTENSION* ext = X509_EXTENSION_create_by_OBJ(nullptr, obj, critical ? 1 : 0, os);
  const bool ok = ext != nullptr && X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  ASN1_OCTET_STRING_free(os);
  ASN1_OBJECT_free(obj);
  return ok;
}

bool WritePem(const std::string& path, X509* cert, EVP_PKEY* key) {
  std::unique_ptr<FILE, FileDel> f(std::fopen(path.c_str(), "w"));
  if (!f) return false;
  if (key != nullptr) {
    fchmod(fileno(f.get()), 0600);
    return PEM_write_PrivateKey(f.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  }
  return PEM_write_X509(f.get(), cert) == 1;
}

std::optional<Algorithm> AlgorithmOfKey(EVP_PKEY* key) {
  Algorithm a;
  if (!csp::gost::AlgorithmOf(key, a)) return std::nullopt;
  return a;
}

// "YYYYMMDDhhmmss+hh:mm" to a time_t (UTC).
std::optional<std::time_t> ParsePairDate(const std::string& s) {
  int y, mo, d, h, mi, se, zh = 0, zm = 0;
  char sign = '+';
  if (std::sscanf(s.c_str(), "%4d%2d%2d%2d%2d%2d%c%2d:%2d", &y, &mo, &d, &h, &mi, &se, &sign, &zh, &zm) < 6) {
    return std::nullopt;
  }
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = se;
  std::time_t t = timegm(&tm);
  const int offset = (zh * 3600 + zm * 60) * (sign == '-' ? -1 : 1);
  return t - offset;
}

std::string BmpToUtf8(const ASN1_STRING* s) {
  const auto* p = ASN1_STRING_get0_data(s);
  const int n = ASN1_STRING_length(s) / 2;
  std::u16string w;
  for (int i = 0; i < n; ++i) w.push_back(static_cast<char16_t>((p[2 * i] << 8) | p[2 * i + 1]));
  return text::ToUtf8(w);
}

// The enrollment name-value pairs of a request (attribute 1.3.6.1.4.1.311.13.2.1).
std::map<std::string, std::string> NameValuePairs(X509_REQ* req) {
  std::map<std::string, std::string> out;
  ASN1_OBJECT* obj = OBJ_txt2obj("1.3.6.1.4.1.311.13.2.1", 1);
  const int idx = X509_REQ_get_attr_by_OBJ(req, obj, -1);
  ASN1_OBJECT_free(obj);
  if (idx < 0) return out;
  X509_ATTRIBUTE* attr = X509_REQ_get_attr(req, idx);
  for (int i = 0; i < X509_ATTRIBUTE_count(attr); ++i) {
    ASN1_TYPE* t = X509_ATTRIBUTE_get0_type(attr, i);
    if (t == nullptr || t->type != V_ASN1_SEQUENCE) continue;
    const unsigned char* p = t->value.sequence->data;
    std::unique_ptr<STACK_OF(ASN1_TYPE), AnyStackDel> seq(
        d2i_ASN1_SEQUENCE_ANY(nullptr, &p, t->value.sequence->length));
    if (!seq || sk_ASN1_TYPE_num(seq.get()) != 2) continue;
    ASN1_TYPE* name = sk_ASN1_TYPE_value(seq.get(), 0);
    ASN1_TYPE* value = sk_ASN1_TYPE_value(seq.get(), 1);
    if (name->type != V_ASN1_BMPSTRING || value->type != V_ASN1_BMPSTRING) continue;
    out[BmpToUtf8(name->value.bmpstring)] = BmpToUtf8(value->value.bmpstring);
  }
  return out;
}

}  // namespace

std::optional<TestCa> TestCa::Open(const std::string& dir, std::string& error) {
  if (!csp::gost::EnsureEngine()) {
    error = "модуль ГОСТ для OpenSSL (gost engine) не установлен";
    return std::nullopt;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  TestCa ca;
  for (Algorithm a : {Algorithm::Gost2001, Algorithm::Gost2012_256, Algorithm::Gost2012_512}) {
    const std::string keyPath = dir + "/" + FileStem(a) + ".key";
    const std::string certPath = dir + "/" + FileStem(a) + ".pem";
    RootKey root;
    {
      std::unique_ptr<FILE, FileDel> kf(std::fopen(keyPath.c_str(), "r"));
      std::unique_ptr<FILE, FileDel> cf(std::fopen(certPath.c_str(), "r"));
      if (kf && cf) {
        root.key.reset(PEM_read_PrivateKey(kf.get(), nullptr, nullptr, nullptr));
        root.cert.reset(PEM_read_X509(cf.get(), nullptr, nullptr, nullptr));
      }
    }
    if (!root.key || !root.cert) {
      root.key = csp::gost::GenerateKey(a);
      root.cert.reset(X509_new());
      if (!root.key || !root.cert) {
        error = "не удалось создать ключ тестового УЦ";
        return std::nullopt;
      }
      X509* c = root.cert.get();
      X509_set_version(c, 2);
      ASN1_INTEGER_set(X509_get_serialNumber(c), 1);
      X509_gmtime_adj(X509_getm_notBefore(c), -86400);
      X509_gmtime_adj(X509_getm_notAfter(c), 86400L * 365 * 10);
      X509_set_pubkey(c, root.key.get());
      X509_NAME* name = X509_get_subject_name(c);
      AddName(name, "C", "RU");
      AddName(name, "ST", "77 г. Москва");
      AddName(name, "L", "Москва");
      AddName(name, "O", "ООО \"Тестовый УЦ Orvane\"");
      AddName(name, "CN", RootName(a));
      X509_set_issuer_name(c, name);
      const bool ok = tools::AddX509Extension(c, c, NID_basic_constraints, "critical,CA:TRUE") &&
                      tools::AddX509Extension(c, c, NID_key_usage, "critical,digitalSignature,keyCertSign,cRLSign") &&
                      tools::AddX509Extension(c, c, NID_subject_key_identifier, "hash");
      if (!ok || X509_sign(c, root.key.get(), csp::gost::DigestFor(a)) <= 0 ||
          !WritePem(keyPath, nullptr, root.key.get()) || !WritePem(certPath, c, nullptr)) {
        error = "не удалось записать корневой сертификат тестового УЦ в " + dir;
        return std::nullopt;
      }
    }
    ca.roots_[a] = std::move(root);
  }
  RAND_bytes(reinterpret_cast<unsigned char*>(&ca.nextSerial_), sizeof ca.nextSerial_);
  ca.nextSerial_ &= 0x00FFFFFFFFFFFFFFull;
  return ca;
}

X509* TestCa::Root(Algorithm algorithm) const {
  const auto it = roots_.find(algorithm);
  return it == roots_.end() ? nullptr : it->second.cert.get();
}

bool TestCa::IssuedByUs(X509* cert) const {
  if (cert == nullptr) return false;
  for (const auto& [a, root] : roots_) {
    if (X509_NAME_cmp(X509_get_issuer_name(cert), X509_get_subject_name(root.cert.get())) == 0 &&
        X509_verify(cert, root.key.get()) == 1) {
      return true;
    }
  }
  return false;
}

std::string TestCa::RootsPem() const {
  std::string out;
  for (const auto& [a, root] : roots_) {
    ossl::BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), root.cert.get());
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    out.append(data, static_cast<std::size_t>(n));
  }
  return out;
}

namespace {

struct ParsedRequest {
  std::unique_ptr<X509_REQ, ReqDel> req;
  EVP_PKEY* pub = nullptr;
  Algorithm algorithm{};
};

std::optional<ParsedRequest> ParseRequest(const Bytes& requestDer, std::string& error) {
  ParsedRequest r;
  const unsigned char* p = requestDer.data();
  r.req.reset(d2i_X509_REQ(nullptr, &p, static_cast<long>(requestDer.size())));
  if (!r.req || p != requestDer.data() + requestDer.size()) {
    error = "запрос на сертификат не является корректной структурой PKCS#10";
    return std::nullopt;
  }
  r.pub = X509_REQ_get0_pubkey(r.req.get());
  const auto algorithm = r.pub != nullptr ? AlgorithmOfKey(r.pub) : std::nullopt;
  if (!algorithm) {
    error = "ключ запроса не является ключом ГОСТ Р 34.10";
    return std::nullopt;
  }
  r.algorithm = *algorithm;
  if (X509_REQ_verify(r.req.get(), r.pub) != 1) {
    error = "подпись запроса на сертификат неверна";
    return std::nullopt;
  }
  return r;
}

}  // namespace

bool TestCa::VerifyRequest(const Bytes& requestDer, std::string& error) const {
  return ParseRequest(requestDer, error).has_value();
}

std::optional<Bytes> TestCa::Issue(const Bytes& requestDer, const IssueOptions& options, std::string& error) {
  auto parsed = ParseRequest(requestDer, error);
  if (!parsed) return std::nullopt;
  X509_REQ* reqp = parsed->req.get();
  EVP_PKEY* pub = parsed->pub;
  const std::optional<Algorithm> algorithm = parsed->algorithm;
  RootKey& root = roots_.at(*algorithm);
  ossl::X509Ptr cert(X509_new());
  X509* c = cert.get();
  X509_set_version(c, 2);
  ASN1_INTEGER* serial = ASN1_INTEGER_new();
  ASN1_INTEGER_set_uint64(serial, ++nextSerial_);
  X509_set_serialNumber(c, serial);
  ASN1_INTEGER_free(serial);
  X509_set_subject_name(c, X509_REQ_get_subject_name(reqp));
  X509_set_issuer_name(c, X509_get_subject_name(root.cert.get()));
  X509_set_pubkey(c, pub);

  // Validity from the name-value pairs: start date, then an expiration date or a period.
  const auto pairs = NameValuePairs(reqp);
  std::time_t start = std::time(nullptr);
  if (const auto it = pairs.find("CpRaStartDate"); it != pairs.end()) {
    if (const auto t = ParsePairDate(it->second)) start = *t;
  }
  std::time_t end = start + 365L * 86400;
  if (const auto it = pairs.find("CpRaExpirationDate"); it != pairs.end()) {
    if (const auto t = ParsePairDate(it->second)) end = *t;
  } else if (const auto per = pairs.find("CpRaCertPeriod"); per != pairs.end()) {
    const long count = std::atol(per->second.c_str());
    const auto unitIt = pairs.find("CpRaCertPeriodUnits");
    const std::string unit = unitIt != pairs.end() ? unitIt->second : "Months";
    long days = count * 30;
    if (unit == "Years") days = count * 365;
    if (unit == "Weeks") days = count * 7;
    if (unit == "Days") days = count;
    if (unit == "Months") {
      std::tm tm{};
      gmtime_r(&start, &tm);
      tm.tm_mon += static_cast<int>(count);
      end = timegm(&tm);
    } else {
      end = start + days * 86400;
    }
  }
  if (end <= start) {
    error = "неверно указан период действия сертификата";
    return std::nullopt;
  }
  ASN1_TIME_set(X509_getm_notBefore(c), start);
  ASN1_TIME_set(X509_getm_notAfter(c), end);

  // The request's extensions, then the CA's own.
  std::unique_ptr<STACK_OF(X509_EXTENSION), ExtStackDel> exts(X509_REQ_get_extensions(reqp));
  for (int i = 0; exts && i < sk_X509_EXTENSION_num(exts.get()); ++i) {
    X509_EXTENSION* e = sk_X509_EXTENSION_value(exts.get(), i);
    const int nid = OBJ_obj2nid(X509_EXTENSION_get_object(e));
    if (nid == NID_authority_key_identifier || nid == NID_basic_constraints) continue;
    X509_add_ext(c, e, -1);
  }
  bool ok = tools::AddX509Extension(c, root.cert.get(), NID_authority_key_identifier, "keyid:always");
  if (!options.crlUrl.empty())
    ok = ok &&
         tools::AddX509Extension(c, root.cert.get(), NID_crl_distribution_points, ("URI:" + options.crlUrl).c_str());
  if (!options.caIssuers.empty()) {
    ok = ok &&
         tools::AddX509Extension(c, root.cert.get(), NID_info_access, ("caIssuers;URI:" + options.caIssuers).c_str());
  }
  // The issuer's signature tools: provider, CA tool and their certificates of conformity.
  const Bytes tools =
      crypto::der::Sequence({crypto::der::Utf8String("Программный криптопровайдер Orvane для тестов"),
                             crypto::der::Utf8String("Эталонная система заявок Orvane"),
                             crypto::der::Utf8String("Сертификат соответствия: не требуется (тестовый УЦ)"),
                             crypto::der::Utf8String("Сертификат соответствия: не требуется (тестовый УЦ)")});
  ok = ok && AddRawExt(c, "1.2.643.100.112", tools, false);
  if (!ok || X509_sign(c, root.key.get(), csp::gost::DigestFor(*algorithm)) <= 0) {
    error = "не удалось подписать сертификат";
    return std::nullopt;
  }
  const int n = i2d_X509(c, nullptr);
  Bytes der(static_cast<std::size_t>(n));
  unsigned char* out = der.data();
  i2d_X509(c, &out);
  return der;
}

std::optional<Bytes> GostDigest(EVP_PKEY* key, const Bytes& data) {
  const auto a = AlgorithmOfKey(key);
  if (!a) return std::nullopt;
  Bytes md(static_cast<std::size_t>(EVP_MAX_MD_SIZE));
  unsigned int len = 0;
  if (EVP_Digest(data.data(), data.size(), md.data(), &len, csp::gost::DigestFor(*a), nullptr) != 1) {
    return std::nullopt;
  }
  md.resize(len);
  return md;
}

bool VerifyReversedHashSignature(EVP_PKEY* key, const Bytes& hash, const Bytes& reversedSignature) {
  Bytes sig(reversedSignature.rbegin(), reversedSignature.rend());
  ossl::PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
  if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1) return false;
  return EVP_PKEY_verify(ctx.get(), sig.data(), sig.size(), hash.data(), hash.size()) == 1;
}

}  // namespace orvane::refsys
