// Loading a token vendor's PKCS#11 (Cryptoki 2.x) module by file name, and the part of the
// Cryptoki interface the carrier probe uses. The declarations follow the standard layouts
// with the platform's default packing (Linux), so no vendor or p11-kit header is needed.
#pragma once

#include <memory>
#include <string>

namespace orvane::platform {

namespace cryptoki {

using CK_BYTE = unsigned char;
using CK_UTF8CHAR = unsigned char;
using CK_BBOOL = unsigned char;
using CK_ULONG = unsigned long;
using CK_FLAGS = CK_ULONG;
using CK_RV = CK_ULONG;
using CK_SLOT_ID = CK_ULONG;

inline constexpr CK_RV CKR_OK = 0;
inline constexpr CK_RV CKR_GENERAL_ERROR = 5;
inline constexpr CK_RV CKR_ARGUMENTS_BAD = 7;
inline constexpr CK_RV CKR_SLOT_ID_INVALID = 3;
inline constexpr CK_RV CKR_TOKEN_NOT_PRESENT = 0xE0;
inline constexpr CK_RV CKR_BUFFER_TOO_SMALL = 0x150;
inline constexpr CK_RV CKR_CRYPTOKI_NOT_INITIALIZED = 0x190;
inline constexpr CK_RV CKR_CRYPTOKI_ALREADY_INITIALIZED = 0x191;
inline constexpr CK_BBOOL CK_TRUE = 1;
inline constexpr CK_BBOOL CK_FALSE = 0;
inline constexpr CK_ULONG CK_UNAVAILABLE_INFORMATION = ~0UL;

struct CK_VERSION {
  CK_BYTE major;
  CK_BYTE minor;
};

struct CK_SLOT_INFO {
  CK_UTF8CHAR slotDescription[64];
  CK_UTF8CHAR manufacturerID[32];
  CK_FLAGS flags;
  CK_VERSION hardwareVersion;
  CK_VERSION firmwareVersion;
};

struct CK_TOKEN_INFO {
  CK_UTF8CHAR label[32];
  CK_UTF8CHAR manufacturerID[32];
  CK_UTF8CHAR model[16];
  CK_UTF8CHAR serialNumber[16];
  CK_FLAGS flags;
  CK_ULONG ulMaxSessionCount;
  CK_ULONG ulSessionCount;
  CK_ULONG ulMaxRwSessionCount;
  CK_ULONG ulRwSessionCount;
  CK_ULONG ulMaxPinLen;
  CK_ULONG ulMinPinLen;
  CK_ULONG ulTotalPublicMemory;
  CK_ULONG ulFreePublicMemory;
  CK_ULONG ulTotalPrivateMemory;
  CK_ULONG ulFreePrivateMemory;
  CK_VERSION hardwareVersion;
  CK_VERSION firmwareVersion;
  CK_UTF8CHAR utcTime[16];
};

struct CK_FUNCTION_LIST;

// The function list: the version and the 68 entries of Cryptoki 2.x in their standard order.
// Only the first seven are called here; the others keep the layout of the table.
struct CK_FUNCTION_LIST {
  CK_VERSION version;
  CK_RV (*C_Initialize)(void* initArgs);
  CK_RV (*C_Finalize)(void* reserved);
  CK_RV (*C_GetInfo)(void* info);
  CK_RV (*C_GetFunctionList)(CK_FUNCTION_LIST** list);
  CK_RV (*C_GetSlotList)(CK_BBOOL tokenPresent, CK_SLOT_ID* slotList, CK_ULONG* count);
  CK_RV (*C_GetSlotInfo)(CK_SLOT_ID slot, CK_SLOT_INFO* info);
  CK_RV (*C_GetTokenInfo)(CK_SLOT_ID slot, CK_TOKEN_INFO* info);
  void (*otherEntries[61])();  // C_GetMechanismList ... C_WaitForSlotEvent
};

using CK_C_GetFunctionList = CK_RV (*)(CK_FUNCTION_LIST** list);

}  // namespace cryptoki

// A loaded shared library, unloaded when the object goes.
class DynamicLibrary {
 public:
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads `file` (a bare name goes through the platform's library search order, a name
  // with a slash is used as a path). None when it cannot be loaded.
  static std::unique_ptr<DynamicLibrary> Open(const std::string& file);

  // The address of an exported symbol, or null.
  void* Symbol(const char* name) const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// Opens PKCS#11 modules by their file names. With a directory set, names are looked up in
// it instead of the library search order (tests, portable installations).
class Pkcs11ModuleLoader {
 public:
  Pkcs11ModuleLoader() = default;
  explicit Pkcs11ModuleLoader(std::string directory) : directory_(std::move(directory)) {}
  virtual ~Pkcs11ModuleLoader() = default;

  virtual std::unique_ptr<DynamicLibrary> Open(const std::string& fileName) const;
  const std::string& directory() const { return directory_; }

 private:
  std::string directory_;
};

}  // namespace orvane::platform
