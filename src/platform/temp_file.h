// Temporary files in the user's temporary folder ($TMPDIR, else /tmp): unique names with a
// given prefix, mode 0600, positional reads and writes, removed when the object dies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvane::platform {

// The user's temporary folder, without a trailing slash.
std::string TempDirectory();

class TempFile {
 public:
  // Creates a new empty file "<dir>/<prefix>XXXXXX<suffix>" readable and writable by the user
  // only. None when the folder does not allow it; errnoOut receives the reason.
  static std::optional<TempFile> Create(const std::string& prefix, const std::string& suffix = "",
                                        int* errnoOut = nullptr);

  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();  // closes and deletes the file

  const std::string& Path() const { return path_; }

  // Writes all bytes at the offset; false on any failure (a partial write counts as failure).
  bool WriteAt(std::int64_t offset, const void* data, std::size_t count);
  // Reads up to count bytes at the offset; the count read, or -1 on failure.
  std::int64_t ReadAt(std::int64_t offset, void* data, std::size_t count) const;
  bool Truncate(std::int64_t size);
  // Keeps the file on disk after the object dies (the caller takes over its removal).
  void Release();
  // Removes the file's name now; the open descriptor keeps the data until the object dies,
  // so nothing is left behind even when the process is killed. Path() is empty afterwards.
  bool Unlink();
  // Size in bytes and permission bits, from the open descriptor; -1 / 0 on failure.
  std::int64_t Size() const;
  unsigned Mode() const;

 private:
  TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  void Close();

  int fd_ = -1;
  std::string path_;
};

}  // namespace orvane::platform
