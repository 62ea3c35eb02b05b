// The real qxplaysdk.dll, loaded at run time from the test program's folder,
// where the fake backend DLLs (qxplay.dll, ...) stand in for the closed
// libraries. Each instance is one load: constructing it attaches the
// library to the process, destroying it detaches it.
#ifndef QXPLAYSDK_TESTS_ABI_LOADED_LIBRARY_H
#define QXPLAYSDK_TESTS_ABI_LOADED_LIBRARY_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/abi/stack_check.h"

namespace abicheck {

class LoadedLibrary {
 public:
  LoadedLibrary();
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  HMODULE Module() const { return module_; }
  std::string Path() const;

  // The export of that name, or null when the DLL has none.
  const void* Find(const char* name) const;
  // Calls the export as a 32-bit caller does (see CallWithWords). The
  // export must exist.
  CallOutcome Call(const char* name, const std::vector<uint32_t>& words) const;
  // The result code of an export call whose stack handling is checked
  // elsewhere.
  int32_t Result(const char* name, const std::vector<uint32_t>& words) const;

 private:
  HMODULE module_;
};

// Names of the exports in `names` that the loaded DLL lacks.
std::vector<std::string> MissingExports(const LoadedLibrary& library,
                                        std::initializer_list<const char*> names);

}  // namespace abicheck

#endif  // QXPLAYSDK_TESTS_ABI_LOADED_LIBRARY_H
