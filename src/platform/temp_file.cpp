#include "platform/temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace orvane::platform {

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string d = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  while (d.size() > 1 && d.back() == '/') d.pop_back();
  return d;
}

std::optional<TempFile> TempFile::Create(const std::string& prefix, const std::string& suffix, int* errnoOut) {
  std::string pattern = TempDirectory() + "/" + prefix + "XXXXXX" + suffix;
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  // mkstemps creates the file exclusively with mode 0600.
  const int fd = mkostemps(buf.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
  if (fd < 0) {
    if (errnoOut != nullptr) *errnoOut = errno;
    return std::nullopt;
  }
  fchmod(fd, S_IRUSR | S_IWUSR);
  return TempFile(fd, std::string(buf.data()));
}

TempFile::TempFile(TempFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
  other.path_.clear();
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
    other.path_.clear();
  }
  return *this;
}

TempFile::~TempFile() {
  Close();
}

void TempFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  if (!path_.empty()) ::unlink(path_.c_str());
  fd_ = -1;
  path_.clear();
}

void TempFile::Release() {
  path_.clear();
}

std::int64_t TempFile::Size() const {
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

unsigned TempFile::Mode() const {
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0;
}

bool TempFile::Unlink() {
  if (path_.empty()) return true;
  const bool removed = ::unlink(path_.c_str()) == 0;
  if (removed) path_.clear();
  return removed;
}

bool TempFile::WriteAt(std::int64_t offset, const void* data, std::size_t count) {
  const auto* p = static_cast<const char*>(data);
  while (count > 0) {
    const ssize_t n = ::pwrite(fd_, p, count, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

std::int64_t TempFile::ReadAt(std::int64_t offset, void* data, std::size_t count) const {
  auto* p = static_cast<char*>(data);
  std::size_t total = 0;
  while (total < count) {
    const ssize_t n = ::pread(fd_, p + total, count - total, offset + static_cast<std::int64_t>(total));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(total);
}

bool TempFile::Truncate(std::int64_t size) {
  return ::ftruncate(fd_, size) == 0;
}

}  // namespace orvane::platform
