#include "carriers/pkcs11_probe.h"

#include <sys/utsname.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "carriers/identify.h"
#include "text/text.h"

namespace orvane::carriers {
namespace {

using namespace platform::cryptoki;

// A Cryptoki fixed-length text field: UTF-8 padded with blanks, not NUL-terminated.
std::u16string FieldText(const CK_UTF8CHAR* field, std::size_t size) {
  const auto decoded = text::Utf8ToUtf16(reinterpret_cast<const char*>(field), size);
  if (!decoded) return std::u16string();
  return text::TrimSpaces(*decoded);
}

// Slot lists longer than this come from a broken module; nothing is read from it.
constexpr CK_ULONG kMaxSlots = 4096;

std::optional<tokenInfo> ReadToken(const CK_FUNCTION_LIST& f, const std::u16string& reader, std::int32_t type) {
  CK_ULONG count = 0;
  if (f.C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK || count == 0 || count > kMaxSlots) return std::nullopt;
  std::vector<CK_SLOT_ID> slots(count);
  CK_ULONG filled = count;
  if (f.C_GetSlotList(CK_TRUE, slots.data(), &filled) != CKR_OK) return std::nullopt;
  slots.resize(std::min<CK_ULONG>(filled, count));

  for (const CK_SLOT_ID slot : slots) {
    CK_SLOT_INFO slotInfo;
    std::memset(&slotInfo, 0, sizeof slotInfo);
    if (f.C_GetSlotInfo(slot, &slotInfo) != CKR_OK) continue;
    if (!text::EqualsIgnoreCase(FieldText(slotInfo.slotDescription, sizeof slotInfo.slotDescription), reader)) continue;

    CK_TOKEN_INFO info;
    std::memset(&info, 0, sizeof info);
    if (f.C_GetTokenInfo(slot, &info) != CKR_OK) return std::nullopt;
    tokenInfo t;
    t.label = FieldText(info.label, sizeof info.label);
    t.model = FieldText(info.model, sizeof info.model);
    t.serialRaw = FieldText(info.serialNumber, sizeof info.serialNumber);
    if (type == 3 || type == 4 || type == 5) {
      t.serial = RutokenSerialFromHex(*t.serialRaw).value_or(*t.serialRaw);
    } else {
      t.serial = t.serialRaw;
    }
    t.reader = reader;
    t.totalMemory = MemoryFigure(info.ulTotalPublicMemory);
    t.freeMemory = MemoryFigure(info.ulFreePublicMemory);
    t.BuildDisplay();
    return t;
  }
  return std::nullopt;
}

bool Is64BitMachine() {
  utsname name{};
  if (uname(&name) != 0) return sizeof(void*) == 8;
  const std::string_view machine(name.machine);
  return machine.find("64") != std::string_view::npos || machine == "s390x";
}

}  // namespace

const char* Pkcs11ModuleFor(std::int32_t type) {
  // The vendors' Linux modules, loaded by file name through the library search order.
  switch (type) {
    case kTypeETokenJava:
    case kTypeEToken32k:
      return "libeTPkcs11.so";
    case kTypeRutokenS:
    case kTypeRutokenEcp:
    case kTypeRutokenLite:
      return "librtpkcs11ecp.so";
    case kTypeJaCartaLT:
    case kTypeJaCartaPro:
      return "libjcPKCS11-2.so";
    case kTypeEsmart64k:
    case kTypeEsmartGost:
      return "libisbc_pkcs11_main.so";
    default:
      return nullptr;
  }
}

std::optional<std::u16string> RutokenSerialFromHex(std::u16string_view raw) {
  std::uint64_t value = 0;
  std::size_t digits = 0;
  for (const char16_t c : raw) {
    int d = -1;
    if (c >= u'0' && c <= u'9') d = c - u'0';
    if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
    if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
    if (d < 0) break;
    value = value * 16 + static_cast<unsigned>(d);
    if (value > 0xFFFFFFFFu) return std::nullopt;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%010u", static_cast<unsigned>(value));
  return text::FromUtf8(buffer);
}

std::int32_t MemoryFigure(CK_ULONG value) {
  // 32-bit modules report "unavailable" as all 32 bits set, also where CK_ULONG is wider.
  if (value == CK_UNAVAILABLE_INFORMATION || value == 0xFFFFFFFFul) return -1;
  if (value > static_cast<CK_ULONG>(INT32_MAX)) return INT32_MAX;
  return static_cast<std::int32_t>(value);
}

Pkcs11ProbeResult ProbePkcs11(const platform::Pkcs11ModuleLoader& loader, const char* module,
                              const std::u16string& reader, std::int32_t type) {
  Pkcs11ProbeResult result;
  if (module == nullptr) return result;
  const auto library = loader.Open(module);
  if (!library) return result;
  const auto getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(library->Symbol("C_GetFunctionList"));
  if (getFunctionList == nullptr) return result;
  CK_FUNCTION_LIST* functions = nullptr;
  if (getFunctionList(&functions) != CKR_OK || functions == nullptr) return result;
  // A list without the entries used here cannot be called; treat it like a missing module.
  if (functions->C_Initialize == nullptr || functions->C_Finalize == nullptr || functions->C_GetSlotList == nullptr ||
      functions->C_GetSlotInfo == nullptr || functions->C_GetTokenInfo == nullptr) {
    return result;
  }
  result.moduleUsable = true;
  // When another part of the process has the module initialised already, it is not ours
  // to finalise: C_Finalize is called only after our own successful C_Initialize.
  const CK_RV initialized = functions->C_Initialize(nullptr);
  result.token = ReadToken(*functions, reader, type);
  if (initialized == CKR_OK) functions->C_Finalize(nullptr);
  return result;  // the module is unloaded with `library`
}

DriverDownloads DriverDownloadsFrom(const config::DeploymentConfig& c) {
  DriverDownloads d;
  d.etoken64 = c.driverEToken64;
  d.etoken32 = c.driverEToken32;
  d.rutoken64 = c.driverRutoken64;
  d.rutoken32 = c.driverRutoken32;
  d.jacarta = c.driverJaCarta;
  d.is64BitSystem = Is64BitMachine();
  return d;
}

std::optional<std::u16string> DriverPromptText(std::int32_t type) {
  switch (type) {
    case kTypeETokenJava:
    case kTypeEToken32k:
      return u"Необходимо установить eToken PKI Client. Начать загрузку?";
    case kTypeRutokenS:
    case kTypeRutokenEcp:
    case kTypeRutokenLite:
      return u"Необходимо установить драйверы ruToken. Начать загрузку?";
    case kTypeJaCartaLT:
    case kTypeJaCartaPro:
      return u"Необходимо установить Единый клиент JaCarta. Начать загрузку?";
    default:
      return std::nullopt;
  }
}

std::optional<std::string> DriverDownloadUrl(std::int32_t type, const DriverDownloads& d) {
  switch (type) {
    case kTypeETokenJava:
    case kTypeEToken32k:
      return d.is64BitSystem ? d.etoken64 : d.etoken32;
    case kTypeRutokenS:
    case kTypeRutokenEcp:
    case kTypeRutokenLite:
      return d.is64BitSystem ? d.rutoken64 : d.rutoken32;
    case kTypeJaCartaLT:
    case kTypeJaCartaPro:
      return d.jacarta;
    default:
      return std::nullopt;
  }
}

void OfferDriverDownload(std::int32_t type, WizardUi& ui, const DriverDownloads& downloads) {
  const auto question = DriverPromptText(type);
  const auto url = DriverDownloadUrl(type, downloads);
  if (!question || !url) return;
  if (!ui.AskErrorYesNo(nullptr, *question)) return;
  if (!url->empty()) ui.OpenUrl(text::FromUtf8(*url));
}

}  // namespace orvane::carriers
