#include "vpcd_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace orvane::vtoken {
namespace {

// Waits until fd is readable or the wake pipe fires; false on wake or error.
bool WaitReadable(int fd, int wakeFd, int timeoutMs) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  const int n = poll(fds, 2, timeoutMs);
  if (n <= 0) return false;
  if (fds[1].revents != 0) return false;
  return (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

// Reads exactly n bytes; false on end of stream, error or wake.
bool ReadExactly(int fd, int wakeFd, std::uint8_t* out, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    if (!WaitReadable(fd, wakeFd, -1)) return false;
    const ssize_t r = recv(fd, out + done, n - done, 0);
    if (r == 0) return false;
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(r);
  }
  return true;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t w = send(fd, data + done, n - done, MSG_NOSIGNAL);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(w);
  }
  return true;
}

bool SendMessage(int fd, const std::vector<std::uint8_t>& payload) {
  if (payload.size() > 0xFFFF) return false;
  std::vector<std::uint8_t> message;
  message.reserve(payload.size() + 2);
  message.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
  message.push_back(static_cast<std::uint8_t>(payload.size()));
  message.insert(message.end(), payload.begin(), payload.end());
  return WriteAll(fd, message.data(), message.size());
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

void Socket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

VpcdLink::VpcdLink(VirtualCard& card, std::string host, std::uint16_t port)
    : card_(card), host_(std::move(host)), port_(port) {
  if (pipe2(wakePipe_, O_CLOEXEC) != 0) wakePipe_[0] = wakePipe_[1] = -1;
}

VpcdLink::~VpcdLink() {
  Remove();
  for (int fd : wakePipe_) {
    if (fd >= 0) ::close(fd);
  }
}

void VpcdLink::Insert() {
  if (thread_.joinable()) return;
  // Drain an old wake-up.
  std::uint8_t drain[16];
  const int flags = fcntl(wakePipe_[0], F_GETFL);
  fcntl(wakePipe_[0], F_SETFL, flags | O_NONBLOCK);
  while (read(wakePipe_[0], drain, sizeof drain) > 0) {
  }
  fcntl(wakePipe_[0], F_SETFL, flags);
  stop_.store(false);
  thread_ = std::thread([this] { Serve(); });
}

void VpcdLink::Remove() {
  if (!thread_.joinable()) return;
  stop_.store(true);
  const std::uint8_t one = 1;
  if (write(wakePipe_[1], &one, 1) < 0) {
    // The thread notices the stop flag at its next wake-up.
  }
  thread_.join();
}

void VpcdLink::Serve() {
  while (!stop_.load()) {
    Socket s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    if (inet_pton(AF_INET, host_.c_str(), &address.sin_addr) != 1) return;
    if (connect(s.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      const int on = 1;
      setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      connected_.store(true);
      ServeConnection(s.get());
      connected_.store(false);
      s.Close();
      if (stop_.load()) return;
    }
    // Driver not (yet) listening: try again shortly unless removed meanwhile.
    pollfd wake = {wakePipe_[0], POLLIN, 0};
    if (poll(&wake, 1, 200) > 0) return;
  }
}

bool VpcdLink::ServeConnection(int fd) {
  std::vector<std::uint8_t> payload;
  while (!stop_.load()) {
    std::uint8_t header[2];
    if (!ReadExactly(fd, wakePipe_[0], header, 2)) return false;
    const std::size_t length = (std::size_t{header[0]} << 8) | header[1];
    payload.assign(length, 0);
    if (length > 0 && !ReadExactly(fd, wakePipe_[0], payload.data(), length)) return false;
    std::lock_guard lock(cardMutex_);
    if (length == 1) {
      switch (payload[0]) {
        case 0:  // power off
        case 1:  // power on
        case 2:  // reset
          card_.Reset();
          break;
        case 4:  // the driver asks for the ATR
          if (!SendMessage(fd, card_.Atr())) return false;
          break;
        default:
          break;
      }
      continue;
    }
    if (length == 0) continue;
    apdus_.fetch_add(1);
    if (!SendMessage(fd, card_.Answer(payload))) return false;
  }
  return true;
}

}  // namespace orvane::vtoken
