#include "card_model.h"

#include <algorithm>
#include <map>

namespace orvane::vtoken {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Status(std::uint8_t sw1, std::uint8_t sw2) {
  return {sw1, sw2};
}
Bytes Ok() {
  return Status(0x90, 0x00);
}
Bytes WithOk(Bytes data) {
  data.push_back(0x90);
  data.push_back(0x00);
  return data;
}

void PutBE32(Bytes& b, std::size_t offset, std::uint32_t v) {
  if (b.size() < offset + 4) b.resize(offset + 4);
  b[offset] = static_cast<std::uint8_t>(v >> 24);
  b[offset + 1] = static_cast<std::uint8_t>(v >> 16);
  b[offset + 2] = static_cast<std::uint8_t>(v >> 8);
  b[offset + 3] = static_cast<std::uint8_t>(v);
}

void PutLE32(Bytes& b, std::size_t offset, std::uint32_t v) {
  if (b.size() < offset + 4) b.resize(offset + 4);
  for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool Is(std::span<const std::uint8_t> c, std::initializer_list<std::uint8_t> expected) {
  return c.size() == expected.size() && std::equal(expected.begin(), expected.end(), c.begin());
}

// Instruction not supported: what every family answers to a command it does not know.
Bytes Unsupported() {
  return Status(0x6D, 0x00);
}

class AtrOnlyCard : public VirtualCard {
 public:
  explicit AtrOnlyCard(Bytes atr) : atr_(std::move(atr)) {}
  Bytes Atr() const override { return atr_; }
  Bytes Answer(std::span<const std::uint8_t>) override { return Unsupported(); }

 private:
  Bytes atr_;
};

class ETokenJavaCard : public VirtualCard {
 public:
  ETokenJavaCard(Bytes atr, const CardOptions& o) : atr_(std::move(atr)), o_(o) {}
  Bytes Atr() const override { return atr_; }
  void Reset() override { appletSelected_ = fileSelected_ = false; }
  Bytes Answer(std::span<const std::uint8_t> c) override {
    if (Is(c, {0x00, 0xA4, 0x04, 0x00, 0x07, 0xA0, 0x00, 0x00, 0x03, 0x12, 0x02, 0x02, 0x00})) {
      appletSelected_ = true;
      return Ok();
    }
    if (!appletSelected_) return Status(0x69, 0x85);
    if (Is(c, {0x00, 0xA4, 0x08, 0x0C, 0x06, 0x66, 0x66, 0x50, 0x00, 0x00, 0x02, 0x00})) {
      fileSelected_ = true;
      return Ok();
    }
    if (Is(c, {0x80, 0x18, 0x00, 0x00, 0x04, 0x0E, 0x02, 0x00, 0x00, 0x00})) {
      if (!fileSelected_) return Status(0x69, 0x86);
      return WithOk(Bytes(o_.label.begin(), o_.label.end()));
    }
    if (Is(c, {0x00, 0xCA, 0x01, 0x13, 0x08}) || Is(c, {0x00, 0xCA, 0x01, 0x14, 0x08})) {
      Bytes data = {0x01, c[3]};
      PutBE32(data, 2, c[3] == 0x13 ? o_.totalMemory.value_or(73728) : o_.freeMemory);
      data.resize(8);
      return WithOk(data);
    }
    if (Is(c, {0x00, 0xCA, 0x01, 0x07, 0x00})) {
      Bytes data = {0x01, 0x07, 0x00, 0x00};
      PutBE32(data, 4, o_.serial);
      return WithOk(data);
    }
    return Unsupported();
  }

 private:
  Bytes atr_;
  CardOptions o_;
  bool appletSelected_ = false;
  bool fileSelected_ = false;
};

class RutokenEcpCard : public VirtualCard {
 public:
  RutokenEcpCard(Bytes atr, const CardOptions& o) : atr_(std::move(atr)), o_(o) {}
  Bytes Atr() const override { return atr_; }
  void Reset() override { labelSelected_ = false; }
  Bytes Answer(std::span<const std::uint8_t> c) override {
    if (Is(c, {0x00, 0xA4, 0x08, 0x00, 0x06, 0x10, 0x00, 0x10, 0x00, 0x10, 0x00, 0x00})) {
      if (!o_.labelFile) return Status(0x6A, 0x82);
      labelSelected_ = true;
      // File control information of the label file.
      return WithOk({0x62, 0x06, 0x80, 0x02, 0x00, static_cast<std::uint8_t>(8 + o_.label.size())});
    }
    if (Is(c, {0x00, 0xB0, 0x00, 0x00, 0x00})) {
      if (!labelSelected_) return Status(0x69, 0x86);
      Bytes data = {0x4C, 0x41, 0x42, 0x45, 0x4C, 0x00, 0x00, static_cast<std::uint8_t>(o_.label.size())};
      data.insert(data.end(), o_.label.begin(), o_.label.end());
      return WithOk(data);
    }
    if (Is(c, {0x00, 0xCA, 0x01, 0x8A, 0x04})) {
      Bytes data;
      PutBE32(data, 0, o_.freeMemory);
      return WithOk(data);
    }
    if (Is(c, {0x00, 0xCA, 0x01, 0x81, 0x08})) {
      Bytes data;
      if (o_.serialAnswerBytes == 4) {
        PutBE32(data, 0, o_.serial);
      } else {
        PutBE32(data, 0, 0x52540000);  // family marker before the serial
        PutBE32(data, 4, o_.serial);
      }
      return WithOk(data);
    }
    return Unsupported();
  }

 private:
  Bytes atr_;
  CardOptions o_;
  bool labelSelected_ = false;
};

class RutokenSCard : public VirtualCard {
 public:
  RutokenSCard(Bytes atr, const CardOptions& o) : atr_(std::move(atr)), o_(o) {}
  Bytes Atr() const override { return atr_; }
  Bytes Answer(std::span<const std::uint8_t> c) override {
    if (Is(c, {0x00, 0xCA, 0x01, 0x8A, 0x04})) {
      Bytes data;
      PutLE32(data, 0, o_.freeMemory);
      return WithOk(data);
    }
    if (Is(c, {0x00, 0xCA, 0x01, 0x81, 0x08})) {
      Bytes data;
      PutLE32(data, 0, o_.serial);
      PutLE32(data, 4, 0);
      return WithOk(data);
    }
    return Unsupported();
  }

 private:
  Bytes atr_;
  CardOptions o_;
};

class JaCartaLTCard : public VirtualCard {
 public:
  JaCartaLTCard(Bytes atr, const CardOptions& o) : atr_(std::move(atr)), o_(o) {}
  Bytes Atr() const override { return atr_; }
  void Reset() override { selected_ = false; }
  Bytes Answer(std::span<const std::uint8_t> c) override {
    if (Is(c, {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00, 0x00, 0x04, 0x48, 0x00, 0x03, 0x01})) {
      selected_ = true;
      return Ok();
    }
    if (!selected_) return Status(0x6E, 0x00);
    if (Is(c, {0x80, 0x30, 0x10, 0x00, 0x20})) {
      Bytes data(o_.label.begin(), o_.label.end());
      data.resize(std::max<std::size_t>(data.size(), 32), 0);
      return WithOk(data);
    }
    if (Is(c, {0x80, 0x30, 0x30, 0x00, 0x18})) {
      if (o_.jacartaInfo == "error") return Status(0x6A, 0x88);
      Bytes data(30, 0);
      data[0] = 0x01;
      data[5] = static_cast<std::uint8_t>(std::min<std::uint32_t>(o_.freeMemory, 0xFFFF) >> 8);
      data[6] = static_cast<std::uint8_t>(std::min<std::uint32_t>(o_.freeMemory, 0xFFFF));
      PutBE32(data, 22, 0x4A430000);  // high half of the eight serial bytes
      PutBE32(data, 26, o_.serial);
      if (o_.jacartaInfo == "short") data.resize(24);
      return WithOk(data);
    }
    return Unsupported();
  }

 private:
  Bytes atr_;
  CardOptions o_;
  bool selected_ = false;
};

Bytes Hex(std::initializer_list<std::uint8_t> b) {
  return Bytes(b);
}

}  // namespace

const std::vector<std::string>& FamilyNames() {
  static const std::vector<std::string> names = {"etoken-java", "etoken-java-b", "etoken-32k",          "rutoken-s",
                                                 "rutoken-ecp", "rutoken-ecp2m", "rutoken-ecp2m-short", "rutoken-lite",
                                                 "jacarta-lt",  "jacarta-pro",   "esmart-64k",          "esmart-gost",
                                                 "unknown"};
  return names;
}

std::unique_ptr<VirtualCard> MakeCard(const std::string& family, const CardOptions& o) {
  if (family == "etoken-java")
    return std::make_unique<ETokenJavaCard>(
        Hex({0x3b, 0xd5, 0x18, 0x00, 0x81, 0x31, 0xfe, 0x7d, 0x80, 0x73, 0xc8, 0x21, 0x10, 0xf4}), o);
  if (family == "etoken-java-b")
    return std::make_unique<ETokenJavaCard>(
        Hex({0x3b, 0xd5, 0x18, 0x00, 0x81, 0x31, 0x3a, 0x7d, 0x80, 0x73, 0xc8, 0x21, 0x10, 0x30}), o);
  if (family == "etoken-32k")
    return std::make_unique<AtrOnlyCard>(
        Hex({0x3b, 0xf2, 0x18, 0x00, 0x02, 0xc1, 0x0a, 0x31, 0xfe, 0x58, 0xc8, 0x09, 0x75}));
  if (family == "rutoken-s")
    return std::make_unique<RutokenSCard>(Hex({0x3B, 0x6F, 0x00, 0xFF, 0x00, 0x56, 0x72, 0x75, 0x54, 0x6F, 0x6B, 0x6E,
                                               0x73, 0x30, 0x20, 0x00, 0x00, 0x90, 0x00}),
                                          o);
  if (family == "rutoken-ecp")
    return std::make_unique<RutokenEcpCard>(
        Hex({0x3B, 0x8B, 0x01, 0x52, 0x75, 0x74, 0x6F, 0x6B, 0x65, 0x6E, 0x20, 0x44, 0x53, 0x20, 0xC1}), o);
  if (family == "rutoken-ecp2m")
    return std::make_unique<RutokenEcpCard>(
        Hex({0x3B, 0x1A, 0x96, 0x72, 0x75, 0x74, 0x6F, 0x6B, 0x65, 0x6E, 0x6D, 0x73, 0x63}), o);
  if (family == "rutoken-ecp2m-short")
    return std::make_unique<RutokenEcpCard>(Hex({0x3B, 0x1A, 0x96, 0x72, 0x75, 0x74, 0x6F, 0x6B, 0x65, 0x6E, 0x6D}), o);
  if (family == "rutoken-lite")
    return std::make_unique<RutokenEcpCard>(
        Hex({0x3B, 0x8B, 0x01, 0x52, 0x75, 0x74, 0x6F, 0x6B, 0x65, 0x6E, 0x6C, 0x69, 0x74, 0x65, 0xC2}), o);
  if (family == "jacarta-lt")
    return std::make_unique<JaCartaLTCard>(Hex({0x3b, 0xdc, 0x18, 0xff, 0x81, 0x11, 0xfe, 0x80, 0x73, 0xc8,
                                                0x21, 0x13, 0x66, 0x01, 0x06, 0x01, 0x30, 0x80, 0x01, 0x8d}),
                                           o);
  if (family == "jacarta-pro")
    return std::make_unique<AtrOnlyCard>(Hex({0x3b, 0xdc, 0x18, 0xff, 0x81, 0x91, 0xfe, 0x1f, 0xc3, 0x80, 0x73,
                                              0xc8, 0x21, 0x13, 0x66, 0x01, 0x06, 0x11, 0x59, 0x00, 0x01, 0x28}));
  if (family == "esmart-64k")
    return std::make_unique<AtrOnlyCard>(Hex({0x3b, 0xbe, 0x96, 0x00, 0x00, 0x42, 0x06, 0x21, 0x00, 0x00, 0x00, 0x00,
                                              0x00, 0x00, 0x00, 0x00, 0x00, 0x90, 0x00}));
  if (family == "esmart-gost")
    return std::make_unique<AtrOnlyCard>(
        Hex({0x3b, 0x7c, 0x95, 0x00, 0x00, 0x45, 0x53, 0x4d, 0x41, 0x52, 0x54, 0x47, 0x4f, 0x53, 0x54, 0x31, 0x30}));
  if (family == "unknown")
    // A well-formed T=1 ATR that no carrier family uses.
    return std::make_unique<AtrOnlyCard>(
        Hex({0x3B, 0x88, 0x80, 0x01, 0x4F, 0x52, 0x56, 0x41, 0x4E, 0x45, 0x30, 0x31, 0x09}));
  return nullptr;
}

}  // namespace orvane::vtoken
