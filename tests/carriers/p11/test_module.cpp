// A PKCS#11 module for the probing tests. Its slots and tokens come from the environment
// variable ORVANE_TEST_P11, read at C_Initialize:
//   entries separated by ";", each either a slot "description|label|model|serial|total|free"
//   (total/free: a number or "unavailable") or a switch: "getlist=fail", "tokeninfo=fail",
//   "init=already", "slotinfo=fail".
// Every call is appended to the file named by ORVANE_TEST_P11_LOG, one name per line.
// Built without ORVANE_P11_FUNCTION_LIST it exports no C_GetFunctionList at all.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/pkcs11_module.h"

using namespace orvane::platform::cryptoki;

namespace {

struct Slot {
  std::string description, label, model, serial;
  CK_ULONG total = 0, free = 0;
};

struct State {
  std::vector<Slot> slots;
  bool getListFails = false;
  bool tokenInfoFails = false;
  bool alreadyInitialized = false;
  bool slotInfoFails = false;
  bool initialized = false;
};

State g_state;

void Log(const char* call) {
  const char* path = std::getenv("ORVANE_TEST_P11_LOG");
  if (path == nullptr || *path == '\0') return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", call);
    std::fclose(f);
  }
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t p = s.find(sep, start);
    out.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return out;
}

CK_ULONG Figure(const std::string& s) {
  if (s == "unavailable") return CK_UNAVAILABLE_INFORMATION;
  return std::strtoul(s.c_str(), nullptr, 10);
}

void Configure() {
  g_state = State{};
  const char* env = std::getenv("ORVANE_TEST_P11");
  if (env == nullptr) return;
  for (const std::string& entry : Split(env, ';')) {
    if (entry == "getlist=fail") g_state.getListFails = true;
    if (entry == "tokeninfo=fail") g_state.tokenInfoFails = true;
    if (entry == "init=already") g_state.alreadyInitialized = true;
    if (entry == "slotinfo=fail") g_state.slotInfoFails = true;
    const auto f = Split(entry, '|');
    if (f.size() == 6) g_state.slots.push_back(Slot{f[0], f[1], f[2], f[3], Figure(f[4]), Figure(f[5])});
  }
}

// Blank-padded fixed-length field.
void Pad(CK_UTF8CHAR* field, std::size_t size, const std::string& value) {
  std::memset(field, ' ', size);
  std::memcpy(field, value.data(), std::min(size, value.size()));
}

CK_RV Initialize(void*) {
  Log("C_Initialize");
  Configure();
  if (g_state.alreadyInitialized) return CKR_CRYPTOKI_ALREADY_INITIALIZED;
  g_state.initialized = true;
  return CKR_OK;
}

CK_RV Finalize(void*) {
  Log("C_Finalize");
  if (!g_state.initialized) return CKR_CRYPTOKI_NOT_INITIALIZED;
  g_state.initialized = false;
  return CKR_OK;
}

CK_RV GetSlotList(CK_BBOOL, CK_SLOT_ID* list, CK_ULONG* count) {
  Log(list == nullptr ? "C_GetSlotList(count)" : "C_GetSlotList(list)");
  if (count == nullptr) return CKR_ARGUMENTS_BAD;
  const CK_ULONG n = g_state.slots.size();
  if (list == nullptr) {
    *count = n;
    return CKR_OK;
  }
  if (*count < n) {
    *count = n;
    return CKR_BUFFER_TOO_SMALL;
  }
  // Slot identifiers that are not indexes, as real modules have.
  for (CK_ULONG i = 0; i < n; ++i) list[i] = 100 + i;
  *count = n;
  return CKR_OK;
}

const Slot* Find(CK_SLOT_ID id) {
  if (id < 100 || id - 100 >= g_state.slots.size()) return nullptr;
  return &g_state.slots[id - 100];
}

CK_RV GetSlotInfo(CK_SLOT_ID id, CK_SLOT_INFO* info) {
  Log("C_GetSlotInfo");
  const Slot* s = Find(id);
  if (s == nullptr) return CKR_SLOT_ID_INVALID;
  if (g_state.slotInfoFails && id == 100) return CKR_GENERAL_ERROR;
  Pad(info->slotDescription, sizeof info->slotDescription, s->description);
  Pad(info->manufacturerID, sizeof info->manufacturerID, "Orvane tests");
  return CKR_OK;
}

CK_RV GetTokenInfo(CK_SLOT_ID id, CK_TOKEN_INFO* info) {
  Log("C_GetTokenInfo");
  const Slot* s = Find(id);
  if (s == nullptr) return CKR_SLOT_ID_INVALID;
  if (g_state.tokenInfoFails) return CKR_TOKEN_NOT_PRESENT;
  Pad(info->label, sizeof info->label, s->label);
  Pad(info->model, sizeof info->model, s->model);
  Pad(info->serialNumber, sizeof info->serialNumber, s->serial);
  info->ulTotalPublicMemory = s->total;
  info->ulFreePublicMemory = s->free;
  return CKR_OK;
}

CK_FUNCTION_LIST g_functions = {{2, 20},     Initialize,  Finalize,     nullptr, nullptr,
                                GetSlotList, GetSlotInfo, GetTokenInfo, {}};

}  // namespace

#ifdef ORVANE_P11_FUNCTION_LIST
extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) {
  Log("C_GetFunctionList");
  Configure();
  if (g_state.getListFails) return CKR_GENERAL_ERROR;
  if (list == nullptr) return CKR_ARGUMENTS_BAD;
  *list = &g_functions;
  return CKR_OK;
}
#else
extern "C" __attribute__((visibility("default"))) int orvane_test_module_without_function_list() {
  return g_functions.version.major;
}
#endif
