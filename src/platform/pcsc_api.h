// The PC/SC seam: the WinSCard-shaped calls the carrier code makes (contexts, the reader
// list, reader states, card connections, APDU exchange). The Linux implementation talks to
// pcscd through pcsc-lite (CreatePcscLiteApi); unit tests use a scripted fake. Result codes
// and constants have the values that WinSCard and pcsc-lite share, so the core never needs
// a platform header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace orvane::platform {

using PcscResult = std::uint32_t;
// Opaque handles; 0 is never a valid handle.
using PcscContextHandle = std::uint64_t;
using PcscCardHandle = std::uint64_t;

namespace pcsc {
inline constexpr PcscResult kSuccess = 0;
inline constexpr PcscResult kInvalidHandle = 0x80100003;
inline constexpr PcscResult kInvalidParameter = 0x80100004;
inline constexpr PcscResult kInsufficientBuffer = 0x80100008;
inline constexpr PcscResult kUnknownReader = 0x80100009;
inline constexpr PcscResult kTimeout = 0x8010000A;
inline constexpr PcscResult kSharingViolation = 0x8010000B;
inline constexpr PcscResult kNoSmartcard = 0x8010000C;
inline constexpr PcscResult kProtoMismatch = 0x8010000F;
inline constexpr PcscResult kCommError = 0x80100013;
inline constexpr PcscResult kReaderUnavailable = 0x80100017;
inline constexpr PcscResult kNoService = 0x8010001D;
inline constexpr PcscResult kServiceStopped = 0x8010001E;
inline constexpr PcscResult kNoReadersAvailable = 0x8010002E;
inline constexpr PcscResult kUnresponsiveCard = 0x80100066;
inline constexpr PcscResult kRemovedCard = 0x80100069;

inline constexpr std::uint32_t kScopeUser = 0;
inline constexpr std::uint32_t kScopeSystem = 2;

inline constexpr std::uint32_t kStateUnaware = 0x0000;
inline constexpr std::uint32_t kStateChanged = 0x0002;
inline constexpr std::uint32_t kStateUnavailable = 0x0008;
inline constexpr std::uint32_t kStateEmpty = 0x0010;
inline constexpr std::uint32_t kStatePresent = 0x0020;
inline constexpr std::uint32_t kStateMute = 0x0200;

inline constexpr std::uint32_t kShareExclusive = 1;
inline constexpr std::uint32_t kShareShared = 2;

inline constexpr std::uint32_t kProtocolUndefined = 0;
inline constexpr std::uint32_t kProtocolT0 = 1;
inline constexpr std::uint32_t kProtocolT1 = 2;
inline constexpr std::uint32_t kProtocolRaw = 4;

inline constexpr std::uint32_t kLeaveCard = 0;
inline constexpr std::uint32_t kResetCard = 1;
inline constexpr std::uint32_t kUnpowerCard = 2;
}  // namespace pcsc

// One reader-state record of GetStatusChange. The ATR is as long as the resource manager
// reports it; callers decide how much of it they keep.
struct PcscReaderState {
  std::u16string reader;
  std::uint32_t currentState = pcsc::kStateUnaware;
  std::uint32_t eventState = 0;
  std::vector<std::uint8_t> atr;
};

class PcscApi {
 public:
  virtual ~PcscApi() = default;

  virtual PcscResult EstablishContext(std::uint32_t scope, PcscContextHandle* context) = 0;
  virtual PcscResult ReleaseContext(PcscContextHandle context) = 0;

  // The names of every reader of all groups, in the order of the resource manager's list.
  // An empty list is reported as kNoReadersAvailable.
  virtual PcscResult ListReaders(PcscContextHandle context, std::vector<std::u16string>* readers) = 0;

  virtual PcscResult GetStatusChange(PcscContextHandle context, std::uint32_t timeoutMs,
                                     std::span<PcscReaderState> states) = 0;

  virtual PcscResult Connect(PcscContextHandle context, const std::u16string& reader, std::uint32_t shareMode,
                             std::uint32_t preferredProtocols, PcscCardHandle* card, std::uint32_t* activeProtocol) = 0;

  // Sends one command APDU with the protocol control record of `protocol` (kProtocolT0 or
  // kProtocolT1). At most receive.size() bytes are written; *receivedLength is the number of
  // answer bytes written, never more than receive.size().
  virtual PcscResult Transmit(PcscCardHandle card, std::uint32_t protocol, std::span<const std::uint8_t> command,
                              std::span<std::uint8_t> receive, std::size_t* receivedLength) = 0;

  virtual PcscResult Disconnect(PcscCardHandle card, std::uint32_t disposition) = 0;
};

// A context that is released when the object goes. Empty (handle 0) when establishing failed.
class ScopedPcscContext {
 public:
  ScopedPcscContext(PcscApi& api, std::uint32_t scope) : api_(&api) {
    result_ = api.EstablishContext(scope, &handle_);
    if (result_ != pcsc::kSuccess) handle_ = 0;
  }
  ~ScopedPcscContext() { Release(); }
  ScopedPcscContext(const ScopedPcscContext&) = delete;
  ScopedPcscContext& operator=(const ScopedPcscContext&) = delete;

  explicit operator bool() const { return handle_ != 0; }
  PcscContextHandle get() const { return handle_; }
  PcscResult result() const { return result_; }
  void Release() {
    if (handle_ != 0) api_->ReleaseContext(handle_);
    handle_ = 0;
  }

 private:
  PcscApi* api_;
  PcscContextHandle handle_ = 0;
  PcscResult result_ = pcsc::kSuccess;
};

// A card connection that is closed (leaving the card in place) when the object goes, unless
// Disconnect was called already.
class ScopedPcscCard {
 public:
  explicit ScopedPcscCard(PcscApi& api) : api_(&api) {}
  ~ScopedPcscCard() { Disconnect(pcsc::kLeaveCard); }
  ScopedPcscCard(const ScopedPcscCard&) = delete;
  ScopedPcscCard& operator=(const ScopedPcscCard&) = delete;

  PcscResult Connect(PcscContextHandle context, const std::u16string& reader, std::uint32_t shareMode,
                     std::uint32_t preferredProtocols) {
    Disconnect(pcsc::kLeaveCard);
    const PcscResult r = api_->Connect(context, reader, shareMode, preferredProtocols, &handle_, &protocol_);
    if (r != pcsc::kSuccess) handle_ = 0;
    return r;
  }
  PcscResult Disconnect(std::uint32_t disposition) {
    if (handle_ == 0) return pcsc::kInvalidHandle;
    const PcscResult r = api_->Disconnect(handle_, disposition);
    handle_ = 0;
    return r;
  }
  PcscCardHandle get() const { return handle_; }
  std::uint32_t protocol() const { return protocol_; }

 private:
  PcscApi* api_;
  PcscCardHandle handle_ = 0;
  std::uint32_t protocol_ = pcsc::kProtocolUndefined;
};

// The PC/SC stack of this machine (pcsc-lite on Linux). A context whose resource manager was
// restarted is re-established on first use, so long-lived contexts survive a pcscd restart.
std::unique_ptr<PcscApi> CreatePcscLiteApi();

// A short English text for a result code (logs and the command-line front).
std::string PcscResultName(PcscResult result);

}  // namespace orvane::platform
