#include "platform/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

namespace orvane::platform {
namespace {

bool Fail(int* errnoOut, int err) {
  if (errnoOut != nullptr) *errnoOut = err;
  return false;
}

// A fresh temporary file "<path>.tmp-XXXXXX" with the content, flushed; its name.
std::optional<std::string> WriteTemporary(const std::string& path, std::string_view content, mode_t mode,
                                          int* errnoOut) {
  std::vector<char> name(path.begin(), path.end());
  const std::string suffix = ".tmp-XXXXXX";
  name.insert(name.end(), suffix.begin(), suffix.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    Fail(errnoOut, errno);
    return std::nullopt;
  }
  const std::string temporary(name.data());
  int err = 0;
  if (::fchmod(fd, mode) != 0) err = errno;
  std::size_t done = 0;
  while (err == 0 && done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    ::unlink(temporary.c_str());
    Fail(errnoOut, err);
    return std::nullopt;
  }
  return temporary;
}

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view content, mode_t mode, int* errnoOut) {
  const auto temporary = WriteTemporary(path, content, mode, errnoOut);
  if (!temporary) return false;
  if (::rename(temporary->c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temporary->c_str());
    return Fail(errnoOut, err);
  }
  return true;
}

bool CreateNewFile(const std::string& path, std::string_view content, mode_t mode, bool& existed, int* errnoOut) {
  existed = false;
  const auto temporary = WriteTemporary(path, content, mode, errnoOut);
  if (!temporary) return false;
  // link() fails when the target exists, so two writers can never both succeed.
  const int r = ::link(temporary->c_str(), path.c_str());
  const int err = errno;
  ::unlink(temporary->c_str());
  if (r != 0) {
    existed = err == EEXIST;
    return Fail(errnoOut, err);
  }
  return true;
}

}  // namespace orvane::platform
