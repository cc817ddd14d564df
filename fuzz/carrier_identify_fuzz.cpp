// Carrier identification over a scripted PC/SC stack: the reader list the monitor keeps
// (polls, rebuilds, refreshes), the ATR table and the four families' APDU readers. The input
// scripts the readers and the card; all numbers are single bytes:
//   faults   bit 0 establishing a context fails, bit 1 listing readers fails, bit 2 connecting
//            fails, bit 3 disconnecting fails, bit 4 every exchange fails
//   readers  count % 4; for each reader:
//              name length % 64, the name (UTF-8)
//              presence: bit k says whether a card is in the reader at its k-th state query
//              (bit 7 for every later query)
//              protocol % 4: T=0, T=1, raw, none (the connection then fails)
//              ATR length % 41, the ATR
//   answers  the rest: the card's answers to the commands of one connection, in order, each a
//            length and the bytes (status word included); length 255: that exchange fails;
//            length 254: two bytes (big-endian, at most 1024) give the length. Every
//            connection starts again at the first answer; commands after the last get 6D 00.
//
// Checked besides memory safety: every context and connection opened is closed again, the
// items keep at most kMaxAtrLength ATR bytes, and an identified carrier has its type, its
// reader and the display text its fields give.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "carriers/identify.h"
#include "carriers/scard_list.h"
#include "carriers/token_info.h"
#include "common/fuzz_env.h"
#include "platform/pcsc_api.h"
#include "text/text.h"

using namespace orvane;
namespace pcsc = platform::pcsc;

namespace {

using Bytes = std::vector<std::uint8_t>;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  Bytes Take(std::size_t n) {
    n = std::min(n, size_ - pos_);
    Bytes out(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return out;
  }
  bool Empty() const { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

struct ScriptedReader {
  std::u16string name;
  std::uint8_t presence = 0;
  std::uint32_t protocol = pcsc::kProtocolT1;
  Bytes atr;
  int queries = 0;
};

struct Answer {
  bool fails = false;
  Bytes bytes;
};

class ScriptedPcsc : public platform::PcscApi {
 public:
  explicit ScriptedPcsc(Input& in) {
    const std::uint8_t faults = in.Byte();
    establishFails_ = (faults & 0x01) != 0;
    listFails_ = (faults & 0x02) != 0;
    connectFails_ = (faults & 0x04) != 0;
    disconnectFails_ = (faults & 0x08) != 0;
    transmitFails_ = (faults & 0x10) != 0;
    const int count = in.Byte() % 4;
    for (int i = 0; i < count; ++i) {
      ScriptedReader r;
      const Bytes name = in.Take(in.Byte() % 64);
      r.name = text::FromUtf8(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()));
      r.presence = in.Byte();
      static constexpr std::uint32_t kProtocols[] = {pcsc::kProtocolT0, pcsc::kProtocolT1, pcsc::kProtocolRaw,
                                                     pcsc::kProtocolUndefined};
      r.protocol = kProtocols[in.Byte() % 4];
      r.atr = in.Take(in.Byte() % 41);
      readers_.push_back(std::move(r));
    }
    while (!in.Empty()) {
      std::size_t length = in.Byte();
      Answer a;
      if (length == 255) {
        a.fails = true;
      } else {
        if (length == 254) length = std::min<std::size_t>(1024, (in.Byte() << 8) | in.Byte());
        a.bytes = in.Take(length);
      }
      answers_.push_back(std::move(a));
    }
  }

  const std::vector<ScriptedReader>& readers() const { return readers_; }
  std::size_t openContexts() const { return contexts_.size(); }
  std::size_t openCards() const { return cards_.size(); }

  platform::PcscResult EstablishContext(std::uint32_t, platform::PcscContextHandle* context) override {
    if (establishFails_) return pcsc::kNoService;
    *context = ++lastHandle_;
    contexts_.insert(*context);
    return pcsc::kSuccess;
  }
  platform::PcscResult ReleaseContext(platform::PcscContextHandle context) override {
    return contexts_.erase(context) == 1 ? pcsc::kSuccess : pcsc::kInvalidHandle;
  }
  platform::PcscResult ListReaders(platform::PcscContextHandle context, std::vector<std::u16string>* names) override {
    if (!contexts_.contains(context)) return pcsc::kInvalidHandle;
    if (listFails_) return pcsc::kServiceStopped;
    names->clear();
    for (const auto& r : readers_) names->push_back(r.name);
    return names->empty() ? pcsc::kNoReadersAvailable : pcsc::kSuccess;
  }
  platform::PcscResult GetStatusChange(platform::PcscContextHandle context, std::uint32_t,
                                       std::span<platform::PcscReaderState> states) override {
    if (!contexts_.contains(context)) return pcsc::kInvalidHandle;
    for (auto& s : states) {
      ScriptedReader* r = Find(s.reader);
      if (r == nullptr) return pcsc::kUnknownReader;
      const bool present = Present(*r);
      ++r->queries;
      s.eventState = pcsc::kStateChanged | (present ? pcsc::kStatePresent : pcsc::kStateEmpty);
      s.atr = present ? r->atr : Bytes{};
    }
    return pcsc::kSuccess;
  }
  platform::PcscResult Connect(platform::PcscContextHandle context, const std::u16string& reader, std::uint32_t,
                               std::uint32_t preferred, platform::PcscCardHandle* card,
                               std::uint32_t* active) override {
    if (!contexts_.contains(context)) return pcsc::kInvalidHandle;
    ScriptedReader* r = Find(reader);
    if (r == nullptr) return pcsc::kUnknownReader;
    if (!Present(*r)) return pcsc::kNoSmartcard;
    if (connectFails_) return pcsc::kSharingViolation;
    if (r->protocol == pcsc::kProtocolUndefined) return pcsc::kProtoMismatch;
    if ((preferred & r->protocol) == 0 && r->protocol != pcsc::kProtocolRaw) return pcsc::kProtoMismatch;
    *card = ++lastHandle_;
    *active = r->protocol;
    cards_[*card] = 0;  // power-on: the answers start again
    return pcsc::kSuccess;
  }
  platform::PcscResult Transmit(platform::PcscCardHandle card, std::uint32_t, std::span<const std::uint8_t> command,
                                std::span<std::uint8_t> receive, std::size_t* receivedLength) override {
    const auto it = cards_.find(card);
    if (it == cards_.end()) return pcsc::kInvalidHandle;
    if (command.empty()) fuzz::Finding("an empty command APDU");
    if (transmitFails_) return pcsc::kCommError;
    static const Answer kUnsupported{false, {0x6D, 0x00}};
    const Answer& a = it->second < answers_.size() ? answers_[it->second] : kUnsupported;
    ++it->second;
    if (a.fails) return pcsc::kCommError;
    if (a.bytes.size() > receive.size()) return pcsc::kInsufficientBuffer;
    std::copy(a.bytes.begin(), a.bytes.end(), receive.begin());
    *receivedLength = a.bytes.size();
    return pcsc::kSuccess;
  }
  platform::PcscResult Disconnect(platform::PcscCardHandle card, std::uint32_t) override {
    if (cards_.erase(card) == 0) return pcsc::kInvalidHandle;
    return disconnectFails_ ? pcsc::kCommError : pcsc::kSuccess;
  }

 private:
  ScriptedReader* Find(const std::u16string& name) {
    for (auto& r : readers_) {
      if (r.name == name) return &r;
    }
    return nullptr;
  }
  static bool Present(const ScriptedReader& r) { return ((r.presence >> std::min(r.queries, 7)) & 1) != 0; }

  std::vector<ScriptedReader> readers_;
  std::vector<Answer> answers_;
  std::set<platform::PcscContextHandle> contexts_;
  std::map<platform::PcscCardHandle, std::size_t> cards_;  // handle -> next answer
  platform::PcscContextHandle lastHandle_ = 0;
  bool establishFails_ = false;
  bool listFails_ = false;
  bool connectFails_ = false;
  bool disconnectFails_ = false;
  bool transmitFails_ = false;
};

void CheckToken(const std::optional<carriers::tokenInfo>& token, const std::u16string& reader, bool identified) {
  if (!token) return;
  if (token->reader != reader) fuzz::Finding("a carrier that names another reader");
  if (identified && (token->type < 1 || token->type > 9)) fuzz::Finding("an identified carrier without its type");
  if (token->display != carriers::DisplayText(token->model, token->serial, token->reader)) {
    fuzz::Finding("a carrier whose display text does not follow from its fields");
  }
}

void CheckItems(const carriers::SCardList& list) {
  if (!list.items()) return;
  for (const auto& item : *list.items()) {
    if (!item) fuzz::Finding("a null reader item");
    if (item->atrLength > carriers::kMaxAtrLength) fuzz::Finding("an item keeps more ATR bytes than it has room for");
    if (item->token && !item->cardPresent) fuzz::Finding("a carrier in a reader without a card");
    CheckToken(item->token, item->reader, true);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  ScriptedPcsc pcsc(in);
  {
    carriers::CarrierServices services;
    services.pcsc = &pcsc;
    carriers::SCardList list(services);
    for (int i = 0; i < 4; ++i) {
      (void)list.Poll();
      CheckItems(list);
    }
    for (const auto& r : pcsc.readers()) list.RefreshReader(r.name);
    CheckItems(list);
    (void)list.TakeDriverOffers();
  }

  // The family readers on the first reader whatever its ATR, and the tables.
  if (!pcsc.readers().empty()) {
    const std::u16string reader = pcsc.readers().front().name;
    platform::ScopedPcscContext context(pcsc, pcsc::kScopeUser);
    if (context) {
      CheckToken(carriers::ReadETokenJava(pcsc, context.get(), reader), reader, false);
      CheckToken(carriers::ReadRutokenS(pcsc, context.get(), reader), reader, false);
      CheckToken(carriers::ReadRutokenEcp(pcsc, context.get(), reader, carriers::kTypeRutokenEcp), reader, false);
      CheckToken(carriers::ReadRutokenEcp(pcsc, context.get(), reader, carriers::kTypeRutokenLite), reader, false);
      CheckToken(carriers::ReadJaCartaLT(pcsc, context.get(), reader), reader, false);
    }
  }
  for (const auto& r : pcsc.readers()) {
    (void)carriers::MatchAtr(r.atr.data(), static_cast<std::uint32_t>(r.atr.size()));
    if (const auto type = carriers::CarrierTypeFromName(std::u16string_view(r.name))) {
      if (!text::EqualsIgnoreCase(text::ToUtf8(carriers::CarrierTypeName(*type)), text::ToUtf8(r.name))) {
        fuzz::Finding("a carrier type name that does not name its type back");
      }
    }
  }

  if (pcsc.openContexts() != 0) fuzz::Finding("a PC/SC context left open");
  if (pcsc.openCards() != 0) fuzz::Finding("a card connection left open");
  return 0;
}
