// PcscApi over pcsc-lite. Contexts handed out are our own numbers mapped to pcsc-lite
// contexts: when pcscd restarts, every pcsc-lite context dies with it, so a call that fails
// because the service went away re-establishes the context under the same number and tries
// once more. Card handles are not carried over (the card connection is gone with pcscd).
#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "platform/pcsc_api.h"
#include "text/text.h"

namespace orvane::platform {
namespace {

PcscResult ToResult(LONG rc) {
  return static_cast<PcscResult>(static_cast<std::uint32_t>(rc));
}

bool ServiceLost(LONG rc) {
  return rc == SCARD_E_NO_SERVICE || rc == SCARD_E_SERVICE_STOPPED || rc == SCARD_F_COMM_ERROR ||
         rc == SCARD_E_INVALID_HANDLE;
}

// The memory that SCardListReaders allocates for SCARD_AUTOALLOCATE.
class ReaderListMemory {
 public:
  explicit ReaderListMemory(SCARDCONTEXT context) : context_(context) {}
  ~ReaderListMemory() {
    if (list_ != nullptr) SCardFreeMemory(context_, list_);
  }
  ReaderListMemory(const ReaderListMemory&) = delete;
  ReaderListMemory& operator=(const ReaderListMemory&) = delete;
  LPSTR* out() { return &list_; }
  const char* get() const { return list_; }

 private:
  SCARDCONTEXT context_;
  LPSTR list_ = nullptr;
};

class PcscLiteApi final : public PcscApi {
 public:
  ~PcscLiteApi() override {
    for (auto& [id, entry] : contexts_) {
      if (entry.valid) SCardReleaseContext(entry.real);
    }
  }

  PcscResult EstablishContext(std::uint32_t scope, PcscContextHandle* context) override {
    if (context == nullptr) return pcsc::kInvalidParameter;
    *context = 0;
    SCARDCONTEXT real = 0;
    const LONG rc = SCardEstablishContext(static_cast<DWORD>(scope), nullptr, nullptr, &real);
    if (rc != SCARD_S_SUCCESS) return ToResult(rc);
    std::lock_guard lock(mutex_);
    const PcscContextHandle id = ++lastId_;
    contexts_[id] = Entry{real, static_cast<DWORD>(scope), true};
    *context = id;
    return pcsc::kSuccess;
  }

  PcscResult ReleaseContext(PcscContextHandle context) override {
    std::lock_guard lock(mutex_);
    const auto it = contexts_.find(context);
    if (it == contexts_.end()) return pcsc::kInvalidHandle;
    LONG rc = SCARD_S_SUCCESS;
    if (it->second.valid) rc = SCardReleaseContext(it->second.real);
    contexts_.erase(it);
    // A context of a vanished pcscd cannot be released any more; it is gone all the same.
    return ServiceLost(rc) ? pcsc::kSuccess : ToResult(rc);
  }

  PcscResult ListReaders(PcscContextHandle context, std::vector<std::u16string>* readers) override {
    if (readers == nullptr) return pcsc::kInvalidParameter;
    readers->clear();
    return WithContext(context, [&](SCARDCONTEXT real) -> LONG {
      ReaderListMemory memory(real);
      DWORD length = SCARD_AUTOALLOCATE;
      const LONG rc = SCardListReaders(real, nullptr, reinterpret_cast<LPSTR>(memory.out()), &length);
      if (rc != SCARD_S_SUCCESS) return rc;
      const char* p = memory.get();
      if (p == nullptr) return SCARD_E_NO_READERS_AVAILABLE;
      const char* end = p + length;
      while (p < end && *p != '\0') {
        std::string_view name(p);
        readers->push_back(text::FromUtf8(name));
        p += name.size() + 1;
      }
      return readers->empty() ? SCARD_E_NO_READERS_AVAILABLE : SCARD_S_SUCCESS;
    });
  }

  PcscResult GetStatusChange(PcscContextHandle context, std::uint32_t timeoutMs,
                             std::span<PcscReaderState> states) override {
    std::vector<std::string> names;
    names.reserve(states.size());
    for (const auto& s : states) names.push_back(text::ToUtf8(s.reader));
    std::vector<SCARD_READERSTATE> raw(states.size());
    return WithContext(context, [&](SCARDCONTEXT real) -> LONG {
      for (std::size_t i = 0; i < states.size(); ++i) {
        raw[i] = SCARD_READERSTATE{};
        raw[i].szReader = names[i].c_str();
        raw[i].dwCurrentState = states[i].currentState;
      }
      const LONG rc = SCardGetStatusChange(real, timeoutMs, raw.data(), static_cast<DWORD>(raw.size()));
      if (rc != SCARD_S_SUCCESS) return rc;
      for (std::size_t i = 0; i < states.size(); ++i) {
        states[i].eventState = static_cast<std::uint32_t>(raw[i].dwEventState);
        const std::size_t n = std::min<std::size_t>(raw[i].cbAtr, sizeof raw[i].rgbAtr);
        states[i].atr.assign(raw[i].rgbAtr, raw[i].rgbAtr + n);
      }
      return rc;
    });
  }

  PcscResult Connect(PcscContextHandle context, const std::u16string& reader, std::uint32_t shareMode,
                     std::uint32_t preferredProtocols, PcscCardHandle* card, std::uint32_t* activeProtocol) override {
    if (card == nullptr || activeProtocol == nullptr) return pcsc::kInvalidParameter;
    *card = 0;
    *activeProtocol = pcsc::kProtocolUndefined;
    const std::string name = text::ToUtf8(reader);
    return WithContext(context, [&](SCARDCONTEXT real) -> LONG {
      SCARDHANDLE handle = 0;
      DWORD protocol = 0;
      const LONG rc = SCardConnect(real, name.c_str(), shareMode, preferredProtocols, &handle, &protocol);
      if (rc == SCARD_S_SUCCESS) {
        *card = static_cast<PcscCardHandle>(handle);
        *activeProtocol = static_cast<std::uint32_t>(protocol);
      }
      return rc;
    });
  }

  PcscResult Transmit(PcscCardHandle card, std::uint32_t protocol, std::span<const std::uint8_t> command,
                      std::span<std::uint8_t> receive, std::size_t* receivedLength) override {
    if (receivedLength == nullptr) return pcsc::kInvalidParameter;
    *receivedLength = 0;
    const SCARD_IO_REQUEST* pci = nullptr;
    if (protocol == pcsc::kProtocolT0) {
      pci = SCARD_PCI_T0;
    } else if (protocol == pcsc::kProtocolT1) {
      pci = SCARD_PCI_T1;
    } else {
      return pcsc::kProtoMismatch;
    }
    DWORD length = static_cast<DWORD>(receive.size());
    const LONG rc = SCardTransmit(static_cast<SCARDHANDLE>(card), pci, command.data(),
                                  static_cast<DWORD>(command.size()), nullptr, receive.data(), &length);
    if (rc == SCARD_S_SUCCESS) *receivedLength = std::min<std::size_t>(length, receive.size());
    return ToResult(rc);
  }

  PcscResult Disconnect(PcscCardHandle card, std::uint32_t disposition) override {
    return ToResult(SCardDisconnect(static_cast<SCARDHANDLE>(card), disposition));
  }

 private:
  struct Entry {
    SCARDCONTEXT real = 0;
    DWORD scope = SCARD_SCOPE_USER;
    bool valid = false;
  };

  // Looks the real context up; on a lost service re-establishes it and runs `call` once more.
  // The map lock is not held during the PC/SC call itself, so contexts of other threads
  // are not held up by a slow call.
  template <typename Call>
  PcscResult WithContext(PcscContextHandle context, Call&& call) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      SCARDCONTEXT real = 0;
      {
        std::lock_guard lock(mutex_);
        const auto it = contexts_.find(context);
        if (it == contexts_.end()) return pcsc::kInvalidHandle;
        if (!it->second.valid && !Reestablish(it->second)) return pcsc::kNoService;
        real = it->second.real;
      }
      const LONG rc = call(real);
      if (!ServiceLost(rc) || attempt == 1) return ToResult(rc);
      std::lock_guard lock(mutex_);
      const auto it = contexts_.find(context);
      if (it == contexts_.end()) return ToResult(rc);
      // Another thread may have renewed it already; renew only the context we used.
      if (it->second.valid && it->second.real == real) {
        SCardReleaseContext(real);
        it->second.valid = false;
        if (!Reestablish(it->second)) return ToResult(rc);
      }
    }
    return pcsc::kNoService;
  }

  static bool Reestablish(Entry& entry) {
    SCARDCONTEXT real = 0;
    if (SCardEstablishContext(entry.scope, nullptr, nullptr, &real) != SCARD_S_SUCCESS) return false;
    entry.real = real;
    entry.valid = true;
    return true;
  }

  std::mutex mutex_;
  std::map<PcscContextHandle, Entry> contexts_;
  PcscContextHandle lastId_ = 0;
};

}  // namespace

std::unique_ptr<PcscApi> CreatePcscLiteApi() {
  return std::make_unique<PcscLiteApi>();
}

std::string PcscResultName(PcscResult result) {
  switch (result) {
    case pcsc::kSuccess:
      return "success";
    case pcsc::kInvalidHandle:
      return "invalid handle";
    case pcsc::kInvalidParameter:
      return "invalid parameter";
    case pcsc::kInsufficientBuffer:
      return "insufficient buffer";
    case pcsc::kUnknownReader:
      return "unknown reader";
    case pcsc::kTimeout:
      return "timeout";
    case pcsc::kSharingViolation:
      return "sharing violation";
    case pcsc::kNoSmartcard:
      return "no smart card";
    case pcsc::kProtoMismatch:
      return "protocol mismatch";
    case pcsc::kCommError:
      return "communication error";
    case pcsc::kReaderUnavailable:
      return "reader unavailable";
    case pcsc::kNoService:
      return "resource manager not running";
    case pcsc::kServiceStopped:
      return "resource manager stopped";
    case pcsc::kNoReadersAvailable:
      return "no readers available";
    case pcsc::kUnresponsiveCard:
      return "unresponsive card";
    case pcsc::kRemovedCard:
      return "card removed";
    default: {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "0x%08X", result);
      return buffer;
    }
  }
}

}  // namespace orvane::platform
