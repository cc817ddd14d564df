// Writing whole files so that no reader ever sees half of one: the content goes into a
// unique temporary file beside the target (with the target's mode), is flushed to disk and
// then takes the target's name. A failure leaves the target as it was and nothing behind.
#pragma once

#include <sys/types.h>
#include <string>
#include <string_view>

namespace orvane::platform {

// Replaces the file at path (or creates it). False on failure with errnoOut set.
bool ReplaceFile(const std::string& path, std::string_view content, mode_t mode, int* errnoOut = nullptr);

// Creates the file at path only when nothing is there yet; existed tells when something was.
// False on failure (existed or not) with errnoOut set.
bool CreateNewFile(const std::string& path, std::string_view content, mode_t mode, bool& existed,
                   int* errnoOut = nullptr);

}  // namespace orvane::platform
