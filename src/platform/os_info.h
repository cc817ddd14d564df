// The operating system as the diagnostics report it. Linux: the distribution's name from
// /etc/os-release (PRETTY_NAME), the kernel release as major.minor.build, and the word size.
#pragma once

#include <optional>
#include <string>

namespace orvane::platform {

struct OsVersionRecord {
  std::string name;         // "Debian GNU/Linux 12 (bookworm)"
  std::string servicePack;  // empty on Linux
  int major = 0;
  int minor = 0;
  int build = 0;
  bool is64 = false;
};

// None when the system cannot tell its version.
std::optional<OsVersionRecord> GetTrueOsVersion();

}  // namespace orvane::platform
