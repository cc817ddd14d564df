// SettingsStore: the per-user operator settings ("agentCertificate", a 20-byte SHA-1
// thumbprint, and "blockCarrier", a 32-bit number). The GUI keeps them in QSettings;
// tests and tools use the in-memory store.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvane::platform {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // False when the settings cannot be opened at all.
  virtual bool Available() = 0;
  virtual std::optional<std::vector<std::uint8_t>> ReadBinary(const std::string& name) = 0;
  virtual std::optional<std::uint32_t> ReadNumber(const std::string& name) = 0;
  virtual bool WriteBinary(const std::string& name, const std::vector<std::uint8_t>& value) = 0;
  virtual bool WriteNumber(const std::string& name, std::uint32_t value) = 0;
};

class MemorySettingsStore : public SettingsStore {
 public:
  bool Available() override { return available; }
  std::optional<std::vector<std::uint8_t>> ReadBinary(const std::string& name) override {
    const auto it = binaries.find(name);
    if (it == binaries.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::uint32_t> ReadNumber(const std::string& name) override {
    const auto it = numbers.find(name);
    if (it == numbers.end()) return std::nullopt;
    return it->second;
  }
  bool WriteBinary(const std::string& name, const std::vector<std::uint8_t>& value) override {
    binaries[name] = value;
    return true;
  }
  bool WriteNumber(const std::string& name, std::uint32_t value) override {
    numbers[name] = value;
    return true;
  }
  bool available = true;
  std::map<std::string, std::vector<std::uint8_t>> binaries;
  std::map<std::string, std::uint32_t> numbers;
};

}  // namespace orvane::platform
