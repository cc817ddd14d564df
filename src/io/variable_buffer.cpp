#include "io/variable_buffer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace orvane::io {

ASVariableBuffer::ASVariableBuffer() : memory_(new std::uint8_t[kMemorySize]) {}

ASVariableBuffer::~ASVariableBuffer() = default;

bool ASVariableBuffer::EnsureSpillFile() {
  if (spill_) return true;
  int err = 0;
  spill_ = platform::TempFile::Create("TVK", ".tmp", &err);
  spillErrno_ = spill_ ? 0 : err;
  // Only the descriptor is needed: the name goes at once, so an interrupted run leaves no
  // spill file behind.
  if (spill_) spill_->Unlink();
  return spill_.has_value();
}

bool ASVariableBuffer::Append(const void* bytes, std::int64_t count) {
  if (bytes == nullptr || count <= 0) return true;
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  const std::int64_t room = kMemorySize - length_;
  if (room >= count) {
    std::memcpy(memory_.get() + length_, p, static_cast<std::size_t>(count));
    length_ += count;
    return true;
  }
  const std::int64_t toMemory = room > 0 ? room : 0;
  const std::int64_t toFile = count - toMemory;
  // The file part goes first, so that a failure leaves nothing stored beyond the length.
  if (!EnsureSpillFile()) return false;
  const std::int64_t fileOffset = length_ + toMemory - kMemorySize;
  if (!spill_->WriteAt(fileOffset, p + toMemory, static_cast<std::size_t>(toFile))) {
    spill_->Truncate(std::max<std::int64_t>(0, length_ - kMemorySize));
    return false;
  }
  if (toMemory > 0) std::memcpy(memory_.get() + length_, p, static_cast<std::size_t>(toMemory));
  length_ += count;
  return true;
}

int ASVariableBuffer::AppendFormatted(const char* format, ...) {
  if (format == nullptr) return -1;
  if (!formatScratch_) formatScratch_.reset(new char[kFormatScratchSize]);
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(formatScratch_.get(), kFormatScratchSize, format, args);
  va_end(args);
  if (n <= 0) return -1;
  const int stored = std::min<int>(n, static_cast<int>(kFormatScratchSize - 1));
  if (!Append(formatScratch_.get(), stored)) return -1;
  return stored;
}

std::int64_t ASVariableBuffer::Read(void* destination, std::int64_t maximum) {
  if (destination == nullptr || maximum <= 0) return -1;
  if (cursor_ >= length_) return 0;
  const std::int64_t n = std::min(maximum, length_ - cursor_);
  auto* out = static_cast<std::uint8_t*>(destination);
  if (cursor_ < kMemorySize) {
    const std::int64_t inMemory = kMemorySize - cursor_;
    if (inMemory >= n) {
      std::memcpy(out, memory_.get() + cursor_, static_cast<std::size_t>(n));
      cursor_ += n;
      return n;
    }
    // Crossing from memory into the file: the file part starts at the file's beginning.
    if (!spill_) return -1;
    const std::int64_t fromFile = n - inMemory;
    const std::int64_t got = spill_->ReadAt(0, out + inMemory, static_cast<std::size_t>(fromFile));
    if (got < 0) return -1;
    if (got == 0) return 0;
    std::memcpy(out, memory_.get() + cursor_, static_cast<std::size_t>(inMemory));
    cursor_ += inMemory + got;
    return inMemory + got;
  }
  if (!spill_) return -1;
  const std::int64_t got = spill_->ReadAt(cursor_ - kMemorySize, out, static_cast<std::size_t>(n));
  if (got < 0) return -1;
  cursor_ += got;
  return got;
}

void ASVariableBuffer::SetReadPosition(std::int64_t position) {
  cursor_ = std::clamp<std::int64_t>(position, 0, length_);
}

void ASVariableBuffer::Reset() {
  length_ = 0;
  cursor_ = 0;
  if (spill_) spill_->Truncate(0);
}

std::optional<std::vector<std::uint8_t>> ASVariableBuffer::ReadAll() {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(Remaining()));
  std::size_t done = 0;
  while (done < out.size()) {
    const std::int64_t n = Read(out.data() + done, static_cast<std::int64_t>(out.size() - done));
    if (n <= 0) return std::nullopt;
    done += static_cast<std::size_t>(n);
  }
  return out;
}

std::optional<std::string> ASVariableBuffer::ReadAllText() {
  auto bytes = ReadAll();
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

}  // namespace orvane::io
