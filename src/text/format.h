// printf-style formatting into a string sized by the formatted length (never a fixed buffer).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace orvane::text {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  const int n = std::snprintf(nullptr, 0, format, args...);
  if (n <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
  std::snprintf(buffer.data(), buffer.size(), format, args...);
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

}  // namespace orvane::text
