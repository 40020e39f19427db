// The small interface over the Windows calls the launcher makes. The launcher's
// decisions and text composition are plain C++ written against this interface;
// Win32Platform forwards each call to Windows, FakePlatform models Windows for
// the unit tests. Each method keeps the contract of the Win32 call it is named
// after: same results, same failure values, and the thread's last-error code
// set the same way, so callers read GetLastError() at once after a failure.
#ifndef PLATFORM_PLATFORM_H_
#define PLATFORM_PLATFORM_H_

#include <cstdint>
#include <string>

#include "platform/process_heap.h"

namespace platform {

// 8-bit text in the system's ANSI code page.
using AnsiString =
    std::basic_string<char, std::char_traits<char>, ProcessHeapAllocator<char>>;
// UTF-16 text as the wide Windows calls deliver it (16-bit on every host).
using UnicodeString = std::basic_string<char16_t, std::char_traits<char16_t>,
                                        ProcessHeapAllocator<char16_t>>;

// A HANDLE or HKEY value as Windows gives it out. Null and
// INVALID_HANDLE_VALUE (see InvalidHandleValue) are the two "no handle" values.
using NativeHandle = void*;

inline NativeHandle InvalidHandleValue() {
  return reinterpret_cast<NativeHandle>(static_cast<std::intptr_t>(-1));
}

// The one predefined registry root the launcher reads.
enum class RegistryRoot : std::uint32_t { LocalMachine = 0x80000002u };

// What the launcher asks of CreateProcessA's STARTUPINFOA beyond clearing it
// and setting its size; the implementation sets cb itself.
struct StartupOptions {
  std::uint32_t flags = 0;        // STARTUPINFOA::dwFlags
  std::uint16_t show_window = 0;  // STARTUPINFOA::wShowWindow
};

// CreateProcessA's arguments, less the two security-attribute pointers that
// the launcher always passes as null.
struct ProcessStart {
  const char* application_name = nullptr;
  AnsiString command_line;
  bool inherit_handles = false;
  std::uint32_t creation_flags = 0;
  const void* environment = nullptr;
  AnsiString current_directory;
  StartupOptions startup;
};

// PROCESS_INFORMATION as CreateProcessA fills it.
struct ProcessInformation {
  NativeHandle process = nullptr;
  NativeHandle thread = nullptr;
  std::uint32_t process_id = 0;
  std::uint32_t thread_id = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // kernel32: process, files, waiting.
  virtual std::uint32_t GetLastError() = 0;
  // Same contract as the Win32 call: the length written (without the
  // terminator), or the buffer size needed (with it) when buffer_length is too
  // small, or 0 on failure.
  virtual std::uint32_t GetCurrentDirectoryW(std::uint32_t buffer_length,
                                             char16_t* buffer) = 0;
  virtual std::uint32_t GetFileAttributesW(const char16_t* path) = 0;
  virtual NativeHandle CreateFileW(const char16_t* path,
                                   std::uint32_t desired_access,
                                   std::uint32_t share_mode,
                                   std::uint32_t creation_disposition,
                                   std::uint32_t flags_and_attributes) = 0;
  virtual bool CloseHandle(NativeHandle handle) = 0;
  virtual bool CreateProcessA(const ProcessStart& start,
                              ProcessInformation* started) = 0;
  virtual std::uint32_t WaitForSingleObject(NativeHandle handle,
                                            std::uint32_t milliseconds) = 0;
  virtual bool GetExitCodeProcess(NativeHandle process,
                                  std::uint32_t* exit_code) = 0;
  // kernel32's SetDefaultDllDirectories, looked up at run time: false with
  // ERROR_PROC_NOT_FOUND where the system does not offer it.
  virtual bool SetDefaultDllDirectories(std::uint32_t directory_flags) = 0;

  // kernel32: text conversion.
  virtual std::uint32_t GetACP() = 0;
  virtual int WideCharToMultiByte(std::uint32_t code_page, std::uint32_t flags,
                                  const char16_t* wide, int wide_length,
                                  char* multi_byte, int multi_byte_length) = 0;
  virtual int MultiByteToWideChar(std::uint32_t code_page, std::uint32_t flags,
                                  const char* multi_byte, int multi_byte_length,
                                  char16_t* wide, int wide_length) = 0;

  // advapi32: the registry. Results are Win32 error codes, as the calls
  // return them (the registry calls do not set the last-error code).
  virtual std::int32_t RegOpenKeyExW(RegistryRoot root, const char16_t* sub_key,
                                     std::uint32_t options,
                                     std::uint32_t desired_access,
                                     NativeHandle* key) = 0;
  virtual std::int32_t RegQueryValueExW(NativeHandle key,
                                        const char16_t* value_name,
                                        std::uint32_t* type, std::uint8_t* data,
                                        std::uint32_t* data_size) = 0;
  virtual std::int32_t RegCloseKey(NativeHandle key) = 0;

  // user32: a modal box with no owner window; returns the button pressed.
  virtual int MessageBoxA(const char* text, const char* caption,
                          std::uint32_t type) = 0;
};

}  // namespace platform

#endif  // PLATFORM_PLATFORM_H_
