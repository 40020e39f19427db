#include "platform/system_library.h"

namespace platform {

SystemLibrary::~SystemLibrary() {
  if (module_ != nullptr) ::FreeLibrary(module_);
}

FARPROC SystemLibrary::Address(const char* name) {
  if (module_ == nullptr) {
    // From System32 and nowhere else: never the exe's folder, the current
    // directory or PATH, where another user may have put a DLL of that name.
    module_ =
        ::LoadLibraryExW(file_name_, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Vista and Windows 7 without KB2533623 reject the flag. Both DLLs are
    // known DLLs there, which the loader takes from System32 whatever the
    // search order.
    if (module_ == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
      module_ = ::LoadLibraryExW(file_name_, nullptr, 0);
    if (module_ == nullptr) return nullptr;
  }
  return ::GetProcAddress(module_, name);
}

}  // namespace platform
