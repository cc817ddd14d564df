// orvane-tool providers: the provider catalogue as the diagnostics report it.
// orvane-tool make-request: a key pair in a new container and its PKCS#10 request.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "crypto/der.h"
#include "csp/catalogue.h"
#include "csp/container_store.h"
#include "keys/container_name.h"
#include "keys/pkcs10.h"
#include "platform/file_write.h"
#include "request/attribute_list.h"
#include "text/text.h"
#include "text/tokenizer.h"
#include "tool/commands.h"
#include "tool/tool_seams.h"
#include "wizard/create_request.h"

namespace orvane::tool {
namespace {

const char kMakeRequestUsage[] =
    "Использование: orvane-tool make-request --reader NAME --family 1|2 --generation 0|1|2\n"
    "  --subject TEXT --eku OID[,OID...] [--pin PIN] --out FILE\n"
    "  [--export] [--start-date TEXT] [--expiration-date TEXT] [--period TEXT] [--embed-license]\n"
    "  [--policy-level TEXT] [--nonqualified] [--template-oid OID] [--identification-kind N]\n"
    "  [--alt-name TEXT]\n"
    "Без --pin PIN-код носителя запрашивается с терминала.\n";

std::string VersionText(const csp::cryptoProviderData& e) {
  std::string v = std::to_string(e.major) + "." + std::to_string(e.minor);
  if (e.kind == csp::kKindCryptoPro) v += "." + std::to_string(e.build);
  return v;
}

bool ParseInt(const std::string& s, long lo, long hi, long& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || errno != 0 || v < lo || v > hi) return false;
  out = v;
  return true;
}

}  // namespace

int RunProviders(const std::vector<std::string>& args, ToolEnv& env) {
  if (!args.empty()) {
    std::fputs("Использование: orvane-tool providers\n", stderr);
    return 2;
  }
  const auto services = env.Services();
  services->FillCatalogue();
  const auto& catalogue = services->catalogue;
  if (catalogue.empty()) {
    std::puts("# no GOST provider");
    return 1;
  }
  for (const auto& e : catalogue) {
    std::printf("%s\t%u\t%s\t%s\n", text::ToUtf8(csp::KindDisplayName(e->kind).value_or(u"")).c_str(), e->type,
                text::ToUtf8(e->name).c_str(), VersionText(*e).c_str());
  }
  return 0;
}

int RunMakeRequest(const std::vector<std::string>& args, ToolEnv& env) {
  static const std::map<std::string, bool> known = {
      {"--reader", true},       {"--family", true},
      {"--generation", true},   {"--subject", true},
      {"--eku", true},          {"--pin", true},
      {"--out", true},          {"--export", false},
      {"--start-date", true},   {"--expiration-date", true},
      {"--period", true},       {"--embed-license", false},
      {"--policy-level", true}, {"--nonqualified", false},
      {"--template-oid", true}, {"--identification-kind", true},
      {"--alt-name", true},
  };
  std::map<std::string, std::string> opt;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const auto it = known.find(args[i]);
    if (it == known.end() || opt.count(args[i]) || (it->second && i + 1 >= args.size())) {
      std::fprintf(stderr, "orvane-tool make-request: неверный параметр \"%s\"\n%s", args[i].c_str(),
                   kMakeRequestUsage);
      return 2;
    }
    const std::string key = args[i];
    if (it->second) ++i;
    opt[key] = it->second ? args[i] : "1";
  }
  long family = 0, generation = 0, identification = 0;
  for (const char* required : {"--reader", "--family", "--generation", "--subject", "--eku", "--out"}) {
    if (!opt.count(required) || opt[required].empty()) {
      std::fprintf(stderr, "orvane-tool make-request: не задан %s\n%s", required, kMakeRequestUsage);
      return 2;
    }
  }
  if (!ParseInt(opt["--family"], 1, 2, family) || !ParseInt(opt["--generation"], 0, 2, generation) ||
      (opt.count("--identification-kind") && !ParseInt(opt["--identification-kind"], 0, 3, identification))) {
    std::fputs(kMakeRequestUsage, stderr);
    return 2;
  }
  // Everything that goes into the request is checked before any container is made: nothing
  // is silently changed or dropped from what is signed.
  for (const auto& [name, value] : opt) {
    if (!text::IsValidUtf8(value)) {
      std::fprintf(stderr, "orvane-tool make-request: значение %s не в кодировке UTF-8\n", name.c_str());
      return 2;
    }
  }
  for (const char* list : {"--subject", "--alt-name"}) {
    if (!opt.count(list)) continue;
    text::Tokenizer tokens(opt[list], ",", '"', 1);
    while (auto token = tokens.NextToken()) {
      if (token->find('=') == std::string::npos) {
        std::fprintf(stderr, "orvane-tool make-request: в %s нет пары OID=значение: \"%s\"\n", list, token->c_str());
        return 2;
      }
    }
  }
  for (const char* date : {"--start-date", "--expiration-date"}) {
    if (opt.count(date) && !keys::ParseRequestDate(opt[date])) {
      std::fprintf(stderr, "orvane-tool make-request: неверная дата %s \"%s\" (ГГГГ-ММ-ДД ЧЧ:ММ:СС+ЧЧ:ММ)\n", date,
                   opt[date].c_str());
      return 2;
    }
  }
  if (opt.count("--template-oid") && !crypto::der::Oid(opt["--template-oid"])) {
    std::fprintf(stderr, "orvane-tool make-request: неверный OID шаблона \"%s\"\n", opt["--template-oid"].c_str());
    return 2;
  }

  const std::u16string reader = text::FromUtf8(opt["--reader"]);
  std::optional<std::string> pin;
  if (opt.count("--pin")) pin = opt["--pin"];
  const auto services = env.Services(std::move(pin), reader);
  if (opt.count("--pin")) csp::store::Wipe(opt["--pin"]);
  services->FillCatalogue();
  keys::KeyRequestInputs in;
  in.family = static_cast<csp::ProviderKind>(family);
  in.generation = static_cast<csp::GostGeneration>(generation);
  const std::int32_t type = csp::ProviderTypeFor(in.family, in.generation);
  in.providerName = csp::FindProviderName(static_cast<std::uint32_t>(type), services->catalogue);
  if (!in.providerName) {
    std::fputs("Тип криптопровайдера, указанный в заявке, не поддерживается на этом компьютере\n", stderr);
    return 1;
  }
  in.subject = request::ParseAttributeList(text::FromUtf8(opt["--subject"]));
  std::vector<std::u16string> eku;
  text::Tokenizer tokens(opt["--eku"], ",", 0, 1);
  while (auto t = tokens.NextToken()) {
    const std::string oid = text::TrimSpaces(*t);
    if (!oid.empty()) eku.push_back(text::FromUtf8(oid));
  }
  if (!eku.empty()) in.eku = eku;
  in.exportable = opt.count("--export") != 0;
  auto optional = [&opt](const char* name) -> std::optional<std::string> {
    if (!opt.count(name)) return std::nullopt;
    return opt[name];
  };
  in.startDate = optional("--start-date");
  in.expirationDate = optional("--expiration-date");
  in.period = optional("--period");
  in.embedLicense = opt.count("--embed-license") != 0;
  in.policyLevel = optional("--policy-level");
  in.nonqualified = opt.count("--nonqualified") != 0;
  in.templateOid = optional("--template-oid");
  if (opt.count("--identification-kind")) in.identificationKind = static_cast<std::int32_t>(identification);
  if (opt.count("--alt-name")) in.altName = request::ParseAttributeList(text::FromUtf8(opt["--alt-name"]));

  const auto name = keys::MakeContainerName(std::nullopt, 0, in.subject, services->registry);
  if (!name) {
    std::fputs("orvane-tool make-request: нет атрибутов субъекта\n", stderr);
    return 2;
  }
  in.containerPath = keys::ContainerPathFor(in.family, reader, *name);
  const auto result = keys::CreateKeyAndRequest(in, services->catalogue, services->registry);
  if (!result.der) {
    if (result.error == 0) {
      std::fprintf(stderr, "orvane-tool make-request: запрос не создан (нет субъекта или EKU)\n%s", kMakeRequestUsage);
      return 2;
    }
    std::fprintf(stderr, "%s\n", text::ToUtf8(wizard::CreateRequestErrorText(result.error)).c_str());
    return 1;
  }
  // Written whole or not at all: a failure leaves no empty or partial file.
  if (!platform::ReplaceFile(opt["--out"],
                             std::string_view(reinterpret_cast<const char*>(result.der->data()), result.der->size()),
                             0644)) {
    std::fprintf(stderr, "orvane-tool make-request: не удалось записать \"%s\"\n", opt["--out"].c_str());
    return 1;
  }
  std::printf("container: %s\npath: %s\n", text::ToUtf8(*name).c_str(), text::ToUtf8(in.containerPath).c_str());
  return 0;
}

}  // namespace orvane::tool
