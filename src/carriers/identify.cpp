#include "carriers/identify.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "text/format.h"
#include "text/text.h"

namespace orvane::carriers {

const knownAtr knownAtrs[] = {
    {"3b,d5,18,00,81,31,fe,7d,80,73,c8,21,10,f4", "eToken PRO Java 72k", 1},
    {"3b,d5,18,00,81,31,3a,7d,80,73,c8,21,10,30", "eToken PRO Java 72k rev.B", 1},
    {"3b,f2,18,00,02,c1,0a,31,fe,58,c8,09,75", "eToken PRO 32k", 2},
    {"3B,6F,00,FF,00,56,72,75,54,6F,6B,6E,73,30,20,00,00,90,00", "Рутокен S", 3},
    {"3B,8B,01,52,75,74,6F,6B,65,6E,20,44,53,20,C1", "Рутокен ЭЦП", 4},
    {"3B,8B,01,52,75,74,6F,6B,65,6E,6C,69,74,65,C2", "Рутокен lite", 5},
    {"3b,dc,18,ff,81,11,fe,80,73,c8,21,13,66,01,06,01,30,80,01,8d", "JaCarta LT", 6},
    {"3b,dc,18,ff,81,91,fe,1f,c3,80,73,c8,21,13,66,01,06,11,59,00,01,28", "JaCarta PRO", 7},
    {"3b,be,96,00,00,42,06,21,00,00,00,00,00,00,00,00,00,90,00", "ESMART Token USB 64K", 8},
    {"3b,7c,95,00,00,45,53,4d,41,52,54,47,4f,53,54,31,30", "ESMART Token GOST", 9},
    {"3B,1A,96,72,75,74,6F,6B,65,6E,6D,73,63", "Рутокен ЭЦП 2.0M", 4},
    {"3B,1A,96,72,75,74,6F,6B,65,6E,6D", "Рутокен ЭЦП 2.0M", 4},
    {nullptr, nullptr, -1},
};

const carrierTypeName carrierTypeNames[] = {
    {1, "SCARD_TYPE_ETOKEN_JAVA"},  {3, "SCARD_TYPE_RUTOKEN_S"},  {4, "SCARD_TYPE_RUTOKEN_ECP"},
    {5, "SCARD_TYPE_RUTOKEN_LITE"}, {6, "SCARD_TYPE_JACARTA_LT"}, {7, "SCARD_TYPE_JACARTA_PRO"},
    {-1, "SCARD_TYPE_USER"},
};

std::vector<std::uint8_t> AtrBytes(const char* text) {
  std::vector<std::uint8_t> bytes;
  if (text == nullptr) return bytes;
  const char* p = text;
  while (true) {
    const unsigned long value = std::strtoul(p, nullptr, 16);
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    const char* comma = std::strchr(p, ',');
    if (comma == nullptr) break;
    p = comma + 1;
  }
  return bytes;
}

const knownAtr* MatchAtr(const std::uint8_t* atr, std::uint32_t length) {
  if (atr == nullptr && length != 0) return nullptr;
  for (const knownAtr* row = knownAtrs; row->atr != nullptr; ++row) {
    const auto bytes = AtrBytes(row->atr);
    if (bytes.size() == length && std::equal(bytes.begin(), bytes.end(), atr)) return row;
  }
  return nullptr;
}

std::optional<std::int32_t> CarrierTypeFromName(std::optional<std::u16string_view> name) {
  if (!name) return std::nullopt;
  for (const carrierTypeName* row = carrierTypeNames; row->type != -1; ++row) {
    const std::string_view candidate(row->name);
    if (candidate.size() != name->size()) continue;
    bool equal = true;
    for (std::size_t i = 0; i < candidate.size() && equal; ++i) {
      char16_t c = (*name)[i];
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
      char16_t d = static_cast<unsigned char>(candidate[i]);
      if (d >= u'a' && d <= u'z') d = static_cast<char16_t>(d - 0x20);
      equal = c == d;
    }
    if (equal) return row->type;
  }
  return std::nullopt;
}

std::u16string CarrierTypeName(std::int32_t type) {
  const carrierTypeName* row = carrierTypeNames;
  for (; row->type != -1; ++row) {
    if (row->type == type) break;
  }
  return text::FromUtf8(row->name);
}

namespace {

using platform::PcscApi;
using platform::PcscContextHandle;
namespace pcsc = platform::pcsc;

// One card exchange: a shared connection, the protocol control record of the active
// protocol and one receive buffer for every command of the exchange. Every field is read
// only from bytes the card sent in the answer it belongs to.
class CardExchange {
 public:
  CardExchange(PcscApi& api, PcscContextHandle context, const std::u16string& reader) : card_(api), api_(api) {
    if (card_.Connect(context, reader, pcsc::kShareShared, pcsc::kProtocolT0 | pcsc::kProtocolT1) != pcsc::kSuccess)
      return;
    open_ = card_.protocol() == pcsc::kProtocolT0 || card_.protocol() == pcsc::kProtocolT1;
  }

  bool open() const { return open_; }

  bool Send(std::initializer_list<std::uint8_t> command) {
    length_ = 0;
    if (!open_) return false;
    const std::vector<std::uint8_t> bytes(command);
    std::size_t received = 0;
    const auto rc = api_.Transmit(card_.get(), card_.protocol(), bytes,
                                  std::span<std::uint8_t>(buffer_.data(), kReceiveLength), &received);
    if (rc != pcsc::kSuccess) return false;
    length_ = std::min(received, kReceiveLength);
    return true;
  }

  // The answer of the last command, status bytes included.
  std::span<const std::uint8_t> answer() const { return {buffer_.data(), length_}; }

  // Closes the connection leaving the card in place; true when that succeeded.
  bool Close() { return card_.Disconnect(pcsc::kLeaveCard) == pcsc::kSuccess; }

 private:
  static constexpr std::size_t kReceiveLength = 256;
  platform::ScopedPcscCard card_;
  PcscApi& api_;
  bool open_ = false;
  std::array<std::uint8_t, 258> buffer_{};
  std::size_t length_ = 0;
};

// The data bytes of an answer (without its two status bytes).
std::size_t DataLength(std::span<const std::uint8_t> answer) {
  return answer.size() >= 2 ? answer.size() - 2 : 0;
}

bool EndsWith9000(std::span<const std::uint8_t> answer) {
  return answer.size() >= 2 && answer[answer.size() - 2] == 0x90 && answer[answer.size() - 1] == 0x00;
}

std::optional<std::uint32_t> BigEndian32(std::span<const std::uint8_t> answer, std::size_t offset) {
  if (offset + 4 > DataLength(answer)) return std::nullopt;
  return (std::uint32_t{answer[offset]} << 24) | (std::uint32_t{answer[offset + 1]} << 16) |
         (std::uint32_t{answer[offset + 2]} << 8) | std::uint32_t{answer[offset + 3]};
}

std::optional<std::uint32_t> LittleEndian32(std::span<const std::uint8_t> answer, std::size_t offset) {
  if (offset + 4 > DataLength(answer)) return std::nullopt;
  return (std::uint32_t{answer[offset + 3]} << 24) | (std::uint32_t{answer[offset + 2]} << 16) |
         (std::uint32_t{answer[offset + 1]} << 8) | std::uint32_t{answer[offset]};
}

std::optional<std::uint16_t> BigEndian16(std::span<const std::uint8_t> answer, std::size_t offset) {
  if (offset + 2 > DataLength(answer)) return std::nullopt;
  return static_cast<std::uint16_t>((answer[offset] << 8) | answer[offset + 1]);
}

// Bytes as characters of the same codes, ending at a zero byte, blanks and controls trimmed.
std::u16string AnswerText(std::span<const std::uint8_t> bytes) {
  std::u16string out;
  for (const std::uint8_t b : bytes) {
    if (b == 0) break;
    out += static_cast<char16_t>(b);
  }
  return text::TrimSpaces(out);
}

std::int32_t MemoryOrUnknown(std::optional<std::uint32_t> value) {
  // All bits set is how cards say "not reported", never a size.
  if (!value || *value == 0xFFFFFFFFu) return -1;
  return static_cast<std::int32_t>(std::min<std::uint32_t>(*value, INT32_MAX));
}

std::u16string Formatted(const char* format, unsigned value) {
  return text::FromUtf8(text::Format(format, value));
}

std::optional<tokenInfo> Finish(CardExchange& exchange, tokenInfo t, const std::u16string& reader) {
  t.reader = reader;
  t.BuildDisplay();
  if (!exchange.Close()) return std::nullopt;
  return t;
}

}  // namespace

std::optional<tokenInfo> ReadETokenJava(PcscApi& pcsc, PcscContextHandle context, const std::u16string& reader) {
  CardExchange ex(pcsc, context, reader);
  if (!ex.open()) return std::nullopt;
  tokenInfo t;
  t.model = u"eToken PRO 72k";
  if (!ex.Send({0x00, 0xA4, 0x04, 0x00, 0x07, 0xA0, 0x00, 0x00, 0x03, 0x12, 0x02, 0x02, 0x00})) return std::nullopt;
  if (!ex.Send({0x00, 0xA4, 0x08, 0x0C, 0x06, 0x66, 0x66, 0x50, 0x00, 0x00, 0x02, 0x00})) return std::nullopt;
  if (!ex.Send({0x80, 0x18, 0x00, 0x00, 0x04, 0x0E, 0x02, 0x00, 0x00, 0x00})) return std::nullopt;
  t.label = AnswerText(ex.answer().first(DataLength(ex.answer())));
  if (!ex.Send({0x00, 0xCA, 0x01, 0x13, 0x08})) return std::nullopt;
  if (const auto total = BigEndian32(ex.answer(), 2)) t.totalMemory = MemoryOrUnknown(total);
  if (!ex.Send({0x00, 0xCA, 0x01, 0x14, 0x08})) return std::nullopt;
  t.freeMemory = MemoryOrUnknown(BigEndian32(ex.answer(), 2));
  if (!ex.Send({0x00, 0xCA, 0x01, 0x07, 0x00})) return std::nullopt;
  if (const auto serial = BigEndian32(ex.answer(), 4)) t.serial = Formatted("%08x", *serial);
  return Finish(ex, std::move(t), reader);
}

std::optional<tokenInfo> ReadRutokenEcp(PcscApi& pcsc, PcscContextHandle context, const std::u16string& reader,
                                        std::int32_t type) {
  CardExchange ex(pcsc, context, reader);
  if (!ex.open()) return std::nullopt;
  tokenInfo t;
  t.model = type == kTypeRutokenEcp ? u"Rutoken ECP" : type == kTypeRutokenLite ? u"Rutoken Lite" : u"Rutoken";
  if (!ex.Send({0x00, 0xA4, 0x08, 0x00, 0x06, 0x10, 0x00, 0x10, 0x00, 0x10, 0x00, 0x00})) return std::nullopt;
  const auto select = ex.answer();
  if (select.size() == 2 && select[0] == 0x6A && select[1] == 0x82) {
    t.label = u"";  // no label file
  } else {
    if (!ex.Send({0x00, 0xB0, 0x00, 0x00, 0x00})) return std::nullopt;
    const auto a = ex.answer();
    // Bytes 8 up to the answer's length - 3: the label after the file header, before the status.
    t.label = a.size() < 10 ? std::u16string() : AnswerText(a.subspan(8, a.size() - 10));
  }
  if (!ex.Send({0x00, 0xCA, 0x01, 0x8A, 0x04})) return std::nullopt;
  t.freeMemory = MemoryOrUnknown(BigEndian32(ex.answer(), 0));
  t.totalMemory = 32768;
  if (!ex.Send({0x00, 0xCA, 0x01, 0x81, 0x08})) return std::nullopt;
  const auto serial = BigEndian32(ex.answer(), ex.answer().size() > 8 ? 4 : 0);
  if (serial) t.serial = Formatted("%010u", *serial);
  return Finish(ex, std::move(t), reader);
}

std::optional<tokenInfo> ReadRutokenS(PcscApi& pcsc, PcscContextHandle context, const std::u16string& reader) {
  CardExchange ex(pcsc, context, reader);
  if (!ex.open()) return std::nullopt;
  tokenInfo t;
  t.model = u"Rutoken S";
  t.label = u"";
  if (!ex.Send({0x00, 0xCA, 0x01, 0x8A, 0x04})) return std::nullopt;
  t.freeMemory = MemoryOrUnknown(LittleEndian32(ex.answer(), 0));
  t.totalMemory = 32768;
  if (!ex.Send({0x00, 0xCA, 0x01, 0x81, 0x08})) return std::nullopt;
  if (const auto serial = LittleEndian32(ex.answer(), 0)) t.serial = Formatted("%010u", *serial);
  return Finish(ex, std::move(t), reader);
}

std::optional<tokenInfo> ReadJaCartaLT(PcscApi& pcsc, PcscContextHandle context, const std::u16string& reader) {
  CardExchange ex(pcsc, context, reader);
  if (!ex.open()) return std::nullopt;
  tokenInfo t;
  t.model = u"JaCarta LT";
  if (!ex.Send({0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00, 0x00, 0x04, 0x48, 0x00, 0x03, 0x01})) return std::nullopt;
  if (!ex.Send({0x80, 0x30, 0x10, 0x00, 0x20})) return std::nullopt;
  if (!EndsWith9000(ex.answer())) return std::nullopt;
  t.label = AnswerText(ex.answer().first(DataLength(ex.answer())));
  if (ex.Send({0x80, 0x30, 0x30, 0x00, 0x18}) && EndsWith9000(ex.answer())) {
    const auto a = ex.answer();
    t.totalMemory = 65535;
    t.freeMemory = BigEndian16(a, 5).value_or(0);
    // The serial is bytes 22-29 of the data; a shorter answer has no serial at all.
    if (DataLength(a) >= 30) {
      t.serial = text::FromUtf8(text::HexUpper(a.data() + 22, 8));
    }
  }
  return Finish(ex, std::move(t), reader);
}

std::optional<tokenInfo> IdentifyCarrier(const SCardItem* item, const CarrierServices& services) {
  if (item == nullptr || !item->cardPresent) return std::nullopt;
  const knownAtr* row = MatchAtr(item->atr.data(), std::min<std::uint32_t>(item->atrLength, kMaxAtrLength));
  if (row == nullptr) return std::nullopt;
  const std::int32_t type = row->type;

  std::optional<tokenInfo> result;
  bool probed = false;
  if (services.pkcs11 != nullptr) {
    auto probe = ProbePkcs11(*services.pkcs11, Pkcs11ModuleFor(type), item->reader, type);
    if (probe.moduleUsable) {
      probed = true;
      result = std::move(probe.token);
    }
  }
  if (!probed && services.pcsc != nullptr) {
    platform::ScopedPcscContext context(*services.pcsc, pcsc::kScopeUser);
    if (context) {
      switch (type) {
        case kTypeETokenJava:
          result = ReadETokenJava(*services.pcsc, context.get(), item->reader);
          break;
        case kTypeRutokenS:
          result = ReadRutokenS(*services.pcsc, context.get(), item->reader);
          break;
        case kTypeRutokenEcp:
        case kTypeRutokenLite:
          result = ReadRutokenEcp(*services.pcsc, context.get(), item->reader, type);
          break;
        case kTypeJaCartaLT:
          result = ReadJaCartaLT(*services.pcsc, context.get(), item->reader);
          break;
        default:
          break;
      }
    }
  }
  if (result) {
    result->type = type;
    return result;
  }
  if (services.driverOffers != nullptr) {
    auto& offers = *services.driverOffers;
    if (DriverPromptText(type) && std::find(offers.begin(), offers.end(), type) == offers.end()) {
      offers.push_back(type);
    }
  } else if (services.ui != nullptr) {
    OfferDriverDownload(type, *services.ui, services.downloads);
  }
  return std::nullopt;
}

}  // namespace orvane::carriers
