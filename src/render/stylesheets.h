// The two form stylesheets compiled into the program (XSLT 1.0 documents in windows-1251,
// sources in resources/forms/).
#pragma once

#include <cstdint>
#include <span>

namespace orvane::render {

std::span<const std::uint8_t> RequestStylesheet();
std::span<const std::uint8_t> CertificateStylesheet();

}  // namespace orvane::render
