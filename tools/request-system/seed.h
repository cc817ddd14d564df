// Applications and operators of the reference request system, read from an INI seed file:
// one [application.NAME] section per application and one [operator.NAME] per operator
// (see docs/request-system.md for every key).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvane::refsys {

// Where an operation is made to fail (fault injection).
struct Fault {
  std::string mode;  // "403", "404", "500", "nobody403", "malformed", "digest", "nooid", "drop"
  std::string body;  // body for the status modes; empty: the standard Russian text
};

struct Application {
  std::string name;
  std::string token;
  std::string requestId;
  std::string ord = "1";
  std::string templateName = "Квалифицированная электронная подпись";
  std::string subject;           // subject_quoted
  std::vector<std::string> eku;  // OIDs
  bool exportable = false;
  std::string generation = "gost2012-256";
  std::string provider;   // cryptopro, vipnet or empty (any)
  std::string tokenType;  // SCARD_TYPE_...
  std::string certStartDate;
  std::string certExpirationDate;
  std::string certPeriod;
  std::string policyLevel;
  std::string templateOid;
  std::string identificationKind;
  std::string subjectAltName;
  bool egais = false;
  bool nonqualified = false;
  bool embedLicense = false;
  std::string autoEnroll = "no";  // "yes", "no" or "refuse"
  int autoEnrollPolls = 1;        // 404 answers before the certificate is issued
  // Without auto-enrolment: seconds after the request arrives before the certificate is issued
  // (0: at once); until then "/a/get_certificate" answers 404.
  int issueAfter = 0;
  std::map<std::string, Fault> faults;  // operation ("get_subject", ...) -> fault
  // How this application's reply documents are shaped, to exercise a client's tolerance:
  // "windows-1251" (that encoding, declared), "namespaces" (every element prefixed, the
  // namespace declared), "upper-case" (element names in capitals), "indented" (line breaks and
  // indentation around the elements). Empty: plain UTF-8 on one line.
  std::vector<std::string> shape;
};

struct Operator {
  std::string name;
  std::string commonName;  // matches the CN of a certificate issued by this CA
  bool agentMode = true;
  bool agentLicense = true;
  bool clientAllowed = true;
};

struct Seed {
  std::vector<Application> applications;
  std::vector<Operator> operators;
};

// Parses the file; errors (Russian, with the line) are appended to errors.
std::optional<Seed> LoadSeed(const std::string& path, std::vector<std::string>& errors);

// Parses "op:mode[:body]" items separated by ";".
std::map<std::string, Fault> ParseFaults(const std::string& text);

}  // namespace orvane::refsys
