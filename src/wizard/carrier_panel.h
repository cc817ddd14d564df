// The main window's carrier list and carrier panel, without a toolkit: which carriers are
// listed (present, identified, not the blocked operator carrier), which one is selected, the
// five panel lines with their colours, and whether the two flow buttons are enabled. The Qt
// window copies this state into its controls; the caller holds the reader lock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "carriers/token_info.h"
#include "csp/catalogue.h"

namespace orvane::wizard {

struct Rgb {
  std::uint8_t r = 80, g = 80, b = 80;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kPanelGrey{80, 80, 80};
inline constexpr Rgb kPanelRed{160, 0, 0};
inline constexpr Rgb kCertificateGreen{40, 140, 40};

// Carriers need this much free memory for a new key container.
inline constexpr std::int32_t kMinimumFreeMemory = 4096;

struct PanelLine {
  std::u16string text;
  Rgb colour = kPanelGrey;
};

struct CarrierPanel {
  std::vector<std::u16string> items;  // the device list, in order
  int selection = -1;
  std::array<PanelLine, 5> lines;                      // type, label, serial, free memory, state
  bool createEnabled = true;                           // "Создать запрос"
  bool getEnabled = true;                              // "Получить сертификат"
  std::shared_ptr<const carriers::tokenInfo> carrier;  // own copy of the selected record

  // Refills the list from the readers and selects the preferred reader's carrier (else the
  // first); a blocked operator carrier is left out.
  void FillCarrierList(const std::vector<std::shared_ptr<carriers::SCardItem>>* readers,
                       const std::optional<std::u16string>& preferredReader, bool blockOperatorCarrier,
                       const std::optional<csp::keyLocation>& operatorKey);

  // Shows the carrier at a list position (-1: none).
  void ShowCarrier(const std::vector<std::shared_ptr<carriers::SCardItem>>* readers, int position);
};

}  // namespace orvane::wizard
