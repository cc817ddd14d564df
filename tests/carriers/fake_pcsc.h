// A scripted PC/SC stack for unit tests: readers that can be plugged and unplugged, cards
// (the virtual carriers of orvane-virtual-token or scripted answer tables) that can be
// inserted and removed, failures on demand, and a record of every call.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "card_model.h"
#include "platform/pcsc_api.h"

namespace orvane::test {

namespace pcsc = platform::pcsc;
using Bytes = std::vector<std::uint8_t>;

// A card answering from a table; commands not in it get 6D 00.
class ScriptedCard : public vtoken::VirtualCard {
 public:
  explicit ScriptedCard(Bytes atr) : atr_(std::move(atr)) {}
  Bytes Atr() const override { return atr_; }
  Bytes Answer(std::span<const std::uint8_t> command) override {
    const auto it = answers.find(Bytes(command.begin(), command.end()));
    return it == answers.end() ? Bytes{0x6D, 0x00} : it->second;
  }
  std::map<Bytes, Bytes> answers;

 private:
  Bytes atr_;
};

class FakePcsc : public platform::PcscApi {
 public:
  struct Reader {
    std::u16string name;
    std::shared_ptr<vtoken::VirtualCard> card;
    std::uint32_t protocol = pcsc::kProtocolT1;
    bool statusFails = false;
    std::uint32_t events = 0;  // insertions and removals
  };

  // --- scripting (any thread) ---
  void AddReader(const std::u16string& name) {
    std::lock_guard l(m_);
    readers_.push_back(Reader{name, nullptr});
  }
  void RemoveReader(const std::u16string& name) {
    std::lock_guard l(m_);
    std::erase_if(readers_, [&](const Reader& r) { return r.name == name; });
  }
  void Insert(const std::u16string& name, std::shared_ptr<vtoken::VirtualCard> card,
              std::uint32_t protocol = pcsc::kProtocolT1) {
    std::lock_guard l(m_);
    if (Reader* r = FindLocked(name)) {
      r->card = std::move(card);
      r->protocol = protocol;
      ++r->events;
    }
  }
  void Eject(const std::u16string& name) { Insert(name, nullptr); }
  // The card in the reader changes its contents (no card event).
  void Replace(const std::u16string& name, std::shared_ptr<vtoken::VirtualCard> card) {
    std::lock_guard l(m_);
    if (Reader* r = FindLocked(name)) r->card = std::move(card);
  }
  void SetStatusFails(const std::u16string& name, bool fails) {
    std::lock_guard l(m_);
    if (Reader* r = FindLocked(name)) r->statusFails = fails;
  }
  // Transmit fails for the n-th command (0-based) of every connection; -1: never.
  void FailTransmitAt(int n) {
    std::lock_guard l(m_);
    failTransmitAt_ = n;
  }
  void SetEstablishFails(bool v) {
    std::lock_guard l(m_);
    establishFails_ = v;
  }
  void SetDisconnectFails(bool v) {
    std::lock_guard l(m_);
    disconnectFails_ = v;
  }
  void SetConnectFails(bool v) {
    std::lock_guard l(m_);
    connectFails_ = v;
  }

  // --- observation ---
  int openContexts() const {
    std::lock_guard l(m_);
    return static_cast<int>(contexts_.size());
  }
  int openCards() const {
    std::lock_guard l(m_);
    return static_cast<int>(cards_.size());
  }
  int connects() const {
    std::lock_guard l(m_);
    return connects_;
  }
  std::vector<Bytes> commands() const {
    std::lock_guard l(m_);
    return commands_;
  }
  std::vector<std::uint32_t> shareModes() const {
    std::lock_guard l(m_);
    return shareModes_;
  }
  std::vector<std::uint32_t> dispositions() const {
    std::lock_guard l(m_);
    return dispositions_;
  }
  std::vector<std::uint32_t> statusTimeouts() const {
    std::lock_guard l(m_);
    return statusTimeouts_;
  }
  void ClearLog() {
    std::lock_guard l(m_);
    commands_.clear();
    connects_ = 0;
    shareModes_.clear();
    dispositions_.clear();
  }

  // --- PcscApi ---
  platform::PcscResult EstablishContext(std::uint32_t, platform::PcscContextHandle* context) override {
    std::lock_guard l(m_);
    if (establishFails_) return pcsc::kNoService;
    *context = ++lastHandle_;
    contexts_.push_back(*context);
    return pcsc::kSuccess;
  }
  platform::PcscResult ReleaseContext(platform::PcscContextHandle context) override {
    std::lock_guard l(m_);
    const auto it = std::find(contexts_.begin(), contexts_.end(), context);
    if (it == contexts_.end()) return pcsc::kInvalidHandle;
    contexts_.erase(it);
    return pcsc::kSuccess;
  }
  platform::PcscResult ListReaders(platform::PcscContextHandle context, std::vector<std::u16string>* readers) override {
    std::lock_guard l(m_);
    if (!ValidLocked(context)) return pcsc::kInvalidHandle;
    readers->clear();
    for (const auto& r : readers_) readers->push_back(r.name);
    return readers->empty() ? pcsc::kNoReadersAvailable : pcsc::kSuccess;
  }
  platform::PcscResult GetStatusChange(platform::PcscContextHandle context, std::uint32_t timeoutMs,
                                       std::span<platform::PcscReaderState> states) override {
    std::lock_guard l(m_);
    if (!ValidLocked(context)) return pcsc::kInvalidHandle;
    statusTimeouts_.push_back(timeoutMs);
    for (auto& s : states) {
      const Reader* r = FindLocked(s.reader);
      if (r == nullptr) return pcsc::kUnknownReader;
      if (r->statusFails) return pcsc::kReaderUnavailable;
      // As pcsc-lite: the upper 16 bits count the card events of the reader.
      s.eventState = pcsc::kStateChanged | (r->card ? pcsc::kStatePresent : pcsc::kStateEmpty) | (r->events << 16);
      s.atr = r->card ? r->card->Atr() : Bytes{};
    }
    return pcsc::kSuccess;
  }
  platform::PcscResult Connect(platform::PcscContextHandle context, const std::u16string& reader,
                               std::uint32_t shareMode, std::uint32_t preferred, platform::PcscCardHandle* card,
                               std::uint32_t* active) override {
    std::lock_guard l(m_);
    if (!ValidLocked(context)) return pcsc::kInvalidHandle;
    ++connects_;
    shareModes_.push_back(shareMode);
    const Reader* r = FindLocked(reader);
    if (r == nullptr) return pcsc::kUnknownReader;
    if (!r->card) return pcsc::kNoSmartcard;
    if (connectFails_) return pcsc::kSharingViolation;
    if ((preferred & r->protocol) == 0 && r->protocol != pcsc::kProtocolRaw) return pcsc::kProtoMismatch;
    *card = ++lastHandle_;
    *active = r->protocol;
    cards_[*card] = Connection{r->card, 0};
    r->card->Reset();
    return pcsc::kSuccess;
  }
  platform::PcscResult Transmit(platform::PcscCardHandle card, std::uint32_t, std::span<const std::uint8_t> command,
                                std::span<std::uint8_t> receive, std::size_t* receivedLength) override {
    std::lock_guard l(m_);
    const auto it = cards_.find(card);
    if (it == cards_.end()) return pcsc::kInvalidHandle;
    commands_.emplace_back(command.begin(), command.end());
    if (it->second.sent++ == failTransmitAt_) return pcsc::kCommError;
    const Bytes answer = it->second.card->Answer(command);
    if (answer.size() > receive.size()) return pcsc::kInsufficientBuffer;
    std::copy(answer.begin(), answer.end(), receive.begin());
    *receivedLength = answer.size();
    return pcsc::kSuccess;
  }
  platform::PcscResult Disconnect(platform::PcscCardHandle card, std::uint32_t disposition) override {
    std::lock_guard l(m_);
    dispositions_.push_back(disposition);
    if (cards_.erase(card) == 0) return pcsc::kInvalidHandle;
    return disconnectFails_ ? pcsc::kCommError : pcsc::kSuccess;
  }

 private:
  struct Connection {
    std::shared_ptr<vtoken::VirtualCard> card;
    int sent = 0;
  };
  Reader* FindLocked(const std::u16string& name) {
    for (auto& r : readers_) {
      if (r.name == name) return &r;
    }
    return nullptr;
  }
  bool ValidLocked(platform::PcscContextHandle c) const {
    return std::find(contexts_.begin(), contexts_.end(), c) != contexts_.end();
  }

  mutable std::mutex m_;
  std::vector<Reader> readers_;
  std::vector<platform::PcscContextHandle> contexts_;
  std::map<platform::PcscCardHandle, Connection> cards_;
  std::uint64_t lastHandle_ = 0;
  int failTransmitAt_ = -1;
  bool establishFails_ = false;
  bool disconnectFails_ = false;
  bool connectFails_ = false;
  int connects_ = 0;
  std::vector<Bytes> commands_;
  std::vector<std::uint32_t> shareModes_;
  std::vector<std::uint32_t> dispositions_;
  std::vector<std::uint32_t> statusTimeouts_;
};

inline std::shared_ptr<vtoken::VirtualCard> Card(const std::string& family, vtoken::CardOptions options = {}) {
  return std::shared_ptr<vtoken::VirtualCard>(vtoken::MakeCard(family, options));
}

}  // namespace orvane::test
