// Process set-up shared by the harnesses.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace orvane::fuzz {

// Points TMPDIR at a private folder made for this run (under the caller's TMPDIR, else /tmp)
// and removes it at exit, so that whatever a harness spills (ASVariableBuffer's spill files)
// stays in it.
inline void UsePrivateTempDir() {
  static std::string dir;
  if (!dir.empty()) return;
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/orvane-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  dir = pattern;
  setenv("TMPDIR", dir.c_str(), 1);
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  });
}

// Ends the run as a finding: libFuzzer reports the abort with the input that caused it.
[[noreturn]] inline void Finding(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "FINDING: %s%s%.*s\n", what, detail.empty() ? "" : ": ",
               static_cast<int>(detail.size() > 300 ? 300 : detail.size()), detail.data());
  std::abort();
}

}  // namespace orvane::fuzz
