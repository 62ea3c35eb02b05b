#include "tests/abi/loaded_library.h"

#include <stdexcept>

namespace abicheck {

LoadedLibrary::LoadedLibrary() : module_(LoadLibraryA("qxplaysdk.dll")) {}

LoadedLibrary::~LoadedLibrary() {
  if (module_ != nullptr) {
    FreeLibrary(module_);
  }
}

std::string LoadedLibrary::Path() const {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(module_, path, MAX_PATH);
  return std::string(path, length);
}

const void* LoadedLibrary::Find(const char* name) const {
  return reinterpret_cast<const void*>(GetProcAddress(module_, name));
}

CallOutcome LoadedLibrary::Call(const char* name, const std::vector<uint32_t>& words) const {
  const void* function = Find(name);
  if (function == nullptr) {
    throw std::logic_error(std::string("qxplaysdk.dll does not export ") + name);
  }
  return CallWithWords(function, words);
}

int32_t LoadedLibrary::Result(const char* name, const std::vector<uint32_t>& words) const {
  return static_cast<int32_t>(Call(name, words).eax);
}

std::vector<std::string> MissingExports(const LoadedLibrary& library,
                                        std::initializer_list<const char*> names) {
  std::vector<std::string> missing;
  for (const char* name : names) {
    if (library.Find(name) == nullptr) {
      missing.emplace_back(name);
    }
  }
  return missing;
}

}  // namespace abicheck
