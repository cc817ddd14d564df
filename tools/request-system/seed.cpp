#include "seed.h"

#include <ini.h>
#include <algorithm>

#include <cstring>

namespace orvane::refsys {
namespace {

bool Truthy(const std::string& v) {
  return v == "1" || v == "yes" || v == "true";
}

std::vector<std::string> SplitList(const std::string& v, char sep) {
  std::vector<std::string> out;
  std::string cur;
  auto flush = [&] {
    const auto b = cur.find_first_not_of(" \t");
    const auto e = cur.find_last_not_of(" \t");
    if (b != std::string::npos) out.push_back(cur.substr(b, e - b + 1));
    cur.clear();
  };
  for (char c : v) {
    if (c == sep) {
      flush();
    } else {
      cur.push_back(c);
    }
  }
  flush();
  return out;
}

struct State {
  Seed seed;
  std::vector<std::string>* errors;
  std::string path;
  std::string lastSection;
};

// A comma list of document shapes; false on a word that is not one.
bool ParseShape(const std::string& v, std::vector<std::string>& shape) {
  for (const auto& word : SplitList(v, ',')) {
    if (word != "windows-1251" && word != "namespaces" && word != "upper-case" && word != "indented") return false;
    shape.push_back(word);
  }
  return true;
}

bool SetApplication(Application& a, const std::string& key, const std::string& v) {
  if (key == "token")
    a.token = v;
  else if (key == "request_id")
    a.requestId = v;
  else if (key == "ord")
    a.ord = v;
  else if (key == "template")
    a.templateName = v;
  // Long subjects and key-usage lists may be split over several lines (the INI reader's line
  // limit is 200 bytes): repeated keys and continuation lines are joined with ",".
  else if (key == "subject")
    a.subject += (a.subject.empty() ? "" : ",") + v;
  else if (key == "eku") {
    for (auto& o : SplitList(v, ',')) a.eku.push_back(o);
  } else if (key == "export")
    a.exportable = Truthy(v);
  else if (key == "generation")
    a.generation = v;
  else if (key == "provider")
    a.provider = v;
  else if (key == "token_type")
    a.tokenType = v;
  else if (key == "cert_start_date")
    a.certStartDate = v;
  else if (key == "cert_expiration_date")
    a.certExpirationDate = v;
  else if (key == "cert_period")
    a.certPeriod = v;
  else if (key == "policy_level")
    a.policyLevel = v;
  else if (key == "template_oid")
    a.templateOid = v;
  else if (key == "identification_kind")
    a.identificationKind = v;
  else if (key == "subject_alt_name")
    a.subjectAltName = v;
  else if (key == "egais")
    a.egais = Truthy(v);
  else if (key == "nonqualified")
    a.nonqualified = Truthy(v);
  else if (key == "embed_license")
    a.embedLicense = Truthy(v);
  else if (key == "auto_enroll")
    a.autoEnroll = v;
  else if (key == "auto_enroll_polls")
    a.autoEnrollPolls = std::atoi(v.c_str());
  else if (key == "issue_after")
    a.issueAfter = std::max(0, std::atoi(v.c_str()));
  else if (key == "faults")
    a.faults = ParseFaults(v);
  else if (key == "shape")
    return ParseShape(v, a.shape);
  else
    return false;
  return true;
}

bool SetOperator(Operator& o, const std::string& key, const std::string& v) {
  if (key == "common_name")
    o.commonName = v;
  else if (key == "agent_mode")
    o.agentMode = Truthy(v);
  else if (key == "agent_license")
    o.agentLicense = Truthy(v);
  else if (key == "client_allowed")
    o.clientAllowed = Truthy(v);
  else
    return false;
  return true;
}

int OnValue(void* user, const char* section, const char* name, const char* value) {
  auto* s = static_cast<State*>(user);
  const std::string sec(section);
  const bool isApp = sec.rfind("application.", 0) == 0;
  const bool isOp = sec.rfind("operator.", 0) == 0;
  if (sec != s->lastSection) {
    s->lastSection = sec;
    if (isApp) {
      s->seed.applications.emplace_back();
      s->seed.applications.back().name = sec.substr(12);
    }
    if (isOp) {
      s->seed.operators.emplace_back();
      s->seed.operators.back().name = sec.substr(9);
    }
  }
  bool known = false;
  if (isApp) known = SetApplication(s->seed.applications.back(), name, value);
  if (isOp) known = SetOperator(s->seed.operators.back(), name, value);
  if (!known) s->errors->push_back(s->path + ": неизвестный параметр [" + sec + "] " + name);
  return 1;
}

}  // namespace

std::map<std::string, Fault> ParseFaults(const std::string& text) {
  std::map<std::string, Fault> out;
  for (const std::string& item : SplitList(text, ';')) {
    const auto c1 = item.find(':');
    if (c1 == std::string::npos) continue;
    const auto c2 = item.find(':', c1 + 1);
    Fault f;
    f.mode = item.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    if (c2 != std::string::npos) f.body = item.substr(c2 + 1);
    out[item.substr(0, c1)] = f;
  }
  return out;
}

std::optional<Seed> LoadSeed(const std::string& path, std::vector<std::string>& errors) {
  State state{{}, &errors, path, {}};
  const int rc = ini_parse(path.c_str(), OnValue, &state);
  if (rc < 0) {
    errors.push_back(path + ": не удалось открыть файл");
    return std::nullopt;
  }
  if (rc > 0) {
    errors.push_back(path + ": ошибка синтаксиса в строке " + std::to_string(rc));
    return std::nullopt;
  }
  for (const auto& a : state.seed.applications) {
    if (a.token.empty() || a.subject.empty() || a.eku.empty()) {
      errors.push_back(path + ": в заявке " + a.name + " не заданы token, subject или eku");
      return std::nullopt;
    }
  }
  return state.seed;
}

}  // namespace orvane::refsys
