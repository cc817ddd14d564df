// This program's version, generated from the build's project version.
#pragma once

#include "config/build_defaults.h"

namespace orvane::config {

inline constexpr char kProgramVersion[] = ORVANE_PROGRAM_VERSION;

}  // namespace orvane::config
