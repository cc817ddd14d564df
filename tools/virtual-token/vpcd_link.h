// The link of one virtual card to pcscd's vpcd driver: the card is a TCP client of the
// driver's port; connecting is an insertion, closing the socket a removal. Every message
// either way is a 2-byte big-endian length and the payload; one-byte payloads from the
// driver are control codes (0 power off, 1 power on, 2 reset, 4 send the ATR), longer ones
// command APDUs answered with the response APDU.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "card_model.h"

namespace orvane::vtoken {

// A socket file descriptor, closed when the object goes.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : fd_(other.Release()) {}
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Close();

 private:
  int fd_ = -1;
};

// Serves one card on a thread while it is inserted. While inserted it reconnects whenever
// the driver goes away (pcscd restarted), so the card comes back with the driver.
class VpcdLink {
 public:
  VpcdLink(VirtualCard& card, std::string host, std::uint16_t port);
  ~VpcdLink();
  VpcdLink(const VpcdLink&) = delete;
  VpcdLink& operator=(const VpcdLink&) = delete;

  void Insert();  // connects (in the background)
  void Remove();  // closes the connection and waits for the thread
  bool inserted() const { return thread_.joinable(); }
  // True while a driver connection is open.
  bool connected() const { return connected_.load(); }
  std::uint64_t apdus() const { return apdus_.load(); }

 private:
  void Serve();
  bool ServeConnection(int fd);

  VirtualCard& card_;
  std::string host_;
  std::uint16_t port_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> connected_{false};
  std::atomic<std::uint64_t> apdus_{0};
  std::mutex cardMutex_;
  int wakePipe_[2] = {-1, -1};
};

}  // namespace orvane::vtoken
