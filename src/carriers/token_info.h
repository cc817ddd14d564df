// Carrier records: tokenInfo (an identified key carrier) and SCardItem (one PC/SC reader as
// last seen by the monitor).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane::carriers {

// An identified carrier. A value type: copying it copies every string (the main window keeps
// its own copy of the selected carrier while the monitor replaces the list's record).
struct tokenInfo {
  std::optional<std::u16string> reader;     // reader that holds the carrier
  std::optional<std::u16string> label;      // label on the token; empty when it has none
  std::optional<std::u16string> model;      // model name, shown as the carrier's type
  std::optional<std::u16string> serial;     // serial number in display form
  std::optional<std::u16string> serialRaw;  // serial as a PKCS#11 module reports it
  std::u16string display;                   // the text of the device list (BuildDisplay)
  std::int32_t totalMemory = 0;             // bytes
  std::int32_t freeMemory = 0;              // bytes; -1: not reported
  std::int32_t type = -1;                   // carrier type 1..9; -1 until identified

  // The device-list text: with a serial, "<model> <serial>" with a-z raised to A-Z (an
  // absent model counts as empty); without a serial, the reader name.
  void BuildDisplay();

  bool operator==(const tokenInfo&) const = default;
};

// The device-list text of a record (see tokenInfo::BuildDisplay).
std::u16string DisplayText(const std::optional<std::u16string>& model, const std::optional<std::u16string>& serial,
                           const std::optional<std::u16string>& reader);

// ATR bytes kept per reader.
inline constexpr std::size_t kMaxAtrLength = 36;

// One PC/SC reader as last seen. Held by shared references (std::shared_ptr).
struct SCardItem {
  std::u16string reader;  // name exactly as the reader list gives it; the key of the item
  bool cardPresent = false;
  std::array<std::uint8_t, kMaxAtrLength> atr{};
  std::uint32_t atrLength = 0;     // valid bytes of atr, never above kMaxAtrLength
  std::uint32_t events = 0;        // the reader's card-event counter when last read
  std::optional<tokenInfo> token;  // the carrier identified in this reader, if any
};

}  // namespace orvane::carriers
