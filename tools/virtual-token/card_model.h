// Virtual key carriers: the ATR and the answers to the command APDUs of each token family,
// with a configurable label, serial number and memory. Used by orvane-virtual-token (behind
// pcscd's vpcd driver) and by the unit tests' fake PC/SC stack.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvane::vtoken {

struct CardOptions {
  std::string label = "Orvane";     // bytes as stored on the card
  bool labelFile = true;            // Rutoken: false answers the label-file selection with 6A 82
  std::uint32_t serial = 12345678;  // the card's serial number
  std::uint32_t freeMemory = 20000;
  std::optional<std::uint32_t> totalMemory;  // default: the family's size
  int serialAnswerBytes = 8;                 // Rutoken ECP/lite: 4 or 8 data bytes
  // JaCarta LT information block: "full" (with the serial), "short" (only the 24 bytes
  // asked for), "error" (status 6A 88).
  std::string jacartaInfo = "full";
};

class VirtualCard {
 public:
  virtual ~VirtualCard() = default;
  virtual std::vector<std::uint8_t> Atr() const = 0;
  // The response APDU (data and status word) to one command APDU.
  virtual std::vector<std::uint8_t> Answer(std::span<const std::uint8_t> command) = 0;
  // Power-on or reset: the selection state starts afresh.
  virtual void Reset() {}
};

// The family names accepted by MakeCard, in a fixed order.
const std::vector<std::string>& FamilyNames();

// A card of a family: "etoken-java", "etoken-java-b", "etoken-32k", "rutoken-s",
// "rutoken-ecp", "rutoken-ecp2m", "rutoken-ecp2m-short", "rutoken-lite", "jacarta-lt",
// "jacarta-pro", "esmart-64k", "esmart-gost", "unknown". Null for another name.
std::unique_ptr<VirtualCard> MakeCard(const std::string& family, const CardOptions& options);

}  // namespace orvane::vtoken
