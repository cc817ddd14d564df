// Small types shared by every layer: byte strings and the owner window of modal UI.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

using Bytes = std::vector<std::uint8_t>;

// An owner window for modal UI (a QWidget* in the GUI), or null for none.
using WindowHandle = void*;

}  // namespace orvane
