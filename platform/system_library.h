// A system DLL that the exe does not import at load time but loads from
// System32 on first use: advapi32 when the registry must be read, user32 when
// a box must be shown. A run with a local runtime loads neither.
#ifndef PLATFORM_SYSTEM_LIBRARY_H_
#define PLATFORM_SYSTEM_LIBRARY_H_

#include <windows.h>

namespace platform {

// A function GetProcAddress found, as its real signature: the FARPROC goes
// through a generic function pointer, so the conversion is between function
// pointer types only. Null stays null.
template <typename Function>
Function AsFunction(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

class SystemLibrary {
 public:
  // |file_name| is the DLL's bare name, e.g. L"advapi32.dll"; nothing is
  // loaded until Function is first called.
  explicit SystemLibrary(const wchar_t* file_name) : file_name_(file_name) {}
  ~SystemLibrary();
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  // The address of the exported |name|, loading the DLL first if needed.
  // Null when the DLL cannot be loaded or lacks the function, with the
  // thread's last-error code saying why (as LoadLibraryExW or GetProcAddress
  // set it).
  template <typename Function>
  Function Find(const char* name) {
    return AsFunction<Function>(Address(name));
  }

 private:
  FARPROC Address(const char* name);

  const wchar_t* file_name_;
  HMODULE module_ = nullptr;
};

}  // namespace platform

#endif  // PLATFORM_SYSTEM_LIBRARY_H_
