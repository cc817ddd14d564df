// ASVariableBuffer: a growable byte store with a read cursor. The first 64 KiB live in
// memory; everything after that goes to one spill file ("TVK..." in the user's temporary
// folder, mode 0600) that is created on first need and deleted with the buffer. Carries
// HTTP bodies, reply-element texts, DER requests and the diagnostics report.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/temp_file.h"

namespace orvane::io {

class ASVariableBuffer {
 public:
  static constexpr std::int64_t kMemorySize = 65536;
  static constexpr std::size_t kFormatScratchSize = 16384;

  ASVariableBuffer();
  virtual ~ASVariableBuffer();
  ASVariableBuffer(const ASVariableBuffer&) = delete;
  ASVariableBuffer& operator=(const ASVariableBuffer&) = delete;

  // Stores the bytes after the current content. Absent bytes or a count <= 0 do nothing and
  // succeed. False when the spill file cannot be created or written: the content is then
  // unchanged (length and file as before) and the caller must treat what it built as incomplete.
  bool Append(const void* bytes, std::int64_t count);
  bool Append(const std::string& s) { return Append(s.data(), static_cast<std::int64_t>(s.size())); }

  // Formats printf-style (output cut to 16,383 bytes) and appends. The number of bytes
  // appended, or -1 when the formatted text is empty or the append failed.
  int AppendFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // Copies up to maximum bytes from the cursor on and advances it: the count, 0 at the end,
  // -1 on a bad argument or a failed file read (the cursor then stays).
  std::int64_t Read(void* destination, std::int64_t maximum);

  std::int64_t Remaining() const { return length_ - cursor_; }
  std::int64_t Length() const { return length_; }
  std::int64_t ReadPosition() const { return cursor_; }
  // Sets the cursor, clamped to 0..length.
  void SetReadPosition(std::int64_t position);
  // Empties the buffer; an existing spill file is truncated and kept.
  void Reset();

  // Everything from the cursor on, in one block (advances the cursor to the end). None when
  // a read fails. Meant for contents the caller knows to be small (replies, DER objects).
  std::optional<std::vector<std::uint8_t>> ReadAll();
  std::optional<std::string> ReadAllText();

  bool HasSpillFile() const { return spill_.has_value(); }
  // Size and permission bits of the spill file (which has no name once created); -1 / 0
  // without one.
  std::int64_t SpillFileSize() const { return spill_ ? spill_->Size() : -1; }
  unsigned SpillFileMode() const { return spill_ ? spill_->Mode() : 0; }
  // errno of the last failed spill-file creation, 0 when none failed.
  int LastSpillError() const { return spillErrno_; }

 private:
  bool EnsureSpillFile();

  std::unique_ptr<std::uint8_t[]> memory_;
  std::optional<platform::TempFile> spill_;
  std::int64_t cursor_ = 0;
  std::int64_t length_ = 0;
  std::unique_ptr<char[]> formatScratch_;
  int spillErrno_ = 0;
};

}  // namespace orvane::io
