#include "platform/os_info.h"

#include <sys/utsname.h>

#include <cstdio>
#include <fstream>

namespace orvane::platform {

std::optional<OsVersionRecord> GetTrueOsVersion() {
  utsname u{};
  if (::uname(&u) != 0) return std::nullopt;
  OsVersionRecord r;
  if (std::sscanf(u.release, "%d.%d.%d", &r.major, &r.minor, &r.build) < 2) return std::nullopt;
  r.is64 = sizeof(void*) == 8;
  std::ifstream in("/etc/os-release");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    std::string v = line.substr(12);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'')) v = v.substr(1, v.size() - 2);
    r.name = v;
  }
  if (r.name.empty()) r.name = u.sysname;
  return r;
}

}  // namespace orvane::platform
