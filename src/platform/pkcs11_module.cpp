#include "platform/pkcs11_module.h"

#include <dlfcn.h>

namespace orvane::platform {

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& file) {
  if (file.empty()) return nullptr;
  // RTLD_LOCAL keeps the module's symbols (every vendor exports the same C_ names) apart.
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr || name == nullptr) return nullptr;
  return dlsym(handle_, name);
}

std::unique_ptr<DynamicLibrary> Pkcs11ModuleLoader::Open(const std::string& fileName) const {
  if (fileName.empty()) return nullptr;
  if (directory_.empty()) return DynamicLibrary::Open(fileName);
  return DynamicLibrary::Open(directory_ + "/" + fileName);
}

}  // namespace orvane::platform
